#pragma once

#include "jobs/JobKind.h"
#include "handling/ResultFile.h"
#include "handling/Settings.h"

#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>

namespace ostrevo {

// What a job's handler tells the journal. Handlers catch their own failures and report
// them their own way; `Failed` records such a handled failure. `NothingDone` is a job that
// ended as its kind prescribes but had no effect (a file to open that is not there): the
// legacy program's result stays as it is, yet the user is shown that nothing happened.
// `Retry` is a failure of the local output (see OutputUnavailable): the monitor keeps the
// job and performs it later. An exception that escapes a handler is the monitor's
// business (the job still ends, and the error is reported).
struct JobResult {
    enum Outcome { Done, Failed, NotSupported, Retry, NothingDone };
    Outcome outcome = Done;
    QString detail;
    // Files the job wrote (PDF files, printouts of the built-in printer), for the journal
    // and the window to open.
    QStringList outputs;

    static JobResult done(QString detail = {}) { return {Done, std::move(detail), {}}; }
    static JobResult failed(QString why) { return {Failed, std::move(why), {}}; }
    static JobResult retryLater(QString why) { return {Retry, std::move(why), {}}; }
    static JobResult nothingDone(QString why) { return {NothingDone, std::move(why), {}}; }
    JobResult &&withOutput(const QString &path) &&
    {
        if (!path.isEmpty())
            outputs.append(path);
        return std::move(*this);
    }
};

// The job context that the monitor sets before each directory scan and handlers read.
struct JobContext {
    QString currentJobDir;      // CurrentJobDir: the monitored directory as configured (Linux path)
    QString currentPrinterName; // CurrentPrinterName: the printer paired with it
    QString programDir;         // where Ostrevo.ini, DefSym.ovx, Wzorzec/ live
    // Never null: a context made outside the monitor (a preview, a test) that sets none
    // reads a fresh installation's settings.
    const Settings *settings = &DefaultSettings();
    // The job being performed: its id in the journal (a later outcome names it), its kind
    // and its text file's path (for names only). Empty outside the monitor.
    QString jobId;
    JobKind kind = jkEmpty;
    QString jobTextPath;
    // The job text, opened once by the monitor for the whole job (not to be closed):
    // handlers read it with LineReader(jobText, textPath), whose textPath stays the job's
    // path for names. -1 outside the monitor: the reader then opens textPath itself.
    int jobText = -1;
    // True once the program is quitting; long handlers look at it where they would have
    // let window messages through, and give up early.
    std::function<bool()> quitRequested = [] { return false; };
    // Shows a text of the job's progress ("Łączenie z serwerem...") as the monitor's
    // status text until the job ends. Called on the job's own thread.
    std::function<void(const QString &)> status = [](const QString &) {};
    // Called by a handler right before the first step of its job that cannot be taken
    // back (a fiscal receipt begun, a document handed to the printer, a message handed
    // to sendmail). From here on the job is never performed again: after a quit, a kill
    // or a power cut the next start journals it as interrupted and writes
    // `unknownOutcome` (the result that tells the legacy program to check). The record is
    // on disk when this returns; it throws (OutputUnavailable) when it cannot be written,
    // and the step must then not be taken.
    std::function<void(const std::optional<ResultLine> &unknownOutcome)> committed =
        [](const std::optional<ResultLine> &) {};
    // Writes a result file for the legacy program. One that cannot be written now (a full
    // disk) is written later, and the job's marker stays until it is, so that the legacy
    // program never reads a missing result as a failure; false then. Outside the monitor
    // it throws the writing's IoError instead.
    std::function<bool(const ResultLine &)> writeResult = [](const ResultLine &result) {
        WriteResultFile(result.jobDir, result.fileName, result.status);
        return true;
    };
};

using JobHandler = std::function<JobResult(const JobContext &, const QString &textPath)>;

// The dispatch table: one handler per job kind; kinds without one are journaled as not
// supported and their files deleted like those of an empty job.
class JobHandlers {
public:
    JobHandlers();
    void set(JobKind kind, JobHandler handler) { m_handlers.at(kind) = std::move(handler); }
    bool has(JobKind kind) const { return kind < JobKindCount && bool(m_handlers[kind]); }
    JobResult run(JobKind kind, const JobContext &context, const QString &textPath) const;

private:
    std::array<JobHandler, JobKindCount> m_handlers;
};

} // namespace ostrevo
