#include "RecordingSurface.h"

#include <gtest/gtest.h>

using namespace ostrevo;
using ostrevo::test::RenderBench;

namespace {

QPoint At(const RecordingCanvas::Text &t)
{
    return t.at;
}

} // namespace

TEST(TextLineRenderer, WorkedExampleAt600Dpi)
{
    RenderBench b;
    EXPECT_EQ(b.state.lineHeight, 100);
    EXPECT_EQ(b.renderer.baseHeight(), 95);
    EXPECT_EQ(b.state.fontHeight, 95);
    EXPECT_EQ(b.state.charWidth, 60);
    EXPECT_EQ(b.surface.recorder.font().faceName, QStringLiteral("Courier New"));
    EXPECT_EQ(b.surface.recorder.font().charSet, 238);

    b.print({QByteArray("<1/8\">")});
    EXPECT_EQ(b.state.lineHeight, 75);
    EXPECT_EQ(b.renderer.baseHeight(), 71);
    EXPECT_EQ(b.state.fontHeight, 71);

    b.print({QByteArray("<2xH>")});
    EXPECT_EQ(b.state.fontHeight, 142);
    b.print({QByteArray("<1xH><SP+>")});
    EXPECT_EQ(b.state.fontHeight, 43);
}

TEST(TextLineRenderer, LinesAdvanceByTheLineHeightAndEmptyLinesStillCount)
{
    RenderBench b;
    b.print({QByteArray("first"), QByteArray(), QByteArray("third"), QByteArray("<1/8\">"), QByteArray("fifth"),
             QByteArray("sixth")});
    ASSERT_EQ(b.texts().size(), 4);
    EXPECT_EQ(At(b.texts()[0]), QPoint(0, 0));
    EXPECT_EQ(At(b.texts()[1]), QPoint(0, 200));
    // The spacing symbol's own line already advances by the new height.
    EXPECT_EQ(At(b.texts()[2]), QPoint(0, 375));
    EXPECT_EQ(At(b.texts()[3]), QPoint(0, 450));
    EXPECT_EQ(b.texts()[0].font.height, 95);
    EXPECT_EQ(b.texts()[2].font.height, 71);
}

TEST(TextLineRenderer, AttributesSwitchBetweenSegmentsOfOneLine)
{
    RenderBench b;
    b.print({QByteArray("ab<2xG>cd<1xG>e<_ON>f<_OFF><IT+>g<IT-><SO+>h<SO->i")});
    const auto &t = b.texts();
    ASSERT_EQ(t.size(), 7);
    EXPECT_EQ(t[0].text, QByteArray("ab"));
    EXPECT_EQ(t[0].font.weight, 400);
    EXPECT_EQ(At(t[1]), QPoint(120, 0));
    EXPECT_EQ(t[1].font.weight, 700);
    EXPECT_EQ(At(t[2]), QPoint(240, 0));
    EXPECT_EQ(t[2].font.weight, 400);
    EXPECT_TRUE(t[3].font.underline);
    EXPECT_TRUE(t[4].font.italic);
    EXPECT_FALSE(t[4].font.underline);
    EXPECT_TRUE(t[5].font.strikeOut);
    EXPECT_EQ(At(t[6]), QPoint(480, 0));
    EXPECT_FALSE(t[6].font.strikeOut || t[6].font.italic || t[6].font.underline);
}

TEST(TextLineRenderer, ColumnSymbolsNarrowTheFont)
{
    RenderBench b;
    b.print({QByteArray("a<Z132>b<Z160>c<Z96>d<Z80>e")});
    const auto &t = b.texts();
    ASSERT_EQ(t.size(), 5);
    EXPECT_EQ(t[1].font.width, 36); // 4800 / 132 = 36.4
    EXPECT_EQ(At(t[1]), QPoint(60, 0));
    EXPECT_EQ(t[2].font.width, 30);
    EXPECT_EQ(At(t[2]), QPoint(96, 0));
    EXPECT_EQ(t[3].font.width, 50);
    EXPECT_EQ(At(t[3]), QPoint(126, 0));
    EXPECT_EQ(t[4].font.width, 60);
    EXPECT_EQ(b.renderer.columns(), 80);
}

