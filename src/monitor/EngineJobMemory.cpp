#include "monitor/EngineJobMemory.h"

#include <QFile>

#include <algorithm>
#include <sys/stat.h>

namespace ostrevo {

JobMemory::JobMemory(qint64 firstRetryMs, qint64 maxRetryMs)
    : m_firstRetryMs(std::max<qint64>(1, firstRetryMs)), m_maxRetryMs(std::max(firstRetryMs, maxRetryMs))
{
}

void JobMemory::forgetGone()
{
    // A job taken away while it waited for its retry is no longer ours to retry.
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        struct stat st;
        if (::lstat(QFile::encodeName(it.key()).constData(), &st) == 0)
            ++it;
        else
            it = m_waiting.erase(it);
    }
}

qint64 JobMemory::retryLater(const QString &markerPath, qint64 nowMs)
{
    Waiting &w = m_waiting[markerPath];
    // 2 s, 4 s, 8 s ... up to the longest wait.
    qint64 wait = m_firstRetryMs;
    for (int i = 0; i < w.attempts && wait < m_maxRetryMs; ++i)
        wait *= 2;
    wait = std::min(wait, m_maxRetryMs);
    ++w.attempts;
    w.dueMs = nowMs + wait;
    m_lastWaiting = markerPath;
    return wait;
}

void JobMemory::setRetryProblem(const QString &markerPath, const QString &problem)
{
    const auto it = m_waiting.find(markerPath);
    if (it != m_waiting.end())
        it->problem = problem;
}

bool JobMemory::due(const QString &markerPath, qint64 nowMs) const
{
    const auto it = m_waiting.constFind(markerPath);
    return it == m_waiting.constEnd() || nowMs >= it->dueMs;
}

bool JobMemory::forgetRetry(const QString &markerPath)
{
    return m_waiting.remove(markerPath) > 0;
}

qint64 JobMemory::nextDueMs() const
{
    qint64 next = -1;
    for (const Waiting &w : m_waiting) {
        if (next < 0 || w.dueMs < next)
            next = w.dueMs;
    }
    return next;
}

QString JobMemory::problem() const
{
    if (m_waiting.isEmpty())
        return {};
    return m_waiting.value(m_waiting.contains(m_lastWaiting) ? m_lastWaiting : m_waiting.constBegin().key()).problem;
}

} // namespace ostrevo
