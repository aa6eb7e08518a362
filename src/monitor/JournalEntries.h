#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace ostrevo {

// How a job ended, as its journal line says.
enum class JobOutcome { Ok, Failed, NotSupported, Retry, Error };

// One line of the job journal, read back.
struct JournalEntry {
    QString time; // as written: "yyyy-MM-dd HH:mm:ss.zzz"
    QString directory;
    QString jobFile;
    QString kind;
    qint64 durationMs = 0;
    QString outcomeText; // the whole outcome column
    JobOutcome outcome = JobOutcome::Ok;

    bool failed() const { return outcome == JobOutcome::Failed || outcome == JobOutcome::Error || outcome == JobOutcome::Retry; }
    // The outcome without its leading word: the detail of a success, the reason of a failure.
    QString reason() const;
    // The PDF file the job wrote, when its outcome names one; empty otherwise.
    QString outputFile() const;
};

std::optional<JournalEntry> ParseJournalLine(const QString &line);

// The last entries of the journal, newest first. Only the file's tail is read (at most
// `maxBytes`), so a journal of any size opens at once; a line cut off by the tail's start
// or by a crash is skipped, and so is any line that is not a journal line.
QList<JournalEntry> ReadJournalTail(const QString &path, int maxEntries = 500, qint64 maxBytes = 1 << 20);

} // namespace ostrevo
