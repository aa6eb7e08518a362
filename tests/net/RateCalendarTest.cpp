// The table numbers of the central bank: working days of the year, with the legacy
// calendar for 2006 to 2010 and the holiday law for every other year.

#include "net/rates/RateCalendar.h"

#include <gtest/gtest.h>

using namespace ostrevo;

namespace {

TEST(RateCalendarTest, NumbersOfTheLegacyExamples)
{
    EXPECT_EQ(BusinessDayNumber(QDate(2009, 1, 8)), 5); // eight days, one weekend, New Year's Day
    EXPECT_EQ(BusinessDayNumber(QDate(2009, 1, 10)), 0); // a Saturday
    EXPECT_EQ(BusinessDayNumber(QDate(2009, 5, 1)), 0);  // a holiday
    EXPECT_EQ(BusinessDayNumber(QDate(2009, 1, 2)), 1);
    EXPECT_EQ(BusinessDayNumber(QDate()), 0);
    EXPECT_EQ(DailyFileName(QDate(2009, 1, 8)), "a005z090108");
    EXPECT_EQ(DailyFileName(QDate(2009, 1, 10)), "a000z090110");
    EXPECT_EQ(DailyName(1234, QDate(2010, 12, 1)), "a1234z101201");
    EXPECT_EQ(DailyName(39, QDate(2022, 2, 25)), "a039z220225");
}

TEST(RateCalendarTest, NumbersAfter2010FollowTheHolidayLaw)
{
    // Published numbers: 039/A/NBP/2022 of 2022-02-25 (Epiphany on a Thursday before it).
    EXPECT_EQ(BusinessDayNumber(QDate(2022, 2, 25)), 39);
    EXPECT_EQ(BusinessDayNumber(QDate(2025, 1, 2)), 1);
    EXPECT_EQ(BusinessDayNumber(QDate(2011, 1, 6)), 0);  // Epiphany, from 2011
    EXPECT_EQ(BusinessDayNumber(QDate(2024, 4, 1)), 0);  // Easter Monday
    EXPECT_EQ(BusinessDayNumber(QDate(2024, 5, 30)), 0); // Corpus Christi
    EXPECT_EQ(BusinessDayNumber(QDate(2018, 11, 12)), 0);
    EXPECT_NE(BusinessDayNumber(QDate(2024, 12, 24)), 0);
    EXPECT_EQ(BusinessDayNumber(QDate(2025, 12, 24)), 0); // from 2025
    EXPECT_EQ(BusinessDayNumber(QDate(2025, 12, 31)), 251);
}

// The legacy rows hold the law's holidays that fall on working days, and only those
// (1 November 2008 was a Saturday; counting it as well would take one day too many).
TEST(RateCalendarTest, LegacyRowsAgreeWithTheLawOnWorkingDays)
{
    for (int year = 2006; year <= 2010; ++year) {
        QList<QDate> law;
        for (const QDate &day : PolishHolidays(year))
            if (day.dayOfWeek() <= 5)
                law.append(day);
        std::sort(law.begin(), law.end());
        EXPECT_EQ(WorkdayHolidays(year), law) << year;
    }
}

// Every working day takes the next number from 1 on; the others have none. A holiday
// counted twice or a weekend miscounted shows as a step of 0 or 2.
TEST(RateCalendarTest, EachWorkingDayTakesTheNextNumber)
{
    for (int year = 2006; year <= 2040; ++year) {
        const QList<QDate> holidays = PolishHolidays(year);
        int expected = 0;
        for (QDate day(year, 1, 1); day.year() == year; day = day.addDays(1)) {
            const bool working = day.dayOfWeek() <= 5 && !holidays.contains(day);
            if (working)
                ++expected;
            ASSERT_EQ(BusinessDayNumber(day), working ? expected : 0) << day.toString(Qt::ISODate).toStdString();
        }
    }
}

} // namespace
