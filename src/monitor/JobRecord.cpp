#include "monitor/JobRecord.h"

#include "handling/LaterOutcomes.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace ostrevo {

namespace {

const QString TimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");

struct OutcomeName {
    const char *word;
    JobOutcome outcome;
};

// Longer words before their prefixes ("NOT SUPPORTED" before a hypothetical "NOT").
constexpr OutcomeName OutcomeNames[] = {
    {"OK", JobOutcome::Ok},
    {"NOTHING DONE", JobOutcome::NothingDone},
    {"FAILED", JobOutcome::Failed},
    {"NOT SUPPORTED", JobOutcome::NotSupported},
    {"RETRY", JobOutcome::Retry},
    {"ERROR", JobOutcome::Error},
    {"REFUSED", JobOutcome::Refused},
    {"ABANDONED", JobOutcome::Abandoned},
    {"INTERRUPTED", JobOutcome::Interrupted},
    {"CLEARED", JobOutcome::Cleared},
};

// Tabs and line ends would split the line; other control bytes (a template's NULs quoted
// in a message) would make the file binary to the tools that read it: they show as the
// pictures of their codes.
QString OneLine(QString text)
{
    for (QChar &c : text) {
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
        else if (c.unicode() < 0x20)
            c = QChar(char16_t(0x2400 + c.unicode()));
        else if (c.unicode() == 0x7F)
            c = QChar(char16_t(0x2421));
    }
    return text;
}

// Lines of earlier versions named the output file only in the handlers' wording:
// "<path>.pdf, stron: N" of a PDF job, or "stron: N, plik: <path>" of a printout.
QString OutputInOldWording(const QString &detail)
{
    const QString filePart = QStringLiteral(", plik: ");
    const qsizetype file = detail.indexOf(filePart);
    if (file >= 0)
        return detail.mid(file + filePart.size()).section(QStringLiteral("; "), 0, 0);
    const qsizetype pages = detail.indexOf(QStringLiteral(", stron: "));
    if (pages > 0 && detail.startsWith(u'/'))
        return detail.left(pages);
    return {};
}

bool ParseOutcome(const QString &text, JobRecord &record)
{
    for (const OutcomeName &name : OutcomeNames) {
        const QString word = QString::fromLatin1(name.word);
        if (text == word) {
            record.outcome = name.outcome;
            return true;
        }
        if (text.startsWith(word + QStringLiteral(": "))) {
            record.outcome = name.outcome;
            record.detail = text.mid(word.size() + 2);
            return true;
        }
    }
    return false;
}

} // namespace

bool JobRecord::failed() const
{
    switch (outcome) {
    case JobOutcome::Failed:
    case JobOutcome::Retry:
    case JobOutcome::Error:
    case JobOutcome::Refused:
    case JobOutcome::Abandoned:
    case JobOutcome::Interrupted:
        return true;
    default:
        return false;
    }
}

JobRecord RecordOfLaterOutcome(const LaterOutcome &outcome)
{
    JobRecord record;
    record.id = outcome.id;
    record.follows = outcome.jobId;
    record.directory = outcome.directory;
    record.jobFile = outcome.jobFile;
    record.kind = outcome.kind;
    record.durationMs = outcome.durationMs;
    record.outputs = outcome.outputs;
    if (outcome.ok)
        record.outcome = outcome.nothingDone ? JobOutcome::NothingDone : JobOutcome::Ok;
    else
        record.outcome = outcome.retry ? JobOutcome::Retry : JobOutcome::Failed;
    record.detail = outcome.detail;
    return record;
}

QString OutcomeWord(JobOutcome outcome)
{
    for (const OutcomeName &name : OutcomeNames) {
        if (name.outcome == outcome)
            return QString::fromLatin1(name.word);
    }
    return QStringLiteral("?");
}

QString JobRecord::outcomeText() const
{
    const QString word = OutcomeWord(outcome);
    return detail.isEmpty() ? word : word + QStringLiteral(": ") + detail;
}

QString JournalLine(const JobRecord &record)
{
    QJsonObject extra;
    if (!record.id.isEmpty())
        extra.insert(QStringLiteral("id"), record.id);
    if (!record.outputs.isEmpty())
        extra.insert(QStringLiteral("out"), QJsonArray::fromStringList(record.outputs));
    if (!record.follows.isEmpty())
        extra.insert(QStringLiteral("of"), record.follows);
    QString line = record.time.toString(TimeFormat) + u'\t' + OneLine(record.directory) + u'\t'
        + OneLine(record.jobFile) + u'\t' + OneLine(record.kind) + u'\t' + QString::number(record.durationMs)
        + QStringLiteral(" ms\t") + OneLine(record.outcomeText());
    if (!extra.isEmpty())
        line += u'\t' + QString::fromUtf8(QJsonDocument(extra).toJson(QJsonDocument::Compact));
    return line;
}

std::optional<JobRecord> ParseJournalLine(const QString &line)
{
    const QStringList columns = line.split(u'\t');
    if ((columns.size() != 6 && columns.size() != 7) || !columns[4].endsWith(QStringLiteral(" ms")))
        return std::nullopt;
    JobRecord record;
    record.time = QDateTime::fromString(columns[0], TimeFormat);
    if (!record.time.isValid())
        return std::nullopt;
    record.directory = columns[1];
    record.jobFile = columns[2];
    record.kind = columns[3];
    bool number = false;
    record.durationMs = columns[4].chopped(3).toLongLong(&number);
    if (!number || !ParseOutcome(columns[5], record))
        return std::nullopt;
    if (columns.size() == 7) {
        const QJsonObject extra = QJsonDocument::fromJson(columns[6].toUtf8()).object();
        record.id = extra.value(QStringLiteral("id")).toString();
        record.follows = extra.value(QStringLiteral("of")).toString();
        for (const QJsonValue &out : extra.value(QStringLiteral("out")).toArray())
            record.outputs.append(out.toString());
    } else if (record.outcome == JobOutcome::Ok) {
        if (const QString old = OutputInOldWording(record.detail); !old.isEmpty())
            record.outputs.append(old);
    }
    return record;
}

QList<JobRecord> ReadJournalTail(const QString &path, int maxEntries, qint64 maxBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const qint64 size = file.size();
    const qint64 start = size > maxBytes ? size - maxBytes : 0;
    file.seek(start);
    QByteArray tail = file.read(maxBytes);
    // The first line may begin before the tail; the last may still be being written.
    if (start > 0) {
        const qsizetype firstEnd = tail.indexOf('\n');
        tail = firstEnd < 0 ? QByteArray() : tail.mid(firstEnd + 1);
    }
    const qsizetype lastEnd = tail.lastIndexOf('\n');
    tail.truncate(lastEnd + 1);
    QList<JobRecord> records;
    const QList<QByteArray> lines = tail.split('\n');
    for (qsizetype i = lines.size() - 1; i >= 0 && records.size() < maxEntries; --i) {
        if (auto record = ParseJournalLine(QString::fromUtf8(lines[i])))
            records.append(*record);
    }
    return records;
}

} // namespace ostrevo
