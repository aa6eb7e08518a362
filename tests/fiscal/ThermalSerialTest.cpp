// <DF> jobs through the real loader and the serial Thermal driver to the printer emulator
// on a pseudo-terminal: the frames on the wire byte for byte, what the paper shows, the
// printer's state, and every way the printer or the port can fail.

#include "fiscal/PrinterEmulator.h"
#include "support/ProgramInstall.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

// The items of the protocol's worked example: 1 x 2.50 at A, 2 x 3.10 at B.
const QByteArray Chleb = Fields({"1", "Chleb", "", "1", "0", "", "250", "23", "250"});
const QByteArray Mleko = Fields({"2", "Mleko", "", "2", "0", "", "310", "8", "620"});
// CP852 ę is A9.
const QByteArray Summary = Fields({"00", "P", "12", "Dzi\xA9kujemy", "G", "0"});

const QByteArray Can = "<CAN>";
const QByteArray Enq = "<ENQ>";
const QByteArray Serm3 = "\x1bP3#e8A\x1b\\"; // the protocol's own check values
const QByteArray Header = "\x1bP0$h83\x1b\\";
const QByteArray ChlebLine = "\x1bP1$lChleb\r1\rA/2.50/2.50/99\x1b\\";
const QByteArray MlekoLine = "\x1bP2$lMleko\r2\rB/3.10/6.20/9C\x1b\\";
const QByteArray Cancel = WireFrame("0;0;0$e001\rKIEROWNIK\r");

// Whether another program could take the port now.
bool PortFree(const QString &device)
{
    const int fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

QByteArray Today()
{
    const QDate today = QDate::currentDate();
    return "1;" + QByteArray::number(today.year() % 100) + ';' + QByteArray::number(today.month()) + ';'
           + QByteArray::number(today.day()) + "#r";
}

} // namespace

TEST(ThermalSerial, ReceiptOnTheWire)
{
    SerialRig s;
    const JobResult result = s.run(DfJob("THERMAL", 1, {Chleb, Mleko, Summary}, "PL_ZNAKI=L\r\n"));
    EXPECT_EQ(result.outcome, JobResult::Done) << result.detail.toStdString();
    EXPECT_EQ(s.result(), "error=OK\r\n");
    // The end: one footer line (the extra line, in Mazovia: ę is 91), the document as the
    // system number, paid in cash.
    const QByteArray end = WireFrame("1;0;0;0;0;0;0;1;0;0;1;0$y001\rKIEROWNIK\r12\rDzi\x91kujemy\r"
                                     "8.70/8.70/0/8.70/0/");
    EXPECT_EQ(s.printer.received(), (QList<QByteArray>{Can, Serm3, Enq, Header, ChlebLine, MlekoLine, end}));
    EXPECT_EQ(s.printer.rollLines(),
              (QStringList{QStringLiteral("PARAGON FISKALNY"), QStringLiteral("Chleb 1 x 2.50 = 2.50 A"),
                           QStringLiteral("Mleko 2 x 3.10 = 6.20 B"), QStringLiteral("SP.OP. A 2.50"),
                           QStringLiteral("SP.OP. B 6.20"), QStringLiteral("SUMA PLN 8.70"),
                           QStringLiteral("GOTÓWKA 8.70"), QStringLiteral("Nr sys. 12"),
                           QStringLiteral("Dziękujemy"), QStringLiteral("#1")}));
    EXPECT_FALSE(s.printer.state().value(QStringLiteral("par")).toBool());
    EXPECT_TRUE(PortFree(s.printer.device()));
    EXPECT_TRUE(s.failures().isEmpty()) << s.failures().join(u'\n').toStdString();

    // By card and by cheque: one payment form of that type, its amount; no cash.
    s.printer.clearRecords();
    s.run(DfJob("THERMAL", 1, {Chleb, Fields({"00", "F", "FV/7", "", "K", "250"})}));
    EXPECT_EQ(s.result(), "error=OK\r\n");
    EXPECT_EQ(s.printer.frames().last(),
              WireFrame("0;0;0;0;0;0;0;1;1;0;0;1;0$y001\rKIEROWNIK\rFV/7\rKarta\r2.50/2.50/0/0/2.50/0/"));
    EXPECT_TRUE(s.printer.rollLines().contains(QStringLiteral("KARTA 2.50")));
    s.run(DfJob("DF300", 1, {Chleb, Fields({"00", "R", "8", "", "C", "0"})}));
    EXPECT_EQ(s.result(), "error=OK\r\n");
    EXPECT_TRUE(s.printer.rollLines().contains(QStringLiteral("CZEK 2.50")));
    EXPECT_EQ(s.printer.state().value(QStringLiteral("receipts")).toInt(), 3);
}

