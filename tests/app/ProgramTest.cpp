// The real executable, run as a subprocess against real directories.

#include "support/PdfTools.h"
#include "support/ProgramInstall.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>

#include <unistd.h>

using namespace ostrevo::test;

namespace {

// The environment of a session without XDG_RUNTIME_DIR (su, cron, some containers).
QProcessEnvironment WithoutRuntimeDir(QProcessEnvironment env, const QString &tmp, const QString &cache)
{
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    env.insert(QStringLiteral("TMPDIR"), tmp);
    env.insert(QStringLiteral("XDG_CACHE_HOME"), cache);
    return env;
}

std::unique_ptr<QProcess> Start(const QProcessEnvironment &env, const QStringList &args)
{
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(env);
    p->start(OstrevoBinary(), args);
    p->waitForStarted();
    return p;
}

int Finish(QProcess *p, QByteArray *err)
{
    p->waitForFinished(60000);
    *err += p->readAllStandardError();
    return p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
}


} // namespace

TEST(Program, HelpVersionAndBadArguments)
{
    Install install;
    QProcess p;
    p.start(OstrevoBinary(), {QStringLiteral("--help")});
    p.waitForFinished();
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(p.readAllStandardOutput().contains("--headless"));
    p.start(OstrevoBinary(), {QStringLiteral("--version")});
    p.waitForFinished();
    EXPECT_EQ(p.readAllStandardOutput().trimmed(), "Ostrevo v 2.02.010");
    p.start(OstrevoBinary(), {QStringLiteral("--bogus")});
    p.waitForFinished();
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(p.readAllStandardError().contains("unknown argument: --bogus"));
}

TEST(Program, OncePerformsWaitingJobsAndExits)
{
    Install install;
    install.job(QStringLiteral("EMPTY"), "// nic\r\n");
    install.job(QStringLiteral("FTP"), "<FTP>\r\nFILE=a\r\n<END>\r\n");
    install.job(QStringLiteral("FAKTURA"), "FAKTURA VAT NR 1/2026\r\n");
    const QByteArray iniBefore = ReadFile(install.home.filePath(QStringLiteral("Ostrevo.ini")));

    QByteArray err;
    EXPECT_EQ(install.run({QStringLiteral("--once")}, &err), 0) << err.constData();
    // The job files are gone; the FTP job, which names no file, says so in its result.
    EXPECT_EQ(Entries(install.jobs), QStringList{QStringLiteral("Errors")});
    const QByteArray journal = install.journal();
    // Each job is also one line on stderr, the journal's line after "job" and a tab.
    for (const QByteArray &line : journal.split('\n'))
        EXPECT_TRUE(line.isEmpty() || err.contains("ostrevo: job\t" + line + '\n')) << err.constData();
    EXPECT_EQ(journal.count('\n'), 3) << journal.constData();
    EXPECT_TRUE(journal.contains("EMPTY.txt\tjkEmpty"));
    EXPECT_TRUE(journal.contains("FTP.txt\tjkFtp"));
    EXPECT_TRUE(journal.contains("FAKTURA.txt\tjkText"));
    // The printout went to the built-in printer.
    EXPECT_TRUE(QFile::exists(install.home.filePath(QStringLiteral("out/FAKTURA.pdf"))))
        << Entries(install.home.filePath(QStringLiteral("out"))).join(u' ').toStdString();
    // --once writes no settings.
    EXPECT_EQ(ReadFile(install.home.filePath(QStringLiteral("Ostrevo.ini"))), iniBefore);
}

TEST(Program, SymbolFileIsFoundWhateverTheCaseOfItsName)
{
    // Index 6 (bold on) emptied: "<2xG>" prints as text.
    for (const char *name : {"DefSym.ovx", "DEFSYM.OVX", "defsym.Ovx"}) {
        SCOPED_TRACE(name);
        Install install;
        WriteFile(install.home.filePath(QString::fromLatin1(name)), "6=\r\n");
        install.job(QStringLiteral("SYMBOLE"), "A<2xG>B\r\n");
        QByteArray err;
        EXPECT_EQ(install.run({QStringLiteral("--once")}, &err), 0) << err.constData();
        const QString text = PdfText(install.home.filePath(QStringLiteral("out/SYMBOLE.pdf")));
        EXPECT_TRUE(text.contains(QStringLiteral("A<2xG>B"))) << text.toStdString();
    }
}

