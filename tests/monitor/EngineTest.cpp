#include "monitor/Engine.h"
#include "monitor/NetworkFileSystem.h"

#include "jobs/Errors.h"
#include "support/TestSupport.h"
#include "support/ThreadedEngine.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

// A program directory with an Ostrevo.ini, a jobs directory, and a record of handled jobs.
struct Site {
    mutable std::mutex mutex;
    QStringList handled;
    QTemporaryDir home;
    QString jobs = home.filePath(QStringLiteral("jobs"));
    std::function<void(const QString &)> onJob;

    explicit Site(int mode, bool active = true, const QByteArray &extra = {})
    {
        QDir().mkpath(jobs);
        WriteFile(home.filePath(QStringLiteral("Ostrevo.ini")),
                  "[Opcje]\r\nKatalog=" + jobs.toUtf8() + "\r\nDrukarka=Test\r\nTimer=" + QByteArray::number(mode)
                      + "\r\nMonitorowanie=" + (active ? "1" : "0") + "\r\nClear=0\r\n" + extra);
    }

    EngineConfig config()
    {
        EngineConfig c;
        c.programDir = home.path();
        c.printers.list = [] { return QStringList{QStringLiteral("Test"), QStringLiteral("Ostrevo PDF")}; };
        c.printers.defaultName = [] { return QStringLiteral("Test"); };
        c.timerWatchMs = 300;
        c.handlers.set(jkText, [this](const JobContext &ctx, const QString &path) {
            EXPECT_EQ(ctx.currentJobDir, jobs);
            EXPECT_EQ(ctx.currentPrinterName, QStringLiteral("Test"));
            {
                std::lock_guard lock(mutex);
                handled.append(QFileInfo(path).fileName());
            }
            if (onJob)
                onJob(path);
            return JobResult::done();
        });
        return c;
    }

    void job(const QString &name, const QByteArray &text = "FAKTURA\r\n", const QString &marker = {})
    {
        WriteFile(jobs + u'/' + name + QStringLiteral(".txt"), text);
        WriteFile(jobs + u'/' + (marker.isEmpty() ? name + QStringLiteral(".END") : marker), {});
    }

    // Job file names, in the order performed; written on the job thread.
    QStringList names() const
    {
        std::lock_guard lock(mutex);
        return handled;
    }
    qsizetype count() const { return names().size(); }

    QString journal() const { return QString::fromUtf8(ReadFile(home.filePath(QStringLiteral("ostrevo.log")))); }
};



} // namespace

TEST(EngineScan, SeveralJobsInOneScanAndTheJournal)
{
    Site site(MonitorTimer);
    Engine engine(site.config());
    engine.readSettings();
    site.job(QStringLiteral("A"));
    site.job(QStringLiteral("B"), "// only a comment\r\n");
    site.job(QStringLiteral("C"), "<FTP>\r\nFILE=x\r\n<END>\r\n");
    engine.ScanDirectory1();

    EXPECT_EQ(site.names(), QStringList{QStringLiteral("A.txt")});
    EXPECT_TRUE(Entries(site.jobs).isEmpty()) << Entries(site.jobs).join(u' ').toStdString();
    const QString journal = site.journal();
    EXPECT_EQ(journal.count(u'\n'), 3);
    EXPECT_TRUE(journal.contains(QStringLiteral("A.txt\tjkText\t")));
    EXPECT_TRUE(journal.contains(QStringLiteral("B.txt\tjkEmpty\t")));
    EXPECT_TRUE(journal.contains(QStringLiteral("C.txt\tjkFtp\t")));
    EXPECT_TRUE(journal.contains(QStringLiteral("NOT SUPPORTED")));
}

TEST(EngineScan, MarkersAndTextFilesMatchInAnyLetterCase)
{
    Site site(MonitorTimer);
    Engine engine(site.config());
    engine.readSettings();
    WriteFile(site.jobs + QStringLiteral("/lower.txt"), "x\r\n");
    WriteFile(site.jobs + QStringLiteral("/lower.end"), {});
    WriteFile(site.jobs + QStringLiteral("/Mixed.TXT"), "x\r\n");
    WriteFile(site.jobs + QStringLiteral("/MIXED.End"), {});
    // A marker without its text file waits, untouched.
    WriteFile(site.jobs + QStringLiteral("/LATER.END"), {});
    engine.ScanDirectory1();
    QStringList performed = site.names();
    performed.sort();
    EXPECT_EQ(performed, (QStringList{QStringLiteral("Mixed.TXT"), QStringLiteral("lower.txt")}));
    EXPECT_EQ(Entries(site.jobs), QStringList{QStringLiteral("LATER.END")});

    engine.ScanDirectory1();
    EXPECT_EQ(site.count(), 2);
    WriteFile(site.jobs + QStringLiteral("/later.txt"), "x\r\n");
    engine.ScanDirectory1();
    EXPECT_EQ(site.count(), 3);
    EXPECT_TRUE(Entries(site.jobs).isEmpty());
}

