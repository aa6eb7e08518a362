// EAN-13 barcodes: the bars against the standard's code tables, the widths from Modul and
// Ratio, rotation on the recording canvas, the errors, and what a real reader makes of
// the rendered images.

#include "devices/QPainterCanvas.h"
#include "devices/RecordingCanvas.h"
#include "devices/TAsBarcode.h"
#include "support/BarcodeReader.h"

#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

// ISO/IEC 15420 (GS1 General Specifications 5.2.1.2.1): the three character sets as
// modules, 1 dark, 0 light.
const char *const SetA[10] = {"0001101", "0011001", "0010011", "0111101", "0100011",
                              "0110001", "0101111", "0111011", "0110111", "0001011"};
const char *const SetB[10] = {"0100111", "0110011", "0011011", "0100001", "0011101",
                              "0111001", "0000101", "0010001", "0001001", "0010111"};
const char *const SetC[10] = {"1110010", "1100110", "1101100", "1000010", "1011100",
                              "1001110", "1010000", "1000100", "1001000", "1110100"};
// The sets of the six left-half characters, by the leading digit (odd = A, even = B).
const char *const Parity[10] = {"OOOOOO", "OOEOEE", "OOEEOE", "OOEEEO", "OEOOEE",
                                "OEEOOE", "OEEEOO", "OEOEOE", "OEOEEO", "OEEOEO"};

QString ModulesFromStandard(const QString &digits)
{
    QString modules = QStringLiteral("101");
    const int first = digits[0].digitValue();
    for (int i = 1; i <= 6; ++i) {
        const int d = digits[i].digitValue();
        modules += QLatin1StringView(Parity[first][i - 1] == 'O' ? SetA[d] : SetB[d]);
    }
    modules += QStringLiteral("01010");
    for (int i = 7; i <= 12; ++i)
        modules += QLatin1StringView(SetC[digits[i].digitValue()]);
    return modules + QStringLiteral("101");
}

// A pattern at Ratio 2, where width class k is k + 1 modules.
QString ModulesOfPattern(const QByteArray &pattern)
{
    QString modules;
    for (char e : pattern) {
        const bool bar = e >= '5';
        const int count = (bar ? e - '5' : e - '0') + 1;
        modules += QString(count, bar ? u'1' : u'0');
    }
    return modules;
}

// Modules read off one image row, `ppm` pixels per module, dark below mid grey.
QString ModulesOfRow(const QImage &image, int y, int x0, int ppm, int count)
{
    QString modules;
    for (int m = 0; m < count; ++m) {
        // Every pixel of the module must agree: a bar one pixel too wide or narrow shows.
        const bool dark = qGray(image.pixel(x0 + m * ppm, y)) < 128;
        for (int k = 1; k < ppm; ++k)
            if ((qGray(image.pixel(x0 + m * ppm + k, y)) < 128) != dark)
                return QStringLiteral("module %1 not uniform").arg(m);
        modules += dark ? u'1' : u'0';
    }
    return modules;
}

int FirstDark(const QImage &image, int y)
{
    for (int x = 0; x < image.width(); ++x)
        if (qGray(image.pixel(x, y)) < 128)
            return x;
    return -1;
}

TAsBarcode Ean13(const QString &text)
{
    TAsBarcode barcode;
    barcode.setText(text);
    return barcode;
}

std::string ErrorOf(TAsBarcode &barcode)
{
    try {
        barcode.pattern();
    } catch (const BarcodeError &error) {
        return error.message().toStdString();
    }
    return "no error";
}

// The barcode drawn by DrawBarcode onto an image with a quiet zone around it.
QImage DrawnOnPaper(TAsBarcode &barcode, QSize paper)
{
    QImage image(paper, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QPainterCanvas canvas;
    canvas.attach(&painter);
    barcode.DrawBarcode(canvas);
    canvas.detach();
    return image;
}

} // namespace

