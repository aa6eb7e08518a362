// Form jobs on a PostScript queue of a private scheduler (tests/services/cupsd.sh): the
// copies and two-sided settings reach the device, and the queue's own defaults come back
// for the next job. This suite comes first in the program so the shared printer lists
// the scheduler's queues.

#include "devices/TAsBarcode.h"
#include "devices/TPrinter.h"
#include "forms/FormRig.h"
#include "forms/PrintFormJob.h"
#include "support/CupsServer.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

class CupsFormJobTest : public CupsServerSuite {
protected:
    void SetUp() override
    {
        if (!s_server->running())
            GTEST_SKIP() << "cupsd cannot start here: " << s_server->failure().toStdString();
        if (!Printer().printers().contains(QStringLiteral("ps")))
            GTEST_SKIP() << "the shared printer listed its printers before the scheduler started; run alone";
        QFile::remove(s_server->outputFile(QStringLiteral("ps")));
        m_rig.context.currentPrinterName = QStringLiteral("ps");
        m_rig.writeTemplate({"<PARAMETERS>", "PAGE=3", "<END>", "<PAGE1>", "BX(1,10,10,90,20)", "<END>", "<PAGE2>",
                             "<END>", "<PAGE3>", "<END>"});
    }

    // Prints a three-page form with these job parameters; returns the PostScript.
    QByteArray print(const QList<QByteArray> &parameters)
    {
        m_rig.writeJob({"<PAGE1>", "T1(1,1)", "Strona 1", "<END>", "<PAGE2>", "<END>", "<PAGE3>", "<END>"}, parameters);
        const JobResult result = m_printer.PrintFormJob(m_rig.context, m_rig.jobPath);
        EXPECT_EQ(result.outcome, JobResult::Done) << result.detail.toStdString();
        EXPECT_TRUE(s_server->waitIdle(QStringLiteral("ps")));
        const QByteArray out = ReadFile(s_server->outputFile(QStringLiteral("ps")));
        QFile::remove(s_server->outputFile(QStringLiteral("ps")));
        return out;
    }

    FormRig m_rig;
    TAsBarcode m_barcode;
    FormPrinter m_printer{Printer(), m_barcode};
};

} // namespace

TEST_F(CupsFormJobTest, CopiesAndTwoSidedPrintingReachTheQueueAndAreUndoneAfter)
{
    const QByteArray twoSided = print({"COPIES=2", "DUPLEX=1"});
    EXPECT_TRUE(twoSided.contains("%RBINumCopies: 2")) << twoSided.left(2000).constData();
    EXPECT_TRUE(twoSided.contains("<</Duplex true/Tumble false>>setpagedevice"));
    // Three pages and the empty fourth that completes the second sheet.
    EXPECT_TRUE(twoSided.contains("%%Pages: 4"));

    m_rig.settings.kartka = 2;
    const QByteArray shortEdge = print({"DUPLEX=1"});
    EXPECT_TRUE(shortEdge.contains("<</Duplex true/Tumble true>>setpagedevice"));
    EXPECT_FALSE(shortEdge.contains("%RBINumCopies: 2"));

    // Nothing asked: the queue's own one-sided default and a single copy.
    const QByteArray plain = print({});
    EXPECT_TRUE(plain.contains("<</Duplex false>>setpagedevice"));
    EXPECT_TRUE(plain.contains("%%Pages: 3"));
    EXPECT_FALSE(plain.contains("%RBINumCopies: 2"));
}