TEST(TextLineRenderer, DoubleHeightAndScriptsShiftThePositionAndComeBack)
{
    RenderBench b;
    // Double height: raised by round(95 * 0.73) = 69; superscript by round(95 * 0.06) = 6;
    // subscript lowered by round(95 * 0.4) = 38.
    b.print({QByteArray("a<2xH>b<1xH>c<SP+>d<SP->e<SB+>f<SB->g")});
    const auto &t = b.texts();
    ASSERT_EQ(t.size(), 7);
    EXPECT_EQ(At(t[1]), QPoint(60, -69));
    EXPECT_EQ(t[1].font.height, 190);
    EXPECT_EQ(At(t[2]), QPoint(120, 0));
    EXPECT_EQ(t[2].font.height, 95);
    EXPECT_EQ(At(t[3]), QPoint(180, -6));
    EXPECT_EQ(t[3].font.height, 57);
    EXPECT_EQ(At(t[4]), QPoint(240, 0));
    EXPECT_EQ(At(t[5]), QPoint(300, 38));
    EXPECT_EQ(At(t[6]), QPoint(360, 0));
    EXPECT_EQ(t[6].font.height, 95);
}

TEST(TextLineRenderer, ScriptInsideDoubleHeightUsesTheLargerScript)
{
    RenderBench b;
    b.print({QByteArray("<2xH>a<SP+>b<SP->c<1xH>")});
    const auto &t = b.texts();
    ASSERT_EQ(t.size(), 3);
    EXPECT_EQ(t[1].font.height, 114); // round(95 * 1.2)
    EXPECT_EQ(At(t[1]), QPoint(60, -69 - 11)); // round(190 * 0.06) = 11
    EXPECT_EQ(At(t[2]), QPoint(120, -69));
    EXPECT_EQ(t[2].font.height, 190);
}

TEST(TextLineRenderer, SavedSizeModeOutlivesTheJob)
{
    RenderBench b;
    b.print({QByteArray("<2xH><SP+>x")});
    // The next job ends a script it never began: it takes the mode the last job saved.
    b.renderer.startJob({4800, 6800, 600, 600});
    b.renderer.realiseFont();
    b.print({QByteArray("<SP->y")});
    ASSERT_EQ(b.texts().size(), 2);
    EXPECT_EQ(b.texts()[1].font.height, 190);
    EXPECT_EQ(At(b.texts()[1]), QPoint(0, 0)); // nothing to undo: no shift
    EXPECT_EQ(b.renderer.sizeMode(), SizeMode::DoubleHeight);
}

TEST(TextLineRenderer, SymbolsThatDiscardTheTextBeforeThem)
{
    RenderBench b;
    b.print({QByteArray("gone<Pion>kept"), QByteArray("gone<Mx>kept"), QByteArray("gone<DX+>kept"),
             QByteArray("gone<DX->kept")});
    const auto &t = b.texts();
    ASSERT_EQ(t.size(), 4);
    for (const auto &text : t)
        EXPECT_EQ(text.text, QByteArray("kept"));
    EXPECT_EQ(At(t[0]), QPoint(0, 0));
    EXPECT_EQ(At(t[1]), QPoint(0, 100)); // the segment is dropped, the position stays
}

TEST(TextLineRenderer, SpareSymbolAndTiesGoToTheLowerIndex)
{
    RenderBench b;
    b.symbols.PrinterSymbols[26] = QByteArray("~");
    b.print({QByteArray("gone~kept")});
    ASSERT_EQ(b.texts().size(), 1);
    EXPECT_EQ(b.texts()[0].text, QByteArray("kept"));

    // Both start at the same byte: index 6 (bold) wins over the spare one.
    b.symbols.PrinterSymbols[26] = QByteArray("<2x");
    b.print({QByteArray("a<2xG>b")});
    ASSERT_EQ(b.texts().size(), 3);
    EXPECT_EQ(b.texts()[2].text, QByteArray("b"));
    EXPECT_EQ(b.texts()[2].font.weight, 700);

    // An emptied entry never matches: its tag prints as text.
    b.symbols.PrinterSymbols[7].clear();
    b.print({QByteArray("c<1xG>d")});
    EXPECT_EQ(b.texts().last().text, QByteArray("c<1xG>d"));
}

TEST(TextLineRenderer, SpacingSymbolDoesNotMoveThePosition)
{
    RenderBench b;
    b.print({QByteArray("abc<1/8\">def")});
    ASSERT_EQ(b.texts().size(), 2);
    EXPECT_EQ(At(b.texts()[1]), QPoint(0, 0));
    EXPECT_EQ(b.texts()[1].font.height, 71);
}

