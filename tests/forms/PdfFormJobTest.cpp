// Whole form jobs into PDF files: where the values land on the A4 page for every form
// size, one document whose pages turn as the template says, colours, fills and the
// background option as a reader renders them, barcodes a scanner reads, the file's place
// and its mail, and failures that leave nothing under the file's name.

#include "devices/TAsBarcode.h"
#include "forms/FormRig.h"
#include "forms/TurnedForm.h"
#include "forms/PdfFormJob.h"
#include "jobs/Errors.h"
#include "support/BarcodeReader.h"
#include "support/PdfPixels.h"
#include "support/PdfTools.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

struct MailCall {
    QString jobPath, address, pdfPath, subject;
    bool pdfComplete = false;
};

// Points per millimetre on an A4 page of 595 x 842 points.
const double Mm = 595.0 / 210.0;

// A one-page template of that size: box 1 at 10 mm, 10 mm, box 2 at 50 mm, 100 mm.
QList<QByteArray> SizedTemplate(int maxX, int maxY)
{
    return {"<PARAMETERS>", "PAGE=1", "<END>", "<PAGE1>", "MAXX=" + QByteArray::number(maxX),
            "MAXY=" + QByteArray::number(maxY), "BX(1,10,10,40,20)", "BX(2,50,100,90,110)", "<END>"};
}

// A template of `pages` pages, "STRONA<n>" in box 1 of each; `landscape` names those turned.
QList<QByteArray> PagedTemplate(int pages, const QList<int> &landscape = {})
{
    QList<QByteArray> lines{"<PARAMETERS>", "PAGE=" + QByteArray::number(pages), "<END>"};
    for (int n = 1; n <= pages; ++n) {
        lines += "<PAGE" + QByteArray::number(n) + ">";
        if (landscape.contains(n))
            lines += "ORIENTATION=L";
        lines += {"BX(1,10,10,100,20)", "T1(1,1)", "STRONA" + QByteArray::number(n), "<END>"};
    }
    return lines;
}

QList<QByteArray> Job(const QList<QByteArray> &parameters, const QList<QByteArray> &pages)
{
    return QList<QByteArray>{"<PIT>", "TEMPLATE=WZOR"} + parameters + QList<QByteArray>{"<END>"} + pages;
}

// "Page    n size:" of pdfinfo for every page.
QStringList PageSizes(const QString &pdf)
{
    QStringList sizes;
    const QString info = RunTool(QStringLiteral("pdfinfo"), {QStringLiteral("-f"), QStringLiteral("1"),
                                                            QStringLiteral("-l"), QStringLiteral("99"), pdf});
    for (const QString &line : info.split(u'\n'))
        if (line.startsWith(QStringLiteral("Page")) && line.contains(QStringLiteral(" size:")))
            sizes.append(line.section(u':', 1).trimmed().section(u' ', 0, 2));
    return sizes;
}

// Page 1 as a reader draws it, one pixel per point unless `dpi` says otherwise.
QImage Rendered(const QString &pdf, const QString &, int dpi = 72)
{
    return RenderedPdfPage(pdf, 1, dpi);
}

// Pixels of a rendering at `dpi` from millimetres on the A4 page.
QRect PixelsOfMm(double left, double top, double right, double bottom, int dpi)
{
    const double perMm = Mm * dpi / 72.0;
    return QRect(QPoint(int(std::ceil(left * perMm)), int(std::ceil(top * perMm))),
                 QPoint(int(std::floor(right * perMm)) - 1, int(std::floor(bottom * perMm)) - 1));
}

class PdfFormJobTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_jobs.setMailPdf([this](const JobContext &, const QString &jobPath, const QString &address,
                                 const QString &pdfPath, const QString &subject) {
            m_mails.append({jobPath, address, pdfPath, subject, QpdfProblems(pdfPath).isEmpty()});
        });
    }

    QString job(const QString &name, const QList<QByteArray> &lines)
    {
        const QString path = m_rig.jobDir + u'/' + name + QStringLiteral(".txt");
        WriteFile(path, DosLines(lines));
        return path;
    }

    JobResult run(const QList<QByteArray> &templateLines, const QList<QByteArray> &jobLines,
                  const QString &name = QStringLiteral("FORM"))
    {
        m_rig.writeTemplate(templateLines, QStringLiteral("WZOR"));
        return m_jobs.PdfFormJob(m_rig.context, job(name, jobLines));
    }

    QString pdfDir() const { return m_rig.jobDir + QStringLiteral("/PDF"); }
    QString output(const QString &name) const { return pdfDir() + u'/' + name; }

    FormRig m_rig;
    TAsBarcode m_barcode;
    PdfFormJobs m_jobs{m_barcode};
    QList<MailCall> m_mails;
};

} // namespace

TEST_F(PdfFormJobTest, FormsFillTheA4PageAlongEachAxis)
{
    const QList<QByteArray> values{"<PAGE1>", "T1(1,1)", "JEDEN", "T1(2,1)", "DWA", "<END>"};
    // An A4 form at its true size, into the job directory's PDF folder, made for it.
    const JobResult a4 = run(SizedTemplate(210, 297), Job({"PDF_FILE=a4.pdf"}, values));
    ASSERT_EQ(a4.outcome, JobResult::Done) << a4.detail.toStdString();
    EXPECT_EQ(a4.detail, QStringLiteral("%1, stron: 1").arg(output(QStringLiteral("a4.pdf"))));
    QList<PdfWord> words = PdfWords(output(QStringLiteral("a4.pdf")));
    EXPECT_NEAR(WordNamed(words, QStringLiteral("JEDEN")).box.left(), 10 * Mm, 0.3);
    EXPECT_GE(WordNamed(words, QStringLiteral("JEDEN")).box.top(), 10 * Mm - 0.3);
    EXPECT_NEAR(WordNamed(words, QStringLiteral("DWA")).box.left(), 50 * Mm, 0.3);
    EXPECT_LT(WordNamed(words, QStringLiteral("DWA")).box.bottom(), 110 * Mm);
    EXPECT_GE(WordNamed(words, QStringLiteral("DWA")).box.top(), 100 * Mm - 0.3);

    // Half as wide as A4: stretched to twice its width, its height kept.
    ASSERT_EQ(run(SizedTemplate(105, 297), Job({"PDF_FILE=waski.pdf"}, values)).outcome, JobResult::Done);
    words = PdfWords(output(QStringLiteral("waski.pdf")));
    EXPECT_NEAR(WordNamed(words, QStringLiteral("DWA")).box.left(), 100 * Mm, 0.3);
    EXPECT_GE(WordNamed(words, QStringLiteral("DWA")).box.top(), 100 * Mm - 0.3);
    EXPECT_LT(WordNamed(words, QStringLiteral("DWA")).box.top(), 105 * Mm);

    // Smaller than A4 both ways: the natural scale vertically, x by the ratio of the two.
    ASSERT_EQ(run(SizedTemplate(105, 148), Job({"PDF_FILE=a6.pdf"}, values)).outcome, JobResult::Done);
    words = PdfWords(output(QStringLiteral("a6.pdf")));
    const double sx = (210.0 / 105) / (297.0 / 148);
    EXPECT_NEAR(WordNamed(words, QStringLiteral("DWA")).box.left(), 50 * sx * Mm, 0.3);
    EXPECT_GE(WordNamed(words, QStringLiteral("DWA")).box.top(), 100 * Mm - 0.3);
    EXPECT_LT(WordNamed(words, QStringLiteral("DWA")).box.top(), 105 * Mm);
    EXPECT_TRUE(m_mails.isEmpty());
}

// Where the ink of a thin stroke lies along a row or column of pixels, from `from` in
// steps of `step` for `count` pixels: the centre of the ink weighed by how dark it is,
// in pixels from `from`; -1 when there is none.
double InkCentre(const QImage &image, QPoint from, QPoint step, int count)
{
    double sum = 0, weight = 0;
    for (int i = 0; i < count; ++i) {
        const QPoint at = from + step * i;
        if (!image.valid(at))
            continue;
        const int ink = 255 - qGray(image.pixel(at));
        if (ink > 40) {
            sum += double(i) * ink;
            weight += ink;
        }
    }
    return weight > 0 ? sum / weight : -1;
}

