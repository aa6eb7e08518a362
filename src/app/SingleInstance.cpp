#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace ostrevo {

SingleInstance::SingleInstance(const QString &executableName, const QString &programDir)
{
    QString base = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    if (base.isEmpty())
        base = QStringLiteral("/tmp");
    const QByteArray key = QCryptographicHash::hash(programDir.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    m_path = QStringLiteral("%1/%2-%3-%4.lock")
                 .arg(base, executableName, QString::number(::getuid()), QString::fromLatin1(key));
}

SingleInstance::~SingleInstance()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SingleInstance::acquire()
{
    if (m_fd >= 0)
        return true;
    const QByteArray name = QFile::encodeName(m_path);
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return true; // no lock possible: better two monitors than none
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

} // namespace ostrevo
