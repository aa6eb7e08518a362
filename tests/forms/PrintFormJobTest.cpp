// Whole form jobs on the built-in PDF printer: what lands where on the paper, the pages a
// job selects, one document per run of orientation, two-sided sheets, barcodes a reader
// can scan, and failures that abort the print and leave the printer as it was.

#include "devices/TAsBarcode.h"
#include "devices/TPrinter.h"
#include "forms/FormRig.h"
#include "forms/PrintFormJob.h"
#include "forms/TurnedForm.h"
#include "jobs/Errors.h"
#include "support/FailingPrinter.h"
#include "support/BarcodeReader.h"
#include "support/PdfTools.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

QStringList Words(std::initializer_list<const char *> items)
{
    QStringList list;
    for (const char *item : items)
        list.append(QString::fromUtf8(item));
    return list;
}

// Where the built-in printer's printable area starts on the A4 sheet, in points.
const double OffsetX = (210 / 25.4 * 600 - 4800) / 2 * 72 / 600;
const double OffsetY = (297 / 25.4 * 600 - 6800) / 2 * 72 / 600;

// A template of `pages` pages, each with box 1 and "STRONA<n>" written into box 2;
// `landscape` names the pages turned.
QList<QByteArray> PagedTemplate(int pages, const QList<int> &landscape = {})
{
    QList<QByteArray> lines{"<PARAMETERS>", "PAGE=" + QByteArray::number(pages), "<END>"};
    for (int n = 1; n <= pages; ++n) {
        lines += "<PAGE" + QByteArray::number(n) + ">";
        lines += "MAXX=200";
        lines += "MAXY=280";
        if (landscape.contains(n))
            lines += "ORIENTATION=L";
        lines += "BX(1,10,10,100,20)";
        lines += "BX(2,10,30,100,40)";
        lines += "T1(2,1)";
        lines += "STRONA" + QByteArray::number(n);
        lines += "<END>";
    }
    return lines;
}

// A job for TEMPLATE with these parameters, "WARTOSC<n>" in box 1 of each of its pages.
QList<QByteArray> PagedJob(const QByteArray &templateName, int pages, const QList<QByteArray> &parameters = {})
{
    QList<QByteArray> lines{"<PIT>", "TEMPLATE=" + templateName};
    lines += parameters;
    lines += "<END>";
    for (int n = 1; n <= pages; ++n)
        lines += {"<PAGE" + QByteArray::number(n) + ">", "T1(1,1)", "WARTOSC" + QByteArray::number(n), "<END>"};
    return lines;
}

class PrintFormJobTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_out = m_rig.root.path() + QStringLiteral("/wydruki");
        Printer().setBuiltinDirectory(m_out);
        m_rig.context.currentPrinterName = BuiltinPrinterName();
    }

    // The job file NAME.txt, whose name the printout takes.
    QString job(const QString &name, const QList<QByteArray> &jobLines)
    {
        const QString path = m_rig.jobDir + u'/' + name + QStringLiteral(".txt");
        WriteFile(path, DosLines(jobLines));
        return path;
    }

    JobResult print(const QList<QByteArray> &templateLines, const QList<QByteArray> &jobLines,
                    const QString &name = QStringLiteral("FORM"))
    {
        m_rig.writeTemplate(templateLines, QStringLiteral("WZOR"));
        return m_printer.PrintFormJob(m_rig.context, job(name, jobLines));
    }

    QString output(const QString &name) const { return m_out + u'/' + name; }

    void expectPrinterRestored()
    {
        EXPECT_FALSE(Printer().printing());
        EXPECT_EQ(Printer().orientation(), 0);
        EXPECT_EQ(Printer().copies(), 1);
        EXPECT_EQ(Printer().GetDuplex(), 0);
    }

    FormRig m_rig;
    QString m_out;
    TAsBarcode m_barcode;
    FormPrinter m_printer{Printer(), m_barcode};
};

} // namespace

