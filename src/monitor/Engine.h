#pragma once

#include "handling/JobHandlers.h"
#include "handling/LaterOutcomes.h"
#include "handling/Settings.h"
#include "monitor/JobLedger.h"
#include "monitor/JobQueue.h"
#include "monitor/JobRecord.h"
#include "monitor/MonitorStatus.h"

#include <QHash>
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
class JobMemory;
class JobLedger;
struct LedgerEntry;
struct EngineQuitState;
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
    // MUTEX mode looks into a directory on a network file system this often as well,
    // since inotify does not see what other machines write there.
    int networkPollMs = 2000;
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
    // The headless monitor: monitoring runs whenever the settings pass their check,
    // whatever Monitorowanie says.
    bool alwaysMonitor = false;
    // Outcomes that come after their job ended (the SMTP sender's); journaled and shown.
    LaterOutcomes *laterOutcomes = nullptr;
};

// The job monitor: settings, start-up, the job queue, the watcher, status and journal.
// It lives on the job thread; other threads talk to it through its slots (queued) and
// listen to its signals. The watcher, the timers and resumptions only feed the queue; the
// queue's jobs run one per turn of the thread's event loop, so a pause, a settings edit or
// a quit is taken between two jobs.
class Engine : public QObject {
    Q_OBJECT
public:
    explicit Engine(EngineConfig config, QObject *parent = nullptr);
    ~Engine() override;

    // --- for the engine's own thread ---
    const Settings &settings() const { return m_settings; }
    const MonitorStatus &status() const { return m_status; }
    int CheckSettings() const;
    // Why the check gave `code`, naming the directory or printer, for a log.
    QString settingsProblem(int code) const;
    void ShowStatus(int code);
    // One listing of a directory and every job in it performed now, in name order (--once,
    // and the directory scans below). Jobs that arrive meanwhile wait for the next listing.
    void ScanDirectory(const QString &directory);
    void ScanDirectory1();
    void ScanDirectory2();
    // Monitored directory as a Linux path (DOS paths go through [Dyski]).
    QString resolveDirectory(const QString &text) const;

    // Reads the settings; the first step of both start() and runOnce().
    void readSettings();
    // --once: one scan of each monitored directory, every waiting job performed.
    // Returns 0, or the CheckSettings code when the settings fail.
    int runOnce();
    // What runOnce would find, found without performing, clearing or restoring anything:
    // true when it would only read settings that pass their check, with nothing said
    // (warnings, afterSettingsRead's too), no job record left from an earlier run, no
    // claimed text to give back and no job in any monitored directory. The launcher's
    // quick --once asks this of an engine that has no handlers.
    bool onceFindsNothing();

    // Any thread: the program is quitting. No further job starts; the running one may
    // finish within the quit grace, and only after it do handlers see quitRequested.
    // shutdown() follows on the engine's thread.
    void requestQuit();
    bool quitting() const;
    // Milliseconds until a running job is told to give up (0 once it has been).
    qint64 msUntilJobGivesUp() const;

public slots:
    // The start-up sequence: settings read, symbols, emptying, then TimerSleep's ten
    // ticks, after which monitoring resumes if it ran at the last save.
    void start();
    // btnStart: pause or resume.
    void toggleMonitoring();
    // Pause (false) or resume (true) whatever the state; a resumption needs settings that
    // pass their check. Returns the CheckSettings code.
    int setMonitoring(bool active);
    // Edits from the window or the configuration dialog. A directory edit takes effect
    // at the next scan.
    void updateSettings(const ostrevo::Settings &settings);
    // Writes Ostrevo.ini; with `updateAutostart` also the start-with-system entry.
    void saveSettings(bool updateAutostart);
    // Quitting: stops the watcher and timers, notes what the next start may clear, and
    // writes the settings a last time, with the monitoring state the user chose.
    void shutdown();
    // Emits printersChanged with the printers as they are now.
    void publishPrinters();
    // Directory 1 or 2 has changed: it is listed when the queue has run dry.
    void requestScan(int directory);

signals:
    void statusChanged(const ostrevo::MonitorStatus &status);
    void settingsLoaded(const ostrevo::Settings &settings);
    // Start-up has completed; the printer lists can be filled.
    void startupCompleted();
    // The printer names, asked of the printer system on the engine's thread, so that the
    // window never waits for CUPS. Before startupCompleted, and on publishPrinters().
    void printersChanged(const QStringList &names);
    // Text path, when a job begins (after its text file was found).
    void jobStarted(const QString &textPath);
    // A running job's own status text (a network job's progress), also in statusChanged.
    void jobStatus(const QString &text);
    // A monitored directory was listed (its jobs are queued, or performed by a scan).
    void scanFinished(const QString &directory);
    // A job ended, or a later outcome of one arrived, as the journal recorded it.
    void jobFinished(const ostrevo::JobRecord &record);
    // A failure that escaped a job's handler, or a start-up warning.
    void errorEscaped(const QString &message);
    void warning(const QString &message);
    void shutdownComplete();

private:
    struct Attempt;

