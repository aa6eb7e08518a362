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
    return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error)));
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
    m_memory->forgetGone();
    const QStringList markers = ListMarkers(directory);
    bool waiting = false;
    for (const QString &name : markers) {
        if (quitting())
            break;
        m_markerWaitingSeen = false;
        ProcessJob(directory + u'/' + name);
        waiting = waiting || m_markerWaitingSeen;
    }
    if (m_watcher && !m_nestedRescan)
        m_watcher->setMarkerWaiting(waiting);
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
    // A marker whose text file is not there yet waits for the next scan; one that is
    // gone was performed by a nested scan already.
    if (!FileExists(markerPath))
        return;
    // The marker of a job performed already, left behind: gone now, or still waiting for
    // a text of its own.
    if (m_memory->isStuck(markerPath, JobMemory::stampOf(markerPath)) && deleteMarker(markerPath).isEmpty())
        return;
    const QString textPath = FindTextFile(markerPath);
    if (textPath.isEmpty()) {
        m_markerWaitingSeen = true;
        return;
    }
    if (leftBehind(markerPath, textPath))
        return;
    // A job that met unwritable output waits for its next attempt.
    if (!m_memory->due(markerPath, EngineQuitState::nowMs()))
        return;

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
    const JobContext context = m_context;
    QString kindName = QStringLiteral("?");
    QString outcome;
    QString escaped;
    JobResult result = JobResult::failed({});
    try {
        const JobKind kind = ClassifyJob(textPath);
        kindName = JobKindName(kind);
        result = m_config.handlers.run(kind, context, textPath);
        outcome = OutcomeText(result);
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
    // next start, which performs it again. One that finished in time ends as usual.
    const bool abandoned = m_quit->jobMustGiveUp() && (!escaped.isEmpty() || result.outcome != JobResult::Done);
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
        deleteJobFiles(markerPath, textPath, journal);
        if (retried)
            scheduleRetry();
    }
    m_running->set({}, {});

    // Jobs of the rescan below still count as inside this one: the status stays "job".
    resumeMonitoring();
    --m_jobDepth;
    m_context = context;
    ShowStatus(0);
    if (!escaped.isEmpty())
        emit errorEscaped(escaped);
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
void Engine::deleteJobFiles(const QString &markerPath, const QString &textPath,
                            const std::function<void(const QString &)> &journal)
{
    m_kept->release(markerPath, textPath);
    QString failed = DeleteJobFile(textPath);
    if (failed.isEmpty()) {
        failed = deleteMarker(markerPath);
        if (failed.isEmpty())
            return;
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
