// The Elzab family against the simulated libElzabdr.so, call by call.

#include "fiscal/ElzabPath.h"
#include "fiscal/FiscalRig.h"

#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

const QString S(const char *text)
{
    return QString::fromUtf8(text);
}

// CP852: Ż BD, ę A9.
const QByteArray Bread = Fields({"1", "CHLEB", "\xBDYTNI", "1500", "3", "", "450", "23", "675"});
const QByteArray Milk = Fields({"2", "MLEKO", "", "5", "2", "opis", "199", "8", "10"});
const QByteArray Summary = Fields({"00", "P", "12", "Dzi\xA9kujemy", "G", "0"});

const QStringList Opened = {S("CommunicationInit(2, 9600, 5) = 0")};
const QStringList Cancel = {S("ReceiptCancel() = 0"), S("ErasePayments() = 0"), S("EraseLines() = 0")};
const QStringList Closed = {S("CommunicationEnd() = 0")};

} // namespace

TEST(ElzabPath, Receipt)
{
    FiscalRig rig({Simulator::Elzab});
    const JobResult result = rig.run(DfJob("OMEGA_1", 1, {Bread, Milk, Summary}, "PL_ZNAKI=L\r\n"));
    EXPECT_EQ(result.outcome, JobResult::Done) << result.detail.toStdString();
    EXPECT_EQ(rig.result(), "error=OK\r\n");
    EXPECT_EQ(rig.calls(), Loaded(Opened + QStringList{
                                               S("ReceiptBegin() = 0"),
                                               S("CharsInArticleName(\"CHLEB ŻYTNI\") = 11"),
                                               S("ReceiptItem(1, \"CHLEB ŻYTNI\", 2, 0, 1500, 3, \"\", 450, 675) = 0"),
                                               S("CharsInArticleName(\"MLEKO \") = 6"),
                                               S("ReceiptItem(1, \"MLEKO ....\", 3, 0, 5, 2, \"opis\", 199, 10) = 0"),
                                               // The payment text is the driver's Windows-1250 "GOTÓWKA".
                                               S("FillLines(2, \"GOT\\xD3WKA\", 0) = 0"),
                                               S("FillLines(5, \"Dziękujemy\", 1) = 0"),
                                               S("FillLines(6, \"NR PARAGONU 12\", 2) = 0"),
                                               S("ReceiptEnd(0) = 0"),
                                           } + Closed));
}

TEST(ElzabPath, TextsAndNamesByModel)
{
    FiscalRig rig({Simulator::Elzab});
    // A name that the printer counts as 3 characters is padded to 10, or 5 on OMEGA_2.
    rig.script("CharsInArticleName * 3\n");
    const struct {
        const char *model;
        const char *name;
    } cases[] = {{"OMEGA_1", "CHLEB ŻYTNI......."}, {"FP600", "CHLEB ŻYTNI......."}, {"OMEGA_2", "CHLEB ŻYTNI.."}};
    for (const auto &c : cases) {
        rig.run(DfJob(c.model, 1, {Bread, Summary}));
        EXPECT_EQ(rig.calls().at(4), S("ReceiptItem(1, \"%1\", 2, 0, 1500, 3, \"\", 450, 675) = 0").arg(S(c.name))) << c.model;
        EXPECT_EQ(rig.result(), "error=OK\r\n");
    }
    // Mazovia texts (Ż A1, ę 91, Ó A3) are converted to the printer's CP852; forms and
    // kinds give their fixed texts.
    rig.script({});
    rig.run(DfJob("OMEGA_2", 1,
                  {Fields({"1", "\xA1\xA3\x9CW", "", "1", "0", "\xA3", "100", "23", "100"}),
                   Fields({"00", "F", "3/24", "Dzi\x91kujemy", "K"})},
                  "PL_ZNAKI=M\r\n"));
    QStringList calls = rig.calls();
    EXPECT_EQ(calls.at(4), S("ReceiptItem(1, \"ŻÓŁW \", 2, 0, 1, 0, \"Ó\", 100, 100) = 0"));
    EXPECT_EQ(calls.mid(5, 3), (QStringList{S("FillLines(2, \"KARTA\", 0) = 0"), S("FillLines(5, \"Dziękujemy\", 1) = 0"),
                                            S("FillLines(6, \"NR FAKTURY 3/24\", 2) = 0")}));
    rig.run(DfJob("FP600", 1, {Fields({"00", "R", "9", "", "C"})}));
    EXPECT_EQ(rig.calls().mid(3, 3), (QStringList{S("FillLines(2, \"CZEK\", 0) = 0"), S("FillLines(5, \"\", 1) = 0"),
                                                  S("FillLines(6, \"NR RACHUNKU 9\", 2) = 0")}));
    rig.run(DfJob("FP600", 1, {Fields({"00", "X", "9", "", "Q"})}));
    EXPECT_EQ(rig.calls().mid(3, 3), (QStringList{S("FillLines(2, \"\", 0) = 0"), S("FillLines(5, \"\", 1) = 0"),
                                                  S("FillLines(6, \"\", 2) = 0")}));
}

