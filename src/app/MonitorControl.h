#pragma once

#include "monitor/JobRecord.h"
#include "monitor/MonitorStatus.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

namespace ostrevo {

class Engine;
class InstanceChannel;

// Answers what the command line asks of a running monitor (desktop or headless) over its
// instance channel: "status" from what the engine last told, "pause" and "resume" by
// asking the engine, whose answer comes once the running job has ended.
class MonitorControl : public QObject {
    Q_OBJECT
public:
    MonitorControl(Engine *engine, InstanceChannel *channel, QObject *parent = nullptr);

    // The status answer as `ostrevo --status` prints it.
    QByteArray statusText() const;
    // Answers "lpt PORT" of `ostrevo --lpt` (on this object's thread).
    void setPortRequests(std::function<QByteArray(const QString &port)> answer) { m_portRequests = std::move(answer); }

private:
    void handle(const QByteArray &request, const std::function<void(const QByteArray &)> &reply);

    Engine *m_engine;
    std::function<QByteArray(const QString &)> m_portRequests;
    MonitorStatus m_status;
    QString m_runningJob;
    JobRecord m_lastJob;
    bool m_anyJob = false;
};

// The client side: sends `request` to the monitor of the program directory, prints the
// answer and returns the exit code (0 done, 1 refused, 3 no monitor answered).
int AskRunningMonitor(const QString &socketPath, const QString &programDir, const QByteArray &request);

} // namespace ostrevo
