// Two monitors started from two sessions (their own runtime directories): one program
// directory runs one monitor only, and two program directories watching one jobs
// directory (two machines at one share) split its jobs, each performed once.

#include "monitor/JobRecord.h"
#include "support/ProgramInstall.h"

#include <QSet>
#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

TEST(TwoMonitors, OneProgramDirectoryRunsOneMonitorWhateverTheSession)
{
    Install install("Timer=0\r\nMonitorowanie=1\r\n");
    auto first = install.start({QStringLiteral("--headless")});
    QByteArray log;
    ASSERT_TRUE(Install::waitRunning(first.get(), &log)) << log.constData();

    // Another session: another runtime directory, so the first lock is not seen there.
    QTemporaryDir otherRuntime;
    QProcess second;
    QProcessEnvironment env = install.env();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), otherRuntime.path());
    second.setProcessEnvironment(env);
    second.start(OstrevoBinary(), {QStringLiteral("--home"), install.home.path(), QStringLiteral("--headless")});
    ASSERT_TRUE(second.waitForFinished(15000)) << "a second monitor runs on the same program directory";
    EXPECT_EQ(second.exitCode(), 5);
    const QByteArray err = second.readAllStandardError();
    EXPECT_TRUE(err.contains("already runs")) << err.constData();
    EXPECT_TRUE(err.contains("ostrevo.lock")) << err.constData();
    first->terminate();
    first->waitForFinished(15000);
}

TEST(TwoMonitors, TwoMonitorsOfOneJobsDirectoryPerformEachJobOnce)
{
    Install one("Timer=0\r\nMonitorowanie=1\r\n");
    Install two("Timer=0\r\nMonitorowanie=1\r\n");
    // The second watches the first one's jobs directory.
    WriteFile(two.home.filePath(QStringLiteral("Ostrevo.ini")),
              "[Opcje]\r\nKatalog=" + one.jobs.toUtf8() + "\r\nDrukarka=Ostrevo PDF\r\nTimer=0\r\nMonitorowanie=1\r\n"
              "[DrukarkaPDF]\r\nKatalog=" + two.home.filePath(QStringLiteral("out")).toUtf8() + "\r\n");
    auto a = one.start({QStringLiteral("--headless")});
    auto b = two.start({QStringLiteral("--headless")});
    QByteArray logA;
    QByteArray logB;
    ASSERT_TRUE(Install::waitRunning(a.get(), &logA)) << logA.constData();
    ASSERT_TRUE(Install::waitRunning(b.get(), &logB)) << logB.constData();
    constexpr int Jobs = 200;
    for (int i = 0; i < Jobs; ++i)
        one.job(QStringLiteral("J%1").arg(i, 3, 10, QLatin1Char('0')), "Faktura " + QByteArray::number(i) + "\r\n");
    ASSERT_TRUE(WaitFor([&] { return Entries(one.jobs).isEmpty(); }, 60000)) << Entries(one.jobs).join(u' ').toStdString();
    a->terminate();
    b->terminate();
    a->waitForFinished(15000);
    b->waitForFinished(15000);

    QStringList performed;
    for (const Install *install : {&one, &two}) {
        for (const JobRecord &record : ReadJournalTail(install->home.filePath(QStringLiteral("ostrevo.log")), 10000)) {
            EXPECT_EQ(record.outcome, JobOutcome::Ok) << record.jobFile.toStdString() << ": " << record.detail.toStdString();
            performed.append(record.jobFile);
        }
    }
    EXPECT_EQ(performed.size(), Jobs);
    EXPECT_EQ(QSet<QString>(performed.begin(), performed.end()).size(), Jobs);
    // Each printout once: the built-in printer's files of both.
    const qsizetype files = Entries(one.home.filePath(QStringLiteral("out"))).size()
                            + Entries(two.home.filePath(QStringLiteral("out"))).size();
    EXPECT_EQ(files, Jobs);
}
