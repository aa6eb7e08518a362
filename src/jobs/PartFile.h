#pragma once

#include "jobs/UniqueFd.h"

#include <QByteArray>
#include <QString>

#include <sys/types.h>

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

// The same in the open directory DIRFD, with MODE as the umask leaves it; the name, relative
// to the directory, goes to `name`.
UniqueFd CreatePartFileAt(int dirFd, const QString &stem, mode_t mode, QByteArray &name, int &error);

// Gives a finished part file the name FINAL in its directory, replacing a file of that name
// (never following a link there): the part is synced first and the directory after, so
// that the new name survives a power cut. 0, or the errno, the part file removed then.
int PublishPart(const QString &part, const QString &final);

// Removes the part files a killed run left in DIR: regular files named as ours and locked
// by no writer, in DIR itself, never through a link. Returns how many went.
int RemoveStalePartFiles(const QString &dir);
// Whether DIR holds any file named as a part file, stale or still being written.
bool HasPartFiles(const QString &dir);
int RemoveStalePartFilesAt(int dirFd);

// STEM cut at a character boundary until STEM + TAIL takes at most `limit` bytes, then
// STEM + TAIL.
QString CutToFit(QString stem, const QString &tail, qsizetype limit);

} // namespace ostrevo
