#include "forms/TFormB1.h"

#include "forms/FormJob.h"
#include "forms/FormPdfDrawer.h"

namespace ostrevo {

TFormB1::TFormB1(RealisedFontCache &fonts, const TAsBarcode &barcodeDefaults)
    : piPDF1(fonts), m_barcodeDefaults(barcodeDefaults)
{
}

int TFormB1::PdfFormJob(FormJob &job, const QString &pdfPath)
{
    piPDF1.SetFileName(pdfPath);
    piPDF1.SetDocumentFlag(0);
    piPDF1.BeginDoc();
    // The page of a range that draws nothing is the form's first.
    piPDF1.SetDocumentLandscape(job.state().pageLandscape(1) ? 1 : 0);
    FormPdfDrawer drawer(piPDF1, m_barcodeDefaults);
    const int pages = job.drawPages(drawer);
    piPDF1.EndDoc();
    return pages;
}

} // namespace ostrevo
