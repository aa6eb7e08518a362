#include "devices/DirectPdfDocument.h"

#include "devices/PdfSyntax.h"
#include "devices/PrinterError.h"

#include <QDateTime>

namespace ostrevo {

namespace {

// zlib level for page content: on the 200-page benchmark report level 2 is 4% smaller
// than level 1 in about the same time; levels 4..6 take twice to three times as long for
// 3-13% less.
constexpr int ContentLevel = 2;

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
    , m_sheetPt(SheetInPoints(metrics))
    , m_fontSet(embedding)
{
    if (!m_writer.open(path))
        throw OutputUnavailable(QStringLiteral("Cannot create the print file %1: %2").arg(path, m_writer.errorString()));
    m_open = true;
    // Objects 1..3: the catalog, the page tree and the resources every page shares.
    m_writer.reserve();
    m_writer.reserve();
    m_resources = m_writer.reserve();
    m_canvas = std::make_unique<PdfContentCanvas>(m_fontSet, m_images, fonts, metrics.dpiX, metrics.dpiY,
                                                  m_sheetPt, metrics.offset);
}

DirectPdfDocument::~DirectPdfDocument()
{
    if (m_open)
        discard();
}

void DirectPdfDocument::writePage()
{
    const int contents = m_writer.reserve();
    const int page = m_writer.reserve();
    m_writer.writeStream(contents, " /Filter /FlateDecode", PdfDeflate(m_canvas->takePage(), ContentLevel));
    QByteArray &p = m_writer.beginObject(page);
    p.append("<</Type /Page /Parent 2 0 R /MediaBox [0 0 ");
    AppendPdfReal(p, m_sheetPt.width(), 3);
    p.append(' ');
    AppendPdfReal(p, m_sheetPt.height(), 3);
    p.append("] /Resources ");
    AppendPdfInt(p, m_resources);
    p.append(" 0 R /Contents ");
    AppendPdfInt(p, contents);
    p.append(" 0 R>>");
    m_writer.endObject();
    m_pageObjects.append(page);
}

void DirectPdfDocument::newPage()
{
    writePage();
}

void DirectPdfDocument::finish()
{
    m_open = false;
    writePage();
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
    AppendPdfTextString(d, m_title);
    d.append(" /Creator (Ostrevo) /Producer (Ostrevo) /CreationDate (D:");
    d.append(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1());
    d.append("Z)>>");
    m_writer.endObject();

    if (!m_writer.finish(1, info)) {
        const QString reason = m_writer.errorString();
        m_writer.discard();
        throw OutputUnavailable(QStringLiteral("Cannot write the print file %1: %2").arg(m_path, reason));
    }
}

void DirectPdfDocument::discard()
{
    m_open = false;
    m_writer.discard();
}

} // namespace ostrevo
