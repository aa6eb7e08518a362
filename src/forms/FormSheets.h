#pragma once

#include "devices/PrintDevice.h"

namespace ostrevo {

class Canvas;

// The sheets a form is printed on: the printer's documents and pages behind the form's
// canvas drawer, a recording canvas in tests.
class FormSheets {
public:
    virtual ~FormSheets() = default;
    // A fresh page for the next form page, in that orientation.
    virtual void startPage(bool landscape) = 0;
    virtual Canvas &canvas() = 0;
    // The printable area and resolution of the page in progress.
    virtual DeviceMetrics metrics() = 0;
};

} // namespace ostrevo