TEST(ThermalSerial, ErrorsInsideAReceiptCancelIt)
{
    const struct {
        const char *name;
        QStringList options;
        QByteArray second;
        const char *result;
    } cases[] = {
        // The program's own data error, after a line went out.
        {"VAT rate missing", {}, Fields({"2", "Mleko", "", "2", "0", "", "310", "5", "620"}), "error=4\r\n"},
        // The printer's: 3 x 2.50 is not 7.49 (its error 20, reported 150).
        {"gross not price x quantity", {}, Fields({"2", "Mleko", "", "3", "0", "", "250", "8", "749"}), "error=150\r\n"},
        // An error status in the middle of the receipt.
        // The printer's own error number, in its own range (2000 + 18).
        {"error reply", {QStringLiteral("--fail"), QStringLiteral("$l:2:18")}, Mleko, "error=2018\r\n"},
        // More than the job's numbers hold: refused by the program before the driver.
        {"quantity of 11 digits", {}, Fields({"2", "Mleko", "", "12345678901", "3", "", "1", "8", "100"}),
         "error=39\r\n"},
    };
    for (const auto &c : cases) {
        SerialRig s(c.options);
        const JobResult result = s.run(DfJob("THERMAL", 1, {Chleb, c.second, Chleb, Summary}));
        EXPECT_EQ(result.outcome, JobResult::Failed) << c.name;
        EXPECT_EQ(s.result(), QByteArray(c.result)) << c.name;
        EXPECT_EQ(s.printer.frames().last(), Cancel) << c.name;
        EXPECT_EQ(s.printer.rollLines().last(), QStringLiteral("ANULOWANY")) << c.name;
        EXPECT_FALSE(s.printer.state().value(QStringLiteral("par")).toBool()) << c.name;
        EXPECT_TRUE(PortFree(s.printer.device())) << c.name;
    }

    // The printer's refusal, in the driver's log.
    SerialRig refused({QStringLiteral("--fail"), QStringLiteral("$l:1:18")});
    refused.run(DfJob("THERMAL", 1, {Chleb, Summary}));
    EXPECT_EQ(refused.failures().value(0).section(u' ', 2),
              QStringLiteral("p_LBTRSLN = 18: the printer refused the command with its error 18"));

    // A total that is not the printer's sum: refused at the end, then cancelled.
    SerialRig s;
    s.run(DfJob("THERMAL", 1, {Chleb, Fields({"00", "P", "1", "", "G", "300"})}));
    EXPECT_EQ(s.result(), "error=2027\r\n");
    EXPECT_EQ(s.printer.frames().last(), Cancel);
}

TEST(ThermalSerial, TextsAndNumbersTheWayThePrinterTakesThem)
{
    SerialRig s;
    // 60 characters, a control byte and a byte outside the printer's letters (CP852 ä),
    // Polish letters in CP852 (Ż BD, ó A2, ł 88, ć 86); 11 digits of quantity of which
    // three are leading zeros.
    const QByteArray longName = QByteArray("Ser") + '\x01' + "zolty\x84 " + QByteArray(50, 'x');
    const QByteArray items[] = {
        Fields({"1", longName.constData(), "", "1", "0", "", "100", "23", "100"}),
        Fields({"2", "\xBD\xA2\x88\x86", "", "00000001500", "3", "", "200", "23", "300"}),
    };
    s.run(DfJob("THERMAL", 1, {items[0], items[1], Fields({"00", "P", "1", "", "G", "0"})}, "PL_ZNAKI=L\r\n"));
    EXPECT_EQ(s.result(), "error=OK\r\n");
    const QList<QByteArray> frames = s.printer.frames();
    ASSERT_EQ(frames.size(), 5);
    const QByteArray cut = "Ser zolty? " + QByteArray(29, 'x');
    EXPECT_EQ(cut.size(), 40);
    EXPECT_EQ(frames.at(2), WireFrame("1$l" + cut + "\r1\rA/1.00/1.00/"));
    // Mazovia Ż ó ł ć: A1 A2 92 8D.
    EXPECT_EQ(frames.at(3), WireFrame("2$l\xA1\xA2\x92\x8D\r1.5\rA/2.00/3.00/"));
    EXPECT_TRUE(s.printer.rollLines().contains(QStringLiteral("Żółć 1.5 x 2.00 = 3.00 A")));
}

