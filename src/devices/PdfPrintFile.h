#pragma once

#include "devices/PrintDevice.h"
#include "devices/QPainterCanvas.h"

#include <QFile>
#include <QPainter>
#include <QPdfWriter>

#include <memory>

namespace ostrevo {

// One print document as a compressed PDF file at a path of the caller's choosing, with
// its canvas drawing in device pixels from the printable area's top-left corner.
class PdfPrintFile {
public:
    // Throws PrinterError when the file cannot be created.
    PdfPrintFile(const QString &path, const DeviceMetrics &metrics, const QString &title);
    ~PdfPrintFile();

    Canvas *canvas() { return &m_canvas; }
    void newPage();
    // Closes the file; throws PrinterError when it could not be written completely.
    void finish();
    // Closes and deletes the file.
    void discard();
    const QString &path() const { return m_path; }

private:
    void placeOrigin();

    QString m_path;
    DeviceMetrics m_metrics;
    QFile m_file;
    std::unique_ptr<QPdfWriter> m_writer;
    QPainter m_painter;
    QPainterCanvas m_canvas;
    bool m_open = false;
};

} // namespace ostrevo
