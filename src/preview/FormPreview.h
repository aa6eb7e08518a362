#pragma once

#include "handling/JobHandlers.h"
#include "preview/PreviewPrinter.h"

#include <QString>

namespace ostrevo {

class RenderReport;

struct FormPreview {
    QString templatePath;
    int pages = 0;         // the sheets' pages, the empty one of a two-sided end included
    int documents = 0;     // print documents: one per run of orientation
    std::uint8_t duplex = 0;
};

// Lays a <PIT> job for the printer out with the printer's form renderer on the metrics of
// `printer`, every page into the one new file `pdfPath` (turned where the form turns),
// and notes in the report a box that is not there. Nothing is printed. A template that is
// not there throws: the job would print nothing.
// Lays a <PIT> job into a PDF file out with the job's own renderer into `pdfPath` instead
// of the file it names; creates no directory and mails nothing. What the keys ask for
// that would fail the job or do nothing goes into the report, as does a box that is not
// there. A template that is not there throws: the job would write nothing.
struct PdfFormPreview {
    QString templatePath;
    int pages = 0;
    QString jobOutput; // where the job itself would write its PDF file
    QByteArray aMail, tMail;
};
PdfFormPreview RenderPdfFormPreview(const JobContext &context, const QString &jobPath, const QString &pdfPath,
                                    RenderReport &report);

FormPreview RenderFormPreview(const JobContext &context, const QString &jobPath, const PreviewPrinter &printer,
                              const QString &pdfPath, RenderReport &report);

} // namespace ostrevo
