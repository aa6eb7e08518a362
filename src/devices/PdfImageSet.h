#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>

namespace ostrevo {

class PdfObjectWriter;

// The images of one PDF document, each written as an image XObject when first drawn
// (ISO 32000-1, 8.9.5), losslessly: 1 bit per pixel when it is black and white only, grey
// when it has no colour, else RGB, always Flate-compressed. Transparency is flattened onto
// white paper.
class PdfImageSet {
public:
    explicit PdfImageSet(PdfObjectWriter &writer) : m_writer(writer) {}

    // The resource name ("Im0", ...) of the image, written on first use.
    QByteArray nameFor(const QImage &image);
    // The /XObject entries of the resource dictionary, empty when no image was drawn.
    QByteArray resourceEntries() const;

private:
    PdfObjectWriter &m_writer;
    QHash<QByteArray, QByteArray> m_names; // by a digest of size, kind and samples
    QByteArray m_entries;
};

} // namespace ostrevo
