#include "app/PrivateRuntimeDir.h"

#include "jobs/Errors.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStringList>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrevo {

namespace {

// Opens `path` as a private directory, or says why it is not one.
int OpenPrivate(const QString &path, QString *why)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
        *why = ErrnoText(errno);
        return -1;
    }
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        *why = errno == ELOOP || errno == ENOTDIR ? QStringLiteral("not a directory, or a symbolic link")
                                                  : ErrnoText(errno);
        return -1;
    }
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || st.st_uid != ::getuid()) {
        *why = QStringLiteral("owned by another user");
        ::close(fd);
        return -1;
    }
    // Ours but open to others (made by hand, or by an older version): close it up.
    if ((st.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0) {
        *why = QStringLiteral("others may write to it and its mode cannot be changed: ") + ErrnoText(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

PrivateRuntimeDir::PrivateRuntimeDir()
{
    open(defaultCandidates());
}

PrivateRuntimeDir::PrivateRuntimeDir(const QStringList &candidates)
{
    open(candidates);
}

PrivateRuntimeDir::~PrivateRuntimeDir()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QStringList PrivateRuntimeDir::defaultCandidates()
{
    QStringList candidates;
    const QString runtime = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    if (!runtime.isEmpty())
        candidates.append(runtime);
    candidates.append(QDir::tempPath() + QStringLiteral("/ostrevo-%1").arg(::getuid()));
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!cache.isEmpty() && QDir().mkpath(cache))
        candidates.append(cache + QStringLiteral("/ostrevo"));
    return candidates;
}

void PrivateRuntimeDir::open(const QStringList &candidates)
{
    for (const QString &candidate : candidates) {
        QString why;
        const int fd = OpenPrivate(candidate, &why);
        if (fd >= 0) {
            m_fd = fd;
            m_path = candidate;
            return;
        }
        m_refusals.append(QStringLiteral("%1: %2").arg(candidate, why));
    }
}

} // namespace ostrevo
