#pragma once

#include <QPointF>
#include <QSizeF>
#include <QString>

#include <cstdint>

namespace ostrevo {

class Canvas;

// The settings a printer keeps per choice, as a DEVMODE does.
struct DeviceMode {
    int copies = 1;
    int orientation = 0;       // 0 portrait, 1 landscape
    std::uint8_t duplex = 0;   // 0 one-sided, 1 short edge, 2 long edge
};

// What a printer reports about its paper, in the current orientation.
struct DeviceMetrics {
    int width = 0;   // printable area in device pixels
    int height = 0;
    int dpiX = 0;
    int dpiY = 0;
    QSizeF physicalMm;
    QPointF offset;  // top-left corner of the printable area on the sheet, device pixels
};

// One kind of printer behind TPrinter: the built-in PDF printer or a CUPS queue.
class PrintDevice {
public:
    virtual ~PrintDevice() = default;

    virtual QString name() const = 0;
    // The printer's own default settings; false when it offers none.
    virtual bool loadDefaults(DeviceMode &mode) = 0;
    // Throws PrinterError "Printer selected is not valid" when the printer cannot be reached.
    virtual DeviceMetrics metrics(const DeviceMode &mode) = 0;

    // The document's canvas, in device pixels from the top-left corner of the printable
    // area; it belongs to the device and lives until the document ends or is dropped.
    virtual Canvas *beginDocument(const DeviceMode &mode, const QString &title) = 0;
    virtual void newPage() = 0;
    // Delivers the document; throws PrinterError when it cannot.
    virtual void endDocument() = 0;
    // Drops the document: nothing is delivered and nothing is left behind.
    virtual void abortDocument() = 0;
    // The file the last delivered document became, for printers that make files.
    virtual QString deliveredFile() const { return {}; }
};

} // namespace ostrevo
