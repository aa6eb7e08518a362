#pragma once

#include "monitor/Engine.h"

#include <QThread>

namespace ostrevo::test {

// The engine on a job thread of its own, as the program runs it.
struct ThreadedEngine {
    QThread thread;
    Engine *engine;
    explicit ThreadedEngine(EngineConfig config) : engine(new Engine(std::move(config)))
    {
        engine->moveToThread(&thread);
        thread.start();
    }
    ~ThreadedEngine()
    {
        engine->requestQuit();
        QMetaObject::invokeMethod(engine, &Engine::shutdown, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
        delete engine;
    }
    MonitorStatus status()
    {
        MonitorStatus s;
        QMetaObject::invokeMethod(engine, [&] { s = engine->status(); }, Qt::BlockingQueuedConnection);
        return s;
    }
};

} // namespace ostrevo::test
