#pragma once

#include "ksef/KsefInvoice.h"

#include <optional>

namespace ostrevo {

// A rate as a job writes it ("23", "23%", "0", "0 WDT", "ZW", "np", "NP II"); nothing when
// the invoice schema has no such rate.
std::optional<KsefRate> ParseKsefRate(const QString &text);

// Quantity × unit price in grosze, rounded half away from zero.
std::int64_t NetOf(const KsefDecimal &quantity, const KsefDecimal &unitPrice);

// An amount the DOS program gave in <SUMY>, checked against its lines.
struct KsefGivenAmount {
    KsefRate rate;
    bool net = true; // false: the tax of the rate
    std::int64_t units = 0;
    int line = 0;
};

struct KsefGivenTotals {
    QList<KsefGivenAmount> amounts;
    std::optional<std::int64_t> gross;
    int grossLine = 0;
};

struct KsefTotalsProblem {
    int line = 0; // of the job; 0: the job as a whole
    QString what;
};

// Fills the invoice's totals per rate and its gross amount from its lines (a correction's
// rows as they stood count negative: the totals are the differences). The tax of a rate is
// the program's own where it gave one within the rounding of its lines, else the net
// amount times the rate. Returns what does not add up.
std::optional<KsefTotalsProblem> ComputeKsefTotals(KsefInvoice &invoice, const KsefGivenTotals &given);

} // namespace ostrevo
