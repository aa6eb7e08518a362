#pragma once

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <optional>

namespace ostrevo {

struct LaterOutcome;

// How a job ended. The journal writes each as a word of its own, so that the file stays
// machine-readable whatever language the details are in.
enum class JobOutcome {
    Ok,           // done
    NothingDone,  // ended normally, but did nothing (a file to open that is not there)
    Failed,       // the handler reported a failure
    NotSupported, // no handler for the kind
    Retry,        // kept: its output could not be written; tried again later
    Error,        // a failure escaped the handler
    Refused,      // the job text is not ours to read (a link)
    Abandoned,    // the program quit during the job; it runs again at the next start
    Interrupted,  // the program stopped after the job had done something it cannot undo
    Cleared,      // a file deleted by the emptying at start
};

// One line of the job journal, as the engine writes it and as the window, the notices
// and the headless log receive it. A later outcome (a mail sent after its job ended) is a
// record of its own whose `follows` names the job's id.
struct JobRecord {
    QString id;          // unique per job; empty in lines of older versions
    QDateTime time;      // when the job ended
    QString directory;
    QString jobFile;
    QString kind;        // "jkText", ...; "?" before classification, "-" for files cleared
    qint64 durationMs = 0;
    JobOutcome outcome = JobOutcome::Ok;
    QString detail;      // the reason of a failure, or what a success adds
    QStringList outputs; // files the job wrote
    QString follows;     // the job this is a later outcome of

    // The outcome the user should look at: a failure of any kind, or nothing done.
    bool failed() const;
    bool nothingDone() const { return outcome == JobOutcome::NothingDone; }
    // "OK", "FAILED: why", ... as the journal's outcome column shows it.
    QString outcomeText() const;
    // The first file the job wrote; empty when none.
    QString outputFile() const { return outputs.value(0); }
};

// The journal record of an outcome reported after its job (or of a job that ran beside
// the job thread); its time is set when it is journaled.
JobRecord RecordOfLaterOutcome(const LaterOutcome &outcome);

// The word of an outcome in the journal ("OK", "NOTHING DONE", "FAILED", ...).
QString OutcomeWord(JobOutcome outcome);

// A journal line: time, directory, job file, kind, duration, outcome, and a seventh
// column (JSON) with the id, the output files and the job a later outcome follows.
// Tabs and line ends inside the fields become spaces.
QString JournalLine(const JobRecord &record);

// Lines of this version and of earlier ones (six columns, the output file only in the
// wording of the outcome). Anything else is no record.
std::optional<JobRecord> ParseJournalLine(const QString &line);

// The last records of the journal, newest first. Only the file's tail is read (at most
// `maxBytes`), so a journal of any size opens at once; a line cut off by the tail's start
// or by a crash is skipped, and so is any line that is not a journal line.
QList<JobRecord> ReadJournalTail(const QString &path, int maxEntries = 500, qint64 maxBytes = 1 << 20);

} // namespace ostrevo

Q_DECLARE_METATYPE(ostrevo::JobRecord)
