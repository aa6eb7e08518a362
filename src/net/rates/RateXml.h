#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace ostrevo {

// One <pozycja> of a daily table file of the central bank.
struct RateEntry {
    QByteArray name;       // nazwa_waluty
    QByteArray multiplier; // przelicznik
    QByteArray code;       // kod_waluty
    QByteArray rate;       // kurs_sredni, exactly as written ("4,1082")

    // The table column of the entry: "W_" + multiplier + code.
    QByteArray column() const { return "W_" + multiplier + code; }
};

// The entries of a daily table file: the text from each "<pozycja>" to the next
// "</pozycja>" (or the end of the file), and in it the four values, each only when both
// of its tags are there (surrounding white space dropped). False when the file cannot be
// read; `entries` is then left as it was.
bool ParseRateXml(const QString &xmlPath, QList<RateEntry> &entries);
QList<RateEntry> ParseRateXmlText(const QByteArray &text);

} // namespace ostrevo
