#pragma once

#include "devices/Canvas.h"

#include <QByteArray>
#include <QLine>
#include <QVector>

namespace ostrevo {

// A canvas that draws nothing and remembers every call with its device coordinates, the
// font and pen in force and the page it fell on; the seam through which renderer tests
// check exact positions.
//
// Text is measured without any face: every byte is one cell of the font's width (half
// its height when the width is 0) plus `extraCellWidth`, and as high as the font's
// height. So "X" in a font of width 60 and height 95 measures 60 x 95 exactly.
class RecordingCanvas : public Canvas {
public:
    struct Text {
        QPoint at;
        QByteArray text; // Windows-1250, as given
        LogFont font;
        int page = 1;
        QColor color;
        BackgroundMode background = BackgroundMode::Transparent;
        QRect clip;
    };
    struct Line {
        QLine line;
        int penWidth = 0;
        int page = 1;
        PenStyle style = PenStyle::Solid;
        QRect clip;
    };
    struct Shape {
        QPolygon points; // a rectangle's four corners, clockwise from its top-left
        CanvasPen pen;
        CanvasBrush brush;
        QRect clip;
        int page = 1;
    };
    struct Image {
        QRect target;
        QImage image;
        QRect clip;
        int page = 1;
    };

    void setFont(const LogFont &font) override;
    const LogFont &font() const override { return m_font; }
    void setPen(const CanvasPen &pen) override { m_pen = pen; }
    const CanvasPen &pen() const override { return m_pen; }
    void setBrush(const CanvasBrush &brush) override { m_brush = brush; }
    const CanvasBrush &brush() const override { return m_brush; }
    void setTextColor(const QColor &color) override { m_textColor = color; }
    QColor textColor() const override { return m_textColor; }
    void setBackgroundMode(BackgroundMode mode) override { m_background = mode; }
    BackgroundMode backgroundMode() const override { return m_background; }
    void setClipRect(const QRect &rect) override { m_clip = rect; }
    QRect clipRect() const override { return m_clip; }

    void textOut(int x, int y, const QByteArray &win1250) override;
    int textWidth(const QByteArray &win1250) override;
    int textHeight(const QByteArray &win1250) override;

    void moveTo(int x, int y) override { m_position = QPoint(x, y); }
    void lineTo(int x, int y) override;
    void rectangle(const QRect &rect) override;
    void polygon(const QPolygon &points) override;
    void drawImage(const QRect &target, const QImage &image) override;
    void drawLines(const QVector<QLine> &lines) override;

    // Starts a new page: later calls are stamped with the next page number.
    void newPage() { ++m_page; }
    int page() const { return m_page; }

    // Makes every cell wider than the font asks, as a device that rounds widths up would.
    int extraCellWidth = 0;

    QVector<Text> texts;
    QVector<Line> lines;
    QVector<QRect> rectangles;
    QVector<QPolygon> polygons;
    QVector<Shape> shapes; // rectangles and polygons alike, with their pen and brush
    QVector<Image> images;
    QVector<LogFont> fontsSet;
    int drawLinesCalls = 0;

private:
    LogFont m_font;
    CanvasPen m_pen;
    CanvasBrush m_brush;
    QColor m_textColor = Qt::black;
    BackgroundMode m_background = BackgroundMode::Transparent;
    QRect m_clip;
    QPoint m_position;
    int m_page = 1;
};

} // namespace ostrevo