TEST(ElzabPath, ReceiptWithoutItemsOrSummary)
{
    FiscalRig rig({Simulator::Elzab});
    // A data section that holds only a line ended before it: no items, no summary.
    rig.run("<DF>\r\nDRK=OMEGA_1\r\nPORT=1\r\nFUNCTION=1\r\n<END>\r\n<DANE>\r\n\r\n" + Bread + "\r\n");
    EXPECT_EQ(rig.result(), "error=OK\r\n");
    EXPECT_EQ(rig.calls(), Loaded({S("CommunicationInit(1, 9600, 5) = 0"), S("ReceiptBegin() = 0"),
                                   S("FillLines(2, \"\", 0) = 0"), S("FillLines(5, \"\", 1) = 0"),
                                   S("FillLines(6, \"\", 2) = 0"), S("ReceiptEnd(0) = 0"), S("CommunicationEnd() = 0")}));
}

// Bad item data ends the receipt with its code: the receipt opened by ReceiptBegin is
// cancelled, the items before stay sent, communication is closed.
TEST(ElzabPath, DataErrorsCancelTheReceipt)
{
    const QStringList begun = Opened + QStringList{S("ReceiptBegin() = 0"), S("CharsInArticleName(\"CHLEB ŻYTNI\") = 11"),
                                                   S("ReceiptItem(1, \"CHLEB ŻYTNI\", 2, 0, 1500, 3, \"\", 450, 675) = 0")};
    const struct {
        const char *name;
        QByteArray item;
        const char *result;
        QStringList calls; // between the first item and the cancel
    } cases[] = {
        {"eight fields", Fields({"2", "A", "B", "1", "0", "", "100", "23"}), "error=31\r\n", {}},
        {"ten fields", Fields({"2", "A", "B", "1", "0", "", "100", "23", "100", "x"}), "error=31\r\n", {}},
        {"unit price not a number", Fields({"2", "A", "B", "1", "0", "", "1,00", "23", "100"}), "error=39\r\n",
         {S("CharsInArticleName(\"A B\") = 3")}},
        {"line value not a number", Fields({"2", "A", "B", "1", "0", "", "100", "23", ""}), "error=39\r\n",
         {S("CharsInArticleName(\"A B\") = 3")}},
        {"quantity not a number", Fields({"2", "A", "B", "1.5", "0", "", "100", "23", "100"}), "error=39\r\n",
         {S("CharsInArticleName(\"A B\") = 3")}},
        {"rate not in PTU.txt", Fields({"2", "A", "B", "1", "0", "", "100", "5", "100"}), "error=3\r\n",
         {S("CharsInArticleName(\"A B\") = 3")}},
        {"group not a digit", Fields({"2", "A", "B", "1", "0", "", "100", "zw", "100"}), "error=3\r\n",
         {S("CharsInArticleName(\"A B\") = 3")}},
    };
    for (const auto &c : cases) {
        FiscalRig rig({Simulator::Elzab});
        rig.ptu("<OMEGA_1>\r\n2 23\r\n3 8\r\nZ zw\r\n<END>\r\n");
        const JobResult result = rig.run(DfJob("OMEGA_1", 1, {Bread, c.item, Milk, Summary}));
        EXPECT_EQ(rig.result(), QByteArray(c.result)) << c.name;
        EXPECT_EQ(result.outcome, JobResult::Failed) << c.name;
        EXPECT_EQ(rig.calls(), Loaded(begun + c.calls + Cancel + Closed)) << c.name;
    }
}

