// The real executable, run as a subprocess against real directories.

#include "support/PdfTools.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

using namespace ostrevo::test;

namespace {

struct Install {
    QTemporaryDir home;
    QTemporaryDir config; // XDG_CONFIG_HOME: the autostart entry lands here, not in ~
    QTemporaryDir runtime;
    QString jobs = home.filePath(QStringLiteral("jobs"));

    explicit Install(const QByteArray &options = "Timer=1\r\nMonitorowanie=1\r\n")
    {
        QDir().mkpath(jobs);
        WriteFile(home.filePath(QStringLiteral("Ostrevo.ini")),
                  "[Opcje]\r\nKatalog=" + jobs.toUtf8() + "\r\nDrukarka=Ostrevo PDF\r\n" + options
                      + "[DrukarkaPDF]\r\nKatalog=" + home.filePath(QStringLiteral("out")).toUtf8() + "\r\n");
    }

    QProcessEnvironment env() const
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        e.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return e;
    }

    std::unique_ptr<QProcess> start(const QStringList &args) const
    {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env());
        p->start(OstrevoBinary(), QStringList{QStringLiteral("--home"), home.path()} + args);
        p->waitForStarted();
        return p;
    }

    int run(const QStringList &args, QByteArray *err = nullptr) const
    {
        auto p = start(args);
        p->waitForFinished(60000);
        if (err)
            *err = p->readAllStandardError();
        return p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
    }

    void job(const QString &name, const QByteArray &text) const
    {
        WriteFile(jobs + u'/' + name + QStringLiteral(".txt"), text);
        WriteFile(jobs + u'/' + name + QStringLiteral(".END"), {});
    }

    QByteArray journal() const { return ReadFile(home.filePath(QStringLiteral("ostrevo.log"))); }
};


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
    EXPECT_TRUE(Entries(install.jobs).isEmpty());
    const QByteArray journal = install.journal();
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
    EXPECT_EQ(install.run({QStringLiteral("--headless")}, &err), 0);
    EXPECT_TRUE(QFile::exists(install.jobs + QStringLiteral("/ORPHAN.txt")));

    monitor->terminate(); // SIGTERM
    ASSERT_TRUE(monitor->waitForFinished(10000));
    EXPECT_EQ(monitor->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(monitor->exitCode(), 0);
    const QByteArray ini = ReadFile(install.home.filePath(QStringLiteral("Ostrevo.ini")));
    EXPECT_TRUE(ini.contains("Version=v 2.02.010\r\n")) << ini.constData();
    EXPECT_TRUE(ini.contains("Monitorowanie=1\r\n"));
    // AutoRun defaults to on: the autostart entry was written into XDG_CONFIG_HOME.
    EXPECT_TRUE(QFile::exists(install.config.filePath(QStringLiteral("autostart/Ostv.desktop"))));
}

TEST(Program, StartEmptiesJobFilesAndWorkDirectories)
{
    Install install("Timer=1\r\nMonitorowanie=0\r\n");
    install.job(QStringLiteral("OLD"), "x\r\n");
    QDir().mkpath(install.jobs + QStringLiteral("/pdf/keep"));
    WriteFile(install.jobs + QStringLiteral("/pdf/a.pdf"), "x");
    WriteFile(install.jobs + QStringLiteral("/pdf/keep/b.pdf"), "x");
    auto monitor = install.start({QStringLiteral("--headless")});
    QByteArray log;
    ASSERT_TRUE(WaitFor([&] {
        monitor->waitForReadyRead(100);
        log += monitor->readAllStandardError();
        return log.contains("paused");
    })) << log.constData();
    EXPECT_EQ(Entries(install.jobs), QStringList{QStringLiteral("pdf")});
    EXPECT_EQ(Entries(install.jobs + QStringLiteral("/pdf")), QStringList{QStringLiteral("keep")});
    EXPECT_TRUE(QFile::exists(install.jobs + QStringLiteral("/pdf/keep/b.pdf")));
    monitor->terminate();
    monitor->waitForFinished(10000);
}