TEST(EngineScan, JobsArrivingDuringAJobWaitTheirTurnAndNeverNest)
{
    // A job never starts inside another: one that arrives while a job runs is performed
    // after it, at once when the watcher saw it (MUTEX), at the next tick otherwise.
    for (const int mode : {MonitorMutex, MonitorTimer}) {
        SCOPED_TRACE(mode);
        Site site(mode);
        std::atomic_int depth{0};
        std::atomic_int deepest{0};
        site.onJob = [&](const QString &path) {
            deepest = std::max(deepest.load(), ++depth);
            if (path.endsWith(QStringLiteral("FIRST.txt"))) {
                site.job(QStringLiteral("ARRIVED"));
                QThread::msleep(100);
            }
            --depth;
        };
        site.job(QStringLiteral("FIRST"));
        ThreadedEngine te(site.config());
        QMetaObject::invokeMethod(te.engine, &Engine::start, Qt::QueuedConnection);
        ASSERT_TRUE(WaitFor([&] { return site.count() == 2; }, 5000));
        EXPECT_EQ(site.names(), (QStringList{QStringLiteral("FIRST.txt"), QStringLiteral("ARRIVED.txt")}));
        EXPECT_EQ(deepest.load(), 1);
    }
}

TEST(EngineScan, JobsRunInTheOrderOfTheirNames)
{
    // The Windows listing is by name, letter case aside; the DOS program's run of invoices
    // expects that order, whatever order the file system keeps.
    Site site(MonitorTimer);
    Engine engine(site.config());
    engine.readSettings();
    const QStringList names{QStringLiteral("FV0003"), QStringLiteral("fv0001"), QStringLiteral("FV0010"),
                            QStringLiteral("Fv0002"), QStringLiteral("A"), QStringLiteral("zz")};
    for (const QString &name : names)
        site.job(name);
    engine.ScanDirectory1();
    EXPECT_EQ(site.names(), (QStringList{QStringLiteral("A.txt"), QStringLiteral("fv0001.txt"),
                                         QStringLiteral("Fv0002.txt"), QStringLiteral("FV0003.txt"),
                                         QStringLiteral("FV0010.txt"), QStringLiteral("zz.txt")}));
}

TEST(EngineScan, ManyWaitingJobsInMutexModeNeedNoDeepNesting)
{
    // Each job's end rescans the directory; that must stay a loop, not one nested scan per
    // job, or a full directory would exhaust the stack.
    Site site(MonitorMutex);
    EngineConfig config = site.config();
    std::vector<std::uintptr_t> depth;
    config.handlers.set(jkText, [&depth](const JobContext &, const QString &) {
        int marker = 0;
        depth.push_back(reinterpret_cast<std::uintptr_t>(&marker));
        return JobResult::done();
    });
    Engine engine(std::move(config));
    engine.readSettings();
    for (int i = 0; i < 300; ++i)
        site.job(QStringLiteral("J%1").arg(i));
    engine.ScanDirectory1();
    ASSERT_EQ(depth.size(), 300u);
    EXPECT_TRUE(Entries(site.jobs).isEmpty());
    const auto [low, high] = std::minmax_element(depth.begin(), depth.end());
    EXPECT_LT(*high - *low, 64u * 1024u) << "the stack grows with every waiting job";
}

