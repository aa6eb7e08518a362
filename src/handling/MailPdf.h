#pragma once

#include "handling/JobHandlers.h"

#include <QString>

#include <functional>

namespace ostrevo {

// The hand-over of the PDF jobs to the mail job: once a PDF file is complete, MailPdf
// mails it to one address, with the body taken from the job file's <MAIL_BODY> block
// (the job file still exists: the monitor deletes it after the handler returns), and
// writes the outcome as a result file named after the PDF in the job directory's Errors.
// It returns nothing: the legacy program learns the outcome from that file alone.
using MailPdfHandOver = std::function<void(const JobContext &context, const QString &jobPath,
                                           const QString &address, const QString &pdfPath,
                                           const QString &subject)>;

} // namespace ostrevo
