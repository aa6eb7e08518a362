#pragma once

#include <QByteArray>
#include <QSet>

#include <deque>
#include <memory>
#include <optional>

namespace ostrevo {

class JobDirectory;

// A job picked up by a listing and waiting its turn: the marker's name in the listing
// that found it (which keeps the directory open and knows the marker's text file).
struct QueuedJob {
    int directory = 0; // monitored directory 1 or 2
    std::shared_ptr<const JobDirectory> listing;
    QByteArray marker;
};

// The engine's one queue. The watcher, the scan timer, the retry timer and a resumption
// only mark a directory as changed; the engine lists a changed directory when the queue
// has run dry, so a burst of files costs one listing, and jobs run one at a time in the
// order they were listed (by name within a listing). A marker is queued once however
// often it is listed before its turn.
class JobQueue {
public:
    void markChanged(int directory);
    bool changed(int directory) const { return m_changed[index(directory)]; }
    bool anyChanged() const { return m_changed[1] || m_changed[2]; }
    // Forgets the change mark, before the directory is listed.
    void takeChange(int directory) { m_changed[index(directory)] = false; }

    // Appends the listing's markers that are not queued yet.
    void add(int directory, const std::shared_ptr<const JobDirectory> &listing);
    std::optional<QueuedJob> take();
    bool empty() const { return m_jobs.empty(); }
    size_t size() const { return m_jobs.size(); }
    // Drops the queued jobs and the change marks (monitoring paused): the files stay, and
    // the next resumption lists the directories again.
    void clear();

private:
    static int index(int directory) { return directory == 1 || directory == 2 ? directory : 0; }

    std::deque<QueuedJob> m_jobs;
    QSet<QByteArray> m_queued[3];
    bool m_changed[3] = {false, false, false};
};

} // namespace ostrevo
