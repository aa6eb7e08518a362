#include "monitor/JobLedger.h"

#include "jobs/AtomicFile.h"
#include "jobs/Errors.h"
#include "monitor/JobFiles.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrevo {

namespace {

const QByteArray Magic = QByteArrayLiteral("ostrevo-job 1\n");
const QString Suffix = QStringLiteral(".job");

QByteArray Field(const char *name, const QByteArray &value)
{
    return QByteArray(name) + ' ' + value.toPercentEncoding() + '\n';
}

QByteArray EncodeResult(const ResultLine &result)
{
    return result.jobDir.toUtf8().toPercentEncoding() + ' ' + result.fileName.toUtf8().toPercentEncoding() + ' '
        + result.status.toPercentEncoding();
}

std::optional<ResultLine> DecodeResult(const QByteArray &text)
{
    const QList<QByteArray> parts = text.split(' ');
    if (parts.size() != 3)
        return std::nullopt;
    return ResultLine{QString::fromUtf8(QByteArray::fromPercentEncoding(parts[0])),
                      QString::fromUtf8(QByteArray::fromPercentEncoding(parts[1])),
                      QByteArray::fromPercentEncoding(parts[2])};
}

// Ids are the engine's own ("20261209-101500-1234-7"); anything else could name a path.
bool SafeId(const QString &id)
{
    if (id.isEmpty() || id.size() > 100)
        return false;
    for (const QChar c : id) {
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'-' && c != u'_')
            return false;
    }
    return true;
}

} // namespace

