#include "handling/ResultFile.h"

#include "jobs/AtomicFile.h"
#include "jobs/DosPath.h"
#include "jobs/Errors.h"
#include "jobs/UniqueFd.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrevo {

namespace {

QString Reason()
{
    return ErrnoText(errno);
}


} // namespace

QString JobBaseName(const QString &textPath, const QString &suffix)
{
    const QString name = QFileInfo(textPath).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return (dot >= 0 ? name.left(dot) : name) + suffix;
}

QString WorkDirectory(const QString &jobDir, const QString &name)
{
    return ResolveCaseInsensitive(jobDir + u'/' + name);
}

QString WriteResultFile(const QString &jobDir, const QString &fileName, const QByteArray &status)
{
    return WriteResultLine(WorkDirectory(jobDir, QStringLiteral("Errors")), fileName, status);
}

QString WriteResultLine(const QString &dirPath, const QString &fileName, const QByteArray &status)
{
    const QString path = dirPath + u'/' + fileName;
    const QByteArray dirName = QFile::encodeName(dirPath);
    if (::mkdir(dirName.constData(), 0775) != 0 && errno != EEXIST)
        throw IoError(QStringLiteral("Nie można utworzyć katalogu %1: %2").arg(dirPath, Reason()));
    UniqueFd dir{::open(dirName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
    if (dir.fd < 0)
        throw IoError(QStringLiteral("Nie można otworzyć katalogu %1: %2").arg(dirPath, Reason()));

    QByteArray name = QFile::encodeName(fileName);
    if (name.isEmpty() || name.contains('/') || name == "." || name == "..")
        throw IoError(QStringLiteral("To nie jest nazwa pliku wyniku: \"%1\"").arg(fileName));
    // A result of the same name in another letter case (DANE.TXT for dane.txt) is the one
    // the DOS program reads: it is replaced, never left stale beside the new one.
    const QString existing = QFileInfo(ResolveCaseInsensitive(path)).fileName();
    if (existing.compare(fileName, Qt::CaseInsensitive) == 0 && existing != fileName)
        name = QFile::encodeName(existing);
    WriteFileAtomicallyAt(dir.fd, dirPath, name, "error=" + status + "\r\n", 0664);
    return path;
}

} // namespace ostrevo