TEST(TAsBarcodeTest, EveryDigitInEveryPlaceMatchesTheCodeTables)
{
    for (int first = 0; first <= 9; ++first) {
        for (int shift = 0; shift <= 9; ++shift) {
            QString digits = QString::number(first);
            for (int i = 0; i < 12; ++i)
                digits += QChar(u'0' + (shift + i) % 10);
            TAsBarcode barcode = Ean13(digits);
            ASSERT_EQ(ModulesOfPattern(barcode.pattern()), ModulesFromStandard(digits)) << digits.toStdString();
        }
    }
    // The element codes as written out: L, G and R of 0.
    TAsBarcode zeros = Ean13(QStringLiteral("0000000000000"));
    EXPECT_EQ(zeros.pattern().mid(3, 4), "2605");
    EXPECT_EQ(zeros.pattern().mid(32, 4), "7150");
    TAsBarcode one = Ean13(QStringLiteral("1000000000000"));
    EXPECT_EQ(one.pattern().mid(11, 4), "0517"); // digit 3 of a code beginning with 1 is even
}

TEST(TAsBarcodeTest, DigitsArePaddedButNeverChecked)
{
    // Twelve digits get a leading 0, which selects the all-odd left half.
    TAsBarcode twelve = Ean13(QStringLiteral("590123412345"));
    TAsBarcode padded = Ean13(QStringLiteral("0590123412345"));
    EXPECT_EQ(twelve.pattern(), padded.pattern());
    // A wrong check digit is drawn as it stands.
    TAsBarcode wrong = Ean13(QStringLiteral("5901234123450"));
    EXPECT_EQ(ModulesOfPattern(wrong.pattern()), ModulesFromStandard(QStringLiteral("5901234123450")));

    EXPECT_EQ(TAsBarcode::CheckDigitModulo10(QStringLiteral("590123412345")), 7);
    EXPECT_EQ(TAsBarcode::CheckDigitModulo10(QStringLiteral("400638133393")), 1);
    EXPECT_EQ(TAsBarcode::CheckDigitModulo10(QStringLiteral("000000000000")), 0);
    TAsBarcode withCheck = Ean13(QStringLiteral("590123412345"));
    withCheck.setChecksum(true);
    TAsBarcode complete = Ean13(QStringLiteral("5901234123457"));
    EXPECT_EQ(withCheck.pattern(), complete.pattern());
}

TEST(TAsBarcodeTest, TextsItCannotEncodeFailWithTheirMessages)
{
    TAsBarcode letter = Ean13(QStringLiteral("59012341234A7"));
    EXPECT_EQ(ErrorOf(letter), "Barcode must be numeric");
    TAsBarcode inner = Ean13(QStringLiteral("590 1234123457"));
    EXPECT_EQ(ErrorOf(inner), "Barcode must be numeric");
    TAsBarcode fourteen = Ean13(QStringLiteral("59012341234570"));
    EXPECT_EQ(ErrorOf(fourteen), "Invalid Text len (EAN13)");
    TAsBarcode checked = Ean13(QStringLiteral("5901234123457"));
    checked.setChecksum(true);
    EXPECT_EQ(ErrorOf(checked), "Invalid Text len (EAN13)");
    TAsBarcode type = Ean13(QStringLiteral("5901234123457"));
    type.setTyp(TBarcodeType(bcCodeEAN128C + 1));
    EXPECT_EQ(ErrorOf(type), "TAsBarcode: wrong BarcodeType");
    RecordingCanvas canvas;
    EXPECT_THROW(letter.DrawBarcode(canvas), BarcodeError);
    EXPECT_TRUE(canvas.shapes.isEmpty());

    // Blanks and control characters around the digits go, and stay gone.
    TAsBarcode blanks = Ean13(QStringLiteral(" \t5901234123457\r "));
    EXPECT_EQ(blanks.pattern(), Ean13(QStringLiteral("5901234123457")).pattern());
    EXPECT_EQ(blanks.Text(), QStringLiteral("5901234123457"));
}

