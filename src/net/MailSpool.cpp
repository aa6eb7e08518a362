#include "net/MailSpool.h"

#include "jobs/AtomicFile.h"
#include "jobs/Errors.h"
#include "jobs/UniqueFd.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrevo {

namespace {

const QByteArray Magic = "ostrevo-mail 1\n";
const QString Suffix = QStringLiteral(".msg");
constexpr int SequenceDigits = 12;

QString Reason()
{
    return ErrnoText(errno);
}

quint64 SequenceOf(const QString &fileName)
{
    bool ok = false;
    const quint64 n = fileName.left(SequenceDigits).toULongLong(&ok);
    return ok ? n : 0;
}

QByteArray Field(const char *name, const QByteArray &value)
{
    return QByteArray(name) + ' ' + value.toPercentEncoding() + '\n';
}

} // namespace

MailSpool::MailSpool(QString dir) : m_dir(std::move(dir)) {}

QByteArray MailSpool::encode(const SpooledMail &mail)
{
    QByteArray bytes = Magic;
    bytes += Field("dir", mail.resultDir.toUtf8());
    bytes += Field("result", mail.resultName.toUtf8());
    if (!mail.writesResult)
        bytes += Field("noresult", "1");
    if (!mail.jobId.isEmpty() || !mail.jobFile.isEmpty() || !mail.jobKind.isEmpty()) {
        bytes += Field("job", mail.jobId.toUtf8());
        bytes += Field("jobfile", mail.jobFile.toUtf8());
        bytes += Field("kind", mail.jobKind.toUtf8());
    }
    bytes += Field("from", mail.from);
    for (const QByteArray &recipient : mail.recipients)
        bytes += Field("rcpt", recipient);
    bytes += "size " + QByteArray::number(mail.message.size()) + "\n\n";
    return bytes + mail.message;
}

std::optional<SpooledMail> MailSpool::decode(const QByteArray &bytes)
{
    if (!bytes.startsWith(Magic))
        return std::nullopt;
    const qsizetype headEnd = bytes.indexOf("\n\n", Magic.size() - 1);
    if (headEnd < 0)
        return std::nullopt;
    SpooledMail mail;
    qint64 size = -1;
    for (const QByteArray &line : bytes.mid(Magic.size(), headEnd - Magic.size()).split('\n')) {
        const qsizetype space = line.indexOf(' ');
        const QByteArray name = line.left(space);
        const QByteArray value = QByteArray::fromPercentEncoding(line.mid(space + 1));
        if (name == "dir")
            mail.resultDir = QString::fromUtf8(value);
        else if (name == "result")
            mail.resultName = QString::fromUtf8(value);
        else if (name == "noresult")
            mail.writesResult = value != "1";
        else if (name == "job")
            mail.jobId = QString::fromUtf8(value);
        else if (name == "jobfile")
            mail.jobFile = QString::fromUtf8(value);
        else if (name == "kind")
            mail.jobKind = QString::fromUtf8(value);
        else if (name == "from")
            mail.from = value;
        else if (name == "rcpt")
            mail.recipients.append(value);
        else if (name == "size")
            size = value.toLongLong();
    }
    mail.message = bytes.mid(headEnd + 2);
    // A file cut short (a disk that filled up under an older version) is not sent half.
    if (size != mail.message.size() || (mail.writesResult && (mail.resultDir.isEmpty() || mail.resultName.isEmpty())))
        return std::nullopt;
    return mail;
}

QString MailSpool::add(const SpooledMail &mail)
{
    // Two writers must never take one sequence number: the second would replace the first.
    std::lock_guard lock(m_addMutex);
    const QByteArray dirName = QFile::encodeName(m_dir);
    QDir().mkpath(QFileInfo(m_dir).path()); // the program directory is made on first write
    if (::mkdir(dirName.constData(), 0700) != 0 && errno != EEXIST)
        throw IoError(QStringLiteral("Nie można utworzyć kolejki poczty %1: %2").arg(m_dir, Reason()));
    UniqueFd dir{::open(dirName.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dir.fd < 0)
        throw IoError(QStringLiteral("Nie można otworzyć kolejki poczty %1: %2").arg(m_dir, Reason()));
    const QStringList present = waiting();
    if (!present.isEmpty())
        m_next = std::max(m_next, SequenceOf(present.last()) + 1);
    m_next = std::max<quint64>(m_next, 1);

    const QString name = QStringLiteral("%1").arg(m_next, SequenceDigits, 10, QChar(u'0')) + Suffix;
    WriteFileAtomicallyAt(dir.fd, m_dir, QFile::encodeName(name), encode(mail), 0600);
    ++m_next;
    return name;
}

QStringList MailSpool::waiting() const
{
    QStringList names = QDir(m_dir).entryList({QStringLiteral("*") + Suffix}, QDir::Files | QDir::NoSymLinks, QDir::Name);
    names.erase(std::remove_if(names.begin(), names.end(), [](const QString &n) { return SequenceOf(n) == 0; }),
                names.end());
    return names;
}

std::optional<SpooledMail> MailSpool::read(const QString &fileName) const
{
    QFile file(m_dir + u'/' + fileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return decode(file.readAll());
}

void MailSpool::remove(const QString &fileName) const
{
    QFile::remove(m_dir + u'/' + fileName);
}

} // namespace ostrevo
