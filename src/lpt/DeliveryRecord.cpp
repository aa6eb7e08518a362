#include "lpt/DeliveryRecord.h"

#include "jobs/AtomicFile.h"
#include "jobs/PartFile.h"
#include "jobs/UniqueFd.h"

#include <QCryptographicHash>
#include <QFile>

#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrevo {

namespace {

const QByteArray Magic = "ostrevo-port 1\n";
const QByteArray RecordSuffix = ".ostrevo";
// A record is a few hundred bytes; anything much larger is not one of ours.
constexpr qint64 MaxRecordBytes = 64 * 1024;

QByteArray Line(const char *key, const QByteArray &value)
{
    return QByteArray(key) + ' ' + value.toPercentEncoding() + '\n';
}

QByteArray Line(const char *key, const QString &value)
{
    return Line(key, value.toUtf8());
}

QByteArray StepWord(DeliveryRecord::Step step)
{
    switch (step) {
    case DeliveryRecord::Step::NotYet: return "no";
    case DeliveryRecord::Step::Started: return "started";
    case DeliveryRecord::Step::Done: return "done";
    }
    return "no";
}

std::optional<DeliveryRecord::Step> StepOf(const QByteArray &word)
{
    if (word == "no")
        return DeliveryRecord::Step::NotYet;
    if (word == "started")
        return DeliveryRecord::Step::Started;
    if (word == "done")
        return DeliveryRecord::Step::Done;
    return std::nullopt;
}

} // namespace

