#include "monitor/Engine.h"

#include "jobs/Classifier.h"
#include "jobs/DosPath.h"
#include "jobs/Errors.h"
#include "monitor/DirectoryWatcher.h"
#include "monitor/EngineJobMemory.h"
#include "monitor/EngineQuit.h"
#include "monitor/JobFiles.h"
#include "monitor/Journal.h"
#include "jobs/MoveWithoutReplacing.h"
#include "jobs/UniqueFd.h"

#include <QElapsedTimer>
#include <QSet>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

// The queue and the road of one job: pick, classify, hand to the handler, journal, delete.

namespace ostrevo {

namespace {

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

// ---------------------------------------------------------------- one job

bool Engine::performMarker(const JobDirectory &directory, const QByteArray &marker, int directoryNumber)
{
    const QString markerPath = directory.path() + u'/' + DisplayName(marker);
    // A job that has ended with its results or files left to finish is never performed
    // again while its marker stays as it was; meeting it is a chance to finish it.
    if (const auto held = m_held.find(markerPath); held != m_held.end()) {
        if (FileStamp::at(directory.fd(), marker) == held->markerStamp) {
            if (finishHeld(*held)) {
                m_memory->forgetRetry(markerPath);
                m_held.erase(held);
            }
            return false;
        }
    }
    // A job that met unwritable output waits for its next attempt.
    if (!m_memory->due(markerPath, EngineQuitState::nowMs()))
        return false;
    PickedJob job(directory, marker, m_claimSuffix);
    if (job.state() == PickedJob::Gone)
        return false;
    if (job.state() == PickedJob::Waiting)
        return true;
    if (directoryNumber == 0)
        m_context.currentJobDir = directory.path();
    runJob(job);
    return false;
}

QString Engine::nextJobId()
{
    return m_idPrefix + QString::number(++m_jobSerial);
}

void Engine::runJob(PickedJob &job)
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

    JobContext context = m_context;
    context.jobText = job.textFd();
    context.jobId = record.id;
    context.jobTextPath = textPath;
    m_runningJob = &job;
    m_runningRecord = record;
    m_jobCommitted = false;
    m_jobPendingResults.clear();
    const Attempt outcome = attempt(job, context);
    record.durationMs = clock.elapsed();
    conclude(job, record, outcome);
    m_runningJob = nullptr;

    m_jobRunning = false;
    ShowStatus(0);
    if (!outcome.escaped.isEmpty() && record.outcome == JobOutcome::Error)
        emit errorEscaped(DosPathMapper::readable(outcome.escaped));
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
        m_runningRecord.kind = attempt.kindName;
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

LedgerEntry Engine::entryOf(const PickedJob &job, const JobRecord &record) const
{
    LedgerEntry entry;
    entry.id = record.id;
    entry.directory = job.directoryPath();
    entry.marker = job.markerName();
    entry.text = job.textName();
    entry.claim = job.claimedName();
    entry.markerStamp = FileStamp::of(job.markerStat());
    entry.textStamp = FileStamp::of(job.textStat());
    entry.jobFile = record.jobFile;
    entry.kind = record.kind;
    return entry;
}

void Engine::commitRunningJob(const std::optional<ResultLine> &unknownOutcome)
{
    if (!m_runningJob || m_jobCommitted)
        return;
    LedgerEntry entry = entryOf(*m_runningJob, m_runningRecord);
    entry.state = LedgerEntry::Committed;
    entry.unknownOutcome = unknownOutcome;
    // On disk before the step it guards; a failure here stops the job before that step,
    // and the job waits for a retry as for any output that cannot be written.
    try {
        m_ledger->write(entry);
    } catch (const JobError &e) {
        throw OutputUnavailable(QStringLiteral("nie można zapisać zadania przed krokiem, którego nie da się cofnąć: ")
                                + e.message());
    }
    m_jobCommitted = true;
}

bool Engine::writeResultOfRunningJob(const ResultLine &result)
{
    try {
        WriteResultFile(result.jobDir, result.fileName, result.status);
        return true;
    } catch (const JobError &e) {
        // Written later; the job's marker stays until it is.
        m_jobPendingResults.append(result);
        emit warning(e.message());
        return false;
    }
}

void Engine::conclude(PickedJob &job, JobRecord &record, const Attempt &attempt)
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
    // A job that has begun what cannot be taken back is never performed again: its
    // output failing now is a failure, not a reason to try again.
    if (m_jobCommitted && record.outcome == JobOutcome::Retry)
        record.outcome = JobOutcome::Failed;

