#pragma once

#include "devices/RealisedFontCache.h"
#include "handling/JobHandlers.h"
#include "handling/MailPdf.h"

#include <QString>

namespace ostrevo {

class TAsBarcode;

// Fills form jobs (<PIT> with PDF_FILE) into PDF files, each on a TFormB1 of its own,
// and hands each finished file to the mail job when A_MAIL names an address. Lives as
// long as the program: the realised fonts serve every job.
class PdfFormJobs {
public:
    // `barcodeDefaults` is the settings every barcode of a form starts from.
    explicit PdfFormJobs(const TAsBarcode &barcodeDefaults, MailPdfHandOver mailPdf = {});

    // The file goes to PDF_PATH, or to the job directory's "PDF" folder (created on first
    // use). A job without its template fails and writes nothing. Every other failure
    // throws: nothing is left under the file's name and no mail goes out.
    JobResult PdfFormJob(const JobContext &context, const QString &textPath);

    void setMailPdf(MailPdfHandOver mailPdf) { m_mailPdf = std::move(mailPdf); }

private:
    const TAsBarcode &m_barcodeDefaults;
    RealisedFontCache m_fonts;
    MailPdfHandOver m_mailPdf;
};

// Makes `jobs` the handler of form jobs into PDF files (jkPitPdf).
void RegisterPdfFormHandler(JobHandlers &handlers, PdfFormJobs &jobs);

} // namespace ostrevo
