#include "escp/PrintStream.h"
#include "jobs/Errors.h"
#include "support/PdfPixels.h"
#include "support/PdfTools.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ostrevo {
namespace {

using namespace test;

template <size_t N>
QByteArray B(const char (&literal)[N])
{
    return QByteArray(literal, N - 1);
}

QByteArray Sample(const QString &name)
{
    QFile file(QStringLiteral(OSTREVO_TEST_DATA_DIR "/escp/") + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll();
}

// Where column `column` (at `cpi`) of the printer's line starts on the sheet, in points:
// the 8-inch line sits in the middle of the A4 sheet.
double ColumnX(int column, double cpi)
{
    return (1445.0 / 10800.0 + column / cpi) * 72.0;
}

class PrintStreamTest : public ::testing::Test {
protected:
    QString render(const QByteArray &stream, PrintStreamOptions options = {}, PrintStreamReport *report = nullptr)
    {
        const QString path = dir.filePath(QStringLiteral("out%1.pdf").arg(++m_count));
        const PrintStreamReport made = RenderPrintStream(stream, options, path);
        if (report)
            *report = made;
        ExpectSoundPdf(path);
        // A second reader besides qpdf: Ghostscript interprets every page without a word.
        QProcess gs;
        gs.start(QStringLiteral("gs"), {QStringLiteral("-q"), QStringLiteral("-dNODISPLAY"), QStringLiteral("-dBATCH"),
                                        QStringLiteral("-dNOPAUSE"), QStringLiteral("-dSAFER"), path});
        EXPECT_TRUE(gs.waitForFinished(60000));
        EXPECT_EQ(gs.exitCode(), 0);
        EXPECT_TRUE(gs.readAllStandardOutput().isEmpty() && gs.readAllStandardError().isEmpty()) << path.toStdString();
        return path;
    }

    QTemporaryDir dir;

private:
    int m_count = 0;
};

// A framed invoice as a DOS program prints it: bold heading, Polish letters in CP852,
// a condensed table in a double frame. The PDF holds the same text on the same grid.
TEST_F(PrintStreamTest, InvoiceTextOnTheCharacterGridWithJoinedFrames)
{
    QByteArray invoice = B("\x1b@\x1b" "EFaktura nr 12/2026\x1b" "F\r\n");
    invoice += B("Sprzedawca: Zak\x88" "ad \xbd\xa2\x88" "ty\r\n\x0f");
    invoice += B("\xc9\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcb\xcd\xcd\xcd\xcd\xcd\xcd\xbb\r\n");
    invoice += B("\xba" "Towar     \xba" "Cena  \xba\r\n");
    invoice += B("\xba" "Gw\xa2\xab" "d\xab    \xba" "  1,50\xba\r\n");
    invoice += B("\xc8\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xcd\xca\xcd\xcd\xcd\xcd\xcd\xcd\xbc\x12\r\n\x0c");
    PrintStreamReport report;
    const QString pdf = render(invoice, {}, &report);
    EXPECT_EQ(report.language, PrintLanguage::Escp);
    EXPECT_EQ(report.pages, 1);
    EXPECT_TRUE(report.unknownCommands.isEmpty()) << report.unknownCommands.join(u',').toStdString();
    EXPECT_EQ(PdfPageCount(pdf), 1);
    EXPECT_TRUE(PdfPageSize(pdf).contains(QStringLiteral("A4"))) << PdfPageSize(pdf).toStdString();
    const QString text = PdfText(pdf);
    EXPECT_TRUE(text.contains(QStringLiteral("Faktura nr 12/2026"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Zakład Żółty"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Gwóźdź"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("═"))) << "frames are lines, not text";

    const QList<PdfWord> words = PdfWords(pdf, 1);
    EXPECT_NEAR(WordNamed(words, QStringLiteral("Faktura")).box.left(), ColumnX(0, 10), 0.3);
    EXPECT_NEAR(WordNamed(words, QStringLiteral("Sprzedawca:")).box.left(), ColumnX(0, 10), 0.3);
    // Condensed: 17.14 characters to the inch; "Cena" stands in column 12 of the table.
    EXPECT_NEAR(WordNamed(words, QStringLiteral("Cena")).box.left(), ColumnX(12, 120.0 / 7), 0.3);
    EXPECT_NEAR(WordNamed(words, QStringLiteral("1,50")).box.right(), ColumnX(18, 120.0 / 7), 0.3);
    // Lines a sixth of an inch apart.
    EXPECT_NEAR(WordNamed(words, QStringLiteral("Sprzedawca:")).box.top() - WordNamed(words, QStringLiteral("Faktura")).box.top(),
                12.0, 0.2);

    // The double frame's left side runs unbroken from the top row to the bottom one.
    const int dpi = 150;
    const QImage page = RenderedPdfPage(pdf, 1, dpi);
    const int x = qRound(ColumnX(0, 120.0 / 7) * dpi / 72.0 + 0.3 * (7.0 / 120.0) * dpi);
    const int top = qRound(WordNamed(words, QStringLiteral("Towar")).box.top() * dpi / 72.0) - 10;
    const int bottom = qRound(WordNamed(words, QStringLiteral("Gwóźdź")).box.bottom() * dpi / 72.0) + 10;
    int dark = 0;
    for (int y = top; y <= bottom; ++y)
        for (int dx = -3; dx <= 3; ++dx)
            if (qGray(page.pixel(x + dx, y)) < 128) {
                ++dark;
                break;
            }
    EXPECT_EQ(dark, bottom - top + 1) << "the frame's side has gaps between rows";
}

TEST_F(PrintStreamTest, LanguagesAreToldByTheirFirstBytes)
{
    EXPECT_EQ(DetectPrintLanguage("\r\n%PDF-1.4\n"), PrintLanguage::Pdf);
    EXPECT_EQ(DetectPrintLanguage("%!PS-Adobe-3.0\n"), PrintLanguage::PostScript);
    EXPECT_EQ(DetectPrintLanguage("\x04%!PS\n"), PrintLanguage::PostScript);
    EXPECT_EQ(DetectPrintLanguage("\x1b%-12345X@PJL ENTER LANGUAGE = POSTSCRIPT\r\n%!PS"), PrintLanguage::PostScript);
    EXPECT_EQ(DetectPrintLanguage("\x1b%-12345X@PJL ENTER LANGUAGE=PCL\r\n\x1b" "E"), PrintLanguage::Pcl);
    EXPECT_EQ(DetectPrintLanguage("\x1b" "E\x1b&l1H\x1b&l26A"), PrintLanguage::Pcl);
    // ESC E is also ESC/P's bold: bold text first is no PCL job.
    EXPECT_EQ(DetectPrintLanguage("\x1b" "EFaktura\x1b" "F\r\n"), PrintLanguage::Escp);
    EXPECT_EQ(DetectPrintLanguage("\x1b" "E\x1b" "F"), PrintLanguage::Escp);
    EXPECT_EQ(DetectPrintLanguage("STATUS PAGE\n\xc9\xcd\xbb\n"), PrintLanguage::PlainText);
}

TEST_F(PrintStreamTest, OtherLanguagesGoThroughGhostscriptOrAsTheyAre)
{
    // A PDF the program printed is kept byte for byte.
    QFile made(render("made here\r\n"));
    ASSERT_TRUE(made.open(QIODevice::ReadOnly));
    const QByteArray pdfBytes = made.readAll();
    const QString copy = dir.filePath(QStringLiteral("copy.pdf"));
    EXPECT_EQ(RenderPrintStream(pdfBytes, {}, copy).language, PrintLanguage::Pdf);
    QFile copied(copy);
    ASSERT_TRUE(copied.open(QIODevice::ReadOnly));
    EXPECT_EQ(copied.readAll(), pdfBytes);

    const QByteArray postScript("%!PS-Adobe-3.0\n/Courier findfont 12 scalefont setfont\n72 720 moveto (Hello from PostScript) show\nshowpage\n");
    PrintStreamReport report;
    const QString ps = render(postScript, {}, &report);
    EXPECT_EQ(report.language, PrintLanguage::PostScript);
    EXPECT_TRUE(PdfText(ps).contains(QStringLiteral("Hello from PostScript")));

    // Broken PostScript fails with Ghostscript's reason and leaves no file behind.
    const QString broken = dir.filePath(QStringLiteral("broken.pdf"));
    EXPECT_THROW(RenderPrintStream("%!PS\n(unclosed show\n", {}, broken), JobError);
    EXPECT_FALSE(QFile::exists(broken));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral(".part")).size(), 0);
}

TEST_F(PrintStreamTest, PlainTextTakesThePitchItsWidestLineNeeds)
{
    const QByteArray wide = QByteArray("Lp.") + QByteArray(120, '.') + QByteArray("KONIEC\r\n") + "druga linia\r\n";
    const QString pdf = render(wide);
    const QStringList lines = PdfText(pdf, PdfTextLayout::Physical).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines[0].trimmed().endsWith(QStringLiteral("KONIEC"))) << "the 129-column line wrapped";
    EXPECT_NEAR(WordNamed(PdfWords(pdf, 1), QStringLiteral("druga")).box.width(), 5 * 72.0 * 7 / 120, 0.3);
}

