#include "app/SingleInstance.h"

#include "jobs/Errors.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrevo {

namespace {

QString CanonicalDir(const QString &dir)
{
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QDir(dir).absolutePath()) : canonical;
}

QString Key(const QString &text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
}

} // namespace

SingleInstance::SingleInstance(const QString &executableName, const QString &programDir)
    : m_canonicalDir(CanonicalDir(programDir))
{
    const QString key = Key(m_canonicalDir);
    m_lockName = QStringLiteral("%1-%2.lock").arg(executableName, key);
    // A socket path must fit in sun_path (108 bytes): a short name whatever the
    // executable is called.
    m_socketName = QStringLiteral("ostrevo-%1.sock").arg(Key(executableName + u'\n' + m_canonicalDir));
}

SingleInstance::~SingleInstance()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_dirFd >= 0)
        ::close(m_dirFd);
}

QString SingleInstance::lockPath() const
{
    return m_dir.path() + u'/' + m_lockName;
}

QString SingleInstance::socketPath() const
{
    return m_dir.path() + u'/' + m_socketName;
}

SingleInstance::Outcome SingleInstance::acquire()
{
    if (m_fd >= 0)
        return Outcome::First;
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no private directory for the single-instance lock: ") + m_dir.refusals().join(QStringLiteral("; "));
        return Outcome::Failed;
    }
    const QByteArray name = QFile::encodeName(m_lockName);
    const int fd = ::openat(m_dir.fd(), name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    struct stat st = {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()) {
        m_error = QStringLiteral("cannot use the lock file %1: %2")
                      .arg(lockPath(), fd < 0 ? ErrnoText(errno)
                                              : QStringLiteral("not a regular file of this user"));
        if (fd >= 0)
            ::close(fd);
        return Outcome::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        m_heldLock = lockPath();
        return Outcome::Second;
    }
    // The program directory's own lock. Opened for writing, as NFS needs for an exclusive
    // lock; a program directory that cannot hold one (read-only) leaves the first lock alone.
    QDir().mkpath(m_canonicalDir);
    const QString dirLock = m_canonicalDir + QStringLiteral("/ostrevo.lock");
    const int dirFd = ::open(QFile::encodeName(dirLock).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (dirFd >= 0 && ::flock(dirFd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(dirFd);
        if (error == EWOULDBLOCK) {
            ::close(fd);
            m_heldLock = dirLock;
            return Outcome::Second;
        }
        // A file system without locks: the runtime lock alone, as before.
        m_fd = fd;
        return Outcome::First;
    }
    m_fd = fd;
    m_dirFd = dirFd;
    return Outcome::First;
}

} // namespace ostrevo
