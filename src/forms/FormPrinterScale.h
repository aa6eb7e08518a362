#pragma once

#include "devices/PrintDevice.h"
#include "forms/FormState.h"

#include <cstdint>

namespace ostrevo {

// Hundredths of a millimetre on the form to device pixels of a printer: the form at its
// true size from the top-left corner of the printable area, shrunk along each axis on
// its own when the form's nominal size (MAXX x WSP by MAXY x WSP mm) exceeds that area.
class FormPrinterScale {
public:
    FormPrinterScale() = default;
    FormPrinterScale(const DeviceMetrics &metrics, const FormPageSize &size);

    // Device pixels per 100 mm, as the form's lengths are hundredths of a millimetre.
    long double fx() const { return m_fx; }
    long double fy() const { return m_fy; }

    int roundX(std::int64_t v) const;
    int roundY(std::int64_t v) const;
    int truncX(std::int64_t v) const;
    int truncY(std::int64_t v) const;

private:
    long double m_fx = 0;
    long double m_fy = 0;
};

} // namespace ostrevo
