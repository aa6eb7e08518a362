#pragma once

#include <QByteArray>
#include <QLine>
#include <QPoint>
#include <QRect>
#include <QVector>

#include <array>

namespace ostrevo {

class Canvas;

// The 48 DOS box-drawing codes, in table order: B0..BC, FE, FF, BF..DF. BD and BE are the
// CP852 letters Ż and ż; their code page 437 corners come from FE and FF instead.
extern const std::array<unsigned char, 48> FrameCharTable;

bool IsFrameChar(unsigned char code);

// The rounded positions inside one character cell of width W and height H.
struct FrameCell {
    int w = 0;
    int h = 0;
    int penWidth = 0; // p: a tenth of a millimetre
    int x1 = 0, xm = 0, x2 = 0;
    int y1 = 0, ym = 0, y2 = 0;
    // Where strokes to the bottom edge end: the cell's height, or the line height when the
    // lines stand further apart than the cell is high, so that rows of a table join.
    int bottom = 0;
};

FrameCell MakeFrameCell(int cellWidth, int cellHeight, int dpiY, int lineHeight = 0);

// Appends the device lines of one box-drawing code whose cell has its top-left corner at
// `corner`; under escapement 900 the figure turns with the text running up the page.
void AppendFrameLines(unsigned char code, const FrameCell &cell, QPoint corner, int escapement,
                      QVector<QLine> &out);

// Lines laid end to end on one row (or column) become one line: a rule across the page is
// then one stroke instead of one per character, with the same ink. Lines of other
// directions stay as they are; the order of the lines is not kept.
void MergeStraightLines(QVector<QLine> &lines);

// Draws the box-drawing characters of one unconverted segment that was output with its
// top-left corner at `origin`: the cell is measured on "X" in the canvas's font, the pen
// is set to p, and all lines of the segment go to the canvas in one batch. Cells that fall
// wholly outside `page` (when given) are left out.
void DrawFrameChars(Canvas &canvas, const QByteArray &segment, QPoint origin, int escapement, int dpiY,
                    int lineHeight = 0, const QRect &page = QRect());

} // namespace ostrevo
