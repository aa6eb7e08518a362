#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>

namespace ostrevo {

// Every Polish public holiday of a year by the holiday law (Sundays included): the fixed
// dates, Easter Monday, Corpus Christi, Epiphany from 2011, 24 December from 2025, and
// 12 November 2018 (a holiday by its own act).
QList<QDate> PolishHolidays(int year);

// The Polish public holidays of a year that fall on a working day (Monday to Friday), in
// date order. For 2006 to 2010 the calendar the legacy program was built with; for every
// other year PolishHolidays.
QList<QDate> WorkdayHolidays(int year);

// The number of the table that the central bank publishes on `date`: the working days of
// its year up to and including it; 0 for a weekend day, a holiday or an invalid date.
int BusinessDayNumber(const QDate &date);

// "a" + number in three digits (more when larger) + "z" + yymmdd: the name of a daily
// table file, "a005z090108" for table 5 of 2009-01-08.
QByteArray DailyName(int number, const QDate &date);
// DailyName(BusinessDayNumber(date), date).
QByteArray DailyFileName(const QDate &date);

} // namespace ostrevo
