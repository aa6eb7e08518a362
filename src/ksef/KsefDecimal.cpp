#include "ksef/KsefDecimal.h"

#include <algorithm>

namespace ostrevo {

namespace {

// Seventeen digits in all is far above any invoice and keeps every sum of amounts and
// every amount times a VAT rate below 2^63.
constexpr int Digits = 17;
constexpr std::int64_t MoneyLimit = 100'000'000'000'000'000LL; // 10^17 grosze

std::int64_t Power10(int n)
{
    std::int64_t p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

} // namespace

std::optional<KsefDecimal> KsefDecimal::parse(const QByteArray &text, int scale)
{
    QByteArray t = text.trimmed();
    bool negative = false;
    if (t.startsWith('-')) {
        negative = true;
        t = t.mid(1).trimmed();
    }
    std::int64_t whole = 0;
    std::int64_t fraction = 0;
    int decimals = -1; // -1: before the separator
    int digits = 0;
    for (const char c : t) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == ' ' || byte == 0xFF || byte == 0xA0) { // spaces between digit groups
            if (decimals >= 0)
                return std::nullopt;
            continue;
        }
        if (c == ',' || c == '.') {
            if (decimals >= 0 || digits == 0)
                return std::nullopt;
            decimals = 0;
            continue;
        }
        if (c < '0' || c > '9')
            return std::nullopt;
        ++digits;
        if (decimals >= 0) {
            if (++decimals > scale)
                return std::nullopt;
            fraction = fraction * 10 + (c - '0');
        } else {
            whole = whole * 10 + (c - '0');
            if (whole >= Power10(Digits - scale))
                return std::nullopt;
        }
    }
    if (digits == 0 || decimals == 0)
        return std::nullopt;
    const std::int64_t units = whole * Power10(scale) + fraction * Power10(scale - std::max(decimals, 0));
    return KsefDecimal{negative ? -units : units, scale};
}

QByteArray KsefDecimal::text() const
{
    const std::int64_t p = Power10(scale);
    const std::uint64_t magnitude = units < 0 ? std::uint64_t(-units) : std::uint64_t(units);
    QByteArray out = units < 0 ? "-" : "";
    out += QByteArray::number(quint64(magnitude / p));
    if (scale > 0)
        out += '.' + QByteArray::number(quint64(magnitude % p)).rightJustified(scale, '0');
    return out;
}

QByteArray KsefDecimal::shortText() const
{
    QByteArray out = text();
    if (scale > 0) {
        while (out.endsWith('0'))
            out.chop(1);
        if (out.endsWith('.'))
            out.chop(1);
    }
    return out;
}

std::optional<std::int64_t> AddMoney(std::int64_t a, std::int64_t b)
{
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum) || sum >= MoneyLimit || sum <= -MoneyLimit)
        return std::nullopt;
    return sum;
}

std::optional<std::int64_t> InZloty(std::int64_t amount, const KsefDecimal &rate)
{
    std::int64_t divisor = 1;
    for (int i = 0; i < rate.scale; ++i)
        divisor *= 10;
    std::int64_t product = 0;
    const std::int64_t half = amount >= 0 ? divisor / 2 : -divisor / 2;
    // Far beyond any invoice: a billion złoty at a rate of a thousand still fits.
    if (__builtin_mul_overflow(amount, rate.units, &product) || __builtin_add_overflow(product, half, &product))
        return std::nullopt;
    return product / divisor;
}

std::int64_t VatOf(std::int64_t net, int percent)
{
    const std::int64_t product = net * percent; // |net| < 10^17, percent <= 23
    const std::int64_t half = product >= 0 ? 50 : -50;
    return (product + half) / 100;
}

} // namespace ostrevo
