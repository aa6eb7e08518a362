#include "support/PythonService.h"

#include "support/TestSupport.h"

#include <QFile>

namespace ostrevo::test {

PythonService::PythonService(const QString &script, const QStringList &arguments)
{
    const QString addressFile = m_dir.path() + QStringLiteral("/port");
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("/usr/bin/python3"), QStringList{ServicesPath(script), addressFile} + arguments);
    if (!m_process.waitForStarted(10000)) {
        m_failure = m_process.errorString();
        return;
    }
    const bool up = WaitFor([&] { return QFile::exists(addressFile) || m_process.state() == QProcess::NotRunning; }, 20000);
    if (!up || !QFile::exists(addressFile)) {
        m_failure = script + QStringLiteral(" did not start");
        return;
    }
    m_address = QString::fromLocal8Bit(ReadFile(addressFile).trimmed());
}

PythonService::~PythonService()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
}

} // namespace ostrevo::test
