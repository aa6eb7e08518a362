// The end of a job: the order of the journal line and the deletions, files that cannot be
// deleted, a writer that reuses one job name, and jobs that meet unwritable output.

#include "monitor/Engine.h"

#include "jobs/Errors.h"
#include "support/TestSupport.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

struct Home {
    QTemporaryDir home;
    QString jobs = home.filePath(QStringLiteral("jobs"));
    mutable std::mutex mutex;
    QStringList performed; // "NAME.txt: first line", in order

    explicit Home(int mode)
    {
        QDir().mkpath(jobs);
        WriteFile(home.filePath(QStringLiteral("Ostrevo.ini")),
                  "[Opcje]\r\nKatalog=" + jobs.toUtf8() + "\r\nDrukarka=Test\r\nTimer=" + QByteArray::number(mode)
                      + "\r\nMonitorowanie=1\r\nClear=0\r\nAutoRun=0\r\n");
    }

    // The text is read through the descriptor the monitor opened, as every handler does:
    // the file itself is claimed under another name while the job runs.
    void record(const JobContext &context, const QString &path)
    {
        QByteArray text(4096, '\0');
        text.truncate(std::max<ssize_t>(0, ::pread(context.jobText, text.data(), size_t(text.size()), 0)));
        std::lock_guard lock(mutex);
        performed.append(QFileInfo(path).fileName() + QStringLiteral(": ") + QString::fromLatin1(text.trimmed()));
    }
    QStringList names() const
    {
        std::lock_guard lock(mutex);
        return performed;
    }
    qsizetype count() const { return names().size(); }

