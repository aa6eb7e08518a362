#pragma once

#include "devices/Canvas.h"

#include "devices/RealisedFontCache.h"

#include <QPen>

class QPainter;

namespace ostrevo {

class RealisedFont;

// The canvas of a printer over a QPainter in device pixels. Font, pen and brush can be
// set and text measured at any time; drawing needs an attached painter, which the printer
// attaches only while a document runs.
class QPainterCanvas final : public Canvas {
public:
    QPainterCanvas();
    ~QPainterCanvas() override;

    void attach(QPainter *painter);
    void detach() { attach(nullptr); }
    bool attached() const { return m_painter != nullptr; }
    // Device resolution; it sizes fonts given in points (height 0, the neutral font).
    void setDpiY(int dpiY);
    // Neutral state: 8-point "MS Sans Serif", solid white brush, black pen 1 wide.
    void reset();

    void setFont(const LogFont &font) override;
    const LogFont &font() const override { return m_font; }
    void setPen(const CanvasPen &pen) override;
    const CanvasPen &pen() const override { return m_pen; }
    void setBrush(const CanvasBrush &brush) override { m_brush = brush; }

    void textOut(int x, int y, const QByteArray &win1250) override;
    int textWidth(const QByteArray &win1250) override;
    int textHeight(const QByteArray &win1250) override;

    void moveTo(int x, int y) override;
    void lineTo(int x, int y) override;
    void drawLines(const QVector<QLine> &lines) override;
    void rectangle(const QRect &rect) override;
    void polygon(const QPolygon &points) override;

private:
    QPainter &painter();
    const RealisedFont &realised();
    void applyPenAndBrush(QPainter &p) const;

    QPainter *m_painter = nullptr;
    LogFont m_font;
    CanvasPen m_pen;
    CanvasBrush m_brush;
    QPen m_qpen;
    QPoint m_position;
    const RealisedFont *m_current = nullptr;
    RealisedFontCache m_fonts;
};

} // namespace ostrevo
