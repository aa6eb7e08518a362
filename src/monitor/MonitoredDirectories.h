#pragma once

#include "handling/Settings.h"

#include <QString>
#include <QStringList>

namespace ostrevo {

// A monitored directory as the settings give it (a Linux path, a DOS path through
// [Dyski], or a path relative to the program directory) as a Linux path.
QString ResolveMonitoredDirectory(const QString &text, const Settings &settings, const QString &programDir);

// Where a job file would be performed: in monitored directory 1 or 2 with its printer, or
// in neither (number 0).
struct MonitoredPlace {
    int number = 0;
    QString directory;   // the monitored directory, as the monitor names it
    QString printerName; // its printer as the settings give it; empty = the default
};

// The same directory whatever the path says it through: links, "..", a trailing slash.
MonitoredPlace FindJobPlace(const QString &jobPath, const Settings &settings, const QString &programDir);

// The job texts lying in the monitored directories now (NAME.txt in any letter case,
// regular files only), directory 1 first, each directory by name: jobs the DOS program
// is still writing, or whose marker the monitor has not taken yet.
QStringList WaitingJobs(const Settings &settings, const QString &programDir);

} // namespace ostrevo
