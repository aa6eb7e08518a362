// Plain-text jobs on real CUPS queues of a private scheduler (tests/services/cupsd.sh):
// the two-sided request against the queue's own default, and a queue that refuses jobs.
// This suite comes first in the program so the shared printer lists its queues.

#include "devices/TPrinter.h"
#include "jobs/Errors.h"
#include "handling/JobHandlers.h"
#include "support/CupsServer.h"
#include "support/TestSupport.h"
#include "textprint/SymbolTable.h"
#include "textprint/TextPrinter.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

class CupsTextJobTest : public CupsServerSuite {
protected:
    static void SetUpTestSuite()
    {
        CupsServerSuite::SetUpTestSuite();
        // A queue whose own default is two-sided on the long edge, and one to remove later.
        s_queuesAdded = s_server->running()
                        && s_server->addPsQueue(QStringLiteral("duplex"), {QStringLiteral("Duplex=DuplexNoTumble")}) == 0
                        && s_server->addPsQueue(QStringLiteral("znika")) == 0;
    }

    void SetUp() override
    {
        if (!s_server->running())
            GTEST_SKIP() << "cupsd cannot start here: " << s_server->failure().toStdString();
        if (!s_queuesAdded)
            GTEST_SKIP() << "cupsd cannot start here: lpadmin could not add the queues";
        if (!Printer().printers().contains(QStringLiteral("duplex")))
            GTEST_SKIP() << "the shared printer listed its printers before the scheduler started; run alone";
        ASSERT_TRUE(m_tmp.isValid());
        m_context.settings = &m_settings;
        QFile::remove(s_server->outputFile(QStringLiteral("duplex")));
    }

    // Prints a two-page job on the queue and returns what reached its device.
    QByteArray print(const QString &queue, const QByteArray &firstLine)
    {
        const QString path = m_tmp.path() + QStringLiteral("/JOB.txt");
        WriteFile(path, firstLine + "\r\nstrona 1<Nstr>\r\nstrona 2\r\n");
        m_context.currentPrinterName = queue;
        const JobResult result = m_printer.PrintTextJob(m_context, path);
        EXPECT_EQ(result.outcome, JobResult::Done) << result.detail.toStdString();
        s_server->waitIdle(queue);
        const QByteArray out = ReadFile(s_server->outputFile(queue));
        QFile::remove(s_server->outputFile(queue));
        return out;
    }

    static bool s_queuesAdded;

    QTemporaryDir m_tmp;
    Settings m_settings;
    JobContext m_context;
    SymbolTable m_symbols;
    TextPrinter m_printer{m_symbols};
};

bool CupsTextJobTest::s_queuesAdded = false;

const QByteArray LongEdge = "<</Duplex true/Tumble false>>setpagedevice";
const QByteArray ShortEdge = "<</Duplex true/Tumble true>>setpagedevice";
const QByteArray OneSided = "<</Duplex false>>setpagedevice";

} // namespace

TEST_F(CupsTextJobTest, OneSidedRequestOverridesATwoSidedQueueAndItsDefaultComesBack)
{
    EXPECT_TRUE(print(QStringLiteral("duplex"), "<DX->").contains(OneSided));
    // No request: the queue's own default, untouched by the job before.
    EXPECT_TRUE(print(QStringLiteral("duplex"), "zwykly").contains(LongEdge));
}

TEST_F(CupsTextJobTest, TwoSidedRequestTurnsOnTheEdgeThatKartkaNames)
{
    EXPECT_TRUE(print(QStringLiteral("ps"), "<dx+> // male litery").contains(LongEdge));
    m_settings.kartka = 2;
    EXPECT_TRUE(print(QStringLiteral("ps"), "<DX+>").contains(ShortEdge));
    m_settings.kartka = 1;
    EXPECT_TRUE(print(QStringLiteral("ps"), "").contains(OneSided));
}

TEST_F(CupsTextJobTest, QueueThatRefusesJobsFailsTheJobWithTheReasonAndTheNextPrints)
{
    ASSERT_EQ(s_server->tool(QStringLiteral("cupsreject"), {QStringLiteral("-r"), QStringLiteral("nieczynna"), QStringLiteral("duplex")}), 0);
    const QString path = m_tmp.path() + QStringLiteral("/ODRZUT.txt");
    WriteFile(path, "tekst\r\n");
    m_context.currentPrinterName = QStringLiteral("duplex");
    const JobResult refused = m_printer.PrintTextJob(m_context, path);
    s_server->tool(QStringLiteral("cupsaccept"), {QStringLiteral("duplex")});
    EXPECT_EQ(refused.outcome, JobResult::Failed);
    // CUPS's own reason, and the queue it came from, reach the journal.
    EXPECT_TRUE(refused.detail.contains(QStringLiteral("is not accepting jobs"))) << refused.detail.toStdString();
    EXPECT_TRUE(refused.detail.contains(QStringLiteral("duplex"))) << refused.detail.toStdString();
    EXPECT_FALSE(Printer().printing());

    EXPECT_TRUE(print(QStringLiteral("ps"), "dalej").contains(OneSided));
}

TEST_F(CupsTextJobTest, PrinterRemovedAfterTheListWasMadeIsReportedAndTheNextJobPrints)
{
    ASSERT_EQ(s_server->lpadmin({QStringLiteral("-x"), QStringLiteral("znika")}), 0);
    const QString path = m_tmp.path() + QStringLiteral("/ZNIKA.txt");
    WriteFile(path, "tekst\r\n");
    m_context.currentPrinterName = QStringLiteral("znika");
    try {
        m_printer.PrintTextJob(m_context, path);
        ADD_FAILURE() << "printed on a removed queue";
    } catch (const PrinterError &error) {
        EXPECT_TRUE(error.message().contains(QStringLiteral("znika"))) << error.message().toStdString();
    }
    EXPECT_FALSE(Printer().printing());
    EXPECT_TRUE(print(QStringLiteral("ps"), "dalej").contains(OneSided));
}
