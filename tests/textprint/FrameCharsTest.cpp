#include "devices/RecordingCanvas.h"
#include "jobs/Charsets.h"
#include "textprint/FrameChars.h"
#include "jobs/Rounding.h"

#include <gtest/gtest.h>

#include <QSet>

using namespace ostrevo;

namespace {

// Where a figure's lines reach its cell's edges: rows on the left and right, columns on
// the top and bottom.
struct Ports {
    QSet<int> left, right, top, bottom;
};

Ports PortsOf(unsigned char code, const FrameCell &cell)
{
    QVector<QLine> lines;
    AppendFrameLines(code, cell, QPoint(0, 0), 0, lines);
    Ports ports;
    for (const QLine &l : lines) {
        const bool across = l.y1() == l.y2();
        for (const QPoint &p : {l.p1(), l.p2()}) {
            if (across && p.x() == 0)
                ports.left.insert(p.y());
            if (across && p.x() == cell.w)
                ports.right.insert(p.y());
            if (!across && p.y() == 0)
                ports.top.insert(p.x());
            if (!across && p.y() == cell.h)
                ports.bottom.insert(p.x());
        }
    }
    return ports;
}

QVector<QLine> Drawn(const RecordingCanvas &canvas)
{
    QVector<QLine> lines;
    for (const auto &l : canvas.lines)
        lines.append(l.line);
    return lines;
}

RecordingCanvas CanvasWithCell(int width, int height)
{
    RecordingCanvas canvas;
    LogFont font;
    font.width = width;
    font.height = height;
    canvas.setFont(font);
    return canvas;
}

} // namespace

TEST(FrameChars, RoundingTableAndCellGeometry)
{
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(71.25), 71);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);

    QByteArray table;
    for (unsigned char code : FrameCharTable)
        table.append(char(code));
    EXPECT_EQ(Win1250ToUnicode(table), QStringLiteral("°±˛ł´µ¶·¸ąş»Ľţ˙żŔÁÂĂÄĹĆÇČÉĘËĚÍÎĎĐŃŇÓÔŐÖ×ŘŮÚŰÜÝŢß"));
    EXPECT_FALSE(IsFrameChar(0xBD) || IsFrameChar(0xBE)); // Ż and ż of CP852
    // Every frame code prints as a blank, so the text after a frame keeps its column.
    EXPECT_EQ(Cp852PrintoutToWin1250(table), QByteArray(48, ' '));

    // 600 dpi: p = 2, double strokes 6 from the middle; 47.5 rounds to 48.
    const FrameCell c = MakeFrameCell(60, 95, 600);
    EXPECT_EQ(QList<int>({c.penWidth, c.x1, c.xm, c.x2, c.y1, c.ym, c.y2}), QList<int>({2, 24, 30, 36, 42, 48, 54}));
    EXPECT_EQ(MakeFrameCell(60, 95, 127).penWidth, 0);
    EXPECT_EQ(MakeFrameCell(60, 95, 128).penWidth, 1);
    EXPECT_EQ(MakeFrameCell(60, 95, 381).penWidth, 2);
}

TEST(FrameChars, EveryFigureMeetsItsNeighboursAtTheStrokePositions)
{
    // A line stopping short of an edge, or off the stroke positions, would leave a gap to
    // the next cell: every edge carries nothing, the middle stroke, or both double strokes.
    const FrameCell c = MakeFrameCell(60, 95, 600);
    const QSet<int> none, s{c.ym}, d{c.y1, c.y2}, sc{c.xm}, dc{c.x1, c.x2};
    for (unsigned char code : FrameCharTable) {
        const Ports p = PortsOf(code, c);
        SCOPED_TRACE(testing::Message() << std::hex << int(code));
        for (const QSet<int> &rows : {p.left, p.right})
            EXPECT_TRUE(rows == none || rows == s || rows == d);
        for (const QSet<int> &cols : {p.top, p.bottom})
            EXPECT_TRUE(cols == none || cols == sc || cols == dc);
    }
    // And each points where its character points (left, right, top, bottom).
    const struct {
        unsigned char code;
        QSet<int> left, right, top, bottom;
    } expected[] = {
        {0xDA, none, s, none, sc}, {0xD9, s, none, sc, none}, {0xC5, s, s, sc, sc},   {0xC9, none, d, none, dc},
        {0xBC, d, none, dc, none}, {0xCE, d, d, dc, dc},      {0xD1, d, d, none, sc}, {0xC7, none, s, dc, dc},
        {0xB5, d, none, sc, sc},   {0xFE, s, none, dc, none}, {0xFF, d, none, sc, none}, {0xB0, none, none, none, none},
    };
    for (const auto &e : expected) {
        const Ports p = PortsOf(e.code, c);
        EXPECT_TRUE(p.left == e.left && p.right == e.right && p.top == e.top && p.bottom == e.bottom)
            << std::hex << int(e.code);
    }
}

