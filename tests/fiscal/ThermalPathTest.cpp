// The Thermal family against the simulated libThermalServiceLibrary.so: every call, and
// every field of every block as the library reads it through its 32-bit addresses.

#include "fiscal/ThermalPath.h"
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

QString Line(int number, const char *name, const char *quantity, char vat, const char *price, const char *value)
{
    return S("p_LBTRSLN({line=%1, @1=0, name=\"%2\", @6=0, quantity=\"%3\", vat=%4, @15=0, price=\"%5\", @23=0, "
             "value=\"%6\", @31=0, @35=\"0.00\"}) = 0")
        .arg(number).arg(S(name), S(quantity), QChar::fromLatin1(vat), S(price), S(value));
}

QString End(int form, const char *extra, const char *document, const char *total)
{
    const bool nonCash = form != 0;
    return S("p_LBTRXEND1({@0=0 0 1 0 0 0 0 1, noncash=%1, @9=0, cash=%2, form=%3, @15=\"\", extra=\"%4\", "
             "document=\"%5\", @27=0, @31=A0, @35=0, @39=A9, @43=0, @47=A7, @51=0, @55=\"%6\", @59=0, @63=\"%6\", "
             "@67=0, @71=\"0\", @75=0, @79=\"%6\", @83=A5, @87=0, @91=\"0\", @95=A3, @99=A1}, "
             "A={\"\", 0, \"0\", 0, \"0\", 0, \"%7\", 0, \"0\", 0, \"0\"}) = 0")
        .arg(nonCash ? 1 : 0).arg(nonCash ? 0 : 1).arg(form)
        .arg(S(extra), S(document), S(total), nonCash ? S(total) : S("0"));
}

const QStringList Opened = {S("p_Port_Open(\"COM2\", 9600) = 0"), S("p_LBSERM(3) = 0")};
const QString Cancel = S("p_LBTREXITCAN(\"001\", \"KIEROWNIK\") = 0");
const QString Closed = S("p_Port_Close() = 0");

} // namespace

TEST(ThermalPath, Receipt)
{
    FiscalRig rig({Simulator::Thermal});
    const JobResult result =
        rig.run(DfJob("THERMAL", 1, {Bread, Milk, Fields({"00", "P", "12", "Dzi\xA9kujemy", "G", "0"})}, "PL_ZNAKI=L\r\n"));
    EXPECT_EQ(result.outcome, JobResult::Done) << result.detail.toStdString();
    EXPECT_EQ(rig.result(), "error=OK\r\n");
    // The texts go to the printer in Mazovia; the total is the sum of the lines.
    EXPECT_EQ(rig.calls(), Loaded(Opened + QStringList{S("p_LBTRSHDR(2) = 0"),
                                                       Line(1, "CHLEB ŻYTNI", "1.500", 'A', "4.50", "6.75"),
                                                       Line(2, "MLEKO ", "0.05", 'B', "1.99", "0.10"),
                                                       End(0, "Dziękujemy", "Paragon 12", "6.85"), Closed}));
}

TEST(ThermalPath, TotalsPaymentsAndDocuments)
{
    const QByteArray tenZloty = Fields({"1", "A", "B", "1500", "0", "", "1000", "23", "1000"});
    const QByteArray twoFifty = Fields({"2", "C", "D", "1", "0", "", "250", "8", "250"});
    const struct {
        QByteArray summary;
        int form;
        const char *document;
        const char *total;
    } cases[] = {
        {Fields({"00", "P", "1", "", "G", "0"}), 0, "Paragon 1", "12.50"},
        {Fields({"00", "F", "FV/7", "", "K", "1300"}), 1, "Faktura FV/7", "13.00"},
        {Fields({"00", "R", "8", "", "C", "1250"}), 2, "Rachunek 8", "12.50"},
        {Fields({"00", "X", "8", "", "B"}), 0, "", "12.50"}, // another form is cash
        {"00\x04P\x04" "5\x04\x04K", 1, "Paragon 5", "12.50"}, // five fields: no total
    };
    for (const auto &c : cases) {
        FiscalRig rig({Simulator::Thermal});
        rig.run(DfJob("DF300", 1, {tenZloty, twoFifty, c.summary}));
        const QStringList calls = rig.calls();
        ASSERT_EQ(calls.size(), 9) << c.summary.toStdString();
        EXPECT_EQ(calls.at(4), Line(1, "A B", "1500", 'A', "10.00", "10.00"));
        EXPECT_EQ(calls.at(6), End(c.form, "", c.document, c.total)) << c.summary.toStdString();
    }
    // No item lines: the total is empty text made 0.00.
    FiscalRig rig({Simulator::Thermal});
    rig.run(DfJob("THERMAL", 1, {Fields({"00", "P", "1", "", "G", "0"})}));
    EXPECT_EQ(rig.calls(), Loaded(Opened + QStringList{S("p_LBTRSHDR(0) = 0"), End(0, "", "Paragon 1", "0.00"), Closed}));
    // Mazovia texts stay as they are.
    rig.run(DfJob("THERMAL", 1, {Fields({"1", "\xA1\xA3\x9CW", "", "1", "0", "", "100", "23", "100"})}, "PL_ZNAKI=M\r\n"));
    EXPECT_EQ(rig.calls().at(4), Line(1, "ŻÓŁW ", "1", 'A', "1.00", "1.00"));
}

