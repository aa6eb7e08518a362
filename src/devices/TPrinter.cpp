#include "devices/TPrinter.h"

#include "devices/BuiltinPdfPrinter.h"
#include "devices/CupsPrinter.h"
#include "devices/PrintDevice.h"
#include "devices/PrinterCanvas.h"
#include "jobs/CalledAs.h"

#include <QCoreApplication>

#include <optional>

namespace ostrevo {

namespace {

std::unique_ptr<PrintDevice> MakeDevice(const QString &name, const QString &builtinDirectory)
{
    if (name == BuiltinPrinterName())
        return std::make_unique<BuiltinPdfPrinter>(builtinDirectory);
    return std::make_unique<CupsPrinter>(name);
}

} // namespace

// The device connection of the chosen printer: its device mode and, once asked, its
// page metrics (the "information context"), dropped whenever the device mode changes.
struct TPrinter::Chosen {
    std::unique_ptr<PrintDevice> device;
    DeviceMode mode;
    bool hasMode = false;
    std::optional<DeviceMetrics> metrics;
};

TPrinter::TPrinter()
    : m_canvas(std::make_unique<PrinterCanvas>())
    , m_chosen(std::make_unique<Chosen>())
{
}

TPrinter::~TPrinter()
{
    if (m_printing) {
        try {
            endDoc();
        } catch (const JobError &) {
            // Nothing left to report to at release.
        }
    }
}

const QStringList &TPrinter::printers()
{
    if (!m_listBuilt) {
        m_printers = InstalledPrinterNames();
        for (const auto &[name, make] : m_ownDevices)
            m_printers.append(name);
        m_listBuilt = true;
    }
    return m_printers;
}

int TPrinter::printerIndex()
{
    if (m_printerIndex < 0)
        chooseDefault();
    return m_printerIndex;
}

void TPrinter::setPrinterIndex(int index)
{
    requireNotPrinting();
    if (index == -1) {
        chooseDefault();
        return;
    }
    if (m_printerIndex < 0)
        chooseDefault();
    if (index < 0 || index >= printers().size())
        throw PrinterError(QStringLiteral("Printer index out of range"));
    choose(index);
}

void TPrinter::chooseDefault()
{
    const QString name = DefaultPrinterName();
    const QStringList &list = printers();
    int found = -1;
    for (int i = 0; i < list.size() && found < 0; ++i) {
        if (list[i].compare(name, Qt::CaseInsensitive) == 0)
            found = i;
    }
    if (found < 0)
        throw PrinterError(QStringLiteral("There is no default printer currently selected"));
    choose(found);
}

void TPrinter::choose(int index)
{
    m_printerIndex = index;
    Chosen &c = *m_chosen;
    c.device.reset();
    for (const auto &[name, make] : m_ownDevices)
        if (name == m_printers[index])
            c.device = make();
    if (!c.device)
        c.device = MakeDevice(m_printers[index], builtinDirectory());
    c.mode = DeviceMode{};
    c.hasMode = c.device->loadDefaults(c.mode);
    c.metrics.reset();
}

void TPrinter::addDevice(const QString &name, DeviceMaker make)
{
    requireNotPrinting();
    m_ownDevices.append({name, std::move(make)});
    m_listBuilt = false;
}

void TPrinter::addDevicesOf(const TPrinter &other)
{
    for (const auto &[name, make] : other.m_ownDevices)
        addDevice(name, make);
}

int TPrinter::selectByName(const QString &name)
{
    setPrinterIndex(printerIndex());
    const QStringList &list = printers();
    if (list.isEmpty())
        return -1;
    const int index = list.indexOf(name);
    if (index >= 0)
        setPrinterIndex(index);
    return index;
}

void TPrinter::resetCanvas()
{
    m_canvas->reset();
}

PrintDevice &TPrinter::device()
{
    printerIndex();
    return *m_chosen->device;
}

const DeviceMetrics &TPrinter::metrics()
{
    PrintDevice &d = device();
    Chosen &c = *m_chosen;
    if (!c.metrics) {
        c.metrics = d.metrics(c.mode);
        m_canvas->setDpiY(c.metrics->dpiY);
    }
    return *c.metrics;
}

int TPrinter::pageWidth() { return metrics().width; }
int TPrinter::pageHeight() { return metrics().height; }
int TPrinter::dpiX() { return metrics().dpiX; }
int TPrinter::dpiY() { return metrics().dpiY; }
QSizeF TPrinter::physicalSizeMm() { return metrics().physicalMm; }
DeviceMetrics TPrinter::deviceMetrics() { return metrics(); }

Canvas &TPrinter::canvas()
{
    return *m_canvas;
}

void TPrinter::requireNotPrinting() const
{
    if (m_printing)
        throw PrinterError(QStringLiteral("Printing in progress"));
}

void TPrinter::requirePrinting() const
{
    if (!m_printing)
        throw PrinterError(QStringLiteral("Printer is not currently printing"));
}

void TPrinter::requireDeviceMode()
{
    device();
    if (!m_chosen->hasMode)
        throw PrinterError(QStringLiteral("Operation not supported on selected printer"));
}

void TPrinter::beginDoc()
{
    requireNotPrinting();
    PrintDevice &d = device();
    metrics();
    m_canvas->attach(d.beginDocument(m_chosen->mode, m_documentName));
    m_printing = true;
    m_aborted = false;
    m_pageNumber = 1;
}

void TPrinter::newPage()
{
    requirePrinting();
    m_chosen->device->newPage();
    ++m_pageNumber;
}

void TPrinter::finishDocument()
{
    m_canvas->detach();
    m_printing = false;
    m_aborted = false;
    m_pageNumber = 0;
}

QString TPrinter::deliveredFile() const
{
    return m_chosen ? m_chosen->device->deliveredFile() : QString();
}

void TPrinter::endDoc()
{
    requirePrinting();
    const bool deliver = !m_aborted;
    finishDocument();
    if (deliver)
        m_chosen->device->endDocument();
}

void TPrinter::abort()
{
    requirePrinting();
    m_chosen->device->abortDocument();
    m_aborted = true;
    endDoc();
}

void TPrinter::setBuiltinDirectory(const QString &dir)
{
    {
        std::lock_guard lock(m_builtinDirectoryMutex);
        m_builtinDirectory = dir;
    }
    // The chosen built-in printer writes its next document there too.
    if (auto *builtin = dynamic_cast<BuiltinPdfPrinter *>(m_chosen->device.get()))
        builtin->setDirectory(builtinDirectory());
}

QString TPrinter::builtinDirectory() const
{
    {
        std::lock_guard lock(m_builtinDirectoryMutex);
        if (!m_builtinDirectory.isEmpty())
            return m_builtinDirectory;
    }
    return CalledExecutableDir() + QStringLiteral("/wydruki");
}

void TPrinter::dropConnection()
{
    m_chosen->metrics.reset();
}

void TPrinter::setCopies(int n)
{
    requireNotPrinting();
    requireDeviceMode();
    dropConnection();
    m_chosen->mode.copies = n;
}

void TPrinter::setOrientation(int orientation)
{
    requireNotPrinting();
    requireDeviceMode();
    dropConnection();
    m_chosen->mode.orientation = orientation == 1 ? 1 : 0;
}

std::uint8_t TPrinter::GetDuplex()
{
    requireDeviceMode();
    return m_chosen->mode.duplex;
}

void TPrinter::SetDuplex(std::uint8_t value)
{
    requireNotPrinting();
    requireDeviceMode();
    dropConnection();
    // Values outside the table are one-sided, as a driver reads an unknown duplex value.
    m_chosen->mode.duplex = value <= 2 ? value : 0;
}

bool TPrinter::hasDeviceMode()
{
    device();
    return m_chosen->hasMode;
}

int TPrinter::copies()
{
    requireDeviceMode();
    return m_chosen->mode.copies;
}

int TPrinter::orientation()
{
    requireDeviceMode();
    return m_chosen->mode.orientation;
}

} // namespace ostrevo
