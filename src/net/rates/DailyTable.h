#pragma once

#include "net/rates/CurrencyCodes.h"
#include "net/rates/DbfTable.h"

#include <QByteArray>
#include <QDate>
#include <QMap>

#include <memory>

namespace ostrevo {

// Every field of the rate tables is text of this width.
constexpr int RateFieldWidth = 14;

// One published table as a record of the daily layout.
struct DailyRecord {
    QDate date;
    QByteArray number; // W_NRTABELI: decimal, no leading zeros
    QByteArray suffix; // W_F27: "/A/NBP/2009"
    // Rate texts by column name in upper case ("W_100JPY" -> "2,9585").
    QMap<QByteArray, QByteArray> rates;

    void setRate(const QByteArray &column, const QByteArray &rate) { rates.insert(column.toUpper(), rate); }
};

// W_DATA, one "W_" + code per currency code in order, W_NRTABELI, W_F27.
QList<QByteArray> DailyFieldNames(const QList<CurrencyCode> &codes);

// A new table of that layout under `tablePath` (see DbfTable); nothing with `why` set
// when there are no codes or the table cannot be made.
std::unique_ptr<DbfTable> CreateRateTable(const QString &tablePath, const QList<CurrencyCode> &codes, QString &why);

// The record of a table: its date, "-1" for each currency it has no rate for, its number
// and suffix. Rates of columns the table lacks are left out. False with `why` set when
// the record cannot be written.
bool AppendRateRecord(DbfTable &table, const DailyRecord &record, QString &why);

// The file route, from a daily table file of the bank (deleted when they end, whatever
// the outcome): the first record of a new table, and each later one.
std::unique_ptr<DbfTable> CreateDailyTable(const QString &xmlPath, const QString &tablePath,
                                           const QList<CurrencyCode> &codes, const QByteArray &number,
                                           const QByteArray &suffix, const QDate &date, QString &why);
int AppendDailyRecord(const QString &xmlPath, DbfTable &table, const QByteArray &number, const QByteArray &suffix,
                      const QDate &date, QString &why);

} // namespace ostrevo