TEST(ThermalPath, DataErrorsCancelTheTransaction)
{
    const struct {
        const char *name;
        QByteArray item;
        const char *result;
    } cases[] = {
        {"eight fields", Fields({"2", "A", "B", "1", "0", "", "100", "23"}), "error=31\r\n"},
        {"ten fields", Fields({"2", "A", "B", "1", "0", "", "100", "23", "100", ""}), "error=31\r\n"},
        {"decimal places not a number", Fields({"2", "A", "B", "1", "x", "", "100", "23", "100"}), "error=33\r\n"},
        {"decimal places beyond 9", Fields({"2", "A", "B", "1", "10", "", "100", "23", "100"}), "error=33\r\n"},
        {"line value not a number", Fields({"2", "A", "B", "1", "0", "", "100", "23", "1.00"}), "error=34\r\n"},
        {"rate not in PTU.txt", Fields({"2", "A", "B", "1", "0", "", "100", "5", "100"}), "error=4\r\n"},
        {"unit price not a number", Fields({"2", "A", "B", "1", "0", "", "4,50", "23", "450"}), "error=39\r\n"},
        {"quantity not a number", Fields({"2", "A", "B", "1x5", "3", "", "100", "23", "100"}), "error=39\r\n"},
    };
    for (const auto &c : cases) {
        FiscalRig rig({Simulator::Thermal});
        const JobResult result = rig.run(DfJob("THERMAL", 1, {Bread, c.item, Milk, Fields({"00", "P", "1", "", "G"})}));
        EXPECT_EQ(rig.result(), QByteArray(c.result)) << c.name;
        EXPECT_EQ(result.outcome, JobResult::Failed) << c.name;
        // The line before stays sent until the cancel.
        EXPECT_EQ(rig.calls(), Loaded(Opened + QStringList{S("p_LBTRSHDR(3) = 0"),
                                                           Line(1, "CHLEB \\xBDYTNI", "1.500", 'A', "4.50", "6.75"),
                                                           Cancel, Closed}))
            << c.name;
    }
    // A line number the printer cannot take is refused before anything is printed; one
    // right-aligned with blanks, as DOS columns write it, is a number.
    for (const QByteArray &number : {QByteArray("x"), QByteArray("256")}) {
        FiscalRig rig({Simulator::Thermal});
        rig.run(DfJob("THERMAL", 1, {Bread, Fields({number.constData(), "A", "B", "1", "0", "", "100", "23", "100"}), Milk,
                                     Fields({"00", "P", "1", "", "G"})}));
        EXPECT_EQ(rig.result(), "error=32\r\n") << number.constData();
        EXPECT_EQ(rig.calls(), Loaded(Opened + QStringList{Closed})) << number.constData();
    }
    {
        FiscalRig rig({Simulator::Thermal});
        rig.run(DfJob("THERMAL", 1, {Fields({" 2", "A", "B", "1", "0", "", "100", "23", "100"}),
                                     Fields({"00", "P", "1", "", "G"})}));
        EXPECT_EQ(rig.result(), "error=OK\r\n");
        EXPECT_EQ(rig.calls().at(4), Line(2, "A B", "1", 'A', "1.00", "1.00"));
    }
    // More lines than the printer numbers: refused whole, not printed up to 255 and cancelled.
    {
        QList<QByteArray> lines;
        for (int i = 1; i <= 256; ++i)
            lines.append(Fields({QByteArray::number(i % 255 + 1).constData(), "A", "B", "1", "0", "", "100", "23", "100"}));
        lines.append(Fields({"00", "P", "1", "", "G"}));
        FiscalRig rig({Simulator::Thermal});
        rig.run(DfJob("THERMAL", 1, lines));
        EXPECT_EQ(rig.result(), "error=35\r\n");
        EXPECT_EQ(rig.calls(), Loaded(Opened + QStringList{Closed}));
    }
    // A summary total of "00" is no total: the sum of the lines goes.
    {
        FiscalRig rig({Simulator::Thermal});
        rig.run(DfJob("THERMAL", 1, {Bread, Milk, Fields({"00", "P", "1", "", "G", "00"})}));
        EXPECT_EQ(rig.calls().at(6), End(0, "", "Paragon 1", "6.85"));
    }
    // A total that is not a number is refused before anything is loaded.
    FiscalRig rig({Simulator::Thermal});
    rig.run(DfJob("THERMAL", 1, {Bread, Fields({"00", "P", "1", "", "G", "12.50"})}));
    EXPECT_EQ(rig.result(), "error=39\r\n");
    EXPECT_TRUE(rig.calls().isEmpty());
}

