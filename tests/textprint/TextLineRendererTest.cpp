#include "RecordingSurface.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace ostrevo;
using ostrevo::test::RenderBench;

namespace {

// What reached the canvas as text: bytes, position, and the font's height and width.
struct Seen {
    QByteArray text;
    int x, y, height = 0, width = 0, page = 1;
    bool operator==(const Seen &o) const
    {
        auto same = [](int a, int b) { return !a || !b || a == b; };
        return text == o.text && x == o.x && y == o.y && same(height, o.height) && same(width, o.width)
               && page == o.page;
    }
};

void PrintTo(const Seen &s, std::ostream *os)
{
    *os << '"' << s.text.constData() << "\" at " << s.x << ',' << s.y << " h" << s.height << " w" << s.width
        << " p" << s.page;
}

// The texts of a job of these lines; expected entries leave height and width 0 when they do not matter.
std::vector<Seen> Print(RenderBench &b, const QList<QByteArray> &lines)
{
    const qsizetype before = b.texts().size();
    b.print(lines);
    std::vector<Seen> seen;
    for (qsizetype i = before; i < b.texts().size(); ++i) {
        const auto &t = b.texts()[i];
        seen.push_back({t.text, t.at.x(), t.at.y(), t.font.height, t.font.width, t.page});
    }
    return seen;
}

std::vector<Seen> Print(const QList<QByteArray> &lines)
{
    RenderBench b;
    return Print(b, lines);
}

} // namespace

TEST(TextLineRenderer, WorkedExampleAt600Dpi)
{
    RenderBench b;
    EXPECT_EQ(b.state.lineHeight, 100);
    EXPECT_EQ(b.state.fontHeight, 95);
    EXPECT_EQ(b.state.charWidth, 60);
    EXPECT_EQ(b.surface.recorder.font().faceName, QStringLiteral("Courier New"));
    b.print({"<1/8\">"});
    EXPECT_EQ(b.state.lineHeight, 75);
    EXPECT_EQ(b.renderer.baseHeight(), 71);
    b.print({"<2xH>"});
    EXPECT_EQ(b.state.fontHeight, 142);
    b.print({"<1xH><SP+>"});
    EXPECT_EQ(b.state.fontHeight, 43);
}

TEST(TextLineRenderer, SegmentsAdvanceAndSymbolsChangeTheFont)
{
    // Lines 100 apart (an empty one too); a spacing symbol's line already moves by the new height.
    EXPECT_EQ(Print({"a", "", "b", "<1/8\">", "c"}),
              (std::vector<Seen>{{"a", 0, 0, 95}, {"b", 0, 200}, {"c", 0, 375, 71}}));
    // Text before a spacing symbol is drawn in place: what follows starts there too.
    EXPECT_EQ(Print({"abc<1/8\">def"}), (std::vector<Seen>{{"abc", 0, 0, 95}, {"def", 0, 0, 71}}));
    EXPECT_EQ(Print({"a<Z132>b<Z160>c<Z96>d<Z80>e"}),
              (std::vector<Seen>{{"a", 0, 0, 0, 60}, {"b", 60, 0, 0, 36}, {"c", 96, 0, 0, 30}, {"d", 126, 0, 0, 50},
                                 {"e", 176, 0, 0, 60}}));
    // Double height raises by round(95 * 0.73) = 69, superscript by round(95 * 0.06) = 6,
    // subscript lowers by round(95 * 0.4) = 38; each end undoes its shift.
    EXPECT_EQ(Print({"a<2xH>b<1xH>c<SP+>d<SP->e<SB+>f<SB->g"}),
              (std::vector<Seen>{{"a", 0, 0, 95}, {"b", 60, -69, 190}, {"c", 120, 0, 95}, {"d", 180, -6, 57},
                                 {"e", 240, 0, 95}, {"f", 300, 38, 57}, {"g", 360, 0, 95}}));
    // A script inside double height: round(95 * 1.2) high, raised by round(190 * 0.06).
    EXPECT_EQ(Print({"<2xH>a<SP+>b<SP->c<1xH>"}),
              (std::vector<Seen>{{"a", 0, -69, 190}, {"b", 60, -80, 114}, {"c", 120, -69, 190}}));

    RenderBench b;
    b.print({"a<2xG>b<1xG><_ON>c<_OFF><IT+>d<IT-><SO+>e<SO->f"});
    const auto &t = b.texts();
    ASSERT_EQ(t.size(), 6);
    EXPECT_EQ(t[0].font.weight, 400);
    EXPECT_EQ(t[1].font.weight, 700);
    EXPECT_TRUE(t[2].font.underline);
    EXPECT_TRUE(t[3].font.italic && !t[3].font.underline);
    EXPECT_TRUE(t[4].font.strikeOut && !t[4].font.italic);
    EXPECT_TRUE(!t[5].font.strikeOut && t[5].font.weight == 400);
    EXPECT_EQ(t[5].at, QPoint(300, 0));
}