TEST(TextLineRenderer, MarginTags)
{
    RenderBench b;
    b.print({QByteArray("<M10>abc"), QByteArray("next"), QByteArray("<Mab>x"), QByteArray("<M>y"),
             QByteArray("z<M-3>"), QByteArray("<M 2>w")});
    const auto &t = b.texts();
    ASSERT_EQ(t.size(), 6);
    EXPECT_EQ(t[0].text, QByteArray("abc"));
    EXPECT_EQ(At(t[0]), QPoint(600, 0));
    EXPECT_EQ(At(t[1]), QPoint(600, 100));
    EXPECT_EQ(t[2].text, QByteArray("<Mab>x"));
    EXPECT_EQ(t[3].text, QByteArray("<M>y"));
    EXPECT_EQ(t[4].text, QByteArray("z<M-3>"));
    // Blanks before the number are read as the legacy program read them.
    EXPECT_EQ(t[5].text, QByteArray("w"));
    EXPECT_EQ(At(t[5]), QPoint(120, 500));
}

TEST(TextLineRenderer, MarginOfTheFirstLineIsMeasuredInTheJobsOwnFont)
{
    RenderBench b;
    // A previous job left a narrow font on the canvas.
    LogFont narrow;
    narrow.width = 10;
    narrow.height = 20;
    b.surface.recorder.setFont(narrow);
    b.renderer.startJob({4800, 6800, 600, 600});
    b.renderer.realiseFont();
    b.print({QByteArray("<M2>a")});
    EXPECT_EQ(At(b.texts()[0]), QPoint(120, 0));
}

TEST(TextLineRenderer, PageFeedAtTheEndAtTheStartAndOnTheLastLine)
{
    RenderBench b;
    b.print({QByteArray("one<Nstr>"), QByteArray("two"), QByteArray("<Nstr>three"), QByteArray("last<Nstr>")});
    const auto &t = b.texts();
    ASSERT_EQ(t.size(), 4);
    EXPECT_EQ(t[0].page, 1);
    // After a feed at the end of a line the next line starts one line below the top.
    EXPECT_EQ(t[1].page, 2);
    EXPECT_EQ(At(t[1]), QPoint(0, 100));
    // A feed at the start lets the rest of the line print at the very top.
    EXPECT_EQ(t[2].page, 3);
    EXPECT_EQ(At(t[2]), QPoint(0, 0));
    // No empty page after a feed on the last line.
    EXPECT_EQ(t[3].page, 3);
    EXPECT_EQ(b.surface.recorder.page(), 3);
}

TEST(TextLineRenderer, FullPageOverflowsAlsoAfterTheLastLine)
{
    // 100 + 95 per line on 6800: lines at y = 0 .. 6700 fit, 68 lines per page.
    RenderBench fits;
    fits.print(QList<QByteArray>(67, QByteArray("x")));
    EXPECT_EQ(fits.surface.recorder.page(), 1);

    RenderBench full;
    full.print(QList<QByteArray>(68, QByteArray("x")));
    EXPECT_EQ(full.texts().last().page, 1);
    EXPECT_EQ(full.texts().last().at, QPoint(0, 6700));
    EXPECT_EQ(full.surface.recorder.page(), 2);

    RenderBench more;
    more.print(QList<QByteArray>(69, QByteArray("x")));
    EXPECT_EQ(more.texts().last().page, 2);
    EXPECT_EQ(more.texts().last().at, QPoint(0, 0));
}

TEST(TextLineRenderer, LandscapeRunsUpThePage)
{
    RenderBench b;
    b.print({QByteArray("<Poz>ab\xC4\xC4"), QByteArray("<M2>cd"), QByteArray("<Pion>ef")});
    const auto &t = b.texts();
    ASSERT_EQ(t.size(), 3);
    EXPECT_EQ(At(t[0]), QPoint(0, 6800));
    EXPECT_EQ(t[0].font.escapement, 900);
    EXPECT_EQ(t[0].text, QByteArray("ab"));
    EXPECT_EQ(At(t[1]), QPoint(100, 6800 - 120));
    EXPECT_EQ(At(t[2]), QPoint(0, 0));
    EXPECT_EQ(t[2].font.escapement, 0);
    // The rule turned with the text: a vertical line above the two letters.
    ASSERT_EQ(b.surface.recorder.lines.size(), 1);
    EXPECT_EQ(b.surface.recorder.lines[0].line, QLine(48, 6800 - 240, 48, 6800 - 120));
}