TEST(EngineScan, AFailingJobFailsAloneAndIsReported)
{
    Site site(MonitorTimer);
    EngineConfig config = site.config();
    config.handlers.set(jkFtp, [](const JobContext &, const QString &) -> JobResult {
        throw IoError(QStringLiteral("serwer nie odpowiada"));
    });
    config.handlers.set(jkMail, [](const JobContext &, const QString &) -> JobResult {
        throw std::runtime_error("boom");
    });
    Engine engine(std::move(config));
    engine.readSettings();
    QSignalSpy errors(&engine, &Engine::errorEscaped);
    site.job(QStringLiteral("F"), "<FTP>\r\n");
    site.job(QStringLiteral("M"), "<MAIL>\r\n");
    site.job(QStringLiteral("T"));
    // A job file that cannot be read is one failed job. Root reads anything, so the scan
    // runs with the file-system identity of an ordinary user.
    site.job(QStringLiteral("LOCKED"));
    QFile::setPermissions(site.jobs + QStringLiteral("/LOCKED.txt"), {});
    QFile::setPermissions(site.jobs, QFile::Permissions(0x7777));
    QFile::setPermissions(site.home.path(), QFile::Permissions(0x7777));
    const bool root = ::geteuid() == 0;
    if (root)
        ::setfsuid(65534);
    engine.ScanDirectory1();
    if (root)
        ::setfsuid(0);

    EXPECT_EQ(site.names(), QStringList{QStringLiteral("T.txt")});
    EXPECT_EQ(errors.count(), 3);
    EXPECT_TRUE(Entries(site.jobs).isEmpty()) << Entries(site.jobs).join(u' ').toStdString();
    EXPECT_TRUE(site.journal().contains(QStringLiteral("ERROR: serwer nie odpowiada")));
    EXPECT_TRUE(site.journal().contains(QStringLiteral("LOCKED.txt\t?\t")));
}

TEST(EngineScan, TextFileThatIsNoRegularFileIsNeverOpened)
{
    // A directory or a FIFO in place of the text file would fail or block the reader; the
    // marker waits instead, as for a text file that is not there yet.
    Site site(MonitorTimer);
    Engine engine(site.config());
    engine.readSettings();
    QDir().mkpath(site.jobs + QStringLiteral("/DIR.txt"));
    WriteFile(site.jobs + QStringLiteral("/DIR.END"), {});
    const QByteArray fifo = QFile::encodeName(site.jobs + QStringLiteral("/PIPE.txt"));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    WriteFile(site.jobs + QStringLiteral("/PIPE.END"), {});
    site.job(QStringLiteral("OK"));
    engine.ScanDirectory1();
    EXPECT_EQ(site.names(), QStringList{QStringLiteral("OK.txt")});
    EXPECT_EQ(Entries(site.jobs).size(), 4);
}

TEST(EngineSettings, CheckSettingsCodes)
{
    Site site(MonitorTimer);
    Engine engine(site.config());
    engine.readSettings();
    EXPECT_EQ(engine.CheckSettings(), 0);

    Settings s = engine.settings();
    s.drukarka = QStringLiteral("test"); // other letter case passes the check
    engine.updateSettings(s);
    EXPECT_EQ(engine.CheckSettings(), 0);
    s.drukarka = QStringLiteral("Nieznana");
    engine.updateSettings(s);
    EXPECT_EQ(engine.CheckSettings(), 2);
    s.drukarka = QStringLiteral("Test");
    s.katalog2 = site.home.filePath(QStringLiteral("missing"));
    engine.updateSettings(s);
    EXPECT_EQ(engine.CheckSettings(), 0); // directory 2 is not looked at while unmonitored
    s.monitorowanie2 = true;
    engine.updateSettings(s);
    EXPECT_EQ(engine.CheckSettings(), 3);
    s.katalog2 = site.jobs;
    s.drukarka2 = QStringLiteral("x");
    engine.updateSettings(s);
    EXPECT_EQ(engine.CheckSettings(), 4);
    s.katalog = site.home.filePath(QStringLiteral("nowhere"));
    engine.updateSettings(s);
    EXPECT_EQ(engine.CheckSettings(), 1);
    engine.ShowStatus(1);
    EXPECT_EQ(engine.status().text, QStringLiteral("BŁĄD(1)! Niewłaściwy katalog 1"));
    EXPECT_EQ(engine.status().icon, 3);
}

TEST(EngineSettings, DosDirectoriesGoThroughTheDriveTable)
{
    QTemporaryDir drive;
    QDir().mkpath(drive.filePath(QStringLiteral("FK/Wydruki")));
    Site site(MonitorTimer, true, "[Dyski]\r\nF=" + drive.path().toUtf8() + "\r\n");
    Engine engine(site.config());
    engine.readSettings();
    Settings s = engine.settings();
    s.katalog = QStringLiteral("f:\\fk\\wydruki");
    engine.updateSettings(s);
    EXPECT_EQ(engine.resolveDirectory(s.katalog), drive.filePath(QStringLiteral("FK/Wydruki")));
    EXPECT_EQ(engine.CheckSettings(), 0);
}

