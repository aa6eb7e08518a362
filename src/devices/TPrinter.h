#pragma once

#include "devices/Canvas.h"
#include "devices/PrintDevice.h"
#include "devices/PrinterError.h"
#include "handling/BuiltinPrinter.h"

#include <QSizeF>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace ostrevo {

class PrinterCanvas;

// One printer at a time: the list of printers, the choice of one, its device mode
// (copies, orientation, two-sided printing), and the document and page brackets.
class TPrinter {
public:
    TPrinter();
    ~TPrinter();
    TPrinter(const TPrinter &) = delete;
    TPrinter &operator=(const TPrinter &) = delete;

    // CUPS queues, then the built-in printer; built on first use and kept.
    const QStringList &printers();
    // Chooses the default printer when none is chosen yet.
    int printerIndex();
    // -1 = the default printer; always reloads the printer's default device mode.
    void setPrinterIndex(int index);

    // Printable area in device pixels, and the device resolution.
    int pageWidth();
    int pageHeight();
    int dpiX();
    int dpiY();
    QSizeF physicalSizeMm();
    // All of the above, and where the printable area lies on the sheet.
    DeviceMetrics deviceMetrics();

    // Drawing needs a running document; measuring text works at any time.
    Canvas &canvas();

    void beginDoc();
    void newPage();
    void endDoc();
    void abort();
    int pageNumber() const { return m_pageNumber; }
    // The file the last document became on a printer that makes files; empty otherwise.
    QString deliveredFile() const;
    bool printing() const { return m_printing; }
    bool aborted() const { return m_aborted; }

    void setCopies(int n);
    void setOrientation(int orientation); // 0 portrait, 1 landscape
    std::uint8_t GetDuplex();             // 0 one-sided, 1 short edge, 2 long edge
    void SetDuplex(std::uint8_t value);
    bool hasDeviceMode();
    // The device mode's copies and orientation as they stand.
    int copies();
    int orientation();

    // The job's text file base name: the CUPS job title, and the built-in printer's file name.
    void setDocumentName(const QString &name) { m_documentName = name; }

    // Where the built-in printer writes its PDF files ([DrukarkaPDF] Katalog); "wydruki"
    // beside the executable until set. The window may ask while the job thread sets it.
    void setBuiltinDirectory(const QString &dir);
    QString builtinDirectory() const;

    // Submits an existing PDF file to the named (else the default) CUPS queue, or copies it
    // into the built-in printer's directory; false on failure.
    bool printPdfFile(const QString &pdfPath, const QString &printerName = {});

    // Re-chooses the current printer (reloading its defaults), then chooses the entry named
    // exactly `name`; -1 when there is none.
    int selectByName(const QString &name);
    // Neutral font, pen and brush on the canvas.
    void resetCanvas();

    // A printer of the program's own, listed after the CUPS queues and the built-in
    // printer: `make` gives its device whenever it is chosen. The seam through which a
    // printer that fails part-way is plugged in.
    using DeviceMaker = std::function<std::unique_ptr<PrintDevice>()>;
    void addDevice(const QString &name, DeviceMaker make);
    // The printers of the program's own that `other` has, added to this one too.
    void addDevicesOf(const TPrinter &other);

private:
    struct Chosen;

    void chooseDefault();
    void choose(int index);
    PrintDevice &device();
    const DeviceMetrics &metrics();
    void dropConnection();
    void requireNotPrinting() const;
    void requirePrinting() const;
    void requireDeviceMode();
    void finishDocument();

    std::unique_ptr<PrinterCanvas> m_canvas;
    std::unique_ptr<Chosen> m_chosen;
    QStringList m_printers;
    bool m_listBuilt = false;
    int m_printerIndex = -1;
    int m_pageNumber = 0;
    bool m_printing = false;
    bool m_aborted = false;
    QString m_documentName;
    QList<std::pair<QString, DeviceMaker>> m_ownDevices;
    mutable std::mutex m_builtinDirectoryMutex;
    QString m_builtinDirectory;
};

// The process-wide instance.
TPrinter &Printer();

// Re-chooses the current printer (reloading its defaults), then chooses the entry named
// exactly `name`; -1 when there is none.
int SelectPrinterByName(const QString &name);

// Neutral font, pen and brush on the shared instance's canvas.
void ResetPrinterCanvas();

// The two-sided setting the driver of `printer`'s entry `printerIndex` (-1 the default
// printer) gives by default, read on a private instance so that `printer` keeps its own.
// Throws PrinterError when that printer is no longer installed.
std::uint8_t DriverDefaultDuplex(TPrinter &printer, int printerIndex);

// CUPS queues and the built-in printer, as the settings check and the window list them.
QStringList InstalledPrinterNames();
// The CUPS default queue, else the built-in printer.
QString DefaultPrinterName();

// The shared instance's printPdfFile.
bool PrintPdfFile(const QString &pdfPath, const QString &printerName = {});

} // namespace ostrevo