TEST_F(PrintFormJobTest, ValuesLandInTheirBoxesAtTheTrueSize)
{
    const JobResult result = print(PagedTemplate(1), PagedJob("WZOR", 1));
    ASSERT_EQ(result.outcome, JobResult::Done) << result.detail.toStdString();
    EXPECT_EQ(result.detail, QStringLiteral("stron: 1, plik: %1").arg(output(QStringLiteral("FORM.pdf"))));
    const QList<PdfWord> words = PdfWords(output(QStringLiteral("FORM.pdf")));
    // Box 1 at 10 mm, 10 mm; box 2 at 10 mm, 30 mm; 28.35 points to 10 mm.
    const PdfWord value = WordNamed(words, QStringLiteral("WARTOSC1"));
    EXPECT_NEAR(value.box.left(), OffsetX + 28.35, 0.3);
    EXPECT_GE(value.box.top(), OffsetY + 28.35 - 0.3);
    EXPECT_LE(value.box.bottom(), OffsetY + 28.35 + 5.67 + 0.3); // within its 2 mm cell
    const PdfWord printed = WordNamed(words, QStringLiteral("STRONA1"));
    EXPECT_NEAR(printed.box.left(), OffsetX + 28.35, 0.3);
    EXPECT_NEAR(printed.box.top() - value.box.top(), 2 * 28.35, 0.3);
    expectPrinterRestored();
}

// A turned page that gives no MAXX or MAXY is laid out on the turned sheet as the A4 sheet
// it is, 297 x 210 mm shrunk to the printable area, as in PDF; the upright sheet's 297 mm
// down squashed it to two thirds (a value at 150 mm printed at 103 mm).
TEST_F(PrintFormJobTest, ALandscapePageWithoutItsSizeIsPrintedAtTrueSize)
{
    const QList<QByteArray> form{"<PARAMETERS>", "PAGE=1", "<END>", "<PAGE1>", "ORIENTATION=L", "BX(1,10,150,100,160)",
                                 "BX(2,250,10,280,20)", "T1(2,1)", "PRAWY", "<END>"};
    const JobResult result = print(form, PagedJob("WZOR", 1));
    ASSERT_EQ(result.outcome, JobResult::Done) << result.detail.toStdString();
    const QString file = output(QStringLiteral("FORM.pdf"));
    EXPECT_TRUE(PdfPageSize(file).startsWith(QStringLiteral("842 x 595"))) << PdfPageSize(file).toStdString();
    // The printable area of the turned sheet, 6800 x 4800 dots at 600 dpi, in its middle;
    // the form's 297 x 210 mm fill it, each way on its own.
    const double offsetX = (297 / 25.4 * 600 - 6800) / 2 * 72 / 600;
    const double offsetY = (210 / 25.4 * 600 - 4800) / 2 * 72 / 600;
    const double perMmX = 6800.0 / 600 * 72 / 297, perMmY = 4800.0 / 600 * 72 / 210;
    const QList<PdfWord> words = PdfWords(file);
    const PdfWord low = WordNamed(words, QStringLiteral("WARTOSC1"));
    EXPECT_NEAR(low.box.left(), offsetX + 10 * perMmX, 0.3);
    EXPECT_GE(low.box.top(), offsetY + 150 * perMmY - 0.3);
    EXPECT_LE(low.box.bottom(), offsetY + 160 * perMmY + 0.3);
    EXPECT_NEAR(WordNamed(words, QStringLiteral("PRAWY")).box.left(), offsetX + 250 * perMmX, 0.3);
    expectPrinterRestored();
}

