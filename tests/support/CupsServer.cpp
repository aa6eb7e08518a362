#include "support/CupsServer.h"

#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <cups/cups.h>

namespace ostrevo::test {

namespace {

QString Script()
{
    return ServicesPath(QStringLiteral("cupsd.sh"));
}

QString &NoServerSocket()
{
    static QString path = QDir::tempPath() + QStringLiteral("/ostrevo-no-cups-%1.sock").arg(QCoreApplication::applicationPid());
    return path;
}

} // namespace

void UseCupsServer(const QString &socket)
{
    const QByteArray s = QFile::encodeName(socket);
    qputenv("CUPS_SERVER", s);
    cupsSetServer(s.constData());
}

void UseNoCupsServer()
{
    UseCupsServer(NoServerSocket());
}

CupsServer *CupsServerSuite::s_server = nullptr;

CupsServer::CupsServer()
    : m_dir(QDir::tempPath() + QStringLiteral("/ostrevo-cups-XXXXXX"))
{
    QProcess p;
    p.start(QStringLiteral("/bin/sh"), {Script(), QStringLiteral("start"), m_dir.path()});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        m_failure = QString::fromLocal8Bit(p.readAllStandardError());
        m_notInstalled = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 3;
        if (m_failure.isEmpty())
            m_failure = QStringLiteral("cupsd.sh did not finish");
        return;
    }
    m_socket = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    UseCupsServer(m_socket);
    m_running = true;
}

CupsServer::~CupsServer()
{
    UseNoCupsServer();
    QProcess p;
    p.start(QStringLiteral("/bin/sh"), {Script(), QStringLiteral("stop"), m_dir.path()});
    p.waitForFinished(30000);
}

int CupsServer::tool(const QString &program, const QStringList &arguments) const
{
    QProcess p;
    if (!m_socket.isEmpty()) { // this server, whatever the process's own libcups looks at now
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CUPS_SERVER"), m_socket);
        p.setProcessEnvironment(environment);
    }
    p.start(program, arguments);
    if (!p.waitForFinished(30000))
        return -1;
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

int CupsServer::addPsQueue(const QString &name, const QStringList &options) const
{
    QStringList arguments{QStringLiteral("-p"), name, QStringLiteral("-E"), QStringLiteral("-v"),
                          QStringLiteral("file:") + outputFile(name), QStringLiteral("-m"),
                          QStringLiteral("drv:///sample.drv/generic.ppd"), QStringLiteral("-o"), QStringLiteral("Option1=True")};
    for (const QString &o : options)
        arguments << QStringLiteral("-o") << o;
    return lpadmin(arguments);
}

int CupsServer::addPdfQueue(const QString &name, const QStringList &options) const
{
    QStringList arguments{QStringLiteral("-p"), name, QStringLiteral("-E"), QStringLiteral("-v"),
                          QStringLiteral("file:") + outputFile(name), QStringLiteral("-P"),
                          ServicesPath(QStringLiteral("cups/pdf-file.ppd"))};
    for (const QString &o : options)
        arguments << QStringLiteral("-o") << o;
    return lpadmin(arguments);
}

bool CupsServer::waitIdle(const QString &queue, int timeoutMs) const
{
    const QByteArray name = queue.toUtf8();
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        cups_job_t *jobs = nullptr;
        const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, name.constData(), 0, CUPS_WHICHJOBS_ACTIVE);
        cupsFreeJobs(n, jobs);
        if (n == 0)
            return true;
        QThread::msleep(100);
    }
    return false;
}

} // namespace ostrevo::test