TEST(TextLineRenderer, SymbolsThatDiscardTheTextBeforeThem)
{
    EXPECT_EQ(Print({"x<Pion>a", "x<Mx>b", "x<DX+>c", "x<DX->d"}),
              (std::vector<Seen>{{"a", 0, 0}, {"b", 0, 100}, {"c", 0, 200}, {"d", 0, 300}}));
    RenderBench b;
    b.symbols.PrinterSymbols[26] = "~";
    EXPECT_EQ(Print(b, {"gone~kept"}), (std::vector<Seen>{{"kept", 0, 0}}));
    // Both start at the same byte: bold (6) wins over the spare entry.
    b.symbols.PrinterSymbols[26] = "<2x";
    EXPECT_EQ(Print(b, {"a<2xG>b"}).back().text, QByteArray("b"));
    EXPECT_EQ(b.texts().last().font.weight, 700);
    // An emptied entry never matches: its tag prints as text.
    b.symbols.PrinterSymbols[7].clear();
    EXPECT_EQ(Print(b, {"c<1xG>d"}).back().text, QByteArray("c<1xG>d"));
}

TEST(TextLineRenderer, MarginTags)
{
    // "<M" with letters, nothing, a sign or trailing blanks is text; leading blanks are read.
    EXPECT_EQ(Print({"<M10>abc", "next", "<Mab>x", "<M>y", "z<M-3>", "<M 2>w"}),
              (std::vector<Seen>{{"abc", 600, 0}, {"next", 600, 100}, {"<Mab>x", 600, 200}, {"<M>y", 600, 300},
                                 {"z<M-3>", 600, 400}, {"w", 120, 500}}));
    // The first line's margin is measured in the job's font, not in what the last job left.
    RenderBench b;
    LogFont narrow;
    narrow.width = 10;
    b.surface.recorder.setFont(narrow);
    b.renderer.startJob({4800, 6800, 600, 600});
    b.renderer.realiseFont();
    EXPECT_EQ(Print(b, {"<M2>a"}).front().x, 120);
}

TEST(TextLineRenderer, PageFeedsAndFullPages)
{
    // A feed at the end of a line: the next line one line below the top; at the start:
    // the rest at the very top; on the last line: no empty page.
    RenderBench b;
    EXPECT_EQ(Print(b, {"one<Nstr>", "two", "<Nstr>three", "last<Nstr>"}),
              (std::vector<Seen>{{"one", 0, 0}, {"two", 0, 100, 0, 0, 2}, {"three", 0, 0, 0, 0, 3},
                                 {"last", 0, 100, 0, 0, 3}}));
    EXPECT_EQ(b.surface.recorder.page(), 3);
    // 68 lines of 100 with "X" 95 high fill 6800 exactly: the overflow test after the last
    // line starts an empty page; 67 lines do not.
    for (int lines : {67, 68, 69}) {
        RenderBench page;
        page.print(QList<QByteArray>(lines, "x"));
        EXPECT_EQ(page.surface.recorder.page(), lines == 67 ? 1 : 2) << lines;
    }
}