TEST(TAsBarcodeTest, WidthsFollowModulAndRatio)
{
    TAsBarcode barcode = Ean13(QStringLiteral("5901234123457"));
    EXPECT_EQ(barcode.Width(), 95);
    barcode.setModul(9);
    EXPECT_EQ(barcode.Width(), 855);
    barcode.setModul(0); // a box narrower than 50 pixels
    EXPECT_EQ(barcode.Modul(), 9);
    barcode.setModul(50);
    EXPECT_EQ(barcode.Modul(), 9);
    // Wide elements of 4 modules would not fit 8 bits at this size.
    barcode.setModul(40);
    EXPECT_EQ(barcode.Width(), 95 * 40);

    // EAN-13 keeps Ratio within 2..3; at 2.5 the classes are 2, 5, 7 and 10 pixels.
    barcode.setModul(2);
    barcode.setRatio(1.2);
    EXPECT_EQ(barcode.Width(), 190);
    EXPECT_EQ(barcode.Ratio(), 2.0);
    barcode.setRatio(3.7);
    barcode.Width();
    EXPECT_EQ(barcode.Ratio(), 3.0);
    barcode.setRatio(2.5);
    int expected = 0;
    const int classes[4] = {2, 5, 7, 10};
    for (char e : barcode.pattern())
        expected += classes[e >= '5' ? e - '5' : e - '0'];
    EXPECT_EQ(barcode.Width(), expected);

    // Width written scales Modul down by whole steps.
    barcode.setRatio(2.0);
    barcode.setModul(10);
    barcode.setWidth(475);
    EXPECT_EQ(barcode.Modul(), 5);
}

TEST(TAsBarcodeTest, ChangesAreAnnouncedOnceAndAssignCopiesAllButTheFont)
{
    TAsBarcode barcode;
    int changes = 0;
    barcode.OnChange = [&changes] { ++changes; };
    barcode.setModul(3);
    barcode.setModul(3);
    barcode.setModul(60);
    barcode.setText(QStringLiteral("1"));
    barcode.setAngle(90);
    barcode.setAngle(90);
    EXPECT_EQ(changes, 3);
    barcode.setRatio(1.0);
    barcode.setText(QStringLiteral(" 1 "));
    changes = 0;
    barcode.pattern(); // the ratio raised and the text trimmed, each announced
    EXPECT_EQ(changes, 2);

    LogFont font;
    font.faceName = QStringLiteral("Arial");
    barcode.setShowTextFont(font);
    barcode.setColorBar(Qt::blue);
    TAsBarcode copy;
    copy.Assign(barcode);
    EXPECT_EQ(copy.Modul(), 3);
    EXPECT_EQ(copy.Angle(), 90);
    EXPECT_EQ(copy.ColorBar(), QColor(Qt::blue));
    EXPECT_EQ(copy.Text(), QStringLiteral("1"));
    EXPECT_EQ(copy.ShowTextFont().faceName, QStringLiteral("Courier New"));
    changes = 0;
    copy.setHeight(5);
    EXPECT_EQ(changes, 1); // the event came along
}

