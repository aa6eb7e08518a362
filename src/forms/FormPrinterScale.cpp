#include "forms/FormPrinterScale.h"

#include "jobs/Rounding.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ostrevo {

namespace {

// The printable length in millimetres (GDI's HORZSIZE, VERTSIZE), unrounded: whole
// millimetres would put the far edge of a form up to half a millimetre off.
long double Millimetres(int pixels, int dpi)
{
    return dpi > 0 ? pixels * 25.4L / dpi : 0.0L;
}

long double PixelsPer100Mm(int pixels, int dpi, long double nominalMm)
{
    const long double printable = Millimetres(pixels, dpi);
    if (printable <= 0)
        return 0;
    // Only shrunk, never enlarged; a nominal size of 0 or less leaves the true size.
    const long double shrink = nominalMm > 0 ? std::min(1.0L, printable / nominalMm) : 1.0L;
    return pixels * shrink * 100 / printable;
}

// Far beyond any sheet, and within an int once rounded.
constexpr long double PixelLimit = 1e9L;

long double Clamped(long double v)
{
    return std::clamp(v, -PixelLimit, PixelLimit);
}

} // namespace

FormPrinterScale::FormPrinterScale(const DeviceMetrics &metrics, const FormPageSize &size)
{
    // Measured in millimetres: a printer's dots need not be square.
    const bool landscape = Millimetres(metrics.width, metrics.dpiX) > Millimetres(metrics.height, metrics.dpiY);
    m_fx = PixelsPer100Mm(metrics.width, metrics.dpiX, size.nominalX(landscape) * static_cast<long double>(size.wsp));
    m_fy = PixelsPer100Mm(metrics.height, metrics.dpiY, size.nominalY(landscape) * static_cast<long double>(size.wsp));
}

int FormPrinterScale::roundX(std::int64_t v) const
{
    return RoundHalfEven(double(Clamped(v * m_fx / 10000)));
}

int FormPrinterScale::roundY(std::int64_t v) const
{
    return RoundHalfEven(double(Clamped(v * m_fy / 10000)));
}

int FormPrinterScale::truncX(std::int64_t v) const
{
    return int(std::trunc(Clamped(v * m_fx / 10000)));
}

int FormPrinterScale::truncY(std::int64_t v) const
{
    return int(std::trunc(Clamped(v * m_fy / 10000)));
}

} // namespace ostrevo
