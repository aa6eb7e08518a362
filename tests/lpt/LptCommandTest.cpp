// `ostrevo --lpt PORT` as DOSEMU2 runs it: the print job arrives through a pipe in pieces,
// and is printed by the running monitor, or by the command itself when none runs.

#include "PortRig.h"

#include "support/PdfTools.h"
#include "support/ProgramInstall.h"

#include <gtest/gtest.h>

using namespace ostrevo::test;

namespace {

// Ostrevo.ini's [Opcje] keys, then the ports' sections (the built-in printer's section follows).
QByteArray WithPorts(const QByteArray &ports, const QByteArray &options = "Timer=1\r\n")
{
    return options + ports;
}

struct LptRun {
    int code = -1;
    QByteArray out;
    QByteArray err;
};

// The command with the print job written to its standard input piece by piece.
LptRun Lpt(const Install &install, const QString &port, const QList<QByteArray> &pieces)
{
    auto p = install.start({QStringLiteral("--lpt"), port});
    for (const QByteArray &piece : pieces) {
        p->write(piece);
        p->waitForBytesWritten(5000);
        QThread::msleep(150);
    }
    p->closeWriteChannel();
    LptRun run;
    if (!p->waitForFinished(60000))
        return run;
    run.code = p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
    run.out = p->readAllStandardOutput();
    run.err = p->readAllStandardError();
    return run;
}

} // namespace

TEST(LptCommand, WithoutAMonitorItPrintsWhatCameThroughThePipeItself)
{
    Install install(WithPorts("[LPT1]\r\nKatalog=lpt1\r\n"));
    const QString port = install.home.filePath(QStringLiteral("lpt1"));
    QDir().mkpath(port);
    const LptRun run = Lpt(install, QStringLiteral("lpt1"), {"\x1b@Faktura", " nr 7/2026", "\r\n\x0c"});
    EXPECT_EQ(run.code, 0) << run.err.constData();
    // The emulator's screen gets nothing.
    EXPECT_TRUE(run.out.isEmpty()) << run.out.constData();
    const QString out = install.home.filePath(QStringLiteral("out"));
    const QStringList pdfs = PdfFilesIn(out);
    ASSERT_EQ(pdfs.size(), 1);
    EXPECT_TRUE(pdfs.at(0).startsWith(QStringLiteral("LPT1-"))) << pdfs.at(0).toStdString();
    EXPECT_EQ(PdfText(out + u'/' + pdfs.at(0)).simplified(), QStringLiteral("Faktura nr 7/2026"));
    EXPECT_TRUE(Entries(port).isEmpty()) << Entries(port).join(u' ').toStdString();
    const QString journal = QString::fromUtf8(install.journal());
    EXPECT_EQ(journal.count(QStringLiteral("\tjkLpt\t")), 1) << journal.toStdString();
    EXPECT_TRUE(journal.contains(QStringLiteral("OK: LPT1: ESC/P, strona kodowa 852, stron: 1; PDF: ") + out)) << journal.toStdString();
}

TEST(LptCommand, WhatIsNoPrintJobWritesNothing)
{
    Install install(WithPorts("[LPT1]\r\nKatalog=lpt1\r\n[LPT2]\r\nKodowanie=852\r\n"));
    const QString port = install.home.filePath(QStringLiteral("lpt1"));
    QDir().mkpath(port);

    // DOSEMU2 runs the command when a program opens the printer and prints nothing.
    LptRun run = Lpt(install, QStringLiteral("LPT1"), {});
    EXPECT_EQ(run.code, 0) << run.err.constData();
    // A port without its directory, and a port Ostrevo.ini does not name: said, not kept.
    run = Lpt(install, QStringLiteral("LPT2"), {EscpJob("X")});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains("[LPT2] in Ostrevo.ini: brak Katalog")) << run.err.constData();
    EXPECT_TRUE(run.err.contains("the print job was not kept")) << run.err.constData();
    run = Lpt(install, QStringLiteral("LPT3"), {EscpJob("X")});
    EXPECT_EQ(run.code, 1);
    EXPECT_TRUE(run.err.contains("no section [LPT3]")) << run.err.constData();
    run = Lpt(install, QStringLiteral("PRN"), {EscpJob("X")});
    EXPECT_EQ(run.code, 2) << run.err.constData();

    EXPECT_TRUE(Entries(port).isEmpty()) << Entries(port).join(u' ').toStdString();
    EXPECT_TRUE(PdfFilesIn(install.home.filePath(QStringLiteral("out"))).isEmpty());
    EXPECT_FALSE(install.journal().contains("jkLpt")) << install.journal().constData();
}