TEST(TAsBarcodeTest, DrawnUnrotatedAndTurnedOnTheCanvas)
{
    TAsBarcode barcode = Ean13(QStringLiteral("5901234123457"));
    barcode.setModul(2);
    barcode.setHeight(300);
    barcode.setLeft(100);
    barcode.setTop(50);
    RecordingCanvas canvas;
    const CanvasPen pen{7, Qt::red, PenStyle::Dash};
    const CanvasBrush brush{Qt::green, BrushStyle::Cross};
    canvas.setPen(pen);
    canvas.setBrush(brush);
    barcode.DrawBarcode(canvas);
    EXPECT_EQ(canvas.pen(), pen);
    EXPECT_EQ(canvas.brush(), brush);

    // Every bar and space of the pattern, spaces in white; the first bar at (Left, Top).
    ASSERT_EQ(canvas.shapes.size(), 59);
    const auto &bar = canvas.shapes[0];
    EXPECT_EQ(bar.points, QPolygon({QPoint(100, 50), QPoint(100, 350), QPoint(101, 350), QPoint(101, 50)}));
    EXPECT_EQ(bar.brush.color, QColor(Qt::black));
    EXPECT_EQ(bar.pen, (CanvasPen{1, Qt::black, PenStyle::Solid}));
    EXPECT_EQ(canvas.shapes[1].brush.color, QColor(Qt::white));
    EXPECT_EQ(canvas.shapes[58].points.boundingRect(), QRect(QPoint(288, 50), QPoint(289, 350)));

    // At 90 degrees the code runs up from (Left, Top + W) and the bars reach to the right.
    canvas.shapes.clear();
    barcode.setAngle(90);
    barcode.DrawBarcode(canvas);
    ASSERT_EQ(canvas.shapes.size(), 59);
    EXPECT_EQ(canvas.shapes[0].points.boundingRect(), QRect(QPoint(100, 240 - 1), QPoint(400, 240)));
    EXPECT_EQ(canvas.shapes[58].points.boundingRect(), QRect(QPoint(100, 51), QPoint(400, 52)));
    // At 270 it runs down from (Left + H, Top) with the bars reaching to the left.
    canvas.shapes.clear();
    barcode.setAngle(270);
    barcode.DrawBarcode(canvas);
    EXPECT_EQ(canvas.shapes[0].points.boundingRect(), QRect(QPoint(100, 50), QPoint(400, 51)));
    EXPECT_EQ(canvas.shapes[58].points.boundingRect(), QRect(QPoint(100, 238), QPoint(400, 239)));
}

TEST(TAsBarcodeTest, ImageHasExactModulesAndIsReadByZbar)
{
    TAsBarcode settings = Ean13(QStringLiteral("5901234123457"));
    const QImage image = RenderBarcodeImage(settings, 4, 200);
    ASSERT_EQ(image.size(), QSize(380, 200));
    const QString expected = ModulesFromStandard(QStringLiteral("5901234123457"));
    EXPECT_EQ(ModulesOfRow(image, 0, 0, 4, 95), expected);
    EXPECT_EQ(ModulesOfRow(image, 199, 0, 4, 95), expected);

    // A reader needs light margins: the image placed on paper, as on a page.
    QImage paper(image.width() + 160, image.height() + 80, QImage::Format_RGB32);
    paper.fill(Qt::white);
    QPainter(&paper).drawImage(80, 40, image);
    QTemporaryDir dir;
    EXPECT_EQ(DecodeEan13(paper, dir.path()), QStringList{QStringLiteral("5901234123457")});
}

TEST(TAsBarcodeTest, ReaderDecodesTheDrawingAtZeroAndNinetyDegrees)
{
    QTemporaryDir dir;
    TAsBarcode barcode = Ean13(QStringLiteral("4006381333931"));
    barcode.setModul(3);
    barcode.setHeight(150);
    barcode.setLeft(60);
    barcode.setTop(60);
    const QImage flat = DrawnOnPaper(barcode, QSize(420, 280));
    EXPECT_EQ(FirstDark(flat, 100), 60);
    EXPECT_EQ(ModulesOfRow(flat, 100, 60, 3, 95), ModulesFromStandard(QStringLiteral("4006381333931")));
    EXPECT_EQ(DecodeEan13(flat, dir.path()), QStringList{QStringLiteral("4006381333931")});

    barcode.setAngle(90);
    const QImage turned = DrawnOnPaper(barcode, QSize(280, 420));
    // Read bottom-up, the columns show the same modules.
    QImage upright = turned.transformed(QTransform().rotate(90));
    EXPECT_EQ(ModulesOfRow(upright, 100, FirstDark(upright, 100), 3, 95), ModulesFromStandard(QStringLiteral("4006381333931")));
    EXPECT_EQ(DecodeEan13(turned, dir.path()), QStringList{QStringLiteral("4006381333931")});

    // A rejected text leaves the paper white.
    barcode.setText(QStringLiteral("40063813339X1"));
    EXPECT_THROW(DrawnOnPaper(barcode, QSize(100, 100)), BarcodeError);
}
