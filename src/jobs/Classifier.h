#pragma once

#include "jobs/JobKind.h"

#include <QString>

namespace ostrevo {

// Decides a job's kind from its first significant line. Throws IoError when the file
// cannot be opened or read.
JobKind ClassifyJob(const QString &path);

} // namespace ostrevo
