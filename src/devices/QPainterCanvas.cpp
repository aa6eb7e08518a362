#include "devices/QPainterCanvas.h"

#include "devices/CanvasStyles.h"
#include "devices/PrinterError.h"
#include "devices/RealisedFont.h"

#include <QPainter>
#include <QPainterPath>

namespace ostrevo {

QPainterCanvas::QPainterCanvas()
{
    reset();
}

QPainterCanvas::~QPainterCanvas() = default;

void QPainterCanvas::attach(QPainter *painter)
{
    m_painter = painter;
}

void QPainterCanvas::setDpiY(int dpiY)
{
    if (dpiY == m_fonts.dpiY())
        return;
    m_fonts.setDpiY(dpiY);
    m_current = nullptr;
}

void QPainterCanvas::reset()
{
    LogFont neutral;
    neutral.faceName = QStringLiteral("MS Sans Serif");
    neutral.charSet = 1; // DEFAULT_CHARSET
    // 8 points at the device's resolution, given as an em height as GDI's point sizes are.
    neutral.height = -((8 * m_fonts.dpiY() + 36) / 72);
    setFont(neutral);
    setBrush(CanvasBrush{Qt::white, BrushStyle::Solid});
    setPen(CanvasPen{1, Qt::black});
}

void QPainterCanvas::setFont(const LogFont &font)
{
    if (font == m_font && m_current)
        return;
    m_font = font;
    m_current = nullptr;
}

void QPainterCanvas::setPen(const CanvasPen &pen)
{
    m_pen = pen;
    // Width 0 is the device's thinnest line (a cosmetic pen); GDI pens have round ends.
    m_qpen = QPen(pen.color, pen.width, pen.style == PenStyle::Null ? Qt::NoPen : Qt::SolidLine, Qt::RoundCap,
                  Qt::RoundJoin);
    const QVector<int> dashes = DashLengths(pen, m_fonts.dpiY());
    if (!dashes.isEmpty()) {
        // Qt counts dashes in pen widths.
        const qreal unit = std::max(1, pen.width);
        QVector<qreal> pattern;
        for (int d : dashes)
            pattern.append(d / unit);
        m_qpen.setDashPattern(pattern);
    }
}

void QPainterCanvas::setClipRect(const QRect &rect)
{
    m_clip = rect;
}

void QPainterCanvas::applyClip(QPainter &p) const
{
    if (m_clip.isNull())
        p.setClipping(false);
    else
        p.setClipRect(m_clip);
}

QPainter &QPainterCanvas::painter()
{
    if (!m_painter)
        throw PrinterError(QStringLiteral("Printer is not currently printing"));
    return *m_painter;
}

const RealisedFont &QPainterCanvas::realised()
{
    if (!m_current)
        m_current = &m_fonts.get(m_font);
    return *m_current;
}

void QPainterCanvas::paintPath(QPainter &p, const QPainterPath &path)
{
    applyClip(p);
    p.setPen(Qt::NoPen);
    if (m_brush.style == BrushStyle::Solid) {
        p.setBrush(m_brush.color);
        p.drawPath(path);
    } else if (IsHatch(m_brush.style)) {
        // The same lines as every canvas draws, clipped to the shape.
        p.save();
        p.setClipPath(path, m_clip.isNull() ? Qt::ReplaceClip : Qt::IntersectClip);
        const int dpi = m_fonts.dpiY();
        p.setPen(QPen(m_brush.color, std::max(1, (dpi + 127) / 254), Qt::SolidLine, Qt::RoundCap));
        p.drawLines(HatchLines(path.boundingRect().toAlignedRect(), m_brush.style, HatchSpacing(dpi)));
        p.restore();
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(m_qpen);
    p.drawPath(path);
}

void QPainterCanvas::textOut(int x, int y, const QByteArray &win1250)
{
    QPainter &p = painter();
    if (win1250.isEmpty())
        return;
    const RealisedFont &font = realised();
    // Text is drawn transparently: an opaque cell would wipe out lines drawn before it
    // where double-height text overlaps the line above.
    p.save();
    applyClip(p);
    p.setPen(QPen(m_textColor));
    p.translate(x, y);
    if (m_font.escapement != 0)
        p.rotate(-m_font.escapement / 10.0);
    if (m_background == BackgroundMode::Opaque)
        p.fillRect(QRect(0, 0, font.textWidth(win1250), font.cellHeight()), m_brush.color);
    if (font.scaleX() != 1.0)
        p.scale(font.scaleX(), 1.0);
    p.drawGlyphRun(QPointF(0, 0), font.glyphRun(win1250));
    p.restore();
}

int QPainterCanvas::textWidth(const QByteArray &win1250)
{
    return realised().textWidth(win1250);
}

int QPainterCanvas::textHeight(const QByteArray &)
{
    return realised().cellHeight();
}

void QPainterCanvas::moveTo(int x, int y)
{
    painter();
    m_position = QPoint(x, y);
}

void QPainterCanvas::lineTo(int x, int y)
{
    QPainter &p = painter();
    applyClip(p);
    p.setPen(m_qpen);
    p.drawLine(m_position, QPoint(x, y));
    m_position = QPoint(x, y);
}

void QPainterCanvas::drawLines(const QVector<QLine> &lines)
{
    if (lines.isEmpty())
        return;
    QPainter &p = painter();
    // One pen and one call for a whole frame row: the PDF gets one path, not one per stroke.
    applyClip(p);
    p.setPen(m_qpen);
    p.drawLines(lines);
    m_position = lines.constLast().p2();
}

void QPainterCanvas::rectangle(const QRect &rect)
{
    QPainter &p = painter();
    QPainterPath path;
    path.addRect(QRectF(rect.x(), rect.y(), rect.width(), rect.height()));
    paintPath(p, path);
}

void QPainterCanvas::polygon(const QPolygon &points)
{
    QPainter &p = painter();
    QPainterPath path;
    path.addPolygon(QPolygonF(points));
    path.closeSubpath();
    path.setFillRule(Qt::OddEvenFill);
    paintPath(p, path);
}

void QPainterCanvas::drawImage(const QRect &target, const QImage &image)
{
    QPainter &p = painter();
    applyClip(p);
    p.drawImage(target, image);
}

} // namespace ostrevo
