// The real headless program on a shop's receipts, stopped at the worst moments: killed
// while the printer finishes a receipt, or terminated while a receipt outlasts the quit's
// grace. The next start must not print the receipt again, and must tell the cashier that
// its fate is unknown (error=1050) instead of leaving no result at all.

#include "fiscal/FiscalRig.h"
#include "support/ProgramInstall.h"

#include <gtest/gtest.h>

#include <csignal>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

const QByteArray Bread = Fields({"1", "CHLEB", "\xBDYTNI", "1500", "3", "", "450", "23", "675"});
const QByteArray Summary = Fields({"00", "P", "12", "Dzi\xA9kujemy", "G", "0"});

struct Shop : Install {
    Shop() : Install("Timer=0\r\nMonitorowanie=1\r\n")
    {
        const QString library = home.filePath(QStringLiteral("libElzabdr.so"));
        QFile::copy(SimulatorPath(Simulator::Elzab), library);
        WriteFile(home.filePath(QStringLiteral("PTU.txt")), StandardPtu);
    }
    void script(const QByteArray &text) const { WriteFile(home.filePath(QStringLiteral("fiscal-simulator.txt")), text); }
    QByteArray calls() const { return ReadFile(home.filePath(QStringLiteral("fiscal-simulator.log"))); }
    void receipt(const QString &name) const { job(name, DfJob("OMEGA_1", 1, {Bread, Summary}, "PL_ZNAKI=L\r\n")); }
    QByteArray result(const QString &name) const { return ReadFile(jobs + QStringLiteral("/Errors/") + name + QStringLiteral(".txt")); }
};

// Starts the headless monitor again and waits until the journal has `lines` lines.
void RestartAndSettle(const Shop &shop, int lines)
{
    auto monitor = shop.start({QStringLiteral("--headless")});
    QByteArray log;
    ASSERT_TRUE(Install::waitRunning(monitor.get(), &log)) << log.constData();
    ASSERT_TRUE(WaitFor([&] { return shop.journal().count('\n') >= lines; })) << shop.journal().constData();
    QThread::msleep(300);
    monitor->terminate();
    ASSERT_TRUE(monitor->waitForFinished(15000));
}

} // namespace

TEST(FiscalRestart, AReceiptKilledWhileItPrintsIsNeverPrintedTwice)
{
    Shop shop;
    // The printer takes its time over the receipt's end: the kill comes in the middle.
    shop.script("ReceiptEnd 1 0 4000\n");
    auto monitor = shop.start({QStringLiteral("--headless")});
    QByteArray log;
    ASSERT_TRUE(Install::waitRunning(monitor.get(), &log)) << log.constData();
    shop.receipt(QStringLiteral("PARAGON"));
    ASSERT_TRUE(WaitFor([&] { return shop.calls().contains("ReceiptItem("); })) << shop.calls().constData();
    QThread::msleep(300);
    ::kill(pid_t(monitor->processId()), SIGKILL);
    monitor->waitForFinished(10000);
    EXPECT_TRUE(shop.result(QStringLiteral("PARAGON")).isEmpty());

    shop.script({});
    RestartAndSettle(shop, 1);
    EXPECT_EQ(shop.calls().count("ReceiptBegin("), 1) << shop.calls().constData();
    EXPECT_EQ(shop.result(QStringLiteral("PARAGON")), "error=1050\r\n");
    EXPECT_TRUE(Entries(shop.jobs).filter(QStringLiteral("PARAGON")).isEmpty()) << Entries(shop.jobs).join(u' ').toStdString();
    const QByteArray journal = shop.journal();
    EXPECT_TRUE(journal.contains("PARAGON.txt\tjkDf\t0 ms\tINTERRUPTED: ")) << journal.constData();
    EXPECT_TRUE(journal.contains("error=1050")) << journal.constData();
    // Nothing of the job is left to act on at a later start.
    EXPECT_TRUE(QDir(shop.home.filePath(QStringLiteral("ostrevo-jobs"))).entryList(QDir::Files).isEmpty());
}

TEST(FiscalRestart, AReceiptOutlastingTheQuitsGraceIsNotPrintedAgain)
{
    // A paper change: the receipt's end takes longer than the quit waits (10 s, then 5 s
    // more), and the program ends under it.
    Shop shop;
    shop.script("ReceiptEnd 1 0 25000\n");
    auto monitor = shop.start({QStringLiteral("--headless")});
    QByteArray log;
    ASSERT_TRUE(Install::waitRunning(monitor.get(), &log)) << log.constData();
    shop.receipt(QStringLiteral("DLUGI"));
    ASSERT_TRUE(WaitFor([&] { return shop.calls().contains("ReceiptItem("); })) << shop.calls().constData();
    monitor->terminate();
    ASSERT_TRUE(monitor->waitForFinished(30000));
    EXPECT_EQ(monitor->exitCode(), 3);

    shop.script({});
    RestartAndSettle(shop, 1);
    EXPECT_EQ(shop.calls().count("ReceiptBegin("), 1) << shop.calls().constData();
    EXPECT_EQ(shop.result(QStringLiteral("DLUGI")), "error=1050\r\n");
    EXPECT_TRUE(shop.journal().contains("DLUGI.txt\tjkDf\t0 ms\tINTERRUPTED: ")) << shop.journal().constData();
}