TEST(ThermalPath, DriverErrorAtEachStep)
{
    const QString header = S("p_LBTRSHDR(2) = 0");
    const QString bread = Line(1, "CHLEB \\xBDYTNI", "1.500", 'A', "4.50", "6.75");
    const struct {
        const char *script;
        const char *result;
        QStringList calls;
    } cases[] = {
        {"p_Port_Open 1 -2", "error=302\r\n", {S("p_Port_Open(\"COM2\", 9600) = -2")}},
        {"p_LBSERM * 9", "error=2009\r\n", {S("p_Port_Open(\"COM2\", 9600) = 0"), S("p_LBSERM(3) = 9"), Closed}},
        // No transaction was opened: nothing to cancel.
        {"p_LBTRSHDR 1 95", "error=2095\r\n", Opened + QStringList{S("p_LBTRSHDR(2) = 95"), Closed}},
        {"p_LBTRSLN 2 20", "error=150\r\n",
         Opened + QStringList{header, bread, Line(2, "MLEKO ", "0.05", 'B', "1.99", "0.10").replace(S("= 0"), S("= 20")),
                              Cancel, Closed}},
        // The printer refused the end: the cancel ends the receipt unprinted.
        {"p_LBTRXEND1 * 27", "error=2027\r\n",
         Opened + QStringList{header, bread, Line(2, "MLEKO ", "0.05", 'B', "1.99", "0.10"),
                              End(0, "", "Paragon 1", "6.85").replace(S("}) = 0"), S("}) = 27")), Cancel, Closed}},
        // The end's reply was lost and the printer has no transaction left to cancel: the
        // end went through, the receipt was printed.
        {"p_LBTRXEND1 * -2\np_LBTREXITCAN * 29", "error=OK\r\n",
         Opened + QStringList{header, bread, Line(2, "MLEKO ", "0.05", 'B', "1.99", "0.10"),
                              End(0, "", "Paragon 1", "6.85").replace(S("}) = 0"), S("}) = -2")),
                              S("p_LBTREXITCAN(\"001\", \"KIEROWNIK\") = 29"), Closed}},
        // Lost, and the printer out of reach for the cancel too: nobody can say.
        {"p_LBTRXEND1 * -2\np_LBTREXITCAN * -2", "error=1050\r\n",
         Opened + QStringList{header, bread, Line(2, "MLEKO ", "0.05", 'B', "1.99", "0.10"),
                              End(0, "", "Paragon 1", "6.85").replace(S("}) = 0"), S("}) = -2")),
                              S("p_LBTREXITCAN(\"001\", \"KIEROWNIK\") = -2"), Closed}},
        // Lost, and the transaction was still open: cancelled, not printed.
        {"p_LBTRXEND1 * -2", "error=302\r\n",
         Opened + QStringList{header, bread, Line(2, "MLEKO ", "0.05", 'B', "1.99", "0.10"),
                              End(0, "", "Paragon 1", "6.85").replace(S("}) = 0"), S("}) = -2")), Cancel, Closed}},
    };
    for (const auto &c : cases) {
        FiscalRig rig({Simulator::Thermal});
        rig.script(QByteArray(c.script) + "\n");
        rig.run(DfJob("THERMAL", 1, {Bread, Milk, Fields({"00", "P", "1", "", "G"})}));
        EXPECT_EQ(rig.result(), QByteArray(c.result)) << c.script;
        EXPECT_EQ(rig.calls(), Loaded(c.calls)) << c.script;
    }
}

