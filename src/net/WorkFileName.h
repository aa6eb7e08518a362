#pragma once

#include <QByteArray>
#include <QString>

namespace ostrevo {

// A name that a job gives for a file inside one of its work directories (FTP, MAIL,
// Download). Only a plain name is one: a path separator of either kind, a drive letter,
// "." or ".." would reach outside the work directory, which the share's other users
// must never make us read, send, write or delete.
struct WorkFileName {
    QString name;    // the name as a Linux file name (from the DOS code page)
    QString problem; // why the value is not a plain name; empty when it is

    bool ok() const { return problem.isEmpty(); }
};

WorkFileName CheckWorkFileName(const QByteArray &value, const char *key);

// The file-name part of a value (after its last "\" or "/") with its extension replaced
// by ".txt", added when it has none: the name of a result file. "dane.zip" -> "dane.txt".
QString ResultNameFor(const QString &value);

} // namespace ostrevo
