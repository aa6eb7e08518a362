#include "devices/DirectPdfDocument.h"

#include "devices/PrinterError.h"

namespace ostrevo {

namespace {

// Whole points, as QPdfWriter gave them before (595 x 842 for A4): readers still name the
// size A4, and the printable area is placed from the top-left corner either way.
QSizeF SheetInPoints(const DeviceMetrics &metrics)
{
    const QSizeF exact = metrics.physicalMm / 25.4 * 72.0;
    return QSizeF(qRound(exact.width()), qRound(exact.height()));
}

} // namespace

DirectPdfDocument::DirectPdfDocument(const QString &path, const DeviceMetrics &metrics, const QString &title,
                                     RealisedFontCache &fonts, PdfFontSet::Embedding embedding)
    : m_path(path)
    , m_title(title)
    , m_fonts(fonts)
    , m_metrics(metrics)
    , m_sheetPt(SheetInPoints(metrics))
    , m_file(embedding)
{
    if (!m_file.open(path))
        throw OutputUnavailable(QStringLiteral("Nie można utworzyć pliku wydruku %1: %2").arg(path, m_file.errorString()));
    m_open = true;
    m_canvas = std::make_unique<PdfContentCanvas>(m_file.fonts(), m_file.images(), fonts, metrics.dpiX, metrics.dpiY,
                                                  m_sheetPt, metrics.offset);
}

DirectPdfDocument::~DirectPdfDocument()
{
    if (m_open)
        discard();
}

void DirectPdfDocument::newPage()
{
    m_file.addPage(m_canvas->takePage(), m_sheetPt);
}

void DirectPdfDocument::newPage(const DeviceMetrics &metrics)
{
    m_file.addPage(m_canvas->takePage(), m_sheetPt);
    m_metrics = metrics;
    m_sheetPt = SheetInPoints(metrics);
    m_canvas = std::make_unique<PdfContentCanvas>(m_file.fonts(), m_file.images(), m_fonts, metrics.dpiX, metrics.dpiY,
                                                  m_sheetPt, metrics.offset);
}

void DirectPdfDocument::finish()
{
    m_open = false;
    m_file.addPage(m_canvas->takePage(), m_sheetPt);
    if (!m_file.finish(m_title)) {
        const QString reason = m_file.errorString();
        m_file.discard();
        throw OutputUnavailable(QStringLiteral("Nie można zapisać pliku wydruku %1: %2").arg(m_path, reason));
    }
}

void DirectPdfDocument::discard()
{
    m_open = false;
    m_file.discard();
}

} // namespace ostrevo
