// Logical fonts as GDI realises them, checked on the canvas's own measurements and on the
// PDF that the built-in printer writes (pdftotext -bbox, pdffonts).

#include "support/PdfTools.h"
#include "devices/TPrinter.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

// Where the built-in printer's printable area starts on the A4 sheet, in points.
const double OffsetX = (210 / 25.4 * 600 - 4800) / 2 * 72 / 600;
const double OffsetY = (297 / 25.4 * 600 - 6800) / 2 * 72 / 600;

LogFont Courier(int height, int width = 0, int escapement = 0)
{
    LogFont font;
    font.height = height;
    font.width = width;
    font.escapement = escapement;
    return font;
}

class CanvasFontTest : public ::testing::Test {
protected:
    // Prints through `draw` and returns the words of the resulting PDF.
    template <typename Draw>
    QList<PdfWord> print(Draw draw)
    {
        TPrinter printer;
        printer.setBuiltinDirectory(m_tmp.path());
        printer.setDocumentName(QStringLiteral("test"));
        printer.beginDoc();
        draw(printer.canvas());
        printer.endDoc();
        m_pdf = m_tmp.path() + QStringLiteral("/test.pdf");
        return PdfWords(m_pdf);
    }

    const PdfWord *find(const QList<PdfWord> &words, const QString &text)
    {
        for (const PdfWord &w : words)
            if (w.text == text)
                return &w;
        ADD_FAILURE() << "no word " << text.toStdString();
        return nullptr;
    }

    QTemporaryDir m_tmp;
    QString m_pdf;
    TPrinter m_measure;
};

TEST_F(CanvasFontTest, CellHeightAndAverageWidthAreWhatWasAskedFor)
{
    Canvas &canvas = m_measure.canvas();
    canvas.setFont(Courier(95, 60));
    EXPECT_EQ(canvas.textHeight("X"), 95);
    EXPECT_EQ(canvas.textWidth("X"), 60);
    EXPECT_EQ(canvas.textWidth(QByteArray(80, 'X')), 4800);
    // Polish letters have the same advance in a fixed-pitch face.
    EXPECT_EQ(canvas.textWidth("\xb9\xea\xbf\x9f"), 240);
    // Forty million characters are wider than an int holds: the width stops at the most it
    // can say, never wraps round to a width that would seem to fit the page.
    EXPECT_EQ(canvas.textWidth(QByteArray(40'000'000, 'X')), std::numeric_limits<int>::max());

    // Narrowed by one unit, as the renderers' width fitting does.
    canvas.setFont(Courier(95, 59));
    EXPECT_EQ(canvas.textWidth(QByteArray(80, 'X')), 80 * 59);

    // Without a width the face keeps its own proportions: Courier New is 0.6 em wide and
    // its cell is 2320/2048 em high.
    canvas.setFont(Courier(95));
    EXPECT_EQ(canvas.textWidth("X"), 50);
    // A negative height is the em height.
    canvas.setFont(Courier(-100));
    EXPECT_EQ(canvas.textHeight("X"), 113);
    EXPECT_EQ(canvas.textWidth("X"), 60);
}

TEST_F(CanvasFontTest, TextSitsWithItsCellAtThePointAndHasTheMeasuredWidth)
{
    const auto words = print([](Canvas &c) {
        c.setFont(Courier(95, 60));
        c.textOut(0, 0, "XXXXXXXXXX");
        c.textOut(1200, 1000, "ABC");
    });
    const PdfWord *x = find(words, QStringLiteral("XXXXXXXXXX"));
    ASSERT_TRUE(x);
    EXPECT_NEAR(x->box.left(), OffsetX, 0.5);
    EXPECT_NEAR(x->box.width(), Pt(600), 0.5);
    // The glyphs' box lies within the cell.
    EXPECT_GE(x->box.top(), OffsetY - 0.5);
    EXPECT_LE(x->box.bottom(), OffsetY + Pt(95) + 0.5);
    EXPECT_GT(x->box.height(), Pt(95) * 0.7);

    const PdfWord *abc = find(words, QStringLiteral("ABC"));
    ASSERT_TRUE(abc);
    EXPECT_NEAR(abc->box.left(), OffsetX + Pt(1200), 0.5);
    EXPECT_NEAR(abc->box.width(), Pt(180), 0.5);
    EXPECT_NEAR(abc->box.top() - x->box.top(), Pt(1000), 0.5);

    EXPECT_TRUE(PdfFonts(m_pdf).contains(QStringLiteral("LiberationMono"))) << PdfFonts(m_pdf).toStdString();
}

TEST_F(CanvasFontTest, PolishLettersFromWindows1250Bytes)
{
    print([](Canvas &c) {
        c.setFont(Courier(95, 60));
        c.textOut(0, 0, "Za\xbf\xf3\xb3\xe6 g\xea\x9cl\xb9 ja\x9f\xf1");
        c.textOut(0, 100, "\xaf\xd3\xa3\xc6 G\xca\x8cL\xa5 JA\x8f\xd1");
        LogFont bold = Courier(95, 60);
        bold.weight = 700;
        bold.italic = true;
        c.setFont(bold);
        c.textOut(0, 200, "\xa3\xf3\x64\x9f");
    });
    const QString text = PdfText(m_pdf);
    EXPECT_TRUE(text.contains(QStringLiteral(u"Zażółć gęślą jaźń"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral(u"ŻÓŁĆ GĘŚLĄ JAŹŃ"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral(u"Łódź"))) << text.toStdString();
    EXPECT_TRUE(PdfFonts(m_pdf).contains(QStringLiteral("LiberationMono-BoldItalic"))) << PdfFonts(m_pdf).toStdString();
}

TEST_F(CanvasFontTest, Escapement900RunsUpThePageFromTheCellsBottomLeft)
{
    const auto words = print([](Canvas &c) {
        c.setFont(Courier(95, 60, 900));
        c.textOut(1000, 3000, "ABCDEFGH");
    });
    const PdfWord *w = find(words, QStringLiteral("ABCDEFGH"));
    ASSERT_TRUE(w);
    // Eight cells of 60 along -y from y = 3000, the cell's 95 across from x = 1000.
    EXPECT_NEAR(w->box.bottom(), OffsetY + Pt(3000), 0.5);
    EXPECT_NEAR(w->box.top(), OffsetY + Pt(3000 - 480), 0.5);
    EXPECT_GE(w->box.left(), OffsetX + Pt(1000) - 0.5);
    EXPECT_LE(w->box.right(), OffsetX + Pt(1095) + 0.5);
    EXPECT_GT(w->box.height(), 3 * w->box.width());
}

} // namespace
