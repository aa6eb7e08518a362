#include "devices/BuiltinPdfPrinter.h"

#include "devices/FreeFileName.h"
#include "devices/PrinterError.h"
#include "devices/TPrinter.h"

#include <QDir>
#include <QFile>

namespace ostrevo {

BuiltinPdfPrinter::BuiltinPdfPrinter(QString directory) : m_directory(std::move(directory)) {}

QString BuiltinPdfPrinter::name() const
{
    return BuiltinPrinterName();
}

bool BuiltinPdfPrinter::loadDefaults(DeviceMode &mode)
{
    mode = DeviceMode{};
    return true;
}

DeviceMetrics BuiltinPdfPrinter::metrics(const DeviceMode &mode)
{
    DeviceMetrics m;
    m.dpiX = m.dpiY = Dpi;
    m.width = PrintableWidth;
    m.height = PrintableHeight;
    m.physicalMm = QSizeF(210, 297);
    // The printable area sits in the middle of the sheet.
    m.offset = QPointF((210 / 25.4 * Dpi - PrintableWidth) / 2, (297 / 25.4 * Dpi - PrintableHeight) / 2);
    if (mode.orientation == 1) {
        std::swap(m.width, m.height);
        m.physicalMm.transpose();
        m.offset = m.offset.transposed();
    }
    return m;
}


Canvas *BuiltinPdfPrinter::beginDocument(const DeviceMode &mode, const QString &title)
{
    // A directory set meanwhile is for the next document.
    m_documentDirectory = m_directory;
    if (m_documentDirectory.isEmpty() || !QDir().mkpath(m_documentDirectory))
        throw OutputUnavailable(QStringLiteral("Nie można utworzyć katalogu %1").arg(m_documentDirectory));
    m_stem = SafeFileStem(title, QStringLiteral("wydruk"));
    int error = 0;
    PartFile part = CreatePartFile(m_documentDirectory, m_stem, error);
    if (part.fd.fd < 0)
        throw OutputUnavailable(QStringLiteral("Nie można zapisywać w katalogu %1: %2").arg(m_documentDirectory, ErrnoText(error)));
    m_document = std::make_unique<DirectPdfDocument>(part.path, metrics(mode), title, m_fonts);
    m_part = std::move(part);
    return m_document->canvas();
}

void BuiltinPdfPrinter::newPage()
{
    m_document->newPage();
}

void BuiltinPdfPrinter::endDocument()
{
    std::unique_ptr<DirectPdfDocument> document = std::move(m_document);
    const PartFile part = std::move(m_part);
    document->finish();
    int error = 0;
    m_lastFile = PublishUnderFreeName(part.path, m_documentDirectory, m_stem, QStringLiteral("pdf"), error);
    if (m_lastFile.isEmpty()) {
        QFile::remove(part.path);
        throw OutputUnavailable(
            QStringLiteral("Nie można nadać nazwy plikowi PDF %1 w %2: %3").arg(m_stem, m_documentDirectory, ErrnoText(error)));
    }
}

void BuiltinPdfPrinter::abortDocument()
{
    if (m_document)
        m_document->discard();
    m_document.reset();
    m_part = PartFile{};
}

} // namespace ostrevo
