// <WALUTA> jobs against a local stand-in for the central bank's servers: the yearly table
// from a workbook, the daily table from the latest-table page and the day files, both
// from the web API; every table read back with dbfread. Bad answers end in "NOT" with no
// table under its name, and the next job still builds it.

#include "net/RateRig.h"
#include "net/rates/RateCalendar.h"

#include <QDirIterator>
#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

const QDate Today(2025, 6, 12);

QStringList DefaultFields()
{
    return QStringList{QStringLiteral("W_DATA"), QStringLiteral("W_1USD"), QStringLiteral("W_1AUD"),
                       QStringLiteral("W_1HKD"), QStringLiteral("W_1CAD"), QStringLiteral("W_1EUR"),
                       QStringLiteral("W_100HUF"), QStringLiteral("W_1CHF"), QStringLiteral("W_1CYP"),
                       QStringLiteral("W_1GBP"), QStringLiteral("W_1UAH"), QStringLiteral("W_100JPY"),
                       QStringLiteral("W_1CZK"), QStringLiteral("W_1DKK"), QStringLiteral("W_1EEK"),
                       QStringLiteral("W_1NOK"), QStringLiteral("W_1SKK"), QStringLiteral("W_1SEK"),
                       QStringLiteral("W_1BGN"), QStringLiteral("W_1MTL"), QStringLiteral("W_1LTL"),
                       QStringLiteral("W_1LVL"), QStringLiteral("W_1RON"), QStringLiteral("W_1ZAR"),
                       QStringLiteral("W_1RUB"), QStringLiteral("W_1XDR"), QStringLiteral("W_NRTABELI"),
                       QStringLiteral("W_F27")};
}

// The rates of one day: USD 4,10dd, EUR 4,30dd (none on the days in `noEuro`), 100 JPY
// 2,60dd, and THB, which the tables have no column for.
QList<XmlRate> DayRates(const QDate &date, bool euro = true)
{
    const QByteArray dd = QByteArray::number(date.day()).rightJustified(2, '0');
    QList<XmlRate> rates{{"bat (Tajlandia)", "1", "THB", "0,11" + dd}, {"dolar amerykański", "1", "USD", "4,10" + dd},
                         {"jen (Japonia)", "100", "JPY", "2,60" + dd}};
    if (euro)
        rates.append({"euro", "1", "EUR", "4,30" + dd});
    return rates;
}

QJsonObject ApiTable(int number, const QDate &date, bool euro = true)
{
    const double day = date.day();
    QJsonArray rates{QJsonObject{{QStringLiteral("currency"), QStringLiteral("dolar amerykański")},
                                 {QStringLiteral("code"), QStringLiteral("USD")},
                                 {QStringLiteral("mid"), 4.1 + day / 10000}},
                     QJsonObject{{QStringLiteral("currency"), QStringLiteral("jen (Japonia)")},
                                 {QStringLiteral("code"), QStringLiteral("JPY")},
                                 {QStringLiteral("mid"), 0.026 + day / 1000000}},
                     QJsonObject{{QStringLiteral("currency"), QStringLiteral("bat (Tajlandia)")},
                                 {QStringLiteral("code"), QStringLiteral("THB")},
                                 {QStringLiteral("mid"), 0.11}}};
    if (euro)
        rates.append(QJsonObject{{QStringLiteral("currency"), QStringLiteral("euro")},
                                 {QStringLiteral("code"), QStringLiteral("EUR")},
                                 {QStringLiteral("mid"), 4.3 + day / 10000}});
    return QJsonObject{{QStringLiteral("table"), QStringLiteral("A")},
                       {QStringLiteral("no"), QStringLiteral("%1/A/NBP/%2").arg(number, 3, 10, QChar(u'0')).arg(date.year())},
                       {QStringLiteral("effectiveDate"), date.toString(Qt::ISODate)},
                       {QStringLiteral("rates"), rates}};
}

QString Text(const QJsonObject &dump, int row, const QString &field)
{
    return Row(dump, row).value(int(FieldNames(dump).indexOf(field)));
}

class RateJobTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_server = new RateServer; }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_server->service->running()) << s_server->service->failure().toStdString();
        QDirIterator it(s_server->root(), QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
        while (it.hasNext()) {
            const QString path = it.next();
            QFileInfo(path).isDir() ? QDir(path).removeRecursively() : QFile::remove(path);
        }
        s_server->requests();
        QDir().mkpath(place.path(QStringLiteral("home")));
        place.context.programDir = place.path(QStringLiteral("home"));
        place.settings.waluty.serwer = s_server->base();
        place.settings.waluty.serwerApi = s_server->base();
        place.settings.waluty.zrodlo = RateSettings::Files;
        tdm.rateJob().today = [] { return Today; };
    }
    JobResult run(const QByteArray &keys)
    {
        return tdm.rateJob().WalutaJob(place.context, place.job(QStringLiteral("KURSY.txt"),
                                                                "<WALUTA>\r\n" + keys + "<END>\r\n"));
    }
    QString dbf(const QString &name) const { return place.path(QStringLiteral("DBF/") + name); }
    QByteArray result(const QString &name) const { return ReadFile(dbf(name)); }
    // The bank's files of the days from the 1st to `latest`: the page naming `latest`, and
    // one file for each day in `published` under the number the bank gave it.
    void publishMonth(const QDate &latest, const QMap<QDate, int> &published, const QDate &noEuro = {}) const
    {
        s_server->put(QStringLiteral("Kursy/KursyA.html"),
                      LatestPage("Tabela nr " + QByteArray::number(published.value(latest)) + "/A/NBP/"
                                 + QByteArray::number(latest.year()) + " z dnia " + latest.toString(Qt::ISODate).toLatin1()));
        for (auto it = published.begin(); it != published.end(); ++it)
            s_server->put(QStringLiteral("Kursy/xml/") + QString::fromLatin1(DailyName(it.value(), it.key()))
                              + QStringLiteral(".xml"),
                          DailyXml(it.value(), it.key(), DayRates(it.key(), it.key() != noEuro)));
    }

    static inline RateServer *s_server = nullptr;
    JobPlace place;
    TDM tdm{place.dir.path() + QStringLiteral("/home"), NetTimeouts{5, 10}};
};

// ---------------------------------------------------------------- the yearly table

QJsonArray YearWorkbook()
{
    QJsonArray titles{QStringLiteral("data")};
    const char *currencies[] = {"1 THB", "1 USD", "1 AUD", "1 HKD", "1 CAD", "1 NZD", "1 SGD", "1 EUR",
                                "100 HUF", "1 CHF", "1 GBP", "1 UAH", "100 JPY", "1 CZK", "1 DKK", "100 ISK",
                                "1 NOK", "1 SEK", "1 HRK", "1 RON", "1 BGN", "1 TRY", "1 LTL"};
    for (const char *c : currencies)
        titles.append(QString::fromLatin1(c));
    titles.append(QStringLiteral("Średni kurs"));
    titles.append(QStringLiteral("nr tabeli"));
    titles.append(QJsonValue::Null); // the untitled 27th column: F27
    QJsonArray rows;
    rows.append(titles); // not rows{titles}: compilers disagree whether that copies titles
    const QList<std::pair<QString, int>> days{{QStringLiteral("2009-01-02"), 1}, {QStringLiteral("2009-01-05"), 2},
                                              {QStringLiteral("2009-01-07"), 4}};
    for (const auto &[date, number] : days) {
        QJsonArray row{QJsonObject{{QStringLiteral("date"), date}}};
        for (int c = 1; c <= 23; ++c)
            row.append((c * 10000 + number * 1000 + 15) / 10000.0);
        row.append(QStringLiteral("zł"));
        row.append(number);
        row.append(QStringLiteral("/A/NBP/2009"));
        rows.append(row);
    }
    return QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("Opis")},
                                  {QStringLiteral("rows"), QJsonArray{QJsonArray{QStringLiteral("Kursy średnie")},
                                                                      QJsonArray{QStringLiteral("tabela A")}}}},
                      QJsonObject{{QStringLiteral("name"), QStringLiteral("2009")}, {QStringLiteral("rows"), rows}}};
}

