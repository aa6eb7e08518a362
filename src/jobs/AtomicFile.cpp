#include "jobs/AtomicFile.h"

#include "jobs/Errors.h"
#include "jobs/UniqueFd.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrevo {

namespace {

[[noreturn]] void Fail(const QString &path, int error)
{
    const QString message = QStringLiteral("Nie można zapisać %1: %2").arg(path, ErrnoText(error));
    if (OutputMayClear(error))
        throw OutputUnavailable(message);
    throw IoError(message);
}

} // namespace

void SyncDirectory(int dirFd)
{
    ::fsync(dirFd);
}

void WriteFileAtomicallyAt(int dirFd, const QString &dirPath, const QByteArray &name, const QByteArray &bytes, int mode)
{
    const QString path = dirPath + u'/' + QFile::decodeName(name);
    if (name.isEmpty() || name.contains('/') || name == "." || name == "..")
        throw IoError(QStringLiteral("To nie jest nazwa pliku: \"%1\"").arg(QFile::decodeName(name)));
    // One temporary name per writing: threads and processes may write beside each other.
    // Short and hidden, so that a DOS program listing the directory never meets it.
    static std::atomic<unsigned> serial{0};
    const QByteArray temp = ".tmp-" + QByteArray::number(::getpid()) + '-' + QByteArray::number(++serial);
    UniqueFd file{::openat(dirFd, temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode)};
    if (file.fd < 0)
        Fail(path, errno);
    // Whatever the umask says: these files hold what the office keeps to itself.
    ::fchmod(file.fd, mode_t(mode));
    if (!WriteAll(file.fd, bytes.constData(), size_t(bytes.size())) || ::fsync(file.fd) != 0
        || ::renameat(dirFd, temp.constData(), dirFd, name.constData()) != 0) {
        const int error = errno;
        ::unlinkat(dirFd, temp.constData(), 0);
        Fail(path, error);
    }
    SyncDirectory(dirFd);
}

void WriteFileAtomically(const QString &path, const QByteArray &bytes, int mode)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString dirPath = slash > 0 ? path.left(slash) : slash == 0 ? QStringLiteral("/") : QStringLiteral(".");
    UniqueFd dir{::open(QFile::encodeName(dirPath).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
    if (dir.fd < 0)
        Fail(path, errno);
    WriteFileAtomicallyAt(dir.fd, dirPath, QFile::encodeName(path.mid(slash + 1)), bytes, mode);
}

} // namespace ostrevo
