#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>

namespace ostrevo {

// The outcome of a job that is known only after the job has ended: the SMTP sender's
// answer to a message that the job queued. Without a `jobId` it is a job of its own that
// ran beside the job thread (a print job of a printer port), with its own id.
struct LaterOutcome {
    QString jobId;
    QString directory;
    QString jobFile;
    QString kind;
    bool ok = false;
    QString detail;
    // A job of its own: its id, how long it took, the files it wrote.
    QString id;
    qint64 durationMs = 0;
    QStringList outputs;
    bool retry = false;       // not ok: it is kept and tried again later
    bool nothingDone = false; // ok, but nothing came of it
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
