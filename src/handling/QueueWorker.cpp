#include "handling/QueueWorker.h"

#include <chrono>

namespace ostrevo {

namespace {

qint64 SteadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

QueueWorker::~QueueWorker()
{
    // The subclass has stopped the thread already: it must not run on a half-destroyed object.
    if (m_thread.joinable())
        m_thread.join();
}

void QueueWorker::start()
{
    std::lock_guard lock(m_mutex);
    if (m_thread.joinable() || m_stop)
        return;
    // Busy from here: a wait for the queue (the end of --once) that comes before the
    // thread has looked at it must not find it idle.
    m_busy = true;
    m_thread = std::thread([this] { run(); });
}

void QueueWorker::wake()
{
    std::lock_guard lock(m_mutex);
    ++m_wakes;
    m_busy = true;
    m_wake.notify_all();
}

bool QueueWorker::waitUntilIdle(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    return m_idle.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !m_busy || m_stop; })
        && !m_busy;
}

void QueueWorker::stop(int graceMs)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_stop)
            m_giveUpAt = SteadyMs() + std::max(0, graceMs);
        m_stop = true;
        m_wake.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
}

bool QueueWorker::givenUp() const
{
    return m_stop.load() && SteadyMs() >= m_giveUpAt.load();
}

void QueueWorker::setRetryMs(int ms)
{
    std::lock_guard lock(m_mutex);
    m_retryMs = ms;
}

void QueueWorker::run()
{
    quint64 seen = 0;
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            seen = m_wakes;
            m_busy = true;
        }
        Step last = Step::Done;
        for (const QString &name : waiting()) {
            last = m_stop ? Step::Quit : processOne(name);
            if (last != Step::Done)
                break;
        }
        if (last == Step::Done && !m_stop && waiting().isEmpty())
            drained();
        std::unique_lock lock(m_mutex);
        if (m_stop || last == Step::Quit) {
            m_busy = false;
            m_idle.notify_all();
            return;
        }
        if (m_wakes != seen)
            continue;
        m_busy = false;
        m_idle.notify_all();
        const auto woken = [&] { return m_stop || m_wakes != seen; };
        if (last == Step::Later && m_retryMs > 0)
            m_wake.wait_for(lock, std::chrono::milliseconds(m_retryMs), woken);
        else
            m_wake.wait(lock, woken);
        if (m_stop)
            return;
    }
}

} // namespace ostrevo
