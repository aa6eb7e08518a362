#include "monitor/StartupClear.h"

#include "jobs/DosPath.h"
#include "jobs/UniqueFd.h"
#include "monitor/JobFiles.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

// The monitored directory is a share that others can write: the emptying works on
// descriptors, never follows a link out of it, and deletes only what it lists there.

namespace ostrevo {

namespace {

// Names of the directory's entries that are not directories (links, broken ones
// included, are entries of their own and go as links, their targets untouched).
QList<QByteArray> FileNames(int dirFd)
{
    QList<QByteArray> names;
    const int listFd = ::dup(dirFd);
    if (listFd < 0)
        return names;
    DIR *dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return names;
    }
    ::rewinddir(dir);
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        struct stat st;
        if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode))
            names.append(QByteArray(entry->d_name));
    }
    ::closedir(dir);
    return names;
}

void RemoveMatching(int dirFd, const QString &dirPath, const char *suffix, const SpareFile &spare)
{
    for (const QByteArray &name : FileNames(dirFd)) {
        if (suffix && !HasSuffixCi(name.constData(), suffix))
            continue;
        if (spare && spare(dirPath + u'/' + QFile::decodeName(name)))
            continue;
        ::unlinkat(dirFd, name.constData(), 0);
    }
}

QString WithoutTrailingSlash(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

int OpenDirectory(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    return ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// The work directory `wanted` inside the monitored directory, any letter case: its
// descriptor, or -1. A link in its place is reported and never followed.
int OpenWorkDirectory(int parentFd, const QString &parentPath, const QByteArray &wanted, QStringList &warnings)
{
    const int listFd = ::dup(parentFd);
    DIR *dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return -1;
    }
    ::rewinddir(dir);
    int result = -1;
    while (const dirent *entry = ::readdir(dir)) {
        if (strcasecmp(entry->d_name, wanted.constData()) != 0)
            continue;
        struct stat st;
        if (::fstatat(parentFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISLNK(st.st_mode)) {
            warnings.append(QStringLiteral("%1/%2 is a symbolic link, not a work directory: it was not emptied")
                                .arg(parentPath, QFile::decodeName(entry->d_name)));
            continue;
        }
        if (!S_ISDIR(st.st_mode))
            continue;
        result = ::openat(parentFd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (result >= 0)
            break;
    }
    ::closedir(dir);
    return result;
}

void EmptyOne(const Settings &s, const QString &dirText, const SpareFile &spare, QStringList &warnings)
{
    const QString dir = WithoutTrailingSlash(ResolveCaseInsensitive(dirText));
    UniqueFd monitored{OpenDirectory(dir)};
    if (monitored.fd < 0)
        return;
    if (s.clear) {
        RemoveMatching(monitored.fd, dir, ".end", spare);
        RemoveMatching(monitored.fd, dir, ".txt", spare);
    }
    const std::pair<bool, const char *> work[] = {
        {s.clearFtp, "FTP"},   {s.clearPdf, "PDF"},           {s.clearErrors, "ERRORS"},
        {s.clearMail, "MAIL"}, {s.clearDownload, "DOWNLOAD"},
    };
    for (const auto &[enabled, name] : work) {
        if (!enabled)
            continue;
        UniqueFd workDir{OpenWorkDirectory(monitored.fd, dir, name, warnings)};
        if (workDir.fd >= 0)
            RemoveMatching(workDir.fd, dir, nullptr, {});
    }
}

} // namespace

void ClearJobFiles(const QString &dir, const SpareFile &spare)
{
    const QString resolved = WithoutTrailingSlash(ResolveCaseInsensitive(dir));
    UniqueFd fd{OpenDirectory(resolved)};
    if (fd.fd < 0)
        return;
    RemoveMatching(fd.fd, resolved, ".end", spare);
    RemoveMatching(fd.fd, resolved, ".txt", spare);
}

QStringList ClearDirectory(const QString &dir)
{
    const QString path = WithoutTrailingSlash(dir);
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString parent = slash > 0 ? ResolveCaseInsensitive(path.left(slash)) : QStringLiteral("/");
    QStringList warnings;
    UniqueFd parentFd{OpenDirectory(parent)};
    if (parentFd.fd < 0)
        return warnings;
    UniqueFd workDir{OpenWorkDirectory(parentFd.fd, parent, QFile::encodeName(path.mid(slash + 1)), warnings)};
    if (workDir.fd >= 0)
        RemoveMatching(workDir.fd, path, nullptr, {});
    return warnings;
}

QStringList EmptyAtStart(const Settings &settings, const std::function<QString(const QString &)> &resolveDir,
                         const SpareFile &spare)
{
    QStringList warnings;
    for (const QString &text : {settings.katalog, settings.katalog2}) {
        if (text.isEmpty())
            continue;
        const QString dir = resolveDir(text);
        if (!dir.isEmpty())
            EmptyOne(settings, dir, spare, warnings);
    }
    return warnings;
}

} // namespace ostrevo