// A driver's error at each step of a receipt: its number is the result, a receipt that
// was opened is cancelled, communication is closed when it was opened, and the library
// is always unloaded.
TEST(ElzabPath, DriverErrorAtEachStep)
{
    const QStringList item = {S("CharsInArticleName(\"CHLEB ŻYTNI\") = 11"),
                              S("ReceiptItem(1, \"CHLEB ŻYTNI\", 2, 0, 1500, 3, \"\", 450, 675) = 0")};
    const struct {
        const char *script;
        const char *result;
        QStringList calls;
    } cases[] = {
        {"CommunicationInit 1 -3", "error=303\r\n", {S("CommunicationInit(2, 9600, 5) = -3")}},
        {"ReceiptBegin * 20", "error=150\r\n", Opened + QStringList{S("ReceiptBegin() = 20")} + Closed},
        // The receipt is open when an item fails: cancelled as after every other failure.
        {"ReceiptItem 1 -21", "error=321\r\n",
         Opened + QStringList{S("ReceiptBegin() = 0"), item.at(0),
                              S("ReceiptItem(1, \"CHLEB ŻYTNI\", 2, 0, 1500, 3, \"\", 450, 675) = -21")}
             + Cancel + Closed},
        {"FillLines 1 210", "error=130\r\n",
         Opened + QStringList{S("ReceiptBegin() = 0")} + item + QStringList{S("FillLines(2, \"GOT\\xD3WKA\", 0) = 210")}
             + Cancel + Closed},
        {"FillLines 2 999", "error=199\r\n",
         Opened + QStringList{S("ReceiptBegin() = 0")} + item
             + QStringList{S("FillLines(2, \"GOT\\xD3WKA\", 0) = 0"), S("FillLines(5, \"Dziękujemy\", 1) = 999")} + Cancel
             + Closed},
        {"FillLines 3 -60", "error=360\r\n",
         Opened + QStringList{S("ReceiptBegin() = 0")} + item
             + QStringList{S("FillLines(2, \"GOT\\xD3WKA\", 0) = 0"), S("FillLines(5, \"Dziękujemy\", 1) = 0"),
                           S("FillLines(6, \"NR PARAGONU 12\", 2) = -60")}
             + Cancel + Closed},
        // A printer's own number in a range of its own.
        {"ReceiptEnd * 1234", "error=3234\r\n",
         Opened + QStringList{S("ReceiptBegin() = 0")} + item
             + QStringList{S("FillLines(2, \"GOT\\xD3WKA\", 0) = 0"), S("FillLines(5, \"Dziękujemy\", 1) = 0"),
                           S("FillLines(6, \"NR PARAGONU 12\", 2) = 0"), S("ReceiptEnd(0) = 1234")}
             + Cancel + Closed},
        // The end's reply lost and the cancel failing too: whether it printed is unknown.
        {"ReceiptEnd * -2\nReceiptCancel * -2", "error=1050\r\n",
         Opened + QStringList{S("ReceiptBegin() = 0")} + item
             + QStringList{S("FillLines(2, \"GOT\\xD3WKA\", 0) = 0"), S("FillLines(5, \"Dziękujemy\", 1) = 0"),
                           S("FillLines(6, \"NR PARAGONU 12\", 2) = 0"), S("ReceiptEnd(0) = -2"),
                           S("ReceiptCancel() = -2"), S("ErasePayments() = 0"), S("EraseLines() = 0")}
             + Closed},
        // 109 ends the receipt as any non-zero result does: a cancelled receipt is no success.
        {"ReceiptEnd * 109", "error=2109\r\n",
         Opened + QStringList{S("ReceiptBegin() = 0")} + item
             + QStringList{S("FillLines(2, \"GOT\\xD3WKA\", 0) = 0"), S("FillLines(5, \"Dziękujemy\", 1) = 0"),
                           S("FillLines(6, \"NR PARAGONU 12\", 2) = 0"), S("ReceiptEnd(0) = 109")}
             + Cancel + Closed},
    };
    for (const auto &c : cases) {
        FiscalRig rig({Simulator::Elzab});
        rig.script(QByteArray(c.script) + "\n");
        rig.run(DfJob("OMEGA_1", 1, {Bread, Summary}));
        EXPECT_EQ(rig.result(), QByteArray(c.result)) << c.script;
        EXPECT_EQ(rig.calls(), Loaded(c.calls)) << c.script;
    }
}

TEST(ElzabPath, ReportsAndDisplay)
{
    const struct {
        int function;
        QList<QByteArray> data;
        const char *result;
        QStringList calls;
    } cases[] = {
        {2, {}, "error=OK\r\n", {S("DailyReport(0) = 0")}},
        {3, {" 20240501 ", "20240531"}, "error=OK\r\n", {S("PeriodReport(1, 24, 5, 1, 24, 5, 31) = 0")}},
        {4, {"19991201", "20000115"}, "error=OK\r\n", {S("PeriodReport(0, 99, 12, 1, 0, 1, 15) = 0")}},
        // A bad date is found with communication open; it is still closed.
        {3, {"2024051", "20240531"}, "error=41\r\n", {}},
        {4, {"20240501", "2024-05-31"}, "error=42\r\n", {}},
        {3, {"20240501"}, "error=42\r\n", {}},
        {5, {}, "error=OK\r\n", {S("PrinterStatusReport() = 0")}},
        {6, {}, "error=OK\r\n", {S("LockedArticlesReport() = 0")}},
        {10, {}, "error=OK\r\n", {S("pDisplayFP600(0, \"\") = 0")}},
        {11, {}, "error=OK\r\n", {S("OpenDrawer(1) = 0")}},
        {12, {"1", "1999 "}, "error=OK\r\n", {S("pDisplayFP600(0, \"19.99\") = 0")}},
        {12, {"5"}, "error=OK\r\n", {S("pDisplayFP600(0, \"0.05\") = 0")}},
    };
    for (const auto &c : cases) {
        FiscalRig rig({Simulator::Elzab});
        rig.run(DfJob("FP600", c.function, c.data));
        EXPECT_EQ(rig.result(), QByteArray(c.result)) << c.function;
        EXPECT_EQ(rig.calls(), Loaded(Opened + c.calls + Closed)) << c.function;
    }
    // A report's own error, and an amount that is not a number (nothing is loaded).
    FiscalRig rig({Simulator::Elzab});
    rig.script("DailyReport 1 -7\n");
    rig.run(DfJob("OMEGA_1", 2));
    EXPECT_EQ(rig.result(), "error=307\r\n");
    EXPECT_EQ(rig.calls(), Loaded(Opened + QStringList{S("DailyReport(0) = -7")} + Closed));
    rig.run(DfJob("OMEGA_1", 12, {"19,99"}));
    EXPECT_EQ(rig.result(), "error=39\r\n");
    EXPECT_TRUE(rig.calls().isEmpty());
}