TEST_F(RateJobTest, YearlyTableFromTheWorkbookThroughAMappedDrive)
{
    const QString book = s_server->root() + QStringLiteral("/kursy/archiwum/2009.xls");
    QDir().mkpath(QFileInfo(book).path());
    ASSERT_TRUE(MakeWorkbook(book, YearWorkbook())) << "python3-xlwt";
    place.settings.drives.insert(u'F', place.path(QStringLiteral("f")));
    QDir().mkpath(place.path(QStringLiteral("f/Ksiegi")));
    EXPECT_EQ(run("ROK=2009\r\nDBF_PATH=F:\\KSIEGI\\DBF // tabele\r\n").outcome, JobResult::Done);
    const QString dir = place.path(QStringLiteral("f/Ksiegi/DBF"));
    EXPECT_EQ(ReadFile(dir + QStringLiteral("/2009.err")), "error=OK\r\n");
    EXPECT_EQ(Entries(dir), (QStringList{QStringLiteral("2009.dbf"), QStringLiteral("2009.err")}));
    EXPECT_EQ(s_server->requests(), QStringList{QStringLiteral("/kursy/archiwum/2009.xls")});
    EXPECT_FALSE(QFile::exists(place.path(QStringLiteral("Download/2009.xls")))) << "the workbook goes once used";

    const QJsonObject table = DumpTable(dir + QStringLiteral("/2009.dbf"));
    ASSERT_FALSE(table.isEmpty()) << "python3-dbfread reads it";
    QStringList fields = FieldNames(table);
    ASSERT_EQ(fields.size(), 27);
    EXPECT_EQ(fields.first(), QStringLiteral("W_data"));
    EXPECT_EQ(fields[1], QStringLiteral("W_1THB"));
    EXPECT_EQ(fields[9], QStringLiteral("W_100HUF"));
    EXPECT_EQ(fields[24], QStringLiteral("W_Sredniku")) << "plain letters, no spaces, ten bytes";
    EXPECT_EQ(fields[25], QStringLiteral("W_nrtabeli"));
    EXPECT_EQ(fields[26], QStringLiteral("W_F27"));
    for (const QJsonValue &field : table.value(QStringLiteral("fields")).toArray()) {
        EXPECT_EQ(field.toArray().at(1).toString(), QStringLiteral("C"));
        EXPECT_EQ(field.toArray().at(2).toInt(), 14);
    }
    EXPECT_EQ(table.value(QStringLiteral("version")).toInt(), 3);
    EXPECT_EQ(table.value(QStringLiteral("ldid")).toInt(), 0xC8) << "Windows-1250";
    EXPECT_EQ(table.value(QStringLiteral("records")).toInt(), 3);
    EXPECT_TRUE(table.value(QStringLiteral("eof")).toBool());
    EXPECT_TRUE(table.value(QStringLiteral("size_ok")).toBool());
    EXPECT_EQ(Row(table, 0).mid(0, 3), (QStringList{QStringLiteral("2009-01-02"), QStringLiteral("1,1015"),
                                                    QStringLiteral("2,1015")}));
    EXPECT_EQ(Row(table, 2).mid(24), (QStringList{QStringLiteral("zł"), QStringLiteral("4"), QStringLiteral("/A/NBP/2009")}));

    // Built once: the next job reports at once.
    const QByteArray before = ReadFile(dir + QStringLiteral("/2009.dbf"));
    EXPECT_EQ(run("ROK=2009\r\nDBF_PATH=F:\\KSIEGI\\DBF\r\n").outcome, JobResult::Done);
    EXPECT_TRUE(s_server->requests().isEmpty());
    EXPECT_EQ(ReadFile(dir + QStringLiteral("/2009.dbf")), before);
}

TEST_F(RateJobTest, YearlyFailuresLeaveNoTable)
{
    // Years that have no archive: no request at all.
    for (const QByteArray year : {"1999", "2026", "-2009", "70000", "rok"}) {
        EXPECT_EQ(run("ROK=" + year + "\r\n").outcome, year == "rok" ? JobResult::Done : JobResult::Failed)
            << year.constData();
    }
    EXPECT_TRUE(s_server->requests().isEmpty());
    EXPECT_EQ(result(QStringLiteral("1999.err")), "error=NOT\r\n");
    EXPECT_EQ(result(QStringLiteral("2026.err")), "error=NOT\r\n");

    s_server->put(QStringLiteral("kursy/archiwum/2008.xls"), QByteArray(4096, 'x'));
    EXPECT_EQ(run("ROK=2008\r\n").outcome, JobResult::Failed);
    EXPECT_EQ(result(QStringLiteral("2008.err")), "error=NOT\r\n");
    // A workbook whose every sheet has one column.
    ASSERT_TRUE(MakeWorkbook(s_server->root() + QStringLiteral("/kursy/archiwum/2010.xls"),
                             QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("A")},
                                                    {QStringLiteral("rows"), QJsonArray{QJsonArray{1}, QJsonArray{2}}}}}));
    EXPECT_EQ(run("ROK=2010\r\n").outcome, JobResult::Failed);
    EXPECT_EQ(result(QStringLiteral("2010.err")), "error=NOT\r\n");
    // A workbook on which FreeXL itself reads out of bounds (found by fuzzing): the
    // conversion runs apart, so only the part fails.
    s_server->put(QStringLiteral("kursy/archiwum/2013.xls"), ReadFile(TestData(QStringLiteral("rates-freexl-fault.xls"))));
    EXPECT_EQ(run("ROK=2013\r\n").outcome, JobResult::Failed);
    EXPECT_EQ(result(QStringLiteral("2013.err")), "error=NOT\r\n");
    s_server->faults(QJsonObject{{QStringLiteral("/kursy/archiwum/2011.xls"), QStringLiteral("close")}});
    EXPECT_EQ(run("ROK=2011\r\n").outcome, JobResult::Failed);
    EXPECT_EQ(run("ROK=2012\r\n").outcome, JobResult::Failed); // 404
    EXPECT_EQ(result(QStringLiteral("2011.err")), "error=NOT\r\n");
    EXPECT_EQ(result(QStringLiteral("2012.err")), "error=NOT\r\n");
    for (const QString &name : Entries(place.path(QStringLiteral("DBF"))))
        EXPECT_TRUE(name.endsWith(QStringLiteral(".err"))) << name.toStdString() << ": no table, whole or half";
    EXPECT_TRUE(Entries(place.path(QStringLiteral("Download"))).isEmpty());

    // The next job, with a good workbook, builds the table.
    ASSERT_TRUE(MakeWorkbook(s_server->root() + QStringLiteral("/kursy/archiwum/2008.xls"), YearWorkbook()));
    EXPECT_EQ(run("ROK=2008\r\n").outcome, JobResult::Done);
    EXPECT_EQ(result(QStringLiteral("2008.err")), "error=OK\r\n");
    EXPECT_EQ(DumpTable(dbf(QStringLiteral("2008.dbf"))).value(QStringLiteral("records")).toInt(), 3);
}

