#include "forms/FormBarcodeModule.h"

#include "jobs/Rounding.h"

#include <algorithm>

namespace ostrevo {

int FormBarcodeModule(int width)
{
    if (width <= 0)
        return 0;
    return std::min(RoundHalfEven(width / 100.0), width / 95);
}

} // namespace ostrevo
