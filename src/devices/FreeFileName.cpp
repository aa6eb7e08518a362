#include "devices/FreeFileName.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
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

// STEM cut at a character boundary until STEM + TAIL takes at most `limit` bytes.
QString CutToFit(QString stem, const QString &tail, qsizetype limit)
{
    while (!stem.isEmpty() && QFile::encodeName(stem + tail).size() > limit) {
        stem.chop(1);
        if (!stem.isEmpty() && stem.back().isHighSurrogate())
            stem.chop(1);
    }
    return stem + tail;
}

bool IsAlnum(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// ".STEM-XXXXXX.part" with six letters or digits where mkostemps puts them.
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

PartFile CreatePartFile(const QString &dir, const QString &stem, int &error)
{
    PartFile part;
    error = 0;
    QByteArray path = QFile::encodeName(dir + QStringLiteral("/."))
        + QFile::encodeName(CutToFit(stem, QString(), PartStemBytes)) + PartTail;
    part.fd = UniqueFd(::mkostemps(path.data(), 5, O_CLOEXEC));
    if (part.fd.fd < 0) {
        error = errno;
        return part;
    }
    // Invoices and tax forms: the user and the group may read them, no one else, whatever
    // the umask.
    ::fchmod(part.fd.fd, 0640);
    ::flock(part.fd.fd, LOCK_EX);
    part.path = QFile::decodeName(path);
    return part;
}

int RemoveStalePartFiles(const QString &dir)
{
    UniqueFd dirFd(::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.fd < 0)
        return 0;
    const int listFd = ::dup(dirFd.fd);
    DIR *list = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!list) {
        if (listFd >= 0)
            ::close(listFd);
        return 0;
    }
    ::rewinddir(list); // the copy shares the read position of earlier listings
    QList<QByteArray> names;
    while (const dirent *entry = ::readdir(list)) {
        if (LooksLikePartName(entry->d_name))
            names.append(QByteArray(entry->d_name));
    }
    ::closedir(list);
    int removed = 0;
    for (const QByteArray &name : names) {
        if (RemoveIfStale(dirFd.fd, name.constData()))
            ++removed;
    }
    return removed;
}

QString PublishUnderFreeName(const QString &part, const QString &dir, const QString &base, const QString &suffix,
                             int &error)
{
    error = 0;
    UniqueFd dirFd(::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.fd < 0) {
        error = errno;
        return {};
    }
    const QByteArray from = QFile::encodeName(part);
    for (int n = 1; n < 100000; ++n) {
        const QString tail = (n == 1 ? QString() : QStringLiteral("-%1").arg(n)) + u'.' + suffix;
        // A long name gives way at its end to the number and the suffix.
        const QString stem = CutToFit(base, QString(), NAME_MAX - QFile::encodeName(tail).size());
        const QString name = stem + tail;
        const QByteArray to = QFile::encodeName(name);
        const int result = RenameWithoutReplacing(from.constData(), dirFd.fd, to.constData());
        if (result == EEXIST)
            continue;
        if (result != 0) {
            error = result;
            return {};
        }
        // The new name lasts a power cut only once the directory is on the disk as well. The
        // file is in place by now: a failure here cannot be helped by doing the job again.
        ::fsync(dirFd.fd);
        return dir + u'/' + name;
    }
    error = EEXIST;
    return {};
}

QString SafeFileStem(const QString &name, const QString &fallback)
{
    QString stem = name;
    for (QChar &c : stem) {
        if (c == u'/' || c == u'\\' || c.unicode() < 0x20)
            c = u'_';
    }
    if (stem.isEmpty() || stem == QStringLiteral(".") || stem == QStringLiteral(".."))
        return fallback;
    return stem;
}

} // namespace ostrevo
