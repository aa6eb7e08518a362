#pragma once

#include "handling/Settings.h"

#include <QString>

#include <functional>

namespace ostrevo {

// Emptying of the monitored directories and their work directories at start. Nothing here
// reports: deletions that fail are skipped, and only files are ever deleted.

// Files of jobs that are kept for this run (full path); the emptying leaves them.
using SpareFile = std::function<bool(const QString &path)>;

// Deletes every file matching *.end, then every file matching *.txt (any letter case),
// except those `spare` names.
void ClearJobFiles(const QString &dir, const SpareFile &spare = {});

// Deletes every file of the directory; subdirectories and their contents stay. The last
// component of `dir` is found without regard to letter case ("FTP", "ftp").
void ClearDirectory(const QString &dir);

// The whole sequence for directory 1, then directory 2 (also when directory 2 is not
// monitored); a directory with an empty text is skipped. `resolveDir` maps the configured
// text (a DOS or Linux path) to a Linux directory.
void EmptyAtStart(const Settings &settings, const std::function<QString(const QString &)> &resolveDir,
                  const SpareFile &spare = {});

} // namespace ostrevo
