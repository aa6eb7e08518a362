#pragma once

#include <QHash>
#include <QString>

namespace ostrevo {

// What the engine remembers of jobs between scans: jobs performed whose files could not be
// deleted (never performed again while those files stay), and jobs waiting to be retried
// with a back-off. The engine's thread only.
class JobMemory {
public:
    // A file as it was met: its path, size and modification time.
    struct Stamp {
        qint64 size = -1;
        qint64 mtimeNs = 0;
        bool operator==(const Stamp &) const = default;
    };
    static Stamp stampOf(const QString &path); // size -1: no such file

    JobMemory(qint64 firstRetryMs, qint64 maxRetryMs);

    // --- performed, files left behind ---
    void rememberStuck(const QString &path, Stamp stamp, const QString &problem);
    bool isStuck(const QString &path, Stamp stamp) const;
    void forgetStuck(const QString &path);
    // Forgets the files that are gone or changed since, and the retries of jobs whose
    // marker is gone; true when any was forgotten.
    bool forgetGone();

    // --- waiting for a retry ---
    // Records a failed attempt; returns the wait before the next one.
    qint64 retryLater(const QString &markerPath, qint64 nowMs);
    void setRetryProblem(const QString &markerPath, const QString &problem);
    // False while the job waits for its next attempt.
    bool due(const QString &markerPath, qint64 nowMs) const;
    bool forgetRetry(const QString &markerPath);
    // When the earliest waiting job is due; -1 when none waits.
    qint64 nextDueMs() const;

    // The text the status shows for these jobs; empty when all is well.
    QString problem() const;

private:
    struct Stuck {
        Stamp stamp;
        QString problem;
    };
    struct Waiting {
        int attempts = 0;
        qint64 dueMs = 0;
        QString problem;
    };
    qint64 m_firstRetryMs;
    qint64 m_maxRetryMs;
    QHash<QString, Stuck> m_stuck;
    QHash<QString, Waiting> m_waiting;
    QString m_lastStuck;
    QString m_lastWaiting;
};

} // namespace ostrevo