// ---------------------------------------------------------------- the daily table, files

QMap<QDate, int> WorkdaysOfJune(const QDate &latest)
{
    QMap<QDate, int> published;
    for (QDate day(latest.year(), latest.month(), 1); day <= latest; day = day.addDays(1))
        if (BusinessDayNumber(day) > 0)
            published.insert(day, BusinessDayNumber(day));
    return published;
}

TEST_F(RateJobTest, DailyTableByWorkingDays)
{
    const QDate latest(2025, 6, 11);
    const QMap<QDate, int> published = WorkdaysOfJune(latest);
    ASSERT_EQ(published.size(), 8);
    publishMonth(latest, published, QDate(2025, 6, 5));
    EXPECT_EQ(run("ROK=0\r\nBIEZACE=1\r\n").outcome, JobResult::Done);
    EXPECT_EQ(result(QStringLiteral("2025_d.err")), "error=OK\r\n");
    EXPECT_TRUE(Entries(place.path(QStringLiteral("Download"))).isEmpty()) << "every downloaded file goes";

    const QJsonObject table = DumpTable(dbf(QStringLiteral("2025_d.dbf")));
    ASSERT_FALSE(table.isEmpty());
    EXPECT_EQ(FieldNames(table), DefaultFields());
    ASSERT_EQ(RowCount(table), 8);
    EXPECT_TRUE(table.value(QStringLiteral("eof")).toBool());
    EXPECT_TRUE(table.value(QStringLiteral("size_ok")).toBool());
    // The latest table first, then back day by day.
    QList<QDate> days = published.keys();
    std::reverse(days.begin(), days.end());
    for (int row = 0; row < 8; ++row) {
        const QDate day = days[row];
        const QString dd = QString::number(day.day()).rightJustified(2, u'0');
        EXPECT_EQ(Text(table, row, QStringLiteral("W_DATA")), day.toString(Qt::ISODate));
        EXPECT_EQ(Text(table, row, QStringLiteral("W_NRTABELI")), QString::number(published.value(day)));
        EXPECT_EQ(Text(table, row, QStringLiteral("W_F27")), QStringLiteral("/A/NBP/2025"));
        EXPECT_EQ(Text(table, row, QStringLiteral("W_1USD")), QStringLiteral("4,10") + dd);
        EXPECT_EQ(Text(table, row, QStringLiteral("W_100JPY")), QStringLiteral("2,60") + dd);
        EXPECT_EQ(Text(table, row, QStringLiteral("W_1EUR")),
                  day == QDate(2025, 6, 5) ? QStringLiteral("-1") : QStringLiteral("4,30") + dd);
        EXPECT_EQ(Text(table, row, QStringLiteral("W_1CYP")), QStringLiteral("-1"));
    }

    // Built once, never extended: the next job reads the page only.
    s_server->requests();
    const QByteArray before = ReadFile(dbf(QStringLiteral("2025_d.dbf")));
    EXPECT_EQ(run("BIEZACE=1\r\n").outcome, JobResult::Done);
    EXPECT_EQ(s_server->requests(), QStringList{QStringLiteral("/Kursy/KursyA.html")});
    EXPECT_EQ(ReadFile(dbf(QStringLiteral("2025_d.dbf"))), before);
}

