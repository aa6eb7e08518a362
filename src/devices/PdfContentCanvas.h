#pragma once

#include "devices/Canvas.h"
#include "devices/PdfFontSet.h"
#include "devices/PdfImageSet.h"

#include <QPointF>
#include <QSizeF>

namespace ostrevo {

class RealisedFont;
class RealisedFontCache;

// A canvas that writes PDF content operators (ISO 32000-1, 8 and 9) for one page at a
// time, in device pixels: one `cm` at the top of the page maps them to points. Fonts are
// realised and measured exactly as on the QPainter canvas; each textOut becomes one
// string shown with one Tj, its glyphs placed by the font's widths alone.
class PdfContentCanvas final : public Canvas {
public:
    // `sheetPt` is the page size in points, `offset` the printable area's top-left corner
    // on it in device pixels.
    PdfContentCanvas(PdfFontSet &fontSet, PdfImageSet &images, RealisedFontCache &fonts, int dpiX, int dpiY,
                     QSizeF sheetPt, QPointF offset);

    // The operators of the page so far; the next page starts empty.
    QByteArray takePage();

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
    // What the page's graphics state holds now, so operators go out only on a change.
    struct State {
        QRgb stroke = qRgb(0, 0, 0);
        QRgb fill = qRgb(0, 0, 0);
        int lineWidth = 1;
        QVector<int> dashes;
        const PdfFontSet::Font *font = nullptr;
    };

    void startPage();
    const RealisedFont &realised();
    void applyPen();
    void setFill(QRgb color);
    void flushPath();
    void point(int x, int y, const char *op);
    void decorationLine(QPointF from, QPointF to, qreal thickness);
    void applyClip();
    // Fills and strokes the closed path just appended as the brush and pen say.
    void paintPath(const QRect &bounds, const char *closeAndStroke, const char *fill, const char *fillAndStroke,
                   const char *clip);
    void appendRect(const QRect &rect);

    PdfFontSet &m_fontSet;
    PdfImageSet &m_images;
    int m_dpiY = 600;
    QColor m_textColor = Qt::black;
    BackgroundMode m_background = BackgroundMode::Transparent;
    QRect m_clip;
    State m_unclipped; // the state the clip's q saved, back after its Q
    RealisedFontCache &m_fonts;
    QByteArray m_pagePrologue;
    QByteArray m_content;
    State m_state;
    LogFont m_font;
    CanvasPen m_pen;
    CanvasBrush m_brush;
    const RealisedFont *m_current = nullptr;
    PdfFontSet::Font *m_pdfFont = nullptr;
    QPoint m_position;
    bool m_pathOpen = false;
    qsizetype m_pathStart = 0;
    QPoint m_pathEnd;
};

} // namespace ostrevo