TEST_F(PrintFormJobTest, PageRangeAndParityChooseThePages)
{
    // No TO_PAGE: all four pages of the template.
    ASSERT_EQ(print(PagedTemplate(4), PagedJob("WZOR", 4), QStringLiteral("ALL")).outcome, JobResult::Done);
    EXPECT_EQ(PdfPageTexts(output(QStringLiteral("ALL.pdf"))),
              Words({"WARTOSC1 STRONA1", "WARTOSC2 STRONA2", "WARTOSC3 STRONA3", "WARTOSC4 STRONA4"}));

    ASSERT_EQ(print(PagedTemplate(4), PagedJob("WZOR", 4, {"EVEN=1", "FROM_PAGE=1", "TO_PAGE=4"}), QStringLiteral("ODD"))
                  .outcome,
              JobResult::Done);
    EXPECT_EQ(PdfPageTexts(output(QStringLiteral("ODD.pdf"))), Words({"WARTOSC1 STRONA1", "WARTOSC3 STRONA3"}));

    ASSERT_EQ(print(PagedTemplate(4), PagedJob("WZOR", 4, {"EVEN=0"}), QStringLiteral("EVEN")).outcome,
              JobResult::Done);
    EXPECT_EQ(PdfPageTexts(output(QStringLiteral("EVEN.pdf"))), Words({"WARTOSC2 STRONA2", "WARTOSC4 STRONA4"}));

    ASSERT_EQ(print(PagedTemplate(4), PagedJob("WZOR", 4, {"FROM_PAGE=2", "TO_PAGE=3"}), QStringLiteral("MID")).outcome,
              JobResult::Done);
    EXPECT_EQ(PdfPageTexts(output(QStringLiteral("MID.pdf"))), Words({"WARTOSC2 STRONA2", "WARTOSC3 STRONA3"}));

    // A range past the form's last page prints nothing, and says so.
    const JobResult past = print(PagedTemplate(4), PagedJob("WZOR", 4, {"FROM_PAGE=7"}), QStringLiteral("ZA"));
    EXPECT_EQ(past.outcome, JobResult::NothingDone) << past.detail.toStdString();
    EXPECT_TRUE(PdfFilesIn(m_out).filter(QStringLiteral("ZA")).isEmpty());
}

TEST_F(PrintFormJobTest, EachRunOfOrientationIsADocumentOfItsOwn)
{
    const JobResult result = print(PagedTemplate(4, {3}), PagedJob("WZOR", 4), QStringLiteral("OBROT"));
    ASSERT_EQ(result.outcome, JobResult::Done) << result.detail.toStdString();
    EXPECT_EQ(PdfFilesIn(m_out), Words({"OBROT-2.pdf", "OBROT-3.pdf", "OBROT.pdf"}));
    EXPECT_EQ(PdfPageTexts(output(QStringLiteral("OBROT.pdf"))), Words({"WARTOSC1 STRONA1", "WARTOSC2 STRONA2"}));
    EXPECT_TRUE(PdfPageSize(output(QStringLiteral("OBROT.pdf"))).startsWith(QStringLiteral("595 x 842")));
    EXPECT_EQ(PdfPageTexts(output(QStringLiteral("OBROT-2.pdf"))), Words({"WARTOSC3 STRONA3"}));
    EXPECT_TRUE(PdfPageSize(output(QStringLiteral("OBROT-2.pdf"))).startsWith(QStringLiteral("842 x 595")));
    EXPECT_EQ(PdfPageTexts(output(QStringLiteral("OBROT-3.pdf"))), Words({"WARTOSC4 STRONA4"}));
    // The journal opens the first of them.
    EXPECT_TRUE(result.detail.startsWith(QStringLiteral("stron: 4, plik: %1; ").arg(output(QStringLiteral("OBROT.pdf")))))
        << result.detail.toStdString();

    // The first page drawn decides the first document's orientation, whatever page 1 is.
    ASSERT_EQ(print(PagedTemplate(4, {3, 4}), PagedJob("WZOR", 4, {"FROM_PAGE=3"}), QStringLiteral("POZIOMO")).outcome,
              JobResult::Done);
    EXPECT_EQ(PdfFilesIn(m_out).filter(QStringLiteral("POZIOMO")), Words({"POZIOMO.pdf"}));
    EXPECT_TRUE(PdfPageSize(output(QStringLiteral("POZIOMO.pdf"))).startsWith(QStringLiteral("842 x 595")));
    EXPECT_EQ(PdfPageCount(output(QStringLiteral("POZIOMO.pdf"))), 2);
    expectPrinterRestored();
}

