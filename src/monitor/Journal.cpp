#include "monitor/Journal.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrevo {

namespace {
// Past this size the journal starts afresh at start-up; the previous ones are kept as
// ostrevo.log.1 (the newest) to ostrevo.log.3.
constexpr qint64 RotateAtBytes = 8 * 1024 * 1024;
constexpr int KeptGenerations = 3;

QByteArray Generation(const QString &path, int n)
{
    return QFile::encodeName(n == 0 ? path : path + u'.' + QString::number(n));
}
} // namespace

bool Journal::dueForRotation(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() && info.size() > RotateAtBytes;
}

Journal::Journal(QString path) : m_path(std::move(path))
{
    if (dueForRotation(m_path)) {
        for (int n = KeptGenerations - 1; n >= 0; --n)
            ::rename(Generation(m_path, n).constData(), Generation(m_path, n + 1).constData());
    }
}

Journal::~Journal()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void Journal::open()
{
    if (m_fd >= 0 && !movedAway())
        return;
    if (m_fd >= 0)
        ::close(m_fd);
    const QByteArray name = QFile::encodeName(m_path);
    // Job names and outcomes tell whom the office invoices: for the user alone, also a
    // journal that an older version left readable to all. Never written through a link.
    m_fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd >= 0)
        ::fchmod(m_fd, 0600);
}

// A log rotation moved or deleted the file we hold: later lines belong in a new one.
bool Journal::movedAway() const
{
    struct stat held;
    struct stat named;
    if (::fstat(m_fd, &held) != 0)
        return true;
    if (::lstat(QFile::encodeName(m_path).constData(), &named) != 0)
        return true;
    return held.st_ino != named.st_ino || held.st_dev != named.st_dev;
}

QString Journal::record(const JobRecord &record)
{
    const QString line = JournalLine(record);
    open();
    if (m_fd >= 0) {
        const QByteArray bytes = line.toUtf8() + '\n';
        // A journal that cannot be written must never stop a job.
        [[maybe_unused]] const ssize_t written = ::write(m_fd, bytes.constData(), size_t(bytes.size()));
    }
    return line;
}

} // namespace ostrevo