TEST(EngineMonitoring, TimerModeScansOnlyAfterTheInterval)
{
    Site site(MonitorTimer);
    site.job(QStringLiteral("EARLY"));
    ThreadedEngine te(site.config());
    QMetaObject::invokeMethod(te.engine, &Engine::start, Qt::QueuedConnection);
    ASSERT_TRUE(WaitFor([&] { return te.status().startEnabled; }));
    EXPECT_EQ(te.status().state, MonitorState::Running);
    EXPECT_EQ(te.status().text, QStringLiteral("Tryb monitorowania: TIMER"));
    EXPECT_TRUE(site.names().isEmpty()); // nothing at once in TIMER mode
    ASSERT_TRUE(WaitFor([&] { return site.count() == 1; }));
    site.job(QStringLiteral("LATER"));
    ASSERT_TRUE(WaitFor([&] { return site.count() == 2; }));

    // Paused: nothing more is picked up.
    QMetaObject::invokeMethod(te.engine, &Engine::toggleMonitoring, Qt::QueuedConnection);
    ASSERT_TRUE(WaitFor([&] { return te.status().state == MonitorState::Paused; }));
    EXPECT_FALSE(te.status().monitoringActive);
    // No scan within three intervals.
    std::atomic_int scans{0};
    const auto counting = QObject::connect(te.engine, &Engine::scanFinished, te.engine, [&scans] { ++scans; },
                                           Qt::DirectConnection);
    site.job(QStringLiteral("PAUSED"));
    EXPECT_FALSE(WaitFor([&] { return scans > 0 || site.count() > 2; }, 3 * 300));
    EXPECT_EQ(site.count(), 2);
    QObject::disconnect(counting);
}

TEST(EngineMonitoring, MutexModeScansAtStartAndWakesOnNewMarkers)
{
    Site site(MonitorMutex);
    site.job(QStringLiteral("WAITING"));
    ThreadedEngine te(site.config());
    QMetaObject::invokeMethod(te.engine, &Engine::start, Qt::QueuedConnection);
    ASSERT_TRUE(WaitFor([&] { return site.count() == 1; }));
    ASSERT_TRUE(WaitFor([&] { return te.status().state == MonitorState::Running; }));
    EXPECT_EQ(te.status().text, QStringLiteral("Tryb monitorowania: MUTEX"));

    site.job(QStringLiteral("NEW"), "x\r\n", QStringLiteral("new.end"));
    ASSERT_TRUE(WaitFor([&] { return site.count() == 2; }));

    // A marker first, its text file later: the watcher wakes for the text file too. The
    // marker's own wake scans and leaves it waiting.
    std::atomic_int scans{0};
    const auto counting = QObject::connect(te.engine, &Engine::scanFinished, te.engine, [&scans] { ++scans; },
                                           Qt::DirectConnection);
    WriteFile(site.jobs + QStringLiteral("/SLOW.END"), {});
    ASSERT_TRUE(WaitFor([&] { return scans > 0; }));
    EXPECT_EQ(site.count(), 2);
    QObject::disconnect(counting);
    WriteFile(site.jobs + QStringLiteral("/SLOW.txt"), "x\r\n");
    ASSERT_TRUE(WaitFor([&] { return site.count() == 3; }));
}

TEST(EngineMonitoring, MissingDirectoryAtStartIsWaitedFor)
{
    // A share not mounted yet at start: the error says the directory is waited for, the
    // monitor resumes by itself when it appears, and the saved state stays as chosen.
    for (const int mode : {MonitorMutex, MonitorTimer}) {
        SCOPED_TRACE(mode);
        Site site(mode);
        QDir(site.jobs).removeRecursively();
        {
            ThreadedEngine te(site.config());
            QMetaObject::invokeMethod(te.engine, &Engine::start, Qt::QueuedConnection);
            ASSERT_TRUE(WaitFor([&] { return te.status().startEnabled && te.status().state == MonitorState::Error; }));
            EXPECT_EQ(te.status().code, 1);
            EXPECT_EQ(te.status().text, QStringLiteral("BŁĄD(1)! Niewłaściwy katalog 1 (czekam, aż katalog się pojawi)"));
            QDir().mkpath(site.jobs);
            site.job(QStringLiteral("BACK"));
            ASSERT_TRUE(WaitFor([&] { return site.count() == 1; }, 8000));
            ASSERT_TRUE(WaitFor([&] { return te.status().state == MonitorState::Running; }));
        }
        EXPECT_TRUE(ReadFile(site.home.filePath(QStringLiteral("Ostrevo.ini"))).contains("Monitorowanie=1\r\n"));
    }
}