TEST_F(PrintFormJobTest, TwoSidedJobsCompleteTheirLastSheet)
{
    ASSERT_EQ(print(PagedTemplate(3), PagedJob("WZOR", 3, {"DUPLEX=1"}), QStringLiteral("DUPLEX")).outcome,
              JobResult::Done);
    EXPECT_EQ(PdfPageTexts(output(QStringLiteral("DUPLEX.pdf"))),
              Words({"WARTOSC1 STRONA1", "WARTOSC2 STRONA2", "WARTOSC3 STRONA3", ""}));
    // Restored to the printer's own one-sided default.
    expectPrinterRestored();

    // Only the last document counts: two portrait pages, then one landscape.
    ASSERT_EQ(print(PagedTemplate(3, {3}), PagedJob("WZOR", 3, {"DUPLEX=1", "COPIES=2"}), QStringLiteral("DWA")).outcome,
              JobResult::Done);
    EXPECT_EQ(PdfPageCount(output(QStringLiteral("DWA.pdf"))), 2);
    EXPECT_EQ(PdfPageTexts(output(QStringLiteral("DWA-2.pdf"))), Words({"WARTOSC3 STRONA3", ""}));
    expectPrinterRestored();

    ASSERT_EQ(print(PagedTemplate(3), PagedJob("WZOR", 3, {"DUPLEX=0"}), QStringLiteral("JEDNO")).outcome,
              JobResult::Done);
    EXPECT_EQ(PdfPageCount(output(QStringLiteral("JEDNO.pdf"))), 3);
}

TEST_F(PrintFormJobTest, ScannerReadsTheBarcodesUprightAndTurned)
{
    QList<QByteArray> form{"<PARAMETERS>", "<END>", "<PAGE1>", "BX(1,20,20,70,40)", "BX(2,20,60,50,110)", "<END>"};
    const JobResult result = print(form, {"<PIT>", "TEMPLATE=WZOR", "<END>", "<PAGE1>", "K(1)", "5901234123457",
                                          "T_ANGLE=90", "K(2)", "4006381333931", "<END>"});
    ASSERT_EQ(result.outcome, JobResult::Done) << result.detail.toStdString();
    QStringList codes = DecodeEan13InPdf(output(QStringLiteral("FORM.pdf")), 1);
    codes.sort();
    EXPECT_EQ(codes, Words({"4006381333931", "5901234123457"}));

    // Neighbours 5 mm apart read as written, each on its own, coarse or fine.
    form = {"<PARAMETERS>", "<END>", "<PAGE1>", "BX(1,20,20,65,40)", "BX(2,70,20,115,40)", "<END>"};
    ASSERT_EQ(print(form, {"<PIT>", "TEMPLATE=WZOR", "<END>", "<PAGE1>", "K(1)", "5901234123457", "K(2)",
                           "4006381333931", "<END>"},
                    QStringLiteral("OBOK"))
                  .outcome,
              JobResult::Done);
    for (int dpi : {150, 300}) {
        codes = DecodeEan13InPdf(output(QStringLiteral("OBOK.pdf")), 1, dpi);
        codes.sort();
        EXPECT_EQ(codes, Words({"4006381333931", "5901234123457"})) << dpi << " dpi";
    }
}

TEST_F(PrintFormJobTest, BarcodeInAWideBoxGrowsWithItAndScans)
{
    // 250 mm across a landscape sheet: past 49 pixels a module at 600 dpi.
    const QList<QByteArray> form{"<PARAMETERS>", "<END>", "<PAGE1>", "ORIENTATION=L", "MAXX=280", "MAXY=200",
                                 "BX(1,10,20,260,60)", "<END>"};
    ASSERT_EQ(print(form, {"<PIT>", "TEMPLATE=WZOR", "<END>", "<PAGE1>", "K(1)", "5901234123457", "<END>"},
                    QStringLiteral("SZEROKI"))
                  .outcome,
              JobResult::Done);
    for (int dpi : {150, 300})
        EXPECT_EQ(DecodeEan13InPdf(output(QStringLiteral("SZEROKI.pdf")), 1, dpi),
                  Words({"5901234123457"}))
            << dpi << " dpi";
}

