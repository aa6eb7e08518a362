#include "jobs/PartFile.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrevo {

namespace {

// Enough of the job's name to tell whose a stray part file was, and short enough that the
// temporary name fits wherever the final one does.
constexpr qsizetype PartStemBytes = 32;
constexpr char PartTail[] = "-XXXXXX.part";
constexpr qsizetype PartTailSize = sizeof PartTail - 1;

bool IsAlnum(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// ".STEM-XXXXXX.part" with six letters or digits in place of the X.
bool LooksLikePartName(const char *name)
{
    const size_t length = std::strlen(name);
    if (length < 2 + PartTailSize || name[0] != '.')
        return false;
    const char *tail = name + length - PartTailSize;
    if (tail[0] != '-' || std::strcmp(tail + 7, ".part") != 0)
        return false;
    for (int i = 1; i <= 6; ++i) {
        if (!IsAlnum(tail[i]))
            return false;
    }
    return true;
}

// Removes the part file NAME in DIRFD unless a writer holds it.
bool RemoveIfStale(int dirFd, const char *name)
{
    struct stat before;
    if (::fstatat(dirFd, name, &before, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(before.st_mode))
        return false;
    UniqueFd file(::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat opened;
    if (file.fd < 0 || ::fstat(file.fd, &opened) != 0 || opened.st_ino != before.st_ino
        || opened.st_dev != before.st_dev)
        return false;
    if (::flock(file.fd, LOCK_EX | LOCK_NB) != 0)
        return false; // being written now
    // The name must still be the file we hold, not one put in its place meanwhile.
    struct stat now;
    if (::fstatat(dirFd, name, &now, AT_SYMLINK_NOFOLLOW) != 0 || now.st_ino != opened.st_ino
        || now.st_dev != opened.st_dev)
        return false;
    return ::unlinkat(dirFd, name, 0) == 0;
}

} // namespace

QString CutToFit(QString stem, const QString &tail, qsizetype limit)
{
    while (!stem.isEmpty() && QFile::encodeName(stem + tail).size() > limit) {
        stem.chop(1);
        if (!stem.isEmpty() && stem.back().isHighSurrogate())
            stem.chop(1);
    }
    return stem + tail;
}

UniqueFd CreatePartFileAt(int dirFd, const QString &stem, mode_t mode, QByteArray &name, int &error)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    error = 0;
    const QByteArray pattern = '.' + QFile::encodeName(CutToFit(stem, QString(), PartStemBytes)) + PartTail;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = pattern;
        char *x = name.data() + name.size() - PartTailSize + 1;
        for (int i = 0; i < 6; ++i)
            x[i] = letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
        UniqueFd fd(::openat(dirFd, name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (fd.fd >= 0) {
            ::flock(fd.fd, LOCK_EX);
            return fd;
        }
        if (errno != EEXIST)
            break;
    }
    error = errno;
    name.clear();
    return UniqueFd();
}

PartFile CreatePartFile(const QString &dir, const QString &stem, int &error)
{
    PartFile part;
    const UniqueFd dirFd(::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.fd < 0) {
        error = errno;
        return part;
    }
    QByteArray name;
    part.fd = CreatePartFileAt(dirFd.fd, stem, 0600, name, error);
    if (part.fd.fd < 0)
        return part;
    // Invoices and tax forms: the user and the group may read them, no one else, whatever
    // the umask.
    ::fchmod(part.fd.fd, 0640);
    part.path = dir + u'/' + QFile::decodeName(name);
    return part;
}

int RemoveStalePartFiles(const QString &dir)
{
    const UniqueFd dirFd(::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dirFd.fd < 0 ? 0 : RemoveStalePartFilesAt(dirFd.fd);
}

namespace {
// The names in the open directory that look like part files.
QList<QByteArray> PartNamesAt(int dirFd)
{
    const int listFd = ::dup(dirFd);
    DIR *list = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!list) {
        if (listFd >= 0)
            ::close(listFd);
        return {};
    }
    ::rewinddir(list); // the copy shares the read position of earlier listings
    QList<QByteArray> names;
    while (const dirent *entry = ::readdir(list)) {
        if (LooksLikePartName(entry->d_name))
            names.append(QByteArray(entry->d_name));
    }
    ::closedir(list);
    return names;
}
} // namespace

int RemoveStalePartFilesAt(int dirFd)
{
    int removed = 0;
    for (const QByteArray &name : PartNamesAt(dirFd)) {
        if (RemoveIfStale(dirFd, name.constData()))
            ++removed;
    }
    return removed;
}

bool HasPartFiles(const QString &dir)
{
    const UniqueFd dirFd(::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dirFd.fd >= 0 && !PartNamesAt(dirFd.fd).isEmpty();
}

int PublishPart(const QString &part, const QString &final)
{
    const QByteArray from = QFile::encodeName(part);
    const QByteArray to = QFile::encodeName(final);
    int error = 0;
    const int fd = ::open(from.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0)
        error = errno;
    if (fd >= 0)
        ::close(fd);
    // rename replaces a file of that name at once; it never follows a link there.
    if (error == 0 && ::rename(from.constData(), to.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(from.constData());
        return error;
    }
    const int dir = ::open(QFile::encodeName(QFileInfo(final).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return 0;
}

} // namespace ostrevo