// The font sizes of every Tf of page contents, in the order written.
QList<double> ContentFontSizes(const QString &pdf, const QString &scratch)
{
    RunTool(QStringLiteral("qpdf"), {QStringLiteral("--qdf"), QStringLiteral("--object-streams=disable"), pdf, scratch});
    QFile file(scratch);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<double> sizes;
    static const QRegularExpression tf(QStringLiteral(R"(/\w+ ([0-9.]+) Tf)"));
    for (const QRegularExpressionMatch &m : tf.globalMatch(QString::fromLatin1(file.readAll())))
        sizes.append(m.captured(1).toDouble());
    return sizes;
}

// A landscape page that gives no MAXX or MAXY is a landscape sheet at its true size (it
// was an upright sheet's 210 x 297 mm pulled across the turned one, 1.41 times too wide
// and 0.71 times too low); a page that gives them keeps to them.
TEST_F(PdfFormJobTest, ALandscapePageWithoutItsSizeIsDrawnAtTrueSize)
{
    const auto form = [](const QList<QByteArray> &size) {
        return QList<QByteArray>{"<PARAMETERS>", "PAGE=1", "<END>", "<PAGE1>", "ORIENTATION=L"} + size +
               QList<QByteArray>{"L_THICKNESS=10", "B(1,20,30,270,180,0)", "BX(2,20,30,270,180)", "T_PADLEFT=0",
                                 "T_PADTOP=0", "T1(2,1)", "NAROZNIK", "<END>"};
    };
    const QList<QByteArray> values{"<PAGE1>", "<END>"};
    // Millimetres of the sheet, horizontally and vertically, per millimetre of the form.
    struct Case {
        QList<QByteArray> size;
        const char *file;
        double mmX, mmY;
    };
    const Case cases[] = {
        {{}, "bez.pdf", 1, 1},
        {{"MAXX=297", "MAXY=210"}, "podany.pdf", 1, 1},
        {{"MAXX=210", "MAXY=297"}, "pionowy.pdf", 297.0 / 210, 210.0 / 297},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_EQ(run(form(c.size), Job({"PDF_FILE=" + QByteArray(c.file)}, values)).outcome, JobResult::Done);
        const QString file = output(QString::fromLatin1(c.file));
        EXPECT_EQ(PageSizes(file), QStringList{QStringLiteral("842 x 595")});
        const QImage page = RenderedPdfPage(file, 1, 300);
        ASSERT_FALSE(page.isNull());
        const double perMm = 300 / 25.4;
        // The frame's strokes, each looked for within 5 mm of where it belongs.
        const auto strokeX = [&](double mm, double atY) {
            const int from = int((mm - 5) * perMm);
            return (from + InkCentre(page, QPoint(from, int(atY * perMm)), QPoint(1, 0), int(10 * perMm)) + 0.5) / perMm;
        };
        const auto strokeY = [&](double mm, double atX) {
            const int from = int((mm - 5) * perMm);
            return (from + InkCentre(page, QPoint(int(atX * perMm), from), QPoint(0, 1), int(10 * perMm)) + 0.5) / perMm;
        };
        const double middleX = 100 * c.mmX, middleY = 105 * c.mmY;
        EXPECT_NEAR(strokeX(20 * c.mmX, middleY), 20 * c.mmX, 0.2);
        EXPECT_NEAR(strokeY(30 * c.mmY, middleX), 30 * c.mmY, 0.2);
        EXPECT_NEAR(strokeY(180 * c.mmY, middleX), 180 * c.mmY, 0.2);
        // The upright sizes put the right side past the sheet.
        if (c.mmX == 1) {
            EXPECT_NEAR(strokeX(270, middleY), 270, 0.2);
        }
        // The text in its box's corner.
        const PdfWord corner = WordNamed(PdfWords(file), QStringLiteral("NAROZNIK"));
        EXPECT_NEAR(corner.box.left() / Mm, 20 * c.mmX, 0.2);
        EXPECT_NEAR(corner.box.top() / Mm, 30 * c.mmY, 0.3);
    }
}

