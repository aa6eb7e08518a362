#include "lpt/CaptureFiles.h"

#include "jobs/AtomicFile.h"
#include "jobs/MoveWithoutReplacing.h"
#include "jobs/UniqueFd.h"
#include "monitor/NetworkFileSystem.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace ostrevo {

QString NewCaptureName(const QString &port, const QDateTime &time, qint64 pid)
{
    return QStringLiteral("%1-%2-%3.prn")
        .arg(port, time.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")))
        .arg(pid);
}

QString WriteCapture(const QString &dir, const QString &port, const QByteArray &bytes)
{
    const QString path = dir + u'/' + NewCaptureName(port.toUpper(), QDateTime::currentDateTime(), ::getpid());
    // Readable by the group too: the monitor may run as a service of the office's group.
    WriteFileAtomically(path, bytes, 0640);
    return path;
}

bool MayBeCapture(const QByteArray &name)
{
    if (name.isEmpty() || name.startsWith('.'))
        return false;
    // DOSBox-X writes its screenshots, sound and video into the same capture directory as
    // its print jobs.
    static const char *const NotPrinted[] = {".png", ".bmp", ".wav", ".avi", ".mkv", ".mid", ".dro", ".opl"};
    const QByteArray lower = name.toLower();
    return std::none_of(std::begin(NotPrinted), std::end(NotPrinted), [&](const char *suffix) { return lower.endsWith(suffix); });
}

Writers WritersOf(int dirFd, const QByteArray &name)
{
    UniqueFd file(::openat(dirFd, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.fd < 0)
        return Writers::Unknown;
    // A lease on a share tells nothing of the writers on other machines, and CIFS refuses
    // one (EAGAIN) whenever the server granted no caching: it would hold every file back.
    struct statfs fs;
    if (::fstatfs(file.fd, &fs) != 0 || IsNetworkFileSystemType(long(fs.f_type)))
        return Writers::Unknown;
    // Someone opening the file for writing while the lease is held breaks it with a
    // signal to us, SIGIO by default, which would end the program: one that is ignored.
    ::fcntl(file.fd, F_SETSIG, SIGURG);
    if (::fcntl(file.fd, F_SETLEASE, F_RDLCK) == 0) {
        ::fcntl(file.fd, F_SETLEASE, F_UNLCK);
        return Writers::None;
    }
    return errno == EAGAIN ? Writers::Some : Writers::Unknown;
}

QString MoveAside(int dirFd, const QString &dirPath, const QByteArray &name, int &error)
{
    error = 0;
    const QByteArray folder = QFile::encodeName(RejectedFolderName());
    if (::mkdirat(dirFd, folder.constData(), 0775) != 0 && errno != EEXIST) {
        error = errno;
        return {};
    }
    // Never into a link planted in the folder's place.
    UniqueFd folderFd(::openat(dirFd, folder.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folderFd.fd < 0) {
        error = errno;
        return {};
    }
    // "X.prn", then "X-2.prn", "X-3.prn"...
    const qsizetype dot = name.lastIndexOf('.');
    const QByteArray stem = dot > 0 ? name.left(dot) : name;
    const QByteArray suffix = dot > 0 ? name.mid(dot) : QByteArray();
    for (int n = 1; n < 10000; ++n) {
        const QByteArray target = n == 1 ? name : stem + '-' + QByteArray::number(n) + suffix;
        const int result = RenameAtomically(dirFd, name.constData(), folderFd.fd, target.constData());
        if (result == EEXIST)
            continue;
        if (result != 0) {
            error = result;
            return {};
        }
        SyncDirectory(folderFd.fd);
        SyncDirectory(dirFd);
        return dirPath + u'/' + RejectedFolderName() + u'/' + QFile::decodeName(target);
    }
    error = EEXIST;
    return {};
}

} // namespace ostrevo
