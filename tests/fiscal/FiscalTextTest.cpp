// The text rules of fiscal jobs, table by table.

#include "fiscal/FiscalPrinters.h"
#include "fiscal/FiscalText.h"
#include "fiscal/OpenReceipt.h"
#include "fiscal/FiscalJob.h"

#include <gtest/gtest.h>

using namespace ostrevo;

TEST(FiscalText, IntegersAreSignedDecimalsInThe32BitRange)
{
    const struct {
        const char *text;
        std::optional<std::int32_t> value;
    } cases[] = {
        {"0", 0}, {"675", 675}, {"-250", -250}, {"0050", 50}, {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<std::int32_t>::min()},
        {"2147483648", std::nullopt}, {"99999999999", std::nullopt}, {"", std::nullopt}, {"-", std::nullopt},
        {"+5", std::nullopt}, {" 5", std::nullopt}, {"5 ", std::nullopt}, {"12.50", std::nullopt},
        {"$FF", std::nullopt}, {"1e3", std::nullopt}, {"abc", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ParseFiscalInteger(c.text), c.value) << c.text;
}

TEST(FiscalText, InsertDecimalPointPadsWithZeros)
{
    const struct {
        const char *text;
        int places;
        const char *expected;
    } cases[] = {
        {"1999", 2, "19.99"}, {"5", 2, "0.05"}, {"", 2, "0.00"}, {"1500", 3, "1.500"}, {"5", 3, "0.005"},
        {"1500", 0, "1500"}, {"", 0, ""}, {"99", 2, "0.99"}, {"100", 2, "1.00"}, {"-5", 2, "-0.05"},
        {"-1250", 2, "-12.50"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(InsertDecimalPoint(c.text, c.places, '.'), QByteArray(c.expected)) << c.text << " " << c.places;
    EXPECT_EQ(InsertDecimalPoint("1999", 2, ','), QByteArray("19,99"));
}

TEST(FiscalText, DatesAreEightDigits)
{
    const std::optional<FiscalDate> date = ParseFiscalDate("20240517");
    ASSERT_TRUE(date);
    EXPECT_EQ(date->year, 24);
    EXPECT_EQ(date->month, 5);
    EXPECT_EQ(date->day, 17);
    const std::optional<FiscalDate> century = ParseFiscalDate("19991231");
    ASSERT_TRUE(century);
    EXPECT_EQ(century->year, 99);
    for (const char *bad : {"2024051", "202405170", "", "2024-5-1", "2024O517", " 2024051", "20240517 "})
        EXPECT_FALSE(ParseFiscalDate(bad)) << bad;
}

TEST(FiscalText, FieldsEndAtTheSeparatorOrTheLineEnd)
{
    const struct {
        QByteArray line;
        QList<QByteArray> fields;
    } cases[] = {
        {"a\x04" "b\x04", {"a", "b"}},
        {"a\x04" "b", {"a", "b"}},
        {"a\x04\x04" "c\x04", {"a", "", "c"}},
        {"\x04", {""}},
        {"", {""}},
        {"00\x04P\x04" "12\x04\x04G", {"00", "P", "12", "", "G"}},
        {" a \x04 ", {" a ", " "}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SplitFiscalFields(c.line), c.fields) << c.line.toStdString();
}

TEST(FiscalText, ReportedNumbers)
{
    // A driver's or printer's own numbers: the legacy table's ranges, every other number
    // in a range of its own.
    const struct {
        int code;
        int reported;
    } driver[] = {
        {-1, 301}, {-3, 303}, {-10, 310}, {-11, 9011}, {-19, 9019}, {-20, 320}, {-29, 329}, {-30, 9030},
        {-40, 9040}, {-41, 341}, {-43, 343}, {-44, 9044}, {-50, 350}, {-53, 353}, {-54, 9054}, {-60, 360},
        {20, 150}, {21, 151}, {22, 2022}, {23, 153}, {24, 154}, {99, 159}, {199, 2199}, {200, 120}, {226, 146},
        {227, 2227}, {999, 199}, {1000, 3000}, {1031, 3031}, {4, 2004}, {109, 2109},
    };
    for (const auto &c : driver)
        EXPECT_EQ(MapDriverCode(c.code), c.reported) << c.code;
    // The monitor's own: the code less 1000.
    for (const int code : {1001, 1031, 1099})
        EXPECT_EQ(MapFiscalCode(code), code - 1000);

    EXPECT_EQ(FiscalResultStatus(0), QByteArray("OK"));
    EXPECT_EQ(FiscalResultStatus(1031), QByteArray("31"));
    EXPECT_EQ(FiscalResultStatus(fcStateUnknown), QByteArray("1050"));
    FiscalOutcome outcome;
    outcome.setDriver(-3, {});
    EXPECT_EQ(FiscalResultStatus(outcome), QByteArray("303"));
    // A printer's error 4 never reads as the monitor's 4 (unknown VAT rate), nor a
    // driver's 1000 as 0.
    outcome.setDriver(4, {});
    EXPECT_EQ(FiscalResultStatus(outcome), QByteArray("2004"));
    outcome.setDriver(1000, {});
    EXPECT_EQ(FiscalResultStatus(outcome), QByteArray("3000"));
    // 109 is the drivers' success with a remark, unless it cancelled the receipt.
    outcome.setDriver(109, {});
    EXPECT_EQ(FiscalResultStatus(outcome), QByteArray("OK"));
    outcome.receiptCancelled = true;
    EXPECT_EQ(FiscalResultStatus(outcome), QByteArray("2109"));
}

TEST(FiscalText, EveryWayOutOfAnOpenReceiptCancelsIt)
{
    // A failure thrown in the middle of a receipt (a full memory) still cancels it, once.
    int cancels = 0;
    FiscalOutcome outcome;
    try {
        OpenReceipt open([&cancels] { ++cancels; return 0; }, outcome);
        throw std::bad_alloc();
    } catch (const std::bad_alloc &) {
    }
    EXPECT_EQ(cancels, 1);
    EXPECT_TRUE(outcome.receiptCancelled);
    {
        OpenReceipt open([&cancels] { ++cancels; return 0; }, outcome);
        open.cancel();
        open.cancel();
    }
    EXPECT_EQ(cancels, 2);
    {
        OpenReceipt open([&cancels] { ++cancels; return 0; }, outcome);
        open.closed();
    }
    EXPECT_EQ(cancels, 2) << "a receipt that ended is not cancelled";
}
