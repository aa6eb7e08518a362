#include "net/rates/RateCalendar.h"

#include <array>

namespace ostrevo {

namespace {

// The legacy program's calendar, month and day of each holiday of 2006 to 2010.
struct MonthDay {
    int month;
    int day;
};

const std::array<QList<MonthDay>, 5> LegacyCalendar = {{
    {{4, 17}, {5, 1}, {5, 3}, {6, 15}, {8, 15}, {11, 1}, {12, 25}, {12, 26}},
    {{1, 1}, {4, 9}, {5, 1}, {5, 3}, {6, 7}, {8, 15}, {11, 1}, {12, 25}, {12, 26}},
    {{1, 1}, {3, 24}, {5, 1}, {5, 22}, {8, 15}, {11, 1}, {11, 11}, {12, 25}, {12, 26}},
    {{1, 1}, {4, 13}, {5, 1}, {6, 11}, {11, 11}, {12, 25}},
    {{1, 1}, {4, 5}, {5, 3}, {6, 3}, {11, 1}, {11, 11}},
}};

// Easter Sunday of the Gregorian calendar (the anonymous algorithm of Meeus).
QDate EasterSunday(int year)
{
    const int a = year % 19;
    const int b = year / 100;
    const int c = year % 100;
    const int d = b / 4;
    const int e = b % 4;
    const int f = (b + 8) / 25;
    const int g = (b - f + 1) / 3;
    const int h = (19 * a + b - d - g + 15) % 30;
    const int i = c / 4;
    const int k = c % 4;
    const int l = (32 + 2 * e + 2 * i - h - k) % 7;
    const int m = (a + 11 * h + 22 * l) / 451;
    const int month = (h + l - 7 * m + 114) / 31;
    const int day = (h + l - 7 * m + 114) % 31 + 1;
    return QDate(year, month, day);
}

} // namespace

QList<QDate> PolishHolidays(int year)
{
    QList<QDate> days;
    const auto add = [&](int month, int day) { days.append(QDate(year, month, day)); };
    add(1, 1);
    if (year >= 2011)
        add(1, 6);
    const QDate easter = EasterSunday(year);
    days.append(easter.addDays(1));  // Easter Monday
    days.append(easter.addDays(60)); // Corpus Christi
    add(5, 1);
    add(5, 3);
    add(8, 15);
    add(11, 1);
    add(11, 11);
    if (year == 2018)
        add(11, 12);
    if (year >= 2025)
        add(12, 24);
    add(12, 25);
    add(12, 26);
    return days;
}

namespace {

bool IsWorkday(const QDate &date)
{
    return date.dayOfWeek() <= 5; // Qt: 1 = Monday .. 7 = Sunday
}

} // namespace

QList<QDate> WorkdayHolidays(int year)
{
    QList<QDate> days;
    if (year >= 2006 && year <= 2010) {
        for (const MonthDay &slot : LegacyCalendar[size_t(year - 2006)])
            days.append(QDate(year, slot.month, slot.day));
    } else {
        days = PolishHolidays(year);
    }
    // A holiday on a Saturday or Sunday is no working day lost: the weekend count has it
    // already (1 November 2008 was a Saturday in the legacy calendar).
    QList<QDate> workdays;
    for (const QDate &day : std::as_const(days))
        if (day.isValid() && IsWorkday(day))
            workdays.append(day);
    std::sort(workdays.begin(), workdays.end());
    return workdays;
}

int BusinessDayNumber(const QDate &date)
{
    if (!date.isValid() || !IsWorkday(date))
        return 0;
    const QDate first(date.year(), 1, 1);
    const qint64 n = first.daysTo(date) + 1; // the days of the year up to the date
    // Saturdays and Sundays among them: two in each full week, and those of the part week
    // that ends on the date.
    const int w = date.dayOfWeek() % 7 + 1; // 1 = Sunday .. 7 = Saturday
    qint64 weekend = 2 * (n / 7);
    if (n % 7 >= w + 1)
        ++weekend;
    if (n % 7 >= w)
        ++weekend;
    qint64 holidays = 0;
    for (const QDate &holiday : WorkdayHolidays(date.year())) {
        if (holiday == date)
            return 0;
        if (holiday < date)
            ++holidays;
    }
    const qint64 number = n - weekend - holidays;
    return number > 0 ? int(number) : 0;
}

QByteArray DailyName(int number, const QDate &date)
{
    return "a" + QByteArray::number(number).rightJustified(3, '0') + "z"
        + date.toString(QStringLiteral("yyMMdd")).toLatin1();
}

QByteArray DailyFileName(const QDate &date)
{
    return DailyName(BusinessDayNumber(date), date);
}

} // namespace ostrevo
