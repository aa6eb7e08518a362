// The watch thread of the printer ports: inotify on each port's directory, and when each
// file there has become a print job.

#include "jobs/Errors.h"
#include "jobs/InotifyEvents.h"
#include "lpt/CaptureFiles.h"
#include "lpt/PortSpooler.h"
#include "monitor/NetworkFileSystem.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrevo {

namespace {

// A missing directory is looked for, and one on a network file system (whose writes by
// other machines inotify never sees) looked through, this often.
constexpr int PortPollMs = 2000;
// A file someone holds open for writing is looked at again after this, at the latest.
constexpr int WriterLookMs = 1000;
constexpr uint32_t PortWatchMask = IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE
    | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

qint64 WatchNowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

void PortSpooler::wakeWatch()
{
    const int wakeFd = m_wakeFd.load();
    if (wakeFd < 0)
        return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd, &one, sizeof one);
}

void PortSpooler::detach(Port &port)
{
    if (port.watch >= 0 && m_inotify >= 0)
        inotify_rm_watch(m_inotify, port.watch);
    port.watch = -1;
    if (port.dirFd >= 0)
        ::close(port.dirFd);
    port.dirFd = -1;
    // What was being waited for is found again by the next look through the directory.
    for (auto it = port.files.begin(); it != port.files.end();) {
        if (it->state == Candidate::Taken)
            ++it;
        else
            it = port.files.erase(it);
    }
}

void PortSpooler::attach(int index, qint64 now)
{
    Port &port = m_ports[index];
    const QByteArray path = QFile::encodeName(port.target.directory);
    port.watch = inotify_add_watch(m_inotify, path.constData(), PortWatchMask);
    if (port.watch >= 0)
        port.dirFd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (port.watch < 0 || port.dirFd < 0) {
        const int error = errno;
        detach(port);
        if (!port.missingJournaled) {
            port.missingJournaled = true;
            const QString why = QStringLiteral("%1: katalogu portu %2 nie można obserwować (%3); czekam, aż będzie dostępny")
                                    .arg(port.target.port.name, port.target.directory, ErrnoText(error));
            journalProblem(port.target.directory, QStringLiteral("[%1]").arg(port.target.port.name), why, true);
        }
        return;
    }
    port.missingJournaled = false;
    port.network = IsNetworkFileSystem(port.target.directory);
    // Whatever came while nobody watched is looked through now.
    rescan(port, now);
}

