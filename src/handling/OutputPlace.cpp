#include "handling/OutputPlace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrevo {

namespace {

// The path with what exists of it resolved through its links; the rest as written
// (nothing that does not exist can be a link).
QString Resolved(const QString &path)
{
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString rest;
    while (!existing.isEmpty() && existing != QStringLiteral("/")) {
        const QString canonical = QFileInfo(existing).canonicalFilePath();
        if (!canonical.isEmpty())
            return QDir::cleanPath(canonical + rest);
        const qsizetype slash = existing.lastIndexOf(u'/');
        rest.prepend(existing.mid(slash));
        existing = slash > 0 ? existing.left(slash) : QStringLiteral("/");
    }
    return QDir::cleanPath(existing + rest);
}

bool Below(const QString &path, const QString &root)
{
    if (root.isEmpty())
        return false;
    return path == root || path.startsWith(root.endsWith(u'/') ? root : root + u'/');
}

} // namespace

QString OutputDirectoryRefusal(const JobContext &context, const QString &dir)
{
    const QString place = Resolved(dir);
    if (!context.programDir.isEmpty()) {
        const QString home = Resolved(context.programDir);
        if (place == home)
            return QStringLiteral("%1 to katalog programu: zadanie nie zapisuje jego plików").arg(dir);
        for (const char *own : {"Wzorzec", "poczta", "ostrevo-jobs"}) {
            if (Below(place, home + u'/' + QLatin1StringView(own)))
                return QStringLiteral("%1 należy do katalogu programu: zadanie nie zapisuje jego plików")
                    .arg(dir);
        }
    }
    QStringList roots;
    if (!context.currentJobDir.isEmpty())
        roots.append(Resolved(context.currentJobDir));
    for (const QString &drive : context.settings->drives)
        roots.append(Resolved(drive));
    for (const QString &root : roots) {
        if (Below(place, root))
            return {};
    }
    return QStringLiteral("%1 nie leży ani w katalogu zadania, ani na dysku z [Dyski] pliku Ostrevo.ini: "
                          "zadanie nie zapisuje nigdzie indziej")
        .arg(dir);
}

QString PdfFileRefusal(const JobContext &context, const QString &path)
{
    const QFileInfo target(path);
    if (const QString refusal = OutputDirectoryRefusal(context, target.absolutePath()); !refusal.isEmpty())
        return refusal;
    struct stat st;
    const QByteArray name = QFile::encodeName(path);
    if (::lstat(name.constData(), &st) != 0)
        return {};
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("%1 istnieje i nie jest plikiem PDF: nie zostaje zastąpiony").arg(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    char head[5] = {};
    const bool pdf = fd >= 0 && ::pread(fd, head, sizeof head, 0) == 5 && QByteArray(head, 5) == "%PDF-";
    if (fd >= 0)
        ::close(fd);
    // An empty file is what a killed writer of an older version left: nothing to keep.
    if (!pdf && st.st_size > 0)
        return QStringLiteral("%1 istnieje i nie jest plikiem PDF: nie zostaje zastąpiony").arg(path);
    return {};
}

} // namespace ostrevo