TEST(TextLineRenderer, LandscapeRunsUpThePage)
{
    RenderBench b;
    EXPECT_EQ(Print(b, {"<Poz>ab\xC4\xC4", "<M2>cd", "<Pion>ef"}),
              (std::vector<Seen>{{"ab", 0, 6800}, {"cd", 100, 6680}, {"ef", 0, 0}}));
    EXPECT_EQ(b.texts()[0].font.escapement, 900);
    EXPECT_EQ(b.texts()[2].font.escapement, 0);
    // The rule turned with the text: one line up the page after the two letters.
    ASSERT_EQ(b.surface.recorder.lines.size(), 1);
    EXPECT_EQ(b.surface.recorder.lines[0].line, QLine(48, 6560, 48, 6680));
}

TEST(TextLineRenderer, SavedScriptModeOutlivesTheJob)
{
    RenderBench b;
    b.print({"<2xH><SP+>x"});
    // The next job ends a script it never began: it takes the size mode the last job saved.
    b.renderer.startJob({4800, 6800, 600, 600});
    b.renderer.realiseFont();
    EXPECT_EQ(Print(b, {"<SP->y"}), (std::vector<Seen>{{"y", 0, 0, 190}}));
}

TEST(TextLineRenderer, FontIsNarrowedUntilTheColumnsFitTheDevice)
{
    RenderBench b;
    b.surface.recorder.extraCellWidth = 4; // the device draws every cell 4 wider
    b.renderer.startJob({4800, 6800, 600, 600});
    b.surface.recorder.fontsSet.clear();
    b.print({"a"});
    QList<int> widths;
    for (const LogFont &f : b.surface.recorder.fontsSet)
        widths.append(f.width);
    EXPECT_EQ(widths, (QList<int>{60, 59, 57, 54})); // by 1, then 2, then 3
    b.print({"<2xG>"});
    EXPECT_EQ(b.state.charWidth, 60); // recomputed by the next symbol

    // A device that never gets narrow enough ends the loop instead of spinning.
    b.surface.recorder.extraCellWidth = 5000;
    b.renderer.startJob({4800, 6800, 600, 600});
    b.print({"a"});
    EXPECT_GE(b.state.charWidth, 1);
}

TEST(TextLineRenderer, ALineGoesOutInOneTextAndOneBatchOfLines)
{
    // "║ Faktura │ 12,50 zł ║": blanks at the ends are not sent, the CP852 ł becomes Windows-1250.
    RenderBench b;
    EXPECT_EQ(Print(b, {"\xBA Faktura \xB3 12,50 z\x88 \xBA"}),
              (std::vector<Seen>{{"Faktura   12,50 z\xB3", 120, 0}}));
    EXPECT_EQ(b.surface.recorder.drawLinesCalls, 1);
    EXPECT_EQ(b.surface.recorder.lines.size(), 5);
    // A frame-only line sends no text; underlined blanks do leave ink and are sent.
    EXPECT_TRUE(Print(b, {"\xC9" + QByteArray(78, '\xCD') + "\xBB"}).empty());
    EXPECT_EQ(Print(b, {"<_ON>  \xB3 x <_OFF>  y  "}),
              (std::vector<Seen>{{"    x ", 0, 200}, {"y", 480, 200}}));
}

TEST(TextLineRenderer, AnyBytesAndEndlessLinesPrintWithoutHarm)
{
    QByteArray every;
    for (int i = 1; i < 256; ++i)
        every.append(char(i));
    QByteArray huge(200000, 'x');
    for (int i = 1; i < huge.size(); i += 97)
        huge[i] = '\xC5';
    QByteArray symbols;
    for (int i = 0; i < 20000; ++i)
        symbols += (i % 2) ? "<2xG>a" : "<1xG>b";
    RenderBench b;
    const auto seen = Print(b, {every, QByteArray("a\0b\x0c\x1b", 5), huge, symbols});
    // Only what reaches into the page goes out: 80 cells of each line.
    ASSERT_EQ(seen.size(), 3u + 80u);
    EXPECT_EQ(seen[1].text, QByteArray("a\0b\x0c\x1b", 5)); // control bytes print as bytes
    EXPECT_EQ(seen[2].text, huge.left(80).replace('\xC5', ' '));
    EXPECT_EQ(seen.back(), (Seen{"a", 79 * 60, 300}));
}