TEST(EngineMonitoring, DirectoryVanishingWhileWatchedShowsErrorThenRecovers)
{
    for (const int mode : {MonitorMutex, MonitorTimer}) {
        SCOPED_TRACE(mode);
        Site site(mode);
        {
            ThreadedEngine te(site.config());
            QMetaObject::invokeMethod(te.engine, &Engine::start, Qt::QueuedConnection);
            ASSERT_TRUE(WaitFor([&] { return te.status().state == MonitorState::Running; }));
            QDir(site.jobs).removeRecursively();
            ASSERT_TRUE(WaitFor([&] { return te.status().state == MonitorState::Error; }));
            EXPECT_TRUE(te.status().text.contains(QStringLiteral("czekam"))) << te.status().text.toStdString();
            QDir().mkpath(site.jobs);
            site.job(QStringLiteral("BACK"));
            ASSERT_TRUE(WaitFor([&] { return site.count() == 1; }, 8000));
            ASSERT_TRUE(WaitFor([&] { return te.status().state == MonitorState::Running; }));
            // Gone again as the program quits: what is saved is still the user's choice.
            QDir(site.jobs).removeRecursively();
            ASSERT_TRUE(WaitFor([&] { return te.status().state == MonitorState::Error; }));
        }
        EXPECT_TRUE(ReadFile(site.home.filePath(QStringLiteral("Ostrevo.ini"))).contains("Monitorowanie=1\r\n"));
    }
}

TEST(EngineMonitoring, TheStartButtonWhileADirectoryIsWaitedFor)
{
    // The button shows "Wznów" then: a press resumes once the settings pass, and never
    // pauses instead.
    Site site(MonitorTimer);
    QDir(site.jobs).removeRecursively();
    {
        ThreadedEngine te(site.config());
        QMetaObject::invokeMethod(te.engine, &Engine::start, Qt::QueuedConnection);
        ASSERT_TRUE(WaitFor([&] { return te.status().startEnabled; }));
        EXPECT_TRUE(te.status().monitoringActive);
        QMetaObject::invokeMethod(te.engine, &Engine::toggleMonitoring, Qt::BlockingQueuedConnection);
        EXPECT_EQ(te.status().state, MonitorState::Error);
        EXPECT_TRUE(te.status().monitoringActive);
        QDir().mkpath(site.jobs);
        QMetaObject::invokeMethod(te.engine, &Engine::toggleMonitoring, Qt::BlockingQueuedConnection);
        EXPECT_EQ(te.status().state, MonitorState::Running);
        QMetaObject::invokeMethod(te.engine, &Engine::toggleMonitoring, Qt::BlockingQueuedConnection);
        EXPECT_EQ(te.status().state, MonitorState::Paused);
    }
    EXPECT_TRUE(ReadFile(site.home.filePath(QStringLiteral("Ostrevo.ini"))).contains("Monitorowanie=0\r\n"));
}

TEST(EngineSettings, QuitDuringAJobSavesTheChosenState)
{
    // The job's paused look, and monitoring not resumed after it because of the quit,
    // are not the user's choice.
    for (const int mode : {MonitorMutex, MonitorTimer}) {
        SCOPED_TRACE(mode);
        Site site(mode);
        std::atomic_bool started{false};
        std::atomic_bool release{false};
        site.onJob = [&](const QString &) {
            started = true;
            QDeadlineTimer limit(10000);
            while (!release && !limit.hasExpired())
                QThread::msleep(5);
        };
        {
            ThreadedEngine te(site.config());
            QMetaObject::invokeMethod(te.engine, &Engine::start, Qt::QueuedConnection);
            ASSERT_TRUE(WaitFor([&] { return te.status().startEnabled; }));
            site.job(QStringLiteral("LONG"));
            ASSERT_TRUE(WaitFor([&] { return started.load(); }));
            te.engine->requestQuit();
            release = true;
        }
        EXPECT_TRUE(ReadFile(site.home.filePath(QStringLiteral("Ostrevo.ini"))).contains("Monitorowanie=1\r\n"));
    }
}

