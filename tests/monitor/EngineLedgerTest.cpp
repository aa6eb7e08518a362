// What the engine keeps on disk about jobs that must not be performed twice: a result
// file that cannot be written yet (a full disk), a job text claimed when the program
// stopped, a commit that cannot be recorded, and two engines on one directory.

#include "monitor/Engine.h"
#include "monitor/JobFiles.h"

#include "jobs/Errors.h"
#include "support/TestSupport.h"
#include "support/ThreadedEngine.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include <sys/mount.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

struct Office {
    QTemporaryDir home;
    QString jobs = home.filePath(QStringLiteral("jobs"));
    std::atomic_int performed{0};
    std::function<JobResult(const JobContext &, const QString &)> handler;

    explicit Office(int mode = MonitorTimer)
    {
        QDir().mkpath(jobs);
        WriteFile(home.filePath(QStringLiteral("Ostrevo.ini")),
                  "[Opcje]\r\nKatalog=" + jobs.toUtf8() + "\r\nDrukarka=Test\r\nTimer=" + QByteArray::number(mode)
                      + "\r\nMonitorowanie=1\r\nClear=0\r\nAutoRun=0\r\n");
    }
    EngineConfig config()
    {
        EngineConfig c;
        c.programDir = home.path();
        c.printers.list = [] { return QStringList{QStringLiteral("Test")}; };
        c.printers.defaultName = [] { return QStringLiteral("Test"); };
        c.timerWatchMs = 200;
        c.retryFirstMs = 100;
        c.retryMaxMs = 200;
        c.handlers.set(jkText, [this](const JobContext &context, const QString &path) {
            ++performed;
            return handler ? handler(context, path) : JobResult::done();
        });
        return c;
    }
    void job(const QString &name, const QByteArray &text = "FAKTURA\r\n") const
    {
        WriteFile(jobs + u'/' + name + QStringLiteral(".txt"), text);
        WriteFile(jobs + u'/' + name + QStringLiteral(".END"), {});
    }
    QString journal() const { return QString::fromUtf8(ReadFile(home.filePath(QStringLiteral("ostrevo.log")))); }
};

// A small tmpfs mounted on a directory: full after a few kilobytes.
struct TinyDisk {
    QString path;
    bool mounted = false;
    explicit TinyDisk(QString dir) : path(std::move(dir))
    {
        QDir().mkpath(path);
        mounted = ::mount("tmpfs", QFile::encodeName(path).constData(), "tmpfs", 0, "size=8k") == 0;
    }
    ~TinyDisk()
    {
        if (mounted)
            ::umount2(QFile::encodeName(path).constData(), MNT_DETACH);
    }
    void fill() const
    {
        QFile filler(path + QStringLiteral("/filler"));
        filler.open(QIODevice::WriteOnly);
        const QByteArray block(1024, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    }
    void free() const { QFile::remove(path + QStringLiteral("/filler")); }
};

} // namespace

TEST(EngineLedger, AResultThatCannotBeWrittenWaitsAndTheJobIsNeverPerformedAgain)
{
    Office office;
    TinyDisk errors(office.jobs + QStringLiteral("/Errors"));
    if (!errors.mounted)
        GTEST_SKIP() << "no tmpfs can be mounted here";
    errors.fill();
    office.handler = [](const JobContext &context, const QString &) {
        context.writeResult({context.currentJobDir, QStringLiteral("PARAGON.txt"), "OK"});
        return JobResult::done(QStringLiteral("error=OK"));
    };
    {
        ThreadedEngine te(office.config());
        QMetaObject::invokeMethod(te.engine, &Engine::start, Qt::QueuedConnection);
        office.job(QStringLiteral("PARAGON"));
        ASSERT_TRUE(WaitFor([&] { return office.performed.load() == 1; }));
        ASSERT_TRUE(WaitFor([&] { return !te.status().problem.isEmpty(); }));
        EXPECT_EQ(te.status().state, MonitorState::Running);
        EXPECT_TRUE(te.status().problem.contains(QStringLiteral("PARAGON.txt"))) << te.status().problem.toStdString();
        // The marker stays, so that the legacy program waits for its result.
        QThread::msleep(600);
        EXPECT_TRUE(QFile::exists(office.jobs + QStringLiteral("/PARAGON.END")));
        EXPECT_EQ(office.performed.load(), 1);
    }
    // Across a restart too; the result comes once there is room.
    ThreadedEngine te(office.config());
    QMetaObject::invokeMethod(te.engine, &Engine::start, Qt::QueuedConnection);
    QThread::msleep(600);
    EXPECT_EQ(office.performed.load(), 1);
    errors.free();
    ASSERT_TRUE(WaitFor([&] { return !QFile::exists(office.jobs + QStringLiteral("/PARAGON.END")); }, 5000));
    EXPECT_EQ(ReadFile(office.jobs + QStringLiteral("/Errors/PARAGON.txt")), "error=OK\r\n");
    EXPECT_TRUE(Entries(office.jobs).filter(QStringLiteral("PARAGON")).isEmpty());
    EXPECT_EQ(office.performed.load(), 1);
    EXPECT_TRUE(office.journal().contains(QStringLiteral("został w końcu zapisany (error=OK)"))) << office.journal().toStdString();
    ASSERT_TRUE(WaitFor([&] { return te.status().problem.isEmpty(); }));
}

