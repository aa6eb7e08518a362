#include "devices/CupsPrinter.h"

#include "devices/PrinterError.h"

#include <QDir>
#include <QTemporaryFile>

#include <cmath>

namespace ostrevo {

namespace {

PrinterError NotValid()
{
    return PrinterError(QStringLiteral("Printer selected is not valid"));
}

int MmToPixels(qreal mm)
{
    return static_cast<int>(std::nearbyint(mm / 25.4 * CupsPrinter::Dpi));
}

} // namespace

CupsPrinter::CupsPrinter(const QString &queue)
    : m_queue(queue)
{
}

bool CupsPrinter::loadDefaults(DeviceMode &mode)
{
    m_setup = CupsQueueDefaults(m_queue);
    if (!m_setup)
        return false;
    mode = m_setup->mode;
    return true;
}

DeviceMetrics CupsPrinter::metrics(const DeviceMode &mode)
{
    if (!m_setup)
        m_setup = CupsQueueDefaults(m_queue);
    if (!m_setup)
        throw NotValid();
    DeviceMetrics m;
    m.dpiX = m.dpiY = Dpi;
    m.physicalMm = m_setup->mediaMm;
    const QRectF area = m_setup->printableMm;
    m.width = MmToPixels(area.width());
    m.height = MmToPixels(area.height());
    m.offset = QPointF(area.left() / 25.4 * Dpi, area.top() / 25.4 * Dpi);
    if (mode.orientation == 1) {
        // Landscape turns the sheet a quarter counter-clockwise: the right margin becomes the top.
        std::swap(m.width, m.height);
        m.physicalMm.transpose();
        const qreal right = m_setup->mediaMm.width() - area.right();
        m.offset = QPointF(area.top() / 25.4 * Dpi, right / 25.4 * Dpi);
    }
    return m;
}

Canvas *CupsPrinter::beginDocument(const DeviceMode &mode, const QString &title)
{
    // The queue may have gone since it was chosen.
    if (!CupsQueueExists(m_queue))
        throw NotValid();
    const DeviceMetrics m = metrics(mode);
    QTemporaryFile reserve(QDir::tempPath() + QStringLiteral("/ostrevo-print-XXXXXX.pdf"));
    if (!reserve.open())
        throw PrinterError(QStringLiteral("Nie można utworzyć tymczasowego pliku wydruku: %1").arg(reserve.errorString()));
    reserve.setAutoRemove(false);
    const QString path = reserve.fileName();
    reserve.close();
    m_document = std::make_unique<DirectPdfDocument>(path, m, title, m_fonts);
    m_jobMode = mode;
    m_title = title;
    return m_document->canvas();
}

void CupsPrinter::newPage()
{
    m_document->newPage();
}

void CupsPrinter::endDocument()
{
    std::unique_ptr<DirectPdfDocument> document = std::move(m_document);
    document->finish();
    const QString title = m_title.isEmpty() ? QStringLiteral("Ostrevo") : m_title;
    const QString failure = CupsSubmitFile(m_queue, document->path(), title, CupsJobOptions(m_jobMode, m_setup ? m_setup->media : QByteArray()));
    QFile::remove(document->path());
    if (!failure.isEmpty())
        throw PrinterError(QStringLiteral("Nie można drukować na %1: %2").arg(m_queue, failure));
}

void CupsPrinter::abortDocument()
{
    if (m_document)
        m_document->discard();
    m_document.reset();
}

} // namespace ostrevo
