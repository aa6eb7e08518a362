#include "forms/FormTemplateFile.h"

#include "jobs/Charsets.h"
#include "jobs/DosPath.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace ostrevo {

namespace {

// A template is a file of its own: a link planted in a shared Wzorzec would make any
// file of the machine a template.
bool IsRegularFile(const QString &path)
{
    struct stat st;
    return !path.isEmpty() && ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
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
        if (!IsRegularFile(path))
            continue;
        // The job directory is a share others write: its Wzorzec must not lead elsewhere.
        const QString real = QFileInfo(path).canonicalFilePath();
        const QString root = QFileInfo(dir).canonicalFilePath();
        if (dir == jobDir && dir != programDir && (root.isEmpty() || !real.startsWith(root + u'/')))
            continue;
        return path;
    }
    return {};
}

} // namespace ostrevo
