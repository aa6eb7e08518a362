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

#include <utility>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

// The scans and the road of one job: classify, hand to the handler, delete, journal.

namespace ostrevo {

namespace {

QString OutcomeText(const JobResult &result)
{
    switch (result.outcome) {
    case JobResult::Done:
        return result.detail.isEmpty() ? QStringLiteral("OK") : QStringLiteral("OK: ") + result.detail;
    case JobResult::Failed:
        return QStringLiteral("FAILED: ") + result.detail;
    case JobResult::NotSupported:
        return QStringLiteral("NOT SUPPORTED: ") + result.detail;
    case JobResult::Retry:
        return QStringLiteral("RETRY: ") + result.detail;
    }
    return {};
}

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

} // namespace

void Engine::setContext(int directoryNumber)
{
    if (directoryNumber == 1) {
        m_context.currentPrinterName = m_settings.drukarka;
        m_context.currentJobDir = resolveDirectory(m_settings.katalog);
    } else {
        m_context.currentPrinterName = m_settings.drukarka2;
        m_context.currentJobDir = resolveDirectory(m_settings.katalog2);
    }
}

void Engine::ScanDirectory1()
{
    setContext(1);
    scanDirectory(m_context.currentJobDir, 1);
}

void Engine::ScanDirectory2()
{
    if (!m_settings.monitorowanie2)
        return;
    setContext(2);
    scanDirectory(m_context.currentJobDir, 2);
}

void Engine::ScanDirectory(const QString &directory)
{
    scanDirectory(directory, 0);
}

void Engine::scanDirectory(const QString &directory, int directoryNumber)
{
    if (directory.isEmpty())
        return;
    m_memory->forgetGone();
    const quint64 serial = ++m_scanSerial[directoryNumber];
    // One listing per scan: markers are matched to their texts from it, however many wait.
    const JobDirectory listing(directory);
    bool waiting = false;
    for (const QByteArray &marker : listing.markers()) {
        if (quitting())
            break;
        waiting = processMarker(listing, marker) || waiting;
    }
    // Nested scans of the jobs' ends listed the directory later than this one: theirs is
    // the word on waiting markers.
    if (m_watcher && directoryNumber != 0 && serial == m_scanSerial[directoryNumber])
        m_watcher->setMarkerWaiting(directoryNumber, waiting);
    showJobProblem();
    emit scanFinished(directory);
}

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

void Engine::ProcessJob(const QString &markerPath)
{
    const qsizetype slash = markerPath.lastIndexOf(u'/');
    const JobDirectory listing(slash > 0 ? markerPath.left(slash) : slash == 0 ? QStringLiteral("/") : QStringLiteral("."));
    processMarker(listing, QFile::encodeName(markerPath.mid(slash + 1)));
}

bool Engine::processMarker(const JobDirectory &directory, const QByteArray &marker)
{
    // A marker whose text file is not there yet waits for the next scan; one that is
    // gone was performed by a nested scan already.
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
    const QString &textPath = job.textPath();
    if (leftBehind(markerPath, textPath))
        return false;
    // A job that met unwritable output waits for its next attempt.
    if (!m_memory->due(markerPath, EngineQuitState::nowMs()))
        return false;

    QElapsedTimer clock;
    clock.start();
    pauseMonitoring();
    ++m_jobDepth;
    ShowStatus(0);
    m_status.text = QStringLiteral("Odczyt pliku...");
    emitStatus();
    emit jobStarted(textPath);
    m_running->set(markerPath, textPath);

    // A job context survives nested jobs of the rescan below unchanged.
    JobContext context = m_context;
    context.jobText = job.textFd();
    QString kindName = QStringLiteral("?");
    QString outcome;
    QString escaped;
    JobResult result = JobResult::failed({});
    const bool outerCommitted = std::exchange(m_jobCommitted, false);
    try {
        if (job.state() == PickedJob::Unreadable)
            throw IoError(job.problem());
        if (job.state() == PickedJob::Refused) {
            result = JobResult::done();
            outcome = QStringLiteral("REFUSED: ") + job.problem();
        } else {
            const JobKind kind = ClassifyJob(textPath, job.textFd());
            kindName = JobKindName(kind);
            result = m_config.handlers.run(kind, context, textPath);
            outcome = OutcomeText(result);
        }
    } catch (const OutputUnavailable &e) {
        // Unwritable local output that a handler did not catch is no fault of the job.
        result = JobResult::retryLater(e.message());
    } catch (const JobError &e) {
        escaped = e.message();
    } catch (const std::exception &e) {
        escaped = QString::fromLocal8Bit(e.what());
    } catch (...) {
        escaped = QStringLiteral("nieznany błąd");
    }
    if (!escaped.isEmpty())
        outcome = QStringLiteral("ERROR: ") + escaped;
    const auto journal = [&](const QString &text) {
        emit jobFinished(m_journal->record(context.currentJobDir, QFileInfo(textPath).fileName(), kindName,
                                           clock.elapsed(), text));
    };

    // A job that the quit cut short keeps its files, and is spared by the emptying at the
    // next start, which performs it again. One that finished in time ends as usual, and
    // so does one that had committed itself: performing it again would repeat its effect.
    const bool committed = std::exchange(m_jobCommitted, outerCommitted);
    const bool abandoned = m_quit->jobMustGiveUp() && !committed
                           && (!escaped.isEmpty() || result.outcome != JobResult::Done);
    if (abandoned) {
        m_kept->keep(markerPath, textPath);
        journal(QStringLiteral("ABANDONED: the program quit during the job; it runs again at the next start (")
                + (outcome.isEmpty() ? result.detail : outcome) + u')');
        escaped.clear();
    } else if (result.outcome == JobResult::Retry) {
        keepForRetry(markerPath, textPath, result.detail, journal);
    } else {
        // Journaled before the files go: a kill in between loses no record of the job.
        journal(outcome);
        const bool retried = m_memory->forgetRetry(markerPath);
        deleteJobFiles(job, journal);
        if (retried)
            scheduleRetry();
    }
    m_running->set({}, {});

    // Jobs of the rescan below still count as inside this one: the status stays "job".
    resumeMonitoring();
    --m_jobDepth;
    context.jobText = -1;
    m_context = context;
    ShowStatus(0);
    if (!escaped.isEmpty())
        emit errorEscaped(escaped);
    return false;
}

void Engine::keepForRetry(const QString &markerPath, const QString &textPath, const QString &why,
                          const std::function<void(const QString &)> &journal)
{
    m_kept->keep(markerPath, textPath);
    if (m_onceMode) {
        journal(QStringLiteral("RETRY: %1; the job is kept for a later run").arg(why));
        emit warning(QStringLiteral("%1: %2; the job is kept for a later run").arg(textPath, why));
        return;
    }
    const qint64 wait = m_memory->retryLater(markerPath, EngineQuitState::nowMs());
    m_memory->setRetryProblem(markerPath,
                              QStringLiteral("BŁĄD! %1 (ponowna próba za %2 s)").arg(why).arg((wait + 999) / 1000));
    journal(QStringLiteral("RETRY: %1; the job is kept and tried again in %2 ms").arg(why).arg(wait));
    scheduleRetry();
}

// The text first, the marker last: a writer that reuses the job's name writes its next
// text once the marker is gone, and that text must never be ours to delete. While the
// text cannot be deleted the marker stays, so that no such writer takes the name.
void Engine::deleteJobFiles(const PickedJob &job, const std::function<void(const QString &)> &journal)
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
    journal(QStringLiteral("ERROR: the job's files cannot be deleted: %1; the job is not performed again while they stay")
                .arg(failed));
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
    // Paused monitoring retries nothing; resuming scans anyway.
    if (m_jobDepth == 0 && monitoringArmed()) {
        ScanDirectory1();
        ScanDirectory2();
    }
    scheduleRetry();
}

} // namespace ostrevo
