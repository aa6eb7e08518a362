// Our own PDF writer for the built-in printer, read back with poppler and ghostscript and
// set against the same drawing through QPdfWriter: pages, text where the QPainter path
// puts it, embedded fonts, Polish letters, and frames drawn as real lines.

#include "devices/BuiltinPdfPrinter.h"
#include "devices/DirectPdfDocument.h"
#include "devices/PrinterError.h"

#include <cerrno>
#include "devices/RealisedFontCache.h"
#include "support/FileSizeLimit.h"
#include "support/PdfTools.h"
#include "support/QPainterPdf.h"
#include "support/TestSupport.h"

#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

#include <sys/resource.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

using Drawing = std::function<void(Canvas &, int page)>;

LogFont Courier(int height, int width, int escapement = 0)
{
    LogFont font;
    font.height = height;
    font.width = width;
    font.escapement = escapement;
    return font;
}

DeviceMetrics Metrics(int orientation = 0)
{
    DeviceMode mode;
    mode.orientation = orientation;
    return BuiltinPdfPrinter().metrics(mode);
}

class DirectPdfWriterTest : public ::testing::Test {
protected:
    QString write(const QString &name, int pages, const Drawing &draw, int orientation = 0,
                  PdfFontSet::Embedding embedding = PdfFontSet::Embedding::Subsets)
    {
        const QString path = m_tmp.filePath(name);
        DirectPdfDocument document(path, Metrics(orientation), QStringLiteral("Tytuł ąę"), m_fonts, embedding);
        for (int page = 1; page <= pages; ++page) {
            if (page > 1)
                document.newPage();
            draw(*document.canvas(), page);
        }
        document.finish();
        return path;
    }

    // The same drawing through QPdfWriter and QPainter, as printers other than ours draw.
    QString writeWithQPainter(const QString &name, const Drawing &draw)
    {
        const QString path = m_tmp.filePath(name);
        QPainterPdf file(path, Metrics(), QStringLiteral("qt"));
        draw(*file.canvas(), 1);
        file.finish();
        return path;
    }

    // Page `page` rendered at `dpi` in shades of grey, as a PGM file.
    QString renderToFile(const QString &pdf, int page, int dpi, const QString &name = QStringLiteral("render"))
    {
        const QString prefix = m_tmp.filePath(name);
        const QString number = QString::number(page);
        RunTool(QStringLiteral("pdftoppm"), {QStringLiteral("-gray"), QStringLiteral("-r"), QString::number(dpi),
                                             QStringLiteral("-f"), number, QStringLiteral("-l"), number,
                                             QStringLiteral("-singlefile"), pdf, prefix});
        return prefix + QStringLiteral(".pgm");
    }

    QImage render(const QString &pdf, int page, int dpi) { return QImage(renderToFile(pdf, page, dpi)); }

    QTemporaryDir m_tmp;
    RealisedFontCache m_fonts;
};

void ExpectGhostscriptRendersEveryPage(const QString &pdf)
{
    QProcess gs;
    gs.setProcessChannelMode(QProcess::MergedChannels);
    gs.start(QStringLiteral("gs"), {QStringLiteral("-q"), QStringLiteral("-dBATCH"), QStringLiteral("-dNOPAUSE"),
                                    QStringLiteral("-o"), QStringLiteral("/dev/null"),
                                    QStringLiteral("-sDEVICE=nullpage"), pdf});
    ASSERT_TRUE(gs.waitForFinished(60000));
    const QString output = QString::fromUtf8(gs.readAll());
    EXPECT_EQ(gs.exitCode(), 0) << output.toStdString();
    EXPECT_FALSE(output.contains(QStringLiteral("rror"))) << output.toStdString();
}

// A device pixel of the printable area on a page rendered at `dpi`.
QPoint At(const DeviceMetrics &m, int x, int y, int dpi)
{
    return QPoint(qRound((m.offset.x() + x) * dpi / 600.0), qRound((m.offset.y() + y) * dpi / 600.0));
}