// Text sizes keep their fraction of a point: T_SIZE 300 on A4 is 7.44 points and 220 is
// 5.46, as large as the printer prints them (whole points made them 6 and 8 % smaller).
TEST_F(PdfFormJobTest, TextSizesAreNotCutToWholePoints)
{
    const QList<QByteArray> form{"<PARAMETERS>", "PAGE=1", "<END>", "<PAGE1>", "MAXX=210", "MAXY=297",
                                 "BX(1,20,20,190,40)", "BX(2,20,50,190,70)", "T_SIZE=300", "T1(1,1)", "WIEKSZY",
                                 "T_SIZE=220", "T1(2,1)", "MNIEJSZY", "<END>"};
    ASSERT_EQ(run(form, Job({"PDF_FILE=rozmiary.pdf"}, {"<PAGE1>", "<END>"})).outcome, JobResult::Done);
    const QString file = output(QStringLiteral("rozmiary.pdf"));
    const QList<double> sizes = ContentFontSizes(file, m_rig.root.filePath(QStringLiteral("qdf.pdf")));
    ASSERT_EQ(sizes.size(), 2);
    const double fy = 100 * 842.0 / 297;
    EXPECT_NEAR(sizes[0], fy * 0.875 * 300 / 10000, 0.001);
    EXPECT_NEAR(sizes[1], fy * 0.875 * 220 / 10000, 0.001);
    // And so the letters: their heights in the ratio of the sizes.
    const QList<PdfWord> words = PdfWords(file);
    EXPECT_NEAR(WordNamed(words, QStringLiteral("WIEKSZY")).box.height() /
                    WordNamed(words, QStringLiteral("MNIEJSZY")).box.height(),
                300.0 / 220, 0.01);
}

TEST_F(PdfFormJobTest, OneDocumentWhosePagesTurnAsTheTemplateSays)
{
    // Copies and two-sided printing mean nothing to a file.
    for (const QByteArray &extra : {QByteArray("PDF_FILE=raz.pdf"), QByteArray("PDF_FILE=trzy.pdf")}) {
        QList<QByteArray> parameters{extra};
        if (extra.contains("trzy"))
            parameters += {"COPIES=3", "DUPLEX=1"};
        const JobResult result = run(PagedTemplate(3, {2}),
                                     Job(parameters, {"<PAGE1>", "<END>", "<PAGE2>", "<END>", "<PAGE3>", "<END>"}));
        ASSERT_EQ(result.outcome, JobResult::Done) << result.detail.toStdString();
    }
    for (const QString &name : {QStringLiteral("raz.pdf"), QStringLiteral("trzy.pdf")}) {
        EXPECT_EQ(PdfPageTexts(output(name)), QStringList({QStringLiteral("STRONA1"), QStringLiteral("STRONA2"),
                                                        QStringLiteral("STRONA3")}));
        EXPECT_EQ(PageSizes(output(name)), QStringList({QStringLiteral("595 x 842"), QStringLiteral("842 x 595"),
                                                        QStringLiteral("595 x 842")}));
    }
    EXPECT_EQ(RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), output(QStringLiteral("raz.pdf")),
                                                   QStringLiteral("-")})
                  .section(QStringLiteral("<doc>"), 1),
              RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), output(QStringLiteral("trzy.pdf")),
                                                   QStringLiteral("-")})
                  .section(QStringLiteral("<doc>"), 1));

    // A range that starts on the turned page starts the file turned.
    ASSERT_EQ(run(PagedTemplate(3, {2}), Job({"PDF_FILE=od2.pdf", "FROM_PAGE=2"},
                                             {"<PAGE1>", "<END>", "<PAGE2>", "<END>", "<PAGE3>", "<END>"}))
                  .outcome,
              JobResult::Done);
    EXPECT_EQ(PdfPageTexts(output(QStringLiteral("od2.pdf"))),
              QStringList({QStringLiteral("STRONA2"), QStringLiteral("STRONA3")}));
    EXPECT_EQ(PageSizes(output(QStringLiteral("od2.pdf"))),
              QStringList({QStringLiteral("842 x 595"), QStringLiteral("595 x 842")}));

    // Only the even pages.
    ASSERT_EQ(run(PagedTemplate(3), Job({"PDF_FILE=parz.pdf", "EVEN=0"},
                                        {"<PAGE1>", "<END>", "<PAGE2>", "<END>", "<PAGE3>", "<END>"}))
                  .outcome,
              JobResult::Done);
    EXPECT_EQ(PdfPageTexts(output(QStringLiteral("parz.pdf"))), QStringList({QStringLiteral("STRONA2")}));
}

