#pragma once

#include "handling/JobHandlers.h"

#include <QString>

namespace ostrevo {

class TAsBarcode;
class TPrinter;

// Prints form jobs (<PIT> without PDF_FILE) on the printer paired with the job's
// directory: the job's values over the template's pages, a new print document at each
// change of orientation, the job's copies and two-sided printing, and the printer's own
// settings back afterwards. Lives as long as the program.
class FormPrinter {
public:
    // `printer` is the shared printer; `barcodeDefaults` the settings every barcode of a
    // form starts from.
    FormPrinter(TPrinter &printer, const TAsBarcode &barcodeDefaults);

    // Reading the job and the template before printing throws (a malformed value, a file
    // that cannot be read). Without a template nothing is printed. Any failure once
    // printing is under way aborts the print and comes back as a failed result with its
    // reason; the printer is restored either way.
    JobResult PrintFormJob(const JobContext &context, const QString &textPath);

private:
    TPrinter &m_printer;
    const TAsBarcode &m_barcodeDefaults;
};

// Makes `printer` the handler of form jobs for the printer (jkPit).
void RegisterFormPrintHandler(JobHandlers &handlers, FormPrinter &printer);

} // namespace ostrevo
