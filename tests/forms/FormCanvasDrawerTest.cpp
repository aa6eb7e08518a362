// Form pages drawn on a recording canvas of the built-in printer's size (600 dpi, 4800 x
// 6800 pixels): exact device coordinates of boxes, lines, text blocks, numbering and
// barcodes, read from real template and job files.

#include "devices/RecordingCanvas.h"
#include "devices/TAsBarcode.h"
#include "forms/FormCanvasDrawer.h"
#include "forms/FormJob.h"
#include "forms/FormSheets.h"
#include "forms/FormRig.h"

#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

class RecordingSheets final : public FormSheets {
public:
    void startPage(bool landscape) override
    {
        if (!orientations.isEmpty())
            recording.newPage();
        orientations.append(landscape);
    }
    Canvas &canvas() override { return recording; }
    DeviceMetrics metrics() override
    {
        DeviceMetrics m{4800, 6800, 600, 600, QSizeF(210, 297), {}};
        if (!orientations.isEmpty() && orientations.last()) {
            std::swap(m.width, m.height);
            m.physicalMm.transpose();
        }
        return m;
    }

    QList<bool> orientations;
    RecordingCanvas recording;
};

class FormCanvasDrawerTest : public ::testing::Test {
protected:
    // Draws the job over a one-page template whose page holds `templatePage`. MAXX 200
    // and MAXY 280 fit the printable area (203.2 x 287.9 mm), so the form keeps its true
    // size: 23.622 pixels per millimetre.
    void draw(const QList<QByteArray> &templatePage, const QList<QByteArray> &jobPage)
    {
        QList<QByteArray> form{"<PARAMETERS>", "PAGE=1", "<END>", "<PAGE1>", "MAXX=200", "MAXY=280"};
        form += templatePage;
        form += "<END>";
        m_rig.writeTemplate(form);
        QList<QByteArray> job{"<PAGE1>"};
        job += jobPage;
        job += "<END>";
        m_rig.writeJob(job);
        FormJob formJob(m_rig.context, m_rig.jobPath, FormBackground{m_rig.settings.ground, true});
        ASSERT_TRUE(formJob.prepare());
        FormCanvasDrawer drawer(m_sheets, m_barcode, m_rig.settings.ground);
        EXPECT_EQ(formJob.drawPages(drawer), 1);
    }

    const RecordingCanvas::Text *text(const QByteArray &bytes) const
    {
        for (const auto &t : m_sheets.recording.texts)
            if (t.text == bytes)
                return &t;
        ADD_FAILURE() << "no text " << bytes.constData();
        return nullptr;
    }

    FormRig m_rig;
    RecordingSheets m_sheets;
    TAsBarcode m_barcode;
};

// Box 1 from 10 to 50 mm across and 10 to 20 mm down: pixels 236..1181 by 236..472.
const QByteArray Box1 = "BX(1,10,10,50,20)";

} // namespace

TEST_F(FormCanvasDrawerTest, TextSitsInItsBoxAtTheTrueSizeWithTheLogicalFont)
{
    draw({Box1}, {"T_SIZE=400", "T_BOLD=1", "T_FONT=1", "T_COLOR=FF0000", "T1(1,1)", "Hello"});
    const auto *hello = text("Hello");
    ASSERT_TRUE(hello);
    EXPECT_EQ(hello->at, QPoint(236, 236));
    // 4 mm of cell height: trunc(400 x 23.622 / 100).
    EXPECT_EQ(hello->font.height, 94);
    EXPECT_EQ(hello->font.width, 0);
    EXPECT_EQ(hello->font.weight, 700);
    EXPECT_EQ(hello->font.charSet, 238);
    EXPECT_EQ(hello->font.faceName, QStringLiteral("Times New Roman"));
    EXPECT_EQ(hello->color, QColor(0, 0, 255)); // 0x00BBGGRR
    EXPECT_EQ(hello->background, BackgroundMode::Transparent);
    EXPECT_EQ(hello->clip, QRect(QPoint(236, 236), QPoint(1180, 471)));
}