CaptureIdentity CaptureIdentity::of(const struct stat &st)
{
    return {quint64(st.st_ino), qint64(st.st_size),
            qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

QByteArray RecordNameOf(const QByteArray &captureName)
{
    const QByteArray plain = '.' + captureName + RecordSuffix;
    if (plain.size() <= NAME_MAX)
        return plain;
    // A name near the longest one: cut, and told apart from its neighbours by a digest.
    const QByteArray digest = QCryptographicHash::hash(captureName, QCryptographicHash::Sha1).toHex().left(16);
    const QString cut = CutToFit(QFile::decodeName(captureName), QString(),
                                 NAME_MAX - 2 - digest.size() - RecordSuffix.size());
    return '.' + QFile::encodeName(cut) + '~' + digest + RecordSuffix;
}

bool IsRecordName(const QByteArray &name)
{
    return name.startsWith('.') && name.endsWith(RecordSuffix) && name.size() > 1 + RecordSuffix.size();
}

QByteArray EncodeRecord(const DeliveryRecord &r)
{
    QByteArray bytes = Magic;
    bytes += Line("name", r.captureName);
    bytes += "capture " + QByteArray::number(r.capture.inode) + ' ' + QByteArray::number(r.capture.size) + ' '
        + QByteArray::number(r.capture.mtimeNs) + '\n';
    bytes += Line("id", r.id);
    bytes += "language " + QByteArray::number(int(r.report.language)) + '\n';
    bytes += Line("codepage", r.report.codePage);
    bytes += "guessed " + QByteArray(r.report.codePageGuessed ? "1" : "0") + '\n';
    bytes += "pages " + QByteArray::number(r.report.pages) + '\n';
    for (const QString &command : r.report.unknownCommands)
        bytes += Line("unknown", command);
    if (!r.pendingPart.isEmpty()) {
        bytes += Line("pending", r.pendingPart);
        bytes += "pendinginode " + QByteArray::number(r.pendingInode) + '\n';
        bytes += Line("pendingfolder", r.pendingFolder);
    }
    if (!r.keptPdf.isEmpty())
        bytes += Line("pdf", r.keptPdf);
    bytes += "print " + StepWord(r.print) + '\n';
    bytes += Line("printdetail", r.printDetail);
    bytes += "mail " + StepWord(r.mail) + '\n';
    bytes += Line("maildetail", r.mailDetail);
    bytes += "delivered " + QByteArray(r.delivered ? "1" : "0") + '\n';
    // The last line: a record cut short never passes for a whole one.
    return bytes + "end\n";
}

std::optional<DeliveryRecord> DecodeRecord(const QByteArray &bytes)
{
    if (!bytes.startsWith(Magic) || !bytes.endsWith("\nend\n"))
        return std::nullopt;
    DeliveryRecord r;
    bool identity = false;
    const QList<QByteArray> lines = bytes.mid(Magic.size()).split('\n');
    for (const QByteArray &line : lines) {
        const qsizetype space = line.indexOf(' ');
        const QByteArray key = space < 0 ? line : line.left(space);
        const QByteArray raw = space < 0 ? QByteArray() : line.mid(space + 1);
        const QString text = QString::fromUtf8(QByteArray::fromPercentEncoding(raw));
        bool ok = true;
        if (key == "name") {
            r.captureName = QByteArray::fromPercentEncoding(raw);
        } else if (key == "capture") {
            const QList<QByteArray> parts = raw.split(' ');
            if (parts.size() != 3)
                return std::nullopt;
            bool a = false, b = false, c = false;
            r.capture = {parts[0].toULongLong(&a), parts[1].toLongLong(&b), parts[2].toLongLong(&c)};
            identity = a && b && c;
        } else if (key == "id") {
            r.id = text;
        } else if (key == "language") {
            const int language = raw.toInt(&ok);
            if (language < int(PrintLanguage::Escp) || language > int(PrintLanguage::Pcl))
                return std::nullopt;
            r.report.language = PrintLanguage(language);
        } else if (key == "codepage") {
            r.report.codePage = text;
        } else if (key == "guessed") {
            r.report.codePageGuessed = raw == "1";
        } else if (key == "pages") {
            r.report.pages = raw.toInt(&ok);
        } else if (key == "unknown") {
            r.report.unknownCommands.append(text);
        } else if (key == "pending") {
            r.pendingPart = text;
        } else if (key == "pendinginode") {
            r.pendingInode = raw.toULongLong(&ok);
        } else if (key == "pendingfolder") {
            r.pendingFolder = text;
        } else if (key == "pdf") {
            r.keptPdf = text;
        } else if (key == "print" || key == "mail") {
            const std::optional<DeliveryRecord::Step> step = StepOf(raw);
            if (!step)
                return std::nullopt;
            (key == "print" ? r.print : r.mail) = *step;
        } else if (key == "printdetail") {
            r.printDetail = text;
        } else if (key == "maildetail") {
            r.mailDetail = text;
        } else if (key == "delivered") {
            r.delivered = raw == "1";
        }
        if (!ok)
            return std::nullopt;
    }
    if (!identity || r.captureName.isEmpty())
        return std::nullopt;
    return r;
}

std::optional<DeliveryRecord> ReadRecord(int dirFd, const QByteArray &captureName)
{
    std::optional<DeliveryRecord> record = ReadRecordFile(dirFd, RecordNameOf(captureName));
    // Another capture's, whose name was cut to the same one: not this capture's.
    if (record && record->captureName != captureName)
        return std::nullopt;
    return record;
}

std::optional<DeliveryRecord> ReadRecordFile(int dirFd, const QByteArray &recordName)
{
    UniqueFd file(::openat(dirFd, recordName.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (file.fd < 0 || ::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > MaxRecordBytes)
        return std::nullopt;
    QByteArray bytes(qsizetype(st.st_size), Qt::Uninitialized);
    const ssize_t n = ::pread(file.fd, bytes.data(), size_t(bytes.size()), 0);
    if (n != ssize_t(bytes.size()))
        return std::nullopt;
    return DecodeRecord(bytes);
}

void WriteRecord(int dirFd, const QString &dirPath, const QByteArray &captureName, const DeliveryRecord &record)
{
    WriteFileAtomicallyAt(dirFd, dirPath, RecordNameOf(captureName), EncodeRecord(record), 0600);
}

void RemoveRecord(int dirFd, const QByteArray &captureName)
{
    if (::unlinkat(dirFd, RecordNameOf(captureName).constData(), 0) == 0)
        SyncDirectory(dirFd);
}

} // namespace ostrevo