TEST_F(RateJobTest, DailyTableByWorkingDaysEndsAtAMissingDay)
{
    const QDate latest(2025, 6, 11);
    const QMap<QDate, int> published = WorkdaysOfJune(latest);
    publishMonth(latest, published);
    s_server->remove(QStringLiteral("Kursy/xml/") + QString::fromLatin1(DailyFileName(QDate(2025, 6, 4)))
                     + QStringLiteral(".xml"));
    EXPECT_EQ(run("BIEZACE=1\r\n").outcome, JobResult::Failed);
    EXPECT_EQ(result(QStringLiteral("2025_d.err")), "error=NOT\r\n");
    EXPECT_EQ(Entries(place.path(QStringLiteral("DBF"))), QStringList{QStringLiteral("2025_d.err")})
        << "no half table: the next job builds it whole";
    EXPECT_TRUE(Entries(place.path(QStringLiteral("Download"))).isEmpty());

    publishMonth(latest, published);
    EXPECT_EQ(run("BIEZACE=1\r\n").outcome, JobResult::Done);
    EXPECT_EQ(RowCount(DumpTable(dbf(QStringLiteral("2025_d.dbf")))), 8);
}

// The bank's numbers run ahead of the calendar (a day it did not work): the tables are
// found by number, and a day without a file is skipped.
TEST_F(RateJobTest, DailyTableByTableNumbers)
{
    const QDate latest(2025, 6, 11);
    QMap<QDate, int> published;
    int number = BusinessDayNumber(latest) + 3;
    for (const int day : {11, 10, 9, 6, 5, 3, 2})
        published.insert(QDate(2025, 6, day), number--);
    publishMonth(latest, published);
    EXPECT_EQ(run("BIEZACE=1\r\n").outcome, JobResult::Done);
    EXPECT_EQ(result(QStringLiteral("2025_d.err")), "error=OK\r\n");
    const QJsonObject table = DumpTable(dbf(QStringLiteral("2025_d.dbf")));
    ASSERT_EQ(RowCount(table), 7);
    int row = 0;
    for (const int day : {11, 10, 9, 6, 5, 3, 2}) {
        EXPECT_EQ(Text(table, row, QStringLiteral("W_DATA")), QDate(2025, 6, day).toString(Qt::ISODate));
        EXPECT_EQ(Text(table, row, QStringLiteral("W_NRTABELI")), QString::number(published.value(QDate(2025, 6, day))));
        ++row;
    }

    // A server failure on a day is no missing day: the part fails, and no table stays.
    QDir(place.path(QStringLiteral("DBF"))).removeRecursively();
    const QString day9 = QStringLiteral("/Kursy/xml/") + QString::fromLatin1(DailyName(published.value(QDate(2025, 6, 9)), QDate(2025, 6, 9)))
        + QStringLiteral(".xml");
    for (const QJsonValue &fault : {QJsonValue(500), QJsonValue(QStringLiteral("close"))}) {
        s_server->faults(QJsonObject{{day9, fault}});
        EXPECT_EQ(run("BIEZACE=1\r\n").outcome, JobResult::Failed);
        EXPECT_EQ(result(QStringLiteral("2025_d.err")), "error=NOT\r\n");
        EXPECT_FALSE(QFile::exists(dbf(QStringLiteral("2025_d.dbf"))));
    }
}

TEST_F(RateJobTest, DailyTableOfTheFirstHoldsOneTable)
{
    tdm.rateJob().today = [] { return QDate(2025, 7, 1); };
    publishMonth(QDate(2025, 7, 1), {{QDate(2025, 7, 1), 125}});
    EXPECT_EQ(run("BIEZACE=1\r\n").outcome, JobResult::Done);
    const QJsonObject table = DumpTable(dbf(QStringLiteral("2025_d.dbf")));
    ASSERT_EQ(RowCount(table), 1);
    EXPECT_EQ(Text(table, 0, QStringLiteral("W_NRTABELI")), QStringLiteral("125"));
    EXPECT_EQ(s_server->requests().size(), 2);
}

