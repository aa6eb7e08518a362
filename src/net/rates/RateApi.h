#pragma once

#include "net/rates/CurrencyCodes.h"
#include "net/rates/DailyTable.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

namespace ostrevo {

// The bank's web API for table A (average rates), as JSON.
//   {base}/api/exchangerates/tables/A/?format=json              the latest table
//   {base}/api/exchangerates/tables/A/{from}/{to}/?format=json  every table of the range
// A range holds at most ApiMaxDays days; 404 means no table in it.
constexpr int ApiMaxDays = 93;

QByteArray ApiLatestAddress(const QString &base);
QByteArray ApiRangeAddress(const QString &base, const QDate &from, const QDate &to);

// The days from `from` to `to`, in ranges of at most `maxDays` days, in order.
QList<std::pair<QDate, QDate>> ApiRanges(const QDate &from, const QDate &to, int maxDays = ApiMaxDays);

// The rate of `multiplier` units as the bank's daily files write it: a decimal comma, four
// decimals at least and more only where the value has them ("4,1082", "2,9585").
QByteArray ApiRateText(double mid, int multiplier);

// The tables of an answer as records of the daily layout: number and suffix from "no"
// ("039/A/NBP/2022" gives 39 and "/A/NBP/2022"), the date from "effectiveDate", and for
// each code of `codes` whose currency the table has, its rate. Nothing, with `why` set,
// when the body is not such an answer: not JSON, not an array of tables, a table without
// "rates" or with a number, date or rate that is none.
std::optional<QList<DailyRecord>> ParseApiTables(const QByteArray &body, const QList<CurrencyCode> &codes,
                                                 QString &why);

} // namespace ostrevo
