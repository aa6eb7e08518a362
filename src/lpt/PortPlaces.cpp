#include "lpt/PortPlaces.h"

#include "devices/TPrinter.h"
#include "jobs/DosPath.h"
#include "monitor/MonitoredDirectories.h"

#include <QDir>
#include <QFileInfo>

namespace ostrevo {

QString CanonicalDirectory(const QString &dir)
{
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QFileInfo(dir).absoluteFilePath()) : canonical;
}

QString PortDirectory(const PortSettings &port, const Settings &settings, const QString &programDir)
{
    return ResolveMonitoredDirectory(port.katalog, settings, programDir);
}

bool PrintsOnBuiltinPrinter(const PortSettings &port)
{
    return port.drukarka.isEmpty() || IsBuiltinPrinter(port.drukarka);
}

QString PortPdfFolder(const PortSettings &port, const Settings &settings, const QString &programDir)
{
    if (!port.katalogPdf.isEmpty())
        return ResolveMonitoredDirectory(port.katalogPdf, settings, programDir);
    return PrintsOnBuiltinPrinter(port) ? BuiltinPrinterDirectory(settings, programDir) : QString();
}

const PortSettings *FindPort(const Settings &settings, const QString &name)
{
    for (const PortSettings &port : settings.ports) {
        if (port.name.compare(name, Qt::CaseInsensitive) == 0)
            return &port;
    }
    return nullptr;
}

QString PortConflict(const PortSettings &port, const Settings &settings, const QString &programDir,
                     const QStringList &printers, const QStringList &earlierDirectories)
{
    const QString dir = CanonicalDirectory(PortDirectory(port, settings, programDir));
    // The job monitor would take the captures for jobs, or clear them at its start.
    const auto monitored = [&](const QString &text) {
        return !text.isEmpty() && CanonicalDirectory(ResolveMonitoredDirectory(text, settings, programDir)) == dir;
    };
    if (monitored(settings.katalog) || (settings.monitorowanie2 && monitored(settings.katalog2)))
        return QStringLiteral("Katalog=%1 jest katalogiem monitorowanym na zadania; port potrzebuje własnego").arg(port.katalog);
    if (earlierDirectories.contains(dir))
        return QStringLiteral("Katalog=%1 jest już katalogiem innego portu").arg(port.katalog);
    // Each PDF would come back as a print job of its own, without end.
    const QString pdfFolder = PortPdfFolder(port, settings, programDir);
    if (!pdfFolder.isEmpty() && CanonicalDirectory(pdfFolder) == dir)
        return QStringLiteral("pliki PDF portu trafiałyby do jego katalogu %1 i wracały jako wydruki; "
                              "KatalogPDF musi być innym katalogiem").arg(pdfFolder);
    if (!PrintsOnBuiltinPrinter(port) && !printers.contains(port.drukarka, Qt::CaseInsensitive))
        return QStringLiteral("drukarki \"%1\" nie ma wśród drukarek: %2")
            .arg(port.drukarka, printers.join(QStringLiteral(", ")));
    return {};
}

} // namespace ostrevo
