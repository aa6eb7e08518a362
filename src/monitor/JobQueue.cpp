#include "monitor/JobQueue.h"

#include "monitor/JobFiles.h"

namespace ostrevo {

void JobQueue::markChanged(int directory)
{
    m_changed[index(directory)] = true;
}

void JobQueue::add(int directory, const std::shared_ptr<const JobDirectory> &listing)
{
    QSet<QByteArray> &queued = m_queued[index(directory)];
    for (const QByteArray &marker : listing->markers()) {
        if (queued.contains(marker))
            continue;
        queued.insert(marker);
        m_jobs.push_back({directory, listing, marker});
    }
}

std::optional<QueuedJob> JobQueue::take()
{
    if (m_jobs.empty())
        return std::nullopt;
    QueuedJob job = std::move(m_jobs.front());
    m_jobs.pop_front();
    m_queued[index(job.directory)].remove(job.marker);
    return job;
}

void JobQueue::clear()
{
    m_jobs.clear();
    for (QSet<QByteArray> &queued : m_queued)
        queued.clear();
    m_changed[0] = m_changed[1] = m_changed[2] = false;
}

} // namespace ostrevo