TEST(EngineSettings, ShutdownWritesTheMonitoringState)
{
    Site site(MonitorTimer, false);
    {
        ThreadedEngine te(site.config());
        QMetaObject::invokeMethod(te.engine, &Engine::start, Qt::QueuedConnection);
        ASSERT_TRUE(WaitFor([&] { return te.status().startEnabled; }));
        EXPECT_EQ(te.status().state, MonitorState::Paused);
        QMetaObject::invokeMethod(te.engine, &Engine::toggleMonitoring, Qt::QueuedConnection);
        ASSERT_TRUE(WaitFor([&] { return te.status().state == MonitorState::Running; }));
    }
    const QByteArray ini = ReadFile(site.home.filePath(QStringLiteral("Ostrevo.ini")));
    EXPECT_TRUE(ini.contains("Monitorowanie=1\r\n")) << ini.constData();
    EXPECT_TRUE(ini.contains("Version=v 2.02.010\r\n"));
}

namespace {

// A FUSE mount of a directory (bindfs): what is written into the directory under it
// reaches the mount without any inotify event there, exactly as a file that another
// machine writes into an NFS or SMB share.
struct FuseMount {
    QTemporaryDir backing;
    QTemporaryDir point;
    bool mounted = false;
    QString failure;
    FuseMount()
    {
        QProcess bindfs;
        bindfs.start(QStringLiteral("bindfs"), {backing.path(), point.path()});
        if (!bindfs.waitForFinished(10000) || bindfs.exitCode() != 0)
            failure = QStringLiteral("bindfs cannot mount here: ") + QString::fromLocal8Bit(bindfs.readAllStandardError());
        else
            mounted = true;
    }
    ~FuseMount()
    {
        if (mounted)
            QProcess::execute(QStringLiteral("fusermount"), {QStringLiteral("-u"), point.path()});
    }
};

} // namespace

TEST(EngineMonitoring, ANetworkDirectoryIsAlsoLookedIntoAtIntervals)
{
    EXPECT_TRUE(IsNetworkFileSystemType(0x6969));     // NFS
    EXPECT_TRUE(IsNetworkFileSystemType(0xFF534D42)); // CIFS
    EXPECT_FALSE(IsNetworkFileSystemType(0xEF53));    // ext4
    EXPECT_FALSE(IsNetworkFileSystemType(0x01021994)); // tmpfs

    FuseMount share;
    if (!share.mounted)
        GTEST_SKIP() << share.failure.toStdString();
    ASSERT_TRUE(IsNetworkFileSystem(share.point.path()));
    Site site(MonitorMutex);
    EngineConfig config = site.config();
    config.networkPollMs = 300;
    // The site's own directory is a local one: the share is directory 1.
    site.jobs = share.point.path();
    ThreadedEngine te(std::move(config));
    WriteFile(site.home.filePath(QStringLiteral("Ostrevo.ini")),
              "[Opcje]\r\nKatalog=" + QFile::encodeName(share.point.path())
                  + "\r\nDrukarka=Test\r\nTimer=0\r\nMonitorowanie=1\r\nClear=0\r\n");
    QMetaObject::invokeMethod(te.engine, &Engine::start, Qt::QueuedConnection);
    ASSERT_TRUE(WaitFor([&] { return te.status().state == MonitorState::Running; }));
    EXPECT_EQ(te.status().text, QStringLiteral("Tryb monitorowania: MUTEX (katalog 1 w sieci: sprawdzane co 0.3 s)"));

    // Written "by another machine": into the directory under the mount.
    WriteFile(share.backing.filePath(QStringLiteral("ZDALNY.txt")), "x\r\n");
    WriteFile(share.backing.filePath(QStringLiteral("ZDALNY.END")), {});
    ASSERT_TRUE(WaitFor([&] { return site.count() == 1; }, 5000));
    EXPECT_TRUE(WaitFor([&] { return Entries(share.backing.path()).isEmpty(); }))
        << Entries(share.backing.path()).join(u' ').toStdString();
}