TEST(LptCommand, BesideARunningMonitorTheMonitorPrintsIt)
{
    // A bad port is skipped and said so; the good one goes on.
    Install install(WithPorts("[LPT1]\r\nKatalog=lpt1\r\nOtworz=1\r\n[LPT2]\r\nKatalog=lpt2\r\nCisza=szybko\r\n",
                              "Timer=0\r\nMonitorowanie=1\r\n"));
    const QString port = install.home.filePath(QStringLiteral("lpt1"));
    QDir().mkpath(port);
    QDir().mkpath(install.home.filePath(QStringLiteral("lpt2")));
    auto monitor = install.start({QStringLiteral("--headless")});
    QByteArray log;
    ASSERT_TRUE(Install::waitRunning(monitor.get(), &log)) << log.constData();
    EXPECT_TRUE(log.contains("warning: Ostrevo.ini: [LPT2] pominięty: Cisza=szybko: dozwolona liczba od 0 do 600000"))
        << log.constData();

    QElapsedTimer clock;
    clock.start();
    const LptRun run = Lpt(install, QStringLiteral("LPT1"), {"\x1b@Przez", " monitor\r\n\x0c"});
    EXPECT_EQ(run.code, 0) << run.err.constData();
    EXPECT_LT(clock.elapsed(), 10000) << "the command waited for the print, not only for its hand-over";
    // The monitor's own log has the print job's line: it was the monitor that printed it.
    ASSERT_TRUE(WaitFor([&] {
        monitor->waitForReadyRead(100);
        log += monitor->readAllStandardError();
        return log.contains("\tLPT1-");
    })) << log.constData();
    const QList<QByteArray> logLines = log.split('\n');
    EXPECT_TRUE(std::any_of(logLines.cbegin(), logLines.cend(), [](const QByteArray &line) {
        return line.startsWith("ostrevo: job\t") && line.contains("\tLPT1-") && line.contains("\tjkLpt\t") && line.contains("\tOK: LPT1: ESC/P");
    })) << log.constData();
    const QString out = install.home.filePath(QStringLiteral("out"));
    ASSERT_EQ(PdfFilesIn(out).size(), 1);
    EXPECT_EQ(PdfText(out + u'/' + PdfFilesIn(out).at(0)).simplified(), QStringLiteral("Przez monitor"));
    EXPECT_TRUE(Entries(port).isEmpty()) << Entries(port).join(u' ').toStdString();

    monitor->terminate();
    ASSERT_TRUE(monitor->waitForFinished(15000));
    const QString journal = QString::fromUtf8(install.journal());
    EXPECT_EQ(journal.count(QStringLiteral("\tLPT1-")), 1) << journal.toStdString();
    EXPECT_EQ(journal.count(QStringLiteral("[LPT2] pominięty")), 1) << journal.toStdString();
    // A service has no desktop to open the PDF on, and says so.
    EXPECT_TRUE(journal.contains(QStringLiteral("; nie otwarto: monitor działa bez pulpitu"))) << journal.toStdString();
}

TEST(LptCommand, CheckOfACaptureTellsWhatTheRendererFinds)
{
    Install install(WithPorts("[LPT1]\r\nKatalog=lpt1\r\nKodowanie=auto\r\n"));
    const QString port = install.home.filePath(QStringLiteral("lpt1"));
    QDir().mkpath(port);
    // "Zażółć gęślą jaźń" in Mazovia, and a command the printer does not know.
    const QString capture = port + QStringLiteral("/prt0001.prn");
    static const char text[] = "Za\xa7\xa2\x92\x8d g\x91\x9el\x86 ja\xa6\xa4\x1b(Q\x02\x00" "AB";
    WriteFile(capture, EscpJob(QByteArray(text, sizeof text - 1)));
    auto p = install.start({QStringLiteral("--check"), capture});
    ASSERT_TRUE(p->waitForFinished(60000));
    const QString out = QString::fromUtf8(p->readAllStandardOutput());
    EXPECT_EQ(p->exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("Port: LPT1 (") + port + u')')) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("Język: ESC/P\nStrona kodowa: Mazowia (rozpoznana po bajtach)\nStron: 1\n"
                                            "Nieznane polecenia: ESC ( Q\n")))
        << out.toStdString();
    EXPECT_TRUE(QFile::exists(capture)) << "a check prints and deletes nothing";
    EXPECT_TRUE(install.journal().isEmpty());

    // --preview: the same report, and the PDF the port would make, where it is asked for;
    // never over the capture itself.
    const QString preview = install.home.filePath(QStringLiteral("podglad.pdf"));
    auto shown = install.start({QStringLiteral("--preview"), capture, preview});
    ASSERT_TRUE(shown->waitForFinished(60000));
    const QString report = QString::fromUtf8(shown->readAllStandardOutput());
    EXPECT_EQ(shown->exitCode(), 0) << report.toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("Nieznane polecenia: ESC ( Q\nPodgląd: ") + preview)) << report.toStdString();
    EXPECT_TRUE(PdfText(preview).contains(QStringLiteral("Zażółć gęślą jaźń")));
    auto refused = install.start({QStringLiteral("--preview"), capture, capture});
    ASSERT_TRUE(refused->waitForFinished(60000));
    EXPECT_EQ(refused->exitCode(), 6);
    EXPECT_TRUE(QFile::exists(capture));
    EXPECT_TRUE(install.journal().isEmpty());
}
