#include "app/EngineHost.h"

#include <QDeadlineTimer>

#include <cstdio>
#include <cstdlib>

namespace ostrevo {

namespace {
// After the quit grace the running job is told to give up; a job that still does not
// return within this is stuck in a call that cannot be interrupted.
constexpr qint64 LastResortMs = 5000;
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
    // The running job may finish within the grace; then it is told to give up. One stuck
    // in a call that cannot be interrupted (a hung printer server, say) must not keep the
    // program from ending: the process ends under it, as a kill would end it. The next
    // start performs it again, unless it had begun something that cannot be taken back:
    // then it is journaled as interrupted and its "outcome unknown" result is written.
    if (!m_thread.wait(QDeadlineTimer(m_engine->msUntilJobGivesUp() + LastResortMs))) {
        std::fputs("ostrevo: a job did not end in time; quitting without waiting for it"
                   " (the next start finishes it)\n", stderr);
        std::quick_exit(3);
    }
}

} // namespace ostrevo
