#include "preview/PreviewPrinter.h"

#include "devices/TPrinter.h"

namespace ostrevo {

PreviewPrinter ChoosePreviewPrinter(const QString &configured)
{
    PreviewPrinter chosen;
    // A printer of our own: the shared one belongs to the jobs.
    TPrinter printer;
    int index = -1;
    if (configured.isEmpty()) {
        chosen.note = QStringLiteral("domyślna: w ustawieniach nie ma drukarki tego katalogu");
    } else {
        index = printer.printers().indexOf(configured);
        if (index < 0)
            chosen.note = QStringLiteral("domyślna: drukarka %1 nie jest zainstalowana").arg(configured);
    }
    printer.setPrinterIndex(index);
    chosen.name = printer.printers().value(printer.printerIndex());
    chosen.metrics = printer.deviceMetrics();
    chosen.hasDeviceMode = printer.hasDeviceMode();
    chosen.landscapeMetrics = chosen.metrics;
    if (chosen.hasDeviceMode) {
        chosen.defaultDuplex = printer.GetDuplex();
        printer.setOrientation(1);
        chosen.landscapeMetrics = printer.deviceMetrics();
    }
    return chosen;
}

} // namespace ostrevo