TEST_F(PrintFormJobTest, TurnedTextsAndBarcodesStayInsideTheirBoxes)
{
    // At its true size from the corner of the printable area.
    const QList<QByteArray> job = QList<QByteArray>{"<PIT>", "TEMPLATE=WZOR", "<END>"} + TurnedJobPage();
    const JobResult result = print(TurnedTemplate({"MAXX=200", "MAXY=280"}), job, QStringLiteral("OBROT"));
    ASSERT_EQ(result.outcome, JobResult::Done) << result.detail.toStdString();
    ExpectTurnedInsideTheirBoxes(output(QStringLiteral("OBROT.pdf")), [](const QRectF &mm) {
        const QPointF corner(OffsetX, OffsetY);
        const double perMm = 72 / 25.4;
        return QRectF(corner + mm.topLeft() * perMm, corner + mm.bottomRight() * perMm);
    });
}

TEST_F(PrintFormJobTest, RejectedBarcodeAbortsThePrintAndTheNextJobPrints)
{
    QList<QByteArray> form = PagedTemplate(2);
    const JobResult failed = print(form, {"<PIT>", "TEMPLATE=WZOR", "DUPLEX=1", "COPIES=3", "<END>", "<PAGE1>", "K(1)",
                                          "590123412345X", "<END>"},
                                   QStringLiteral("ZLY"));
    EXPECT_EQ(failed.outcome, JobResult::Failed);
    EXPECT_TRUE(failed.detail.contains(QStringLiteral("Barcode must be numeric"))) << failed.detail.toStdString();
    EXPECT_TRUE(PdfFilesIn(m_out).isEmpty());
    EXPECT_TRUE(QDir(m_out).entryList(QDir::Files | QDir::Hidden).isEmpty()) << "a partial file was left";
    expectPrinterRestored();

    // A malformed value on the second page aborts what the first had begun.
    const JobResult malformed = print(form, {"<PIT>", "TEMPLATE=WZOR", "<END>", "<PAGE1>", "<END>", "<PAGE2>",
                                             "L_THICKNESS=gruba", "<END>"},
                                      QStringLiteral("ZLY"));
    EXPECT_EQ(malformed.outcome, JobResult::Failed);
    EXPECT_TRUE(PdfFilesIn(m_out).isEmpty());

    ASSERT_EQ(print(form, PagedJob("WZOR", 1), QStringLiteral("DOBRY")).outcome, JobResult::Done);
    EXPECT_EQ(PdfFilesIn(m_out), Words({"DOBRY.pdf"}));
}

TEST_F(PrintFormJobTest, WithoutATemplateNothingIsPrinted)
{
    const JobResult result = m_printer.PrintFormJob(
        m_rig.context, job(QStringLiteral("BRAK"), {"<PIT>", "TEMPLATE=NIEMA", "<END>", "<PAGE1>", "<END>"}));
    EXPECT_EQ(result.outcome, JobResult::NothingDone);
    EXPECT_TRUE(result.detail.contains(QStringLiteral("NIEMA"))) << result.detail.toStdString();
    EXPECT_TRUE(PdfFilesIn(m_out).isEmpty());

    // A malformed value read before printing is the caller's to report.
    m_rig.writeTemplate({"<PARAMETERS>", "WSP=1;5", "<END>"}, QStringLiteral("WZOR"));
    EXPECT_THROW(m_printer.PrintFormJob(m_rig.context, job(QStringLiteral("WSP"), PagedJob("WZOR", 1))),
                 ConversionError);
    EXPECT_FALSE(Printer().printing());
}

TEST_F(PrintFormJobTest, OutputThatCannotBeWrittenKeepsTheJobForLater)
{
    // The built-in printer's directory is a file: the document cannot begin.
    const QString blocked = m_rig.root.path() + QStringLiteral("/plik");
    WriteFile(blocked, "x");
    Printer().setBuiltinDirectory(blocked);
    const JobResult result = print(PagedTemplate(1), PagedJob("WZOR", 1));
    EXPECT_EQ(result.outcome, JobResult::Retry) << result.detail.toStdString();
    expectPrinterRestored();
}

