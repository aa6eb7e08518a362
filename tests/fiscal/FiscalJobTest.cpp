// The <DF> job: its keys and data, the codes that end it before any printer is reached,
// and its result file whatever happened.

#include "fiscal/FiscalJob.h"
#include "jobs/Charsets.h"
#include "jobs/Errors.h"
#include "jobs/JobFile.h"
#include "fiscal/FiscalRig.h"

#include <QBuffer>
#include <QProcess>
#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

FiscalJob Read(const QByteArray &text)
{
    QByteArray bytes = text;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(&buffer);
    return ReadFiscalJob(reader);
}

} // namespace

TEST(FiscalJob, Keys)
{
    const struct {
        QByteArray text;
        int model;
        int port;
        int function;
        int source;
    } cases[] = {
        {"<DF>\r\nDRK=OMEGA_1\r\nPORT=2\r\nFUNCTION=1\r\nPL_ZNAKI=L\r\n<END>\r\n", 1, 2, 1, PolishCp852},
        {"// receipt\r\n  <df> // Thermal\r\n drk = THERMAL \r\nport=12\r\nfunction=5\r\npl_znaki=M\r\n<end>\r\n", 4, 12, 5, PolishMazovia},
        {"<DF>\r\nDRK=DF300\r\nPORT=255\r\nFUNCTION=13\r\nPL_ZNAKI=X\r\n<END>\r\n", 5, 255, 13, 0},
        {"<DF>\r\nDRK=thermal\r\nPORT=x\r\nFUNCTION=\r\n<END>\r\n", 0, 0, 0, 0},
        {"<DF>\r\nDRK=FP600\r\nPORT=256\r\nFUNCTION=257\r\nPL_ZNAKI=l\r\n<END>\r\n", 3, 0, 0, 0},
        {"<DF>\r\nDRK=OMEGA_2\r\nPORT=-1\r\nFUNCTION=2 // daily\r\n<END>\r\nFUNCTION=1\r\n", 2, 0, 2, 0},
        {"<DF>\r\nDRK=NONAME\r\nFUNCTION=1\r\n<END>\r\n", 0, 0, 1, 0},
        {"<DF><END>\r\nDRK=OMEGA_1\r\n", 0, 0, 0, 0},
    };
    for (const auto &c : cases) {
        const FiscalJob job = Read(c.text);
        EXPECT_EQ(job.model, c.model) << c.text.toStdString();
        EXPECT_EQ(job.port, c.port) << c.text.toStdString();
        EXPECT_EQ(job.function, c.function) << c.text.toStdString();
        EXPECT_EQ(job.sourceCodePage, c.source) << c.text.toStdString();
    }
}

TEST(FiscalJob, DataLines)
{
    // Taken as they stand (comments too) up to <END> or an empty line.
    FiscalJob job = Read("<DF>\r\nDRK=OMEGA_1\r\nFUNCTION=1\r\n<END>\r\nnot data\r\n<DANE> // data\r\n"
                         " a // b \r\nc\x04\r\n  \r\nd\r\n<END>\r\n");
    EXPECT_TRUE(job.dataFound);
    EXPECT_EQ(job.dataLines, (QList<QByteArray>{" a // b ", "c\x04"}));
    job = Read("<DF>\r\nFUNCTION=3\r\n<END>\r\n<dane>\r\n20240501\r\n20240531\r\n<end>\r\nx\r\n");
    EXPECT_EQ(job.dataLines, (QList<QByteArray>{"20240501", "20240531"}));
    job = Read("<DF>\r\nFUNCTION=3\r\n<END>\r\n// <DANE>\r\n20240501\r\n");
    EXPECT_FALSE(job.dataFound);
    // Functions without data read none.
    job = Read("<DF>\r\nFUNCTION=2\r\n<END>\r\n<DANE>\r\nx\r\n");
    EXPECT_FALSE(job.dataFound);
    EXPECT_TRUE(job.dataLines.isEmpty());
}

TEST(FiscalJob, ReceiptData)
{
    ReceiptData receipt;
    EXPECT_EQ(ParseReceiptData({Fields({"1", "A", "", "1", "0", "", "100", "23", "100"}),
                                " 00\x04P\x04" "1\x04x\x04K\x04" "500\x04",
                                "00\x04 F \x04 77 \x04 Extra \x04 G ", Fields({"2", "B"})},
                               receipt),
              0);
    EXPECT_EQ(receipt.items.size(), 2);
    EXPECT_EQ(receipt.documentKind, "F"); // the last summary line counts
    EXPECT_EQ(receipt.documentNumber, "77");
    EXPECT_EQ(receipt.extraLine, "Extra");
    EXPECT_EQ(receipt.paymentForm, "G");
    EXPECT_EQ(receipt.total, "0"); // five fields: no total
    ReceiptData empty;
    EXPECT_EQ(ParseReceiptData({"00\x04P\x04" "1\x04\x04G\x04\x04"}, empty), 0);
    EXPECT_EQ(empty.total, "0");
    ReceiptData shortLine;
    EXPECT_EQ(ParseReceiptData({"00\x04P\x04" "1\x04x\x04"}, shortLine), fcSummaryShort);
}

