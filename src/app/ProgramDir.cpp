#include "app/ProgramDir.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace ostrevo {

QString ResolveProgramDir(const QString &homeOption, const QString &executableDir)
{
    QString dir;
    if (!homeOption.isEmpty())
        dir = homeOption;
    else if (QFileInfo::exists(executableDir + QStringLiteral("/Ostrevo.ini")))
        dir = executableDir;
    else
        dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/ostrevo");
    dir = QDir(dir).absolutePath();
    QDir().mkpath(dir);
    return QDir::cleanPath(dir);
}

} // namespace ostrevo