// A printer that stops taking pages after the first page of four: the document is aborted,
// the job fails with the printer's reason, and the printer is set back (orientation, copies,
// two-sided printing) for the next job.
TEST_F(PrintFormJobTest, APrinterThatFailsPartWayAbortsTheFormAndIsSetBack)
{
    TPrinter own;
    auto log = std::make_shared<FailingPrinter::Log>();
    own.addDevice(QStringLiteral("Awaria"), [log] { return std::make_unique<FailingPrinter>(1, log); });
    FormPrinter printer(own, m_barcode);
    m_rig.context.currentPrinterName = QStringLiteral("Awaria");
    m_rig.writeTemplate(PagedTemplate(4), QStringLiteral("WZOR"));
    const JobResult result = printer.PrintFormJob(m_rig.context, job(QStringLiteral("AWARIA"), PagedJob("WZOR", 4, {"COPIES=2"})));
    EXPECT_EQ(result.outcome, JobResult::Failed) << result.detail.toStdString();
    EXPECT_TRUE(result.detail.startsWith(QStringLiteral("Wydruk formularza przerwany: drukarka przestała przyjmować strony")))
        << result.detail.toStdString();
    EXPECT_EQ(log->begun, 1);
    EXPECT_EQ(log->pages, 1);
    EXPECT_EQ(log->aborted, 1);
    EXPECT_EQ(log->ended, 0);
    EXPECT_FALSE(own.printing());
    EXPECT_EQ(own.orientation(), 0);
    EXPECT_EQ(own.copies(), 1);
    EXPECT_EQ(own.GetDuplex(), 0);
}

TEST_F(PrintFormJobTest, RegisteredAsTheHandlerOfPrintedForms)
{
    JobHandlers handlers;
    RegisterFormPrintHandler(handlers, m_printer);
    EXPECT_TRUE(handlers.has(jkPit));
    EXPECT_FALSE(handlers.has(jkPitPdf));
    m_rig.writeTemplate(PagedTemplate(1), QStringLiteral("WZOR"));
    const JobResult result = handlers.run(jkPit, m_rig.context, job(QStringLiteral("H"), PagedJob("WZOR", 1)));
    EXPECT_EQ(result.outcome, JobResult::Done) << result.detail.toStdString();
    EXPECT_EQ(PdfFilesIn(m_out), Words({"H.pdf"}));
}

TEST_F(PrintFormJobTest, QuitAfterADocumentWentOutNeverLetsTheJobPrintAgain)
{
    int commits = 0;
    m_rig.context.committed = [&commits](const std::optional<ResultLine> &) { ++commits; };
    // The program quits once the first document, the portrait page, is out.
    m_rig.context.quitRequested = [this] { return !PdfFilesIn(m_out).isEmpty(); };
    const JobResult cut = print(PagedTemplate(3, {2}), PagedJob("WZOR", 3), QStringLiteral("PRZERWA"));
    EXPECT_EQ(cut.outcome, JobResult::Failed);
    EXPECT_EQ(commits, 1);
    EXPECT_TRUE(cut.detail.contains(output(QStringLiteral("PRZERWA.pdf")))) << cut.detail.toStdString();
    EXPECT_EQ(PdfFilesIn(m_out), Words({"PRZERWA.pdf"}));
    expectPrinterRestored();

    // Quit in the middle of the first document: the job may run again, nothing committed.
    commits = 0;
    QDir(m_out).removeRecursively();
    m_rig.context.quitRequested = [] { return Printer().printing(); };
    EXPECT_EQ(print(PagedTemplate(3, {2}), PagedJob("WZOR", 3), QStringLiteral("WCZESNIE")).outcome, JobResult::Failed);
    EXPECT_EQ(commits, 0);
    EXPECT_TRUE(PdfFilesIn(m_out).isEmpty());
    EXPECT_TRUE(QDir(m_out).entryList(QDir::Files | QDir::Hidden).isEmpty()) << "a partial file was left";
}
