#pragma once

#include "handling/JobHandlers.h"
#include "textprint/PdfTextJob.h"

#include <QString>

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
                                  RenderReport &report);

} // namespace ostrevo
