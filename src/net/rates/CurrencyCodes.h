#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace ostrevo {

// One currency column of the daily tables: the bank's multiplier and the currency code,
// "1USD" or "100JPY"; the column is "W_" + the code.
struct CurrencyCode {
    QByteArray text;        // as written: "100JPY"
    int multiplier = 1;     // the leading digits: 100; 1 when there are none
    QByteArray currency;    // the rest: "JPY"

    static CurrencyCode fromText(const QByteArray &text);
    QByteArray column() const { return "W_" + text; }
};

// The 25 columns of a table when no waluty.txt says otherwise.
QList<CurrencyCode> DefaultCurrencyCodes();

// The codes of waluty.txt: every section from a line holding "<WALUTY>" up to the next
// line holding "<END>", comments removed, lines trimmed, empty lines skipped. Reads the
// first of `candidates` that exists; the defaults when none does. Throws IoError when the
// file exists but cannot be read.
QList<CurrencyCode> LoadCurrencyCodes(const QStringList &candidates);

} // namespace ostrevo
