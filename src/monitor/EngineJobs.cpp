#include "monitor/Engine.h"

#include "jobs/Classifier.h"
#include "jobs/Errors.h"
#include "monitor/DirectoryWatcher.h"
#include "monitor/EngineKeptJobs.h"
#include "monitor/EngineQuit.h"
#include "monitor/JobFiles.h"
#include "monitor/Journal.h"

#include <QElapsedTimer>
#include <QFileInfo>

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
        return QStringLiteral("FAILED: ") + result.detail;
    }
    return {};
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
    emit scanFinished(directory);
}

void Engine::ProcessJob(const QString &markerPath)
{
    // A marker whose text file is not there yet waits for the next scan; one that is
    // gone was performed by a nested scan already.
    if (!FileExists(markerPath))
        return;
    const QString textPath = FindTextFile(markerPath);
    if (textPath.isEmpty()) {
        m_markerWaitingSeen = true;
        return;
    }

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
    JobResult::Outcome handled = JobResult::Failed;
    try {
        const JobKind kind = ClassifyJob(textPath);
        kindName = JobKindName(kind);
        const JobResult result = m_config.handlers.run(kind, context, textPath);
        handled = result.outcome;
        outcome = OutcomeText(result);
    } catch (const JobError &e) {
        escaped = e.message();
    } catch (const std::exception &e) {
        escaped = QString::fromLocal8Bit(e.what());
    } catch (...) {
        escaped = QStringLiteral("nieznany błąd");
    }

    if (!escaped.isEmpty())
        outcome = QStringLiteral("ERROR: ") + escaped;
    // A job that the quit cut short keeps its files, and is spared by the emptying at the
    // next start, which performs it again. One that finished in time ends as usual.
    const bool abandoned = m_quit->jobMustGiveUp() && (!escaped.isEmpty() || handled != JobResult::Done);
    if (abandoned) {
        m_kept->keep(markerPath, textPath);
        outcome = QStringLiteral("ABANDONED: the program quit during the job; it runs again at the next start (")
            + outcome + u')';
        escaped.clear();
    } else {
        RemoveFile(markerPath);
        RemoveFile(textPath);
        m_kept->release(markerPath, textPath);
    }
    m_running->set({}, {});
    const QString line = m_journal->record(context.currentJobDir, QFileInfo(textPath).fileName(), kindName,
                                           clock.elapsed(), outcome);
    emit jobFinished(line);

    // Jobs of the rescan below still count as inside this one: the status stays "job".
    resumeMonitoring();
    --m_jobDepth;
    m_context = context;
    ShowStatus(0);
    if (!escaped.isEmpty())
        emit errorEscaped(escaped);
}

} // namespace ostrevo
