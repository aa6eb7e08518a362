#include "monitor/DirectoryWatcher.h"

#include "jobs/InotifyEvents.h"
#include "monitor/JobFiles.h"

#include <QFile>

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace ostrevo {

namespace {

// A directory whose watch cannot be made is not looked for again in a tight loop.
constexpr int SleepAfterFailureMs = 500;
constexpr int MissingDirectoryPollMs = 2000;
constexpr uint32_t WatchMask = IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

} // namespace

DirectoryWatcher::DirectoryWatcher(ScanRequest scan, DirectoryState state)
    : m_scan(std::move(scan)), m_state(std::move(state))
{
    m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_thread = std::thread([this] { run(); });
}

DirectoryWatcher::~DirectoryWatcher()
{
    stop();
    if (m_inotify >= 0)
        ::close(m_inotify);
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

void DirectoryWatcher::wake()
{
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wakeFd, &one, sizeof one);
}

void DirectoryWatcher::setMarkerWaiting(int directory, bool waiting)
{
    if (directory == 1 || directory == 2)
        m_markerWaiting[directory].store(waiting);
}

void DirectoryWatcher::listing(int directory)
{
    if (directory == 1 || directory == 2)
        m_requested[directory].store(false);
}

void DirectoryWatcher::request(int directory)
{
    if (!m_requested[directory].exchange(true))
        m_scan(directory);
}

void DirectoryWatcher::suspend()
{
    m_suspended.store(true);
}

void DirectoryWatcher::resume(const Directories &dirs)
{
    {
        std::lock_guard lock(m_mutex);
        if (!(dirs == m_wanted) || !m_everResumed) {
            m_wanted = dirs;
            m_rearm = true;
            m_everResumed = true;
        }
    }
    m_suspended.store(false);
    wake();
}

void DirectoryWatcher::stop()
{
    m_stopping.store(true);
    wake();
    m_cv.notify_all();
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

bool DirectoryWatcher::sleepInterruptibly(int ms)
{
    std::unique_lock lock(m_mutex);
    return !m_cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stopping.load(); });
}

void DirectoryWatcher::rearm()
{
    Directories dirs;
    {
        std::lock_guard lock(m_mutex);
        if (!m_rearm)
            return;
        m_rearm = false;
        dirs = m_wanted;
    }
    for (int n = 1; n <= 2; ++n) {
        if (m_watch[n] >= 0)
            inotify_rm_watch(m_inotify, m_watch[n]);
        m_watch[n] = -1;
        m_pending[n] = false;
        m_present[n] = true;
    }
    m_armed = dirs;
    const QString paths[3] = {QString(), dirs.dir1, dirs.dir2};
    for (int n = 1; n <= 2; ++n) {
        if (n == 2 && !dirs.monitor2)
            continue;
        const QByteArray path = QFile::encodeName(paths[n]);
        m_watch[n] = path.isEmpty() ? -1 : inotify_add_watch(m_inotify, path.constData(), WatchMask);
        // A marker written between the last scan and this watch would wake nobody: look once.
        m_pending[n] = m_watch[n] >= 0;
        if (m_watch[n] < 0) {
            // The directory is not there: note it, and look for it again from time to time.
            m_present[n] = false;
            if (m_state)
                m_state(n, false);
            sleepInterruptibly(SleepAfterFailureMs);
        }
    }
}

void DirectoryWatcher::run()
{
    while (!m_stopping.load()) {
        const bool missing = (!m_present[1]) || (m_armed.monitor2 && !m_present[2]);
        pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {m_inotify, POLLIN, 0}};
        const int ready = ::poll(fds, 2, missing ? MissingDirectoryPollMs : -1);
        if (m_stopping.load())
            break;
        if (ready < 0 && errno != EINTR)
            sleepInterruptibly(SleepAfterFailureMs);
        if (fds[0].revents & POLLIN) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(m_wakeFd, &count, sizeof count);
        }
        if (!m_suspended.load())
            rearm();

        if (fds[1].revents & POLLIN) {
            DrainInotifyEvents(m_inotify, [this](const struct inotify_event &ev) {
                const int n = ev.wd == m_watch[1] ? 1 : ev.wd == m_watch[2] ? 2 : 0;
                if (n == 0)
                    return;
                if (ev.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
                    if (m_watch[n] >= 0 && !(ev.mask & IN_IGNORED))
                        inotify_rm_watch(m_inotify, m_watch[n]);
                    m_watch[n] = -1;
                    if (m_present[n]) {
                        m_present[n] = false;
                        if (m_state)
                            m_state(n, false);
                    }
                    return;
                }
                // Only a new marker brings work; a text file matters only while a marker
                // of its own directory waits for it. Our own deletions wake nobody. A
                // marker is whole when it is created; a text that a marker waits for is
                // whole when its writer closes it (or it is renamed into place).
                if (ev.len == 0)
                    return;
                const bool marker = (ev.mask & (IN_CREATE | IN_MOVED_TO)) && HasSuffixCi(ev.name, ".end");
                const bool text = (ev.mask & (IN_CLOSE_WRITE | IN_MOVED_TO)) && m_markerWaiting[n].load()
                                  && HasSuffixCi(ev.name, ".txt");
                if (marker || text)
                    m_pending[n] = true;
            });
        }

        // A directory that went away is watched again once it is back, and scanned.
        const QString paths[3] = {QString(), m_armed.dir1, m_armed.dir2};
        for (int n = 1; n <= 2; ++n) {
            if (m_present[n] || (n == 2 && !m_armed.monitor2) || paths[n].isEmpty())
                continue;
            const QByteArray path = QFile::encodeName(paths[n]);
            m_watch[n] = inotify_add_watch(m_inotify, path.constData(), WatchMask);
            if (m_watch[n] >= 0) {
                m_present[n] = true;
                m_pending[n] = true;
                if (m_state)
                    m_state(n, true);
            }
        }

        if (m_suspended.load())
            continue;
        for (int n = 1; n <= 2 && !m_stopping.load(); ++n) {
            if (!m_pending[n])
                continue;
            m_pending[n] = false;
            if (n == 2 && !m_armed.monitor2)
                continue;
            request(n);
        }
    }
}

} // namespace ostrevo
