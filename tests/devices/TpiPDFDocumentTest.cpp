// The PDF document of the PDF jobs, read back with poppler and checked with qpdf: where
// texts land in its top-down page units, how Scale stretches later coordinates, turned
// pages, Polish letters, and files that are either complete under their name or absent.

#include "devices/RealisedFontCache.h"
#include "devices/TpiPDFDocument.h"
#include "support/FileSizeLimit.h"
#include "support/PdfTools.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

class TpiPDFDocumentTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_tmp.isValid()); }

    QString path(const char *name) const { return m_tmp.filePath(QString::fromLatin1(name)); }

    void begin(TpiPDFDocument &pdf, const QString &file)
    {
        pdf.SetFileName(file);
        pdf.SetDocumentFlag(0);
        pdf.BeginDoc();
        pdf.SetFont(QStringLiteral("Courier New"), false, false, false, false, 20, 238);
    }

    QTemporaryDir m_tmp;
    RealisedFontCache m_fonts;
};

TEST_F(TpiPDFDocumentTest, TextLandsByItsTopLeftCornerAndScaleStretchesAboutTheBottomEdge)
{
    const QString file = path("tekst.pdf");
    {
        TpiPDFDocument pdf(m_fonts);
        begin(pdf, file);
        EXPECT_EQ(pdf.GetPageWidth(), 595);
        EXPECT_EQ(pdf.GetPageHeight(), 842);
        // Courier New is monospaced at 0.6 em, whatever the scaling says.
        EXPECT_NEAR(pdf.GetTextWidth("XXXXX"), 60.0, 0.01);
        pdf.ShowText(100, 200, 0, "Pierwszy");
        pdf.Scale(0.5, 1);
        EXPECT_NEAR(pdf.GetTextWidth("XXXXX"), 60.0, 0.01);
        pdf.ShowText(400, 300, 0, "Polowa");
        // Cumulative: y now becomes H - (H - y) * 0.5 on the page.
        pdf.Scale(1, 0.5);
        pdf.ShowText(400, 442, 0, "Dolna");
        pdf.EndDoc();
    }
    const QList<PdfWord> words = PdfWords(file);
    const PdfWord first = WordNamed(words, QStringLiteral("Pierwszy"));
    EXPECT_NEAR(first.box.left(), 100, 0.5);
    EXPECT_NEAR(first.box.width(), 8 * 12, 0.5);
    // The cell's top: the face's ascent above the baseline lies within it.
    EXPECT_GE(first.box.top(), 199.5);
    EXPECT_LT(first.box.top(), 205);
    const PdfWord half = WordNamed(words, QStringLiteral("Polowa"));
    EXPECT_NEAR(half.box.left(), 200, 0.5);
    EXPECT_NEAR(half.box.width(), 6 * 12 * 0.5, 0.5);
    EXPECT_NEAR(half.box.top() - first.box.top(), 100, 0.5);
    const PdfWord low = WordNamed(words, QStringLiteral("Dolna"));
    EXPECT_NEAR(low.box.left(), 200, 0.5);
    EXPECT_NEAR(low.box.top() - first.box.top(), (842 - (842 - 442) * 0.5) - 200, 1.0);
}