void PortSpooler::rescan(Port &port, qint64 now)
{
    port.rescan = false;
    if (port.dirFd < 0)
        return;
    // A descriptor of its own: readdir moves its position.
    DIR *dir = ::fdopendir(::dup(port.dirFd));
    if (!dir)
        return;
    ::rewinddir(dir);
    struct Found {
        qint64 mtimeNs;
        QByteArray name;
        bool operator<(const Found &other) const { return std::tie(mtimeNs, name) < std::tie(other.mtimeNs, other.name); }
    };
    QList<Found> found;
    QList<QByteArray> present;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (!MayBeCapture(name))
            continue;
        struct stat st;
        if (::fstatat(port.dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        present.append(name);
        const auto it = port.files.find(name);
        if (it == port.files.end())
            found.append({qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, name});
        else if (it->state == Candidate::Handled && it->inode != quint64(st.st_ino)) {
            // Another file under the name of one that could not be removed.
            port.files.erase(it);
            found.append({qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, name});
        }
    }
    ::closedir(dir);
    // Gone without a word from inotify (a network file system).
    for (auto it = port.files.begin(); it != port.files.end();) {
        if (it->state != Candidate::Taken && !present.contains(it.key()))
            it = port.files.erase(it);
        else
            ++it;
    }
    // Files that were there before are taken oldest first.
    std::sort(found.begin(), found.end());
    for (const Found &file : std::as_const(found)) {
        Candidate candidate;
        candidate.arrival = ++m_arrivals;
        candidate.lastChange = now;
        candidate.lookAt = now + port.target.port.cisza;
        port.files.insert(file.name, candidate);
    }
}

void PortSpooler::event(Port &port, const QByteArray &name, uint32_t mask, qint64 now)
{
    if ((mask & IN_ISDIR) || !MayBeCapture(name))
        return;
    if (mask & (IN_DELETE | IN_MOVED_FROM)) {
        port.files.remove(name);
        return;
    }
    auto it = port.files.find(name);
    if (it == port.files.end()) {
        Candidate candidate;
        candidate.arrival = ++m_arrivals;
        it = port.files.insert(name, candidate);
    } else if (it->state == Candidate::Handled) {
        // The name holds another file now.
        *it = Candidate{};
        it->arrival = ++m_arrivals;
    }
    // The deliverer holds it: its own checks decide, and a writer sends it back here.
    if (it->state == Candidate::Taken)
        return;
    it->state = Candidate::Settling;
    it->lastChange = now;
    // Renamed into place: whole at once (once its writer has closed it). Written in
    // place: once quiet.
    if (mask & IN_MOVED_TO)
        it->movedIn = true;
    else if (mask & (IN_CREATE | IN_MODIFY))
        it->movedIn = false;
    it->closed = (mask & (IN_MOVED_TO | IN_CLOSE_WRITE)) != 0;
    it->lookAt = it->movedIn ? now : now + port.target.port.cisza;
}

bool PortSpooler::look(Port &port, const QByteArray &name, Candidate &file, qint64 now)
{
    struct stat st;
    if (::fstatat(port.dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return false;
    const qint64 mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    // A write that inotify did not report (a network file system) restarts the wait too.
    if (file.size >= 0 && (file.size != qint64(st.st_size) || file.mtimeNs != mtimeNs)) {
        file.lastChange = now;
        file.movedIn = false;
    }
    file.size = qint64(st.st_size);
    file.mtimeNs = mtimeNs;
    const int settleMs = port.target.port.cisza;
    if (!file.movedIn && now - file.lastChange < settleMs) {
        file.lookAt = file.lastChange + settleMs;
        return true;
    }
    const Writers writers = WritersOf(port.dirFd, name);
    // Where no lease tells (another user's file), the close that inotify reports does;
    // on a share, where inotify sees no other machine's writes, the quiet time alone.
    if (writers == Writers::Some || (writers == Writers::Unknown && !file.closed && !port.network)) {
        file.lookAt = now + std::clamp(settleMs, 100, WriterLookMs);
        return true;
    }
    file.state = Candidate::Ready;
    return true;
}

int PortSpooler::nextWakeMs(qint64 now) const
{
    qint64 next = LLONG_MAX;
    for (const Port &port : m_ports) {
        if (port.watch < 0 || port.network)
            next = std::min(next, now + PortPollMs);
        if (port.blockedUntil > now)
            next = std::min(next, port.blockedUntil);
        for (const Candidate &file : port.files) {
            if (file.state == Candidate::Settling)
                next = std::min(next, file.lookAt);
        }
    }
    if (next == LLONG_MAX)
        return -1;
    return int(std::clamp<qint64>(next - now, 0, INT_MAX));
}

void PortSpooler::readEvents(qint64 now)
{
    DrainInotifyEvents(m_inotify, [&](const struct inotify_event &ev) {
        if (ev.mask & IN_Q_OVERFLOW) {
            // Events were lost (a close among them, maybe): every directory is looked
            // through again, and its files judged by their quiet time.
            for (Port &port : m_ports) {
                port.rescan = true;
                for (Candidate &file : port.files)
                    file.closed = true;
            }
            return;
        }
        const auto port = std::find_if(m_ports.begin(), m_ports.end(), [&](const Port &p) { return p.watch == ev.wd; });
        if (port == m_ports.end())
            return;
        if (ev.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
            // The directory went away; it is watched again once it is back.
            if (ev.mask & IN_IGNORED)
                port->watch = -1;
            detach(*port);
            return;
        }
        if (ev.len > 0)
            event(*port, QByteArray(ev.name), ev.mask, now);
    });
}

void PortSpooler::watch()
{
    qint64 lastPoll = WatchNowMs();
    {
        std::lock_guard lock(m_mutex);
        for (int i = 0; i < m_ports.size(); ++i)
            attach(i, lastPoll);
    }
    while (!m_watchStop.load()) {
        int timeout = 0;
        {
            std::lock_guard lock(m_mutex);
            timeout = nextWakeMs(WatchNowMs());
        }
        pollfd fds[2] = {{m_wakeFd.load(), POLLIN, 0}, {m_inotify, POLLIN, 0}};
        ::poll(fds, 2, timeout);
        if (m_watchStop.load())
            break;
        if (fds[0].revents & POLLIN) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(fds[0].fd, &count, sizeof count);
        }
        bool ready = false;
        {
            std::lock_guard lock(m_mutex);
            const qint64 now = WatchNowMs();
            readEvents(now);
            const bool pollDue = now - lastPoll >= PortPollMs;
            if (pollDue)
                lastPoll = now;
            for (int i = 0; i < m_ports.size(); ++i) {
                Port &port = m_ports[i];
                if (port.watch < 0) {
                    if (pollDue || port.rescan)
                        attach(i, now);
                    if (port.watch < 0)
                        continue;
                }
                if (port.rescan || (port.network && pollDue))
                    rescan(port, now);
                for (auto it = port.files.begin(); it != port.files.end();) {
                    if (it->state == Candidate::Settling && it->lookAt <= now && !look(port, it.key(), *it, now)) {
                        it = port.files.erase(it);
                        continue;
                    }
                    ready = ready || (it->state == Candidate::Ready && port.blockedUntil <= now);
                    ++it;
                }
            }
        }
        if (ready)
            wake();
    }
}

} // namespace ostrevo