TEST_F(RateJobTest, DailyFileRouteBadAnswers)
{
    const QDate latest(2025, 6, 11);
    const QMap<QDate, int> published = WorkdaysOfJune(latest);
    const QString latestXml = QStringLiteral("Kursy/xml/") + QString::fromLatin1(DailyFileName(latest)) + QStringLiteral(".xml");
    const auto expectNot = [&](const char *what) {
        EXPECT_EQ(run("BIEZACE=1\r\n").outcome, JobResult::Failed) << what;
        EXPECT_EQ(result(QStringLiteral("2025_d.err")), "error=NOT\r\n") << what;
        EXPECT_EQ(Entries(place.path(QStringLiteral("DBF"))), QStringList{QStringLiteral("2025_d.err")}) << what;
        EXPECT_TRUE(Entries(place.path(QStringLiteral("Download"))).isEmpty()) << what;
        QFile::remove(dbf(QStringLiteral("2025_d.err")));
    };
    publishMonth(latest, published);
    s_server->put(latestXml, "<?xml version=\"1.0\"?>\r\n<tabela_kursow>\r\n</tabela_kursow>\r\n");
    expectNot("a day file without <pozycja>");
    s_server->put(QStringLiteral("Kursy/KursyA.html"), "<html><td>Tabela nr 1/A/NBP/2025 z dnia 2025-06-11</td></html>");
    expectNot("a page without the marker");
    s_server->put(QStringLiteral("Kursy/KursyA.html"), LatestPage("Tabela nr 1/A/NBP/2005 z dnia 2005-06-10"));
    expectNot("a table before 2006");
    s_server->put(QStringLiteral("Kursy/KursyA.html"), LatestPage("Tabela z dnia 2025-06-11"));
    expectNot("a page without a number");
    s_server->remove(QStringLiteral("Kursy/KursyA.html"));
    expectNot("no page");

    publishMonth(latest, published);
    EXPECT_EQ(run("BIEZACE=1\r\n").outcome, JobResult::Done) << "the next job runs";
}

TEST_F(RateJobTest, WalutyTxtInTheProgramDirectory)
{
    const QDate latest(2025, 6, 11);
    publishMonth(latest, WorkdaysOfJune(latest));
    WriteFile(place.path(QStringLiteral("home/waluty.txt")),
              DosLines({"<WALUTY>", "100JPY", "1THB // bat", "1EUR", "<END>"}));
    EXPECT_EQ(run("BIEZACE=1\r\n").outcome, JobResult::Done);
    const QJsonObject table = DumpTable(dbf(QStringLiteral("2025_d.dbf")));
    EXPECT_EQ(FieldNames(table), (QStringList{QStringLiteral("W_DATA"), QStringLiteral("W_100JPY"), QStringLiteral("W_1THB"),
                                              QStringLiteral("W_1EUR"), QStringLiteral("W_NRTABELI"), QStringLiteral("W_F27")}));
    EXPECT_EQ(Text(table, 0, QStringLiteral("W_1THB")), QStringLiteral("0,1111"));

    QDir(place.path(QStringLiteral("DBF"))).removeRecursively();
    WriteFile(place.path(QStringLiteral("home/waluty.txt")), DosLines({"100JPY", "1EUR"}));
    EXPECT_EQ(run("BIEZACE=1\r\n").outcome, JobResult::Failed);
    EXPECT_EQ(result(QStringLiteral("2025_d.err")), "error=NOT\r\n");
    EXPECT_FALSE(QFile::exists(dbf(QStringLiteral("2025_d.dbf"))));
}

// A killed run's temporary table goes at the next job in that directory; one whose
// writer still runs stays.
TEST_F(RateJobTest, StaleTemporaryTablesGo)
{
    QProcess gone;
    gone.start(QStringLiteral("true"), {});
    ASSERT_TRUE(gone.waitForStarted());
    const qint64 deadPid = gone.processId();
    ASSERT_TRUE(gone.waitForFinished());
    QDir().mkpath(place.path(QStringLiteral("DBF")));
    const QString stale = QStringLiteral(".2025_d-%1-1.dbf").arg(deadPid);
    const QString live = QStringLiteral(".2025_d-1-1.dbf");
    WriteFile(dbf(stale), "half a table");
    WriteFile(dbf(live), "being written");
    WriteFile(dbf(QStringLiteral(".notes.dbf")), "not ours");
    EXPECT_EQ(run("ROK=0\r\nBIEZACE=0\r\n").outcome, JobResult::Done);
    EXPECT_EQ(Entries(place.path(QStringLiteral("DBF"))), (QStringList{live, QStringLiteral(".notes.dbf")}));
}