// Codes that end a job before a printer is reached; no library is loaded for any of them.
TEST(FiscalJob, CodesBeforeThePrinter)
{
    FiscalRig rig;
    const QByteArray item = Fields({"1", "CHLEB", "", "1", "0", "", "100", "23", "100"});
    const struct {
        const char *name;
        QByteArray job;
        const char *result;
    } cases[] = {
        {"receipt without <DANE>", DfJob("OMEGA_1", 1), "error=11\r\n"},
        {"display amount without <DANE>", DfJob("THERMAL", 12), "error=12\r\n"},
        {"report 3 without <DANE>", DfJob("OMEGA_1", 3), "error=13\r\n"},
        {"report 4 without <DANE>", DfJob("THERMAL", 4), "error=14\r\n"},
        {"function 7 without <DANE>", DfJob("OMEGA_1", 7), "error=17\r\n"},
        {"function 7", DfJob("OMEGA_1", 7, {"x"}), "error=10\r\n"},
        {"function 8", DfJob("THERMAL", 8), "error=10\r\n"},
        {"function 9", DfJob("FP600", 9), "error=10\r\n"},
        {"locked articles on Thermal", DfJob("DF300", 6), "error=10\r\n"},
        {"unknown model", DfJob("thermal", 2), "error=21\r\n"},
        {"no model, receipt", DfJob("", 1, {item}), "error=21\r\n"},
        {"NONAME", DfJob("NONAME", 10), "error=21\r\n"},
        {"no model, no data: the data first", DfJob("NONAME", 1), "error=11\r\n"},
        {"unknown function", DfJob("OMEGA_1", 15), "error=22\r\n"},
        {"function 0", DfJob("OMEGA_1", 0), "error=22\r\n"},
        {"function 13", DfJob("OMEGA_1", 13), "error=OK\r\n"},
        {"function 14 without a model", DfJob("", 14), "error=OK\r\n"},
        {"short summary", DfJob("OMEGA_1", 1, {item, "00\x04P\x04" "1\x04x\x04"}), "error=36\r\n"},
        {"short summary, unknown model", DfJob("X", 1, {"00\x04P\x04"}), "error=36\r\n"},
    };
    for (const auto &c : cases) {
        const JobResult result = rig.run(c.job);
        EXPECT_EQ(rig.result(), QByteArray(c.result)) << c.name;
        EXPECT_EQ(result.outcome, QByteArray(c.result) == "error=OK\r\n" ? JobResult::Done : JobResult::Failed) << c.name;
        EXPECT_TRUE(rig.calls().isEmpty()) << c.name;
    }
}

TEST(FiscalJob, ResultFileUnderTheJobsName)
{
    FiscalRig rig;
    // An earlier result is replaced; an existing ERRORS directory is used as it is.
    QDir(rig.jobs).mkdir(QStringLiteral("ERRORS"));
    WriteFile(rig.jobs + QStringLiteral("/ERRORS/raport.TXT"), "error=303\r\n");
    rig.run(DfJob("OMEGA_1", 2), QStringLiteral("raport.TXT"));
    EXPECT_EQ(ReadFile(rig.jobs + QStringLiteral("/ERRORS/raport.TXT")), "error=OK\r\n");
    EXPECT_FALSE(QFileInfo::exists(rig.jobs + QStringLiteral("/Errors")));
}

TEST(FiscalJob, AJobThatCannotBeReadStillLeavesAResult)
{
    FiscalRig rig;
    JobContext context;
    context.currentJobDir = rig.jobs;
    const QString missing = rig.jobs + QStringLiteral("/ZNIKNAL.txt");
    EXPECT_THROW(rig.printers.PerformFiscalJob(context, missing), IoError);
    // Nothing was reached, and that is not success.
    EXPECT_EQ(rig.result(QStringLiteral("ZNIKNAL.txt")), "error=NOT\r\n");
}

// The monitor itself: a <DF> job dropped into the watched directory goes through the
// simulator, its files are deleted and its result file written.
TEST(FiscalJob, TheProgramPerformsAReceipt)
{
    FiscalRig rig({Simulator::Elzab});
    QTemporaryDir config;
    QTemporaryDir runtime;
    WriteFile(rig.program + QStringLiteral("/Ostrevo.ini"),
              "[Opcje]\r\nKatalog=" + rig.jobs.toUtf8() + "\r\nDrukarka=Ostrevo PDF\r\nTimer=1\r\nMonitorowanie=1\r\n");
    WriteFile(rig.jobs + QStringLiteral("/PAR1.txt"),
              DfJob("OMEGA_1", 1, {Fields({"1", "CHLEB", "RAZOWY", "1", "0", "", "450", "23", "450"}),
                                   Fields({"00", "P", "7", "", "G", "450"})}));
    WriteFile(rig.jobs + QStringLiteral("/PAR1.END"), {});
    QProcess ostrevo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    ostrevo.setProcessEnvironment(env);
    ostrevo.start(OstrevoBinary(), {QStringLiteral("--home"), rig.program, QStringLiteral("--once")});
    ASSERT_TRUE(ostrevo.waitForFinished(60000));
    EXPECT_EQ(ostrevo.exitCode(), 0) << ostrevo.readAllStandardError().constData();
    EXPECT_EQ(rig.result(QStringLiteral("PAR1.txt")), "error=OK\r\n");
    EXPECT_FALSE(QFileInfo::exists(rig.jobs + QStringLiteral("/PAR1.txt")));
    EXPECT_FALSE(QFileInfo::exists(rig.jobs + QStringLiteral("/PAR1.END")));
    const QStringList calls = rig.calls();
    EXPECT_TRUE(calls.contains(QStringLiteral("ReceiptItem(1, \"CHLEB RAZOWY\", 2, 0, 1, 0, \"\", 450, 450) = 0")))
        << calls.join(u'\n').toStdString();
    EXPECT_EQ(calls.last(), QStringLiteral("-- unloaded"));
    EXPECT_TRUE(ReadFile(rig.program + QStringLiteral("/ostrevo.log")).contains("PAR1.txt"));
}
