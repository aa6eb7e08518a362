#include "devices/QPainterCanvas.h"

#include "devices/PrinterError.h"
#include "devices/RealisedFont.h"

#include <QPainter>

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
    setBrush(CanvasBrush{Qt::white, true});
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
    m_qpen = QPen(pen.color, pen.width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
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

void QPainterCanvas::applyPenAndBrush(QPainter &p) const
{
    p.setPen(m_qpen);
    p.setBrush(m_brush.solid ? QBrush(m_brush.color) : QBrush(Qt::NoBrush));
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
    p.setPen(QPen(Qt::black));
    p.translate(x, y);
    if (m_font.escapement != 0)
        p.rotate(-m_font.escapement / 10.0);
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
    p.setPen(m_qpen);
    p.drawLines(lines);
    m_position = lines.constLast().p2();
}

void QPainterCanvas::rectangle(const QRect &rect)
{
    QPainter &p = painter();
    applyPenAndBrush(p);
    p.drawRect(QRectF(rect.x(), rect.y(), rect.width(), rect.height()));
}

void QPainterCanvas::polygon(const QPolygon &points)
{
    QPainter &p = painter();
    applyPenAndBrush(p);
    p.drawPolygon(points);
}

} // namespace ostrevo