TEST(EngineLedger, ACommitThatCannotBeRecordedStopsTheJobBeforeItsStep)
{
    Office office;
    // The ledger's directory cannot be made: the program directory holds a file there.
    WriteFile(office.home.filePath(QStringLiteral("ostrevo-jobs")), "x");
    std::atomic_int irreversible{0};
    office.handler = [&](const JobContext &context, const QString &) {
        context.committed(std::nullopt);
        ++irreversible;
        return JobResult::done();
    };
    Engine engine(office.config());
    engine.readSettings();
    office.job(QStringLiteral("A"));
    engine.ScanDirectory1();
    EXPECT_EQ(irreversible.load(), 0);
    // Not the job's fault: it waits for a retry with its files.
    EXPECT_TRUE(QFile::exists(office.jobs + QStringLiteral("/A.END")));
    EXPECT_TRUE(QFile::exists(office.jobs + QStringLiteral("/A.txt")));
    EXPECT_TRUE(office.journal().contains(QStringLiteral("RETRY: "))) << office.journal().toStdString();
}

TEST(EngineLedger, AJobClaimedWhenTheProgramStoppedIsPerformedAtTheNextStart)
{
    // Killed after the claim and before anything irreversible: the text lies under its
    // claimed name, and the next start gives it its name back and performs it, once.
    Office office;
    const QString home = QFileInfo(office.home.path()).canonicalFilePath();
    const QByteArray suffix = ClaimSuffix(home);
    WriteFile(office.jobs + QStringLiteral("/CLAIMED.txt") + QString::fromLatin1(suffix), "x\r\n");
    WriteFile(office.jobs + QStringLiteral("/CLAIMED.END"), {});
    // Another monitor's claim is left to it.
    WriteFile(office.jobs + QStringLiteral("/OTHER.txt.ostrevo-0badc0de"), "x\r\n");
    WriteFile(office.jobs + QStringLiteral("/OTHER.END"), {});
    ThreadedEngine te(office.config());
    QMetaObject::invokeMethod(te.engine, &Engine::start, Qt::QueuedConnection);
    ASSERT_TRUE(WaitFor([&] { return office.performed.load() == 1; }));
    ASSERT_TRUE(WaitFor([&] { return !QFile::exists(office.jobs + QStringLiteral("/CLAIMED.END")); }));
    QThread::msleep(500);
    EXPECT_EQ(office.performed.load(), 1);
    EXPECT_TRUE(QFile::exists(office.jobs + QStringLiteral("/OTHER.txt.ostrevo-0badc0de")));
    EXPECT_TRUE(QFile::exists(office.jobs + QStringLiteral("/OTHER.END")));
}

TEST(EngineLedger, TwoEnginesOnOneDirectorySplitTheJobsAndPerformEachOnce)
{
    // Two program directories, one jobs directory: two monitors of two sessions or two
    // machines at one share.
    Office first(MonitorMutex);
    QTemporaryDir secondHome;
    WriteFile(secondHome.filePath(QStringLiteral("Ostrevo.ini")),
              "[Opcje]\r\nKatalog=" + first.jobs.toUtf8() + "\r\nDrukarka=Test\r\nTimer=0\r\nMonitorowanie=1\r\n"
              "Clear=0\r\nAutoRun=0\r\n");
    std::mutex mutex;
    QStringList seen;
    auto record = [&](const JobContext &context, const QString &) {
        QByteArray text(64, '\0');
        text.truncate(std::max<ssize_t>(0, ::pread(context.jobText, text.data(), size_t(text.size()), 0)));
        std::lock_guard lock(mutex);
        seen.append(QString::fromLatin1(text.trimmed()));
        return JobResult::done();
    };
    first.handler = record;
    EngineConfig secondConfig = first.config();
    secondConfig.programDir = secondHome.path();
    ThreadedEngine one(first.config());
    ThreadedEngine two(std::move(secondConfig));
    QMetaObject::invokeMethod(one.engine, &Engine::start, Qt::QueuedConnection);
    QMetaObject::invokeMethod(two.engine, &Engine::start, Qt::QueuedConnection);
    ASSERT_TRUE(WaitFor([&] { return one.status().state == MonitorState::Running && two.status().state == MonitorState::Running; }));
    constexpr int Jobs = 300;
    for (int i = 0; i < Jobs; ++i)
        first.job(QStringLiteral("J%1").arg(i, 3, 10, QLatin1Char('0')), QByteArray::number(i));
    ASSERT_TRUE(WaitFor([&] { return Entries(first.jobs).isEmpty(); }, 20000)) << Entries(first.jobs).size();
    std::lock_guard lock(mutex);
    EXPECT_EQ(seen.size(), Jobs);
    EXPECT_EQ(QSet<QString>(seen.begin(), seen.end()).size(), Jobs);
}

