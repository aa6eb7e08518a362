// --once while a monitor runs on the same program directory.

#include "support/TestSupport.h"

#include <QProcess>
#include <gtest/gtest.h>

using namespace ostrevo::test;

TEST(ProgramOnce, BesideARunningMonitorSaysSoAndFails)
{
    QTemporaryDir home;
    QTemporaryDir config;
    QTemporaryDir runtime;
    const QString jobs = home.filePath(QStringLiteral("jobs"));
    QDir().mkpath(jobs);
    WriteFile(home.filePath(QStringLiteral("Ostrevo.ini")),
              "[Opcje]\r\nKatalog=" + jobs.toUtf8() + "\r\nDrukarka=Ostrevo PDF\r\nTimer=1\r\nMonitorowanie=0\r\nAutoRun=0\r\n");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    QProcess monitor;
    monitor.setProcessEnvironment(env);
    monitor.start(OstrevoBinary(), {QStringLiteral("--home"), home.path(), QStringLiteral("--headless")});
    QByteArray log;
    ASSERT_TRUE(WaitFor([&] {
        monitor.waitForReadyRead(100);
        log += monitor.readAllStandardError();
        return log.contains("running");
    })) << log.constData();
    // Paused from the command line, so that the job below waits for --once.
    QProcess pause;
    pause.setProcessEnvironment(env);
    pause.start(OstrevoBinary(), {QStringLiteral("--home"), home.path(), QStringLiteral("--pause")});
    ASSERT_TRUE(pause.waitForFinished(30000));
    EXPECT_EQ(pause.exitCode(), 0) << pause.readAllStandardError().constData();
    EXPECT_TRUE(pause.readAllStandardOutput().startsWith("state: paused\n"));

    WriteFile(jobs + QStringLiteral("/A.txt"), "A\r\n");
    WriteFile(jobs + QStringLiteral("/A.END"), {});
    QProcess once;
    once.setProcessEnvironment(env);
    once.start(OstrevoBinary(), {QStringLiteral("--home"), home.path(), QStringLiteral("--once")});
    ASSERT_TRUE(once.waitForFinished(30000));
    EXPECT_NE(once.exitCode(), 0);
    EXPECT_TRUE(once.readAllStandardError().contains("a monitor already runs on"));
    EXPECT_EQ(Entries(jobs), (QStringList{QStringLiteral("A.END"), QStringLiteral("A.txt")}));

    monitor.terminate();
    ASSERT_TRUE(monitor.waitForFinished(15000));
    EXPECT_EQ(monitor.exitCode(), 0);
}
