// What the rate job reads: the bank's daily files, its page of the latest table, its API
// answers, waluty.txt; and the rate texts it writes.

#include "net/rates/CurrencyCodes.h"
#include "net/rates/LatestTablePage.h"
#include "net/rates/RateApi.h"
#include "net/rates/RateXml.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

TEST(RateParsersTest, DailyFileEntries)
{
    const QByteArray lines = DosLines({"<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>", "<tabela_kursow typ=\"A\">",
                                       "<pozycja>", "<nazwa_waluty>bat (Tajlandia)</nazwa_waluty>",
                                       "<przelicznik>1</przelicznik>", "<kod_waluty>THB</kod_waluty>",
                                       "<kurs_sredni>0,0850</kurs_sredni>", "</pozycja>", "<pozycja>",
                                       "<nazwa_waluty>jen (Japonia)</nazwa_waluty>", "<przelicznik>100</przelicznik>",
                                       "<kod_waluty>JPY</kod_waluty>", "<kurs_sredni> 3,3211 </kurs_sredni>",
                                       "</pozycja>", "</tabela_kursow>"});
    const QList<RateEntry> entries = ParseRateXmlText(lines);
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].name, "bat (Tajlandia)");
    EXPECT_EQ(entries[0].column(), "W_1THB");
    EXPECT_EQ(entries[0].rate, "0,0850");
    EXPECT_EQ(entries[1].column(), "W_100JPY");
    EXPECT_EQ(entries[1].rate, "3,3211");

    // All on one line, and a last entry cut off by the end of the file.
    const QList<RateEntry> packed = ParseRateXmlText(
        "<t><pozycja><przelicznik>1</przelicznik><kod_waluty>USD</kod_waluty><kurs_sredni>4,1</kurs_sredni></pozycja>"
        "<pozycja><kod_waluty>EUR</kod_waluty><kurs_sredni>4,3");
    ASSERT_EQ(packed.size(), 2);
    EXPECT_EQ(packed[0].column(), "W_1USD");
    EXPECT_EQ(packed[1].code, "EUR");
    EXPECT_TRUE(packed[1].rate.isEmpty()) << "a value counts only with both its tags";
    EXPECT_TRUE(ParseRateXmlText("<tabela_kursow></tabela_kursow>").isEmpty());

    QList<RateEntry> kept{RateEntry{"x", "1", "USD", "1"}};
    EXPECT_FALSE(ParseRateXml(QStringLiteral("/nonexistent/a.xml"), kept));
    EXPECT_EQ(kept.size(), 1);
}

TEST(RateParsersTest, LatestTablePageHeader)
{
    const QByteArray page = "<html>\r\n<td class=\"x\">a 1/2/3/4</td>\r\n"
                            "<td class=\"nag\"><b>Tabela nr 239/A/NBP/2009</b> z dnia <i>2009-12-09</i></td>\r\n"
                            "<td class=\"nag\">Tabela nr 1/A/NBP/2010 z dnia 2010-01-04</td>\r\n";
    const auto header = LatestTableHeader(page);
    ASSERT_TRUE(header);
    EXPECT_EQ(*header, "Tabela nr 239/A/NBP/2009 z dnia 2009-12-09");
    const LatestTable table = ParseLatestTableHeader(*header);
    EXPECT_EQ(table.number, 239);
    EXPECT_EQ(table.date, QDate(2009, 12, 9));

    EXPECT_FALSE(LatestTableHeader("<td class=\"NAG\">Tabela nr 1/A/NBP/2010 z dnia 2010-01-04</td>"));
    EXPECT_FALSE(LatestTableHeader(QByteArray()));
    // A later word overrides; a word of other piece counts is no number or date; an
    // impossible date is none.
    EXPECT_EQ(ParseLatestTableHeader("nr 5/A/NBP/2009 i 7/A/NBP/2009 2009-01-08").number, 7);
    EXPECT_EQ(ParseLatestTableHeader("nr 5/A/NBP i 2009-01").number, 0);
    EXPECT_FALSE(ParseLatestTableHeader("nr 5/A/NBP i 2009-01").date.isValid());
    EXPECT_FALSE(ParseLatestTableHeader("5/A/NBP/2009 2009-02-30").date.isValid());
    EXPECT_EQ(ParseLatestTableHeader("x/A/NBP/2009 2009-02-03").number, 0);
    EXPECT_EQ(ParseLatestTableHeader("Tabela\tnr\t12/A/NBP/2011\t2011-01-19").number, 12);
}

