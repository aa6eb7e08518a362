#pragma once

#include "devices/PrintDevice.h"

#include <QString>

#include <cstdint>

namespace ostrevo {

// The printer a printout job would go to, asked for what a layout needs and nothing else:
// no document is begun on it.
struct PreviewPrinter {
    QString name;
    QString note;        // why this one, when it is not simply the directory's printer
    DeviceMetrics metrics;
    DeviceMetrics landscapeMetrics; // the same sheet turned, as a form's landscape page gets it
    std::uint8_t defaultDuplex = 0;
    bool hasDeviceMode = true;
};

// `configured` is the directory's printer from the settings (empty: the default one). A
// printer that is not installed is replaced by the default, as the job would be.
// Throws PrinterError when no printer can be reached at all.
PreviewPrinter ChoosePreviewPrinter(const QString &configured);

} // namespace ostrevo
