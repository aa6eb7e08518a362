#pragma once

#include "handling/JobHandlers.h"
#include "handling/MailPdf.h"

#include <QByteArray>
#include <QString>

namespace ostrevo {

// Where a job that writes a PDF file puts it: PDF_PATH (through the DOS path mapping),
// or else the job directory's "PDF" folder, which `workDir` then names (the job creates
// it on first use). Keys as the job gives them, in its code page.
struct PdfJobOutput {
    QString path;
    QString workDir;
};
PdfJobOutput ResolvePdfOutput(const JobContext &context, const QByteArray &pdfFile, const QByteArray &pdfPath);

// The same, with the job directory's "PDF" folder created when it is the one used.
// Throws OutputUnavailable when it cannot be created, IoError when it is a symbolic link.
QString PreparePdfOutput(const JobContext &context, const QByteArray &pdfFile, const QByteArray &pdfPath);

// A finished PDF file goes to the mail job when A_MAIL holds "@". Returns what the
// journal line adds: the address, or why nothing was sent.
QString HandOverPdf(const MailPdfHandOver &mailPdf, const JobContext &context, const QString &textPath,
                    const QString &pdfPath, const QByteArray &aMail, const QByteArray &tMail);

} // namespace ostrevo