TEST_F(PdfFormJobTest, ColoursFillsAndTurnedTextAsAReaderShowsThem)
{
    const QList<QByteArray> form{"<PARAMETERS>", "<END>", "<DEFAULT>", "B_FILL=FFFFFF", "<END>", "<PAGE1>",
                                 // Colours are 0x00BBGGRR: red is the low byte.
                                 "L_COLOR=0000FF", "L_THICKNESS=100", "L(10,10,100,10)",
                                 "B_FILL=00FF00", "B(1,20,30,60,60,1)",
                                 "BX(3,30,220,120,230)", "T1(3,1)", "ETYKIETA",
                                 "T_ANGLE=90", "BX(2,100,150,200,200)", "T1(2,1)", "PIONOWO",
                                 // A page border drawn last, without fill: the labels stay.
                                 "B(4,5,5,205,292,0)", "<END>"};
    const QList<QByteArray> job = Job({"PDF_FILE=kolory.pdf"}, {"<PAGE1>", "<END>"});
    ASSERT_EQ(run(form, job).outcome, JobResult::Done);
    QImage page = Rendered(output(QStringLiteral("kolory.pdf")), m_rig.root.path());
    ASSERT_FALSE(page.isNull());
    const QRgb line = page.pixel(int(50 * Mm), int(10 * Mm));
    EXPECT_GT(qRed(line), 200);
    EXPECT_LT(qGreen(line), 60);
    EXPECT_LT(qBlue(line), 60);
    const QRgb fill = page.pixel(int(40 * Mm), int(45 * Mm));
    EXPECT_LT(qRed(fill), 60);
    EXPECT_GT(qGreen(fill), 200);
    const PdfWord label = WordNamed(PdfWords(output(QStringLiteral("kolory.pdf"))), QStringLiteral("ETYKIETA"));
    int dark = 0;
    const QRect labelPixels = label.box.toAlignedRect() & page.rect();
    for (int y = labelPixels.top(); y <= labelPixels.bottom(); ++y)
        for (int x = labelPixels.left(); x <= labelPixels.right(); ++x)
            dark += qMax(qMax(qRed(page.pixel(x, y)), qGreen(page.pixel(x, y))), qBlue(page.pixel(x, y))) < 160;
    EXPECT_GT(dark, 10) << "the border covered the label";
    const QRgb border = page.pixel(int(5 * Mm), int(150 * Mm));
    EXPECT_GT(qRed(border), 200);
    EXPECT_LT(qGreen(border), 60);

    // T_ANGLE 90 turns the text clockwise, as on the printer: it runs down from the box's
    // top right corner.
    const PdfWord turned = WordNamed(PdfWords(output(QStringLiteral("kolory.pdf"))), QStringLiteral("PIONOWO"));
    EXPECT_GT(turned.box.height(), turned.box.width());
    EXPECT_NEAR(turned.box.top(), 150 * Mm, 1.0);
    EXPECT_NEAR(turned.box.right(), 200 * Mm, 1.0);
    EXPECT_LE(turned.box.right(), 200 * Mm + 0.5);

    // Without the background option a page's B_FILL line leaves the source's default.
    m_rig.settings.ground = false;
    ASSERT_EQ(run(form, job).outcome, JobResult::Done);
    page = Rendered(output(QStringLiteral("kolory.pdf")), m_rig.root.path());
    const QRgb white = page.pixel(int(40 * Mm), int(45 * Mm));
    EXPECT_GT(qGreen(white), 200);
    EXPECT_GT(qRed(white), 200);
    EXPECT_GT(qRed(page.pixel(int(50 * Mm), int(10 * Mm))), 200); // lines as before
}

