#pragma once

#include "jobs/UniqueFd.h"

#include <QByteArray>
#include <QString>

namespace ostrevo {

// A work directory of a monitored directory (FTP, MAIL, Download), opened once and used
// by descriptor: neither it nor a file in it is reached through a symbolic link, so a
// job's names never lead outside it. File names match without regard to letter case.
class WorkDir {
public:
    // `create`: made when missing. Check ok() / error().
    WorkDir(const QString &jobDir, const QString &name, bool create);

    bool ok() const { return m_dir.fd >= 0; }
    const QString &error() const { return m_error; }
    const QString &path() const { return m_path; }
    int fd() const { return m_dir.fd; }

    // The name as it exists in the directory (any letter case), else the name itself.
    QByteArray entryName(const QString &name) const;
    // A regular file for reading; -1 with `why` set.
    int openRead(const QString &name, QString &why) const;
    // Deletes the entry (a link itself, never its target); ignores a failure.
    void remove(const QString &name) const;

    // A download being written: a hidden part file of this directory, locked while it is
    // written, so that the removal of what killed runs left never takes a live one. Its
    // name is in `part`; -1 with `why` set.
    UniqueFd createPart(QByteArray &part, QString &why) const;
    // Gives the finished part its name: `replace` or not an existing file of that name
    // (never through a link). 0, or the errno (EEXIST for a name taken).
    int publish(const QByteArray &part, const QString &name, bool replace) const;
    // Removes the part files of downloads that were killed (not locked by a writer).
    void removeStaleParts() const;

private:
    QString m_path;
    QString m_error;
    UniqueFd m_dir;
};

} // namespace ostrevo
