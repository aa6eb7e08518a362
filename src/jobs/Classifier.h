#pragma once

#include "jobs/JobKind.h"

#include <QString>

namespace ostrevo {

// Decides a job's kind from its first significant line. Reads the open job text
// `jobText` from its start (the file at `path` when -1). Throws IoError when the file
// cannot be opened or read.
JobKind ClassifyJob(const QString &path, int jobText = -1);

} // namespace ostrevo