TEST_F(RateJobTest, UnwritableTableDirectoryReportsInErrors)
{
    WriteFile(place.path(QStringLiteral("plik")), "a file, not a directory");
    place.context.programDir = place.dir.path(); // DBF_PATH relative to it
    EXPECT_EQ(run("ROK=2009\r\nBIEZACE=1\r\nDBF_PATH=plik\\DBF\r\n").outcome, JobResult::Failed);
    EXPECT_TRUE(s_server->requests().isEmpty());
    EXPECT_EQ(place.result(QStringLiteral("2009.err")), "error=NOT\r\n");
    EXPECT_EQ(place.result(QStringLiteral("2025_d.err")), "error=NOT\r\n");
    EXPECT_EQ(run("BIEZACE=0\r\nROK=0\r\nDBF_PATH=Q:\\DBF\r\n").outcome, JobResult::Done) << "nothing asked, nothing done";
}

// ---------------------------------------------------------------- the web API

void PublishApi(const RateServer &server, const QList<QJsonObject> &tables)
{
    QJsonArray list;
    for (const QJsonObject &table : tables)
        list.append(table);
    server.put(QStringLiteral("api.json"), QJsonDocument(list).toJson());
}

TEST_F(RateJobTest, DailyTableFromTheApi)
{
    place.settings.waluty.zrodlo = RateSettings::Api;
    QList<QJsonObject> tables{ApiTable(104, QDate(2025, 5, 30))};
    int number = 105;
    for (const int day : {2, 3, 4, 6, 9, 10, 11}) // no table on the 5th
        tables.append(ApiTable(number++, QDate(2025, 6, day), day != 3));
    PublishApi(*s_server, tables);
    EXPECT_EQ(run("BIEZACE=1\r\n").outcome, JobResult::Done);
    EXPECT_EQ(result(QStringLiteral("2025_d.err")), "error=OK\r\n");
    EXPECT_EQ(s_server->requests(),
              (QStringList{QStringLiteral("/api/exchangerates/tables/A/?format=json"),
                           QStringLiteral("/api/exchangerates/tables/A/2025-06-01/2025-06-10/?format=json")}));
    const QJsonObject table = DumpTable(dbf(QStringLiteral("2025_d.dbf")));
    EXPECT_EQ(FieldNames(table), DefaultFields());
    ASSERT_EQ(RowCount(table), 7);
    int row = 0;
    number = 111;
    for (const int day : {11, 10, 9, 6, 4, 3, 2}) {
        const QString dd = QString::number(day).rightJustified(2, u'0');
        EXPECT_EQ(Text(table, row, QStringLiteral("W_DATA")), QDate(2025, 6, day).toString(Qt::ISODate));
        EXPECT_EQ(Text(table, row, QStringLiteral("W_NRTABELI")), QString::number(number--)) << "as published";
        EXPECT_EQ(Text(table, row, QStringLiteral("W_F27")), QStringLiteral("/A/NBP/2025"));
        EXPECT_EQ(Text(table, row, QStringLiteral("W_1USD")), QStringLiteral("4,10") + dd);
        EXPECT_EQ(Text(table, row, QStringLiteral("W_100JPY")), QStringLiteral("2,60") + dd) << "the rate of 100 units";
        EXPECT_EQ(Text(table, row, QStringLiteral("W_1EUR")), day == 3 ? QStringLiteral("-1") : QStringLiteral("4,30") + dd);
        EXPECT_EQ(Text(table, row, QStringLiteral("W_1XDR")), QStringLiteral("-1"));
        ++row;
    }
}

