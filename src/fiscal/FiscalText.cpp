#include "fiscal/FiscalText.h"

#include "jobs/DecimalInteger.h"


namespace ostrevo {

std::optional<std::int32_t> ParseFiscalInteger(const QByteArray &text)
{
    return ParseDecimalInt32(text, false);
}

QByteArray InsertDecimalPoint(const QByteArray &text, int places, char separator)
{
    if (places <= 0)
        return text;
    const bool negative = text.startsWith('-');
    QByteArray digits = negative ? text.mid(1) : text;
    if (digits.size() < places + 1)
        digits.prepend(QByteArray(places + 1 - digits.size(), '0'));
    digits.insert(digits.size() - places, separator);
    return negative ? '-' + digits : digits;
}

std::optional<FiscalDate> ParseFiscalDate(const QByteArray &text)
{
    if (text.size() != 8)
        return std::nullopt;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    auto two = [&text](int at) { return (text.at(at) - '0') * 10 + (text.at(at + 1) - '0'); };
    return FiscalDate{two(2), two(4), two(6)};
}

QList<QByteArray> SplitFiscalFields(const QByteArray &line)
{
    QList<QByteArray> fields;
    qsizetype start = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line.at(i) == '\x04') {
            fields.append(line.mid(start, i - start));
            start = i + 1;
        }
    }
    if (start < line.size() || line.isEmpty())
        fields.append(line.mid(start));
    return fields;
}

int MapFiscalCode(int code)
{
    if (code >= 1000 && code <= 1099)
        return code - 1000;
    return code;
}

int MapDriverCode(int code)
{
    if ((code >= -10 && code <= -1) || (code >= -29 && code <= -20))
        return 300 - code;
    if ((code >= -43 && code <= -41) || (code >= -53 && code <= -50) || code == -60)
        return 300 - code;
    switch (code) {
    case 20: return 150;
    case 21: return 151;
    case 23: return 153;
    case 24: return 154;
    case 99: return 159;
    case 999: return 199;
    default: break;
    }
    if (code >= 200 && code <= 226)
        return code - 80;
    // The table's "any other: the code itself" let a printer's error 4 read as the
    // monitor's 4 (unknown VAT rate), and a driver's 1000 as 0.
    return code > 0 ? 2000 + code : 9000 - code;
}

} // namespace ostrevo