TEST(ThermalSerial, ReportsAndDisplay)
{
    SerialRig s;
    const struct {
        int function;
        QList<QByteArray> data;
        QByteArray frame;
        QStringList roll;
    } cases[] = {
        {2, {}, WireFrame(Today()),
         {QStringLiteral("RAPORT DOBOWY ") + QDate::currentDate().toString(Qt::ISODate), QStringLiteral("PARAGONY 0")}},
        {3, {"20240501", "20240517"}, "\x1bP24;5;1;24;5;17;0#oB4\x1b\\",
         {QStringLiteral("RAPORT OKRESOWY 2024-05-01 2024-05-17")}},
        {4, {"20240501", "20240531"}, WireFrame("24;5;1;24;5;31;1#o"),
         {QStringLiteral("PODSUMOWANIE SPRZEDAŻY 2024-05-01 2024-05-31")}},
        {5, {}, "\x1bP#jB6\x1b\\", {QStringLiteral("RAPORT NAPISÓW STAŁYCH")}},
        {10, {}, WireFrame("4$d", false), {}},
        {11, {}, WireFrame("1$d", false), {}},
        {12, {"1999"}, WireFrame("2$d19.99", false), {}},
    };
    for (const auto &c : cases) {
        s.printer.clearRecords();
        s.run(DfJob("DF300", c.function, c.data));
        EXPECT_EQ(s.result(), "error=OK\r\n") << c.function;
        EXPECT_EQ(s.printer.received(), (QList<QByteArray>{Can, Serm3, Enq, c.frame})) << c.function;
        EXPECT_EQ(s.printer.rollLines(), c.roll) << c.function;
    }
    EXPECT_EQ(s.printer.state().value(QStringLiteral("display")).toString(), QStringLiteral("19.99"));
    EXPECT_EQ(s.printer.state().value(QStringLiteral("drawer")).toInt(), 1);

    // The printer's refusal: an end before the start (its error 4).
    s.run(DfJob("DF300", 3, {"20240531", "20240501"}));
    EXPECT_EQ(s.result(), "error=2004\r\n");
}

TEST(ThermalSerial, APrinterThatFallsSilentOrVanishes)
{
    const struct {
        const char *name;
        QStringList options;
        const char *result;
        const char *next; // of the next job
        const char *logged; // the driver's log of the first failure
    } cases[] = {
        {"silent in mid-receipt", {QStringLiteral("--silent-at"), QStringLiteral("$l:2")}, "error=302\r\n",
         "error=302\r\n", " p_LBTRSLN = -2: %1: the printer does not answer"},
        // The port is gone for the next job too.
        {"cable pulled in mid-receipt", {QStringLiteral("--unplug-at"), QStringLiteral("$l:2")}, "error=304\r\n",
         "error=301\r\n", " p_LBTRSLN = -4: %1 failed or vanished"},
        {"out of paper", {QStringLiteral("--paper-out")}, "error=307\r\n", "error=307\r\n",
         " p_LBSERM = -7: the printer is out of paper, or its battery is flat"},
    };
    for (const auto &c : cases) {
        SerialRig s(c.options);
        // The port is named by a link of the test's own, which goes when the cable is pulled
        // as a device node goes with its cable: the pseudo-terminal's own number is free then,
        // and another test's printer may take it at once.
        const QString port = s.rig.program + QStringLiteral("/ttyFISKAL");
        ASSERT_TRUE(QFile::link(s.printer.device(), port));
        s.settings(ShortTimes, port.toUtf8());
        QElapsedTimer clock;
        clock.start();
        const JobResult result = s.run(DfJob("THERMAL", 1, {Chleb, Mleko, Summary}));
        // Within the answer time and one DLE query, and no time-out for each call left.
        EXPECT_LT(clock.elapsed(), 4500) << c.name;
        EXPECT_EQ(result.outcome, JobResult::Failed) << c.name;
        EXPECT_EQ(s.result(), QByteArray(c.result)) << c.name;
        const QStringList failures = s.failures();
        ASSERT_FALSE(failures.isEmpty()) << c.name;
        const QString logged = QString::fromUtf8(c.logged).replace(QStringLiteral("%1"), port);
        EXPECT_TRUE(failures.first().endsWith(logged))
            << failures.first().toStdString();
        if (QByteArray(c.next) != "error=301\r\n") {
            EXPECT_TRUE(PortFree(s.printer.device())) << c.name;
        } else {
            EXPECT_TRUE(WaitFor([&] { return s.printer.ended(); })) << c.name;
            QFile::remove(port);
        }
        // The next job fails alone, just as clearly.
        s.run(DfJob("THERMAL", 2));
        EXPECT_EQ(s.result(), QByteArray(c.next)) << c.name;
    }
}