TEST_F(RateJobTest, YearlyTableFromTheApiIn93DayRequests)
{
    place.settings.waluty.zrodlo = RateSettings::Api;
    QList<QJsonObject> tables;
    int number = 0;
    for (QDate day(2024, 1, 1); day.year() == 2024; day = day.addDays(1))
        if (BusinessDayNumber(day) > 0 && day != QDate(2024, 8, 14)) // one day the bank did not publish
            tables.append(ApiTable(++number, day));
    tables.append(ApiTable(1, QDate(2025, 1, 2)));
    PublishApi(*s_server, tables);
    EXPECT_EQ(run("ROK=2024\r\n").outcome, JobResult::Done);
    EXPECT_EQ(result(QStringLiteral("2024.err")), "error=OK\r\n");
    EXPECT_EQ(s_server->requests(),
              (QStringList{QStringLiteral("/api/exchangerates/tables/A/2024-01-01/2024-04-02/?format=json"),
                           QStringLiteral("/api/exchangerates/tables/A/2024-04-03/2024-07-04/?format=json"),
                           QStringLiteral("/api/exchangerates/tables/A/2024-07-05/2024-10-05/?format=json"),
                           QStringLiteral("/api/exchangerates/tables/A/2024-10-06/2024-12-31/?format=json")}));
    const QJsonObject table = DumpTable(dbf(QStringLiteral("2024.dbf")));
    EXPECT_EQ(FieldNames(table), DefaultFields()) << "the layout of the daily table";
    ASSERT_EQ(RowCount(table), number);
    EXPECT_EQ(table.value(QStringLiteral("records")).toInt(), number);
    EXPECT_EQ(Row(table, 0).first(), QStringLiteral("2024-01-02"));
    EXPECT_EQ(Text(table, 0, QStringLiteral("W_NRTABELI")), QStringLiteral("1"));
    EXPECT_EQ(Text(table, number - 1, QStringLiteral("W_DATA")), QStringLiteral("2024-12-31"));
    EXPECT_EQ(Text(table, number - 1, QStringLiteral("W_NRTABELI")), QString::number(number));
    EXPECT_EQ(Text(table, number - 1, QStringLiteral("W_F27")), QStringLiteral("/A/NBP/2024"));

    // The current year runs up to today; a year without any table is a failure.
    EXPECT_EQ(run("ROK=2025\r\n").outcome, JobResult::Done);
    EXPECT_EQ(s_server->requests(),
              (QStringList{QStringLiteral("/api/exchangerates/tables/A/2025-01-01/2025-04-03/?format=json"),
                           QStringLiteral("/api/exchangerates/tables/A/2025-04-04/2025-06-12/?format=json")}));
    EXPECT_EQ(RowCount(DumpTable(dbf(QStringLiteral("2025.dbf")))), 1);
    EXPECT_EQ(run("ROK=2001\r\n").outcome, JobResult::Failed);
    EXPECT_EQ(result(QStringLiteral("2001.err")), "error=NOT\r\n");
    EXPECT_FALSE(QFile::exists(dbf(QStringLiteral("2001.dbf"))));
}

TEST_F(RateJobTest, ApiBadAnswers)
{
    place.settings.waluty.zrodlo = RateSettings::Api;
    PublishApi(*s_server, {ApiTable(110, QDate(2025, 6, 10)), ApiTable(111, QDate(2025, 6, 11))});
    const QString latest = QStringLiteral("/api/exchangerates/tables/A/");
    const QString month = QStringLiteral("/api/exchangerates/tables/A/2025-06-01/2025-06-10/");
    const QList<std::pair<QString, QJsonValue>> faults{
        {latest, 404},
        {latest, 400},
        {latest, 500},
        {latest, QStringLiteral("close")},
        {latest, QStringLiteral("body:<html>not json</html>")},
        {latest, QStringLiteral("body:[{\"no\":\"111/A/NBP/2025\",\"effectiveDate\":\"2025-06-11\"}]")},
        {latest, QStringLiteral("body:{\"rates\":[]}")},
        {month, 400},
        {month, 500},
        {month, QStringLiteral("body:[{\"no\":\"110/A/NBP/2025\",\"effectiveDate\":\"2025-06-10\"}]")},
    };
    for (const auto &[path, fault] : faults) {
        const std::string what = path.toStdString() + " " + QJsonDocument(QJsonArray{fault}).toJson().toStdString();
        s_server->faults(QJsonObject{{path, fault}});
        EXPECT_EQ(run("ROK=2024\r\nBIEZACE=1\r\n").outcome, JobResult::Failed) << what;
        EXPECT_EQ(result(QStringLiteral("2025_d.err")), "error=NOT\r\n") << what;
        EXPECT_EQ(result(QStringLiteral("2024.err")), "error=NOT\r\n") << what << ": no table of 2024 at all";
        EXPECT_EQ(Entries(place.path(QStringLiteral("DBF"))),
                  (QStringList{QStringLiteral("2024.err"), QStringLiteral("2025_d.err")})) << what;
        QFile::remove(dbf(QStringLiteral("2025_d.err")));
    }
    // Nothing listens there.
    place.settings.waluty.serwerApi = QStringLiteral("http://127.0.0.1:1");
    EXPECT_EQ(run("BIEZACE=1\r\n").outcome, JobResult::Failed);
    EXPECT_EQ(result(QStringLiteral("2025_d.err")), "error=NOT\r\n");

    place.settings.waluty.serwerApi = s_server->base();
    s_server->faults({});
    EXPECT_EQ(run("ROK=0\r\nBIEZACE=1\r\n").outcome, JobResult::Done) << "the next job runs";
    EXPECT_EQ(RowCount(DumpTable(dbf(QStringLiteral("2025_d.dbf")))), 2);
}

} // namespace