TEST_F(PrintStreamTest, CodePagesChosenOrGuessed)
{
    const QByteArray mazovia = B("Za\xa7\xa2\x92\x8d g\x91\x9el\x86 ja\xa6\xa4\r\n");
    PrintStreamOptions options;
    options.codePage = QStringLiteral("auto");
    PrintStreamReport report;
    const QString pdf = render(mazovia, options, &report);
    EXPECT_EQ(report.codePage, QStringLiteral("Mazowia"));
    EXPECT_TRUE(report.codePageGuessed);
    EXPECT_TRUE(PdfText(pdf).contains(QStringLiteral("Zażółć gęślą jaźń"))) << PdfText(pdf).toStdString();
    const QByteArray cp852 = B("Za\xbe\xa2\x88\x86 g\xa9\x98l\xa5 ja\xab\xe4\r\n");
    EXPECT_EQ(InspectPrintStream(cp852, options).codePage, QStringLiteral("852"));

    options.codePage = QStringLiteral("866");
    EXPECT_THROW(InspectPrintStream(cp852, options), JobError);
}

TEST_F(PrintStreamTest, PublicSamplesRenderWhole)
{
    // Laboratory printouts of 1990: text tables in CP437 double frames, and a plot of bit
    // images.
    PrintStreamOptions options;
    options.codePage = QStringLiteral("437");
    PrintStreamReport report;
    const QString status = render(Sample(QStringLiteral("01_Table1_status.esc")), options, &report);
    EXPECT_EQ(report.language, PrintLanguage::PlainText);
    EXPECT_TRUE(PdfText(status).contains(QStringLiteral("STATUS PAGE")));
    for (const char *name : {"02_Table2_protocol.esc", "08_Single_Measurement.esc", "09_Multi_Measurements.esc"})
        render(Sample(QString::fromLatin1(name)), options);

    const QString plot = render(Sample(QStringLiteral("04_Spectrum_1.esc")), options, &report);
    EXPECT_EQ(report.language, PrintLanguage::Escp);
    EXPECT_TRUE(report.unknownCommands.isEmpty()) << report.unknownCommands.join(u',').toStdString();
    const QImage page = RenderedPdfPage(plot, 1, 72);
    EXPECT_GT(DarkArea(page).height(), 200) << "the plot's graphics are missing";
}

TEST_F(PrintStreamTest, FailuresLeaveNothingBehind)
{
    const QString missing = dir.filePath(QStringLiteral("no/such/dir/out.pdf"));
    EXPECT_THROW(RenderPrintStream("hello\r\n", {}, missing), OutputUnavailable);
    QByteArray flood;
    for (int i = 0; i < 100001; ++i)
        flood += "x\x0c";
    const QString target = dir.filePath(QStringLiteral("flood.pdf"));
    EXPECT_THROW(RenderPrintStream(flood, {}, target), JobError);
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 0);
}

} // namespace
} // namespace ostrevo
