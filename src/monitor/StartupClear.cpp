#include "monitor/StartupClear.h"

#include "jobs/AtomicFile.h"
#include "jobs/DosPath.h"
#include "jobs/UniqueFd.h"
#include "monitor/JobFiles.h"

#include <QFile>
#include <QSet>

#include <algorithm>
#include <vector>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrevo {

namespace {

const QByteArray NoteMagic = QByteArrayLiteral("ostrevo-stop 1\n");

struct WorkDirectorySetting {
    bool Settings::*enabled;
    const char *name;
};
constexpr WorkDirectorySetting WorkDirectories[] = {
    {&Settings::clearFtp, "FTP"},   {&Settings::clearPdf, "PDF"},           {&Settings::clearErrors, "ERRORS"},
    {&Settings::clearMail, "MAIL"}, {&Settings::clearDownload, "DOWNLOAD"},
};

struct Entry {
    QByteArray name;
    struct stat st;
};

// The directory's entries that are not directories (links, broken ones included, are
// entries of their own).
QList<Entry> Files(int dirFd)
{
    QList<Entry> entries;
    const int listFd = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    DIR *dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return entries;
    }
    ::rewinddir(dir);
    while (const dirent *d = ::readdir(dir)) {
        Entry entry{QByteArray(d->d_name), {}};
        if (entry.name == "." || entry.name == "..")
            continue;
        if (::fstatat(dirFd, d->d_name, &entry.st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(entry.st.st_mode))
            entries.append(entry);
    }
    ::closedir(dir);
    return entries;
}

QString WithoutTrailingSlash(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

int OpenDirectory(const QString &path)
{
    return ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// The work directory `wanted` inside the monitored directory, any letter case: its
// descriptor and name, or -1. A link in its place is reported and never followed.
int OpenWorkDirectory(int parentFd, const QString &parentPath, const char *wanted, QString *path,
                      QStringList *warnings)
{
    for (const Entry &entry : Files(parentFd)) {
        if (strcasecmp(entry.name.constData(), wanted) == 0 && S_ISLNK(entry.st.st_mode) && warnings)
            warnings->append(QStringLiteral("%1/%2 jest dowiązaniem symbolicznym, nie katalogiem roboczym: nie opróżniono go")
                                 .arg(parentPath, QFile::decodeName(entry.name)));
    }
    const int listFd = ::fcntl(parentFd, F_DUPFD_CLOEXEC, 0);
    DIR *dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return -1;
    }
    ::rewinddir(dir);
    int result = -1;
    while (const dirent *d = ::readdir(dir)) {
        if (strcasecmp(d->d_name, wanted) != 0)
            continue;
        result = ::openat(parentFd, d->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (result >= 0) {
            *path = parentPath + u'/' + QFile::decodeName(d->d_name);
            break;
        }
    }
    ::closedir(dir);
    return result;
}

QString BaseKey(const QByteArray &name, qsizetype suffixLength)
{
    return DisplayName(name.left(name.size() - suffixLength)).toCaseFolded();
}

void CollectJobFiles(const StaleScan &scan, int dirFd, const QString &dir, QList<StaleFile> &stale)
{
    const QList<Entry> entries = Files(dirFd);
    // Bases of texts claimed by a monitor: that job is under way somewhere.
    QSet<QString> claimed;
    QSet<QString> texts;
    for (const Entry &entry : entries) {
        if (IsClaimedText(entry.name))
            claimed.insert(BaseKey(entry.name.left(entry.name.lastIndexOf(".ostrevo-")), 4));
        else if (HasSuffixCi(entry.name.constData(), ".txt"))
            texts.insert(BaseKey(entry.name, 4));
    }
    QSet<QString> keptBases;
    for (const Entry &entry : entries) {
        if (!HasSuffixCi(entry.name.constData(), ".end"))
            continue;
        const QString base = BaseKey(entry.name, 4);
        const bool complete = texts.contains(base);
        if (claimed.contains(base) || (complete && scan.keepCompleteJobs)
            || (scan.keepMarker && scan.keepMarker(dir, entry.name)))
            keptBases.insert(base);
        else
            stale.append({dir, entry.name, FileStamp::of(entry.st)});
    }
    for (const Entry &entry : entries) {
        if (HasSuffixCi(entry.name.constData(), ".txt") && !keptBases.contains(BaseKey(entry.name, 4)))
            stale.append({dir, entry.name, FileStamp::of(entry.st)});
    }
}

// The monitored directories as the settings name them now, each with the work
// directories whose emptying is asked for.
QList<QString> MonitoredDirectories(const Settings &settings, const std::function<QString(const QString &)> &resolveDir)
{
    QList<QString> dirs;
    for (const QString &text : {settings.katalog, settings.katalog2}) {
        if (text.isEmpty())
            continue;
        const QString dir = WithoutTrailingSlash(ResolveCaseInsensitive(resolveDir(text)));
        if (!dir.isEmpty() && !dirs.contains(dir))
            dirs.append(dir);
    }
    return dirs;
}

} // namespace

QList<StaleFile> CollectStaleFiles(const StaleScan &scan)
{
    QList<StaleFile> stale;
    const Settings &settings = *scan.settings;
    for (const QString &dir : MonitoredDirectories(settings, scan.resolveDir)) {
        UniqueFd monitored{OpenDirectory(dir)};
        if (monitored.fd < 0)
            continue;
        if (settings.clear)
            CollectJobFiles(scan, monitored.fd, dir, stale);
        for (const WorkDirectorySetting &work : WorkDirectories) {
            if (!(settings.*work.enabled))
                continue;
            QString path;
            UniqueFd workDir{OpenWorkDirectory(monitored.fd, dir, work.name, &path, nullptr)};
            if (workDir.fd < 0)
                continue;
            for (const Entry &entry : Files(workDir.fd))
                stale.append({path, entry.name, FileStamp::of(entry.st)});
        }
    }
    return stale;
}

void WriteStopNote(const QString &path, const QList<StaleFile> &files)
{
    QByteArray bytes = NoteMagic;
    for (const StaleFile &file : files)
        bytes += file.directory.toUtf8().toPercentEncoding() + ' ' + file.name.toPercentEncoding() + ' '
            + file.stamp.encode() + '\n';
    WriteFileAtomically(path, bytes + "end\n", 0600);
}

std::optional<QList<StaleFile>> TakeStopNote(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    file.close();
    // Taken before anything is deleted: a crash during this run must not find it again.
    QFile::remove(path);
    if (!bytes.startsWith(NoteMagic) || !bytes.endsWith("\nend\n"))
        return std::nullopt;
    QList<StaleFile> files;
    for (const QByteArray &line : bytes.mid(NoteMagic.size()).split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() != 3)
            continue;
        files.append({QString::fromUtf8(QByteArray::fromPercentEncoding(parts[0])),
                      QByteArray::fromPercentEncoding(parts[1]), FileStamp::decode(parts[2])});
    }
    return files;
}

QStringList ClearStaleFiles(const QList<StaleFile> &files, const Settings &settings,
                            const std::function<QString(const QString &)> &resolveDir,
                            const std::function<void(const StaleFile &)> &journal)
{
    QStringList warnings;
    // Where the emptying may delete now: the monitored directories' job files with Clear,
    // and each work directory whose own setting is on.
    struct Place {
        QString path;
        int fd;
        bool monitored; // job files only, and only with Clear
    };
    std::vector<UniqueFd> open;
    QList<Place> places;
    for (const QString &dir : MonitoredDirectories(settings, resolveDir)) {
        UniqueFd monitored{OpenDirectory(dir)};
        if (monitored.fd < 0)
            continue;
        for (const WorkDirectorySetting &work : WorkDirectories) {
            if (!(settings.*work.enabled))
                continue;
            QString path;
            UniqueFd workDir{OpenWorkDirectory(monitored.fd, dir, work.name, &path, &warnings)};
            if (workDir.fd >= 0) {
                places.append({path, workDir.fd, false});
                open.push_back(std::move(workDir));
            }
        }
        if (settings.clear)
            places.append({dir, monitored.fd, true});
        open.push_back(std::move(monitored));
    }
    for (const StaleFile &file : files) {
        const auto place = std::find_if(places.begin(), places.end(), [&](const Place &p) {
            return p.path == file.directory;
        });
        if (place == places.end() || file.name.isEmpty() || file.name.contains('/'))
            continue;
        const bool jobFile = HasSuffixCi(file.name.constData(), ".end") || HasSuffixCi(file.name.constData(), ".txt");
        if (place->monitored && !jobFile)
            continue;
        if (FileStamp::at(place->fd, file.name) != file.stamp)
            continue;
        journal(file);
        ::unlinkat(place->fd, file.name.constData(), 0);
    }
    return warnings;
}

} // namespace ostrevo