    void startupTick();
    void completeStartup();
    void timerWatchTick();
    void pauseMonitoring();
    void resumeWatcher();
    void ensureWatcher();
    void directoryPresence(int directory, bool present);
    void emitStatus();
    void startMonitoring();
    // Which watched directories lie on a network file system, and the poll for them.
    void updateNetworkPolling();
    int printerCode() const;
    int directoryCode() const;
    void emptyAtStart();
    // Where and on which printer a job of monitored directory 1 or 2 runs.
    void setContext(int directoryNumber);

    // --- the queue ---
    void schedulePump();
    // Lists the changed directories when the queue is empty, then performs one job.
    void pump();
    void listChanged();
    // Lists a directory and tells the watcher whether a marker waits for its text.
    std::shared_ptr<const JobDirectory> listDirectory(const QString &path, int directoryNumber);

    // --- one job ---
    // Performs the job of a listed marker; true when the marker waits for its text.
    bool performMarker(const JobDirectory &listing, const QByteArray &marker, int directoryNumber);
    void runJob(PickedJob &job);
    Attempt attempt(const PickedJob &job, const JobContext &context);
    void conclude(PickedJob &job, JobRecord &record, const Attempt &attempt);
    void journal(JobRecord &record);
    void keepForRetry(PickedJob &job, JobRecord &record);
    // The ledger entry of the running job, as it stands.
    LedgerEntry entryOf(const PickedJob &job, const JobRecord &record) const;
    void commitRunningJob(const std::optional<ResultLine> &unknownOutcome);
    bool writeResultOfRunningJob(const ResultLine &result);

    // --- jobs held for what is left to do ---
    // The job has ended: its files go, or it is held until its results are written and
    // its files deleted.
    void finishJob(PickedJob &job, const JobRecord &record);
    void hold(LedgerEntry entry);
    // Writes what results it can and deletes what files it can; true when nothing is left.
    bool finishHeld(LedgerEntry &entry);
    void retryHeld();
    // At start (and --once): what the ledger says of the last run.
    void recoverJobs();
    void recoverEntry(LedgerEntry entry);
    void restoreOwnClaims(const QString &directory);
    QList<QByteArray> ownClaims(const QString &directory) const;
    // The directories whose job texts a run of this program directory may have claimed.
    QStringList claimingDirectories() const;
    QString heldProblem() const;

    void scheduleRetry();
    void retryTick();
    void showJobProblem();
    QString currentProblem() const;
    QString nextJobId();
    void recordLaterOutcome(const LaterOutcome &outcome);
    void noteStop();

    EngineConfig m_config;
    Settings m_settings;
    std::unique_ptr<SettingsStore> m_store;
    std::unique_ptr<Journal> m_journal;
    std::unique_ptr<JobMemory> m_memory;
    std::unique_ptr<JobLedger> m_ledger;
    // Jobs that have ended with something left to do, by marker path.
    QHash<QString, LedgerEntry> m_held;
    // The suffix under which this monitor claims a job text.
    QByteArray m_claimSuffix;
    JobQueue m_queue;
    QTimer *m_pump = nullptr;
    QTimer *m_retryTimer = nullptr;
    QString m_shownProblem;
    std::unique_ptr<DirectoryWatcher> m_watcher;
    QTimer *m_timerWatch = nullptr;
    QTimer *m_networkPoll = nullptr;
    bool m_networkDir[3] = {false, false, false};
    QTimer *m_timerSleep = nullptr;
    int m_sleepTicks = 0;
    MonitorStatus m_status;
    // Monitoring runs (the watcher resumed, or the scan timer on): what the state shows.
    bool m_armed = false;
    // MonitoringActive as the user chose it (btnStart, or as saved): never the look of a
    // quit or of a directory that is briefly missing.
    bool m_chosenActive = false;
    JobContext m_context;
    bool m_jobRunning = false;
    // The running job, for its commit and its results.
    PickedJob *m_runningJob = nullptr;
    JobRecord m_runningRecord;
    bool m_jobCommitted = false;
    QList<ResultLine> m_jobPendingResults;
    bool m_onceMode = false;
    bool m_shutDown = false;
    bool m_settingsRead = false;
    quint64 m_jobSerial = 0;
    QString m_idPrefix;
    std::shared_ptr<EngineQuitState> m_quit;
};

} // namespace ostrevo
