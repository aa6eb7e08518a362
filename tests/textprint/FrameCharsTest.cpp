#include "devices/RecordingCanvas.h"
#include "jobs/Charsets.h"
#include "textprint/FrameChars.h"
#include "textprint/Rounding.h"

#include <gtest/gtest.h>

#include <QSet>

using namespace ostrevo;

namespace {

LogFont CourierCell(int width, int height)
{
    LogFont font;
    font.width = width;
    font.height = height;
    return font;
}

// Where a figure's lines reach each edge of its cell: the rows on the left and right
// edges, the columns on the top and bottom edges.
struct Ports {
    QSet<int> left, right, top, bottom;
};

Ports PortsOf(unsigned char code, const FrameCell &cell)
{
    QVector<QLine> lines;
    AppendFrameLines(code, cell, QPoint(0, 0), 0, lines);
    Ports ports;
    for (const QLine &l : lines) {
        for (const QPoint &p : {l.p1(), l.p2()}) {
            const bool across = l.y1() == l.y2();
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

} // namespace

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour)
{
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(71.25), 71);
    EXPECT_EQ(RoundHalfEven(42.6), 43);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
    EXPECT_EQ(RoundHalfEven(-2.6), -3);
}

TEST(FrameCharTable, HoldsTheDosBoxCodesButNotThePolishLetters)
{
    QByteArray table;
    for (unsigned char code : FrameCharTable)
        table.append(char(code));
    EXPECT_EQ(Win1250ToUnicode(table),
              QStringLiteral("°±˛ł´µ¶·¸ąş»Ľţ˙żŔÁÂĂÄĹĆÇČÉĘËĚÍÎĎĐŃŇÓÔŐÖ×ŘŮÚŰÜÝŢß"));
    EXPECT_FALSE(IsFrameChar(0xBD)); // Ż
    EXPECT_FALSE(IsFrameChar(0xBE)); // ż
    EXPECT_FALSE(IsFrameChar('X'));
    int count = 0;
    for (int code = 0; code < 256; ++code)
        count += IsFrameChar(static_cast<unsigned char>(code));
    EXPECT_EQ(count, 48);
    // Every frame code prints as a blank, so the text after a frame keeps its column.
    EXPECT_EQ(Cp852PrintoutToWin1250(table), QByteArray(48, ' '));
}

TEST(FrameCell, LineWidthIsATenthOfAMillimetreAndStrokesSitThreeWidthsOffTheMiddle)
{
    const FrameCell cell = MakeFrameCell(60, 95, 600);
    EXPECT_EQ(cell.penWidth, 2);
    EXPECT_EQ(cell.xm, 30);
    EXPECT_EQ(cell.ym, 48); // 47.5 rounds to even
    EXPECT_EQ(cell.x1, 24);
    EXPECT_EQ(cell.x2, 36);
    EXPECT_EQ(cell.y1, 42);
    EXPECT_EQ(cell.y2, 54);
    EXPECT_EQ(MakeFrameCell(60, 95, 127).penWidth, 0);
    EXPECT_EQ(MakeFrameCell(60, 95, 128).penWidth, 1);
    EXPECT_EQ(MakeFrameCell(60, 95, 380).penWidth, 1);
    EXPECT_EQ(MakeFrameCell(60, 95, 381).penWidth, 2);
}

TEST(FrameFigures, EveryEdgeCarriesNothingOneMiddleStrokeOrTwoDoubleStrokes)
{
    // If a figure's lines stop short of an edge or land off the stroke positions, its
    // neighbours do not join it; every code is checked against the three shapes.
    const FrameCell cell = MakeFrameCell(60, 95, 600);
    const QSet<int> none, singleRow{cell.ym}, doubleRow{cell.y1, cell.y2};
    const QSet<int> singleCol{cell.xm}, doubleCol{cell.x1, cell.x2};
    for (unsigned char code : FrameCharTable) {
        const Ports p = PortsOf(code, cell);
        SCOPED_TRACE(testing::Message() << std::hex << int(code));
        for (const QSet<int> &rows : {p.left, p.right})
            EXPECT_TRUE(rows == none || rows == singleRow || rows == doubleRow);
        for (const QSet<int> &cols : {p.top, p.bottom})
            EXPECT_TRUE(cols == none || cols == singleCol || cols == doubleCol);
    }
}

TEST(FrameFigures, CornersTeesAndCrossingsReachTheEdgesTheyPointTo)
{
    const FrameCell c = MakeFrameCell(60, 95, 600);
    const QSet<int> none, s{c.ym}, d{c.y1, c.y2}, sc{c.xm}, dc{c.x1, c.x2};
    struct Expect {
        unsigned char code;
        QSet<int> left, right, top, bottom;
    };
    const Expect expected[] = {
        {0xDA, none, s, none, sc},  // ┌
        {0xBF, s, none, none, sc},  // ┐
        {0xC0, none, s, sc, none},  // └
        {0xD9, s, none, sc, none},  // ┘
        {0xC5, s, s, sc, sc},       // ┼
        {0xC9, none, d, none, dc},  // ╔
        {0xBB, d, none, none, dc},  // ╗
        {0xC8, none, d, dc, none},  // ╚
        {0xBC, d, none, dc, none},  // ╝
        {0xCE, d, d, dc, dc},       // ╬
        {0xCB, d, d, none, dc},     // ╦
        {0xD1, d, d, none, sc},     // ╤
        {0xC7, none, s, dc, dc},    // ╟
        {0xB5, d, none, sc, sc},    // ╡
        {0xFE, s, none, dc, none},  // ╜ from FE
        {0xFF, d, none, sc, none},  // ╛ from FF
        {0xB3, none, none, sc, sc}, // │
        {0xCD, d, d, none, none},   // ═
    };
    for (const Expect &e : expected) {
        SCOPED_TRACE(testing::Message() << std::hex << int(e.code));
        const Ports p = PortsOf(e.code, c);
        EXPECT_EQ(p.left, e.left);
        EXPECT_EQ(p.right, e.right);
        EXPECT_EQ(p.top, e.top);
        EXPECT_EQ(p.bottom, e.bottom);
    }
}

TEST(DrawFrameChars, DrawsEachSegmentInOneBatchWithPenAndMergedRules)
{
    RecordingCanvas canvas;
    canvas.setFont(CourierCell(60, 95));
    // ┌──┐ at (100, 200): the top rule is one line from the corner's middle to the other's.
    DrawFrameChars(canvas, QByteArray("\xDA\xC4\xC4\xBF"), QPoint(100, 200), 0, 600);
    EXPECT_EQ(canvas.drawLinesCalls, 1);
    EXPECT_EQ(canvas.pen().width, 2);
    QVector<QLine> drawn;
    for (const auto &l : canvas.lines) {
        drawn.append(l.line);
        EXPECT_EQ(l.penWidth, 2);
    }
    EXPECT_EQ(drawn.size(), 3);
    EXPECT_TRUE(drawn.contains(QLine(130, 248, 310, 248)));
    EXPECT_TRUE(drawn.contains(QLine(130, 248, 130, 295)));
    EXPECT_TRUE(drawn.contains(QLine(310, 248, 310, 295)));
}

TEST(DrawFrameChars, TextLettersShadesAndBlocksDrawNothing)
{
    RecordingCanvas canvas;
    canvas.setFont(CourierCell(60, 95));
    DrawFrameChars(canvas, QByteArray("Za\xBD\xBE\xB0\xB1\xB2\xDB\xDC\xDD\xDE\xDF"), QPoint(0, 0), 0, 600);
    EXPECT_EQ(canvas.drawLinesCalls, 0);
    EXPECT_TRUE(canvas.lines.isEmpty());
}

TEST(DrawFrameChars, CellsFollowTheirColumnAndDoubleHeightStretchesVerticals)
{
    RecordingCanvas canvas;
    canvas.setFont(CourierCell(60, 190));
    DrawFrameChars(canvas, QByteArray("ab\xB3"), QPoint(0, -69), 0, 600);
    ASSERT_EQ(canvas.lines.size(), 1);
    EXPECT_EQ(canvas.lines[0].line, QLine(150, -69, 150, 121));
}

TEST(DrawFrameChars, VerticalsReachTheNextLineWhenLinesStandApart)
{
    RecordingCanvas canvas;
    canvas.setFont(CourierCell(60, 95));
    // Rows 100 apart with cells 95 high: strokes to the bottom edge go on to the next row.
    DrawFrameChars(canvas, QByteArray("\xB3\xC2"), QPoint(0, 0), 0, 600, 100);
    DrawFrameChars(canvas, QByteArray("\xC0\xD9"), QPoint(0, 100), 0, 600, 100);
    QVector<QLine> drawn;
    for (const auto &l : canvas.lines)
        drawn.append(l.line);
    EXPECT_TRUE(drawn.contains(QLine(30, 0, 30, 100)));
    EXPECT_TRUE(drawn.contains(QLine(90, 48, 90, 100)));
    EXPECT_TRUE(drawn.contains(QLine(30, 100, 30, 148)));
    EXPECT_TRUE(drawn.contains(QLine(90, 100, 90, 148)));
    // Double height is taller than the line: the cell keeps its own height.
    canvas.lines.clear();
    canvas.setFont(CourierCell(60, 190));
    DrawFrameChars(canvas, QByteArray("\xB3"), QPoint(0, 0), 0, 600, 100);
    EXPECT_EQ(canvas.lines[0].line, QLine(30, 0, 30, 190));
}

TEST(DrawFrameChars, RotatedRuleRunsUpThePageFromTheSegmentStart)
{
    RecordingCanvas canvas;
    canvas.setFont(CourierCell(60, 95));
    DrawFrameChars(canvas, QByteArray(3, '\xC4'), QPoint(1000, 5000), 900, 600);
    ASSERT_EQ(canvas.lines.size(), 1);
    EXPECT_EQ(canvas.lines[0].line, QLine(1048, 4820, 1048, 5000));
    // A rotated vertical stroke becomes horizontal, leftwards of the text's top being up.
    canvas.lines.clear();
    DrawFrameChars(canvas, QByteArray("\xB3"), QPoint(1000, 5000), 900, 600);
    ASSERT_EQ(canvas.lines.size(), 1);
    EXPECT_EQ(canvas.lines[0].line, QLine(1000, 4970, 1095, 4970));
}