TEST(TextLineRenderer, FontIsNarrowedUntilTheColumnsFitTheDevice)
{
    RenderBench b;
    b.surface.recorder.extraCellWidth = 4; // the device draws every cell 4 wider
    b.renderer.startJob({4800, 6800, 600, 600});
    b.surface.recorder.fontsSet.clear();
    b.print({QByteArray("a")});
    QList<int> widths;
    for (const LogFont &f : b.surface.recorder.fontsSet)
        widths.append(f.width);
    // 60 -> 59 -> 57 -> 54: narrowed by 1, then 2, then 3.
    EXPECT_EQ(widths, (QList<int>{60, 59, 57, 54}));
    EXPECT_EQ(b.state.charWidth, 54);
    // The next symbol of rows 0-7 or 12-23 recomputes the width.
    b.print({QByteArray("<2xG>")});
    EXPECT_EQ(b.state.charWidth, 60);
}

TEST(TextLineRenderer, DeviceThatCannotNarrowEndsTheFitting)
{
    RenderBench b;
    b.surface.recorder.extraCellWidth = 5000;
    b.renderer.startJob({4800, 6800, 600, 600});
    b.print({QByteArray("a")});
    EXPECT_GE(b.state.charWidth, 1);
    EXPECT_EQ(b.texts().size(), 1);
}

TEST(TextLineRenderer, FramesAndTextOfALineGoOutInFewCalls)
{
    RenderBench b;
    // "║ Faktura VAT │ 12,50 zł ║" with the CP852 ł: one text and one batch of lines.
    const QByteArray line("\xBA Faktura VAT \xB3 12,50 z\x88 \xBA");
    b.print({line});
    ASSERT_EQ(b.texts().size(), 1);
    // Blanks at the ends leave no ink and are not sent: the text starts at column 2.
    EXPECT_EQ(b.texts()[0].text, QByteArray("Faktura VAT   12,50 z\xB3"));
    EXPECT_EQ(At(b.texts()[0]), QPoint(120, 0));
    EXPECT_EQ(b.surface.recorder.drawLinesCalls, 1);
    EXPECT_EQ(b.surface.recorder.lines.size(), 5);

    // A frame-only line outputs no text at all, unless its blanks are underlined.
    RenderBench rule;
    rule.print({QByteArray("\xC9") + QByteArray(78, '\xCD') + QByteArray("\xBB")});
    EXPECT_TRUE(rule.texts().isEmpty());
    EXPECT_EQ(rule.surface.recorder.drawLinesCalls, 1);
    rule.print({QByteArray("<_ON>  \xB3 x <_OFF>  y  ")});
    ASSERT_EQ(rule.texts().size(), 2);
    EXPECT_EQ(rule.texts()[0].text, QByteArray("    x "));
    EXPECT_EQ(At(rule.texts()[0]), QPoint(0, 100));
    EXPECT_EQ(rule.texts()[1].text, QByteArray("y"));
    EXPECT_EQ(At(rule.texts()[1]), QPoint(480, 100));
}

TEST(TextLineRenderer, AnyBytesAndEndlessLinesPrintWithoutHarm)
{
    RenderBench b;
    QByteArray every;
    for (int i = 0; i < 256; ++i)
        every.append(char(i));
    QByteArray huge(200000, 'x');
    for (int i = 1; i < huge.size(); i += 97)
        huge[i] = '\xC5';
    b.print({every, QByteArray("a\0b\x0c\x1b", 5), huge, QByteArray(5000, '<')});
    ASSERT_EQ(b.texts().size(), 4);
    EXPECT_EQ(b.texts()[1].text, QByteArray("a\0b\x0c\x1b", 5));
    EXPECT_EQ(b.texts()[2].text.size(), huge.size());
    EXPECT_EQ(b.surface.recorder.drawLinesCalls, 2);
}

TEST(TextLineRenderer, ManySymbolsOnOneLongLine)
{
    RenderBench b;
    QByteArray line;
    for (int i = 0; i < 20000; ++i)
        line += (i % 2) ? QByteArray("<2xG>a") : QByteArray("<1xG>b");
    b.print({line});
    EXPECT_EQ(b.texts().size(), 20000);
    EXPECT_EQ(b.texts().last().at, QPoint(19999 * 60, 0));
}
