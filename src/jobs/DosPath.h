#pragma once

#include <QByteArray>
#include <QChar>
#include <QMap>
#include <QString>

namespace ostrevo {

// Turns the DOS/Windows paths written inside jobs ("C:\FK\PDF", "..\WZORY\pit") into
// Linux paths: '\' becomes '/', a drive letter maps through the [Dyski] table, relative
// paths resolve against a base directory, and every existing component is found without
// regard to letter case, as on the Windows file system.
//
// A drive letter without a mapping (and a UNC path "\\server\share") gives a path under
// UnmappedRoot, "/dev/null/...": it can never exist and nothing can be created below it,
// so callers that test for existence or try to write fail cleanly.
class DosPathMapper {
public:
    DosPathMapper();
    DosPathMapper(QMap<QChar, QString> drives, QString baseDir);

    // An empty path gives an empty string.
    QString toLocal(const QString &path) const;
    // A job value in the DOS code page (CP852).
    QString toLocal(const QByteArray &cp852Value) const;

    // A drive letter ("C:") at the start or a backslash anywhere.
    static bool looksLikeDos(const QString &text);

    static QString unmappedRoot();
    // A message with the places given for paths that could not be mapped written as the
    // user wrote them ("Q:\\", "\\\\serwer\\"), and why each leads nowhere.
    static QString readable(const QString &message);

private:
    QMap<QChar, QString> m_drives; // keys: upper-case letters
    QString m_baseDir;             // empty: the current directory
};

// The path with each existing component matched case-insensitively against the file
// system (an exact match first); components that do not exist are kept as written, and
// so is everything after them.
QString ResolveCaseInsensitive(const QString &linuxPath);

} // namespace ostrevo
