#pragma once

#include <QHash>
#include <QString>

namespace ostrevo {

// When each job that waits to be tried again is due, with a back-off: jobs that met
// unwritable output, and jobs held for results or files that could not be written or
// deleted yet. Keyed by the marker's path. The engine's thread only.
class JobMemory {
public:
    JobMemory(qint64 firstRetryMs, qint64 maxRetryMs);

    // Records a failed attempt; returns the wait before the next one.
    qint64 retryLater(const QString &markerPath, qint64 nowMs);
    void setRetryProblem(const QString &markerPath, const QString &problem);
    // False while the job waits for its next attempt.
    bool due(const QString &markerPath, qint64 nowMs) const;
    bool forgetRetry(const QString &markerPath);
    // Forgets the retries of jobs whose marker is gone (taken away meanwhile).
    void forgetGone();
    // When the earliest waiting job is due; -1 when none waits.
    qint64 nextDueMs() const;

    // The text the status shows for these jobs; empty when all is well.
    QString problem() const;

private:
    struct Waiting {
        int attempts = 0;
        qint64 dueMs = 0;
        QString problem;
    };
    qint64 m_firstRetryMs;
    qint64 m_maxRetryMs;
    QHash<QString, Waiting> m_waiting;
    QString m_lastWaiting;
};

} // namespace ostrevo
