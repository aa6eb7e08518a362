#pragma once

#include <QByteArray>
#include <QDate>
#include <optional>

namespace ostrevo {

// What the bank's page of the latest table says about it.
struct LatestTable {
    int number = 0; // 0 when the header names none
    QDate date;     // invalid when the header names none, or an impossible one
};

// The header of the page: the first line holding `<td class="nag">`, its markup removed.
// Nothing when no line holds the marker.
std::optional<QByteArray> LatestTableHeader(const QByteArray &page);

// The number and date in a header such as "Tabela nr 239/A/NBP/2009 z dnia 2009-12-09":
// a word of four "/"-pieces gives the number (its first piece), a word of three "-"-pieces
// the date; a later word overrides an earlier one.
LatestTable ParseLatestTableHeader(const QByteArray &header);

} // namespace ostrevo
