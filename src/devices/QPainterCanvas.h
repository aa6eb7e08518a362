#pragma once

#include "devices/Canvas.h"

#include "devices/RealisedFontCache.h"

#include <QPen>

class QPainter;
class QPainterPath;

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
    const CanvasBrush &brush() const override { return m_brush; }
    void setTextColor(const QColor &color) override { m_textColor = color; }
    QColor textColor() const override { return m_textColor; }
    void setBackgroundMode(BackgroundMode mode) override { m_background = mode; }
    BackgroundMode backgroundMode() const override { return m_background; }
    void setClipRect(const QRect &rect) override;
    QRect clipRect() const override { return m_clip; }

    void textOut(int x, int y, const QByteArray &win1250) override;
    int textWidth(const QByteArray &win1250) override;
    int textHeight(const QByteArray &win1250) override;

    void moveTo(int x, int y) override;
    void lineTo(int x, int y) override;
    void drawLines(const QVector<QLine> &lines) override;
    void rectangle(const QRect &rect) override;
    void polygon(const QPolygon &points) override;
    void drawImage(const QRect &target, const QImage &image) override;

private:
    QPainter &painter();
    const RealisedFont &realised();
    void applyClip(QPainter &p) const;
    void paintPath(QPainter &p, const QPainterPath &path);

    QPainter *m_painter = nullptr;
    LogFont m_font;
    CanvasPen m_pen;
    CanvasBrush m_brush;
    QColor m_textColor = Qt::black;
    BackgroundMode m_background = BackgroundMode::Transparent;
    QRect m_clip;
    QPen m_qpen;
    QPoint m_position;
    const RealisedFont *m_current = nullptr;
    RealisedFontCache m_fonts;
};

} // namespace ostrevo