TEST_F(FormCanvasDrawerTest, JustificationCentresTheWholeBlockOnItsFirstLine)
{
    // Cells of the recording canvas are half the font height wide: 47 / 2 = 23 pixels.
    draw({Box1}, {"T_JUST=5", "T1(1,2)", "ABC", "CDEF"});
    const auto *first = text("ABC");
    const auto *second = text("CDEF");
    ASSERT_TRUE(first && second);
    // Across: (945 - 69) / 2; down: (236 - 2 x 47) / 2, the block of two lines.
    EXPECT_EQ(first->at, QPoint(236 + 438, 236 + 71));
    // Each line centred on its own width, halves to even: 853 / 2 = 426.5 -> 426. The
    // next line one cell height further down.
    EXPECT_EQ(second->at, QPoint(236 + 426, 236 + 71 + 47));

    m_sheets.recording.texts.clear();
    draw({Box1}, {"T_JUST=9", "T_INTERLINE=150", "T1(1,2)", "AB", "."});
    const auto *bottom = text("AB");
    ASSERT_TRUE(bottom);
    // Right: 945 - 46; bottom: 236 - 47 x 2 x 1.5.
    EXPECT_EQ(bottom->at, QPoint(236 + 899, 236 + 95));
}

TEST_F(FormCanvasDrawerTest, SpacedTextGoesCharacterByCharacterAndAttributeLinesTakeEffectAtOnce)
{
    // 1 mm after every character: round(23.622) = 24 pixels.
    draw({Box1, "BX(2,10,30,50,40)"}, {"T_EXCHRSPC=100", "T_JUST=3", "T1(1,1)", "ABC", "T_EXCHRSPC=0", "T_JUST=1",
                                       "T1(2,3)", "first", "T_SIZE=300", "second"});
    QList<QPoint> letters;
    for (const auto &t : m_sheets.recording.texts)
        if (t.text.size() == 1)
            letters.append(t.at);
    // Right-aligned with the spacing counted: 945 - 69 - 2 x 24 = 828.
    EXPECT_EQ(letters, (QList<QPoint>{QPoint(1064, 236), QPoint(1111, 236), QPoint(1158, 236)}));

    const auto *first = text("first");
    const auto *second = text("second");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->at, QPoint(236, 708));
    EXPECT_EQ(first->font.height, 47);
    // The attribute line counts as a line of the block but takes no room; the step stays
    // that of the block's start.
    EXPECT_EQ(second->at, QPoint(236, 708 + 47));
    EXPECT_EQ(second->font.height, 70);
    EXPECT_EQ(m_sheets.recording.texts.size(), 5);
}

TEST_F(FormCanvasDrawerTest, NumberingFillsItsBoxesOverTheTextBackground)
{
    draw({"BX(1,10,10,20,20)", "BX(2,20,10,30,20)", "BX(3,30,10,40,20)"},
         {"T_BACKGROUND=00FFFF", "TNUM(1,3,7)"});
    const QList<QByteArray> expected{"7.", "8.", "9."};
    ASSERT_EQ(m_sheets.recording.texts.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const auto &t = m_sheets.recording.texts[i];
        EXPECT_EQ(t.text, expected[i]);
        // trunc(1000 x (i + 1) x 0.23622)
        EXPECT_EQ(t.at, QPoint(QList<int>{236, 472, 708}[i], 236));
        EXPECT_EQ(t.background, BackgroundMode::Opaque);
        EXPECT_TRUE(t.clip.isNull());
    }
    EXPECT_EQ(m_sheets.recording.brush().color, QColor(255, 255, 0));

    // Without the background option the cells stay white, whatever the form asks.
    m_rig.settings.ground = false;
    m_sheets.recording.texts.clear();
    draw({"BX(1,10,10,20,20)"}, {"T_BACKGROUND=00FFFF", "T_TEXTURE=1", "TNUM(1,1,1)"});
    ASSERT_EQ(m_sheets.recording.texts.size(), 1);
    EXPECT_EQ(m_sheets.recording.texts[0].background, BackgroundMode::Transparent);
    EXPECT_EQ(m_sheets.recording.brush().color, QColor(Qt::white));
}

TEST_F(FormCanvasDrawerTest, TextTurnsClockwiseByItsAngleInsideItsBox)
{
    // Box 1: pixels 236..1181 by 236..472. The cell's corner turns with the text: a
    // quarter turn starts at the top right corner, half a turn at the bottom right, three
    // quarters at the bottom left.
    draw({Box1}, {"T_ANGLE=90", "T1(1,1)", "DOWN", "T_ANGLE=180", "T1(1,1)", "BACK", "T_ANGLE=270", "T1(1,1)",
                  "UP", "T_ANGLE=360", "T1(1,1)", "FLAT"});
    EXPECT_EQ(text("DOWN")->font.escapement, 2700);
    EXPECT_EQ(text("DOWN")->at, QPoint(1181, 236));
    EXPECT_EQ(text("BACK")->font.escapement, 1800);
    EXPECT_EQ(text("BACK")->at, QPoint(1181, 472));
    EXPECT_EQ(text("UP")->font.escapement, 900);
    EXPECT_EQ(text("UP")->at, QPoint(236, 472));
    EXPECT_EQ(text("FLAT")->font.escapement, 0);
    EXPECT_EQ(text("FLAT")->at, QPoint(236, 236));

    // T_JUST 5 centres the text in the turned box: along its height, across its width.
    m_sheets.recording.texts.clear();
    draw({Box1}, {"T_ANGLE=90", "T_JUST=5", "T1(1,1)", "MID"});
    const auto *mid = text("MID");
    ASSERT_NE(mid, nullptr);
    const int w = m_sheets.recording.textWidth("MID"), h = m_sheets.recording.textHeight("MID");
    EXPECT_NEAR(mid->at.y(), 236 + (236 - w) / 2.0, 1);
    EXPECT_NEAR(mid->at.x(), 1181 - (945 - h) / 2.0, 1);
}

