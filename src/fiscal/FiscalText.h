#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <optional>

namespace ostrevo {

// The small text rules of fiscal jobs, shared by both printer families.

// A decimal integer as the job gives amounts and counts: an optional '-' and digits, in
// the 32-bit range. Anything else (empty, spaces, '+', hex, a decimal point) is not a number.
std::optional<std::int32_t> ParseFiscalInteger(const QByteArray &text);

// Amounts in hundredths become texts with their decimal point: 1999 with 2 gives 19.99,
// 5 gives 0.05, an empty text 0.00, and with 0 places the text stays as it is. A leading
// '-' stays in front: -5 with 2 gives -0.05.
QByteArray InsertDecimalPoint(const QByteArray &text, int places, char separator);

// A report date yyyymmdd: exactly eight digits. The year is the two digits 3 and 4.
struct FiscalDate {
    int year = 0; // two digits
    int month = 0;
    int day = 0;
};
std::optional<FiscalDate> ParseFiscalDate(const QByteArray &text);

// A data line's fields, separated by the byte 0x04. A line that does not end with 0x04
// gets one, so "a\x04b" and "a\x04b\x04" both have two fields; empty fields count.
QList<QByteArray> SplitFiscalFields(const QByteArray &line);

// The number the result file reports for one of the monitor's own codes (10xx): the code
// less 1000.
int MapFiscalCode(int code);

// The number the result file reports for a driver's or a printer's own code: the
// ranges of the legacy program's table (-1 to -10 as 301 to 310, ...), and any other
// number in a range of its own, so that no printer error reads like one of the
// monitor's codes: a positive code c as 2000 + c (the printer's error 4 is 2004), a
// negative one as 9000 - c.
int MapDriverCode(int code);

} // namespace ostrevo
