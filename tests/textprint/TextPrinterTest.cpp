// Whole jobs on the built-in PDF printer: what reaches the paper, two-sided sheets, and
// failures that abort one job without harming the next.

#include "devices/TPrinter.h"
#include "jobs/Errors.h"
#include "handling/JobHandlers.h"
#include "support/FailingPrinter.h"
#include "support/PdfTools.h"
#include "support/TestSupport.h"
#include "textprint/SymbolTable.h"
#include "textprint/TextPrinter.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

class TextPrinterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tmp.isValid());
        m_out = m_tmp.path() + QStringLiteral("/wydruki");
        Printer().setBuiltinDirectory(m_out);
        m_context.currentJobDir = m_tmp.path();
        m_context.currentPrinterName = BuiltinPrinterName();
        m_context.settings = &m_settings;
    }

    QString job(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_tmp.path() + u'/' + name;
        WriteFile(path, bytes);
        return path;
    }

    QString output(const QString &name) const { return m_out + u'/' + name; }

    QTemporaryDir m_tmp;
    QString m_out;
    Settings m_settings;
    JobContext m_context;
    SymbolTable m_symbols;
    TextPrinter m_printer{m_symbols};
};

} // namespace

TEST_F(TextPrinterTest, InvoiceWithPolishLettersAndFramesBecomesOnePdfNamedAfterTheJob)
{
    const JobResult result = m_printer.PrintTextJob(m_context, TestData(QStringLiteral("textprint-faktura.txt")));
    EXPECT_EQ(result.outcome, JobResult::Done) << result.detail.toStdString();
    ASSERT_EQ(PdfFilesIn(m_out), QStringList{QStringLiteral("textprint-faktura.pdf")});
    const QString pdf = output(QStringLiteral("textprint-faktura.pdf"));
    EXPECT_EQ(PdfPageCount(pdf), 1);
    // The journal names the file, so that the journal window can open it.
    EXPECT_EQ(result.detail, QStringLiteral("stron: 1, plik: ") + pdf);
    const QString text = PdfText(pdf, PdfTextLayout::Physical);
    for (const char *expected : {"Przedsiębiorstwo Handlowe \"ŻURAW\"", "ul. Świętokrzyska 12", "Józef Łęcki",
                                 "ul. Źródlana 5, 31-052 Kraków", "Termin płatności", "Nakrętka M8 samokontr.",
                                 "Ilość", "Wartość", "Oryginał", "Zapłata w terminie 14 dni"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected;
    // Frames were drawn as lines: no box-drawing character reached the text.
    EXPECT_FALSE(text.contains(u'║') || text.contains(u'═') || text.contains(u'│'));
}

TEST_F(TextPrinterTest, ColumnsLineUpAtEightyCharactersAcrossThePrintableWidth)
{
    const QString path = job(QStringLiteral("KOLUMNY.txt"),
                             DosLines({QByteArray("A123456789B123456789C123456789D123456789E123456789"
                                                  "F123456789G123456789H12345678Z"),
                                       QByteArray("          K         L         M")}));
    m_printer.PrintTextJob(m_context, path);
    const auto words = PdfWords(output(QStringLiteral("KOLUMNY.pdf")));
    ASSERT_EQ(words.size(), 4);
    const double cell = 4800.0 / 80 * 72 / 600; // one column in points
    const double left = words[0].box.left();
    // 80 columns fill the printable width: the line is 4800 device pixels wide.
    EXPECT_NEAR(words[0].box.right() - left, 80 * cell, 1.5);
    EXPECT_NEAR(words[1].box.left() - left, 10 * cell, 1.0);
    EXPECT_NEAR(words[2].box.left() - left, 20 * cell, 1.0);
    EXPECT_NEAR(words[3].box.left() - left, 30 * cell, 1.0);
    // The second line is one sixth of an inch lower.
    EXPECT_NEAR(words[1].box.top() - words[0].box.top(), 12.0, 1.0);
}

TEST_F(TextPrinterTest, FivePagesTwoSidedEndWithABlankSixth)
{
    const QString duplex = TestData(QStringLiteral("textprint-duplex5.txt"));
    EXPECT_EQ(m_printer.PrintTextJob(m_context, duplex).outcome, JobResult::Done);
    EXPECT_EQ(PdfPageCount(output(QStringLiteral("textprint-duplex5.pdf"))), 6);
    // The printer's own default (one-sided) is back for the next job.
    EXPECT_EQ(Printer().GetDuplex(), 0);

    // The same pages one-sided: five.
    QByteArray simplex = ReadFile(duplex);
    simplex.replace("<DX+>", "");
    m_printer.PrintTextJob(m_context, job(QStringLiteral("JEDNO.txt"), simplex));
    EXPECT_EQ(PdfPageCount(output(QStringLiteral("JEDNO.pdf"))), 5);
}

TEST_F(TextPrinterTest, PrinterNameThatIsNotInstalledPrintsOnTheDefaultPrinter)
{
    m_context.currentPrinterName = QStringLiteral("HP LaserJet w sekretariacie");
    EXPECT_EQ(m_printer.PrintTextJob(m_context, job(QStringLiteral("INNA.txt"), DosLines({"tekst"}))).outcome,
              JobResult::Done);
    EXPECT_EQ(PdfFilesIn(m_out), QStringList{QStringLiteral("INNA.pdf")});
}

TEST_F(TextPrinterTest, UnreadableJobFileReachesTheCaller)
{
    EXPECT_THROW(m_printer.PrintTextJob(m_context, m_tmp.path() + QStringLiteral("/BRAK.txt")), IoError);
    EXPECT_TRUE(PdfFilesIn(m_out).isEmpty());
}

TEST_F(TextPrinterTest, PrinterThatCannotStartTheDocumentReachesTheCallerWithItsOwnReason)
{
    // The built-in printer's directory is a file: the document cannot begin.
    const QString blocked = m_tmp.path() + QStringLiteral("/plik");
    WriteFile(blocked, "x");
    Printer().setBuiltinDirectory(blocked);
    try {
        m_printer.PrintTextJob(m_context, job(QStringLiteral("A.txt"), DosLines({"<DX+>", "tekst"})));
        FAIL() << "no error";
    } catch (const OutputUnavailable &error) {
        EXPECT_TRUE(error.message().contains(blocked)) << error.message().toStdString();
    }
    EXPECT_EQ(Printer().GetDuplex(), 0);
    EXPECT_FALSE(Printer().printing());
}

TEST_F(TextPrinterTest, FailureWhilePrintingAbortsTellsWhyAndTheNextJobPrints)
{
    // The output directory disappears while the job prints: the finished PDF has nowhere to go.
    int line = 0;
    m_context.quitRequested = [&] {
        if (++line == 3)
            QDir(m_out).removeRecursively();
        return false;
    };
    const JobResult failed = m_printer.PrintTextJob(m_context, job(QStringLiteral("ZNIKA.txt"), DosLines({"a", "b", "c", "d"})));
    // Not the job's fault: the monitor keeps it and prints it again once there is a place.
    EXPECT_EQ(failed.outcome, JobResult::Retry);
    EXPECT_TRUE(failed.detail.contains(QStringLiteral("ZNIKA"))) << failed.detail.toStdString();
    EXPECT_FALSE(Printer().printing());

    m_context.quitRequested = [] { return false; };
    EXPECT_EQ(m_printer.PrintTextJob(m_context, job(QStringLiteral("NASTEPNY.txt"), DosLines({"dalej"}))).outcome,
              JobResult::Done);
    EXPECT_EQ(PdfFilesIn(m_out), QStringList{QStringLiteral("NASTEPNY.pdf")});
}

// A printer that stops taking pages in the middle of a printout: the document is aborted,
// the job fails with the printer's reason, and the printer is set back for the next job
// (the two-sided printing the job asked for is not left on).
TEST_F(TextPrinterTest, APrinterThatFailsPartWayAbortsTheJobAndIsSetBack)
{
    TPrinter own;
    auto log = std::make_shared<FailingPrinter::Log>();
    own.addDevice(QStringLiteral("Awaria"), [log] { return std::make_unique<FailingPrinter>(2, log); });
    TextPrinter printer(m_symbols, own);
    m_context.currentPrinterName = QStringLiteral("Awaria");
    QList<QByteArray> lines{"<DX+>"};
    for (int page = 0; page < 5; ++page)
        lines += {"strona", "<Nstr>"};
    const JobResult result = printer.PrintTextJob(m_context, job(QStringLiteral("AWARIA.txt"), DosLines(lines)));
    EXPECT_EQ(result.outcome, JobResult::Failed);
    EXPECT_EQ(result.detail, QStringLiteral("Wydruk przerwany: drukarka przestała przyjmować strony"));
    EXPECT_EQ(log->begun, 1);
    EXPECT_EQ(log->pages, 2);
    EXPECT_EQ(log->aborted, 1);
    EXPECT_EQ(log->ended, 0);
    EXPECT_FALSE(own.printing());
    EXPECT_EQ(own.GetDuplex(), 0);
    // The shared printer never took part.
    EXPECT_TRUE(PdfFilesIn(m_out).isEmpty());
}

TEST_F(TextPrinterTest, QuittingProgramAbortsThePrintoutCleanly)
{
    int line = 0;
    m_context.quitRequested = [&] { return ++line > 2; };
    const JobResult result = m_printer.PrintTextJob(m_context, job(QStringLiteral("DLUGI.txt"), DosLines(QList<QByteArray>(500, "x"))));
    EXPECT_EQ(result.outcome, JobResult::Failed);
    EXPECT_TRUE(PdfFilesIn(m_out).isEmpty());
    EXPECT_TRUE(QDir(m_out).entryList(QDir::Files | QDir::Hidden).isEmpty()) << "a partial file was left";
    EXPECT_FALSE(Printer().printing());
}

TEST_F(TextPrinterTest, BadBytesAndEndlessLinesStillPrint)
{
    QByteArray every;
    for (int i = 0; i < 256; ++i) {
        if (i != '\n' && i != '\r' && i != 0x1A)
            every.append(char(i));
    }
    QByteArray huge(20000, 'x');
    huge[10] = '\0';
    const JobResult result = m_printer.PrintTextJob(m_context, job(QStringLiteral("BAJTY.txt"), DosLines({every, huge, "koniec"})));
    EXPECT_EQ(result.outcome, JobResult::Done) << result.detail.toStdString();
    EXPECT_TRUE(PdfText(output(QStringLiteral("BAJTY.pdf")), PdfTextLayout::Physical).contains(QStringLiteral("koniec")));
}

TEST_F(TextPrinterTest, AnEndlessLineOfFramesGivesAOnePagePdfOfAPage)
{
    // Four million box characters on one line: crossings and double verticals do not merge.
    QByteArray frames;
    for (int i = 0; i < 1000000; ++i)
        frames += "\xc5\xba\xce\xb3";
    const JobResult result = m_printer.PrintTextJob(m_context, job(QStringLiteral("RAMKI.txt"), DosLines({frames, "koniec"})));
    EXPECT_EQ(result.outcome, JobResult::Done) << result.detail.toStdString();
    const QString pdf = output(QStringLiteral("RAMKI.pdf"));
    EXPECT_EQ(PdfPageCount(pdf), 1);
    EXPECT_LT(QFileInfo(pdf).size(), 20 * 1024);
    EXPECT_TRUE(PdfText(pdf).contains(QStringLiteral("koniec")));
}

TEST_F(TextPrinterTest, RegisteredAsTheHandlerOfPlainTextJobs)
{
    JobHandlers handlers;
    RegisterTextPrintHandler(handlers, m_printer);
    ASSERT_TRUE(handlers.has(jkText));
    EXPECT_EQ(handlers.run(jkText, m_context, job(QStringLiteral("H.txt"), DosLines({"x"}))).outcome, JobResult::Done);
    EXPECT_EQ(PdfFilesIn(m_out), QStringList{QStringLiteral("H.pdf")});
}
