#include "monitor/JournalEntries.h"

#include <QFile>

namespace ostrevo {

namespace {

struct OutcomeWord {
    const char *word;
    JobOutcome outcome;
};

// The words EngineJobs writes first in the outcome column.
constexpr OutcomeWord OutcomeWords[] = {
    {"OK", JobOutcome::Ok},         {"FAILED", JobOutcome::Failed}, {"NOT SUPPORTED", JobOutcome::NotSupported},
    {"RETRY", JobOutcome::Retry},   {"ERROR", JobOutcome::Error},
};

} // namespace

std::optional<JournalEntry> ParseJournalLine(const QString &line)
{
    const QStringList columns = line.split(u'\t');
    if (columns.size() != 6 || !columns[4].endsWith(QStringLiteral(" ms")))
        return std::nullopt;
    JournalEntry entry;
    entry.time = columns[0];
    if (!QDateTime::fromString(entry.time, QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).isValid())
        return std::nullopt;
    entry.directory = columns[1];
    entry.jobFile = columns[2];
    entry.kind = columns[3];
    bool number = false;
    entry.durationMs = columns[4].chopped(3).toLongLong(&number);
    if (!number)
        return std::nullopt;
    entry.outcomeText = columns[5];
    for (const OutcomeWord &w : OutcomeWords) {
        const QString word = QString::fromLatin1(w.word);
        if (entry.outcomeText == word || entry.outcomeText.startsWith(word + QStringLiteral(": "))) {
            entry.outcome = w.outcome;
            return entry;
        }
    }
    return std::nullopt;
}

QString JournalEntry::reason() const
{
    const qsizetype colon = outcomeText.indexOf(QStringLiteral(": "));
    return colon < 0 ? QString() : outcomeText.mid(colon + 2);
}

QString JournalEntry::outputFile() const
{
    if (outcome != JobOutcome::Ok)
        return {};
    // "<path>.pdf, stron: N" of a PDF job, or "stron: N, plik: <path>" of a printout.
    const QString detail = reason();
    const QString filePart = QStringLiteral(", plik: ");
    const qsizetype file = detail.indexOf(filePart);
    if (file >= 0)
        return detail.mid(file + filePart.size()).section(QStringLiteral("; "), 0, 0);
    const qsizetype pages = detail.indexOf(QStringLiteral(", stron: "));
    if (pages > 0 && detail.startsWith(u'/'))
        return detail.left(pages);
    return {};
}

QList<JournalEntry> ReadJournalTail(const QString &path, int maxEntries, qint64 maxBytes)
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
    QList<JournalEntry> entries;
    const QList<QByteArray> lines = tail.split('\n');
    for (qsizetype i = lines.size() - 1; i >= 0 && entries.size() < maxEntries; --i) {
        if (auto entry = ParseJournalLine(QString::fromUtf8(lines[i])))
            entries.append(*entry);
    }
    return entries;
}

} // namespace ostrevo
