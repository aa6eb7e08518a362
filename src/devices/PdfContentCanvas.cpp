#include "devices/PdfContentCanvas.h"

#include "devices/CanvasStyles.h"
#include "devices/PdfSyntax.h"
#include "devices/RealisedFont.h"
#include "devices/RealisedFontCache.h"

#include <charconv>
#include <cmath>

namespace ostrevo {

namespace {

// Enough digits that a stretch or size error stays far below a pixel over a page width.
constexpr int ScaleDecimals = 6;

void AppendColor(QByteArray &out, QRgb color, const char *grayOp, const char *rgbOp)
{
    const int r = qRed(color), g = qGreen(color), b = qBlue(color);
    if (r == g && g == b) {
        AppendPdfReal(out, r / 255.0, 3);
        out.append(' ').append(grayOp).append('\n');
        return;
    }
    for (int c : {r, g, b}) {
        AppendPdfReal(out, c / 255.0, 3);
        out.append(' ');
    }
    out.append(rgbOp).append('\n');
}

// The direction of text at an escapement in tenths of a degree, counter-clockwise on
// paper, exact for the right angles.
void Direction(int escapement, double &cosine, double &sine)
{
    switch (((escapement % 3600) + 3600) % 3600) {
    case 0: cosine = 1; sine = 0; return;
    case 900: cosine = 0; sine = 1; return;
    case 1800: cosine = -1; sine = 0; return;
    case 2700: cosine = 0; sine = -1; return;
    default: {
        const double radians = escapement / 10.0 * M_PI / 180.0;
        cosine = std::cos(radians);
        sine = std::sin(radians);
    }
    }
}

} // namespace

PdfContentCanvas::PdfContentCanvas(PdfFontSet &fontSet, PdfImageSet &images, RealisedFontCache &fonts, int dpiX,
                                   int dpiY, QSizeF sheetPt, QPointF offset)
    : m_fontSet(fontSet)
    , m_images(images)
    , m_dpiY(dpiY)
    , m_fonts(fonts)
{
    m_fonts.setDpiY(dpiY);
    // Device pixels from the printable area's corner, y down, to points from the sheet's
    // bottom-left corner, y up (8.3.2.3); round caps and joins as GDI's pens have.
    const double sx = 72.0 / dpiX;
    const double sy = 72.0 / dpiY;
    AppendPdfReal(m_pagePrologue, sx, ScaleDecimals);
    m_pagePrologue.append(" 0 0 ");
    AppendPdfReal(m_pagePrologue, -sy, ScaleDecimals);
    m_pagePrologue.append(' ');
    AppendPdfReal(m_pagePrologue, offset.x() * sx);
    m_pagePrologue.append(' ');
    AppendPdfReal(m_pagePrologue, sheetPt.height() - offset.y() * sy);
    m_pagePrologue.append(" cm 1 J 1 j\n");
    startPage();
}

void PdfContentCanvas::startPage()
{
    m_content.clear();
    m_content.reserve(64 * 1024);
    m_content.append(m_pagePrologue);
    m_state = State{};
    m_pathOpen = false;
    // A clip holds for the whole document, page after page, as on a printer's context.
    applyClip();
}

void PdfContentCanvas::applyClip()
{
    if (m_clip.isNull())
        return;
    m_unclipped = m_state;
    m_content.append("q ");
    appendRect(m_clip);
    m_content.append("re W n\n");
}

void PdfContentCanvas::setClipRect(const QRect &rect)
{
    if (rect == m_clip)
        return;
    flushPath();
    if (!m_clip.isNull()) {
        m_content.append("Q\n");
        m_state = m_unclipped;
    }
    m_clip = rect;
    applyClip();
}

void PdfContentCanvas::appendRect(const QRect &rect)
{
    for (int v : {rect.x(), rect.y(), rect.width(), rect.height()}) {
        AppendPdfInt(m_content, v);
        m_content.append(' ');
    }
}

QByteArray PdfContentCanvas::takePage()
{
    flushPath();
    QByteArray page = std::move(m_content);
    startPage();
    return page;
}

void PdfContentCanvas::setFont(const LogFont &font)
{
    if (font == m_font && m_current)
        return;
    m_font = font;
    m_current = nullptr;
    m_pdfFont = nullptr;
}

void PdfContentCanvas::setPen(const CanvasPen &pen)
{
    // A path drawn so far is stroked in the pen it was drawn with.
    if (!(pen == m_pen))
        flushPath();
    m_pen = pen;
}

const RealisedFont &PdfContentCanvas::realised()
{
    if (!m_current)
        m_current = &m_fonts.get(m_font);
    return *m_current;
}

int PdfContentCanvas::textWidth(const QByteArray &win1250)
{
    return realised().textWidth(win1250);
}

int PdfContentCanvas::textHeight(const QByteArray &)
{
    return realised().cellHeight();
}

void PdfContentCanvas::setFill(QRgb color)
{
    if (m_state.fill == color)
        return;
    m_state.fill = color;
    AppendColor(m_content, color, "g", "rg");
}

void PdfContentCanvas::applyPen()
{
    const QRgb color = m_pen.color.rgb() | 0xff000000u;
    if (m_state.stroke != color) {
        m_state.stroke = color;
        AppendColor(m_content, color, "G", "RG");
    }
    // Width 0 is the thinnest line the device can draw, as GDI's and 8.4.3.2 say alike.
    const int width = std::max(0, m_pen.width);
    if (m_state.lineWidth != width) {
        m_state.lineWidth = width;
        AppendPdfInt(m_content, width);
        m_content.append(" w\n");
    }
    // The dash pattern (8.4.3.6) starts afresh on every path, as GDI's does on every line.
    const QVector<int> dashes = DashLengths(m_pen, m_dpiY);
    if (m_state.dashes != dashes) {
        m_state.dashes = dashes;
        m_content.append('[');
        for (int d : dashes) {
            AppendPdfInt(m_content, d);
            m_content.append(' ');
        }
        m_content.append("] 0 d\n");
    }
}

void PdfContentCanvas::point(int x, int y, const char *op)
{
    char buffer[40];
    char *p = std::to_chars(buffer, buffer + 16, x).ptr;
    *p++ = ' ';
    p = std::to_chars(p, p + 16, y).ptr;
    *p++ = ' ';
    m_content.append(buffer, p - buffer).append(op).append('\n');
}

void PdfContentCanvas::flushPath()
{
    if (!m_pathOpen)
        return;
    m_content.append("S\n");
    m_pathOpen = false;
}

void PdfContentCanvas::textOut(int x, int y, const QByteArray &win1250)
{
    flushPath();
    if (win1250.isEmpty())
        return;
    const RealisedFont &font = realised();
    double cosine, sine;
    Direction(m_font.escapement, cosine, sine);
    // Device axes run right and down: along the text is (cos, -sin), down the glyphs
    // (sin, cos). The baseline lies an ascent below the cell's top edge.
    const double ascent = font.ascent();
    const QPointF baseline(x + ascent * sine, y + ascent * cosine);
    if (m_background == BackgroundMode::Opaque) {
        // The cells first, in the brush's colour: along the text and down the glyphs.
        const int width = font.textWidth(win1250);
        const int height = font.cellHeight();
        const QPointF along(cosine * width, -sine * width);
        const QPointF down(sine * height, cosine * height);
        const QPointF corner(x, y);
        setFill(m_brush.color.rgb() | 0xff000000u);
        const QPointF corners[4] = {corner, corner + along, corner + along + down, corner + down};
        for (int i = 0; i < 4; ++i) {
            AppendPdfReal(m_content, corners[i].x(), 2);
            m_content.append(' ');
            AppendPdfReal(m_content, corners[i].y(), 2);
            m_content.append(i == 0 ? " m " : " l ");
        }
        m_content.append("h f\n");
    }

    // Blanks at either end leave no ink: the string starts at the first glyph that has.
    const auto [first, last] = InkOf(win1250);
    if (first < last) {
        if (!m_pdfFont)
            m_pdfFont = &m_fontSet.fontFor(font);
        PdfFontSet::Font &pdfFont = *m_pdfFont;
        int skip = 0;
        for (qsizetype i = 0; i < first; ++i)
            skip += font.advance(static_cast<unsigned char>(win1250[i]));
        setFill(m_textColor.rgb() | 0xff000000u);
        m_content.append("BT ");
        if (m_state.font != &pdfFont) {
            m_state.font = &pdfFont;
            m_content.append('/').append(pdfFont.resourceName).append(' ');
            AppendPdfReal(m_content, font.emSize(), ScaleDecimals);
            m_content.append(" Tf ");
        }
        // The text matrix stretches, rotates and flips the glyphs upright again in the
        // y-down device space (9.4.2).
        const double stretch = font.scaleX();
        const double values[6] = {stretch * cosine, -stretch * sine, -sine, -cosine,
                                  baseline.x() + skip * cosine, baseline.y() - skip * sine};
        for (double v : values) {
            AppendPdfReal(m_content, v, ScaleDecimals);
            m_content.append(' ');
        }
        m_content.append("Tm ");
        PdfFontSet::AppendGlyphString(m_content, pdfFont, win1250.constData() + first, win1250.constData() + last);
        m_content.append(" Tj ET\n");
    }

    if (font.underline() || font.strikeOut()) {
        const QRawFont &raw = font.rawFont();
        const QPointF along(cosine * font.textWidth(win1250), -sine * font.textWidth(win1250));
        const QPointF down(sine, cosine);
        if (font.underline()) {
            const QPointF from = baseline + down * raw.underlinePosition();
            decorationLine(from, from + along, raw.lineThickness());
        }
        if (font.strikeOut()) {
            const QPointF from = baseline - down * (raw.ascent() / 3);
            decorationLine(from, from + along, raw.lineThickness());
        }
    }
}

void PdfContentCanvas::decorationLine(QPointF from, QPointF to, qreal thickness)
{
    // In the text's colour, solid with butt ends, as Qt draws text decorations; q/Q keep
    // the pen's state.
    m_content.append("q 0 J [] 0 d ");
    AppendColor(m_content, m_textColor.rgb() | 0xff000000u, "G", "RG");
    AppendPdfReal(m_content, std::max<qreal>(thickness, 1.0), 2);
    m_content.append(" w ");
    for (QPointF p : {from, to}) {
        AppendPdfReal(m_content, p.x(), 2);
        m_content.append(' ');
        AppendPdfReal(m_content, p.y(), 2);
        m_content.append(p == from ? " m " : " l S Q\n");
    }
}

void PdfContentCanvas::moveTo(int x, int y)
{
    m_position = QPoint(x, y);
}

void PdfContentCanvas::lineTo(int x, int y)
{
    if (m_pen.style == PenStyle::Null) {
        m_position = QPoint(x, y);
        return;
    }
    // Runs of lineTo become one path, stroked when something else is drawn.
    if (!m_pathOpen) {
        applyPen();
        point(m_position.x(), m_position.y(), "m");
        m_pathOpen = true;
    } else if (m_position != m_pathEnd) {
        point(m_position.x(), m_position.y(), "m");
    }
    point(x, y, "l");
    m_position = m_pathEnd = QPoint(x, y);
}

void PdfContentCanvas::drawLines(const QVector<QLine> &lines)
{
    if (lines.isEmpty() || m_pen.style == PenStyle::Null)
        return;
    flushPath();
    applyPen();
    // One path for the whole batch, stroked once. A frame row repeats the row above but
    // for its height: drawn relative to its top, the rows of a page compress to little.
    int top = lines.constFirst().y1();
    for (const QLine &line : lines)
        top = std::min({top, line.y1(), line.y2()});
    m_content.append("q 1 0 0 1 0 ");
    AppendPdfInt(m_content, top);
    m_content.append(" cm\n");
    for (const QLine &line : lines) {
        point(line.x1(), line.y1() - top, "m");
        point(line.x2(), line.y2() - top, "l");
    }
    m_content.append("S Q\n");
    m_position = lines.constLast().p2();
}

void PdfContentCanvas::paintPath(const QRect &bounds, const char *closeAndStroke, const char *fill,
                                 const char *fillAndStroke, const char *clip)
{
    const bool stroke = m_pen.style != PenStyle::Null;
    if (m_brush.style == BrushStyle::Solid) {
        setFill(m_brush.color.rgb() | 0xff000000u);
        m_content.append(stroke ? fillAndStroke : fill).append('\n');
        return;
    }
    if (IsHatch(m_brush.style)) {
        // The hatch lines in the brush's colour, clipped to the shape, then the outline.
        const QByteArray path = m_content.mid(m_pathStart);
        m_content.truncate(m_pathStart);
        m_content.append("q ").append(path).append(' ').append(clip).append(" n ");
        AppendColor(m_content, m_brush.color.rgb() | 0xff000000u, "G", "RG");
        m_content.append("[] 0 d ");
        AppendPdfInt(m_content, std::max(1, (m_dpiY + 127) / 254));
        m_content.append(" w\n");
        for (const QLine &line : HatchLines(bounds, m_brush.style, HatchSpacing(m_dpiY))) {
            point(line.x1(), line.y1(), "m");
            point(line.x2(), line.y2(), "l");
        }
        m_content.append("S Q\n");
        if (!stroke)
            return;
        m_content.append(path).append(' ');
    }
    m_content.append(stroke ? closeAndStroke : "n").append('\n');
}

void PdfContentCanvas::rectangle(const QRect &rect)
{
    flushPath();
    applyPen();
    m_pathStart = m_content.size();
    appendRect(rect);
    m_content.append("re ");
    paintPath(rect, "S", "f", "B", "W");
}

void PdfContentCanvas::polygon(const QPolygon &points)
{
    if (points.isEmpty())
        return;
    flushPath();
    applyPen();
    m_pathStart = m_content.size();
    point(points[0].x(), points[0].y(), "m");
    for (qsizetype i = 1; i < points.size(); ++i)
        point(points[i].x(), points[i].y(), "l");
    m_content.append("h ");
    // Closed, filled by the even-odd rule as QPainter fills a polygon, then stroked.
    paintPath(points.boundingRect(), "S", "f*", "B*", "W*");
}

void PdfContentCanvas::drawImage(const QRect &target, const QImage &image)
{
    if (image.isNull() || target.isEmpty())
        return;
    flushPath();
    const QByteArray name = m_images.nameFor(image);
    // The unit square onto the target, its first row at the top (8.9.4).
    m_content.append("q ");
    AppendPdfInt(m_content, target.width());
    m_content.append(" 0 0 ");
    AppendPdfInt(m_content, -target.height());
    m_content.append(' ');
    AppendPdfInt(m_content, target.x());
    m_content.append(' ');
    AppendPdfInt(m_content, target.y() + target.height());
    m_content.append(" cm /").append(name).append(" Do Q\n");
}

} // namespace ostrevo
