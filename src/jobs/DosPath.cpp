#include "jobs/DosPath.h"

#include "jobs/Charsets.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace ostrevo {

namespace {

const QString Slash = QStringLiteral("/");

// Below unmappedRoot(): where a path on a drive without a [Dyski] line, or a UNC path, is
// sent, so that nothing is found or made there.
const QString UnmappedDrive = QStringLiteral("/unmapped-drive-");
const QString Unc = QStringLiteral("/unc");

// The rest of a path inside a message, up to where the sentence goes on, with DOS's
// separators; returns where it ended.
qsizetype CopyDosPath(const QString &message, qsizetype at, QString &text)
{
    static const QString ends = QStringLiteral(" \t\r\n;:,\"'()");
    for (; at < message.size() && !ends.contains(message.at(at)); ++at)
        text += message.at(at) == u'/' ? u'\\' : message.at(at);
    return at;
}

bool IsDriveSpec(const QString &text)
{
    return text.size() >= 2 && text.at(1) == u':' && text.at(0).unicode() < 0x80 && text.at(0).isLetter();
}

// Windows ignores trailing dots and spaces of a name ("NAME." is "NAME").
QString WindowsComponent(QString name)
{
    if (name == u'.' || name == QStringLiteral(".."))
        return name;
    while (!name.isEmpty() && (name.endsWith(u'.') || name.endsWith(u' ')))
        name.chop(1);
    return name;
}

// The entry of `dir` named `name`, exact spelling first, then any spelling; empty when
// there is none.
QString FindEntry(const QString &dir, const QString &name)
{
    const QString exact = dir.endsWith(u'/') ? dir + name : dir + Slash + name;
    if (QFileInfo::exists(exact))
        return name;
    const QStringList entries = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return {};
}

// Walks the components below `root` ("/", a resolved directory, or "" for a relative
// path), resolving each one while the directory above it exists. ".." never climbs above
// a non-empty root, as "C:\.." stays on the drive's root.
QString ResolveComponents(const QString &root, const QStringList &components, bool trailingSlash)
{
    QStringList done;
    qsizetype resolved = 0; // leading components of `done` that were found on disk
    auto current = [&root, &done] {
        const QString joined = done.join(u'/');
        if (root.isEmpty())
            return joined.isEmpty() ? QStringLiteral(".") : joined;
        return root.endsWith(u'/') ? root + joined : root + Slash + joined;
    };
    for (const QString &component : components) {
        if (component.isEmpty() || component == u'.')
            continue;
        if (component == QStringLiteral("..")) {
            if (!done.isEmpty() && done.last() != QStringLiteral("..")) {
                done.removeLast();
                resolved = std::min(resolved, done.size());
            } else if (root.isEmpty()) {
                done.append(component);
                resolved = done.size();
            }
            continue;
        }
        if (resolved == done.size()) {
            const QString found = FindEntry(current(), component);
            if (!found.isEmpty()) {
                done.append(found);
                ++resolved;
                continue;
            }
        }
        done.append(component);
    }
    QString result = done.join(u'/');
    if (!root.isEmpty())
        result = result.isEmpty() ? root : (root.endsWith(u'/') ? root + result : root + Slash + result);
    if (trailingSlash && !result.isEmpty() && !result.endsWith(u'/'))
        result += u'/';
    return result;
}

QStringList Components(const QString &path, bool windowsNames)
{
    QStringList components = path.split(u'/', Qt::SkipEmptyParts);
    if (windowsNames) {
        for (QString &c : components)
            c = WindowsComponent(c);
    }
    return components;
}

bool TrailingSlash(const QString &path)
{
    return path.size() > 1 && path.endsWith(u'/');
}

QString ResolveLinux(const QString &path, bool windowsNames)
{
    const QString root = path.startsWith(u'/') ? Slash : QString();
    return ResolveComponents(root, Components(path, windowsNames), TrailingSlash(path));
}

} // namespace

DosPathMapper::DosPathMapper() = default;

DosPathMapper::DosPathMapper(QMap<QChar, QString> drives, QString baseDir)
    : m_baseDir(std::move(baseDir))
{
    for (auto it = drives.cbegin(); it != drives.cend(); ++it)
        m_drives.insert(it.key().toUpper(), it.value());
}

QString DosPathMapper::unmappedRoot()
{
    return QStringLiteral("/dev/null");
}

QString DosPathMapper::readable(const QString &message)
{
    const QString drivePrefix = unmappedRoot() + UnmappedDrive;
    const QString uncPrefix = unmappedRoot() + Unc + u'/';
    if (!message.contains(drivePrefix) && !message.contains(uncPrefix))
        return message;
    QString text;
    QString drives;
    bool unc = false;
    for (qsizetype at = 0; at < message.size();) {
        if (message.mid(at, drivePrefix.size()) == drivePrefix && at + drivePrefix.size() < message.size()) {
            const QChar drive = message.at(at + drivePrefix.size());
            text += drive + QStringLiteral(":\\");
            if (!drives.contains(drive))
                drives += drive;
            at += drivePrefix.size() + 1;
            if (at < message.size() && message.at(at) == u'/')
                ++at;
            at = CopyDosPath(message, at, text);
        } else if (message.mid(at, uncPrefix.size()) == uncPrefix) {
            text += QStringLiteral("\\\\");
            unc = true;
            at = CopyDosPath(message, at + uncPrefix.size(), text);
        } else {
            text += message.at(at++);
        }
    }
    for (const QChar drive : std::as_const(drives))
        text += QStringLiteral(" (dysk %1: nie ma wpisu w [Dyski] pliku Ostrevo.ini)").arg(drive);
    if (unc)
        text += QStringLiteral(" (ścieżki sieciowe \\\\serwer\\udział nie są obsługiwane: przypisz udziałowi dysk w [Dyski] "
                               "pliku Ostrevo.ini)");
    return text;
}

bool DosPathMapper::looksLikeDos(const QString &text)
{
    return IsDriveSpec(text) || text.contains(u'\\');
}

QString DosPathMapper::toLocal(const QString &path) const
{
    if (path.isEmpty())
        return {};
    const bool dos = looksLikeDos(path);
    QString p = path;
    p.replace(u'\\', u'/');

    if (p.startsWith(QStringLiteral("//")) && path.startsWith(QStringLiteral("\\\\")))
        return unmappedRoot() + Unc + p.mid(1);

    if (IsDriveSpec(p)) {
        const QChar drive = p.at(0).toUpper();
        // "C:FK" (relative to the drive's current directory) is taken from its root.
        QString rest = p.mid(2);
        while (rest.startsWith(u'/'))
            rest.remove(0, 1);
        const auto it = m_drives.constFind(drive);
        if (it == m_drives.cend() || it->isEmpty())
            return unmappedRoot() + UnmappedDrive + drive + u'/' + rest;
        const QString driveRoot = ResolveLinux(*it, false);
        return ResolveComponents(driveRoot, Components(rest, dos), TrailingSlash(rest));
    }
    if (!p.startsWith(u'/')) {
        const QString base = m_baseDir.isEmpty() ? QDir::currentPath() : m_baseDir;
        p = base + Slash + p;
    }
    return ResolveLinux(p, dos);
}

QString DosPathMapper::toLocal(const QByteArray &cp852Value) const
{
    return toLocal(Cp852ToUnicode(cp852Value));
}

QString ResolveCaseInsensitive(const QString &linuxPath)
{
    if (linuxPath.isEmpty())
        return {};
    return ResolveLinux(linuxPath, false);
}

} // namespace ostrevo
