#pragma once

#include <QMetaType>
#include <QString>

namespace ostrevo {

enum class MonitorState { Starting, Running, Paused, Error };

// What the window, the tray icon and the headless log show of the monitor.
struct MonitorStatus {
    int code = 0;                 // CheckSettings code shown: 0 ok, 1..4 the failed test
    QString text;                 // first status-bar panel
    MonitorState state = MonitorState::Starting;
    int icon = 2;                 // 1 green (running), 2 yellow (paused), 3 red (error)
    bool monitoringActive = false; // MonitoringActive
    bool startEnabled = false;     // btnStart is usable once start-up has completed
    bool jobRunning = false;       // a job is being performed
    // A job whose output or files wait for a retry: shown while monitoring goes on.
    QString problem;
    int queued = 0;                // jobs listed and waiting for their turn

    bool operator==(const MonitorStatus &) const = default;
};

// Texts of the status display.
QString StatusText(int code, int monitorMode);

} // namespace ostrevo

Q_DECLARE_METATYPE(ostrevo::MonitorStatus)
