#pragma once

#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace ostrevo {

// The watcher of MUTEX mode: a thread that waits on inotify for job markers appearing in
// the monitored directories and asks the job thread to scan the directory that changed,
// waiting until that scan (with all its jobs) is over. It is created suspended;
// "suspended" means it dispatches no scan until resumed. After each wake it sleeps
// 500 ms, so bursts of files cost at most about two scans per second per directory.
class DirectoryWatcher {
public:
    struct Directories {
        QString dir1;
        bool monitor2 = false;
        QString dir2;
        bool operator==(const Directories &) const = default;
    };
    // Runs a scan of directory 1 or 2 on the job thread and returns when it is over, or
    // returns early when `abandoned` becomes true (the program is quitting).
    using ScanRequest = std::function<void(int directory, const std::atomic_bool &abandoned)>;
    // Directory 1 or 2 vanished or came back (to show the error status or clear it).
    using DirectoryState = std::function<void(int directory, bool present)>;

    DirectoryWatcher(ScanRequest scan, DirectoryState state = {});
    ~DirectoryWatcher();
    DirectoryWatcher(const DirectoryWatcher &) = delete;
    DirectoryWatcher &operator=(const DirectoryWatcher &) = delete;

    void suspend();
    // Resumes with the directories as they are set now; new directories are watched from here on.
    void resume(const Directories &dirs);
    bool suspended() const { return m_suspended.load(); }
    // A marker of directory 1 or 2 met without its text file: the watcher then also wakes
    // when a text file is written into that directory.
    void setMarkerWaiting(int directory, bool waiting);
    // Ends the thread; safe to call while a scan is being dispatched.
    void stop();

private:
    void run();
    void rearm();
    void wake();
    bool sleepInterruptibly(int ms);

    ScanRequest m_scan;
    DirectoryState m_state;
    std::thread m_thread;
    int m_inotify = -1;
    int m_wakeFd = -1;
    int m_watch[3] = {-1, -1, -1};
    bool m_present[3] = {true, true, true};
    bool m_pending[3] = {false, false, false};

    std::mutex m_mutex;
    std::condition_variable m_cv;
    Directories m_wanted;      // guarded by m_mutex
    Directories m_armed;       // watcher thread only
    bool m_rearm = false;      // guarded by m_mutex
    bool m_everResumed = false; // guarded by m_mutex
    std::atomic_bool m_suspended{true};
    std::atomic_bool m_stopping{false};
    std::atomic_bool m_markerWaiting[3] = {false, false, false};
};

} // namespace ostrevo