TEST(TextLineRenderer, RandomLinesOfSymbolsFramesAndBytesNeverBreakIt)
{
    // Lines spliced from symbols, margin tags, frames and arbitrary bytes, with a fixed seed.
    const QList<QByteArray> pieces = {"<1/6\">", "<1/8\">", "<Z132>", "<Z160>", "<2xG>", "<Nstr>", "<Poz>", "<Pion>",
                                      "<2xH>", "<1xH>", "<SP+>", "<SP->", "<SB+>", "<SB->", "<_ON>", "<M",
                                      "<M99999999>", "<M3>", ">", "\xC9\xCD\xBB", "\xB3", "\xC5\xC4", "\0", "zaż\xA2\x88"};
    QRandomGenerator random(852);
    RenderBench b;
    QList<QByteArray> lines;
    for (int i = 0; i < 3000; ++i) {
        QByteArray line;
        for (int n = random.bounded(12); n > 0; --n)
            line += random.bounded(4) ? pieces[random.bounded(pieces.size())] : QByteArray(1, char(random.bounded(256)));
        lines.append(line);
    }
    b.print(lines);
    for (const auto &t : b.texts()) {
        ASSERT_LE(std::abs(t.at.x()), 1 << 28);
        ASSERT_LE(std::abs(t.at.y()), 1 << 28);
        ASSERT_GT(t.font.height, 0);
        ASSERT_GT(t.font.width, 0);
    }
    EXPECT_LE(b.surface.recorder.page(), 3000);
}

TEST(TextLineRenderer, WhatFallsWhollyOutsideThePageNeverReachesTheCanvas)
{
    // A million box characters with words among them, on lines that run off the page to the
    // right, up the page when rotated, and past its foot: the canvas gets one page width.
    QByteArray endless = "Pocz\xa5tek ";
    for (int i = 0; i < 100000; ++i)
        endless += "\xc5\xb3\xc5 s\x88owo ";
    struct Case {
        const char *name;
        QList<QByteArray> lines;
    };
    QList<QByteArray> pastTheFoot(80, "x");
    pastTheFoot.append(endless);
    const Case cases[] = {
        {"across", {endless}},
        {"rotated", {"<Poz>" + endless}},
        {"margin past the page", {"<M900>" + endless}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        RenderBench b;
        b.print(c.lines);
        const RecordingCanvas &r = b.surface.recorder;
        const bool rotated = b.state.escapement == 900;
        const QRect page(0, 0, 4800, 6800);
        qint64 textBytes = 0;
        for (const auto &t : r.texts) {
            textBytes += t.text.size();
            const int along = 60 * int(t.text.size());
            const QRect box = rotated ? QRect(t.at.x(), t.at.y() - along, 95, along) : QRect(t.at.x(), t.at.y(), along, 95);
            EXPECT_TRUE(box.intersects(page)) << t.at.x() << ',' << t.at.y();
        }
        // 80 cells across, 113 up: a little more for the cells cut by the edge.
        EXPECT_LE(textBytes, 120);
        EXPECT_LE(r.lines.size(), 4 * 120);
        for (const auto &l : r.lines)
            EXPECT_TRUE(QRect(l.line.p1(), l.line.p2()).normalized().adjusted(-1, -1, 1, 1).intersects(page))
                << l.line.x1() << ',' << l.line.y1();
    }
    // The cells that do show are those of an ordinary line.
    RenderBench b;
    b.print({endless});
    ASSERT_FALSE(b.texts().isEmpty());
    EXPECT_TRUE(b.texts()[0].text.startsWith("Pocz\xb9tek     s\xb3owo")) << b.texts()[0].text.left(100).constData();
    EXPECT_LE(b.texts()[0].text.size(), 80);
    EXPECT_EQ(b.texts()[0].at, QPoint(0, 0));
}
