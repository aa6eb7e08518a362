#include "app/EngineHost.h"

#include <QDeadlineTimer>

#include <cstdio>
#include <cstdlib>

namespace ostrevo {

namespace {
constexpr int StopTimeoutMs = 20000;
}

EngineHost::EngineHost(EngineConfig config) : m_engine(new Engine(std::move(config)))
{
    m_thread.setObjectName(QStringLiteral("ostrevo-jobs"));
    m_engine->moveToThread(&m_thread);
}

EngineHost::~EngineHost()
{
    stop();
    delete m_engine;
}

void EngineHost::start()
{
    m_thread.start();
    QMetaObject::invokeMethod(m_engine, &Engine::start, Qt::QueuedConnection);
}

void EngineHost::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    if (!m_thread.isRunning())
        return;
    m_engine->requestQuit();
    Engine *engine = m_engine;
    QMetaObject::invokeMethod(
        m_engine,
        [engine] {
            engine->shutdown();
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    // A job stuck in a call that cannot be interrupted (a hung printer server, say) must
    // not keep the program from ending.
    if (!m_thread.wait(QDeadlineTimer(StopTimeoutMs))) {
        std::fputs("ostrevo: a job did not end in time; quitting without waiting for it\n", stderr);
        std::quick_exit(3);
    }
}

} // namespace ostrevo