TEST_F(FormCanvasDrawerTest, LinesAndFramesTakeTheLineAttributes)
{
    draw({"L_TYPE=1", "L(10,10,60,10)", "B_FILL=0000FF", "B_TEXTURE=6", "L_TYPE=0", "B(5,10,150,60,170,1)",
          "L_TYPE=6", "B(6,10,150,60,170,0)"},
         {});
    const auto &lines = m_sheets.recording.lines;
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0].line, QLine(236, 236, 1417, 236));
    // L_THICKNESS 30: trunc(0.3 mm x 23.622).
    EXPECT_EQ(lines[0].penWidth, 7);
    EXPECT_EQ(lines[0].style, PenStyle::Dash);

    const auto &shapes = m_sheets.recording.shapes;
    ASSERT_EQ(shapes.size(), 2);
    // From corner to corner: (236, 3543) to (1417, 4016).
    EXPECT_EQ(m_sheets.recording.rectangles[0], QRect(236, 3543, 1181, 473));
    EXPECT_EQ(shapes[0].brush, (CanvasBrush{QColor(255, 0, 0), BrushStyle::Cross}));
    EXPECT_EQ(shapes[0].pen.style, PenStyle::Solid);
    // Inside the frame: the 7-pixel line kept within the corners.
    EXPECT_EQ(m_sheets.recording.rectangles[1], QRect(239, 3546, 1175, 467));
    EXPECT_EQ(shapes[1].brush.style, BrushStyle::Clear);
    EXPECT_EQ(shapes[1].pen.style, PenStyle::Solid);

    // The background option off: a filled box shows only its frame.
    m_rig.settings.ground = false;
    m_sheets.recording.shapes.clear();
    draw({"B_FILL=0000FF", "B(5,10,150,60,170,1)"}, {});
    ASSERT_EQ(shapes.size(), 1);
    EXPECT_EQ(shapes[0].brush.style, BrushStyle::Clear);
}

TEST_F(FormCanvasDrawerTest, FormLargerThanThePrintableAreaShrinksAlongThatAxisOnly)
{
    // 300 mm across do not fit 203.2 mm: 16 pixels per mm across, 23.622 down.
    m_rig.writeTemplate({"<PARAMETERS>", "<END>", "<PAGE1>", "MAXX=300", "MAXY=280", "BX(1,100,100,150,110)", "<END>"});
    m_rig.writeJob({"<PAGE1>", "T1(1,1)", "X", "L(0,0,300,280)", "<END>"});
    FormJob job(m_rig.context, m_rig.jobPath, FormBackground{});
    ASSERT_TRUE(job.prepare());
    FormCanvasDrawer drawer(m_sheets, m_barcode, true);
    job.drawPages(drawer);
    EXPECT_EQ(text("X")->at, QPoint(1600, 2362));
    ASSERT_EQ(m_sheets.recording.lines.size(), 1);
    EXPECT_EQ(m_sheets.recording.lines[0].line, QLine(0, 0, 4800, 6614));
}

