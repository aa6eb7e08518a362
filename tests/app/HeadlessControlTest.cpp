// The headless monitor as a service runs it: a fresh install monitors at once, a running
// monitor is asked and steered from the command line, and settings that fail say why.

#include "support/ProgramInstall.h"

#include <gtest/gtest.h>

using namespace ostrevo::test;

namespace {

struct Answer {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

Answer Ask(const Install &install, const QString &option)
{
    auto p = install.start({option});
    Answer answer;
    if (!p->waitForFinished(60000))
        return answer;
    answer.code = p->exitCode();
    answer.out = p->readAllStandardOutput();
    answer.err = p->readAllStandardError();
    return answer;
}

} // namespace

TEST(HeadlessProgram, AFreshInstallMonitorsAndIsSteeredFromTheCommandLine)
{
    // Nothing but the directory and the printer: Monitorowanie is not there (0 by default).
    Install install("Timer=0\r\n");
    EXPECT_EQ(Ask(install, QStringLiteral("--status")).code, 3) << "no monitor runs yet";

    auto monitor = install.start({QStringLiteral("--headless")});
    QByteArray log;
    ASSERT_TRUE(Install::waitRunning(monitor.get(), &log)) << log.constData();
    install.job(QStringLiteral("PIERWSZY"), "Faktura 1\r\n");
    ASSERT_TRUE(WaitFor([&] { return install.journal().contains("PIERWSZY.txt\tjkText"); }));

    Answer status = Ask(install, QStringLiteral("--status"));
    EXPECT_EQ(status.code, 0) << status.err.constData();
    EXPECT_TRUE(status.out.startsWith("state: running\nstatus: Tryb monitorowania: MUTEX\n")) << status.out.constData();
    EXPECT_TRUE(status.out.contains("last: ")) << status.out.constData();
    EXPECT_TRUE(status.out.contains("PIERWSZY.txt")) << status.out.constData();

    Answer pause = Ask(install, QStringLiteral("--pause"));
    EXPECT_EQ(pause.code, 0) << pause.err.constData();
    EXPECT_TRUE(pause.out.startsWith("state: paused\n")) << pause.out.constData();
    install.job(QStringLiteral("DRUGI"), "Faktura 2\r\n");
    QThread::msleep(500);
    EXPECT_TRUE(QFile::exists(install.jobs + QStringLiteral("/DRUGI.END"))) << "performed while paused";

    Answer resume = Ask(install, QStringLiteral("--resume"));
    EXPECT_EQ(resume.code, 0) << resume.err.constData();
    EXPECT_TRUE(resume.out.startsWith("state: running\n")) << resume.out.constData();
    ASSERT_TRUE(WaitFor([&] { return !QFile::exists(install.jobs + QStringLiteral("/DRUGI.END")); }));

    // A second headless start says that one runs, and touches nothing.
    QByteArray err;
    EXPECT_EQ(install.run({QStringLiteral("--headless")}, &err), 5);
    EXPECT_TRUE(err.contains("already runs")) << err.constData();

    monitor->terminate();
    ASSERT_TRUE(monitor->waitForFinished(15000));
    EXPECT_EQ(monitor->exitCode(), 0);
    log += monitor->readAllStandardError();
    // Each job is one line of the service's log, as in the journal.
    EXPECT_EQ(log.count("\tPIERWSZY.txt\tjkText\t"), 1) << log.constData();
    EXPECT_EQ(log.count("\tDRUGI.txt\tjkText\t"), 1) << log.constData();
}

TEST(HeadlessProgram, SettingsThatFailSayWhy)
{
    {
        // An unknown monitoring mode is refused aloud, and the default mode monitors.
        Install install("Timer=7\r\n");
        auto monitor = install.start({QStringLiteral("--headless")});
        QByteArray log;
        ASSERT_TRUE(Install::waitRunning(monitor.get(), &log)) << log.constData();
        EXPECT_TRUE(log.contains("Timer=7")) << log.constData();
        EXPECT_TRUE(log.contains("running: Tryb monitorowania: TIMER")) << log.constData();
        monitor->terminate();
        monitor->waitForFinished(15000);
    }
    {
        Install install("Timer=0\r\n");
        QDir(install.jobs).removeRecursively();
        QByteArray err;
        EXPECT_EQ(install.run({QStringLiteral("--once")}, &err), 1);
        EXPECT_TRUE(err.contains("BŁĄD(1)! Niewłaściwy katalog 1")) << err.constData();
        EXPECT_TRUE(err.contains(install.jobs.toUtf8() + " nie jest istniejącym katalogiem")) << err.constData();
    }
    {
        // A DOS drive without its [Dyski] line is named as such, not as a path.
        QTemporaryDir home;
        WriteFile(home.filePath(QStringLiteral("Ostrevo.ini")),
                  "[Opcje]\r\nKatalog=Q:\\FK\\WYDR\r\nDrukarka=Ostrevo PDF\r\n");
        QProcess once;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        once.setProcessEnvironment(env);
        once.start(OstrevoBinary(), {QStringLiteral("--home"), home.path(), QStringLiteral("--once")});
        ASSERT_TRUE(once.waitForFinished(30000));
        EXPECT_EQ(once.exitCode(), 1);
        const QByteArray err = once.readAllStandardError();
        EXPECT_TRUE(err.contains("dysk Q: nie ma wpisu w [Dyski] pliku Ostrevo.ini")) << err.constData();
        EXPECT_FALSE(err.contains("/dev/null")) << err.constData();
    }
}
