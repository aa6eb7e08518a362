#include "jobs/CalledAs.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace ostrevo {

QString CalledExecutablePath()
{
    const QString launcher = qEnvironmentVariable(CalledAsVariable);
    // Only an absolute path is one the launcher wrote.
    if (!launcher.isEmpty() && QFileInfo(launcher).isAbsolute())
        return launcher;
    return QCoreApplication::applicationFilePath();
}

QString CalledExecutableDir()
{
    return QFileInfo(CalledExecutablePath()).absolutePath();
}

} // namespace ostrevo
