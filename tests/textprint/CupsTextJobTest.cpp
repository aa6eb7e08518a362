// Plain-text jobs on real CUPS queues of a private scheduler (tests/services/cupsd.sh):
// the two-sided request against the queue's own default, and a queue that refuses jobs.
// This suite comes first in the program so the shared printer lists its queues.

#include "PdfOutput.h"
#include "jobs/Errors.h"
#include "devices/TPrinter.h"
#include "monitor/JobHandlers.h"
#include "support/TestSupport.h"
#include "textprint/SymbolTable.h"
#include "textprint/TextPrinter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cups/cups.h>
#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

QString CupsScript()
{
    return ServicePath(QStringLiteral("cupsd.sh"));
}

void PointCupsAt(const QByteArray &socket)
{
    qputenv("CUPS_SERVER", socket);
    cupsSetServer(socket.constData());
}

class CupsTextJobTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/ostrevo-tp-XXXXXX"));
        s_previousServer = qgetenv("CUPS_SERVER");
        QProcess p;
        p.start(QStringLiteral("/bin/sh"), {CupsScript(), QStringLiteral("start"), s_dir->path()});
        if (!p.waitForFinished(60000) || p.exitCode() != 0) {
            s_failure = QString::fromLocal8Bit(p.readAllStandardError());
            return;
        }
        PointCupsAt(p.readAllStandardOutput().trimmed());
        // A queue whose own default is two-sided on the long edge, and one to remove later.
        s_running = addQueue(QStringLiteral("duplex"), {QStringLiteral("Duplex=DuplexNoTumble")})
                    && addQueue(QStringLiteral("znika"), {});
        if (!s_running)
            s_failure = QStringLiteral("lpadmin could not add the queues");
    }

    static bool addQueue(const QString &name, const QStringList &options)
    {
        QStringList args{QStringLiteral("-p"), name, QStringLiteral("-E"), QStringLiteral("-v"),
                         QStringLiteral("file:") + outFile(name), QStringLiteral("-m"),
                         QStringLiteral("drv:///sample.drv/generic.ppd"), QStringLiteral("-o"), QStringLiteral("Option1=True")};
        for (const QString &o : options)
            args << QStringLiteral("-o") << o;
        return Run(QStringLiteral("lpadmin"), args);
    }

    static bool Run(const QString &program, const QStringList &args)
    {
        QProcess p;
        p.start(program, args);
        return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    static void TearDownTestSuite()
    {
        QProcess p;
        p.start(QStringLiteral("/bin/sh"), {CupsScript(), QStringLiteral("stop"), s_dir->path()});
        p.waitForFinished(30000);
        PointCupsAt(s_previousServer);
        delete s_dir;
        s_dir = nullptr;
    }

    void SetUp() override
    {
        if (!s_running)
            GTEST_SKIP() << "cupsd cannot start here: " << s_failure.toStdString();
        if (!Printer().printers().contains(QStringLiteral("duplex")))
            GTEST_SKIP() << "the shared printer listed its printers before the scheduler started; run alone";
        ASSERT_TRUE(m_tmp.isValid());
        m_context.settings = &m_settings;
        QFile::remove(outFile(QStringLiteral("duplex")));
    }

    static QString outFile(const QString &queue) { return s_dir->path() + QStringLiteral("/out/") + queue + QStringLiteral(".out"); }

    // Prints a two-page job on the queue and returns what reached its device.
    QByteArray print(const QString &queue, const QByteArray &firstLine)
    {
        const QString path = m_tmp.path() + QStringLiteral("/JOB.txt");
        WriteFile(path, firstLine + "\r\nstrona 1<Nstr>\r\nstrona 2\r\n");
        m_context.currentPrinterName = queue;
        const JobResult result = m_printer.PrintTextJob(m_context, path);
        EXPECT_EQ(result.outcome, JobResult::Done) << result.detail.toStdString();
        waitIdle(queue);
        const QByteArray out = ReadFile(outFile(queue));
        QFile::remove(outFile(queue));
        return out;
    }

    static void waitIdle(const QString &queue)
    {
        const QByteArray name = queue.toUtf8();
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 30000) {
            cups_job_t *jobs = nullptr;
            const int n = cupsGetJobs(&jobs, name.constData(), 0, CUPS_WHICHJOBS_ACTIVE);
            cupsFreeJobs(n, jobs);
            if (n <= 0)
                return;
            QThread::msleep(50);
        }
    }

    static QTemporaryDir *s_dir;
    static QByteArray s_previousServer;
    static bool s_running;
    static QString s_failure;

    QTemporaryDir m_tmp;
    Settings m_settings;
    JobContext m_context;
    SymbolTable m_symbols;
    TextPrinter m_printer{m_symbols};
};

QTemporaryDir *CupsTextJobTest::s_dir = nullptr;
QByteArray CupsTextJobTest::s_previousServer;
bool CupsTextJobTest::s_running = false;
QString CupsTextJobTest::s_failure;

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
    ASSERT_TRUE(Run(QStringLiteral("cupsreject"), {QStringLiteral("-r"), QStringLiteral("nieczynna"), QStringLiteral("duplex")}));
    const QString path = m_tmp.path() + QStringLiteral("/ODRZUT.txt");
    WriteFile(path, "tekst\r\n");
    m_context.currentPrinterName = QStringLiteral("duplex");
    const JobResult refused = m_printer.PrintTextJob(m_context, path);
    Run(QStringLiteral("cupsaccept"), {QStringLiteral("duplex")});
    EXPECT_EQ(refused.outcome, JobResult::Failed);
    EXPECT_FALSE(refused.detail.isEmpty());
    EXPECT_FALSE(Printer().printing());

    EXPECT_TRUE(print(QStringLiteral("ps"), "dalej").contains(OneSided));
}

TEST_F(CupsTextJobTest, PrinterRemovedAfterTheListWasMadeIsReportedAndTheNextJobPrints)
{
    ASSERT_TRUE(Run(QStringLiteral("lpadmin"), {QStringLiteral("-x"), QStringLiteral("znika")}));
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