    EngineConfig config(std::function<JobResult(const QString &)> text = {})
    {
        EngineConfig c;
        c.programDir = home.path();
        c.printers.list = [] { return QStringList{QStringLiteral("Test")}; };
        c.printers.defaultName = [] { return QStringLiteral("Test"); };
        c.timerWatchMs = 300;
        c.handlers.set(jkText, [this, text](const JobContext &context, const QString &path) {
            record(context, path);
            return text ? text(path) : JobResult::done();
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

bool Chattr(const QString &flag, const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("chattr"), {flag, path});
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Clears the immutable bit again whatever the test's outcome, or QTemporaryDir cannot go.
struct Immutable {
    QString path;
    bool set = false;
    explicit Immutable(QString p) : path(std::move(p)), set(Chattr(QStringLiteral("+i"), path)) {}
    ~Immutable() { clear(); }
    void clear()
    {
        if (set)
            Chattr(QStringLiteral("-i"), path);
        set = false;
    }
};

} // namespace

TEST(EngineJobEnd, JournalFirstThenTheTextThenTheMarker)
{
    // One inotify queue sees the journal's write and both deletions in the order they
    // happened.
    Home home(MonitorTimer);
    const QString log = home.home.filePath(QStringLiteral("ostrevo.log"));
    WriteFile(log, {});
    Engine engine(home.config());
    engine.readSettings();
    home.job(QStringLiteral("FAKTURA"));

    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(fd, 0);
    const int logWatch = inotify_add_watch(fd, QFile::encodeName(log).constData(), IN_MODIFY);
    const int dirWatch = inotify_add_watch(fd, QFile::encodeName(home.jobs).constData(), IN_DELETE);
    ASSERT_GE(logWatch, 0);
    ASSERT_GE(dirWatch, 0);
    engine.ScanDirectory1();

    QStringList events;
    alignas(struct inotify_event) char buffer[4096];
    for (ssize_t len; (len = ::read(fd, buffer, sizeof buffer)) > 0;) {
        for (ssize_t off = 0; off < len;) {
            const auto *ev = reinterpret_cast<const struct inotify_event *>(buffer + off);
            off += ssize_t(sizeof(struct inotify_event) + ev->len);
            const QString what = ev->wd == logWatch ? QStringLiteral("journal") : QString::fromLocal8Bit(ev->name);
            if (events.isEmpty() || events.last() != what)
                events.append(what);
        }
    }
    ::close(fd);
    // The text goes under the name it was claimed by.
    ASSERT_EQ(events.size(), 3) << events.join(u' ').toStdString();
    EXPECT_EQ(events[0], QStringLiteral("journal"));
    EXPECT_TRUE(events[1].startsWith(QStringLiteral("FAKTURA.txt.ostrevo-"))) << events[1].toStdString();
    EXPECT_EQ(events[2], QStringLiteral("FAKTURA.END"));
}

TEST(EngineJobEnd, AWriterReusingOneNameLosesNoJob)
{
    // The DOS program writes WYDRUK.txt and WYDRUK.END, waits until the marker is gone and
    // writes the next job under the same name at once.
    Home home(MonitorTimer);
    Engine engine(home.config());
    engine.readSettings();
    constexpr int Jobs = 1000;
    std::atomic_bool done{false};
    std::atomic_int stalledAt{-1};
    std::thread writer([&] {
        const QByteArray marker = QFile::encodeName(home.jobs + QStringLiteral("/WYDRUK.END"));
        for (int i = 0; i < Jobs; ++i) {
            QDeadlineTimer limit(10000);
            struct stat st;
            while (::stat(marker.constData(), &st) == 0) {
                if (limit.hasExpired()) {
                    stalledAt = i;
                    done = true;
                    return;
                }
            }
            home.job(QStringLiteral("WYDRUK"), QByteArray::number(i));
        }
        done = true;
    });
    QDeadlineTimer limit(120000);
    while (!limit.hasExpired() && !(done && (stalledAt >= 0 || Entries(home.jobs).isEmpty())))
        engine.ScanDirectory1();
    writer.join();

    EXPECT_EQ(stalledAt.load(), -1) << "a job was lost and the writer waits for its marker for ever";
    QStringList expected;
    for (int i = 0; i < Jobs; ++i)
        expected.append(QStringLiteral("WYDRUK.txt: %1").arg(i));
    const QStringList performed = home.names();
    EXPECT_EQ(performed.size(), Jobs);
    EXPECT_TRUE(performed == expected) << "first difference at "
        << std::distance(performed.begin(), std::mismatch(performed.begin(), performed.end(), expected.begin(),
                                                          expected.end()).first);
}

TEST(EngineJobEnd, AJobWhoseFilesCannotBeDeletedIsPerformedOnce)
{
    // An immutable text (or marker) cannot be deleted, even by root. MUTEX mode's rescan at
    // the end of each job would meet the job again at once.
    struct Case {
        int mode;
        const char *immutable; // "txt" or "END"
    };
    for (const Case c : {Case{MonitorMutex, "txt"}, Case{MonitorTimer, "txt"}, Case{MonitorMutex, "END"},
                         Case{MonitorTimer, "END"}}) {
        SCOPED_TRACE(std::string(c.mode == MonitorMutex ? "MUTEX " : "TIMER ") + c.immutable);
        Home home(c.mode);
        std::unique_ptr<Immutable> lock;
        // Should the job be performed again, the file is let go at the fifth time, so that
        // a failing run still ends.
        Engine engine(home.config([&](const QString &) {
            if (home.count() >= 5 && lock)
                lock->clear();
            return JobResult::done();
        }));
        engine.readSettings();
        home.job(QStringLiteral("FAKTURA"));
        lock = std::make_unique<Immutable>(home.jobs + QStringLiteral("/FAKTURA.") + QLatin1String(c.immutable));
        if (!lock->set)
            GTEST_SKIP() << "chattr +i is not available on " << home.jobs.toStdString() << " (file system or tool)";
        if (c.mode == MonitorTimer)
            engine.toggleMonitoring(); // running, so that the status shows the job's error
        for (int scan = 0; scan < 4; ++scan)
            engine.ScanDirectory1();
        EXPECT_EQ(home.count(), 1);
        EXPECT_TRUE(home.journal().contains(QStringLiteral("FAKTURA.txt\tjkText\t"))) << home.journal().toStdString();
        EXPECT_TRUE(home.journal().contains(QStringLiteral("ERROR: nie można usunąć plików zadania: ")
                                            + home.jobs + QStringLiteral("/FAKTURA.") + QLatin1String(c.immutable)
                                            + QStringLiteral(": operacja niedozwolona")))
            << home.journal().toStdString();
        if (c.mode == MonitorTimer) {
            // Monitoring goes on, and says what is wrong.
            EXPECT_EQ(engine.status().state, MonitorState::Running);
            EXPECT_TRUE(engine.status().text.startsWith(QStringLiteral("BŁĄD! Nie można usunąć pliku zlecenia")))
                << engine.status().text.toStdString();
            EXPECT_EQ(engine.status().problem, engine.status().text);
        }

        // Deletable again: the files go at the next scan, and the job is not performed again.
        lock->clear();
        engine.ScanDirectory1();
        EXPECT_EQ(home.count(), 1);
        EXPECT_TRUE(Entries(home.jobs).isEmpty()) << Entries(home.jobs).join(u' ').toStdString();
        if (c.mode == MonitorTimer) {
            EXPECT_EQ(engine.status().state, MonitorState::Running);
            EXPECT_EQ(engine.status().text, QStringLiteral("Tryb monitorowania: TIMER"));
        }
        // A new job of the same name is a new job.
        home.job(QStringLiteral("FAKTURA"), "NASTĘPNA\r\n");
        engine.ScanDirectory1();
        EXPECT_EQ(home.count(), 2);
    }
}

TEST(EngineJobEnd, UnwritableOutputKeepsTheJobAndRetriesItWithABackOff)
{
    for (const int mode : {MonitorMutex, MonitorTimer}) {
        SCOPED_TRACE(mode);
        Home home(mode);
        std::mutex mutex;
        QList<qint64> attemptsOfA;
        QStringList statusTexts;
        QElapsedTimer clock;
        clock.start();
        EngineConfig config = home.config([&](const QString &path) {
            if (!path.endsWith(QStringLiteral("A.txt")))
                return JobResult::done();
            std::lock_guard lock(mutex);
            attemptsOfA.append(clock.elapsed());
            // The job's files stay while it waits for its next attempt.
            EXPECT_TRUE(QFile::exists(home.jobs + QStringLiteral("/A.END")));
            return attemptsOfA.size() <= 3 ? JobResult::retryLater(QStringLiteral("Brak miejsca na dysku"))
                                           : JobResult::done();
        });
        config.retryFirstMs = 200;
        config.retryMaxMs = 500;
        // An OutputUnavailable that escapes a handler counts the same.
        std::atomic_int ftpAttempts{0};
        config.handlers.set(jkFtp, [&](const JobContext &, const QString &) -> JobResult {
            if (++ftpAttempts <= 2)
                throw OutputUnavailable(QStringLiteral("Katalog wyjściowy tylko do odczytu"));
            return JobResult::done();
        });
        auto *engine = new Engine(std::move(config));
        QThread thread;
        engine->moveToThread(&thread);
        QObject::connect(engine, &Engine::statusChanged, engine, [&](const MonitorStatus &s) {
            std::lock_guard lock(mutex);
            // A job waiting for its retry leaves monitoring running, the problem shown.
            if (!s.problem.isEmpty()) {
                EXPECT_EQ(s.state, MonitorState::Running);
                statusTexts.append(s.problem);
            }
        }, Qt::DirectConnection);
        thread.start();
        QMetaObject::invokeMethod(engine, &Engine::start, Qt::QueuedConnection);
        home.job(QStringLiteral("A"));
        home.job(QStringLiteral("B"));
        home.job(QStringLiteral("C"), "<FTP>\r\n");
        const bool finished = WaitFor([&] { return Entries(home.jobs).isEmpty(); }, 15000);
        engine->requestQuit();
        QMetaObject::invokeMethod(engine, &Engine::shutdown, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
        delete engine;

        ASSERT_TRUE(finished) << Entries(home.jobs).join(u' ').toStdString();
        std::lock_guard lock(mutex);
        ASSERT_EQ(attemptsOfA.size(), 4);
        EXPECT_EQ(ftpAttempts.load(), 3);
        EXPECT_EQ(home.names().count(QStringLiteral("B.txt: FAKTURA")), 1) << "another job was performed twice";
        // 200 ms, 400 ms, then the longest wait of 500 ms.
        const qint64 waits[] = {200, 400, 500};
        for (int i = 0; i < 3; ++i)
            EXPECT_GE(attemptsOfA[i + 1] - attemptsOfA[i], waits[i] - 20) << "attempt " << i + 2;
        const QString journal = home.journal();
        EXPECT_EQ(journal.count(QStringLiteral("A.txt\tjkText\t")), 4) << journal.toStdString();
        EXPECT_EQ(journal.count(QStringLiteral("RETRY: Brak miejsca na dysku")), 3);
        EXPECT_EQ(journal.count(QStringLiteral("RETRY: Katalog wyjściowy tylko do odczytu")), 2);
        EXPECT_TRUE(statusTexts.contains(QStringLiteral("BŁĄD! Brak miejsca na dysku (ponowna próba za 1 s)")))
            << statusTexts.join(u'|').toStdString();
        // Nothing is left on record to act on at a later start.
        EXPECT_TRUE(QDir(home.home.filePath(QStringLiteral("ostrevo-jobs")))
                        .entryList({QStringLiteral("*.job")}, QDir::Files)
                        .isEmpty());
    }
}
