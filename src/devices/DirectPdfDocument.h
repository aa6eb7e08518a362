#pragma once

#include "devices/PdfContentCanvas.h"
#include "devices/PdfFontSet.h"
#include "devices/PdfImageSet.h"
#include "devices/PdfObjectWriter.h"
#include "devices/PrintDevice.h"

#include <QList>

#include <memory>

namespace ostrevo {

class RealisedFontCache;

// One print document written as a PDF file by our own writer: each page's operators
// are compressed and written as the page ends; fonts, the page tree, the catalog and
// the document information follow at the end (ISO 32000-1, 7.7).
class DirectPdfDocument {
public:
    // Throws PrinterError when the file cannot be created.
    DirectPdfDocument(const QString &path, const DeviceMetrics &metrics, const QString &title,
                      RealisedFontCache &fonts, PdfFontSet::Embedding embedding = PdfFontSet::Embedding::Subsets);
    ~DirectPdfDocument();

    Canvas *canvas() { return m_canvas.get(); }
    void newPage();
    // Completes the file; throws PrinterError when it could not be written completely.
    void finish();
    // Closes and deletes the file.
    void discard();
    const QString &path() const { return m_path; }

private:
    void writePage();

    QString m_path;
    QString m_title;
    QSizeF m_sheetPt;
    PdfObjectWriter m_writer;
    PdfFontSet m_fontSet;
    PdfImageSet m_images{m_writer};
    std::unique_ptr<PdfContentCanvas> m_canvas;
    int m_pages = 0;
    int m_resources = 0;
    QList<int> m_pageObjects;
    bool m_open = false;
};

} // namespace ostrevo
