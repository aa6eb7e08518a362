#include "forms/FormTemplateFile.h"

#include "jobs/Charsets.h"
#include "jobs/DosPath.h"

#include <QFileInfo>

namespace ostrevo {

namespace {

bool IsRegularFile(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

} // namespace

QString LocateFormTemplate(const QByteArray &name, const QString &programDir, const QString &jobDir,
                           const QMap<QChar, QString> &drives)
{
    const QByteArray file = name + ".txt";
    if (name.contains('\\')) {
        const QString path = DosPathMapper(drives, programDir).toLocal(file);
        if (IsRegularFile(path))
            return path;
    }
    for (const QString &dir : {programDir, jobDir}) {
        if (dir.isEmpty())
            continue;
        const QString path = DosPathMapper(drives, dir).toLocal("Wzorzec\\" + file);
        if (IsRegularFile(path))
            return path;
    }
    return {};
}

} // namespace ostrevo