TEST(RateParsersTest, CurrencyCodesFromWalutyTxt)
{
    const QList<CurrencyCode> defaults = DefaultCurrencyCodes();
    ASSERT_EQ(defaults.size(), 25);
    EXPECT_EQ(defaults.first().text, "1USD");
    EXPECT_EQ(defaults[5].text, "100HUF");
    EXPECT_EQ(defaults[5].multiplier, 100);
    EXPECT_EQ(defaults[5].currency, "HUF");
    EXPECT_EQ(defaults.last().text, "1XDR");

    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("a.txt"));
    const QString second = dir.filePath(QStringLiteral("b.txt"));
    WriteFile(first, DosLines({"1ZZZ", "<WALUTY> // ours", "  1USD  ", "", "100JPY // yen", "<END>", "1XXX",
                               "<waluty>", "1EUR", "<END>", "1YYY"}));
    WriteFile(second, DosLines({"<WALUTY>", "1GBP", "<END>"}));
    QList<QByteArray> texts;
    for (const CurrencyCode &code : LoadCurrencyCodes({dir.filePath(QStringLiteral("none.txt")), first, second}))
        texts.append(code.text);
    EXPECT_EQ(texts, (QList<QByteArray>{"1USD", "100JPY", "1EUR"}));
    EXPECT_EQ(LoadCurrencyCodes({second}).size(), 1);

    WriteFile(first, DosLines({"1USD", "1EUR"}));
    EXPECT_TRUE(LoadCurrencyCodes({first}).isEmpty()) << "a file without a section lists no code";
    EXPECT_EQ(LoadCurrencyCodes({dir.filePath(QStringLiteral("none.txt"))}).size(), 25);
}

TEST(RateParsersTest, ApiRatesRangesAndAnswers)
{
    EXPECT_EQ(ApiRateText(4.1082, 1), "4,1082");
    EXPECT_EQ(ApiRateText(0.029585, 100), "2,9585");
    EXPECT_EQ(ApiRateText(3.5, 1), "3,5000");
    EXPECT_EQ(ApiRateText(0.00026123, 10000), "2,6123");
    EXPECT_EQ(ApiRateText(0.123456, 1), "0,123456");

    // A leap year in ranges of at most 93 days, without gaps or overlaps.
    const auto ranges = ApiRanges(QDate(2024, 1, 1), QDate(2024, 12, 31));
    ASSERT_EQ(ranges.size(), 4);
    QDate next(2024, 1, 1);
    for (const auto &[from, to] : ranges) {
        EXPECT_EQ(from, next);
        EXPECT_LE(from.daysTo(to) + 1, 93);
        next = to.addDays(1);
    }
    EXPECT_EQ(next, QDate(2025, 1, 1));
    EXPECT_EQ(ApiRanges(QDate(2024, 1, 1), QDate(2024, 1, 1)).size(), 1);
    EXPECT_TRUE(ApiRanges(QDate(2024, 1, 2), QDate(2024, 1, 1)).isEmpty());
    EXPECT_EQ(ApiRangeAddress(QStringLiteral("http://h"), QDate(2024, 1, 1), QDate(2024, 4, 2)),
              "http://h/api/exchangerates/tables/A/2024-01-01/2024-04-02/?format=json");

    const QList<CurrencyCode> codes{CurrencyCode::fromText("1USD"), CurrencyCode::fromText("100JPY"),
                                    CurrencyCode::fromText("1EUR")};
    QString why;
    const auto records = ParseApiTables(
        R"([{"table":"A","no":"039/A/NBP/2022","effectiveDate":"2022-02-25",
             "rates":[{"currency":"dolar","code":"USD","mid":4.0543},{"currency":"jen","code":"JPY","mid":0.035192},
                      {"currency":"bat","code":"THB","mid":0.1283}]}])",
        codes, why);
    ASSERT_TRUE(records) << why.toStdString();
    ASSERT_EQ(records->size(), 1);
    const DailyRecord &record = records->first();
    EXPECT_EQ(record.number, "39");
    EXPECT_EQ(record.suffix, "/A/NBP/2022");
    EXPECT_EQ(record.date, QDate(2022, 2, 25));
    EXPECT_EQ(record.rates.value("W_1USD"), "4,0543");
    EXPECT_EQ(record.rates.value("W_100JPY"), "3,5192");
    EXPECT_FALSE(record.rates.contains("W_1EUR"));

    for (const char *bad : {"not json", "{\"no\":\"1/A/NBP/2022\"}", "[1]",
                            R"([{"no":"1/A/NBP/2022","effectiveDate":"2022-01-03"}])",
                            R"([{"no":"x/A/NBP/2022","effectiveDate":"2022-01-03","rates":[]}])",
                            R"([{"no":"1/A/NBP/2022","effectiveDate":"2022-13-03","rates":[]}])",
                            R"([{"no":"1/A/NBP/2022","effectiveDate":"2022-01-03","rates":[{"code":"USD","mid":"4"}]}])"}) {
        why.clear();
        EXPECT_FALSE(ParseApiTables(bad, codes, why)) << bad;
        EXPECT_FALSE(why.isEmpty()) << bad;
    }
}

} // namespace
