#pragma once

#include "monitor/Engine.h"

#include <QThread>

namespace ostrevo {

// Runs the engine on its own job thread, so that no job ever blocks the window or the
// signal handling of the headless monitor.
class EngineHost {
public:
    explicit EngineHost(EngineConfig config);
    ~EngineHost();
    EngineHost(const EngineHost &) = delete;
    EngineHost &operator=(const EngineHost &) = delete;

    Engine *engine() const { return m_engine; }
    // Starts the job thread and the engine's start-up sequence.
    void start();
    // Lets a running job finish within the engine's quit grace (then it gives up at its
    // next check), writes the settings and stops the thread.
    void stop();

private:
    QThread m_thread;
    Engine *m_engine = nullptr;
    bool m_stopped = false;
};

} // namespace ostrevo
