#include "devices/FreeFileName.h"

#include "jobs/PartFile.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <fcntl.h>

namespace ostrevo {

QString PublishUnderFreeName(const QString &part, const QString &dir, const QString &base, const QString &suffix,
                             int &error)
{
    error = 0;
    UniqueFd dirFd(::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.fd < 0) {
        error = errno;
        return {};
    }
    const QByteArray from = QFile::encodeName(part);
    for (int n = 1; n < 100000; ++n) {
        const QString tail = (n == 1 ? QString() : QStringLiteral("-%1").arg(n)) + u'.' + suffix;
        // A long name gives way at its end to the number and the suffix.
        const QString stem = CutToFit(base, QString(), NAME_MAX - QFile::encodeName(tail).size());
        const QString name = stem + tail;
        const QByteArray to = QFile::encodeName(name);
        const int result = RenameWithoutReplacing(from.constData(), dirFd.fd, to.constData());
        if (result == EEXIST)
            continue;
        if (result != 0) {
            error = result;
            return {};
        }
        // The new name lasts a power cut only once the directory is on the disk as well. The
        // file is in place by now: a failure here cannot be helped by doing the job again.
        ::fsync(dirFd.fd);
        return dir + u'/' + name;
    }
    error = EEXIST;
    return {};
}

QString SafeFileStem(const QString &name, const QString &fallback)
{
    QString stem = name;
    for (QChar &c : stem) {
        if (c == u'/' || c == u'\\' || c.unicode() < 0x20)
            c = u'_';
    }
    if (stem.isEmpty() || stem == QStringLiteral(".") || stem == QStringLiteral(".."))
        return fallback;
    return stem;
}

} // namespace ostrevo
