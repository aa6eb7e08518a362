#include "devices/PrinterCanvas.h"

namespace ostrevo {

PrinterCanvas::PrinterCanvas()
{
    reset();
}

void PrinterCanvas::handOver(Canvas &to) const
{
    to.setFont(m_font);
    to.setPen(m_pen);
    to.setBrush(m_brush);
    to.setTextColor(m_textColor);
    to.setBackgroundMode(m_background);
    to.setClipRect(m_clip);
}

void PrinterCanvas::attach(Canvas *target)
{
    m_target = target;
    if (m_target)
        handOver(*m_target);
}

void PrinterCanvas::detach()
{
    m_target = nullptr;
    handOver(m_idle);
}

void PrinterCanvas::setDpiY(int dpiY)
{
    m_dpiY = dpiY;
    m_idle.setDpiY(dpiY);
}

void PrinterCanvas::reset()
{
    LogFont neutral;
    neutral.faceName = QStringLiteral("MS Sans Serif");
    neutral.charSet = 1; // DEFAULT_CHARSET
    // 8 points at the device's resolution, given as an em height as GDI's point sizes are.
    neutral.height = -((8 * m_dpiY + 36) / 72);
    setFont(neutral);
    setBrush(CanvasBrush{Qt::white, BrushStyle::Solid});
    setPen(CanvasPen{1, Qt::black});
    setTextColor(Qt::black);
    setBackgroundMode(BackgroundMode::Transparent);
    setClipRect(QRect());
}

void PrinterCanvas::setFont(const LogFont &font)
{
    m_font = font;
    active().setFont(font);
}

void PrinterCanvas::setPen(const CanvasPen &pen)
{
    m_pen = pen;
    active().setPen(pen);
}

void PrinterCanvas::setBrush(const CanvasBrush &brush)
{
    m_brush = brush;
    active().setBrush(brush);
}

void PrinterCanvas::setTextColor(const QColor &color)
{
    m_textColor = color;
    active().setTextColor(color);
}

void PrinterCanvas::setBackgroundMode(BackgroundMode mode)
{
    m_background = mode;
    active().setBackgroundMode(mode);
}

void PrinterCanvas::setClipRect(const QRect &rect)
{
    m_clip = rect;
    active().setClipRect(rect);
}

} // namespace ostrevo