TEST_F(PdfFormJobTest, ScannerReadsTheBarcodesInTheirBoxes)
{
    const QList<QByteArray> form{"<PARAMETERS>", "<END>", "<PAGE1>", "BX(1,20,20,70,40)", "BX(2,20,120,50,170)",
                                 "BX(3,150,260,200,285)", "<END>"};
    const JobResult result = run(form, Job({"PDF_FILE=kody.pdf"}, {"<PAGE1>", "K(1)", "5901234123457", "T_ANGLE=90",
                                                                     "K(2)", "4006381333931", "<END>"}));
    ASSERT_EQ(result.outcome, JobResult::Done) << result.detail.toStdString();
    QStringList codes = DecodeEan13InPdf(output(QStringLiteral("kody.pdf")), 1);
    codes.sort();
    EXPECT_EQ(codes, QStringList({QStringLiteral("4006381333931"), QStringLiteral("5901234123457")}));
    // Several image pixels to each of the 95 modules, the turned one's turned in the image.
    const QString images = RunTool(QStringLiteral("pdfimages"), {QStringLiteral("-list"), output(QStringLiteral("kody.pdf"))});
    const QStringList rows = images.split(u'\n').filter(QRegularExpression(QStringLiteral("^\\s+1\\s+\\d+\\s+image")));
    ASSERT_EQ(rows.size(), 2) << images.toStdString();
    for (const QString &row : rows)
        EXPECT_GE(std::max(row.simplified().section(u' ', 3, 3).toInt(), row.simplified().section(u' ', 4, 4).toInt()),
                  4 * 95)
            << row.toStdString(); // width, height

    // In the lower right corner of the page, inside its box.
    ASSERT_EQ(run(form, Job({"PDF_FILE=rog.pdf"}, {"<PAGE1>", "K(3)", "5901234123457", "<END>"})).outcome,
              JobResult::Done);
    EXPECT_EQ(DecodeEan13InPdf(output(QStringLiteral("rog.pdf")), 1), QStringList{QStringLiteral("5901234123457")});
    const QRect bars = DarkArea(Rendered(output(QStringLiteral("rog.pdf")), m_rig.root.path()));
    ASSERT_TRUE(bars.isValid());
    EXPECT_GE(bars.left(), int(150 * Mm) - 1);
    EXPECT_GE(bars.top(), int(260 * Mm) - 1);
    EXPECT_LE(bars.right(), int(200 * Mm) + 1);
    EXPECT_LE(bars.bottom(), int(285 * Mm) + 1);
}

