#include "app/ProgramDir.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace ostrevo {

QString ResolveProgramDir(const QString &homeOption, const QString &executableDir)
{
    const QString standard = QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                                             + QStringLiteral("/ostrevo"));
    QString dir;
    if (!homeOption.isEmpty())
        dir = homeOption;
    else if (QFileInfo::exists(executableDir + QStringLiteral("/Ostrevo.ini")))
        dir = executableDir;
    else
        dir = standard;
    dir = QDir(dir).absolutePath();
    if (QDir::cleanPath(dir) == standard)
        QDir().mkpath(dir);
    return QDir::cleanPath(dir);
}

} // namespace ostrevo
