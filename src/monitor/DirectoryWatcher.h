#pragma once

#include <QString>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace ostrevo {

// The watcher of MUTEX mode: a thread that waits on inotify for job markers appearing in
// the monitored directories and tells the engine which directory changed. It never waits
// for the engine: a burst of files while a job runs costs one request, since a request
// stays taken until the engine lists the directory (`listing`). It is created suspended;
// "suspended" means it sends no request until resumed.
class DirectoryWatcher {
public:
    struct Directories {
        QString dir1;
        bool monitor2 = false;
        QString dir2;
        bool operator==(const Directories &) const = default;
    };
    // Directory 1 or 2 has a new marker (or the text that a marker waits for): asks the
    // job thread to list it, and returns at once.
    using ScanRequest = std::function<void(int directory)>;
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
    // The engine lists directory 1 or 2 now: the next change asks again.
    void listing(int directory);
    // Ends the thread.
    void stop();

private:
    void run();
    void rearm();
    void wake();
    bool sleepInterruptibly(int ms);
    void request(int directory);

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
    std::atomic_bool m_requested[3] = {false, false, false};
};

} // namespace ostrevo
