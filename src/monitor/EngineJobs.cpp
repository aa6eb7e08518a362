#include "monitor/Engine.h"

#include "jobs/Classifier.h"
#include "jobs/Errors.h"
#include "monitor/DirectoryWatcher.h"
#include "monitor/EngineJobMemory.h"
#include "monitor/EngineKeptJobs.h"
#include "monitor/EngineQuit.h"
#include "monitor/JobFiles.h"
#include "monitor/Journal.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <unistd.h>

// The queue and the road of one job: pick, classify, hand to the handler, journal, delete.

namespace ostrevo {

namespace {

// Deletes one job file; returns what failed, or nothing. A file already gone is deleted.
QString DeleteJobFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::unlink(name.constData()) == 0 || errno == ENOENT)
        return {};
    const int error = errno;
    return QStringLiteral("%1: %2").arg(path, ErrnoText(error));
}

// What a failed deletion of the job's own files says; nothing when it worked or the file
// was gone already.
QString DeletionFailure(int error, const QString &path)
{
    if (error == 0 || error == ENOENT)
        return {};
    return QStringLiteral("%1: %2").arg(path, ErrnoText(error));
}

QString StuckText(const QString &failed)
{
    return QStringLiteral("BŁĄD! Nie można usunąć pliku zlecenia %1; zlecenie nie zostanie wykonane ponownie")
        .arg(failed);
}

JobOutcome OutcomeOf(JobResult::Outcome outcome)
{
    switch (outcome) {
    case JobResult::Done:
        return JobOutcome::Ok;
    case JobResult::Failed:
        return JobOutcome::Failed;
    case JobResult::NotSupported:
        return JobOutcome::NotSupported;
    case JobResult::Retry:
        return JobOutcome::Retry;
    case JobResult::NothingDone:
        return JobOutcome::NothingDone;
    }
    return JobOutcome::Error;
}

} // namespace

// What one performance of a job came to, before the engine decides what becomes of it.
struct Engine::Attempt {
    QString kindName = QStringLiteral("?");
    JobResult result = JobResult::failed({});
    QString escaped;  // a failure that escaped the handler
    bool refused = false;
};

void Engine::setContext(int directoryNumber)
{
    if (directoryNumber == 1) {
        m_context.currentPrinterName = m_settings.drukarka;
        m_context.currentJobDir = resolveDirectory(m_settings.katalog);
    } else if (directoryNumber == 2) {
        m_context.currentPrinterName = m_settings.drukarka2;
        m_context.currentJobDir = resolveDirectory(m_settings.katalog2);
    }
}

// ---------------------------------------------------------------- the queue

void Engine::requestScan(int directory)
{
    if (directory == 2 && !m_settings.monitorowanie2)
        return;
    m_queue.markChanged(directory);
    schedulePump();
}

void Engine::schedulePump()
{
    if (!m_pump->isActive())
        m_pump->start();
}

void Engine::pump()
{
    if (m_shutDown || quitting() || !m_armed || m_jobRunning)
        return;
    if (m_queue.empty())
        listChanged();
    if (const std::optional<QueuedJob> job = m_queue.take()) {
        setContext(job->directory);
        performMarker(*job->listing, job->marker, job->directory);
    }
    if (!m_queue.empty() || m_queue.anyChanged())
        schedulePump();
}

void Engine::listChanged()
{
    for (int n = 1; n <= 2; ++n) {
        if (!m_queue.changed(n))
            continue;
        m_queue.takeChange(n);
        if (n == 2 && !m_settings.monitorowanie2)
            continue;
        setContext(n);
        m_queue.add(n, listDirectory(m_context.currentJobDir, n));
    }
}

std::shared_ptr<const JobDirectory> Engine::listDirectory(const QString &path, int directoryNumber)
{
    m_memory->forgetGone();
    if (m_watcher)
        m_watcher->listing(directoryNumber);
    auto listing = std::make_shared<const JobDirectory>(path);
    // A marker without its text wakes the watcher for text files too, until it has one.
    if (m_watcher) {
        const auto &markers = listing->markers();
        const bool waiting = std::any_of(markers.begin(), markers.end(), [&listing](const QByteArray &marker) {
            return listing->textFileOf(marker).isEmpty();
        });
        m_watcher->setMarkerWaiting(directoryNumber, waiting);
    }
    emit scanFinished(path);
    showJobProblem();
    return listing;
}

void Engine::ScanDirectory1()
{
    setContext(1);
    ScanDirectory(m_context.currentJobDir);
}

void Engine::ScanDirectory2()
{
    if (!m_settings.monitorowanie2)
        return;
    setContext(2);
    ScanDirectory(m_context.currentJobDir);
}