TEST(ElzabPath, PortsAndLibraries)
{
    FiscalRig rig({Simulator::Elzab});
    rig.run("<DF>\r\nDRK=OMEGA_1\r\nPORT=0\r\nFUNCTION=2\r\n<END>\r\n");
    EXPECT_EQ(rig.result(), "error=301\r\n");
    EXPECT_EQ(rig.calls(), Loaded({S("CommunicationInit(0, 9600, 5) = -1")}));
    rig.run("<DF>\r\nDRK=OMEGA_1\r\nPORT=255\r\nFUNCTION=2\r\n<END>\r\n");
    EXPECT_EQ(rig.calls(), Loaded({S("CommunicationInit(255, 9600, 5) = 0"), S("DailyReport(0) = 0"), S("CommunicationEnd() = 0")}));

    // The VAT table is read with the library loaded and before communication is opened.
    rig.ptu("<THERMAL>\r\nA 23\r\n<END>\r\n");
    rig.run(DfJob("OMEGA_1", 1, {Bread, Summary}));
    EXPECT_EQ(rig.result(), "error=2\r\n");
    EXPECT_EQ(rig.calls(), Loaded({}));
    rig.remove(QStringLiteral("PTU.txt"));
    rig.run(DfJob("OMEGA_1", 1, {Bread, Summary}));
    EXPECT_EQ(rig.result(), "error=1\r\n");
    EXPECT_EQ(rig.calls(), Loaded({}));
    rig.ptu("<OMEGA_1>\r\n2 23\r\n23 8\r\n");
    rig.run(DfJob("OMEGA_1", 1, {Bread, Summary}));
    EXPECT_EQ(rig.result(), "error=3\r\n");

    // No library, a file that is no library, a library without the functions.
    rig.remove(ElzabLibraryName);
    JobResult result = rig.run(DfJob("OMEGA_1", 2));
    EXPECT_EQ(rig.result(), "error=98\r\n");
    EXPECT_TRUE(result.detail.contains(ElzabLibraryName)) << result.detail.toStdString();
    WriteFile(rig.program + u'/' + ElzabLibraryName, "MZ not a library\r\n");
    rig.run(DfJob("OMEGA_1", 2));
    EXPECT_EQ(rig.result(), "error=98\r\n");
    rig.install(Simulator::Thermal, ElzabLibraryName);
    result = rig.run(DfJob("OMEGA_1", 2));
    EXPECT_EQ(rig.result(), "error=98\r\n");
    EXPECT_TRUE(result.detail.contains(QStringLiteral("CommunicationInit, CommunicationEnd, DailyReport")))
        << result.detail.toStdString();
    EXPECT_EQ(rig.calls(), Loaded({})); // loaded and unloaded, nothing called

    // Functions are looked up before communication is opened: a library without a cancel
    // never gets a receipt it could not cancel. A report that needs no cancel still runs.
    rig.install(Simulator::ElzabIncomplete, ElzabLibraryName);
    result = rig.run(DfJob("OMEGA_1", 1, {Bread, Summary}));
    EXPECT_EQ(rig.result(), "error=98\r\n");
    EXPECT_TRUE(result.detail.endsWith(QStringLiteral("brak EraseLines"))) << result.detail.toStdString();
    EXPECT_EQ(rig.calls(), Loaded({}));
    rig.run(DfJob("OMEGA_1", 2));
    EXPECT_EQ(rig.result(), "error=OK\r\n");

    // And the next job runs as if nothing had happened.
    rig.install(Simulator::Elzab);
    rig.run(DfJob("OMEGA_1", 2));
    EXPECT_EQ(rig.result(), "error=OK\r\n");
}
