#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <mutex>

namespace ostrevo {

// The outcome of a job that is known only after the job has ended: the SMTP sender's
// answer to a message that the job queued.
struct LaterOutcome {
    QString jobId;
    QString directory;
    QString jobFile;
    QString kind;
    bool ok = false;
    QString detail;
};

// Carries later outcomes from whoever learns them (any thread) to the monitor, which
// journals and shows them. Outcomes reported before the monitor listens are held for it.
class LaterOutcomes {
public:
    using Sink = std::function<void(const LaterOutcome &)>;

    void report(const LaterOutcome &outcome);
    // Delivers the held outcomes, then every later one, to `sink` (on the reporting
    // thread: the sink forwards them to its own). An empty sink stops the delivery.
    void setSink(Sink sink);

private:
    std::mutex m_mutex;
    Sink m_sink;
    QList<LaterOutcome> m_held;
};

} // namespace ostrevo
