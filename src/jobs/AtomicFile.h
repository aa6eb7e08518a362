#pragma once

#include <QByteArray>
#include <QString>

namespace ostrevo {

// Writes a file whole or not at all: the bytes go to a temporary name in the same
// directory, are synced, and the temporary is renamed over the final name; the directory
// is synced too, so that the new name survives a power cut. Neither the directory nor the
// final name is followed when it is a symbolic link (a link in the final name's place is
// replaced, its target untouched). A failure leaves the old file as it was and no
// temporary behind, and throws IoError (OutputUnavailable when the disk is full or the
// directory read-only) naming the file and the reason.
void WriteFileAtomically(const QString &path, const QByteArray &bytes, int mode = 0600);

// The same into an open directory.
void WriteFileAtomicallyAt(int dirFd, const QString &dirPath, const QByteArray &name, const QByteArray &bytes,
                           int mode = 0600);

// Syncs a directory, so that the names just created or removed in it survive a power cut.
// Errors are ignored (some file systems cannot sync a directory).
void SyncDirectory(int dirFd);

} // namespace ostrevo
