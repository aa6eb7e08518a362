#pragma once

// A one-page PDF drawn through QPainter onto QPdfWriter, as printers other than ours draw:
// the reference our own PDF writer is measured against.

#include "devices/PrintDevice.h"
#include "devices/QPainterCanvas.h"

#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <memory>
#include <stdexcept>

namespace ostrevo::test {

class QPainterPdf {
public:
    QPainterPdf(const QString &path, const DeviceMetrics &metrics, const QString &title) : m_file(path)
    {
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw std::runtime_error("cannot create " + path.toStdString());
        m_writer = std::make_unique<QPdfWriter>(&m_file);
        m_writer->setResolution(metrics.dpiX);
        m_writer->setTitle(title);
        // The sheet as it lies in the chosen orientation; the printable area is placed by hand.
        const QSizeF sheet = metrics.physicalMm;
        const bool landscape = sheet.width() > sheet.height();
        QPageLayout layout(QPageSize(landscape ? sheet.transposed() : sheet, QPageSize::Millimeter),
                           landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF());
        layout.setMode(QPageLayout::FullPageMode);
        m_writer->setPageLayout(layout);
        if (!m_painter.begin(m_writer.get()))
            throw std::runtime_error("cannot start " + path.toStdString());
        m_painter.translate(metrics.offset);
        m_canvas.setDpiY(metrics.dpiY);
        m_canvas.attach(&m_painter);
    }

    Canvas *canvas() { return &m_canvas; }

    void finish()
    {
        m_painter.end();
        m_writer.reset();
        m_file.close();
    }

private:
    QFile m_file;
    std::unique_ptr<QPdfWriter> m_writer;
    QPainter m_painter;
    QPainterCanvas m_canvas;
};

} // namespace ostrevo::test