TEST_F(FormCanvasDrawerTest, BarcodeFillsItsBoxFromTheLeftInModulesOfAHundredth)
{
    // Box 4: pixels 236..1417 by 2362..3070; Modul round(1181 / 100) = 12.
    draw({"BX(4,10,100,60,130)"}, {"K(4)", "5901234123457"});
    const auto &shapes = m_sheets.recording.shapes;
    ASSERT_EQ(shapes.size(), 59);
    EXPECT_EQ(shapes[0].points, QPolygon({QPoint(236, 2362), QPoint(236, 3070), QPoint(247, 3070), QPoint(247, 2362)}));
    EXPECT_EQ(shapes[58].points.boundingRect().right(), 236 + 95 * 12 - 1);

    // Padded, and turned with the text: T_ANGLE 90 turns it clockwise, running down from
    // the box's top right corner inside the box.
    m_sheets.recording.shapes.clear();
    draw({"BX(4,10,100,60,130)"}, {"T_ANGLE=90", "K(4,1,1,1,0,0)", "5901234123457"});
    ASSERT_EQ(shapes.size(), 59);
    // Paddings of 1 mm: pixels 259..1417 by 2385..3070. The turned box is 685 long, so
    // Modul round(6.85) = 7; the bars reach across all of its 1158 pixels' width.
    EXPECT_EQ(shapes[0].points.boundingRect(), QRect(QPoint(259, 2385), QPoint(1417, 2391)));
    EXPECT_EQ(shapes[58].points.boundingRect().bottom(), 2385 + 95 * 7 - 1);

    // Box 5: pixels 236..992, 756 wide. A hundredth rounds up to 8, and 95 modules of 8
    // would end at 995, past the box: the module is the most that fits, 7.
    m_sheets.recording.shapes.clear();
    draw({"BX(5,10,100,42,130)"}, {"K(5)", "5901234123457"});
    ASSERT_EQ(shapes.size(), 59);
    EXPECT_EQ(shapes[0].points.boundingRect().width(), 7);
    EXPECT_EQ(shapes[58].points.boundingRect().right(), 236 + 95 * 7 - 1);

    // Too narrow for even a pixel a module: nothing is drawn rather than bars past the box,
    // but the text is still checked.
    m_sheets.recording.shapes.clear();
    draw({"BX(6,10,100,13,130)"}, {"K(6)", "5901234123457"});
    EXPECT_TRUE(shapes.isEmpty());
    EXPECT_THROW(draw({"BX(6,10,100,13,130)"}, {"K(6)", "59O1234123457"}), BarcodeError);
}

TEST_F(FormCanvasDrawerTest, WideBarcodeBoxGrowsTheModulePastFortyNinePixels)
{
    // A landscape sheet, 6800 pixels across. Box 1 from 10 to 260 mm: pixels 236..6141,
    // 5905 wide, so a module of round(59.05) = 59 pixels, not the 1 pixel of a sliver.
    m_rig.writeTemplate({"<PARAMETERS>", "<END>", "<PAGE1>", "ORIENTATION=L", "MAXX=280", "MAXY=200",
                         "BX(1,10,20,260,60)", "<END>"});
    m_rig.writeJob({"<PAGE1>", "K(1)", "5901234123457", "<END>"});
    FormJob job(m_rig.context, m_rig.jobPath, FormBackground{});
    ASSERT_TRUE(job.prepare());
    FormCanvasDrawer drawer(m_sheets, m_barcode, true);
    job.drawPages(drawer);
    const auto &shapes = m_sheets.recording.shapes;
    ASSERT_EQ(shapes.size(), 59);
    EXPECT_EQ(shapes[0].points.boundingRect(), QRect(QPoint(236, 472), QPoint(236 + 59 - 1, 1417)));
    EXPECT_EQ(shapes[58].points.boundingRect().right(), 236 + 95 * 59 - 1);
    EXPECT_LE(shapes[58].points.boundingRect().right(), 6141);
    // The shared settings keep their own module.
    EXPECT_EQ(m_barcode.Modul(), 1);
}

TEST_F(FormCanvasDrawerTest, RejectedBarcodeTextStopsTheDrawing)
{
    m_rig.writeTemplate({"<PAGE1>", "BX(1,10,10,60,40)", "<END>"});
    m_rig.writeJob({"<PAGE1>", "K(1)", "59O1234123457", "T1(1,1)", "after", "<END>"});
    FormJob job(m_rig.context, m_rig.jobPath, FormBackground{});
    ASSERT_TRUE(job.prepare());
    FormCanvasDrawer drawer(m_sheets, m_barcode, true);
    try {
        job.drawPages(drawer);
        FAIL() << "no error";
    } catch (const BarcodeError &error) {
        // The component's own words, with the place and the user's words before them.
        EXPECT_TRUE(error.message().endsWith(QStringLiteral("(Barcode must be numeric)"))) << error.what();
        EXPECT_TRUE(error.message().contains(QStringLiteral("form.txt, wiersz 5: K(1): kod kreskowy \"59O1234123457\""))) << error.what();
    }
    EXPECT_TRUE(m_sheets.recording.shapes.isEmpty());
    EXPECT_TRUE(m_sheets.recording.texts.isEmpty());
}
