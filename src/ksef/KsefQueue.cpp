#include "ksef/KsefQueue.h"

#include "jobs/AtomicFile.h"
#include "jobs/Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <sys/stat.h>

namespace ostrevo {

namespace {

const QString Suffix = QStringLiteral(".faktura");
constexpr int SequenceDigits = 12;
const QString Format = QStringLiteral("ostrevo-ksef 1");

quint64 SequenceOf(const QString &fileName)
{
    bool ok = false;
    const quint64 n = fileName.left(SequenceDigits).toULongLong(&ok);
    return ok ? n : 0;
}

} // namespace

KsefQueue::KsefQueue(QString dir) : m_dir(std::move(dir)) {}

void KsefQueue::makeDir() const
{
    QDir().mkpath(QFileInfo(m_dir).path()); // the program directory is made on first write
    if (::mkdir(QFile::encodeName(m_dir).constData(), 0700) != 0 && errno != EEXIST)
        throw IoError(QStringLiteral("Nie można utworzyć kolejki KSeF %1: %2").arg(m_dir, ErrnoText(errno)));
}

QByteArray KsefQueue::encode(const QueuedInvoice &invoice)
{
    QJsonObject o;
    o.insert(QStringLiteral("format"), Format);
    o.insert(QStringLiteral("dir"), invoice.resultDir);
    o.insert(QStringLiteral("result"), invoice.resultName);
    o.insert(QStringLiteral("job"), invoice.jobId);
    o.insert(QStringLiteral("jobfile"), invoice.jobFile);
    o.insert(QStringLiteral("number"), invoice.invoiceNumber);
    o.insert(QStringLiteral("queued"), invoice.queuedAt.toUTC().toString(Qt::ISODateWithMs));
    o.insert(QStringLiteral("session"), invoice.sessionRef);
    o.insert(QStringLiteral("invoice"), invoice.invoiceRef);
    o.insert(QStringLiteral("xml"), QString::fromUtf8(invoice.xml));
    o.insert(QStringLiteral("pdf"), invoice.pdfPath);
    o.insert(QStringLiteral("address"), QString::fromLatin1(invoice.verificationAddress));
    o.insert(QStringLiteral("jobtext"), QString::fromLatin1(invoice.jobText.toBase64()));
    o.insert(QStringLiteral("issued"), invoice.issued.toString(Qt::ISODate));
    o.insert(QStringLiteral("offline"), invoice.offline);
    o.insert(QStringLiteral("kod2"), QString::fromLatin1(invoice.certificateAddress));
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

std::optional<QueuedInvoice> KsefQueue::decode(const QByteArray &bytes)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    if (o.value(QStringLiteral("format")).toString() != Format)
        return std::nullopt;
    QueuedInvoice invoice;
    invoice.resultDir = o.value(QStringLiteral("dir")).toString();
    invoice.resultName = o.value(QStringLiteral("result")).toString();
    invoice.jobId = o.value(QStringLiteral("job")).toString();
    invoice.jobFile = o.value(QStringLiteral("jobfile")).toString();
    invoice.invoiceNumber = o.value(QStringLiteral("number")).toString();
    invoice.queuedAt = QDateTime::fromString(o.value(QStringLiteral("queued")).toString(), Qt::ISODateWithMs);
    invoice.sessionRef = o.value(QStringLiteral("session")).toString();
    invoice.invoiceRef = o.value(QStringLiteral("invoice")).toString();
    invoice.xml = o.value(QStringLiteral("xml")).toString().toUtf8();
    invoice.pdfPath = o.value(QStringLiteral("pdf")).toString();
    invoice.verificationAddress = o.value(QStringLiteral("address")).toString().toLatin1();
    invoice.jobText = QByteArray::fromBase64(o.value(QStringLiteral("jobtext")).toString().toLatin1());
    // Entries written before offline issuing was known have none of these.
    invoice.issued = QDate::fromString(o.value(QStringLiteral("issued")).toString(), Qt::ISODate);
    invoice.offline = o.value(QStringLiteral("offline")).toBool();
    invoice.certificateAddress = o.value(QStringLiteral("kod2")).toString().toLatin1();
    // A file cut short or planted is not sent: it must name its result and hold an invoice.
    if (invoice.resultDir.isEmpty() || invoice.resultName.isEmpty() || invoice.xml.isEmpty()
        || !invoice.queuedAt.isValid())
        return std::nullopt;
    return invoice;
}

QString KsefQueue::add(const QueuedInvoice &invoice)
{
    makeDir();
    const QStringList present = waiting();
    if (!present.isEmpty())
        m_next = std::max(m_next, SequenceOf(present.last()) + 1);
    m_next = std::max<quint64>(m_next, 1);
    const QString name = QStringLiteral("%1").arg(m_next, SequenceDigits, 10, QChar(u'0')) + Suffix;
    WriteFileAtomically(m_dir + u'/' + name, encode(invoice), 0600);
    ++m_next;
    return name;
}

void KsefQueue::update(const QString &fileName, const QueuedInvoice &invoice)
{
    WriteFileAtomically(m_dir + u'/' + fileName, encode(invoice), 0600);
}

QStringList KsefQueue::waiting() const
{
    QStringList names;
    const QStringList entries = QDir(m_dir).entryList({u'*' + Suffix}, QDir::Files, QDir::Name);
    for (const QString &name : entries) {
        if (name.size() == SequenceDigits + Suffix.size() && SequenceOf(name) > 0)
            names.append(name);
    }
    return names;
}

std::optional<QueuedInvoice> KsefQueue::read(const QString &fileName) const
{
    QFile file(m_dir + u'/' + fileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return decode(file.read(16 * 1024 * 1024));
}

void KsefQueue::setAside(const QString &fileName) const
{
    QFile::rename(m_dir + u'/' + fileName, m_dir + u'/' + fileName + QStringLiteral(".bad"));
}

void KsefQueue::remove(const QString &fileName) const
{
    QFile::remove(m_dir + u'/' + fileName);
}

} // namespace ostrevo