TEST(Program, OnceReportsFailedSettingsInItsExitCode)
{
    Install install("Timer=1\r\n");
    QDir(install.jobs).removeRecursively();
    EXPECT_EQ(install.run({QStringLiteral("--once")}), 1);

    Install printer("Timer=1\r\n");
    WriteFile(printer.home.filePath(QStringLiteral("Ostrevo.ini")),
              "[Opcje]\r\nKatalog=" + printer.jobs.toUtf8() + "\r\nDrukarka=Nie Ma Takiej\r\n");
    EXPECT_EQ(printer.run({QStringLiteral("--once")}), 2);
}

TEST(Program, HeadlessMonitorsUntilTerminatedAndWritesItsSettings)
{
    Install install;
    auto monitor = install.start({QStringLiteral("--headless")});
    QByteArray log;
    ASSERT_TRUE(WaitFor([&] {
        monitor->waitForReadyRead(100);
        log += monitor->readAllStandardError();
        return log.contains("running: Tryb monitorowania: TIMER");
    })) << log.constData();
    install.job(QStringLiteral("A"), "A\r\n");
    ASSERT_TRUE(WaitFor([&] { return Entries(install.jobs).isEmpty(); })) << "job not picked up";
    EXPECT_TRUE(install.journal().contains("A.txt\tjkText"));

    // A second instance on the same program directory ends at once and empties nothing.
    install.job(QStringLiteral("WAIT"), "x\r\n");
    WriteFile(install.jobs + QStringLiteral("/ORPHAN.txt"), "x\r\n");
    QByteArray err;
    EXPECT_EQ(install.run({QStringLiteral("--headless")}, &err), 5);
    EXPECT_TRUE(QFile::exists(install.jobs + QStringLiteral("/ORPHAN.txt")));

    monitor->terminate(); // SIGTERM
    ASSERT_TRUE(monitor->waitForFinished(10000));
    EXPECT_EQ(monitor->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(monitor->exitCode(), 0);
    const QByteArray ini = ReadFile(install.home.filePath(QStringLiteral("Ostrevo.ini")));
    EXPECT_TRUE(ini.contains("Version=v 2.02.010\r\n")) << ini.constData();
    EXPECT_TRUE(ini.contains("Monitorowanie=1\r\n"));
    // A service never writes the desktop program's login entry, though AutoRun is on.
    EXPECT_FALSE(QFile::exists(install.config.filePath(QStringLiteral("autostart/Ostv.desktop"))));
}

TEST(Program, AMistypedHomeIsRefusedAndNothingIsCreated)
{
    Install install;
    const QString missing = install.home.filePath(QStringLiteral("nie-ma"));
    for (const QString &mode : {QStringLiteral("--headless"), QStringLiteral("--once")}) {
        auto run = Start(install.env(), {QStringLiteral("--home"), missing, mode});
        QByteArray err;
        EXPECT_EQ(Finish(run.get(), &err), 1) << mode.toStdString();
        EXPECT_TRUE(err.contains("does not exist")) << err.constData();
    }
    EXPECT_FALSE(QFile::exists(missing));
    EXPECT_FALSE(QFile::exists(install.config.filePath(QStringLiteral("autostart"))));
}

TEST(Program, ADisplayThatCannotBeOpenedIsExplainedInsteadOfAnAbort)
{
    Install install;
    QProcessEnvironment env = install.env();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    // A display number nothing serves: no socket, no lock.
    int number = 90;
    while (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) || QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
        ++number;
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(number));
    auto run = Start(env, {QStringLiteral("--home"), install.home.path()});
    QByteArray err;
    EXPECT_EQ(Finish(run.get(), &err), 1) << err.constData();
    EXPECT_TRUE(err.contains("cannot be opened") && err.contains("--headless")) << err.constData();
}

