#pragma once

#include "devices/PdfFontSet.h"
#include "devices/PdfImageSet.h"
#include "devices/PdfObjectWriter.h"

#include <QList>
#include <QSizeF>

namespace ostrevo {

// What every PDF file of ours is made of: pages written as they end, their operators
// compressed; then the fonts and images they used, the page tree, the catalog and the
// document information (ISO 32000-1, 7.7). The print documents and the PDF documents of
// the PDF jobs differ only in how they draw their pages.
class PdfDocumentFile {
public:
    explicit PdfDocumentFile(PdfFontSet::Embedding embedding = PdfFontSet::Embedding::Subsets);

    // Starts the file; false when it cannot be created (see errorString).
    bool open(const QString &path);
    // The same on a file already open for writing (closed in the end).
    bool open(int fd);
    QString errorString() const { return m_writer.errorString(); }
    int errorNumber() const { return m_writer.errorNumber(); }

    PdfFontSet &fonts() { return m_fontSet; }
    PdfImageSet &images() { return m_images; }

    // One page: its content operators, its sheet in points, and the clockwise turn in
    // degrees (a multiple of 90) with which viewers show it.
    void addPage(const QByteArray &content, QSizeF sheetPt, int rotate = 0);
    int pageCount() const { return int(m_pageObjects.size()); }

    // Writes the rest and closes the file; false when any of it could not be written.
    bool finish(const QString &title);
    // Closes and deletes the file.
    void discard() { m_writer.discard(); }

private:
    void reserveShared();

    PdfObjectWriter m_writer;
    PdfFontSet m_fontSet;
    PdfImageSet m_images{m_writer};
    int m_resources = 0;
    QList<int> m_pageObjects;
};

} // namespace ostrevo