TEST_F(TpiPDFDocumentTest, PagesTurnAndPolishLettersCopyOut)
{
    const QString file = path("strony.pdf");
    {
        TpiPDFDocument pdf(m_fonts);
        begin(pdf, file);
        // Windows-1250: "Zażółć gęślą jaźń".
        pdf.ShowText(50, 50, 0, "Za\xbf\xf3\xb3\xe6 g\xea\x9cl\xb9 ja\x9f\xf1");
        pdf.NewPage();
        pdf.SetPageLandscape(1);
        pdf.ShowText(50, 800, 90, "Obrocony");
        pdf.NewPage();
        pdf.SetDocumentLandscape(1);
        EXPECT_EQ(pdf.GetPageWidth(), 842);
        EXPECT_EQ(pdf.GetPageHeight(), 595);
        pdf.ShowText(700, 50, 0, "Poziomy");
        pdf.EndDoc();
    }
    EXPECT_EQ(PdfPageCount(file), 3);
    const QString info = RunTool(QStringLiteral("pdfinfo"), {QStringLiteral("-f"), QStringLiteral("1"),
                                                             QStringLiteral("-l"), QStringLiteral("3"), file});
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Page +1 rot: +0")))) << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Page +2 rot: +90")))) << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Page +3 size: +842 x 595")))) << info.toStdString();
    const QString text = PdfText(file);
    EXPECT_TRUE(text.contains(QStringLiteral("Zażółć gęślą jaźń"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Obrocony")));
    EXPECT_TRUE(text.contains(QStringLiteral("Poziomy")));
    EXPECT_TRUE(PdfFonts(file).contains(QStringLiteral("LiberationMono")));
}

TEST_F(TpiPDFDocumentTest, StylesPathsDashesColoursAndImagesMakeASoundFile)
{
    const QString file = path("grafika.pdf");
    {
        TpiPDFDocument pdf(m_fonts);
        begin(pdf, file);
        for (const QString &face : {QStringLiteral("Arial"), QStringLiteral("Times New Roman")}) {
            pdf.SetFont(face, true, true, true, true, 12, 238);
            pdf.ShowText(50, 100, 0, "Gruby pochy\xb3y");
        }
        pdf.SetLineWidth(0.3);
        pdf.SetDash(QStringLiteral("[12 4] 0"));
        pdf.SetColor(1, 0, 0);
        pdf.MoveTo(10, 10);
        pdf.LineTo(200, 10);
        pdf.Stroke();
        pdf.SetDash(QStringLiteral("[ ] 0"));
        pdf.SetFillColor(0.5, 0.5, 1);
        pdf.Rectangle(20, 300, 120, 340);
        pdf.PaintPath();
        QImage bars(40, 10, QImage::Format_Mono);
        bars.fill(1);
        const int image = pdf.AddImage(bars, 0);
        pdf.ShowImage(image, 0, 10, 40, 300, 400);
        pdf.ShowImage(image, 90, 10, 40, 300, 500);
        pdf.EndDoc();
    }
    ExpectSoundPdf(file);
    const QString fonts = PdfFonts(file);
    EXPECT_TRUE(fonts.contains(QStringLiteral("LiberationSans-BoldItalic"))) << fonts.toStdString();
    EXPECT_TRUE(fonts.contains(QStringLiteral("LiberationSerif-BoldItalic"))) << fonts.toStdString();
}

TEST_F(TpiPDFDocumentTest, OperationsItCannotTakeAreErrorsWithAMessage)
{
    TpiPDFDocument pdf(m_fonts);
    EXPECT_THROW(pdf.ShowText(0, 0, 0, "x"), PdfError);
    EXPECT_THROW(pdf.NewPage(), PdfError);
    EXPECT_THROW(pdf.BeginDoc(), PdfError); // no file name
    begin(pdf, path("bledy.pdf"));
    EXPECT_THROW(pdf.SetDash(QStringLiteral("[1 2] 0 d /F0 99 Tf")), PdfError);
    EXPECT_THROW(pdf.SetDash(QStringLiteral("12 4")), PdfError);
    EXPECT_THROW(pdf.SetFont(QStringLiteral("Arial"), false, false, false, false, -1, 238), PdfError);
    EXPECT_THROW(pdf.MoveTo(std::nan(""), 0), PdfError);
    EXPECT_THROW(pdf.Scale(0, 1), PdfError);
    EXPECT_THROW(pdf.ShowImage(3, 0, 1, 1, 0, 0), PdfError);
    EXPECT_THROW(pdf.SetFileName(path("inny.pdf")), PdfError);
    pdf.Abort();
    EXPECT_TRUE(Entries(m_tmp.path()).isEmpty()) << Entries(m_tmp.path()).join(u' ').toStdString();
}

TEST_F(TpiPDFDocumentTest, AFileIsEitherCompleteUnderItsNameOrNotThere)
{
    // A directory in the way, a directory that does not exist: nothing starts.
    QDir(m_tmp.path()).mkdir(QStringLiteral("katalog.pdf"));
    for (const QString &bad : {path("katalog.pdf"), path("brak/plik.pdf"), m_tmp.path() + u'/'}) {
        TpiPDFDocument pdf(m_fonts);
        pdf.SetFileName(bad);
        try {
            pdf.BeginDoc();
            ADD_FAILURE() << "began " << bad.toStdString();
        } catch (const PdfError &e) {
            EXPECT_TRUE(e.message().contains(bad.section(u'/', 0, -2))) << e.what();
        }
    }

    // An older file of that name stays whole while the new one is written, and when the
    // new one fails or is dropped.
    const QString file = path("faktura.pdf");
    WriteFile(file, "stara faktura");
    {
        TpiPDFDocument pdf(m_fonts);
        begin(pdf, file);
        pdf.ShowText(10, 10, 0, "porzucona");
        EXPECT_EQ(ReadFile(file), "stara faktura");
    }
    EXPECT_EQ(ReadFile(file), "stara faktura");
    try {
        const FileSizeLimit limit(6000);
        TpiPDFDocument pdf(m_fonts);
        begin(pdf, file);
        for (int page = 0; page < 40; ++page) {
            pdf.NewPage();
            pdf.ShowText(10, 10, 0, "Strona, kt\xf3ra nie zmie\x9ci si\xea na dysku " + QByteArray::number(page));
        }
        pdf.EndDoc();
        ADD_FAILURE() << "the document should not be written";
    } catch (const OutputUnavailable &e) {
        EXPECT_TRUE(e.message().contains(file)) << e.what();
    }
    EXPECT_EQ(ReadFile(file), "stara faktura");
    EXPECT_EQ(Entries(m_tmp.path()), (QStringList{QStringLiteral("faktura.pdf"), QStringLiteral("katalog.pdf")}));

    // A complete new one replaces it.
    {
        TpiPDFDocument pdf(m_fonts);
        begin(pdf, file);
        pdf.ShowText(10, 10, 0, "nowa");
        pdf.EndDoc();
    }
    EXPECT_TRUE(PdfText(file).contains(QStringLiteral("nowa")));
    EXPECT_EQ(QFile::permissions(file) & (QFileDevice::ReadOther | QFileDevice::WriteOther), QFileDevice::Permissions{});
}

} // namespace
