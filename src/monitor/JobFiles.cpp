#include "monitor/JobFiles.h"

#include <QFile>

#include <cstring>
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrevo {

bool HasSuffixCi(const char *name, const char *suffix)
{
    const size_t n = strlen(name);
    const size_t s = strlen(suffix);
    return n >= s && strcasecmp(name + n - s, suffix) == 0;
}

QStringList ListMarkers(const QString &directory)
{
    QStringList markers;
    const QByteArray path = QFile::encodeName(directory);
    DIR *dir = ::opendir(path.constData());
    if (!dir)
        return markers;
    while (const dirent *entry = ::readdir(dir)) {
        if (strlen(entry->d_name) > 4 && HasSuffixCi(entry->d_name, ".end"))
            markers.append(QFile::decodeName(entry->d_name));
    }
    ::closedir(dir);
    return markers;
}

bool FileExists(const QString &path)
{
    struct stat st;
    const QByteArray name = QFile::encodeName(path);
    return ::stat(name.constData(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const QString &path)
{
    struct stat st;
    const QByteArray name = QFile::encodeName(path);
    return !path.isEmpty() && ::stat(name.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QString FindTextFile(const QString &markerPath)
{
    const qsizetype slash = markerPath.lastIndexOf(u'/');
    const qsizetype dot = markerPath.lastIndexOf(u'.');
    const QString base = dot > slash ? markerPath.left(dot) : markerPath;
    // The usual spellings first: one stat each instead of a directory listing per job.
    for (const QString &ext : {QStringLiteral(".txt"), QStringLiteral(".TXT"), QStringLiteral(".Txt")}) {
        if (FileExists(base + ext))
            return base + ext;
    }
    const QString directory = slash >= 0 ? markerPath.left(slash) : QStringLiteral(".");
    const QByteArray wanted = QFile::encodeName(base.mid(slash + 1) + QStringLiteral(".txt"));
    const QByteArray dirName = QFile::encodeName(directory);
    DIR *dir = ::opendir(dirName.constData());
    if (!dir)
        return {};
    QString found;
    while (const dirent *entry = ::readdir(dir)) {
        if (strcasecmp(entry->d_name, wanted.constData()) == 0) {
            const QString candidate = directory + u'/' + QFile::decodeName(entry->d_name);
            if (FileExists(candidate)) {
                found = candidate;
                break;
            }
        }
    }
    ::closedir(dir);
    return found;
}

void RemoveFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    ::unlink(name.constData());
}

} // namespace ostrevo
