#pragma once

#include <cmath>

namespace ostrevo {

// Printer lengths round to the nearest integer with halves to even (71.25 -> 71,
// 0.5 -> 0, 1.5 -> 2), independent of the floating-point rounding mode in force.
inline int RoundHalfEven(double value)
{
    const double floor = std::floor(value);
    const double fraction = value - floor;
    if (fraction > 0.5)
        return int(floor) + 1;
    if (fraction < 0.5)
        return int(floor);
    const int lower = int(floor);
    return (lower % 2 == 0) ? lower : lower + 1;
}

} // namespace ostrevo