TEST(ThermalPath, ReportsAndDisplay)
{
    const struct {
        int function;
        QList<QByteArray> data;
        const char *result;
        QStringList calls;
    } cases[] = {
        {2, {}, "error=OK\r\n", {S("p_LBDAYREP({@0=0, @1=0, month=12, @4=0 0 0 0 0 0 0 0}) = 0")}},
        {3, {"20240501", " 20240531 "}, "error=OK\r\n",
         {S("p_LBFSKREP_D({start=24 5 1, end=24 5 31, mode=0, @7=0 0 0 0 0 0 0 0}) = 0")}},
        {4, {"19991201", "20000115"}, "error=OK\r\n",
         {S("p_LBFSKREP_D({start=99 12 1, end=0 1 15, mode=1, @7=0 0 0 0 0 0 0 0}) = 0")}},
        {3, {"2024051", "20240531"}, "error=41\r\n", {}},
        {4, {"20240501", "2024053x"}, "error=42\r\n", {}},
        {5, {}, "error=OK\r\n", {S("p_LBCASREP() = 0")}},
        {10, {}, "error=OK\r\n", {S("p_LBDSP(4, null) = 0")}},
        {11, {}, "error=OK\r\n", {S("p_LBDSP(1, null) = 0")}},
        {12, {"1999"}, "error=OK\r\n", {S("p_LBDSP(2, \"19.99\") = 0")}},
    };
    for (const auto &c : cases) {
        FiscalRig rig({Simulator::Thermal});
        rig.run(DfJob("DF300", c.function, c.data));
        EXPECT_EQ(rig.result(), QByteArray(c.result)) << c.function;
        EXPECT_EQ(rig.calls(), Loaded(Opened + c.calls + QStringList{Closed})) << c.function;
    }
    FiscalRig rig({Simulator::Thermal});
    rig.today = QDate(2027, 3, 31);
    rig.script("p_LBDAYREP 1 -41\n");
    rig.run(DfJob("THERMAL", 2));
    EXPECT_EQ(rig.result(), "error=341\r\n");
    EXPECT_EQ(rig.calls().at(3), S("p_LBDAYREP({@0=0, @1=0, month=3, @4=0 0 0 0 0 0 0 0}) = -41"));
}

TEST(ThermalPath, PortsAndLibraries)
{
    FiscalRig rig({Simulator::Thermal});
    rig.run("<DF>\r\nDRK=THERMAL\r\nPORT=0\r\nFUNCTION=5\r\n<END>\r\n");
    EXPECT_EQ(rig.result(), "error=301\r\n");
    EXPECT_EQ(rig.calls(), Loaded({S("p_Port_Open(\"COM0\", 9600) = -1")}));
    rig.run("<DF>\r\nDRK=THERMAL\r\nPORT=255\r\nFUNCTION=5\r\n<END>\r\n");
    EXPECT_EQ(rig.calls(), Loaded({S("p_Port_Open(\"COM255\", 9600) = 0"), S("p_LBSERM(3) = 0"), S("p_LBCASREP() = 0"), Closed}));

    // PTU.txt is read before the library is loaded.
    rig.ptu("<OMEGA_1>\r\n2 23\r\n");
    rig.run(DfJob("THERMAL", 1, {Bread}));
    EXPECT_EQ(rig.result(), "error=2\r\n");
    EXPECT_TRUE(rig.calls().isEmpty());
    rig.remove(QStringLiteral("PTU.txt"));
    rig.remove(ThermalLibraryName);
    rig.run(DfJob("THERMAL", 1, {Bread}));
    EXPECT_EQ(rig.result(), "error=1\r\n");

    rig.run(DfJob("THERMAL", 2));
    EXPECT_EQ(rig.result(), "error=99\r\n");
    WriteFile(rig.program + u'/' + ThermalLibraryName, QByteArray(4096, '\0'));
    rig.run(DfJob("THERMAL", 2));
    EXPECT_EQ(rig.result(), "error=99\r\n");
    // A library without p_Port_Open (here: the Elzab one under the Thermal name).
    rig.install(Simulator::Elzab, ThermalLibraryName);
    const JobResult result = rig.run(DfJob("THERMAL", 2));
    EXPECT_EQ(rig.result(), "error=90\r\n");
    EXPECT_TRUE(result.detail.contains(QStringLiteral("p_Port_Open"))) << result.detail.toStdString();
    EXPECT_EQ(rig.calls(), Loaded({}));

    // Every function of the operation is looked up before the port is opened.
    rig.install(Simulator::ThermalIncomplete, ThermalLibraryName);
    rig.ptu(StandardPtu);
    const JobResult incomplete = rig.run(DfJob("THERMAL", 1, {Bread}));
    EXPECT_EQ(rig.result(), "error=90\r\n");
    EXPECT_TRUE(incomplete.detail.endsWith(QStringLiteral("brak p_LBTRSLN"))) << incomplete.detail.toStdString();
    EXPECT_EQ(rig.calls(), Loaded({}));
    rig.run(DfJob("THERMAL", 5));
    EXPECT_EQ(rig.result(), "error=OK\r\n");

    rig.install(Simulator::Thermal);
    rig.run(DfJob("THERMAL", 2));
    EXPECT_EQ(rig.result(), "error=OK\r\n");
}
