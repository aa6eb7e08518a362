#include "net/WorkDir.h"

#include "jobs/MoveWithoutReplacing.h"
#include "jobs/PartFile.h"

#include "handling/ResultFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrevo {

namespace {

// These texts become the legacy program's result lines, so they keep their words.
QString Reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

WorkDir::WorkDir(const QString &jobDir, const QString &name, bool create) : m_path(WorkDirectory(jobDir, name))
{
    const QByteArray dirName = QFile::encodeName(m_path);
    if (create && ::mkdir(dirName.constData(), 0775) != 0 && errno != EEXIST) {
        m_error = QStringLiteral("Cannot create the directory %1: %2").arg(m_path, Reason(errno));
        return;
    }
    m_dir.fd = ::open(dirName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (m_dir.fd < 0)
        m_error = QStringLiteral("Cannot open the directory %1: %2").arg(m_path, Reason(errno));
}

QByteArray WorkDir::entryName(const QString &name) const
{
    const QByteArray wanted = QFile::encodeName(name);
    struct stat st;
    if (::fstatat(m_dir.fd, wanted.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return wanted;
    const int copy = ::dup(m_dir.fd);
    DIR *dir = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (!dir) {
        if (copy >= 0)
            ::close(copy);
        return wanted;
    }
    // The copy shares the directory's read position with every earlier listing of it.
    ::rewinddir(dir);
    QByteArray found = wanted;
    const QString folded = name.toCaseFolded();
    while (const dirent *entry = ::readdir(dir)) {
        if (QFile::decodeName(entry->d_name).toCaseFolded() == folded) {
            found = entry->d_name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

int WorkDir::openRead(const QString &name, QString &why) const
{
    const QByteArray entry = entryName(name);
    const int fd = ::openat(m_dir.fd, entry.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = QStringLiteral("Cannot open %1/%2: %3").arg(m_path, QFile::decodeName(entry), Reason(errno));
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        why = QStringLiteral("%1/%2 is not a regular file").arg(m_path, QFile::decodeName(entry));
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

void WorkDir::remove(const QString &name) const
{
    if (ok())
        ::unlinkat(m_dir.fd, entryName(name).constData(), 0);
}

UniqueFd WorkDir::createPart(QByteArray &part, QString &why) const
{
    int error = 0;
    UniqueFd fd = CreatePartFileAt(m_dir.fd, QStringLiteral("download"), 0664, part, error);
    if (fd.fd < 0)
        why = QStringLiteral("Cannot write into %1: %2").arg(m_path, Reason(error));
    return fd;
}

int WorkDir::publish(const QByteArray &part, const QString &name, bool replace) const
{
    const QByteArray entry = entryName(name);
    const int result = replace ? (::renameat(m_dir.fd, part.constData(), m_dir.fd, entry.constData()) == 0 ? 0 : errno)
                               : RenameAtomically(m_dir.fd, part.constData(), m_dir.fd, entry.constData());
    if (result == 0)
        ::fsync(m_dir.fd);
    return result;
}

void WorkDir::removeStaleParts() const
{
    if (ok())
        RemoveStalePartFilesAt(m_dir.fd);
}

} // namespace ostrevo
