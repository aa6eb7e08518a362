#pragma once

#include "handling/JobHandlers.h"

#include <QString>

namespace ostrevo {

// Where a job may write the files its keys name (PDF_PATH, PDF_FILE, DBF_PATH): below its
// own monitored directory, or below a drive of [Dyski], never into the program
// directory's own files (Ostrevo.ini, Wzorzec, the mail spool, the job records). The
// monitored directory is a share that others write: a path with "..", an absolute path
// elsewhere, or a link planted in the share must not lead a job's output out of it.
//
// Both return why the place is refused, or nothing when it is allowed. `dir` need not
// exist yet; what exists of it is resolved through its links.
QString OutputDirectoryRefusal(const JobContext &context, const QString &dir);

// The same for a PDF file a job writes, which may replace only a PDF file: an existing
// file of that name that is anything else (a settings file, a link, a directory) stays.
QString PdfFileRefusal(const JobContext &context, const QString &path);

} // namespace ostrevo
