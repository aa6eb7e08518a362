#pragma once

#include "devices/TpiPDFDocument.h"

#include <QString>

namespace ostrevo {

class FormJob;
class RealisedFontCache;
class TAsBarcode;

// Fills one form into a PDF file, one instance per job: the pages of a prepared form
// job drawn on the PDF document piPDF1, each page turned as the template says.
class TFormB1 {
public:
    TFormB1(RealisedFontCache &fonts, const TAsBarcode &barcodeDefaults);

    // Draws the job's pages into `pdfPath`; returns how many. The file appears only when
    // complete: a failure throws and leaves nothing under the name.
    int PdfFormJob(FormJob &job, const QString &pdfPath);

    TpiPDFDocument piPDF1;

private:
    const TAsBarcode &m_barcodeDefaults;
};

} // namespace ostrevo
