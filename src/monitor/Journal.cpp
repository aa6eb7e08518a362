#include "monitor/Journal.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrevo {

namespace {
// Past this size the journal starts afresh and the previous one is kept as ostrevo.log.1.
constexpr qint64 RotateAtBytes = 8 * 1024 * 1024;

QString OneLine(QString text)
{
    for (QChar &c : text) {
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    }
    return text;
}
} // namespace

Journal::Journal(QString path) : m_path(std::move(path))
{
    const QFileInfo info(m_path);
    if (info.exists() && info.size() > RotateAtBytes) {
        const QByteArray from = QFile::encodeName(m_path);
        const QByteArray to = QFile::encodeName(m_path + QStringLiteral(".1"));
        ::rename(from.constData(), to.constData());
    }
}

Journal::~Journal()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void Journal::open()
{
    if (m_fd >= 0)
        return;
    const QByteArray name = QFile::encodeName(m_path);
    // Job names and outcomes tell whom the office invoices: for the user alone, also a
    // journal that an older version left readable to all.
    m_fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (m_fd >= 0)
        ::fchmod(m_fd, 0600);
}

QString Journal::record(const QString &directory, const QString &jobFile, const QString &kind, qint64 durationMs,
                        const QString &outcome)
{
    const QString line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
        + u'\t' + OneLine(directory) + u'\t' + OneLine(jobFile) + u'\t' + kind + u'\t'
        + QString::number(durationMs) + QStringLiteral(" ms\t") + OneLine(outcome);
    open();
    if (m_fd >= 0) {
        const QByteArray bytes = line.toUtf8() + '\n';
        // A journal that cannot be written must never stop a job.
        [[maybe_unused]] const ssize_t written = ::write(m_fd, bytes.constData(), size_t(bytes.size()));
    }
    return line;
}

} // namespace ostrevo
