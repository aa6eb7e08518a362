#include "app/EngineHost.h"

namespace ostrevo {

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
    if (m_thread.isRunning()) {
        m_engine->requestQuit();
        QMetaObject::invokeMethod(m_engine, &Engine::shutdown, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
}

} // namespace ostrevo