TEST_F(PdfFormJobTest, NeighbouringBarcodesKeepToTheirBoxesAndReadAsWritten)
{
    // Two 60 mm boxes 5 mm apart: each barcode is a hundredth of its box to the module,
    // unrounded, so it ends 3 mm short of its box's right edge and never runs into the
    // next one (where a scanner would read the two as a third valid number).
    const QList<QByteArray> form{"<PARAMETERS>", "<END>", "<PAGE1>", "BX(1,20,60,80,80)", "BX(2,85,60,145,80)",
                                 "<END>"};
    ASSERT_EQ(run(form, Job({"PDF_FILE=obok.pdf"}, {"<PAGE1>", "K(1)", "5901234123457", "K(2)", "4006381333931",
                                                    "<END>"}))
                  .outcome,
              JobResult::Done);
    const QString pdf = output(QStringLiteral("obok.pdf"));
    for (int dpi : {150, 300}) {
        QStringList codes = DecodeEan13InPdf(pdf, 1, dpi);
        codes.sort();
        EXPECT_EQ(codes, QStringList({QStringLiteral("4006381333931"), QStringLiteral("5901234123457")})) << dpi << " dpi";
    }
    const int dpi = 300;
    const double perMm = Mm * dpi / 72.0;
    const QImage page = Rendered(pdf, m_rig.root.path(), dpi);
    ASSERT_FALSE(page.isNull());
    EXPECT_FALSE(DarkArea(page, PixelsOfMm(80, 60, 85, 80, dpi)).isValid()) << "a barcode reaches between the boxes";
    for (const auto &[left, right] : {std::pair{20.0, 80.0}, std::pair{85.0, 145.0}}) {
        const QRect bars = DarkArea(page, PixelsOfMm(left - 5, 55, right, 85, dpi));
        ASSERT_TRUE(bars.isValid()) << left;
        EXPECT_GE(bars.left(), int(left * perMm) - 1) << left;
        EXPECT_GE(bars.top(), int(60 * perMm) - 1) << left;
        EXPECT_LE(bars.bottom(), int(80 * perMm) + 1) << left;
        // 95 of the box's hundredths wide.
        EXPECT_NEAR(bars.width() / perMm, 0.95 * (right - left), 0.3) << left;
    }
}

TEST_F(PdfFormJobTest, TurnedTextsAndBarcodesStayInsideTheirBoxesAsOnThePrinter)
{
    ASSERT_EQ(run(TurnedTemplate({}), Job({"PDF_FILE=obrot.pdf"}, TurnedJobPage())).outcome, JobResult::Done);
    ExpectTurnedInsideTheirBoxes(output(QStringLiteral("obrot.pdf")), [](const QRectF &mm) {
        return QRectF(mm.topLeft() * Mm, mm.bottomRight() * Mm);
    });
}

TEST_F(PdfFormJobTest, FailuresLeaveNothingUnderTheNameAndMailNothing)
{
    const QList<QByteArray> form = PagedTemplate(2);
    // A barcode with a letter, on a job that would be mailed.
    EXPECT_THROW(run(form, Job({"PDF_FILE=zly.pdf", "A_MAIL=biuro@firma.pl"},
                               {"<PAGE1>", "BX(1,10,10,60,30)", "K(1)", "590123412345X", "<END>"})),
                 BarcodeError);
    // A malformed value on the second page.
    EXPECT_THROW(run(form, Job({"PDF_FILE=zly.pdf", "A_MAIL=biuro@firma.pl"},
                               {"<PAGE1>", "<END>", "<PAGE2>", "L_THICKNESS=gruba", "<END>"})),
                 ConversionError);
    EXPECT_TRUE(m_mails.isEmpty());
    EXPECT_TRUE(QDir(pdfDir()).entryList(QDir::Files | QDir::Hidden).isEmpty()) << "a partial file was left";

    // No template: a failure with its name, and no file.
    const JobResult missing = m_jobs.PdfFormJob(
        m_rig.context, job(QStringLiteral("BRAK"), {"<PIT>", "TEMPLATE=NIEMA", "PDF_FILE=brak.pdf",
                                                    "A_MAIL=biuro@firma.pl", "<END>", "<PAGE1>", "<END>"}));
    EXPECT_EQ(missing.outcome, JobResult::Failed);
    EXPECT_TRUE(missing.detail.contains(QStringLiteral("NIEMA"))) << missing.detail.toStdString();
    EXPECT_FALSE(QFileInfo::exists(output(QStringLiteral("brak.pdf"))));

    // A PDF_PATH that is not there.
    EXPECT_THROW(run(form, Job({"PDF_FILE=x.pdf", "PDF_PATH=" + QFile::encodeName(m_rig.root.path()) + "/nie/ma"},
                               {"<PAGE1>", "<END>"})),
                 JobError);
    EXPECT_TRUE(m_mails.isEmpty());

    // The next job is written whole.
    ASSERT_EQ(run(form, Job({"PDF_FILE=dobry.pdf"}, {"<PAGE1>", "<END>"})).outcome, JobResult::Done);
    EXPECT_EQ(PdfFilesIn(pdfDir()), QStringList{QStringLiteral("dobry.pdf")});
}