TEST(EngineLedger, EntriesReadBackWholeAndDamagedOnesAreSetAside)
{
    QTemporaryDir dir;
    JobLedger ledger(dir.filePath(QStringLiteral("ostrevo-jobs")));
    LedgerEntry entry;
    entry.id = QStringLiteral("20261209-101500-42-7");
    entry.state = LedgerEntry::Done;
    entry.directory = QStringLiteral("/srv/dos/c/FK WYDR");
    entry.marker = QByteArray("\xbd" "AK.END");
    entry.text = QByteArray("\xbd" "AK.txt");
    entry.claim = QByteArray("\xbd" "AK.txt.ostrevo-01234567");
    entry.markerStamp = {1, 2, 0, 3};
    entry.textStamp = {1, 4, 120, 5};
    entry.jobFile = QStringLiteral("ŻAK.txt");
    entry.kind = QStringLiteral("jkDf");
    entry.unknownOutcome = ResultLine{entry.directory, QStringLiteral("ŻAK.txt"), "1050"};
    entry.pendingResults = {ResultLine{entry.directory, QStringLiteral("a b.txt"), "OK"}};
    entry.filesLeft = true;
    entry.problem = QStringLiteral("BŁĄD! wynik czeka");
    ledger.write(entry);
    // A file cut short, and one whose id could name a path, are no entries.
    const QByteArray whole = JobLedger::encode(entry);
    WriteFile(ledger.dir() + QStringLiteral("/cut.job"), whole.left(whole.size() - 4));
    LedgerEntry hostile = entry;
    hostile.id = QStringLiteral("../../etc/x");
    WriteFile(ledger.dir() + QStringLiteral("/hostile.job"), JobLedger::encode(hostile));
    EXPECT_THROW(ledger.write(hostile), IoError);

    QStringList problems;
    const QList<LedgerEntry> read = ledger.load(&problems);
    ASSERT_EQ(read.size(), 1);
    const LedgerEntry &back = read.first();
    EXPECT_EQ(back.id, entry.id);
    EXPECT_EQ(back.state, LedgerEntry::Done);
    EXPECT_EQ(back.directory, entry.directory);
    EXPECT_EQ(back.marker, entry.marker);
    EXPECT_EQ(back.claim, entry.claim);
    EXPECT_EQ(back.textStamp, entry.textStamp);
    EXPECT_EQ(back.jobFile, entry.jobFile);
    EXPECT_EQ(back.unknownOutcome, entry.unknownOutcome);
    EXPECT_EQ(back.pendingResults, entry.pendingResults);
    EXPECT_TRUE(back.filesLeft);
    EXPECT_EQ(back.problem, entry.problem);
    EXPECT_EQ(problems.size(), 2);
    EXPECT_TRUE(QFile::exists(ledger.dir() + QStringLiteral("/cut.job.bad")));
    ledger.remove(entry.id);
    EXPECT_TRUE(ledger.load().isEmpty());
}

TEST(EngineLedger, AJobWhoseFilesCannotBeDeletedIsNotPerformedAgainAfterARestart)
{
    Office office;
    office.job(QStringLiteral("FAKTURA"));
    const QString text = office.jobs + QStringLiteral("/FAKTURA.txt");
    auto chattr = [](const char *flag, const QString &path) {
        return QProcess::execute(QStringLiteral("chattr"), {QString::fromLatin1(flag), path}) == 0;
    };
    if (!chattr("+i", text))
        GTEST_SKIP() << "chattr +i is not available here";
    {
        Engine engine(office.config());
        EXPECT_EQ(engine.runOnce(), 0);
    }
    EXPECT_EQ(office.performed.load(), 1);
    {
        Engine engine(office.config());
        EXPECT_EQ(engine.runOnce(), 0);
    }
    EXPECT_EQ(office.performed.load(), 1) << "performed again after a restart";
    chattr("-i", text);
    {
        Engine engine(office.config());
        EXPECT_EQ(engine.runOnce(), 0);
    }
    EXPECT_EQ(office.performed.load(), 1);
    EXPECT_TRUE(Entries(office.jobs).filter(QStringLiteral("FAKTURA")).isEmpty()) << Entries(office.jobs).join(u' ').toStdString();
}