TEST(Program, StartClearsOnlyWhatTheLastCleanStopLeftUnperformed)
{
    // Clear and the work directories' Clear... on, as by default.
    Install install("Timer=0\r\nMonitorowanie=1\r\n");
    // Written while no monitor ran: performed at the start, never cleared.
    install.job(QStringLiteral("OLD"), "x\r\n");
    QDir().mkpath(install.jobs + QStringLiteral("/pdf/keep"));
    WriteFile(install.jobs + QStringLiteral("/pdf/a.pdf"), "x");
    WriteFile(install.jobs + QStringLiteral("/pdf/keep/b.pdf"), "x");
    auto monitor = install.start({QStringLiteral("--headless")});
    QByteArray log;
    ASSERT_TRUE(Install::waitRunning(monitor.get(), &log)) << log.constData();
    ASSERT_TRUE(WaitFor([&] { return install.journal().contains("OLD.txt\tjkText"); }));
    EXPECT_TRUE(QFile::exists(install.jobs + QStringLiteral("/pdf/a.pdf")));

    // At the stop: a text without its marker, and a job that waits while paused.
    WriteFile(install.jobs + QStringLiteral("/SIEROTA.txt"), "x\r\n");
    ASSERT_EQ(install.run({QStringLiteral("--pause")}), 0);
    install.job(QStringLiteral("WSTRZYMANY"), "x\r\n");
    monitor->terminate();
    ASSERT_TRUE(monitor->waitForFinished(15000));
    // While the monitor is down: a new job, and a file for the PDF folder.
    install.job(QStringLiteral("NOWY"), "x\r\n");
    WriteFile(install.jobs + QStringLiteral("/pdf/c.pdf"), "x");

    monitor = install.start({QStringLiteral("--headless")});
    log.clear();
    ASSERT_TRUE(Install::waitRunning(monitor.get(), &log)) << log.constData();
    ASSERT_TRUE(WaitFor([&] { return install.journal().contains("NOWY.txt\tjkText"); }));
    EXPECT_EQ(Entries(install.jobs), QStringList{QStringLiteral("pdf")});
    EXPECT_EQ(Entries(install.jobs + QStringLiteral("/pdf")), (QStringList{QStringLiteral("c.pdf"), QStringLiteral("keep")}));
    EXPECT_TRUE(QFile::exists(install.jobs + QStringLiteral("/pdf/keep/b.pdf")));
    // Every file cleared is journaled first, with its size and time.
    const QByteArray journal = install.journal();
    for (const char *name : {"\tSIEROTA.txt\t-\t", "\tWSTRZYMANY.txt\t-\t", "\tWSTRZYMANY.END\t-\t", "\ta.pdf\t-\t"})
        EXPECT_TRUE(journal.contains(name)) << name << "\n" << journal.constData();
    EXPECT_EQ(journal.count("CLEARED: "), 4) << journal.constData();
    EXPECT_FALSE(journal.contains("WSTRZYMANY.txt\tjkText")) << journal.constData();

    // A kill leaves no note of a clean stop: the next start clears nothing.
    WriteFile(install.jobs + QStringLiteral("/SIEROTA2.txt"), "x\r\n");
    ::kill(pid_t(monitor->processId()), SIGKILL);
    monitor->waitForFinished(15000);
    monitor = install.start({QStringLiteral("--headless")});
    log.clear();
    ASSERT_TRUE(Install::waitRunning(monitor.get(), &log)) << log.constData();
    EXPECT_TRUE(QFile::exists(install.jobs + QStringLiteral("/SIEROTA2.txt")));
    monitor->terminate();
    monitor->waitForFinished(15000);
}