TEST_F(DirectPdfWriterTest, PagesAreA4InEitherOrientationAndGhostscriptRendersEveryOne)
{
    const auto numbered = [](Canvas &c, int page) {
        c.setFont(Courier(95, 60));
        c.textOut(0, 0, "Strona " + QByteArray::number(page));
    };
    const QString portrait = write(QStringLiteral("pionowo.pdf"), 3, numbered);
    const QString landscape = write(QStringLiteral("poziomo.pdf"), 2, numbered, 1);
    EXPECT_EQ(PdfPageCount(portrait), 3);
    EXPECT_EQ(PdfPageCount(landscape), 2);
    EXPECT_TRUE(PdfPageSize(portrait).startsWith(QStringLiteral("595 x 842"))) << PdfPageSize(portrait).toStdString();
    EXPECT_TRUE(PdfPageSize(portrait).contains(QStringLiteral("A4")));
    EXPECT_TRUE(PdfPageSize(landscape).startsWith(QStringLiteral("842 x 595"))) << PdfPageSize(landscape).toStdString();
    EXPECT_EQ(PdfText(portrait).count(QStringLiteral("Strona")), 3);
    EXPECT_TRUE(RunTool(QStringLiteral("pdfinfo"), {portrait}).contains(QStringLiteral(u"Tytuł ąę")));
    EXPECT_TRUE(ReadFile(portrait).contains("/FlateDecode"));

    for (const QString &pdf : {portrait, landscape})
        ExpectGhostscriptRendersEveryPage(pdf);
}

TEST_F(DirectPdfWriterTest, WordsStandWhereTheQPainterPathPutsThem)
{
    const Drawing draw = [](Canvas &c, int) {
        c.setFont(Courier(95, 60));
        c.textOut(0, 0, QByteArray(80, 'X'));
        c.textOut(600, 200, "  Kolumna  dwa  ");
        c.setFont(Courier(95, 59));
        c.textOut(0, 400, "Zw\xea\xbfona (szeroko\x9c\xe6 59)");
        LogFont bold = Courier(190, 60);
        bold.weight = 700;
        c.setFont(bold);
        c.textOut(1200, 600, "Pogrubiony");
        LogFont italic = Courier(95, 60);
        italic.italic = true;
        c.setFont(italic);
        c.textOut(2400, 900, "Kursywa\\(n)");
        c.setFont(Courier(95, 60, 900));
        c.textOut(4000, 6000, "W G\xd3R\xca STRONY");
    };
    const QList<PdfWord> direct = PdfWords(write(QStringLiteral("direct.pdf"), 1, draw));
    const QList<PdfWord> qt = PdfWords(writeWithQPainter(QStringLiteral("qt.pdf"), draw));
    ASSERT_EQ(direct.size(), qt.size());
    ASSERT_FALSE(direct.isEmpty());
    for (qsizetype i = 0; i < direct.size(); ++i) {
        SCOPED_TRACE(qt[i].text.toStdString());
        EXPECT_EQ(direct[i].text, qt[i].text);
        EXPECT_NEAR(direct[i].box.left(), qt[i].box.left(), 0.5);
        EXPECT_NEAR(direct[i].box.right(), qt[i].box.right(), 0.5);
        EXPECT_NEAR(direct[i].box.top(), qt[i].box.top(), 0.5);
        EXPECT_NEAR(direct[i].box.bottom(), qt[i].box.bottom(), 0.5);
    }
    // Whole-pixel advances: 80 cells of 60 pixels are exactly the printable width.
    EXPECT_EQ(direct[0].text, QString(80, u'X'));
    EXPECT_NEAR(direct[0].box.width(), Pt(4800), 0.01);
}

