#include "forms/FormValues.h"

#include "jobs/DecimalInteger.h"
#include "jobs/Rounding.h"

#include <algorithm>
#include <cmath>

namespace ostrevo {

std::optional<std::int64_t> ParseFormInteger(const QByteArray &text)
{
    return ParseDecimalInt32(text, true);
}

std::optional<std::uint32_t> ParseFormColour(const QByteArray &text)
{
    if (text.isEmpty() || text.size() > 8)
        return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value << 4 | std::uint32_t(digit);
    }
    return value;
}

std::optional<double> ParseFormDecimal(const QByteArray &text)
{
    QByteArray number = text;
    number.replace(',', '.');
    // Digits with one point and a sign only: no exponents, no "inf", no hexadecimal.
    int points = 0;
    int digits = 0;
    for (qsizetype i = 0; i < number.size(); ++i) {
        const char c = number[i];
        if (c == '.')
            ++points;
        else if (c >= '0' && c <= '9')
            ++digits;
        else if (!(i == 0 && (c == '-' || c == '+')))
            return std::nullopt;
    }
    if (points > 1 || digits == 0)
        return std::nullopt;
    bool ok = false;
    const double value = number.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

namespace {

std::int32_t Clamped(double value)
{
    if (std::isnan(value))
        return 0;
    const double limit = FormCoordinateLimit;
    return RoundHalfEven(std::clamp(value, -limit, limit));
}

} // namespace

std::int32_t FormHundredths(std::int64_t value, double wsp, int mmjedn)
{
    return Clamped(double(value) * 100.0 * wsp / double(std::max(mmjedn, 1)));
}

std::int32_t FormScaled(std::int64_t value, double wsp)
{
    return Clamped(double(value) * wsp);
}

QString FormPlace::text() const
{
    return line > 0 ? QStringLiteral("%1, wiersz %2").arg(file).arg(line) : file;
}

} // namespace ostrevo
