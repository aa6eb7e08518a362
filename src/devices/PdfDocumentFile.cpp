#include "devices/PdfDocumentFile.h"

#include "devices/PdfSyntax.h"

#include <QDateTime>

namespace ostrevo {

namespace {

// zlib level for page content: on the 200-page benchmark report level 2 is 4% smaller
// than level 1 in about the same time; levels 4..6 take twice to three times as long for
// 3-13% less.
constexpr int ContentLevel = 2;

} // namespace

PdfDocumentFile::PdfDocumentFile(PdfFontSet::Embedding embedding)
    : m_fontSet(embedding)
{
}

bool PdfDocumentFile::open(const QString &path)
{
    if (!m_writer.open(path))
        return false;
    reserveShared();
    return true;
}

bool PdfDocumentFile::open(int fd)
{
    if (!m_writer.open(fd))
        return false;
    reserveShared();
    return true;
}

void PdfDocumentFile::reserveShared()
{
    // Objects 1..3: the catalog, the page tree and the resources every page shares.
    m_writer.reserve();
    m_writer.reserve();
    m_resources = m_writer.reserve();
}

void PdfDocumentFile::addPage(const QByteArray &content, QSizeF sheetPt, int rotate)
{
    const int contents = m_writer.reserve();
    const int page = m_writer.reserve();
    m_writer.writeStream(contents, " /Filter /FlateDecode", PdfDeflate(content, ContentLevel));
    QByteArray &p = m_writer.beginObject(page);
    p.append("<</Type /Page /Parent 2 0 R /MediaBox [0 0 ");
    AppendPdfReal(p, sheetPt.width(), 3);
    p.append(' ');
    AppendPdfReal(p, sheetPt.height(), 3);
    p.append(']');
    if (rotate % 360 != 0) {
        p.append(" /Rotate ");
        AppendPdfInt(p, ((rotate % 360) + 360) % 360);
    }
    p.append(" /Resources ");
    AppendPdfInt(p, m_resources);
    p.append(" 0 R /Contents ");
    AppendPdfInt(p, contents);
    p.append(" 0 R>>");
    m_writer.endObject();
    m_pageObjects.append(page);
}

bool PdfDocumentFile::finish(const QString &title)
{
    m_fontSet.write(m_writer, m_resources, m_images.resourceEntries());

    QByteArray &pages = m_writer.beginObject(2);
    pages.append("<</Type /Pages /Count ");
    AppendPdfInt(pages, m_pageObjects.size());
    pages.append(" /Kids [");
    for (int page : m_pageObjects) {
        AppendPdfInt(pages, page);
        pages.append(" 0 R ");
    }
    pages.append("]>>");
    m_writer.endObject();

    QByteArray &catalog = m_writer.beginObject(1);
    catalog.append("<</Type /Catalog /Pages 2 0 R");
    // Fonts with CFF outlines embedded as OpenType need PDF 1.6 (7.2.2: the catalog's
    // version overrides the header's).
    if (m_fontSet.needsOpenType())
        catalog.append(" /Version /1.6");
    catalog.append(">>");
    m_writer.endObject();

    const int info = m_writer.reserve();
    QByteArray &d = m_writer.beginObject(info);
    d.append("<</Title ");
    AppendPdfTextString(d, title);
    d.append(" /Creator (Ostrevo) /Producer (Ostrevo) /CreationDate (D:");
    d.append(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1());
    d.append("Z)>>");
    m_writer.endObject();

    return m_writer.finish(1, info);
}

} // namespace ostrevo