TEST_F(DirectPdfWriterTest, EmbedsOnlyTheFacesUsedAndGivesBackPolishLetters)
{
    const QString pdf = write(QStringLiteral("fonty.pdf"), 2, [](Canvas &c, int page) {
        c.setFont(Courier(95, 60));
        c.textOut(0, 0, "Za\xbf\xf3\xb3\xe6 g\xea\x9cl\xb9 ja\x9f\xf1");
        LogFont boldItalic = Courier(95, 60);
        boldItalic.weight = 700;
        boldItalic.italic = true;
        c.setFont(boldItalic);
        c.textOut(0, 200, page == 1 ? "\xa3\xf3\x64\x9f" : "\xaf\xd3\xa3\xc6 G\xca\x8cL\xa5");
        // Set, measured, but never drawn with ink: not embedded.
        LogFont bold = Courier(95, 60);
        bold.weight = 700;
        c.setFont(bold);
        EXPECT_EQ(c.textWidth("abc"), 180);
        c.textOut(0, 400, "    ");
    });
    const QString text = PdfText(pdf);
    EXPECT_TRUE(text.contains(QStringLiteral(u"Zażółć gęślą jaźń"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral(u"Łódź"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral(u"ŻÓŁĆ GĘŚLĄ"))) << text.toStdString();

    const QStringList rows = PdfFonts(pdf).split(u'\n', Qt::SkipEmptyParts).mid(2);
    ASSERT_EQ(rows.size(), 2) << PdfFonts(pdf).toStdString();
    // Subsets, named with a tag of six capitals.
    const QRegularExpression regular(QStringLiteral("^[A-Z]{6}\\+LiberationMono "));
    const QRegularExpression boldItalic(QStringLiteral("^[A-Z]{6}\\+LiberationMono-BoldItalic "));
    EXPECT_TRUE(rows[0].contains(regular)) << rows[0].toStdString();
    EXPECT_TRUE(rows[1].contains(boldItalic)) << rows[1].toStdString();
    for (const QString &row : rows) {
        // name, type, encoding, then emb sub uni.
        EXPECT_TRUE(row.contains(QStringLiteral("CID TrueType"))) << row.toStdString();
        EXPECT_TRUE(row.contains(QStringLiteral("Identity-H"))) << row.toStdString();
        EXPECT_TRUE(row.contains(QRegularExpression(QStringLiteral("yes\\s+yes\\s+yes")))) << row.toStdString();
    }
    // Each face once, whatever the number of pages.
    EXPECT_EQ(ReadFile(pdf).count("/FontFile2"), 2);
}

// Pixels that differ between two images, by ImageMagick's count.
QString DifferentPixels(const QString &a, const QString &b)
{
    QProcess compare;
    compare.setProcessChannelMode(QProcess::MergedChannels);
    compare.start(QStringLiteral("compare"), {QStringLiteral("-metric"), QStringLiteral("AE"), a, b,
                                              QStringLiteral("null:")});
    if (!compare.waitForFinished(60000))
        return QStringLiteral("compare did not finish");
    return QString::fromUtf8(compare.readAll()).trimmed();
}

TEST_F(DirectPdfWriterTest, FontsAreSubsetsThatDrawAsTheWholeFaces)
{
    // An invoice of two pages: frames, bold, italic and Polish letters, most of which are
    // composite glyphs built of a letter and an accent.
    const Drawing invoice = [](Canvas &c, int page) {
        c.setPen(CanvasPen{6, Qt::black});
        c.rectangle(QRect(0, 0, 4800, 1500));
        c.drawLines({QLine(0, 300, 4800, 300), QLine(2400, 300, 2400, 1500)});
        LogFont bold = Courier(190, 120);
        bold.weight = 700;
        c.setFont(bold);
        c.textOut(60, 40, "FAKTURA VAT nr " + QByteArray::number(page) + "/2026");
        c.setFont(Courier(95, 60));
        c.textOut(60, 400, "Sprzedawca: Przedsi\xea" "biorstwo \"\xaf" "URAW\" \x8cwi\xea" "tokrzyska 12");
        c.textOut(2460, 700, "Nabywca: Zak\xb3" "ad \x8cl\xb9ski, \x8f" "r\xf3" "dlana 5");
        LogFont italic = Courier(95, 60);
        italic.italic = true;
        c.setFont(italic);
        c.textOut(60, 1200, "Zap\xb3" "acono got\xf3wk\xb9: za\xbf\xf3\xb3\xe6 g\xea\x9cl\xb9 ja\x9f\xf1");
    };
    const QString subset = write(QStringLiteral("faktura.pdf"), 2, invoice);
    const QString whole =
        write(QStringLiteral("faktura-cala.pdf"), 2, invoice, 0, PdfFontSet::Embedding::WholeFaces);

    // Each whole face is over 60 KB compressed; the glyphs of an invoice are a few KB.
    EXPECT_LT(QFileInfo(subset).size(), 60 * 1024);
    EXPECT_GT(QFileInfo(whole).size(), 3 * QFileInfo(subset).size());

    const QStringList rows = PdfFonts(subset).split(u'\n', Qt::SkipEmptyParts).mid(2);
    ASSERT_EQ(rows.size(), 3) << PdfFonts(subset).toStdString();
    for (const QString &row : rows)
        EXPECT_TRUE(row.contains(QRegularExpression(QStringLiteral("^[A-Z]{6}\\+LiberationMono.* yes\\s+yes\\s+yes"))))
            << row.toStdString();

    const QString text = PdfText(subset);
    EXPECT_TRUE(text.contains(QStringLiteral(u"Przedsiębiorstwo \"ŻURAW\" Świętokrzyska"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral(u"Zakład Śląski, Źródlana"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral(u"gotówką: zażółć gęślą jaźń"))) << text.toStdString();
    ExpectGhostscriptRendersEveryPage(subset);

    for (int page = 1; page <= 2; ++page) {
        SCOPED_TRACE(page);
        const QString fromSubset = renderToFile(subset, page, 200, QStringLiteral("podzbior"));
        const QString fromWhole = renderToFile(whole, page, 200, QStringLiteral("calosc"));
        EXPECT_EQ(DifferentPixels(fromSubset, fromWhole).toStdString(), "0");
    }
}

TEST_F(DirectPdfWriterTest, AnyFaceFontconfigChoosesIsEmbeddedAsASubsetWithItsText)
{
    // Courier, Helvetica and Times resolve to the CFF faces of URW's base 35 (OpenType),
    // the others to Liberation's TrueType faces.
    struct Case {
        const char *face;
        const char *pdfType;
    };
    const Case cases[] = {
        {"Courier", "CID Type 0C"},        {"Helvetica", "CID Type 0C"},     {"Times", "CID Type 0C"},
        {"Courier New", "CID TrueType"},   {"Arial", "CID TrueType"},        {"Times New Roman", "CID TrueType"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.face);
        const Drawing draw = [&](Canvas &canvas, int) {
            for (int style = 0; style < 4; ++style) {
                LogFont font = Courier(95, 0);
                font.faceName = QString::fromLatin1(c.face);
                font.weight = style & 1 ? 700 : 400;
                font.italic = (style & 2) != 0;
                canvas.setFont(font);
                canvas.textOut(0, 200 * style, "Za\xbf\xf3\xb3\xe6 g\xea\x9cl\xb9 ja\x9f\xf1 (" + QByteArray::number(style) + ")");
            }
        };
        const QString name = QString::fromLatin1(c.face).remove(u' ');
        const QString subset = write(name + QStringLiteral(".pdf"), 1, draw);
        const QString whole = write(name + QStringLiteral("-cala.pdf"), 1, draw, 0, PdfFontSet::Embedding::WholeFaces);
        EXPECT_EQ(QpdfProblems(subset).toStdString(), "");
        EXPECT_EQ(QpdfProblems(whole).toStdString(), "");
        const QString text = PdfText(subset);
        EXPECT_EQ(text.count(QStringLiteral(u"Zażółć gęślą jaźń")), 4) << text.toStdString();
        const QStringList rows = PdfFonts(subset).split(u'\n', Qt::SkipEmptyParts).mid(2);
        EXPECT_EQ(rows.size(), 4) << PdfFonts(subset).toStdString();
        for (const QString &row : rows) {
            EXPECT_TRUE(row.contains(QRegularExpression(QStringLiteral("^[A-Z]{6}\\+")))) << row.toStdString();
            EXPECT_TRUE(row.contains(QString::fromLatin1(c.pdfType))) << row.toStdString();
            EXPECT_TRUE(row.contains(QRegularExpression(QStringLiteral("yes\\s+yes\\s+yes")))) << row.toStdString();
        }
        // The subsets keep every glyph at its id: they draw exactly as the whole faces.
        EXPECT_EQ(DifferentPixels(renderToFile(subset, 1, 150, QStringLiteral("podzbior")),
                                  renderToFile(whole, 1, 150, QStringLiteral("calosc")))
                      .toStdString(),
                  "0");
        EXPECT_LT(QFileInfo(subset).size(), QFileInfo(whole).size() / 2);
    }
}

TEST_F(DirectPdfWriterTest, FramesAreRealLinesOnTheRenderedPage)
{
    const DeviceMetrics m = Metrics();
    const QString pdf = write(QStringLiteral("ramki.pdf"), 1, [](Canvas &c, int) {
        c.setPen(CanvasPen{12, Qt::black});
        c.drawLines({QLine(600, 600, 3000, 600), QLine(600, 600, 600, 1800), QLine(3000, 600, 3000, 1800)});
        c.setPen(CanvasPen{0, Qt::black});
        c.moveTo(600, 1800);
        c.lineTo(3000, 1800);
        c.setPen(CanvasPen{6, Qt::black});
        c.setBrush(CanvasBrush{Qt::black, BrushStyle::Solid});
        c.rectangle(QRect(3600, 600, 600, 600));
        c.setBrush(CanvasBrush{Qt::white, BrushStyle::Clear});
        c.rectangle(QRect(3600, 1500, 600, 600));
        LogFont underlined = Courier(95, 60);
        underlined.underline = true;
        c.setFont(underlined);
        c.textOut(600, 3000, "pod  kre\x9cl");
    });
    const int dpi = 150;
    const QImage page = render(pdf, 1, dpi);
    ASSERT_FALSE(page.isNull());
    const auto ink = [&](int x, int y) { return qGray(page.pixel(At(m, x, y, dpi))) < 128; };
    EXPECT_TRUE(ink(1800, 600));  // top of the frame
    EXPECT_TRUE(ink(600, 1200));  // its left side
    EXPECT_TRUE(ink(3000, 1200)); // its right side
    EXPECT_FALSE(ink(1800, 1200)); // inside stays white
    // The thinnest pen still leaves a visible line.
    const QPoint bottom = At(m, 1800, 1800, dpi);
    EXPECT_LT(std::min({qGray(page.pixel(bottom)), qGray(page.pixel(bottom + QPoint(0, 1))),
                        qGray(page.pixel(bottom - QPoint(0, 1)))}), 160);
    EXPECT_TRUE(ink(3900, 900));   // filled with the brush
    EXPECT_TRUE(ink(3600, 1800));  // hollow: its outline
    EXPECT_FALSE(ink(3900, 1800)); // and nothing inside
    // The underline runs on under the blanks between the words.
    bool underlineUnderBlanks = false;
    for (int y = 3000 + 70; y < 3000 + 95 && !underlineUnderBlanks; y += 2)
        underlineUnderBlanks = ink(600 + 4 * 60 + 30, y);
    EXPECT_TRUE(underlineUnderBlanks);
}

// Images of each kind the writer stores: black and white, grey, colour.
QImage TestImage(int kind)
{
    QImage image(37, 23, kind == 0 ? QImage::Format_Mono : QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            if (kind == 0)
                image.setPixel(x, y, (x * 7 + y * 3) % 5 < 2 ? 1 : 0);
            else if (kind == 1)
                image.setPixel(x, y, qRgb((x * 11 + y * 5) % 256, (x * 11 + y * 5) % 256, (x * 11 + y * 5) % 256));
            else
                image.setPixel(x, y, qRgb(x * 7, y * 11, (x * y) % 256));
        }
    return image.convertToFormat(QImage::Format_RGB32);
}

TEST_F(DirectPdfWriterTest, ImagesAreStoredLosslesslyAsOneBitGreyOrColour)
{
    const QString pdf = write(QStringLiteral("obrazy.pdf"), 1, [](Canvas &c, int) {
        for (int kind = 0; kind < 3; ++kind)
            c.drawImage(QRect(600 + 600 * kind, 600, 37 * 8, 23 * 8), TestImage(kind));
        // The same image again is stored once.
        c.drawImage(QRect(600, 1200, 37, 23), TestImage(0));
    });
    const QString list = RunTool(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
    const QStringList rows = list.split(u'\n', Qt::SkipEmptyParts).mid(2);
    ASSERT_EQ(rows.size(), 4) << list.toStdString();
    // page num type width height color comp bpc enc ...
    EXPECT_TRUE(rows[0].contains(QRegularExpression(QStringLiteral("37\\s+23\\s+gray\\s+1\\s+1\\s+image")))) << rows[0].toStdString();
    EXPECT_TRUE(rows[1].contains(QRegularExpression(QStringLiteral("37\\s+23\\s+gray\\s+1\\s+8\\s+image")))) << rows[1].toStdString();
    EXPECT_TRUE(rows[2].contains(QRegularExpression(QStringLiteral("37\\s+23\\s+rgb\\s+3\\s+8\\s+image")))) << rows[2].toStdString();
    EXPECT_EQ(ReadFile(pdf).count("/Subtype /Image"), 3);
    const QString prefix = m_tmp.filePath(QStringLiteral("wyjete"));
    RunTool(QStringLiteral("pdfimages"), {QStringLiteral("-png"), pdf, prefix});
    for (int kind = 0; kind < 3; ++kind) {
        SCOPED_TRACE(kind);
        const QImage back = QImage(prefix + QStringLiteral("-00%1.png").arg(kind)).convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(back, TestImage(kind));
    }
}

// A drawing of the styles forms need, on either canvas, and what its rendered page shows.
struct StyleCase {
    const char *name;
    bool ours;
};

TEST_F(DirectPdfWriterTest, ColoursStylesClippingAndImagesShowOnBothCanvases)
{
    const Drawing draw = [](Canvas &c, int) {
        // Clipped: a black square of 1200 of which only the left-top 600 may show.
        c.setClipRect(QRect(600, 600, 600, 600));
        c.setPen(CanvasPen{1, Qt::black, PenStyle::Null});
        c.setBrush(CanvasBrush{Qt::black, BrushStyle::Solid});
        c.rectangle(QRect(600, 600, 1200, 1200));
        c.setClipRect(QRect());
        // A dashed line and a hatched square.
        c.setPen(CanvasPen{12, Qt::black, PenStyle::Dash});
        c.moveTo(600, 2400);
        c.lineTo(4200, 2400);
        c.setPen(CanvasPen{6, Qt::black});
        c.setBrush(CanvasBrush{Qt::black, BrushStyle::Horizontal});
        c.rectangle(QRect(2400, 600, 1200, 1200));
        // Red text; white opaque text over a black bar.
        LogFont big = Courier(400, 240);
        c.setFont(big);
        c.setTextColor(Qt::red);
        c.textOut(600, 3000, "MMMM");
        c.setPen(CanvasPen{1, Qt::black, PenStyle::Null});
        c.setBrush(CanvasBrush{Qt::black, BrushStyle::Solid});
        c.rectangle(QRect(600, 3600, 4000, 600));
        c.setBrush(CanvasBrush{Qt::white, BrushStyle::Solid});
        c.setBackgroundMode(BackgroundMode::Opaque);
        c.setTextColor(Qt::black);
        c.textOut(600, 3700, "....");
        c.setBackgroundMode(BackgroundMode::Transparent);
        c.textOut(2400, 3700, "....");
        // An image of 4 x 4 pixel blocks, half black.
        QImage image(2, 1, QImage::Format_RGB32);
        image.setPixel(0, 0, qRgb(0, 0, 0));
        image.setPixel(1, 0, qRgb(255, 255, 255));
        c.drawImage(QRect(600, 4800, 1200, 600), image);
    };
    const DeviceMetrics m = Metrics();
    for (const bool ours : {true, false}) {
        SCOPED_TRACE(ours ? "our writer" : "QPainter");
        const QString pdf = ours ? write(QStringLiteral("style.pdf"), 1, draw)
                                 : writeWithQPainter(QStringLiteral("style-qt.pdf"), draw);
        EXPECT_EQ(QpdfProblems(pdf).toStdString(), "");
        const int dpi = 100;
        const QString prefix = m_tmp.filePath(ours ? QStringLiteral("styl") : QStringLiteral("styl-qt"));
        RunTool(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-png"),
                                             QStringLiteral("-singlefile"), pdf, prefix});
        const QImage page(prefix + QStringLiteral(".png"));
        ASSERT_FALSE(page.isNull());
        const auto at = [&](int x, int y) { return page.pixel(At(m, x, y, dpi)); };
        const auto dark = [&](int x, int y) { return qGray(at(x, y)) < 100; };
        EXPECT_TRUE(dark(900, 900));    // inside the clip
        EXPECT_FALSE(dark(1500, 900));  // clipped away
        EXPECT_FALSE(dark(900, 1500));
        // Dashes: ink and gaps along the line.
        int inked = 0, blank = 0;
        for (int x = 600; x < 4200; x += 6)
            (dark(x, 2400) ? inked : blank)++;
        EXPECT_GT(inked, 100);
        EXPECT_GT(blank, 100);
        // The hatch: rows of ink a millimetre apart inside, its outline around.
        int hatchRows = 0;
        for (int y = 660; y < 1740; y += 2)
            hatchRows += dark(3000, y) && !dark(3000, y + 12) ? 1 : 0;
        EXPECT_GE(hatchRows, 15);
        EXPECT_TRUE(dark(2400, 1200));
        // Red text is red.
        int red = 0;
        for (int x = 600; x < 1560; x += 6)
            for (int y = 3000; y < 3400; y += 6) {
                const QRgb p = at(x, y);
                red += qRed(p) > 200 && qGreen(p) < 80 && qBlue(p) < 80 ? 1 : 0;
            }
        EXPECT_GT(red, 50);
        // Opaque text whitens its cells on the black bar; transparent text leaves it black.
        EXPECT_FALSE(dark(1000, 3750));
        EXPECT_TRUE(dark(2800, 3750));
        // The image: its black left half and white right half.
        EXPECT_TRUE(dark(900, 5100));
        EXPECT_FALSE(dark(1500, 5100));
    }
}

TEST_F(DirectPdfWriterTest, RotatedTextRunsUpThePage)
{
    const DeviceMetrics m = Metrics();
    const QString pdf = write(QStringLiteral("obrot.pdf"), 1, [](Canvas &c, int) {
        c.setFont(Courier(95, 60, 900));
        c.textOut(1000, 3000, "IIIIIIIIIIIIIIIIIIII");
    });
    const QList<PdfWord> words = PdfWords(pdf);
    ASSERT_EQ(words.size(), 1);
    // Twenty cells of 60 up from y = 3000, within the cell's 95 across from x = 1000.
    EXPECT_NEAR(words[0].box.bottom(), Pt(m.offset.y() + 3000), 0.5);
    EXPECT_NEAR(words[0].box.top(), Pt(m.offset.y() + 3000 - 1200), 0.5);
    EXPECT_GE(words[0].box.left(), Pt(m.offset.x() + 1000) - 0.5);
    EXPECT_LE(words[0].box.right(), Pt(m.offset.x() + 1095) + 0.5);
    // The ink is there too: the strokes of the I's cross the middle of the cell.
    const int dpi = 150;
    const QImage page = render(pdf, 1, dpi);
    int dark = 0;
    for (int y = 1850; y < 2950; y += 5)
        dark += qGray(page.pixel(At(m, 1040, y, dpi))) < 128 ? 1 : 0;
    EXPECT_GT(dark, 20);
}

TEST_F(DirectPdfWriterTest, UnwritableOrDroppedDocumentsLeaveNoFile)
{
    const QString missing = m_tmp.filePath(QStringLiteral("brak/plik.pdf"));
    try {
        DirectPdfDocument document(missing, Metrics(), QString(), m_fonts);
        FAIL() << "the document should not start";
    } catch (const OutputUnavailable &e) {
        EXPECT_TRUE(e.message().contains(missing)) << e.what();
    }
    const QString dropped = m_tmp.filePath(QStringLiteral("porzucony.pdf"));
    {
        DirectPdfDocument document(dropped, Metrics(), QString(), m_fonts);
        document.canvas()->textOut(0, 0, "tekst");
        document.newPage();
        document.discard();
    }
    EXPECT_FALSE(QFile::exists(dropped));
    {
        DirectPdfDocument document(dropped, Metrics(), QString(), m_fonts);
        document.canvas()->textOut(0, 0, "tekst");
        // Destroyed without finishing, as when a job fails half way.
    }
    EXPECT_FALSE(QFile::exists(dropped));
}

TEST_F(DirectPdfWriterTest, FailedWriteIsUnavailableOutputWithItsReasonAndLeavesNoFile)
{
    const QString path = m_tmp.filePath(QStringLiteral("pelny-dysk.pdf"));
    try {
        // About half the file, now that the font is a subset of a few glyphs.
        const FileSizeLimit limit(6000);
        DirectPdfDocument document(path, Metrics(), QString(), m_fonts);
        for (int page = 0; page < 20; ++page) {
            if (page > 0)
                document.newPage();
            document.canvas()->textOut(0, 0, "Strona z tekstem, kt\xf3ra nie zmie\x9ci si\xea na dysku");
        }
        document.finish();
        FAIL() << "the document should not be written";
    } catch (const OutputUnavailable &e) {
        // The reason of the write that failed, not what is left of it after the close.
        EXPECT_TRUE(e.message().contains(ErrnoText(EFBIG))) << e.what();
        EXPECT_TRUE(e.message().contains(path)) << e.what();
    }
    EXPECT_FALSE(QFile::exists(path));
}

} // namespace