    // A job that the quit cut short before it committed itself keeps its files and runs
    // at the next start.
    const bool abandoned = m_quit->jobMustGiveUp() && !m_jobCommitted
                           && (record.outcome == JobOutcome::Error || record.outcome == JobOutcome::Failed
                               || record.outcome == JobOutcome::Retry);
    if (abandoned) {
        job.release();
        record.detail = QStringLiteral("program zamknięto w trakcie zadania; zostanie wykonane przy następnym starcie (%1)")
                            .arg(record.outcomeText());
        record.outcome = JobOutcome::Abandoned;
        journal(record);
    } else if (record.outcome == JobOutcome::Retry) {
        keepForRetry(job, record);
    } else {
        finishJob(job, record);
    }
}

void Engine::finishJob(PickedJob &job, const JobRecord &journaled)
{
    JobRecord record = journaled;
    LedgerEntry entry = entryOf(job, record);
    entry.state = LedgerEntry::Done;
    entry.pendingResults = m_jobPendingResults;
    m_jobPendingResults.clear();
    if (!entry.pendingResults.isEmpty()) {
        entry.problem = QStringLiteral("BŁĄD! Nie można zapisać pliku wyniku %1/Errors/%2; zlecenie %3 czeka, "
                                       "aż się to uda")
                            .arg(entry.pendingResults.first().jobDir, entry.pendingResults.first().fileName,
                                 record.jobFile);
        record.detail += QStringLiteral("; pliku wyniku nie udało się jeszcze zapisać: znacznik zostaje, dopóki nie zostanie zapisany");
    }
    // Before the journal line: a kill after it must find the job ended, not committed.
    bool onDisk = false;
    if (m_jobCommitted || !entry.pendingResults.isEmpty()) {
        try {
            m_ledger->write(entry);
            onDisk = true;
        } catch (const JobError &e) {
            emit warning(e.message());
        }
    }
    // Journaled before the files go: a kill in between loses no record of the job.
    journal(record);
    m_memory->forgetRetry(job.markerPath());

    // The text first, the marker last: a writer that reuses the job's name writes its
    // next text once the marker is gone, and that text must never be ours to delete.
    // While the text cannot be deleted, or a result waits, the marker stays.
    QString failed = DeletionFailure(job.removeText(), job.textPath());
    if (failed.isEmpty() && entry.pendingResults.isEmpty())
        failed = DeletionFailure(job.removeMarker(), job.markerPath());
    if (failed.isEmpty() && entry.pendingResults.isEmpty()) {
        if (onDisk || m_jobCommitted)
            m_ledger->remove(entry.id);
        return;
    }
    entry.filesLeft = true;
    if (!failed.isEmpty()) {
        entry.problem = StuckText(failed);
        JobRecord stuck = record;
        stuck.outcome = JobOutcome::Error;
        stuck.detail = QStringLiteral("nie można usunąć plików zadania: %1; dopóki są, zadanie nie zostanie wykonane ponownie")
                           .arg(failed);
        stuck.outputs.clear();
        journal(stuck);
    }
    hold(entry);
}

void Engine::hold(LedgerEntry entry)
{
    try {
        m_ledger->write(entry);
    } catch (const JobError &e) {
        // Held in memory all the same: this run never performs it again.
        emit warning(e.message());
    }
    const QString key = entry.markerPath();
    m_held.insert(key, entry);
    m_memory->retryLater(key, EngineQuitState::nowMs());
    scheduleRetry();
}

bool Engine::finishHeld(LedgerEntry &entry)
{
    bool changed = false;
    for (qsizetype i = 0; i < entry.pendingResults.size();) {
        const ResultLine &result = entry.pendingResults[i];
        try {
            WriteResultFile(result.jobDir, result.fileName, result.status);
            JobRecord late;
            late.follows = entry.id;
            late.directory = entry.directory;
            late.jobFile = entry.jobFile;
            late.kind = entry.kind;
            late.outcome = JobOutcome::Ok;
            late.detail = QStringLiteral("plik wyniku %1/Errors/%2 został w końcu zapisany (error=%3)")
                              .arg(result.jobDir, result.fileName, QString::fromUtf8(result.status));
            journal(late);
            entry.pendingResults.removeAt(i);
            changed = true;
        } catch (const JobError &) {
            ++i;
        }
    }
    if (!entry.pendingResults.isEmpty()) {
        if (changed)
            hold(entry);
        return false;
    }
    const QByteArray dir = QFile::encodeName(entry.directory);
    UniqueFd dirFd{::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    bool left = false;
    if (dirFd.fd >= 0) {
        // Only the job's own files, as they were: a name reused since is another job.
        const QByteArray text = entry.claim.isEmpty() ? entry.text : entry.claim;
        if (FileStamp::at(dirFd.fd, text) == entry.textStamp && ::unlinkat(dirFd.fd, text.constData(), 0) != 0
            && errno != ENOENT)
            left = true;
        if (!left && FileStamp::at(dirFd.fd, entry.marker) == entry.markerStamp
            && ::unlinkat(dirFd.fd, entry.marker.constData(), 0) != 0 && errno != ENOENT)
            left = true;
    }
    if (left)
        return false;
    m_ledger->remove(entry.id);
    return true;
}

void Engine::retryHeld()
{
    const qint64 now = EngineQuitState::nowMs();
    for (auto it = m_held.begin(); it != m_held.end();) {
        if (!m_memory->due(it.key(), now)) {
            ++it;
            continue;
        }
        if (finishHeld(*it)) {
            m_memory->forgetRetry(it.key());
            it = m_held.erase(it);
        } else {
            m_memory->retryLater(it.key(), now);
            ++it;
        }
    }
    scheduleRetry();
    showJobProblem();
}

QString Engine::heldProblem() const
{
    for (const LedgerEntry &entry : m_held) {
        if (!entry.problem.isEmpty())
            return entry.problem;
    }
    return {};
}

QString Engine::currentProblem() const
{
    // Held jobs need the user; a retry mends itself.
    const QString held = heldProblem();
    return held.isEmpty() ? m_memory->problem() : held;
}

// ---------------------------------------------------------------- after a stop

void Engine::recoverJobs()
{
    QStringList problems;
    for (LedgerEntry &entry : m_ledger->load(&problems))
        recoverEntry(entry);
    for (const QString &problem : problems)
        emit warning(problem);
    for (const QString &directory : claimingDirectories())
        restoreOwnClaims(directory);
}

QStringList Engine::claimingDirectories() const
{
    QStringList directories{resolveDirectory(m_settings.katalog)};
    if (!m_settings.katalog2.isEmpty())
        directories.append(resolveDirectory(m_settings.katalog2));
    return directories;
}

void Engine::recoverEntry(LedgerEntry entry)
{
    const QByteArray dir = QFile::encodeName(entry.directory);
    UniqueFd dirFd{::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    const QByteArray text = entry.claim.isEmpty() ? entry.text : entry.claim;
    const bool textThere = dirFd.fd >= 0 && FileStamp::at(dirFd.fd, text) == entry.textStamp;
    if (entry.state == LedgerEntry::Committed) {
        if (!textThere && (dirFd.fd < 0 || FileStamp::at(dirFd.fd, entry.marker) != entry.markerStamp)) {
            // Its files went: the job ended and was journaled before the stop.
            m_ledger->remove(entry.id);
            return;
        }
        // Stopped after it began what cannot be taken back: never performed again.
        JobRecord record;
        record.id = entry.id;
        record.directory = entry.directory;
        record.jobFile = entry.jobFile;
        record.kind = entry.kind;
        record.outcome = JobOutcome::Interrupted;
        record.detail = QStringLiteral("program zatrzymał się w trakcie zadania, gdy zaczęło już coś, czego nie da się "
                                       "cofnąć; nie zostanie wykonane ponownie");
        entry.state = LedgerEntry::Done;
        entry.filesLeft = true;
        if (entry.unknownOutcome) {
            record.detail += QStringLiteral("; plik wyniku mówi, że wynik jest nieznany (error=%1)")
                                 .arg(QString::fromUtf8(entry.unknownOutcome->status));
            try {
                WriteResultFile(entry.unknownOutcome->jobDir, entry.unknownOutcome->fileName,
                                entry.unknownOutcome->status);
            } catch (const JobError &) {
                entry.pendingResults.append(*entry.unknownOutcome);
                record.detail += QStringLiteral(", zapisany, gdy tylko będzie można zapisać plik wyniku");
            }
        }
        journal(record);
    }
    // A text left under the claim is this run's again; the ledger says what to finish.
    if (finishHeld(entry))
        return;
    hold(entry);
}

void Engine::restoreOwnClaims(const QString &directory)
{
    // A job this monitor had claimed when it stopped, before it began anything that cannot
    // be taken back: its text gets its name back, and the job is performed.
    const QList<QByteArray> claims = ownClaims(directory);
    if (claims.isEmpty())
        return;
    const QByteArray dir = QFile::encodeName(directory);
    UniqueFd dirFd{::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dirFd.fd < 0)
        return;
    QSet<QByteArray> heldTexts;
    for (const LedgerEntry &entry : std::as_const(m_held)) {
        if (entry.directory == directory)
            heldTexts.insert(entry.claim);
    }
    for (const QByteArray &name : claims) {
        if (heldTexts.contains(name))
            continue;
        const QByteArray original = name.left(name.size() - m_claimSuffix.size());
        if (RenameAtomically(dirFd.fd, name.constData(), dirFd.fd, original.constData()) != 0)
            emit warning(QStringLiteral("%1/%2: tekst zadania nie może odzyskać swojej nazwy")
                             .arg(directory, QFile::decodeName(name)));
    }
}

// The texts in `directory` that this program directory's runs claimed.
QList<QByteArray> Engine::ownClaims(const QString &directory) const
{
    const QByteArray dir = QFile::encodeName(directory);
    DIR *list = ::opendir(dir.constData());
    if (!list)
        return {};
    QList<QByteArray> names;
    while (const dirent *d = ::readdir(list)) {
        const QByteArray name(d->d_name);
        if (IsClaimedText(name, m_claimSuffix))
            names.append(name);
    }
    ::closedir(list);
    return names;
}

void Engine::journal(JobRecord &record)
{
    record.time = QDateTime::currentDateTime();
    // Journal, notices and boxes all show this: the user's own drive letters, not where an
    // unmapped one was sent.
    record.detail = DosPathMapper::readable(record.detail);
    m_journal->record(record);
    emit jobFinished(record);
}

void Engine::keepForRetry(PickedJob &job, JobRecord &record)
{
    const QString why = record.detail;
    job.release();
    if (m_onceMode) {
        record.detail = QStringLiteral("%1; zadanie czeka na późniejsze wykonanie").arg(why);
        journal(record);
        emit warning(QStringLiteral("%1: %2; zadanie czeka na późniejsze wykonanie").arg(job.textPath(), why));
        return;
    }
    const QString &markerPath = job.markerPath();
    const qint64 wait = m_memory->retryLater(markerPath, EngineQuitState::nowMs());
    m_memory->setRetryProblem(markerPath,
                              QStringLiteral("BŁĄD! %1 (ponowna próba za %2 s)").arg(why).arg((wait + 999) / 1000));
    record.detail = QStringLiteral("%1; zadanie czeka, ponowna próba za %2 ms").arg(why).arg(wait);
    journal(record);
    scheduleRetry();
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
    retryHeld();
    // Paused monitoring retries no job; resuming lists the directories anyway.
    requestScan(1);
    requestScan(2);
    scheduleRetry();
}

// ---------------------------------------------------------------- later outcomes

void Engine::recordLaterOutcome(const LaterOutcome &outcome)
{
    JobRecord record = RecordOfLaterOutcome(outcome);
    journal(record);
}

} // namespace ostrevo
