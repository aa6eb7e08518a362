#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace ostrevo {

// A thread beside the job thread that works through an on-disk queue in its order (the
// mail spool, the invoices for KSeF): woken when something is added, idle when nothing
// waits, and stopped with a grace for the entry in hand. What is still queued when the
// program quits is worked on at the next start.
class QueueWorker {
public:
    QueueWorker() = default;
    virtual ~QueueWorker(); // a subclass calls stop() in its own destructor
    QueueWorker(const QueueWorker &) = delete;
    QueueWorker &operator=(const QueueWorker &) = delete;

    // Starts the thread (idempotent): what the queue holds is worked on.
    void start();
    // Something was added to the queue.
    void wake();
    // Waits until nothing is left that can be done now; false on time-out.
    bool waitUntilIdle(int timeoutMs);
    // Ends the thread. No entry starts any more; the one in hand has `graceMs` to finish.
    void stop(int graceMs);

protected:
    enum class Step {
        Done,  // the entry is dealt with; on to the next
        Later, // it cannot be done now (a service out of reach): the queue waits, in order
        Quit,  // the program is quitting; the entry stays for the next start
    };
    virtual QStringList waiting() = 0;
    virtual Step processOne(const QString &name) = 0;
    // Every entry was dealt with and none is left: a moment to end a conversation.
    virtual void drained() {}

    // True once the program quits and the grace of the entry in hand has run out.
    bool givenUp() const;
    bool stopping() const { return m_stop.load(); }
    // After a Later, the queue is tried again after this long, or at the next wake.
    void setRetryMs(int ms);

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    quint64 m_wakes = 0;
    bool m_busy = false;
    int m_retryMs = 0;
    std::atomic_bool m_stop{false};
    std::atomic<qint64> m_giveUpAt{0}; // steady milliseconds; 0 = not yet
    std::thread m_thread;
};

} // namespace ostrevo
