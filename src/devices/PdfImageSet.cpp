#include "devices/PdfImageSet.h"

#include "devices/PdfObjectWriter.h"
#include "devices/PdfSyntax.h"

#include <QCryptographicHash>
#include <QPainter>

namespace ostrevo {

namespace {

// Images are written once and small next to the pages: a thorough level costs little.
constexpr int ImageLevel = 6;

enum class Kind { Mono, Grey, Rgb };

Kind KindOf(const QImage &rgb)
{
    bool mono = true;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            const int r = qRed(line[x]), g = qGreen(line[x]), b = qBlue(line[x]);
            if (r != g || g != b)
                return Kind::Rgb;
            if (r != 0 && r != 255)
                mono = false;
        }
    }
    return mono ? Kind::Mono : Kind::Grey;
}

// Samples row by row, each row whole bytes (8.9.3).
QByteArray Samples(const QImage &rgb, Kind kind)
{
    QByteArray out;
    const int w = rgb.width();
    const int rowBytes = kind == Kind::Mono ? (w + 7) / 8 : kind == Kind::Grey ? w : 3 * w;
    out.resize(qsizetype(rowBytes) * rgb.height());
    char *p = out.data();
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        if (kind == Kind::Mono) {
            std::fill(p, p + rowBytes, 0);
            // DeviceGray at one bit: 1 is white.
            for (int x = 0; x < w; ++x)
                if (qRed(line[x]) != 0)
                    p[x / 8] = char(uchar(p[x / 8]) | (0x80 >> (x % 8)));
        } else if (kind == Kind::Grey) {
            for (int x = 0; x < w; ++x)
                p[x] = char(qRed(line[x]));
        } else {
            for (int x = 0; x < w; ++x) {
                p[3 * x] = char(qRed(line[x]));
                p[3 * x + 1] = char(qGreen(line[x]));
                p[3 * x + 2] = char(qBlue(line[x]));
            }
        }
        p += rowBytes;
    }
    return out;
}

QImage OnWhitePaper(const QImage &image)
{
    if (!image.hasAlphaChannel())
        return image.convertToFormat(QImage::Format_RGB32);
    QImage paper(image.size(), QImage::Format_RGB32);
    paper.fill(Qt::white);
    QPainter painter(&paper);
    painter.drawImage(0, 0, image);
    painter.end();
    return paper;
}

} // namespace

QByteArray PdfImageSet::nameFor(const QImage &image)
{
    const QImage rgb = OnWhitePaper(image);
    const Kind kind = KindOf(rgb);
    const QByteArray samples = Samples(rgb, kind);
    // The same pixels drawn again, by whatever QImage, are stored once.
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(QByteArray::number(rgb.width()) + 'x' + QByteArray::number(rgb.height()) + char(kind));
    hash.addData(samples);
    const QByteArray key = hash.result();
    const auto it = m_names.constFind(key);
    if (it != m_names.constEnd())
        return *it;
    QByteArray dictionary(" /Type /XObject /Subtype /Image /Width ");
    AppendPdfInt(dictionary, rgb.width());
    dictionary.append(" /Height ");
    AppendPdfInt(dictionary, rgb.height());
    dictionary.append(kind == Kind::Rgb ? " /ColorSpace /DeviceRGB" : " /ColorSpace /DeviceGray");
    dictionary.append(kind == Kind::Mono ? " /BitsPerComponent 1" : " /BitsPerComponent 8");
    dictionary.append(" /Filter /FlateDecode");
    const int object = m_writer.reserve();
    m_writer.writeStream(object, dictionary, PdfDeflate(samples, ImageLevel));

    const QByteArray name = "Im" + QByteArray::number(m_names.size());
    m_entries.append(" /").append(name).append(' ');
    AppendPdfInt(m_entries, object);
    m_entries.append(" 0 R");
    m_names.insert(key, name);
    return name;
}

QByteArray PdfImageSet::resourceEntries() const
{
    return m_entries.isEmpty() ? QByteArray() : " /XObject <<" + m_entries + ">>";
}

} // namespace ostrevo
