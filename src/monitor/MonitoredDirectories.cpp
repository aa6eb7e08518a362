#include "monitor/MonitoredDirectories.h"

#include "jobs/DosPath.h"
#include "monitor/JobFiles.h"

#include <QDir>
#include <QFileInfo>

namespace ostrevo {

namespace {

QString Canonical(const QString &dir)
{
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QFileInfo(dir).absoluteFilePath()) : canonical;
}

} // namespace

QString ResolveMonitoredDirectory(const QString &text, const Settings &settings, const QString &programDir)
{
    if (text.isEmpty())
        return text;
    if (DosPathMapper::looksLikeDos(text))
        return DosPathMapper(settings.drives, programDir).toLocal(text);
    // A relative directory belongs to the program directory, wherever it was started from.
    if (!text.startsWith(u'/'))
        return programDir + u'/' + text;
    return text;
}

MonitoredPlace FindJobPlace(const QString &jobPath, const Settings &settings, const QString &programDir)
{
    const QString jobDir = Canonical(QFileInfo(jobPath).absolutePath());
    const QString dir1 = ResolveMonitoredDirectory(settings.katalog, settings, programDir);
    if (!dir1.isEmpty() && Canonical(dir1) == jobDir)
        return {1, dir1, settings.drukarka};
    const QString dir2 = ResolveMonitoredDirectory(settings.katalog2, settings, programDir);
    if (settings.monitorowanie2 && !dir2.isEmpty() && Canonical(dir2) == jobDir)
        return {2, dir2, settings.drukarka2};
    return {};
}

QStringList WaitingJobs(const Settings &settings, const QString &programDir)
{
    QStringList jobs;
    QStringList dirs{ResolveMonitoredDirectory(settings.katalog, settings, programDir)};
    if (settings.monitorowanie2)
        dirs.append(ResolveMonitoredDirectory(settings.katalog2, settings, programDir));
    QStringList seen;
    for (const QString &dir : dirs) {
        // Both directories may name the same one: its jobs are listed once.
        if (dir.isEmpty() || seen.contains(Canonical(dir)))
            continue;
        seen.append(Canonical(dir));
        const QFileInfoList files = QDir(dir).entryInfoList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden,
                                                            QDir::Name | QDir::IgnoreCase);
        for (const QFileInfo &file : files) {
            // Only what the monitor would read: no links, nothing but regular files.
            if (!file.isSymLink() && file.isFile()
                && HasSuffixCi(QFile::encodeName(file.fileName()).constData(), ".txt"))
                jobs.append(file.filePath());
        }
    }
    return jobs;
}

} // namespace ostrevo
