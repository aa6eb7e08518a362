#pragma once

#include "devices/PdfContentCanvas.h"
#include "devices/PdfDocumentFile.h"
#include "devices/PrintDevice.h"

#include <memory>

namespace ostrevo {

class RealisedFontCache;

// One print document written as a PDF file by our own writer, drawn on a canvas in the
// printer's device pixels.
class DirectPdfDocument {
public:
    // Throws PrinterError when the file cannot be created.
    DirectPdfDocument(const QString &path, const DeviceMetrics &metrics, const QString &title,
                      RealisedFontCache &fonts, PdfFontSet::Embedding embedding = PdfFontSet::Embedding::Subsets);
    ~DirectPdfDocument();

    Canvas *canvas() { return m_canvas.get(); }
    void newPage();
    // A new page on a sheet of other metrics (turned): the canvas is a new one.
    void newPage(const DeviceMetrics &metrics);
    // Completes the file; throws PrinterError when it could not be written completely.
    void finish();
    // Closes and deletes the file.
    void discard();
    const QString &path() const { return m_path; }

private:
    QString m_path;
    QString m_title;
    RealisedFontCache &m_fonts;
    DeviceMetrics m_metrics;
    QSizeF m_sheetPt;
    PdfDocumentFile m_file;
    std::unique_ptr<PdfContentCanvas> m_canvas;
    bool m_open = false;
};

} // namespace ostrevo
