#pragma once

#include "handling/JobHandlers.h"
#include "monitor/MonitorStatus.h"
#include "handling/Settings.h"

#include <QObject>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>

class QTimer;

namespace ostrevo {

class DirectoryWatcher;
class JobDirectory;
class PickedJob;
class Journal;
class KeptJobs;
class JobMemory;
struct EngineQuitState;
struct EngineRunningJob;
class SettingsStore;

// The printers that CheckSettings accepts and the one to preselect.
struct PrinterNames {
    std::function<QStringList()> list = [] { return QStringList(); };
    std::function<QString()> defaultName = [] { return QString(); };
};

struct EngineConfig {
    QString programDir;            // Ostrevo.ini, DefSym.ovx, ostrevo.log live here
    QString executablePath;        // for the start-with-system entry
    QStringList autostartArguments; // and what it passes (--home DIR)
    QString autostartDir;          // XDG autostart directory; empty = none managed
    PrinterNames printers;
    JobHandlers handlers;
    int timerWatchMs = 5000;       // TIMER mode's scan interval
    // How long a quit lets the running job finish before the job is told to give up
    // (it then keeps its files and runs at the next start).
    int quitGraceMs = 10000;
    // A job that met unwritable output is tried again after this, doubling up to the
    // longest wait.
    int retryFirstMs = 2000;
    int retryMaxMs = 60000;
    // Called once after the settings are read at start (symbol table, built-in printer
    // directory, ...). Returns warnings to show, e.g. bad lines of DefSym.ovx.
    std::function<QStringList(const Settings &)> afterSettingsRead;
};

// The job monitor: settings, start-up, scans, ProcessJob, watcher, status and journal.
// It lives on the job thread; other threads talk to it through its slots (queued) and
// listen to its signals.
class Engine : public QObject {
    Q_OBJECT
public:
    explicit Engine(EngineConfig config, QObject *parent = nullptr);
    ~Engine() override;

    // --- for the engine's own thread ---
    const Settings &settings() const { return m_settings; }
    const MonitorStatus &status() const { return m_status; }
    int CheckSettings() const;
    void ShowStatus(int code);
    void ScanDirectory(const QString &directory);
    void ProcessJob(const QString &markerPath);
    void ScanDirectory1();
    void ScanDirectory2();
    bool watcherSuspended() const;
    bool timerWatchActive() const;
    // Monitored directory as a Linux path (DOS paths go through [Dyski]).
    QString resolveDirectory(const QString &text) const;

    // Reads the settings; the first step of both start() and runOnce().
    void readSettings();
    // --once: one scan of each monitored directory, every waiting job performed.
    // Returns 0, or the CheckSettings code when the settings fail.
    int runOnce();

    // Any thread: the program is quitting. No further job starts; the running one may
    // finish within the quit grace, and only after it do handlers see quitRequested.
    // shutdown() follows on the engine's thread.
    void requestQuit();
    bool quitting() const;
    // Milliseconds until a running job is told to give up (0 once it has been).
    qint64 msUntilJobGivesUp() const;
    // Any thread, the last resort of a quit: the running job (stuck in a call that does not
    // return) is listed to be spared at the next start, since the process ends under it.
    void keepRunningJob();

public slots:
    // The start-up sequence: settings read, symbols, emptying, then TimerSleep's ten
    // ticks, after which monitoring resumes if it ran at the last save.
    void start();
    // btnStart: pause or resume.
    void toggleMonitoring();
    // Edits from the window or the configuration dialog. A directory edit takes effect
    // at the next scan.
    void updateSettings(const ostrevo::Settings &settings);
    // Writes Ostrevo.ini; with `updateAutostart` also the start-with-system entry.
    void saveSettings(bool updateAutostart);
    // Quitting: stops the watcher and timers and writes the settings a last time, with
    // the monitoring state the user chose.
    void shutdown();
    // Emits printersChanged with the printers as they are now.
    void publishPrinters();

signals:
    void statusChanged(const ostrevo::MonitorStatus &status);
    void settingsLoaded(const ostrevo::Settings &settings);
    // Start-up has completed; the printer lists can be filled.
    void startupCompleted();
    // The printer names, asked of the printer system on the engine's thread, so that the
    // window never waits for CUPS. Before startupCompleted, and on publishPrinters().
    void printersChanged(const QStringList &names);
    // Marker path, when a job begins (after its text file was found).
    void jobStarted(const QString &textPath);
    // A running job's own status text (a network job's progress), also in statusChanged.
    void jobStatus(const QString &text);
    // A scan of a monitored directory is over, with every job it performed.
    void scanFinished(const QString &directory);
    // One line of the journal, as written.
    void jobFinished(const QString &journalLine);
    // A failure that escaped a job's handler, or a start-up warning.
    void errorEscaped(const QString &message);
    void warning(const QString &message);
    void shutdownComplete();

private:
    void startupTick();
    void completeStartup();
    void timerWatchTick();
    void pauseMonitoring();
    void resumeMonitoring();
    void resumeWatcher();
    void ensureWatcher();
    void directoryPresence(int directory, bool present);
    void emitStatus();
    bool monitoringArmed() const;
    void startMonitoring();
    int printerCode() const;
    bool leftBehind(const QString &markerPath, const QString &textPath);
    QString deleteMarker(const QString &markerPath);
    void deleteJobFiles(const PickedJob &job,
                        const std::function<void(const QString &)> &journal);
    void keepForRetry(const QString &markerPath, const QString &textPath, const QString &why,
                      const std::function<void(const QString &)> &journal);
    void scheduleRetry();
    void retryTick();
    void showJobProblem();
    void emptyAtStart();
    void setContext(int directoryNumber);
    // One scan of monitored directory 1 or 2 (0: a directory of no watcher).
    void scanDirectory(const QString &directory, int directoryNumber);
    // ProcessJob for a marker of a scan's listing; true when the marker waits for its text.
    bool processMarker(const JobDirectory &directory, const QByteArray &marker);
    int directoryCode() const;

    EngineConfig m_config;
    Settings m_settings;
    std::unique_ptr<SettingsStore> m_store;
    std::unique_ptr<Journal> m_journal;
    std::unique_ptr<KeptJobs> m_kept;
    std::unique_ptr<JobMemory> m_memory;
    QTimer *m_retryTimer = nullptr;
    QString m_shownProblem;
    std::unique_ptr<DirectoryWatcher> m_watcher;
    QTimer *m_timerWatch = nullptr;
    QTimer *m_timerSleep = nullptr;
    int m_sleepTicks = 0;
    MonitorStatus m_status;
    // MonitoringActive as the user chose it (btnStart, or as saved): never the paused look
    // of a job, a quit or a directory that is briefly missing.
    bool m_chosenActive = false;
    JobContext m_context;
    int m_jobDepth = 0;
    // Set by the running job through JobContext::committed.
    bool m_jobCommitted = false;
    bool m_nestedRescan = false;
    bool m_rescanPending = false;
    bool m_onceMode = false;
    bool m_shutDown = false;
    bool m_settingsRead = false;
    // Scans begun per directory: the latest one's listing says whether a marker waits.
    quint64 m_scanSerial[3] = {0, 0, 0};
    std::shared_ptr<EngineQuitState> m_quit;
    std::unique_ptr<EngineRunningJob> m_running;
};

} // namespace ostrevo
