#pragma once

#include <QByteArray>
#include <QString>

namespace ostrevo {

// One result line for the legacy program: "error=" + status in the file `fileName` of
// the job directory's "Errors".
struct ResultLine {
    QString jobDir;
    QString fileName;
    QByteArray status;
    bool operator==(const ResultLine &) const = default;
};

// The one-line result files that the legacy program reads back: "error=" + status, CR LF,
// in the "Errors" work directory of the job's monitored directory (created on demand; an
// existing "ERRORS" or "errors" is used as it is, as the Windows file system would).
//
// The file is written beside its final name and renamed over it, so the legacy program
// never reads half a line. Neither the work directory nor the file may be a symbolic
// link: the share is writable by others, and a result must never land outside it.
// Throws IoError with the path and the reason when the result cannot be written.
// Returns the path written.
QString WriteResultFile(const QString &jobDir, const QString &fileName, const QByteArray &status);

// The same line, by the same rules, in the directory `dirPath` itself (created when
// missing; the directory must not be a symbolic link).
QString WriteResultLine(const QString &dirPath, const QString &fileName, const QByteArray &status);

// "NAME.txt" -> "NAME" + suffix: the names a job's result and outputs take after it.
QString JobBaseName(const QString &textPath, const QString &suffix);

// The work directory `name` of a monitored directory, matched without regard to letter
// case; `name` itself when none exists yet.
QString WorkDirectory(const QString &jobDir, const QString &name);

} // namespace ostrevo