TEST(ThermalSerial, BadCheckBytes)
{
    // Once: the line sent again, and the receipt goes through.
    SerialRig once({QStringLiteral("--fail"), QStringLiteral("$l:1:2")});
    once.run(DfJob("THERMAL", 1, {Chleb, Mleko, Summary}));
    EXPECT_EQ(once.result(), "error=OK\r\n");
    EXPECT_EQ(once.printer.frames().count(ChlebLine), 2);
    EXPECT_EQ(once.printer.state().value(QStringLiteral("receipts")).toInt(), 1);
    // Every time: the line's fault, and the receipt is cancelled.
    SerialRig always({QStringLiteral("--fail"), QStringLiteral("$l:*:2")});
    always.run(DfJob("THERMAL", 1, {Chleb, Mleko, Summary}));
    EXPECT_EQ(always.result(), "error=303\r\n");
    EXPECT_EQ(always.printer.frames().mid(2), (QList<QByteArray>{ChlebLine, ChlebLine, Cancel}));
}

TEST(ThermalSerial, SlowAndBusyPrinters)
{
    // Slow but within the time: every answer a third of a second late.
    SerialRig slow({QStringLiteral("--slow"), QStringLiteral("300")});
    slow.run(DfJob("THERMAL", 1, {Chleb, Mleko, Summary}));
    EXPECT_EQ(slow.result(), "error=OK\r\n");

    // A report that takes longer than its time: busy (it answers DLE), and so is a second
    // job sent while it still prints; once it is done, jobs go through again.
    SerialRig busy({QStringLiteral("--busy"), QStringLiteral("#r:4000")},
                   "CzasOdpowiedzi=700\r\nCzasWydruku=1500\r\nCzasRaportu=1500\r\n");
    QElapsedTimer clock;
    clock.start();
    busy.run(DfJob("THERMAL", 2));
    EXPECT_EQ(busy.result(), "error=306\r\n");
    busy.run(DfJob("THERMAL", 5));
    EXPECT_EQ(busy.result(), "error=306\r\n");
    EXPECT_LT(clock.elapsed(), 4000);
    // Its effect shows once it is done.
    EXPECT_TRUE(busy.printer.rollLines().isEmpty());
    EXPECT_TRUE(WaitFor([&] { return !busy.printer.rollLines().isEmpty(); }, 8000));
    busy.run(DfJob("THERMAL", 5));
    EXPECT_EQ(busy.result(), "error=OK\r\n");
    EXPECT_EQ(busy.printer.rollLines().last(), QStringLiteral("RAPORT NAPISÓW STAŁYCH"));
}

TEST(ThermalSerial, ATransactionLeftOpenIsCancelledFirst)
{
    // The first job's cancel is refused, so its transaction stays open in the printer.
    SerialRig s({QStringLiteral("--fail"), QStringLiteral("$l:2:20"), QStringLiteral("--fail"), QStringLiteral("$e:1:9")});
    s.run(DfJob("THERMAL", 1, {Chleb, Mleko, Summary}));
    EXPECT_EQ(s.result(), "error=150\r\n");
    EXPECT_TRUE(s.printer.state().value(QStringLiteral("par")).toBool());
    s.printer.clearRecords();
    s.run(DfJob("THERMAL", 1, {Chleb, Mleko, Summary}));
    EXPECT_EQ(s.result(), "error=OK\r\n");
    const QList<QByteArray> received = s.printer.received();
    ASSERT_GE(received.size(), 5);
    EXPECT_EQ(received.mid(0, 5), (QList<QByteArray>{Can, Serm3, Enq, "\x1bP0$e8E\x1b\\", Header}));
}