void Engine::ScanDirectory(const QString &directory)
{
    if (directory.isEmpty())
        return;
    const int number = directory == resolveDirectory(m_settings.katalog) ? 1
                       : m_settings.monitorowanie2 && directory == resolveDirectory(m_settings.katalog2) ? 2
                                                                                                            : 0;
    const std::shared_ptr<const JobDirectory> listing = listDirectory(directory, number);
    for (const QByteArray &marker : listing->markers()) {
        if (quitting())
            break;
        performMarker(*listing, marker, number);
    }
    showJobProblem();
}

void Engine::ProcessJob(const QString &markerPath)
{
    const qsizetype slash = markerPath.lastIndexOf(u'/');
    const JobDirectory listing(slash > 0 ? markerPath.left(slash) : slash == 0 ? QStringLiteral("/") : QStringLiteral("."));
    performMarker(listing, QFile::encodeName(markerPath.mid(slash + 1)), 0);
}

// ---------------------------------------------------------------- one job

// A job performed already whose files could not be deleted is never performed again while
// they stay as they were; they are deleted once that works (a share writable again).
bool Engine::leftBehind(const QString &markerPath, const QString &textPath)
{
    if (!m_memory->isStuck(textPath, JobMemory::stampOf(textPath)))
        return false;
    if (DeleteJobFile(textPath).isEmpty()) {
        m_memory->forgetStuck(textPath);
        deleteMarker(markerPath);
    }
    return true;
}

// Deletes the marker of a job whose text is gone; returns what failed, or nothing.
QString Engine::deleteMarker(const QString &markerPath)
{
    const QString failed = DeleteJobFile(markerPath);
    if (failed.isEmpty())
        m_memory->forgetStuck(markerPath);
    else
        m_memory->rememberStuck(markerPath, JobMemory::stampOf(markerPath), StuckText(failed));
    return failed;
}

bool Engine::performMarker(const JobDirectory &directory, const QByteArray &marker, int directoryNumber)
{
    // A marker whose text file is not there yet waits for the next listing; one that is
    // gone was performed already (the same name listed twice).
    const PickedJob job(directory, marker);
    if (job.state() == PickedJob::Gone)
        return false;
    const QString &markerPath = job.markerPath();
    // The marker of a job performed already, left behind: gone now, or still waiting for
    // a text of its own.
    if (m_memory->isStuck(markerPath, JobMemory::stampOf(markerPath)) && deleteMarker(markerPath).isEmpty())
        return false;
    if (job.state() == PickedJob::Waiting)
        return true;
    if (leftBehind(markerPath, job.textPath()))
        return false;
    // A job that met unwritable output waits for its next attempt.
    if (!m_memory->due(markerPath, EngineQuitState::nowMs()))
        return false;
    if (directoryNumber == 0)
        m_context.currentJobDir = directory.path();
    runJob(job);
    return false;
}

QString Engine::nextJobId()
{
    return m_idPrefix + QString::number(++m_jobSerial);
}

void Engine::runJob(const PickedJob &job)
{
    QElapsedTimer clock;
    clock.start();
    m_jobRunning = true;
    const QString &textPath = job.textPath();
    JobRecord record;
    record.id = nextJobId();
    record.directory = m_context.currentJobDir;
    record.jobFile = QFileInfo(textPath).fileName();
    ShowStatus(0);
    m_status.text = QStringLiteral("Odczyt pliku...");
    emitStatus();
    emit jobStarted(textPath);
    m_running->set(job.markerPath(), textPath);

    JobContext context = m_context;
    context.jobText = job.textFd();
    context.jobId = record.id;
    context.jobTextPath = textPath;
    m_jobCommitted = false;
    const Attempt outcome = attempt(job, context);
    record.durationMs = clock.elapsed();
    conclude(job, record, outcome, std::exchange(m_jobCommitted, false));
    m_running->set({}, {});

    m_jobRunning = false;
    ShowStatus(0);
    if (!outcome.escaped.isEmpty() && record.outcome == JobOutcome::Error)
        emit errorEscaped(outcome.escaped);
}

Engine::Attempt Engine::attempt(const PickedJob &job, const JobContext &jobContext)
{
    Attempt attempt;
    JobContext context = jobContext;
    try {
        if (job.state() == PickedJob::Unreadable)
            throw IoError(job.problem());
        if (job.state() == PickedJob::Refused) {
            attempt.refused = true;
            attempt.result = JobResult::failed(job.problem());
            return attempt;
        }
        const JobKind kind = ClassifyJob(job.textPath(), job.textFd());
        attempt.kindName = JobKindName(kind);
        context.kind = kind;
        attempt.result = m_config.handlers.run(kind, context, job.textPath());
    } catch (const OutputUnavailable &e) {
        // Unwritable local output that a handler did not catch is no fault of the job.
        attempt.result = JobResult::retryLater(e.message());
    } catch (const JobError &e) {
        attempt.escaped = e.message();
    } catch (const std::exception &e) {
        attempt.escaped = QString::fromLocal8Bit(e.what());
    } catch (...) {
        attempt.escaped = QStringLiteral("nieznany błąd");
    }
    return attempt;
}

