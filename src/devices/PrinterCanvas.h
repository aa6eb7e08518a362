#pragma once

#include "devices/QPainterCanvas.h"

namespace ostrevo {

// The canvas TPrinter hands out, the same object for the printer's whole life. While no
// document runs it measures on its own and refuses to draw; while one runs it forwards
// to the document's canvas. Font, pen and brush carry over both ways.
class PrinterCanvas final : public Canvas {
public:
    PrinterCanvas();

    // `target` belongs to the document and must outlive the attachment.
    void attach(Canvas *target);
    // Forgets the document's canvas without touching it: it may already be gone.
    void detach();
    // Device resolution; it sizes fonts given in points (height 0, the neutral font).
    void setDpiY(int dpiY);
    // Neutral state: 8-point "MS Sans Serif", solid white brush, black pen 1 wide.
    void reset();

    void setFont(const LogFont &font) override;
    const LogFont &font() const override { return m_font; }
    void setPen(const CanvasPen &pen) override;
    const CanvasPen &pen() const override { return m_pen; }
    void setBrush(const CanvasBrush &brush) override;
    const CanvasBrush &brush() const override { return m_brush; }
    void setTextColor(const QColor &color) override;
    QColor textColor() const override { return m_textColor; }
    void setBackgroundMode(BackgroundMode mode) override;
    BackgroundMode backgroundMode() const override { return m_background; }
    void setClipRect(const QRect &rect) override;
    QRect clipRect() const override { return m_clip; }

    void textOut(int x, int y, const QByteArray &win1250) override { active().textOut(x, y, win1250); }
    int textWidth(const QByteArray &win1250) override { return active().textWidth(win1250); }
    int textHeight(const QByteArray &win1250) override { return active().textHeight(win1250); }

    void moveTo(int x, int y) override { active().moveTo(x, y); }
    void lineTo(int x, int y) override { active().lineTo(x, y); }
    void drawLines(const QVector<QLine> &lines) override { active().drawLines(lines); }
    void rectangle(const QRect &rect) override { active().rectangle(rect); }
    void polygon(const QPolygon &points) override { active().polygon(points); }
    void drawImage(const QRect &target, const QImage &image) override { active().drawImage(target, image); }

private:
    Canvas &active() { return m_target ? *m_target : m_idle; }
    void handOver(Canvas &to) const;

    QPainterCanvas m_idle;
    Canvas *m_target = nullptr;
    int m_dpiY = 600;
    LogFont m_font;
    CanvasPen m_pen;
    CanvasBrush m_brush;
    QColor m_textColor = Qt::black;
    BackgroundMode m_background = BackgroundMode::Transparent;
    QRect m_clip;
};

} // namespace ostrevo
