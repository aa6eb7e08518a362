#include "ksef/KsefTotals.h"

#include <QMap>

#include <cstdlib>

namespace ostrevo {

namespace {

// A product of a quantity and a price needs 110 bits before it is rounded to grosze.
__extension__ typedef __int128 Wide;

struct RateInfo {
    const char *code;
    int percent;
    int field; // the header field pair it sums into, in the schema's order
};

// The schema's rates; 23 and 22 share the first pair of header fields, as 8 and 7, 4 and 3.
constexpr RateInfo Rates[] = {
    {"23", 23, 1},     {"22", 22, 1},      {"8", 8, 2},      {"7", 7, 2},       {"5", 5, 3},
    {"4", 4, 4},       {"3", 3, 4},        {"0 KR", -1, 61}, {"0 WDT", -1, 62}, {"0 EX", -1, 63},
    {"zw", -1, 7},     {"np I", -1, 8},    {"np II", -1, 9}, {"oo", -1, 10},
};

QString Money(std::int64_t units)
{
    return QString::fromLatin1(KsefDecimal{units, 2}.text());
}

} // namespace

std::optional<KsefRate> ParseKsefRate(const QString &text)
{
    QString t = text.toUpper();
    t.remove(u' ');
    t.remove(u'%');
    if (t == QStringLiteral("0") || t == QStringLiteral("0KR"))
        t = QStringLiteral("0KR");
    if (t == QStringLiteral("NP"))
        t = QStringLiteral("NPI");
    for (const RateInfo &r : Rates) {
        QString code = QString::fromLatin1(r.code).toUpper();
        code.remove(u' ');
        if (code == t)
            return KsefRate{QString::fromLatin1(r.code), r.percent, r.field};
    }
    return std::nullopt;
}

std::int64_t NetOf(const KsefDecimal &quantity, const KsefDecimal &unitPrice)
{
    // Scale 6 times scale 8 is scale 14: twelve places to round away for grosze.
    const Wide product = Wide(quantity.units) * unitPrice.units;
    Wide unit = 1;
    for (int i = 2; i < quantity.scale + unitPrice.scale; ++i)
        unit *= 10;
    const Wide half = product >= 0 ? unit / 2 : -unit / 2;
    return std::int64_t((product + half) / unit);
}

std::optional<KsefTotalsProblem> ComputeKsefTotals(KsefInvoice &invoice, const KsefGivenTotals &given)
{
    struct Sum {
        KsefRate rate;
        std::int64_t net = 0;
        int lines = 0;
    };
    QMap<int, Sum> sums; // by field, so that they come out in the schema's order
    for (const KsefLine &line : invoice.lines) {
        const int field = line.rate.field;
        Sum &sum = sums[field];
        if (sum.lines > 0 && sum.rate.code != line.rate.code)
            return KsefTotalsProblem{line.sourceLine, QStringLiteral("stawki %1 i %2 na jednej fakturze").arg(sum.rate.code, line.rate.code)};
        sum.rate = line.rate;
        sum.net += line.before ? -line.net.units : line.net.units;
        ++sum.lines;
        if (std::llabs(sum.net) >= 100'000'000'000'000'000LL)
            return KsefTotalsProblem{line.sourceLine, QStringLiteral("suma pozycji za duża")};
    }
    for (const KsefGivenAmount &g : given.amounts) {
        const int field = g.rate.field;
        if (!sums.contains(field) || sums[field].rate.code != g.rate.code) {
            if (g.units != 0)
                return KsefTotalsProblem{g.line, QStringLiteral("kwota stawki %1, której nie ma w żadnej pozycji").arg(g.rate.code)};
            continue;
        }
        if (g.net && g.units != sums[field].net)
            return KsefTotalsProblem{g.line, QStringLiteral("netto stawki %1: podano %2, pozycje dają %3")
                                                 .arg(g.rate.code, Money(g.units), Money(sums[field].net))};
    }
    invoice.totals.clear();
    std::int64_t gross = 0;
    for (const Sum &sum : sums) {
        KsefRateTotal total{sum.rate, sum.net, 0};
        if (sum.rate.percent > 0) {
            total.vat = VatOf(sum.net, sum.rate.percent);
            // Tax summed line by line may differ from the tax of the sum by half a grosz a line.
            const std::int64_t tolerance = std::max(1, (sum.lines + 1) / 2);
            for (const KsefGivenAmount &g : given.amounts) {
                if (g.net || g.rate.code != sum.rate.code)
                    continue;
                if (std::llabs(g.units - total.vat) > tolerance)
                    return KsefTotalsProblem{g.line, QStringLiteral("VAT stawki %1: podano %2, z netto %3 wychodzi %4")
                                                         .arg(sum.rate.code, Money(g.units), Money(sum.net), Money(total.vat))};
                total.vat = g.units;
            }
        } else {
            for (const KsefGivenAmount &g : given.amounts) {
                if (!g.net && g.rate.code == sum.rate.code && g.units != 0)
                    return KsefTotalsProblem{g.line, QStringLiteral("stawka %1 nie ma podatku, a podano %2")
                                                         .arg(sum.rate.code, Money(g.units))};
            }
        }
        gross += total.net + total.vat;
        invoice.totals.append(total);
    }
    if (given.gross && *given.gross != gross)
        return KsefTotalsProblem{given.grossLine, QStringLiteral("BRUTTO: podano %1, pozycje dają %2").arg(Money(*given.gross), Money(gross))};
    invoice.gross = gross;
    if (sums.contains(7) && invoice.exemptionBasis.isEmpty())
        return KsefTotalsProblem{0, QStringLiteral("pozycje zwolnione (zw) wymagają ZWOLNIENIE= w bloku <KSEF> (podstawa prawna zwolnienia)")};
    return std::nullopt;
}

} // namespace ostrevo
