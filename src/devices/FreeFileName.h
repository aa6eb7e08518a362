#pragma once

#include "jobs/MoveWithoutReplacing.h"
// The part files that printouts are written into before they are published.
#include "jobs/PartFile.h"

#include <QString>

namespace ostrevo {

// Publishes the finished file PART (in DIR) under the first free name of DIR/BASE.SUFFIX,
// DIR/BASE-2.SUFFIX, ... A name that exists in any form, a dangling symbolic link
// included, is taken: the file never replaces it, is never written through it and is
// never copied. The directory is flushed afterwards, so the name survives a power cut.
// Returns the path used; an empty string with `error` set (an errno) when the move failed
// for another reason than a taken name.
QString PublishUnderFreeName(const QString &part, const QString &dir, const QString &base, const QString &suffix,
                             int &error);

// A file name stem safe in a directory: path separators and control characters replaced.
QString SafeFileStem(const QString &name, const QString &fallback);

} // namespace ostrevo