FileStamp FileStamp::of(const struct stat &st)
{
    return {qint64(st.st_dev), qint64(st.st_ino), qint64(st.st_size),
            qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

FileStamp FileStamp::at(int dirFd, const QByteArray &name)
{
    struct stat st;
    if (name.isEmpty() || ::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return {};
    return of(st);
}

QByteArray FileStamp::encode() const
{
    return QByteArray::number(device) + ':' + QByteArray::number(inode) + ':' + QByteArray::number(size) + ':'
        + QByteArray::number(mtimeNs);
}

FileStamp FileStamp::decode(const QByteArray &text)
{
    const QList<QByteArray> parts = text.split(':');
    if (parts.size() != 4)
        return {};
    return {parts[0].toLongLong(), parts[1].toLongLong(), parts[2].toLongLong(), parts[3].toLongLong()};
}

QString LedgerEntry::markerPath() const
{
    // Spelled as the listing spells it, so that the two meet.
    return directory + u'/' + DisplayName(marker);
}

JobLedger::JobLedger(QString dir) : m_dir(std::move(dir)) {}

QByteArray JobLedger::encode(const LedgerEntry &entry)
{
    QByteArray bytes = Magic;
    bytes += Field("id", entry.id.toUtf8());
    bytes += Field("state", entry.state == LedgerEntry::Committed ? "committed" : "done");
    bytes += Field("dir", entry.directory.toUtf8());
    bytes += Field("marker", entry.marker);
    bytes += Field("text", entry.text);
    if (!entry.claim.isEmpty())
        bytes += Field("claim", entry.claim);
    bytes += Field("markerstamp", entry.markerStamp.encode());
    bytes += Field("textstamp", entry.textStamp.encode());
    bytes += Field("file", entry.jobFile.toUtf8());
    bytes += Field("kind", entry.kind.toUtf8());
    if (entry.unknownOutcome)
        bytes += Field("unknown", EncodeResult(*entry.unknownOutcome));
    for (const ResultLine &result : entry.pendingResults)
        bytes += Field("pending", EncodeResult(result));
    if (entry.filesLeft)
        bytes += Field("filesleft", "1");
    if (!entry.problem.isEmpty())
        bytes += Field("problem", entry.problem.toUtf8());
    return bytes + "end\n";
}

std::optional<LedgerEntry> JobLedger::decode(const QByteArray &bytes)
{
    // A file cut short is no entry: it ends with its own "end" line.
    if (!bytes.startsWith(Magic) || !bytes.endsWith("\nend\n"))
        return std::nullopt;
    LedgerEntry entry;
    bool stateSeen = false;
    for (const QByteArray &line : bytes.mid(Magic.size()).split('\n')) {
        const qsizetype space = line.indexOf(' ');
        if (space < 0)
            continue;
        const QByteArray name = line.left(space);
        const QByteArray value = QByteArray::fromPercentEncoding(line.mid(space + 1));
        if (name == "id") {
            entry.id = QString::fromUtf8(value);
        } else if (name == "state") {
            stateSeen = value == "committed" || value == "done";
            entry.state = value == "done" ? LedgerEntry::Done : LedgerEntry::Committed;
        } else if (name == "dir") {
            entry.directory = QString::fromUtf8(value);
        } else if (name == "marker") {
            entry.marker = value;
        } else if (name == "text") {
            entry.text = value;
        } else if (name == "claim") {
            entry.claim = value;
        } else if (name == "markerstamp") {
            entry.markerStamp = FileStamp::decode(value);
        } else if (name == "textstamp") {
            entry.textStamp = FileStamp::decode(value);
        } else if (name == "file") {
            entry.jobFile = QString::fromUtf8(value);
        } else if (name == "kind") {
            entry.kind = QString::fromUtf8(value);
        } else if (name == "unknown") {
            entry.unknownOutcome = DecodeResult(value);
        } else if (name == "pending") {
            if (const auto result = DecodeResult(value))
                entry.pendingResults.append(*result);
        } else if (name == "filesleft") {
            entry.filesLeft = value == "1";
        } else if (name == "problem") {
            entry.problem = QString::fromUtf8(value);
        }
    }
    if (!stateSeen || !SafeId(entry.id) || entry.directory.isEmpty() || entry.marker.isEmpty()
        || entry.marker.contains('/') || entry.text.contains('/') || entry.claim.contains('/'))
        return std::nullopt;
    return entry;
}

void JobLedger::write(const LedgerEntry &entry)
{
    if (!SafeId(entry.id))
        throw IoError(QStringLiteral("To nie jest numer zadania: \"%1\"").arg(entry.id));
    const QByteArray dir = QFile::encodeName(m_dir);
    if (::mkdir(dir.constData(), 0700) != 0 && errno != EEXIST)
        throw OutputUnavailable(QStringLiteral("Nie można utworzyć katalogu %1: %2").arg(m_dir, ErrnoText(errno)));
    WriteFileAtomically(m_dir + u'/' + entry.id + Suffix, encode(entry), 0600);
}

void JobLedger::remove(const QString &id)
{
    if (!SafeId(id))
        return;
    const QByteArray dir = QFile::encodeName(m_dir);
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    if (::unlinkat(fd, QFile::encodeName(id + Suffix).constData(), 0) == 0)
        SyncDirectory(fd);
    ::close(fd);
}

namespace {
QStringList EntryFiles(const QDir &dir)
{
    return dir.entryList({u'*' + Suffix}, QDir::Files | QDir::Hidden, QDir::Name);
}
} // namespace

bool JobLedger::isEmpty() const
{
    return EntryFiles(QDir(m_dir)).isEmpty();
}

QList<LedgerEntry> JobLedger::load(QStringList *problems) const
{
    QList<LedgerEntry> entries;
    const QDir dir(m_dir);
    for (const QString &name : EntryFiles(dir)) {
        QFile file(dir.filePath(name));
        std::optional<LedgerEntry> entry;
        if (file.open(QIODevice::ReadOnly))
            entry = decode(file.readAll());
        if (!entry) {
            // Kept aside for a person to look at; never acted on.
            QFile::rename(dir.filePath(name), dir.filePath(name + QStringLiteral(".bad")));
            if (problems)
                problems->append(QStringLiteral("%1 jest uszkodzony i został odłożony na bok").arg(dir.filePath(name)));
            continue;
        }
        entries.append(*entry);
    }
    return entries;
}

} // namespace ostrevo