TEST_F(PdfFormJobTest, FinishedFilesGoToTheMailJobWhenTheAddressHasAnAt)
{
    const QString path = job(QStringLiteral("ZEZNANIE"), {});
    // The file lands in PDF_PATH through the drive letters of the settings.
    QDir().mkpath(m_rig.root.path() + QStringLiteral("/dyskd/deklaracje"));
    m_rig.settings.drives.insert(u'D', m_rig.root.path() + QStringLiteral("/dyskd"));
    const JobResult mailed = run(PagedTemplate(1), Job({"PDF_FILE=PIT.pdf", "PDF_PATH=D:\\DEKLARACJE",
                                                        "A_MAIL=ksiegowa@biuro.pl", "T_MAIL=Zeznanie"},
                                                       {"<PAGE1>", "<END>", "<MAIL_BODY>", "W zalaczniku", "<END>"}),
                                 QStringLiteral("ZEZNANIE"));
    ASSERT_EQ(mailed.outcome, JobResult::Done) << mailed.detail.toStdString();
    const QString pdf = m_rig.root.path() + QStringLiteral("/dyskd/deklaracje/PIT.pdf");
    ASSERT_EQ(m_mails.size(), 1);
    EXPECT_EQ(m_mails[0].jobPath, path);
    EXPECT_EQ(m_mails[0].address, QStringLiteral("ksiegowa@biuro.pl"));
    EXPECT_EQ(m_mails[0].pdfPath, pdf);
    EXPECT_EQ(m_mails[0].subject, QStringLiteral("Zeznanie"));
    EXPECT_TRUE(m_mails[0].pdfComplete);
    EXPECT_TRUE(mailed.detail.endsWith(QStringLiteral("; poczta do ksiegowa@biuro.pl"))) << mailed.detail.toStdString();
    EXPECT_FALSE(QFileInfo::exists(pdfDir())) << "the default folder is made only when used";

    // No "@": written, not mailed.
    ASSERT_EQ(run(PagedTemplate(1), Job({"PDF_FILE=bez.pdf", "A_MAIL=ksiegowa"}, {"<PAGE1>", "<END>"})).outcome,
              JobResult::Done);
    EXPECT_TRUE(QFileInfo::exists(output(QStringLiteral("bez.pdf"))));
    EXPECT_EQ(m_mails.size(), 1);

    // Without a mail job the legacy program still learns that nothing went out.
    m_jobs.setMailPdf({});
    ASSERT_EQ(run(PagedTemplate(1), Job({"PDF_FILE=nic.pdf", "A_MAIL=a@b.pl"}, {"<PAGE1>", "<END>"})).outcome,
              JobResult::Done);
    EXPECT_EQ(ReadFile(m_rig.jobDir + QStringLiteral("/Errors/nic.txt")), QByteArray("error=NOT\r\n"));
}

TEST_F(PdfFormJobTest, RegisteredAsTheHandlerOfFormsIntoFiles)
{
    JobHandlers handlers;
    RegisterPdfFormHandler(handlers, m_jobs);
    EXPECT_TRUE(handlers.has(jkPitPdf));
    EXPECT_FALSE(handlers.has(jkPit));
    m_rig.writeTemplate(PagedTemplate(1), QStringLiteral("WZOR"));
    const JobResult result =
        handlers.run(jkPitPdf, m_rig.context, job(QStringLiteral("H"), Job({"PDF_FILE=h.pdf"}, {"<PAGE1>", "<END>"})));
    EXPECT_EQ(result.outcome, JobResult::Done) << result.detail.toStdString();
    EXPECT_EQ(PdfFilesIn(pdfDir()), QStringList{QStringLiteral("h.pdf")});
}
