#pragma once

#include "handling/JobHandlers.h"
#include "textprint/PdfTextJob.h"

#include <QString>

#include "textprint/SymbolTable.h"

namespace ostrevo {

class RenderReport;

struct PdfJobPreview {
    int pages = 0;
    PdfJobHeader header;
    QString jobOutput; // where the job itself would write its PDF file
};

// Renders a <PDF> job with the job's own renderer into `pdfPath` instead of the file the
// job names; creates no directory, mails nothing. What the header asks for that would
// fail the job or do nothing goes into the report.
PdfJobPreview RenderPdfJobPreview(const JobContext &context, const QString &jobPath, const QString &pdfPath,
                                  RenderReport &report, const PrinterSymbolTable *site = nullptr);

// Notes in the report what of a PDF job's keys would fail the job or do nothing: keys it
// does not read, no PDF_FILE, an A_MAIL without "@", a PDF_PATH that is not there.
void ReportPdfJobHeader(const PdfJobHeader &header, const PdfJobOutput &output, RenderReport &report);

} // namespace ostrevo
