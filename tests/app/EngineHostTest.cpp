// Quitting while a job runs: the job may finish within the grace; one that outlasts it
// keeps its files and runs at the next start, also past the start-up emptying.

#include "app/EngineHost.h"

#include "support/TestSupport.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <atomic>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

struct Home {
    QTemporaryDir home;
    QString jobs = home.filePath(QStringLiteral("jobs"));

    Home()
    {
        QDir().mkpath(jobs);
        // TIMER mode, emptying of the job files at start on.
        WriteFile(home.filePath(QStringLiteral("Ostrevo.ini")),
                  "[Opcje]\r\nKatalog=" + jobs.toUtf8() + "\r\nDrukarka=Test\r\nTimer=1\r\nMonitorowanie=1\r\nClear=1\r\n");
    }

    EngineConfig config(JobHandler handler, int graceMs = 10000) const
    {
        EngineConfig c;
        c.programDir = home.path();
        c.printers.list = [] { return QStringList{QStringLiteral("Test")}; };
        c.printers.defaultName = [] { return QStringLiteral("Test"); };
        c.timerWatchMs = 200;
        c.quitGraceMs = graceMs;
        c.handlers.set(jkText, std::move(handler));
        return c;
    }

    void job(const QString &name) const
    {
        WriteFile(jobs + u'/' + name + QStringLiteral(".txt"), "FAKTURA\r\n");
        WriteFile(jobs + u'/' + name + QStringLiteral(".END"), {});
    }
    QString journal() const { return QString::fromUtf8(ReadFile(home.filePath(QStringLiteral("ostrevo.log")))); }
};

// Starts the host and waits for the end of start-up (the emptying is behind us then).
void StartAndSettle(EngineHost &host)
{
    std::atomic_bool ready{false};
    const auto connection = QObject::connect(host.engine(), &Engine::startupCompleted, host.engine(),
                                             [&ready] { ready = true; }, Qt::DirectConnection);
    host.start();
    const bool started = WaitFor([&] { return ready.load(); });
    QObject::disconnect(connection);
    ASSERT_TRUE(started);
}

} // namespace

TEST(EngineQuit, TheRunningJobFinishesWithinTheGrace)
{
    Home home;
    std::atomic_bool started{false};
    std::atomic_bool sawQuit{false};
    EngineHost host(home.config([&](const JobContext &context, const QString &) {
        started = true;
        QDeadlineTimer work(1500);
        while (!work.hasExpired()) {
            if (context.quitRequested()) {
                sawQuit = true;
                return JobResult::failed(QStringLiteral("Wydruk przerwany: program kończy pracę"));
            }
            QThread::msleep(10);
        }
        return JobResult::done();
    }));
    StartAndSettle(host);
    home.job(QStringLiteral("A"));
    ASSERT_TRUE(WaitFor([&] { return started.load(); }));
    QElapsedTimer clock;
    clock.start();
    host.stop();
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_FALSE(sawQuit.load()) << "the job was told to give up at once";
    EXPECT_TRUE(Entries(home.jobs).isEmpty()) << Entries(home.jobs).join(u' ').toStdString();
    EXPECT_TRUE(home.journal().contains(QStringLiteral("A.txt\tjkText\t"))) << home.journal().toStdString();
    EXPECT_TRUE(home.journal().contains(QStringLiteral(" ms\tOK"))) << home.journal().toStdString();
}

// A fiscal receipt cut short by the quit must not be printed again at the next start.
TEST(EngineQuit, ACommittedJobOutlastingTheGraceEndsAndIsNotKept)
{
    Home home;
    std::atomic_bool started{false};
    {
        EngineHost host(home.config(
            [&](const JobContext &context, const QString &) {
                context.committed(std::nullopt);
                started = true;
                QDeadlineTimer limit(20000);
                while (!context.quitRequested() && !limit.hasExpired())
                    QThread::msleep(5);
                return JobResult::failed(QStringLiteral("error=-1: no answer from the printer"));
            },
            300));
        StartAndSettle(host);
        home.job(QStringLiteral("PARAGON"));
        ASSERT_TRUE(WaitFor([&] { return started.load(); }));
        host.stop();
    }
    EXPECT_TRUE(Entries(home.jobs).isEmpty()) << Entries(home.jobs).join(u' ').toStdString();
    EXPECT_FALSE(home.journal().contains(QStringLiteral("ABANDONED"))) << home.journal().toStdString();
    EXPECT_TRUE(home.journal().contains(QStringLiteral("FAILED"))) << home.journal().toStdString();
    // Nothing is left on record to act on at a later start.
    EXPECT_TRUE(
        QDir(home.home.filePath(QStringLiteral("ostrevo-jobs"))).entryList({QStringLiteral("*.job")}, QDir::Files).isEmpty());
}

TEST(EngineQuit, AJobOutlastingTheGraceKeepsItsFilesAndRunsAtTheNextStart)
{
    Home home;
    std::atomic_bool started{false};
    std::atomic<qint64> quitSeenAfter{-1};
    QElapsedTimer sinceStop;
    {
        EngineHost host(home.config(
            [&](const JobContext &context, const QString &) {
                started = true;
                QDeadlineTimer limit(20000);
                while (!context.quitRequested() && !limit.hasExpired())
                    QThread::msleep(5);
                quitSeenAfter = sinceStop.isValid() ? sinceStop.elapsed() : -1;
                return JobResult::failed(QStringLiteral("Wydruk przerwany: program kończy pracę"));
            },
            700));
        StartAndSettle(host);
        // A text without its marker at the stop: stale, and cleared at the next start.
        WriteFile(home.jobs + QStringLiteral("/ORPHAN.txt"), "x\r\n");
        home.job(QStringLiteral("LONG"));
        ASSERT_TRUE(WaitFor([&] { return started.load(); }));
        sinceStop.start();
        host.stop();
    }
    EXPECT_GE(quitSeenAfter.load(), 600) << "the job was told to give up before the grace was over";
    EXPECT_EQ(Entries(home.jobs),
              (QStringList{QStringLiteral("LONG.END"), QStringLiteral("LONG.txt"), QStringLiteral("ORPHAN.txt")}));
    EXPECT_TRUE(home.journal().contains(QStringLiteral("ABANDONED"))) << home.journal().toStdString();

    // The next start clears what was stale at the stop, and performs the job cut short.
    std::atomic_int performed{0};
    EngineHost again(home.config([&](const JobContext &, const QString &) {
        ++performed;
        return JobResult::done();
    }));
    StartAndSettle(again);
    EXPECT_FALSE(QFile::exists(home.jobs + QStringLiteral("/ORPHAN.txt"))) << "no emptying at start";
    ASSERT_TRUE(WaitFor([&] { return performed.load() == 1; }));
    ASSERT_TRUE(WaitFor([&] { return Entries(home.jobs).isEmpty(); }));
    again.stop();
    // Nothing is left on record to act on at a later start.
    EXPECT_TRUE(
        QDir(home.home.filePath(QStringLiteral("ostrevo-jobs"))).entryList({QStringLiteral("*.job")}, QDir::Files).isEmpty());
    EXPECT_EQ(performed.load(), 1);
}
