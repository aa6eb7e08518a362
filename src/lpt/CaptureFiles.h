#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace ostrevo {

// The files of a port's directory: each print job is one file, written there by
// `ostrevo --lpt` (whole, renamed into place) or by an emulator (DOSBox-X writes a file
// per job in place and closes it after its time-out).

// A name for one print job of the port that sorts by time and is unique on the machine:
// "LPT1-20261210-081502-123-4567.prn".
QString NewCaptureName(const QString &port, const QDateTime &time, qint64 pid);

// Writes one print job into the port's directory whole (written under a temporary name,
// synced, renamed); returns its path. Throws IoError (OutputUnavailable when the
// directory is read-only or the disk full).
QString WriteCapture(const QString &dir, const QString &port, const QByteArray &bytes);

// Whether a name in a port's directory may be a print job: hidden names are ours (records,
// temporaries) or an editor's, and DOSBox-X's screenshots, sound and video captures
// (.png, .bmp, .wav, .avi, .mkv, .mid, .dro, .opl) share its capture directory; none is a
// print job.
bool MayBeCapture(const QByteArray &name);

// Whether some process holds the file open for writing, as a read lease tells: the kernel
// grants one only while nobody does. Unknown where the file system or the file's owner
// allows no lease (another user's file), and on a network share, where it would tell
// nothing of other machines: the settle time alone decides there.
enum class Writers { None, Some, Unknown };
Writers WritersOf(int dirFd, const QByteArray &name);

// The folder of a port's directory that captures go to when they cannot be printed.
inline QString RejectedFolderName() { return QStringLiteral("Bledne"); }

// Moves the capture NAME of DIRFD into its "Bledne" folder (created when missing) under
// its own name, or NAME-2, NAME-3, ... when taken; never replacing anything. Returns the
// new path, or an empty string with `error` set (an errno).
QString MoveAside(int dirFd, const QString &dirPath, const QByteArray &name, int &error);

} // namespace ostrevo
