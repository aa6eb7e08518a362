#include "devices/BuiltinPdfPrinter.h"

#include "devices/FreeFileName.h"
#include "devices/PrinterError.h"
#include "devices/TPrinter.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryFile>

#include <sys/stat.h>

namespace ostrevo {

namespace {

QString &Directory()
{
    static QString dir;
    return dir;
}

} // namespace

void SetBuiltinPrinterDirectory(const QString &dir)
{
    Directory() = dir;
}

QString BuiltinPrinterDirectory()
{
    if (!Directory().isEmpty())
        return Directory();
    return QCoreApplication::applicationDirPath() + QStringLiteral("/wydruki");
}

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
    m_directory = BuiltinPrinterDirectory();
    if (!QDir().mkpath(m_directory))
        throw OutputUnavailable(QStringLiteral("Cannot create the directory %1").arg(m_directory));
    m_stem = SafeFileStem(title, QStringLiteral("wydruk"));
    QTemporaryFile reserve(m_directory + QStringLiteral("/.") + m_stem + QStringLiteral("-XXXXXX.part"));
    if (!reserve.open())
        throw OutputUnavailable(QStringLiteral("Cannot write into the directory %1: %2").arg(m_directory, reserve.errorString()));
    reserve.setAutoRemove(false);
    // Printouts hold invoices and tax forms: the user and the group may read them, no one
    // else, whatever the umask.
    ::fchmod(reserve.handle(), 0640);
    const QString partPath = reserve.fileName();
    reserve.close();
    m_document = std::make_unique<DirectPdfDocument>(partPath, metrics(mode), title, m_fonts);
    return m_document->canvas();
}

void BuiltinPdfPrinter::newPage()
{
    m_document->newPage();
}

void BuiltinPdfPrinter::endDocument()
{
    std::unique_ptr<DirectPdfDocument> document = std::move(m_document);
    document->finish();
    const QString part = document->path();
    m_lastFile = PlaceUnderFreeName(m_directory, m_stem, QStringLiteral("pdf"),
                                    [&](const QString &path) { return QFile::rename(part, path); });
    if (m_lastFile.isEmpty()) {
        QFile::remove(part);
        throw OutputUnavailable(QStringLiteral("Cannot name the PDF file %1 in %2").arg(m_stem, m_directory));
    }
}

void BuiltinPdfPrinter::abortDocument()
{
    if (m_document)
        m_document->discard();
    m_document.reset();
}

} // namespace ostrevo
