#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace ostrevo {

// A decimal number held exactly as an integer count of 10^-scale units: money in grosze
// (scale 2), quantities to 6 places, unit prices to 8, as the invoice schema allows. No
// floating point touches an amount between the DOS program and KSeF.
struct KsefDecimal {
    std::int64_t units = 0;
    int scale = 2;

    // "1 234,50", "1234.5", "-0,01": a comma or a dot before the decimals, spaces (and
    // non-breaking spaces of the code page) between digit groups. Nothing when the text is
    // not such a number, has more decimals than `scale`, or is too large.
    static std::optional<KsefDecimal> parse(const QByteArray &text, int scale);

    // "1234.50": a dot and exactly `scale` decimals for money; quantities and prices
    // without trailing zeros ("10", "2.5"), as the schema's own examples write them.
    QByteArray text() const;
    QByteArray shortText() const;

    bool operator==(const KsefDecimal &) const = default;
};

// Sum of money amounts (scale 2); nothing on overflow.
std::optional<std::int64_t> AddMoney(std::int64_t a, std::int64_t b);

// `net` × `percent` / 100 rounded half away from zero to whole grosze.
std::int64_t VatOf(std::int64_t net, int percent);

// An amount of a foreign currency in złoty at `rate` (złoty for one unit), rounded half
// away from zero to whole grosze; nothing when it is too large.
std::optional<std::int64_t> InZloty(std::int64_t amount, const KsefDecimal &rate);

} // namespace ostrevo
