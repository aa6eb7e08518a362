#include "devices/PdfPrintFile.h"

#include "devices/PrinterError.h"

#include <QPageLayout>
#include <QPageSize>

namespace ostrevo {

PdfPrintFile::PdfPrintFile(const QString &path, const DeviceMetrics &metrics, const QString &title)
    : m_path(path)
    , m_metrics(metrics)
    , m_file(path)
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw PrinterError(QStringLiteral("Cannot create the print file %1: %2").arg(path, m_file.errorString()));
    m_writer = std::make_unique<QPdfWriter>(&m_file);
    m_writer->setResolution(metrics.dpiX);
    m_writer->setTitle(title);
    m_writer->setCreator(QStringLiteral("Ostrevo"));
    // The sheet as it lies in the chosen orientation; margins are ours to place.
    const QSizeF sheet = metrics.physicalMm;
    const bool landscape = sheet.width() > sheet.height();
    const QPageSize size(landscape ? sheet.transposed() : sheet, QPageSize::Millimeter);
    QPageLayout layout(size, landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF());
    layout.setMode(QPageLayout::FullPageMode);
    m_writer->setPageLayout(layout);
    if (!m_painter.begin(m_writer.get())) {
        m_file.close();
        m_file.remove();
        throw PrinterError(QStringLiteral("Cannot start the print file %1").arg(path));
    }
    m_open = true;
    placeOrigin();
    m_canvas.setDpiY(metrics.dpiY);
    m_canvas.attach(&m_painter);
}

PdfPrintFile::~PdfPrintFile()
{
    if (m_open)
        discard();
}

void PdfPrintFile::placeOrigin()
{
    m_painter.resetTransform();
    m_painter.translate(m_metrics.offset);
}

void PdfPrintFile::newPage()
{
    m_writer->newPage();
    placeOrigin();
}

void PdfPrintFile::finish()
{
    m_open = false;
    m_painter.end();
    m_writer.reset();
    const bool ok = m_file.error() == QFileDevice::NoError && m_file.flush();
    m_file.close();
    if (!ok || m_file.error() != QFileDevice::NoError) {
        const QString reason = m_file.errorString();
        m_file.remove();
        throw PrinterError(QStringLiteral("Cannot write the print file %1: %2").arg(m_path, reason));
    }
}

void PdfPrintFile::discard()
{
    m_open = false;
    if (m_painter.isActive())
        m_painter.end();
    m_writer.reset();
    m_file.close();
    m_file.remove();
}

} // namespace ostrevo
