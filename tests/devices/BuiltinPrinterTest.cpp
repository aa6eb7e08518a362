// The built-in printer "Ostrevo PDF": its page metrics, one PDF file per document under a
// free name, and nothing left behind by an aborted document.

#include "support/PdfTools.h"
#include "devices/TPrinter.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

class BuiltinPrinterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tmp.isValid());
        m_dir = m_tmp.path() + QStringLiteral("/wydruki");
        SetBuiltinPrinterDirectory(m_dir);
    }

    void printPages(TPrinter &printer, const QString &name, int pages)
    {
        printer.setDocumentName(name);
        printer.beginDoc();
        for (int page = 1; page <= pages; ++page) {
            if (page > 1)
                printer.newPage();
            printer.canvas().textOut(0, 0, "Strona " + QByteArray::number(page));
        }
        printer.endDoc();
    }

    QTemporaryDir m_tmp;
    QString m_dir;
};

TEST_F(BuiltinPrinterTest, IsTheDefaultWithoutCupsAndHasA4At600Dpi)
{
    TPrinter printer;
    ASSERT_EQ(printer.printers(), QStringList{BuiltinPrinterName()});
    EXPECT_EQ(DefaultPrinterName(), BuiltinPrinterName());
    EXPECT_EQ(printer.printerIndex(), 0);
    EXPECT_EQ(printer.dpiX(), 600);
    EXPECT_EQ(printer.dpiY(), 600);
    EXPECT_EQ(printer.pageWidth(), 4800);
    EXPECT_EQ(printer.pageHeight(), 6800);
    EXPECT_EQ(printer.physicalSizeMm(), QSizeF(210, 297));
    EXPECT_TRUE(printer.hasDeviceMode());

    printer.setOrientation(1);
    EXPECT_EQ(printer.pageWidth(), 6800);
    EXPECT_EQ(printer.pageHeight(), 4800);
    // Choosing the printer again brings back its defaults.
    printer.setPrinterIndex(0);
    EXPECT_EQ(printer.pageWidth(), 4800);
    EXPECT_EQ(printer.orientation(), 0);
}

TEST_F(BuiltinPrinterTest, WritesOneFilePerDocumentUnderAFreeName)
{
    TPrinter printer;
    printPages(printer, QStringLiteral("FAKTURA"), 3);
    printPages(printer, QStringLiteral("FAKTURA"), 1);
    printPages(printer, QStringLiteral("FAKTURA"), 2);
    EXPECT_EQ(Entries(m_dir), (QStringList{QStringLiteral("FAKTURA-2.pdf"), QStringLiteral("FAKTURA-3.pdf"),
                                           QStringLiteral("FAKTURA.pdf")}));
    EXPECT_EQ(PdfPageCount(m_dir + QStringLiteral("/FAKTURA.pdf")), 3);
    EXPECT_EQ(PdfPageCount(m_dir + QStringLiteral("/FAKTURA-2.pdf")), 1);
    EXPECT_EQ(PdfPageCount(m_dir + QStringLiteral("/FAKTURA-3.pdf")), 2);
    EXPECT_TRUE(PdfPageSize(m_dir + QStringLiteral("/FAKTURA.pdf")).contains(QStringLiteral("A4")));
    EXPECT_EQ(PdfText(m_dir + QStringLiteral("/FAKTURA.pdf")).count(QStringLiteral("Strona")), 3);
    // Compressed content streams.
    EXPECT_TRUE(ReadFile(m_dir + QStringLiteral("/FAKTURA.pdf")).contains("/FlateDecode"));
}

TEST_F(BuiltinPrinterTest, LandscapeDocumentsHaveLandscapePages)
{
    TPrinter printer;
    printer.setOrientation(1);
    printPages(printer, QStringLiteral("POZIOMO"), 2);
    const QString pdf = m_dir + QStringLiteral("/POZIOMO.pdf");
    EXPECT_TRUE(PdfPageSize(pdf).startsWith(QStringLiteral("842 x 595"))) << PdfPageSize(pdf).toStdString();
    // The printable area's corner moves with the sheet.
    const QList<PdfWord> words = PdfWords(pdf);
    ASSERT_FALSE(words.isEmpty());
    EXPECT_NEAR(words.first().box.left(), (297 / 25.4 * 600 - 6800) / 2 * 72 / 600, 0.5);
}

TEST_F(BuiltinPrinterTest, AbortedDocumentLeavesNoFile)
{
    TPrinter printer;
    printer.setDocumentName(QStringLiteral("RAPORT"));
    printer.beginDoc();
    printer.canvas().textOut(100, 100, "niedoko\xf1" "czony");
    printer.newPage();
    printer.abort();
    EXPECT_FALSE(printer.printing());
    EXPECT_EQ(printer.pageNumber(), 0);
    EXPECT_EQ(Entries(m_dir), QStringList{});

    // The next document is unaffected and takes the plain name.
    printPages(printer, QStringLiteral("RAPORT"), 1);
    EXPECT_EQ(Entries(m_dir), QStringList{QStringLiteral("RAPORT.pdf")});
}

TEST_F(BuiltinPrinterTest, DocumentNamesCannotLeaveTheDirectory)
{
    TPrinter printer;
    printPages(printer, QStringLiteral("../../poza"), 1);
    printPages(printer, QString(), 1);
    EXPECT_EQ(Entries(m_dir), (QStringList{QStringLiteral(".._.._poza.pdf"), QStringLiteral("wydruk.pdf")}));
}

TEST_F(BuiltinPrinterTest, UnusableDirectoryFailsTheDocumentNotTheProgram)
{
    // A file where the directory should be.
    WriteFile(m_dir, "zajęte");
    TPrinter printer;
    try {
        printer.beginDoc();
        FAIL() << "beginDoc should fail";
    } catch (const OutputUnavailable &e) {
        EXPECT_TRUE(e.message().contains(m_dir)) << e.what();
    }
    EXPECT_FALSE(printer.printing());
    EXPECT_THROW(printer.canvas().textOut(0, 0, "x"), PrinterError);
}

TEST_F(BuiltinPrinterTest, PrintPdfFileCopiesIntoTheDirectory)
{
    TPrinter printer;
    printPages(printer, QStringLiteral("ZRODLO"), 2);
    const QString source = m_tmp.path() + QStringLiteral("/ZRODLO.pdf");
    ASSERT_TRUE(QFile::rename(m_dir + QStringLiteral("/ZRODLO.pdf"), source));

    EXPECT_TRUE(PrintPdfFile(source));
    EXPECT_TRUE(PrintPdfFile(source, BuiltinPrinterName()));
    EXPECT_FALSE(PrintPdfFile(m_tmp.path() + QStringLiteral("/brak.pdf")));
    EXPECT_EQ(Entries(m_dir), (QStringList{QStringLiteral("ZRODLO-2.pdf"), QStringLiteral("ZRODLO.pdf")}));
    EXPECT_EQ(ReadFile(m_dir + QStringLiteral("/ZRODLO-2.pdf")), ReadFile(source));
}

} // namespace

TEST_F(BuiltinPrinterTest, PrintoutsAreForTheUserAndTheGroupOnly)
{
    // Invoices and tax forms: 0640 whatever the umask says.
    const mode_t old = ::umask(022);
    TPrinter printer;
    printPages(printer, QStringLiteral("PIT"), 1);
    ::umask(old);
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(m_dir + QStringLiteral("/PIT.pdf")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}
