#include "monitor/StartupClear.h"

#include "jobs/DosPath.h"

#include <QDir>
#include <QFile>

namespace ostrevo {

namespace {

// Files of every kind the Windows "*.*" would match, hidden ones and broken links included;
// never directories (nor links to them).
constexpr QDir::Filters FileEntries = QDir::Files | QDir::Hidden | QDir::System;

void RemoveMatching(const QString &dir, const QString &pattern, const SpareFile &spare = {})
{
    QDir d(dir);
    d.setFilter(FileEntries);
    d.setNameFilters({pattern});
    // Name filters of QDir match without regard to case by default.
    const QStringList names = d.entryList();
    for (const QString &name : names) {
        if (!spare || !spare(d.filePath(name)))
            QFile::remove(d.filePath(name));
    }
}

void EmptyOne(const Settings &s, const QString &dir, const SpareFile &spare)
{
    if (s.clear)
        ClearJobFiles(dir, spare);
    const QString base = dir.endsWith(u'/') ? dir : dir + u'/';
    const std::pair<bool, const char16_t *> work[] = {
        {s.clearFtp, u"FTP"},     {s.clearPdf, u"PDF"},           {s.clearErrors, u"ERRORS"},
        {s.clearMail, u"MAIL"},   {s.clearDownload, u"DOWNLOAD"},
    };
    for (const auto &[enabled, name] : work) {
        if (enabled)
            ClearDirectory(base + QString::fromUtf16(name));
    }
}

} // namespace

void ClearJobFiles(const QString &dir, const SpareFile &spare)
{
    const QString resolved = ResolveCaseInsensitive(dir);
    if (resolved.isEmpty() || !QFileInfo(resolved).isDir())
        return;
    RemoveMatching(resolved, QStringLiteral("*.end"), spare);
    RemoveMatching(resolved, QStringLiteral("*.txt"), spare);
}

void ClearDirectory(const QString &dir)
{
    QString resolved = ResolveCaseInsensitive(dir);
    if (resolved.isEmpty() || !QFileInfo(resolved).isDir())
        return;
    RemoveMatching(resolved, QStringLiteral("*"));
}

void EmptyAtStart(const Settings &settings, const std::function<QString(const QString &)> &resolveDir,
                  const SpareFile &spare)
{
    for (const QString &text : {settings.katalog, settings.katalog2}) {
        if (text.isEmpty())
            continue;
        const QString dir = resolveDir(text);
        if (!dir.isEmpty())
            EmptyOne(settings, dir, spare);
    }
}

} // namespace ostrevo