TEST(FrameChars, SegmentGoesOutInOneBatchWithRulesMergedAndTheLinePen)
{
    RecordingCanvas canvas = CanvasWithCell(60, 95);
    // ┌──┐ at (100, 200): the top rule is one line from the corner's middle to the other's.
    DrawFrameChars(canvas, QByteArray("\xDA\xC4\xC4\xBF"), QPoint(100, 200), 0, 600);
    EXPECT_EQ(canvas.drawLinesCalls, 1);
    EXPECT_EQ(canvas.lines[0].penWidth, 2);
    EXPECT_EQ(Drawn(canvas), (QVector<QLine>{QLine(130, 248, 310, 248), QLine(130, 248, 130, 295),
                                             QLine(310, 248, 310, 295)}));
    // Letters, Ż and ż, shades and blocks draw nothing.
    canvas.lines.clear();
    DrawFrameChars(canvas, QByteArray("Za\xBD\xBE\xB0\xB1\xB2\xDB\xDC\xDD\xDE\xDF"), QPoint(0, 0), 0, 600);
    EXPECT_EQ(canvas.drawLinesCalls, 1);
    EXPECT_TRUE(canvas.lines.isEmpty());
}

TEST(FrameChars, VerticalsReachTheNextLineWhenLinesStandApart)
{
    // Rows 100 apart, cells 95 high: strokes to the bottom edge go on to the next row.
    RecordingCanvas canvas = CanvasWithCell(60, 95);
    DrawFrameChars(canvas, QByteArray("\xB3\xC2"), QPoint(0, 0), 0, 600, 100);
    DrawFrameChars(canvas, QByteArray("\xC0\xD9"), QPoint(0, 100), 0, 600, 100);
    const QVector<QLine> drawn = Drawn(canvas);
    for (const QLine &l : {QLine(30, 0, 30, 100), QLine(90, 48, 90, 100), QLine(30, 100, 30, 148), QLine(90, 100, 90, 148)})
        EXPECT_TRUE(drawn.contains(l)) << l.x1() << ',' << l.y1() << ' ' << l.x2() << ',' << l.y2();
    // A double-height cell is taller than the line and keeps its own height.
    RecordingCanvas tall = CanvasWithCell(60, 190);
    DrawFrameChars(tall, QByteArray("ab\xB3"), QPoint(0, -69), 0, 600, 100);
    EXPECT_EQ(Drawn(tall), QVector<QLine>{QLine(150, -69, 150, 121)});
}

TEST(FrameChars, RotatedFiguresTurnWithTheText)
{
    RecordingCanvas canvas = CanvasWithCell(60, 95);
    // A rule runs up the page from the segment's start; a vertical stroke lies across it.
    DrawFrameChars(canvas, QByteArray(3, '\xC4'), QPoint(1000, 5000), 900, 600);
    DrawFrameChars(canvas, QByteArray("\xB3"), QPoint(2000, 5000), 900, 600);
    EXPECT_EQ(Drawn(canvas), (QVector<QLine>{QLine(1048, 4820, 1048, 5000), QLine(2000, 4970, 2095, 4970)}));
}