void Engine::conclude(const PickedJob &job, JobRecord &record, const Attempt &attempt, bool committed)
{
    record.kind = attempt.kindName;
    record.outputs = attempt.result.outputs;
    if (attempt.refused) {
        record.outcome = JobOutcome::Refused;
        record.detail = attempt.result.detail;
    } else if (!attempt.escaped.isEmpty()) {
        record.outcome = JobOutcome::Error;
        record.detail = attempt.escaped;
    } else {
        record.outcome = OutcomeOf(attempt.result.outcome);
        record.detail = attempt.result.detail;
    }

    // A job that the quit cut short keeps its files, and is spared by the emptying at the
    // next start, which performs it again. One that finished in time ends as usual, and
    // so does one that had committed itself: performing it again would repeat its effect.
    const bool abandoned = m_quit->jobMustGiveUp() && !committed
                           && (record.outcome == JobOutcome::Error || record.outcome == JobOutcome::Failed
                               || record.outcome == JobOutcome::Retry);
    if (abandoned) {
        m_kept->keep(job.markerPath(), job.textPath());
        record.detail = QStringLiteral("the program quit during the job; it runs again at the next start (%1)")
                            .arg(record.outcomeText());
        record.outcome = JobOutcome::Abandoned;
        journal(record);
    } else if (record.outcome == JobOutcome::Retry) {
        keepForRetry(job, record);
    } else {
        // Journaled before the files go: a kill in between loses no record of the job.
        journal(record);
        const bool retried = m_memory->forgetRetry(job.markerPath());
        deleteJobFiles(job, record);
        if (retried)
            scheduleRetry();
    }
}

void Engine::journal(JobRecord &record)
{
    record.time = QDateTime::currentDateTime();
    m_journal->record(record);
    emit jobFinished(record);
}

void Engine::keepForRetry(const PickedJob &job, JobRecord &record)
{
    const QString why = record.detail;
    m_kept->keep(job.markerPath(), job.textPath());
    if (m_onceMode) {
        record.detail = QStringLiteral("%1; the job is kept for a later run").arg(why);
        journal(record);
        emit warning(QStringLiteral("%1: %2; the job is kept for a later run").arg(job.textPath(), why));
        return;
    }
    const QString &markerPath = job.markerPath();
    const qint64 wait = m_memory->retryLater(markerPath, EngineQuitState::nowMs());
    m_memory->setRetryProblem(markerPath,
                              QStringLiteral("BŁĄD! %1 (ponowna próba za %2 s)").arg(why).arg((wait + 999) / 1000));
    record.detail = QStringLiteral("%1; the job is kept and tried again in %2 ms").arg(why).arg(wait);
    journal(record);
    scheduleRetry();
}

// The text first, the marker last: a writer that reuses the job's name writes its next
// text once the marker is gone, and that text must never be ours to delete. While the
// text cannot be deleted the marker stays, so that no such writer takes the name.
void Engine::deleteJobFiles(const PickedJob &job, JobRecord &record)
{
    // By the names as listed, in the monitored directory itself: names that are not UTF-8
    // go too, and a link goes, never its target.
    const QString &markerPath = job.markerPath();
    const QString &textPath = job.textPath();
    m_kept->release(markerPath, textPath);
    QString failed = DeletionFailure(job.removeText(), textPath);
    if (failed.isEmpty()) {
        failed = DeletionFailure(job.removeMarker(), markerPath);
        if (failed.isEmpty()) {
            m_memory->forgetStuck(markerPath);
            return;
        }
        m_memory->rememberStuck(markerPath, JobMemory::stampOf(markerPath), StuckText(failed));
    } else {
        m_memory->rememberStuck(textPath, JobMemory::stampOf(textPath), StuckText(failed));
    }
    JobRecord stuck = record;
    stuck.outcome = JobOutcome::Error;
    stuck.detail = QStringLiteral("the job's files cannot be deleted: %1; the job is not performed again while they stay")
                       .arg(failed);
    stuck.outputs.clear();
    journal(stuck);
}

void Engine::scheduleRetry()
{
    const qint64 due = m_memory->nextDueMs();
    if (due < 0) {
        m_retryTimer->stop();
        return;
    }
    m_retryTimer->start(int(std::clamp<qint64>(due - EngineQuitState::nowMs(), 0, 24 * 3600 * 1000)));
}

void Engine::retryTick()
{
    // Paused monitoring retries nothing; resuming lists the directories anyway.
    requestScan(1);
    requestScan(2);
    scheduleRetry();
}

// ---------------------------------------------------------------- later outcomes

void Engine::recordLaterOutcome(const LaterOutcome &outcome)
{
    JobRecord record;
    record.follows = outcome.jobId;
    record.directory = outcome.directory;
    record.jobFile = outcome.jobFile;
    record.kind = outcome.kind;
    record.outcome = outcome.ok ? JobOutcome::Ok : JobOutcome::Failed;
    record.detail = outcome.detail;
    journal(record);
}

} // namespace ostrevo
