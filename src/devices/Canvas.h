#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QLine>
#include <QPoint>
#include <QPolygon>
#include <QRect>
#include <QString>
#include <QVector>

namespace ostrevo {

// A logical font as GDI knows it: a positive height is the character cell height, a
// width is the average character width (0 = the face's own), escapement is the angle of
// the text in tenths of a degree (900 = running up the page).
struct LogFont {
    int height = 0;
    int width = 0;
    int escapement = 0;
    int orientation = 0;
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    int charSet = 238; // East European: text bytes are Windows-1250
    QString faceName = QStringLiteral("Courier New");

    bool operator==(const LogFont &) const = default;
};

// GDI's pen styles. Dashes are drawn in units of the pen's width, at least a hundredth
// of an inch, so that they show at printer resolutions: dash 4 on 2 off, dot 1 on 2 off.
enum class PenStyle { Solid, Dash, Dot, DashDot, DashDotDot, Null };

struct CanvasPen {
    int width = 1;
    QColor color = Qt::black;
    PenStyle style = PenStyle::Solid;
    bool operator==(const CanvasPen &) const = default;
};

// GDI's brush styles: solid, none (bsClear), and hatches of lines a millimetre apart.
enum class BrushStyle { Solid, Clear, Horizontal, Vertical, ForwardDiagonal, BackwardDiagonal, Cross, DiagonalCross };

struct CanvasBrush {
    QColor color = Qt::white;
    BrushStyle style = BrushStyle::Solid;
    bool operator==(const CanvasBrush &) const = default;
};

// Whether text first fills its cells with the brush's colour (as a VCL canvas does when
// its brush is not clear) or leaves what is under it.
enum class BackgroundMode { Transparent, Opaque };

// The bytes of a text that leave ink: [first, last) without the blanks at either end.
struct InkSpan {
    qsizetype first = 0;
    qsizetype last = 0;
    bool empty() const { return first >= last; }
};

inline InkSpan InkOf(const QByteArray &text)
{
    InkSpan span{0, text.size()};
    while (span.first < span.last && text[span.first] == ' ')
        ++span.first;
    while (span.last > span.first && text[span.last - 1] == ' ')
        --span.last;
    return span;
}

// The drawing surface of the renderers, in device pixels. Text is given as bytes in
// Windows-1250 (the canvas decodes it for the font), with its cell's top-left corner at
// the point given; under escapement 900 that corner is the cell's bottom-left on paper.
class Canvas {
public:
    virtual ~Canvas() = default;

    virtual void setFont(const LogFont &font) = 0;
    virtual const LogFont &font() const = 0;
    virtual void setPen(const CanvasPen &pen) = 0;
    virtual const CanvasPen &pen() const = 0;
    virtual void setBrush(const CanvasBrush &brush) = 0;
    virtual const CanvasBrush &brush() const = 0;
    virtual void setTextColor(const QColor &color) = 0;
    virtual QColor textColor() const = 0;
    virtual void setBackgroundMode(BackgroundMode mode) = 0;
    virtual BackgroundMode backgroundMode() const = 0;
    // Drawing stays inside `rect` from now on; a null rectangle ends the clipping.
    virtual void setClipRect(const QRect &rect) = 0;
    virtual QRect clipRect() const = 0;

    virtual void textOut(int x, int y, const QByteArray &win1250) = 0;
    // Extent of the text in the current font, unrotated: advance width and cell height.
    virtual int textWidth(const QByteArray &win1250) = 0;
    virtual int textHeight(const QByteArray &win1250) = 0;

    virtual void moveTo(int x, int y) = 0;
    virtual void lineTo(int x, int y) = 0;
    virtual void rectangle(const QRect &rect) = 0;
    virtual void polygon(const QPolygon &points) = 0;
    // The image scaled into `target`, stored losslessly where the device keeps images.
    virtual void drawImage(const QRect &target, const QImage &image) = 0;

    // Straight lines in the current pen, each from its first point to its second; a
    // device that can batch them should, since frames draw many short lines per text line.
    virtual void drawLines(const QVector<QLine> &lines)
    {
        for (const QLine &line : lines) {
            moveTo(line.x1(), line.y1());
            lineTo(line.x2(), line.y2());
        }
    }
};

} // namespace ostrevo