TEST(Program, SecondStartThroughALinkIsTheSameInstanceAndSaysSo)
{
    Install install;
    // The same program directory through a symbolic link.
    QTemporaryDir other;
    const QString link = other.filePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(install.home.path(), link));
    auto monitor = install.start({QStringLiteral("--headless")});
    QByteArray log;
    ASSERT_TRUE(Install::waitRunning(monitor.get(), &log)) << log.constData();

    install.job(QStringLiteral("WAIT"), "x\r\n");
    WriteFile(install.jobs + QStringLiteral("/ORPHAN.txt"), "x\r\n");
    QDir().mkpath(install.jobs + QStringLiteral("/FTP"));
    WriteFile(install.jobs + QStringLiteral("/FTP/wynik.txt"), "x");
    for (const QString &home : {link, link + QStringLiteral("/"), install.home.path() + QStringLiteral("/jobs/..")}) {
        SCOPED_TRACE(home.toStdString());
        for (const QString &mode : {QStringLiteral("--headless"), QStringLiteral("--once")}) {
            auto second = Start(install.env(), {QStringLiteral("--home"), home, mode});
            QByteArray err;
            const int rc = Finish(second.get(), &err);
            // Not silent: it says that another instance runs (the monitor, where), and
            // both did nothing: one exit code for that.
            EXPECT_EQ(rc, 5);
            if (mode == QStringLiteral("--once")) {
                EXPECT_TRUE(err.contains("already runs")) << err.constData();
            } else {
                EXPECT_TRUE(err.contains("already runs for " + QFileInfo(install.home.path()).canonicalFilePath().toUtf8()))
                    << err.constData();
            }
        }
    }
    // Nothing of the first one's was emptied.
    EXPECT_TRUE(QFile::exists(install.jobs + QStringLiteral("/ORPHAN.txt")));
    EXPECT_TRUE(QFile::exists(install.jobs + QStringLiteral("/FTP/wynik.txt")));
    monitor->terminate();
    ASSERT_TRUE(monitor->waitForFinished(10000));
}

TEST(Program, WithoutRuntimeDirTheLockIsInAPrivateDirectory)
{
    Install install;
    QTemporaryDir tmp;
    QTemporaryDir cache;
    const QProcessEnvironment env = WithoutRuntimeDir(install.env(), tmp.path(), cache.path());
    const QStringList args = {QStringLiteral("--home"), install.home.path(), QStringLiteral("--headless")};
    const QString privateDir = tmp.filePath(QStringLiteral("ostrevo-%1").arg(::getuid()));

    auto monitor = Start(env, args);
    QByteArray log;
    ASSERT_TRUE(Install::waitRunning(monitor.get(), &log)) << log.constData();
    QFileInfo dir(privateDir);
    EXPECT_TRUE(dir.isDir() && !dir.isSymLink());
    EXPECT_EQ(dir.permissions() & 0x0777, QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
    // The lock is inside it, none lies about in /tmp (Qt keeps a runtime-USER of its own).
    EXPECT_TRUE(QDir(privateDir).entryList({QStringLiteral("*.lock")}, QDir::Files).size() == 1) << Entries(privateDir).join(u' ').toStdString();
    EXPECT_TRUE(QDir(tmp.path()).entryList({QStringLiteral("*.lock")}, QDir::Files).isEmpty());
    QByteArray err;
    EXPECT_EQ(Finish(Start(env, args).get(), &err), 5);
    EXPECT_TRUE(err.contains("already runs for")) << err.constData();
    monitor->terminate();
    ASSERT_TRUE(monitor->waitForFinished(10000));

    // Someone made the name a link to elsewhere: it is not used, nothing lands there,
    // and the monitor still runs, once.
    QDir(privateDir).removeRecursively();
    const QString elsewhere = tmp.filePath(QStringLiteral("elsewhere"));
    QDir().mkpath(elsewhere);
    ASSERT_TRUE(QFile::link(elsewhere, privateDir));
    monitor = Start(env, args);
    log.clear();
    ASSERT_TRUE(Install::waitRunning(monitor.get(), &log)) << log.constData();
    EXPECT_TRUE(Entries(elsewhere).isEmpty());
    err.clear();
    EXPECT_EQ(Finish(Start(env, args).get(), &err), 5);
    EXPECT_TRUE(err.contains("already runs for")) << err.constData();
    monitor->terminate();
    ASSERT_TRUE(monitor->waitForFinished(10000));
}

TEST(Program, AnotherUsersDirectoryCannotHoldTheMonitorOff)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root, to act as another user with setpriv";
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    const QString flock = QStandardPaths::findExecutable(QStringLiteral("flock"));
    if (setpriv.isEmpty() || flock.isEmpty())
        GTEST_SKIP() << "setpriv or flock (util-linux) missing";
    Install install;
    QTemporaryDir tmp;
    QFile::setPermissions(tmp.path(), QFileDevice::Permissions(0x7777)); // a /tmp: everyone writes
    const QProcessEnvironment env = WithoutRuntimeDir(install.env(), tmp.path(), tmp.filePath(QStringLiteral("cache")));

    // User "nobody" makes the private directory's name first, open to all, and holds a
    // lock on it.
    const QString taken = tmp.filePath(QStringLiteral("ostrevo-0"));
    QProcess attacker;
    attacker.start(setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                             QStringLiteral("sh"), QStringLiteral("-c"),
                             QStringLiteral("umask 0; mkdir '%1' && exec %2 '%1' sleep 60").arg(taken, flock)});
    ASSERT_TRUE(attacker.waitForStarted());
    ASSERT_TRUE(WaitFor([&] { return QFileInfo(taken).isDir(); })) << attacker.readAllStandardError().constData();
    EXPECT_EQ(QFileInfo(taken).ownerId(), 65534u);

    auto monitor = Start(env, {QStringLiteral("--home"), install.home.path(), QStringLiteral("--headless")});
    QByteArray log;
    EXPECT_TRUE(Install::waitRunning(monitor.get(), &log)) << log.constData();
    EXPECT_TRUE(Entries(taken).isEmpty()); // nothing of ours in the other user's directory
    monitor->terminate();
    monitor->waitForFinished(10000);
    attacker.kill();
    attacker.waitForFinished();
}

