#include "devices/BuiltinPdfPrinter.h"
#include "devices/CupsQueues.h"
#include "devices/FreeFileName.h"
#include "devices/PrinterCanvas.h"
#include "devices/TPrinter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    TPrinter &printer = Printer();
    printer.setPrinterIndex(printer.printerIndex());
    const QStringList &list = printer.printers();
    if (list.isEmpty())
        return -1;
    const int index = list.indexOf(name);
    if (index >= 0)
        printer.setPrinterIndex(index);
    return index;
}

void ResetPrinterCanvas()
{
    static_cast<PrinterCanvas &>(Printer().canvas()).reset();
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

bool PrintPdfFile(const QString &pdfPath, const QString &printerName)
{
    const QFileInfo source(pdfPath);
    if (!source.isFile() || !source.isReadable())
        return false;
    const QString printer = printerName.isEmpty() ? DefaultPrinterName() : printerName;
    if (printer == BuiltinPrinterName()) {
        const QString dir = BuiltinPrinterDirectory();
        if (!QDir().mkpath(dir))
            return false;
        const QString placed = PlaceUnderFreeName(dir, SafeFileStem(source.completeBaseName(), QStringLiteral("wydruk")),
                                                  QStringLiteral("pdf"),
                                                  [&](const QString &path) { return QFile::copy(pdfPath, path); });
        return !placed.isEmpty();
    }
    return CupsSubmitFile(printer, pdfPath, source.fileName(), {}).isEmpty();
}

} // namespace ostrevo