TEST(ThermalSerial, Ports)
{
    SerialRig s;
    const struct {
        const char *name;
        QByteArray porty;
        QByteArray device;
        const char *result;
    } cases[] = {
        {"no such device", ShortTimes, "/dev/ostrevo-no-such-port", "error=301\r\n"},
        {"not a serial port", ShortTimes, "/dev/null", "error=301\r\n"},
        {"a speed no port takes", "Predkosc=12345\r\n" + ShortTimes, {}, "error=310\r\n"},
        {"a format no port takes", "Format=9X3\r\n" + ShortTimes, {}, "error=310\r\n"},
        {"a time that is not a number", "CzasOdpowiedzi=kilka\r\n", {}, "error=310\r\n"},
        {"settings of another line", "Predkosc=19200\r\nFormat=7E2\r\nPrzeplyw=XON/XOFF\r\n" + ShortTimes, {},
         "error=OK\r\n"},
    };
    for (const auto &c : cases) {
        s.settings(c.porty, c.device);
        s.run(DfJob("THERMAL", 5));
        EXPECT_EQ(s.result(), QByteArray(c.result)) << c.name;
    }

    // Another program holds the port.
    s.settings(ShortTimes);
    const int holder = ::open(s.printer.device().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    s.run(DfJob("THERMAL", 5));
    EXPECT_EQ(s.result(), "error=305\r\n");
    ::close(holder);
    s.run(DfJob("THERMAL", 5));
    EXPECT_EQ(s.result(), "error=OK\r\n");
}

TEST(ThermalSerial, TheMonitorPrintsAReceipt)
{
    // The real executable, its program directory holding the serial driver and PTU.txt.
    PrinterEmulator printer;
    Install install;
    QFile::copy(SerialDriverPath(), install.home.filePath(ThermalLibraryName));
    WriteFile(install.home.filePath(QStringLiteral("PTU.txt")), StandardPtu);
    QByteArray ini = ReadFile(install.home.filePath(QStringLiteral("Ostrevo.ini")));
    ini += "[Porty]\r\nCOM2=" + printer.device().toUtf8() + "\r\n" + ShortTimes;
    WriteFile(install.home.filePath(QStringLiteral("Ostrevo.ini")), ini);
    install.job(QStringLiteral("PARAGON"), DfJob("THERMAL", 1, {Chleb, Mleko, Summary}, "PL_ZNAKI=L\r\n"));
    QByteArray err;
    EXPECT_EQ(install.run({QStringLiteral("--once")}, &err), 0) << err.toStdString();
    EXPECT_EQ(ReadFile(install.jobs + QStringLiteral("/Errors/PARAGON.txt")), "error=OK\r\n");
    EXPECT_TRUE(printer.rollLines().contains(QStringLiteral("SUMA PLN 8.70")));
    EXPECT_FALSE(QFile::exists(install.jobs + QStringLiteral("/PARAGON.txt")));
}

// The end of a receipt whose answer is lost, late or cut: the printer prints, and the
// result must say so; it says "not printed" only when nothing was, and a code of its own
// (1050, look at the printer) only when nobody can know.
TEST(ThermalSerial, WhatTheReceiptsEndCameToIsFoundOut)
{
    const QByteArray times = "CzasOdpowiedzi=500\r\nCzasWydruku=1500\r\nCzasRaportu=1500\r\n";
    const struct {
        const char *name;
        QStringList options;
        const char *result;
        int receipts; // printed on the roll
    } cases[] = {
        // A slow end (a long receipt): past its time, but the printer says afterwards
        // that the receipt ended.
        {"busy past its time", {QStringLiteral("--busy"), QStringLiteral("$y:2500")}, "error=OK\r\n", 1},
        // Out of paper at the end, the roll changed a moment later.
        {"paper out, then a new roll", {QStringLiteral("--paper-out-at"), QStringLiteral("$y:1:2500")}, "error=OK\r\n",
         1},
        // Printed, and then nothing more from the printer: nobody can say.
        {"silent after printing", {QStringLiteral("--silent-after"), QStringLiteral("$y:1")}, "error=1050\r\n", 1},
        {"cable pulled after printing", {QStringLiteral("--unplug-after"), QStringLiteral("$y:1")}, "error=1050\r\n", 1},
        {"silent before printing", {QStringLiteral("--silent-at"), QStringLiteral("$y:1")}, "error=1050\r\n", 0},
    };
    for (const auto &c : cases) {
        SerialRig s(c.options, times);
        const JobResult result = s.run(DfJob("THERMAL", 1, {Chleb, Mleko, Summary}));
        EXPECT_EQ(s.result(), QByteArray(c.result)) << c.name << ": " << result.detail.toStdString();
        EXPECT_EQ(s.printer.state().value(QStringLiteral("receipts")).toInt(), c.receipts) << c.name;
        EXPECT_FALSE(s.printer.rollLines().contains(QStringLiteral("ANULOWANY"))) << c.name;
    }
}

TEST(ThermalSerial, AReceiptLeftOpenBySilenceIsCancelledAtTheNextOperation)
{
    // The printer falls silent for a while at the receipt's end, so neither the end nor
    // the cancel reaches it; the next job, a daily report, finds it back and the receipt
    // still open, cancels that, and is printed.
    const QByteArray times = "CzasOdpowiedzi=500\r\nCzasWydruku=1000\r\nCzasRaportu=1500\r\n";
    SerialRig s({QStringLiteral("--silent-at"), QStringLiteral("$y:1:2500")}, times);
    s.run(DfJob("THERMAL", 1, {Chleb, Mleko, Summary}));
    EXPECT_EQ(s.result(), "error=1050\r\n");
    EXPECT_TRUE(s.printer.state().value(QStringLiteral("par")).toBool());
    QThread::msleep(2000);
    s.run(DfJob("THERMAL", 2));
    EXPECT_EQ(s.result(), "error=OK\r\n");
    EXPECT_FALSE(s.printer.state().value(QStringLiteral("par")).toBool());
    const QStringList roll = s.printer.rollLines();
    EXPECT_TRUE(roll.contains(QStringLiteral("ANULOWANY"))) << roll.join(u'|').toStdString();
    EXPECT_TRUE(roll.last().startsWith(QStringLiteral("PARAGONY"))) << roll.join(u'|').toStdString();
}

TEST(ThermalSerial, AMonitorKilledWhileTheReceiptEndsNeverPrintsItAgain)
{
    // The real program on the serial driver; the printer takes its time over the end, and
    // the monitor is killed meanwhile. The printer finishes the receipt; the next start
    // must not send it again, and tells the cashier to look.
    PrinterEmulator printer({QStringLiteral("--busy"), QStringLiteral("$y:3000")});
    Install install("Timer=0\r\nMonitorowanie=1\r\n");
    QFile::copy(SerialDriverPath(), install.home.filePath(ThermalLibraryName));
    WriteFile(install.home.filePath(QStringLiteral("PTU.txt")), StandardPtu);
    QByteArray ini = ReadFile(install.home.filePath(QStringLiteral("Ostrevo.ini")));
    ini += "[Porty]\r\nCOM2=" + printer.device().toUtf8() + "\r\n" + ShortTimes;
    WriteFile(install.home.filePath(QStringLiteral("Ostrevo.ini")), ini);
    auto monitor = install.start({QStringLiteral("--headless")});
    QByteArray log;
    ASSERT_TRUE(Install::waitRunning(monitor.get(), &log)) << log.constData();
    install.job(QStringLiteral("PARAGON"), DfJob("THERMAL", 1, {Chleb, Mleko, Summary}, "PL_ZNAKI=L\r\n"));
    ASSERT_TRUE(WaitFor([&] {
        const QList<QByteArray> frames = printer.frames();
        return !frames.isEmpty() && frames.last().contains("$y");
    }));
    ::kill(pid_t(monitor->processId()), SIGKILL);
    monitor->waitForFinished(10000);
    ASSERT_TRUE(WaitFor([&] { return printer.state().value(QStringLiteral("receipts")).toInt() == 1; }, 8000));

    monitor = install.start({QStringLiteral("--headless")});
    ASSERT_TRUE(Install::waitRunning(monitor.get(), &log)) << log.constData();
    ASSERT_TRUE(WaitFor([&] { return install.journal().contains("INTERRUPTED"); })) << install.journal().constData();
    monitor->terminate();
    monitor->waitForFinished(15000);
    EXPECT_EQ(ReadFile(install.jobs + QStringLiteral("/Errors/PARAGON.txt")), "error=1050\r\n");
    EXPECT_EQ(printer.state().value(QStringLiteral("receipts")).toInt(), 1);
    EXPECT_EQ(printer.frames().count(Header), 1) << "the receipt was begun again";
}
