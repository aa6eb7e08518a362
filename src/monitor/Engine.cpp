#include "monitor/Engine.h"

#include "jobs/DosPath.h"
#include "jobs/Errors.h"
#include "monitor/Autostart.h"
#include "monitor/DirectoryWatcher.h"
#include "monitor/EngineJobMemory.h"
#include "monitor/EngineQuit.h"
#include "monitor/JobFiles.h"
#include "monitor/Journal.h"
#include "monitor/MonitoredDirectories.h"
#include "monitor/NetworkFileSystem.h"
#include "monitor/SettingsStore.h"
#include "monitor/StartupClear.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <unistd.h>

namespace ostrevo {

namespace {

const QString StopNoteName = QStringLiteral("/ostrevo-stop.lst");
constexpr int TimerSleepMs = 50;
constexpr int StartupTicks = 10;

} // namespace

Engine::Engine(EngineConfig config, QObject *parent)
    : QObject(parent), m_config(std::move(config)), m_quit(std::make_shared<EngineQuitState>())
{
    qRegisterMetaType<MonitorStatus>();
    qRegisterMetaType<Settings>();
    m_store = std::make_unique<SettingsStore>(m_config.programDir + QStringLiteral("/Ostrevo.ini"));
    m_journal = std::make_unique<Journal>(m_config.programDir + QStringLiteral("/ostrevo.log"));
    m_ledger = std::make_unique<JobLedger>(m_config.programDir + QStringLiteral("/ostrevo-jobs"));
    const QString canonicalHome = QFileInfo(m_config.programDir).canonicalFilePath();
    m_claimSuffix = ClaimSuffix(canonicalHome.isEmpty() ? m_config.programDir : canonicalHome);
    m_quit->graceMs = std::max(0, m_config.quitGraceMs);
    m_memory = std::make_unique<JobMemory>(m_config.retryFirstMs, m_config.retryMaxMs);
    m_pump = new QTimer(this);
    m_pump->setSingleShot(true);
    m_pump->setInterval(0);
    connect(m_pump, &QTimer::timeout, this, &Engine::pump);
    m_retryTimer = new QTimer(this);
    m_retryTimer->setSingleShot(true);
    m_retryTimer->setTimerType(Qt::PreciseTimer);
    connect(m_retryTimer, &QTimer::timeout, this, &Engine::retryTick);

    m_timerWatch = new QTimer(this);
    m_timerWatch->setInterval(m_config.timerWatchMs);
    connect(m_timerWatch, &QTimer::timeout, this, &Engine::timerWatchTick);
    m_networkPoll = new QTimer(this);
    m_networkPoll->setInterval(m_config.networkPollMs);
    connect(m_networkPoll, &QTimer::timeout, this, [this] {
        for (int n = 1; n <= 2; ++n) {
            if (m_networkDir[n])
                requestScan(n);
        }
    });
    m_timerSleep = new QTimer(this);
    m_timerSleep->setInterval(TimerSleepMs);
    connect(m_timerSleep, &QTimer::timeout, this, &Engine::startupTick);

    m_context.programDir = m_config.programDir;
    m_context.settings = &m_settings;
    auto quit = m_quit;
    m_context.quitRequested = [quit] { return quit->jobMustGiveUp(); };
    m_context.committed = [this](const std::optional<ResultLine> &unknown) { commitRunningJob(unknown); };
    m_context.writeResult = [this](const ResultLine &result) { return writeResultOfRunningJob(result); };
    m_context.status = [this](const QString &text) {
        m_status.text = text;
        emitStatus();
        emit jobStatus(text);
    };
    // Ids that stay unique across restarts: the mail spool keeps them for its outcomes.
    m_idPrefix = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) + u'-'
        + QString::number(::getpid()) + u'-';
    qRegisterMetaType<JobRecord>();
    if (m_config.laterOutcomes) {
        m_config.laterOutcomes->setSink([this](const LaterOutcome &outcome) {
            QMetaObject::invokeMethod(this, [this, outcome] { recordLaterOutcome(outcome); }, Qt::QueuedConnection);
        });
    }
}

