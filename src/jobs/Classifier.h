#pragma once

#include "jobs/JobKind.h"

#include <QString>

namespace ostrevo {

// Decides a job's kind from its first significant line. Reads the open job text
// `jobText` from its start (the file at `path` when -1). Throws IoError when the file
// cannot be opened or read.
JobKind ClassifyJob(const QString &path, int jobText = -1);

// The job tag that would decide a line's kind, were it the first significant one ("<PIT>",
// "<FTP>", ...), tested as the classifier tests; empty when it holds none.
QByteArray JobTagOf(const QByteArray &line);

} // namespace ostrevo
