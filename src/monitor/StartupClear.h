#pragma once

#include "handling/Settings.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace ostrevo {

// Emptying of the monitored directories and their work directories at start. Deletions
// that fail are skipped; only entries that are not directories are deleted (a link as a
// link, never its target), and a work directory that is a link is not emptied but named
// in the warnings returned.

// Files of jobs that are kept for this run (full path); the emptying leaves them.
using SpareFile = std::function<bool(const QString &path)>;

// Deletes every file matching *.end, then every file matching *.txt (any letter case),
// except those `spare` names.
void ClearJobFiles(const QString &dir, const SpareFile &spare = {});

// Deletes every file of the directory; subdirectories and their contents stay. The last
// component of `dir` is found without regard to letter case ("FTP", "ftp").
QStringList ClearDirectory(const QString &dir);

// The whole sequence for directory 1, then directory 2 (also when directory 2 is not
// monitored); a directory with an empty text is skipped. `resolveDir` maps the configured
// text (a DOS or Linux path) to a Linux directory.
QStringList EmptyAtStart(const Settings &settings, const std::function<QString(const QString &)> &resolveDir,
                  const SpareFile &spare = {});

} // namespace ostrevo