Engine::~Engine()
{
    if (m_config.laterOutcomes)
        m_config.laterOutcomes->setSink({});
    if (m_watcher)
        m_watcher->stop();
}

void Engine::requestQuit()
{
    qint64 expected = 0;
    m_quit->requestedAt.compare_exchange_strong(expected, std::max<qint64>(1, EngineQuitState::nowMs()));
}

bool Engine::quitting() const
{
    return m_quit->quitting();
}

qint64 Engine::msUntilJobGivesUp() const
{
    return m_quit->msUntilGiveUp();
}

// ---------------------------------------------------------------- settings

void Engine::readSettings()
{
    m_settings = m_store->read();
    m_settingsRead = true;
    if (!m_store->readError().isEmpty())
        emit warning(m_store->readError());
    // A mode this program does not know would monitor nothing, silently.
    if (m_settings.timer != MonitorMutex && m_settings.timer != MonitorTimer) {
        emit warning(QStringLiteral("Ostrevo.ini: Timer=%1 nie jest trybem monitorowania (0 MUTEX, 1 TIMER); "
                                    "używam trybu TIMER")
                         .arg(m_settings.timer));
        m_settings.timer = MonitorTimer;
    }
    m_chosenActive = m_settings.monitorowanie;
    if (m_config.afterSettingsRead) {
        for (const QString &message : m_config.afterSettingsRead(m_settings))
            emit warning(message);
    }
    emit settingsLoaded(m_settings);
}

void Engine::updateSettings(const Settings &settings)
{
    m_settings = settings;
    m_settings.monitorowanie = m_chosenActive;
}

void Engine::saveSettings(bool updateAutostart)
{
    m_settings.monitorowanie = m_chosenActive;
    try {
        m_store->write(m_settings);
    } catch (const JobError &e) {
        emit warning(e.message());
    }
    if (updateAutostart && !m_config.autostartDir.isEmpty())
        UpdateAutostartEntry(m_config.autostartDir, m_settings.autoRun, m_config.executablePath,
                             m_config.autostartArguments);
}

QString Engine::resolveDirectory(const QString &text) const
{
    return ResolveMonitoredDirectory(text, m_settings, m_config.programDir);
}

// ---------------------------------------------------------------- start-up

void Engine::start()
{
    readSettings();
    recoverJobs();
    emptyAtStart();
    m_status = MonitorStatus{};
    m_status.text.clear();
    emit statusChanged(m_status);
    m_sleepTicks = 0;
    m_timerSleep->start();
}

