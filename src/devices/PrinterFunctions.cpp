#include "devices/BuiltinPdfPrinter.h"
#include "devices/CupsQueues.h"
#include "devices/FreeFileName.h"
#include "devices/PrinterCanvas.h"
#include "devices/TPrinter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <unistd.h>

namespace ostrevo {

namespace {

TPrinter *&Instance()
{
    static TPrinter *instance = nullptr;
    return instance;
}

// Fonts hold on to the application's font database: the printer goes with the application.
void ReleasePrinter()
{
    delete Instance();
    Instance() = nullptr;
}

} // namespace

TPrinter &Printer()
{
    if (!Instance()) {
        Instance() = new TPrinter;
        if (QCoreApplication::instance())
            qAddPostRoutine(ReleasePrinter);
    }
    return *Instance();
}

int SelectPrinterByName(const QString &name)
{
    return Printer().selectByName(name);
}

void ResetPrinterCanvas()
{
    Printer().resetCanvas();
}

std::uint8_t DriverDefaultDuplex(TPrinter &printer, int printerIndex)
{
    // A printer of its own holds the driver's defaults, untouched by earlier jobs. It lists
    // the printers afresh, so the printer is looked up by name: an index of the shared
    // list may stand for another printer, or none, once queues come and go.
    TPrinter probe;
    probe.addDevicesOf(printer);
    if (printerIndex < 0) {
        probe.setPrinterIndex(-1);
        return probe.GetDuplex();
    }
    const QString name = printer.printers().value(printerIndex);
    const int index = probe.printers().indexOf(name);
    if (index < 0)
        throw PrinterError(QStringLiteral("Drukarka %1 nie jest już zainstalowana").arg(name));
    probe.setPrinterIndex(index);
    return probe.GetDuplex();
}

QStringList InstalledPrinterNames()
{
    QStringList names = CupsQueueNames();
    names.append(BuiltinPrinterName());
    return names;
}

QString DefaultPrinterName()
{
    const QString queue = CupsDefaultQueue();
    return queue.isEmpty() ? BuiltinPrinterName() : queue;
}

namespace {

// Copies SOURCE into the part file, flushed to the disk; false on any failure.
bool CopyInto(const QString &source, const PartFile &part)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QByteArray chunk(256 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 got = in.read(chunk.data(), chunk.size());
        if (got < 0)
            return false;
        if (got == 0)
            break;
        for (qint64 done = 0; done < got;) {
            const ssize_t put = ::write(part.fd.fd, chunk.constData() + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                return false;
            done += put;
        }
    }
    return ::fsync(part.fd.fd) == 0;
}

// A copy of an existing PDF file in the built-in printer's directory, published as its own
// printouts are.
bool CopyToBuiltinPrinter(const QFileInfo &source, const QString &dir)
{
    if (!QDir().mkpath(dir))
        return false;
    const QString stem = SafeFileStem(source.completeBaseName(), QStringLiteral("wydruk"));
    int error = 0;
    const PartFile part = CreatePartFile(dir, stem, error);
    if (part.fd.fd < 0)
        return false;
    if (!CopyInto(source.filePath(), part)
        || PublishUnderFreeName(part.path, dir, stem, QStringLiteral("pdf"), error).isEmpty()) {
        QFile::remove(part.path);
        return false;
    }
    return true;
}

} // namespace

bool TPrinter::printPdfFile(const QString &pdfPath, const QString &printerName)
{
    const QFileInfo source(pdfPath);
    if (!source.isFile() || !source.isReadable())
        return false;
    const QString printer = printerName.isEmpty() ? DefaultPrinterName() : printerName;
    if (printer == BuiltinPrinterName())
        return CopyToBuiltinPrinter(source, builtinDirectory());
    return CupsSubmitFile(printer, pdfPath, source.fileName(), {}).isEmpty();
}

bool PrintPdfFile(const QString &pdfPath, const QString &printerName)
{
    return Printer().printPdfFile(pdfPath, printerName);
}

} // namespace ostrevo
