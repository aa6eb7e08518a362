#pragma once

#include "jobs/MoveWithoutReplacing.h"
#include "jobs/UniqueFd.h"

#include <QString>

namespace ostrevo {

// A file being written under a hidden temporary name ".STEM-XXXXXX.part" in the directory
// where it will be published. The descriptor holds a lock on it for as long as it is
// written, so that the removal of stale ones never takes a live one.
struct PartFile {
    UniqueFd fd;
    QString path;
};

// Creates a new part file for STEM in DIR, mode 0640 whatever the umask (printouts hold
// invoices: for the user and the group only). STEM is cut to a few dozen bytes, so the
// temporary name fits wherever the final one does. On failure `fd` is -1 and `error` the
// errno.
PartFile CreatePartFile(const QString &dir, const QString &stem, int &error);

// Removes the part files a killed run left in DIR: regular files named as ours and locked
// by no writer, in DIR itself, never through a link. Returns how many went.
int RemoveStalePartFiles(const QString &dir);

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