void Engine::emptyAtStart()
{
    // Only what the last clean stop left behind unperformed, and only as it was then.
    const std::optional<QList<StaleFile>> stale = TakeStopNote(m_config.programDir + StopNoteName);
    if (!stale)
        return;
    const QStringList warnings = ClearStaleFiles(
        *stale, m_settings, [this](const QString &dir) { return resolveDirectory(dir); },
        [this](const StaleFile &file) {
            JobRecord record;
            record.directory = file.directory;
            record.jobFile = QFile::decodeName(file.name);
            record.kind = QStringLiteral("-");
            record.outcome = JobOutcome::Cleared;
            record.detail = QStringLiteral("%1 B, zmieniony %2; niewykonany od przed ostatnim zatrzymaniem")
                                .arg(file.stamp.size)
                                .arg(QDateTime::fromMSecsSinceEpoch(file.stamp.mtimeNs / 1000000)
                                         .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
            journal(record);
        });
    for (const QString &message : warnings)
        emit warning(message);
}

void Engine::noteStop()
{
    StaleScan scan;
    scan.settings = &m_settings;
    scan.resolveDir = [this](const QString &dir) { return resolveDirectory(dir); };
    // Jobs that wait while monitoring runs are performed after the start; those left
    // while it was paused are as stale as the legacy program's emptying takes them.
    scan.keepCompleteJobs = m_chosenActive;
    scan.keepMarker = [this](const QString &dir, const QByteArray &marker) {
        return m_held.contains(dir + u'/' + DisplayName(marker));
    };
    try {
        WriteStopNote(m_config.programDir + StopNoteName, CollectStaleFiles(scan));
    } catch (const JobError &e) {
        // Without the note the next start clears nothing: nothing is lost that way.
        emit warning(e.message());
    }
}

void Engine::startupTick()
{
    if (++m_sleepTicks < StartupTicks)
        return;
    m_timerSleep->stop();
    completeStartup();
}

void Engine::completeStartup()
{
    if (m_settings.drukarka.isEmpty()) {
        m_settings.drukarka = m_config.printers.defaultName();
        emit settingsLoaded(m_settings);
    }
    ensureWatcher();
    // A directory missing at start (a share not mounted yet) is waited for: monitoring
    // starts and resumes by itself when the directory appears. A service exists to
    // monitor: it does whenever the settings allow, whatever the last desktop run saved.
    if (m_config.alwaysMonitor)
        m_chosenActive = true;
    if (m_chosenActive && printerCode() == 0)
        startMonitoring();
    m_status.startEnabled = true;
    const int code = CheckSettings();
    ShowStatus(code);
    if (code != 0 && m_config.alwaysMonitor)
        emit warning(StatusText(code, m_settings.timer) + QStringLiteral(": ") + settingsProblem(code));
    publishPrinters();
    emit startupCompleted();
}

void Engine::publishPrinters()
{
    emit printersChanged(m_config.printers.list());
}

void Engine::ensureWatcher()
{
    if (m_watcher || m_onceMode)
        return;
    // The watcher only asks; the request waits in this thread's event queue.
    QPointer<Engine> self(this);
    auto scan = [self](int directory) {
        QMetaObject::invokeMethod(self.data(), [self, directory] {
            if (self)
                self->requestScan(directory);
        }, Qt::QueuedConnection);
    };
    auto presence = [self](int directory, bool present) {
        QMetaObject::invokeMethod(self.data(), [self, directory, present] {
            if (self)
                self->directoryPresence(directory, present);
        }, Qt::QueuedConnection);
    };
    m_watcher = std::make_unique<DirectoryWatcher>(scan, presence);
}

// ---------------------------------------------------------------- start / pause

void Engine::toggleMonitoring()
{
    // The press does what the button shows: "Wstrzymaj" while running (also with a job's
    // problem shown), "Wznów" while paused or while a settings error is shown, when a
    // missing directory may be waited for already.
    setMonitoring(!(m_armed && m_status.code == 0));
}

int Engine::setMonitoring(bool active)
{
    if (!active) {
        pauseMonitoring();
        m_chosenActive = false;
    } else if (CheckSettings() == 0) {
        if (!m_armed)
            startMonitoring();
        m_chosenActive = m_armed;
    }
    const int code = CheckSettings();
    ShowStatus(code);
    return code;
}

void Engine::startMonitoring()
{
    if (m_settings.timer == MonitorMutex) {
        m_armed = true;
        ensureWatcher();
        resumeWatcher();
        updateNetworkPolling();
        // Resuming in MUTEX mode looks at both directories at once.
        requestScan(1);
        requestScan(2);
    } else if (m_settings.timer == MonitorTimer) {
        m_armed = true;
        m_timerWatch->start();
    }
}

void Engine::resumeWatcher()
{
    if (!m_watcher || quitting())
        return;
    m_watcher->resume({resolveDirectory(m_settings.katalog), m_settings.monitorowanie2,
                       resolveDirectory(m_settings.katalog2)});
}

void Engine::pauseMonitoring()
{
    m_armed = false;
    if (m_watcher && !m_watcher->suspended())
        m_watcher->suspend();
    m_timerWatch->stop();
    updateNetworkPolling();
    // What was listed stays on disk; the next resumption lists it again.
    m_queue.clear();
}

void Engine::updateNetworkPolling()
{
    const bool watching = m_armed && m_settings.timer == MonitorMutex;
    m_networkDir[1] = watching && IsNetworkFileSystem(resolveDirectory(m_settings.katalog));
    m_networkDir[2] = watching && m_settings.monitorowanie2 && IsNetworkFileSystem(resolveDirectory(m_settings.katalog2));
    if (m_networkDir[1] || m_networkDir[2]) {
        if (!m_networkPoll->isActive())
            m_networkPoll->start();
    } else {
        m_networkPoll->stop();
    }
}

void Engine::timerWatchTick()
{
    // A directory that vanished shows as an error; the timer keeps running, and the
    // status clears itself when the directory is back.
    const int code = directoryCode();
    if (code != 0) {
        ShowStatus(code);
    } else if (m_status.state == MonitorState::Error) {
        ShowStatus(CheckSettings());
    }
    requestScan(1);
    requestScan(2);
}

void Engine::directoryPresence(int, bool)
{
    // A share mounted again may be another file system than the directory under it.
    updateNetworkPolling();
    const int code = CheckSettings();
    ShowStatus(code);
}

// ---------------------------------------------------------------- status

int Engine::directoryCode() const
{
    if (!DirectoryExists(resolveDirectory(m_settings.katalog)))
        return 1;
    if (m_settings.monitorowanie2 && !DirectoryExists(resolveDirectory(m_settings.katalog2)))
        return 3;
    return 0;
}

// CheckSettings without its directory tests.
int Engine::printerCode() const
{
    const QStringList printers = m_config.printers.list();
    const auto known = [&printers](const QString &name) {
        return printers.contains(name, Qt::CaseInsensitive);
    };
    if (!known(m_settings.drukarka))
        return 2;
    if (m_settings.monitorowanie2 && !known(m_settings.drukarka2))
        return 4;
    return 0;
}

QString Engine::settingsProblem(int code) const
{
    const auto directory = [this](const QString &text) {
        const QString path = resolveDirectory(text);
        if (text.isEmpty())
            return QStringLiteral("nie podano katalogu");
        const QString unmapped = DosPathMapper::unmappedRoot() + QStringLiteral("/unmapped-drive-");
        if (path.startsWith(unmapped))
            return QStringLiteral("%1: dysk %2: nie ma wpisu w [Dyski] pliku Ostrevo.ini")
                .arg(text, path.mid(unmapped.size(), 1));
        return QStringLiteral("%1 nie jest istniejącym katalogiem").arg(path);
    };
    const auto printer = [this](const QString &name) {
        return QStringLiteral("drukarki \"%1\" nie ma wśród drukarek: %2")
            .arg(name, m_config.printers.list().join(QStringLiteral(", ")));
    };
    switch (code) {
    case 1:
        return directory(m_settings.katalog);
    case 2:
        return printer(m_settings.drukarka);
    case 3:
        return directory(m_settings.katalog2);
    case 4:
        return printer(m_settings.drukarka2);
    default:
        return {};
    }
}

int Engine::CheckSettings() const
{
    if (!DirectoryExists(resolveDirectory(m_settings.katalog)))
        return 1;
    const int printer = printerCode();
    if (printer == 2)
        return 2;
    if (!m_settings.monitorowanie2)
        return 0;
    if (!DirectoryExists(resolveDirectory(m_settings.katalog2)))
        return 3;
    return printer;
}

void Engine::ShowStatus(int code)
{
    MonitorState state;
    if (code == 0) {
        if (m_settings.timer != MonitorMutex && m_settings.timer != MonitorTimer)
            return;
        state = m_armed ? MonitorState::Running : MonitorState::Paused;
    } else if (code >= 1 && code <= 4) {
        state = MonitorState::Error;
    } else {
        return;
    }
    m_status.code = code;
    m_status.text = StatusText(code, m_settings.timer);
    if (code == 0 && m_armed && (m_networkDir[1] || m_networkDir[2])) {
        const QString which = m_networkDir[1] && m_networkDir[2] ? QStringLiteral("katalogi 1 i 2 w sieci")
                              : m_networkDir[1]                   ? QStringLiteral("katalog 1 w sieci")
                                                                  : QStringLiteral("katalog 2 w sieci");
        m_status.text += QStringLiteral(" (%1: sprawdzane co %2 s)").arg(which).arg(m_config.networkPollMs / 1000.0);
    }
    // A missing directory while monitoring runs is waited for, and the status says so.
    if ((code == 1 || code == 3) && m_armed)
        m_status.text += QStringLiteral(" (czekam, aż katalog się pojawi)");
    // A job whose files cannot be deleted, or one waiting for a retry, is shown while
    // monitoring goes on: the state stays what it is, the text names the problem.
    m_shownProblem = currentProblem();
    m_status.problem = m_shownProblem;
    if (state == MonitorState::Running && !m_shownProblem.isEmpty())
        m_status.text = m_shownProblem;
    m_status.state = state;
    m_status.icon = state == MonitorState::Running ? 1 : state == MonitorState::Paused ? 2 : 3;
    // Monitoring counts as running while a directory is waited for: the mode cannot be
    // changed then.
    m_status.monitoringActive = m_armed;
    m_status.jobRunning = m_jobRunning;
    m_status.queued = int(m_queue.size());
    emitStatus();
}

// After a scan: a job problem that cleared (or arose) without a job shows at once.
void Engine::showJobProblem()
{
    if (!m_jobRunning && currentProblem() != m_shownProblem)
        ShowStatus(m_status.code);
}

void Engine::emitStatus()
{
    emit statusChanged(m_status);
}

// ---------------------------------------------------------------- once and shutdown

int Engine::runOnce()
{
    m_onceMode = true;
    readSettings();
    if (m_settings.drukarka.isEmpty())
        m_settings.drukarka = m_config.printers.defaultName();
    const int code = CheckSettings();
    if (code != 0) {
        emit warning(StatusText(code, m_settings.timer) + QStringLiteral(": ") + settingsProblem(code));
        return code;
    }
    recoverJobs();
    ScanDirectory1();
    ScanDirectory2();
    return 0;
}

bool Engine::onceFindsNothing()
{
    m_onceMode = true;
    bool said = false;
    const QMetaObject::Connection listening = connect(this, &Engine::warning, this, [&said] { said = true; });
    readSettings();
    disconnect(listening);
    // No printer named means the system's default, which only the program can ask for.
    if (said || m_settings.drukarka.isEmpty() || CheckSettings() != 0 || !m_ledger->isEmpty())
        return false;
    // As recoverJobs and the scans of runOnce look.
    for (const QString &directory : claimingDirectories()) {
        if (!ownClaims(directory).isEmpty())
            return false;
    }
    QStringList scanned{resolveDirectory(m_settings.katalog)};
    if (m_settings.monitorowanie2)
        scanned.append(resolveDirectory(m_settings.katalog2));
    for (const QString &directory : std::as_const(scanned)) {
        if (!JobDirectory(directory).markers().empty())
            return false;
    }
    return true;
}

void Engine::shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    requestQuit();
    m_timerSleep->stop();
    m_timerWatch->stop();
    m_networkPoll->stop();
    m_retryTimer->stop();
    m_pump->stop();
    m_queue.clear();
    if (m_watcher)
        m_watcher->stop();
    // Settings are written only when they were read: a start-up cut short must not
    // overwrite the file with defaults.
    if (m_settingsRead && !m_onceMode) {
        noteStop();
        saveSettings(true);
    }
    emit shutdownComplete();
}

} // namespace ostrevo