TEST(Program, HeadlessAndOnceUseTheOffscreenPlatformWhateverTheEnvironmentSays)
{
    Install install("Timer=1\r\n");
    install.job(QStringLiteral("A"), "A\r\n");
    QProcessEnvironment env = install.env();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    QByteArray err;
    EXPECT_EQ(Finish(Start(env, {QStringLiteral("--home"), install.home.path(), QStringLiteral("--once")}).get(), &err), 0)
        << err.constData();
    EXPECT_TRUE(install.journal().contains("A.txt\tjkText")) << err.constData();

    auto monitor = Start(env, {QStringLiteral("--home"), install.home.path(), QStringLiteral("--headless")});
    QByteArray log;
    EXPECT_TRUE(WaitFor([&] {
        monitor->waitForReadyRead(100);
        log += monitor->readAllStandardError();
        return log.contains("running") || monitor->state() == QProcess::NotRunning;
    }));
    EXPECT_EQ(monitor->state(), QProcess::Running) << log.constData();
    monitor->terminate();
    monitor->waitForFinished(10000);
}

TEST(Program, SettingsThatCannotBeWrittenAtExitAreReported)
{
    Install install;
    auto monitor = install.start({QStringLiteral("--headless")});
    QByteArray log;
    ASSERT_TRUE(Install::waitRunning(monitor.get(), &log)) << log.constData();
    // Read at start; then a directory takes the file's place: no write can succeed.
    const QString ini = install.home.filePath(QStringLiteral("Ostrevo.ini"));
    QFile::remove(ini);
    ASSERT_TRUE(QDir().mkpath(ini + QStringLiteral("/x")));
    monitor->terminate();
    ASSERT_TRUE(monitor->waitForFinished(10000));
    log += monitor->readAllStandardError();
    EXPECT_TRUE(log.contains("warning: ") && log.contains(ini.toUtf8())) << log.constData();
}

TEST(Program, TheStartWithSystemEntryRunsThisConfiguration)
{
    // The desktop program (offscreen) keeps the entry.
    Install install;
    auto monitor = install.start({});
    ASSERT_TRUE(WaitFor([&] { return install.run({QStringLiteral("--status")}) == 0; }))
        << monitor->readAllStandardError().constData();
    monitor->terminate();
    ASSERT_TRUE(monitor->waitForFinished(10000));
    const QByteArray entry = ReadFile(install.config.filePath(QStringLiteral("autostart/Ostv.desktop")));
    EXPECT_TRUE(entry.contains("\nExec=\"" + QFileInfo(OstrevoBinary()).canonicalFilePath().toUtf8() + "\" \"--home\" \""
                               + install.home.path().toUtf8() + "\"\n"))
        << entry.constData();
}
