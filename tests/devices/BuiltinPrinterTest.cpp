// The built-in printer "Ostrevo PDF": its page metrics, one PDF file per document under a
// free name, and nothing left behind by an aborted document.

#include "support/PdfTools.h"
#include "devices/FreeFileName.h"
#include "devices/TPrinter.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

class BuiltinPrinterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tmp.isValid());
        m_dir = m_tmp.path() + QStringLiteral("/wydruki");
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
    printer.setBuiltinDirectory(m_dir);
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
    printer.setBuiltinDirectory(m_dir);
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
    printer.setBuiltinDirectory(m_dir);
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
    printer.setBuiltinDirectory(m_dir);
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
    printer.setBuiltinDirectory(m_dir);
    printPages(printer, QStringLiteral("../../poza"), 1);
    printPages(printer, QString(), 1);
    EXPECT_EQ(Entries(m_dir), (QStringList{QStringLiteral(".._.._poza.pdf"), QStringLiteral("wydruk.pdf")}));
}

TEST_F(BuiltinPrinterTest, UnusableDirectoryFailsTheDocumentNotTheProgram)
{
    // A file where the directory should be.
    WriteFile(m_dir, "zajęte");
    TPrinter printer;
    printer.setBuiltinDirectory(m_dir);
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
    printer.setBuiltinDirectory(m_dir);
    printPages(printer, QStringLiteral("ZRODLO"), 2);
    const QString source = m_tmp.path() + QStringLiteral("/ZRODLO.pdf");
    ASSERT_TRUE(QFile::rename(m_dir + QStringLiteral("/ZRODLO.pdf"), source));

    EXPECT_TRUE(printer.printPdfFile(source));
    EXPECT_TRUE(printer.printPdfFile(source, BuiltinPrinterName()));
    EXPECT_FALSE(printer.printPdfFile(m_tmp.path() + QStringLiteral("/brak.pdf")));
    EXPECT_EQ(Entries(m_dir), (QStringList{QStringLiteral("ZRODLO-2.pdf"), QStringLiteral("ZRODLO.pdf")}));
    EXPECT_EQ(ReadFile(m_dir + QStringLiteral("/ZRODLO-2.pdf")), ReadFile(source));
}

} // namespace

TEST_F(BuiltinPrinterTest, PrintoutsAreForTheUserAndTheGroupOnly)
{
    // Invoices and tax forms: 0640 whatever the umask says.
    const mode_t old = ::umask(022);
    TPrinter printer;
    printer.setBuiltinDirectory(m_dir);
    printPages(printer, QStringLiteral("PIT"), 1);
    ::umask(old);
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(m_dir + QStringLiteral("/PIT.pdf")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

namespace {

QByteArray LinkTarget(const QString &path)
{
    char buf[4096];
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buf, sizeof buf);
    return n < 0 ? QByteArray() : QByteArray(buf, n);
}

} // namespace

TEST_F(BuiltinPrinterTest, ADanglingLinkUnderTheFreeNameIsTakenNotFollowed)
{
    // Another user of the share points the next free names somewhere else.
    ASSERT_TRUE(QDir().mkpath(m_dir));
    const QString elsewhere = m_tmp.path() + QStringLiteral("/elsewhere");
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    const QByteArray target = QFile::encodeName(elsewhere + QStringLiteral("/stolen.pdf"));
    ASSERT_EQ(::symlink(target.constData(), QFile::encodeName(m_dir + QStringLiteral("/FAKTURA.pdf")).constData()), 0);
    ASSERT_EQ(::symlink(target.constData(), QFile::encodeName(m_dir + QStringLiteral("/ZRODLO-2.pdf")).constData()), 0);

    TPrinter printer;
    printer.setBuiltinDirectory(m_dir);
    printPages(printer, QStringLiteral("FAKTURA"), 1);
    printPages(printer, QStringLiteral("ZRODLO"), 1);
    const QString source = m_tmp.path() + QStringLiteral("/ZRODLO.pdf");
    ASSERT_TRUE(QFile::rename(m_dir + QStringLiteral("/ZRODLO.pdf"), source));
    EXPECT_TRUE(printer.printPdfFile(source, BuiltinPrinterName())); // ZRODLO.pdf again
    EXPECT_TRUE(printer.printPdfFile(source, BuiltinPrinterName())); // past the link at ZRODLO-2.pdf

    EXPECT_EQ(Entries(elsewhere), QStringList{});
    EXPECT_EQ(LinkTarget(m_dir + QStringLiteral("/FAKTURA.pdf")), target);
    EXPECT_EQ(LinkTarget(m_dir + QStringLiteral("/ZRODLO-2.pdf")), target);
    EXPECT_EQ(Entries(m_dir), (QStringList{QStringLiteral("FAKTURA-2.pdf"), QStringLiteral("FAKTURA.pdf"),
                                           QStringLiteral("ZRODLO-2.pdf"), QStringLiteral("ZRODLO-3.pdf"),
                                           QStringLiteral("ZRODLO.pdf")}));
    EXPECT_EQ(PdfPageCount(m_dir + QStringLiteral("/FAKTURA-2.pdf")), 1);
    EXPECT_EQ(ReadFile(m_dir + QStringLiteral("/ZRODLO-3.pdf")), ReadFile(source));
}

TEST_F(BuiltinPrinterTest, TheLinkFallbackTakesNoExistingNameEither)
{
    // Where a file system lacks RENAME_NOREPLACE, a hard link does the move.
    ASSERT_TRUE(QDir().mkpath(m_dir));
    const QByteArray part = QFile::encodeName(m_dir + QStringLiteral("/.A-abcdef.part"));
    WriteFile(QFile::decodeName(part), "%PDF-1.4\n");
    const QByteArray target = QFile::encodeName(m_tmp.path() + QStringLiteral("/stolen.pdf"));
    ASSERT_EQ(::symlink(target.constData(), QFile::encodeName(m_dir + QStringLiteral("/A.pdf")).constData()), 0);
    WriteFile(m_dir + QStringLiteral("/B.pdf"), "B");
    const int dirFd = ::open(QFile::encodeName(m_dir).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dirFd, 0);
    EXPECT_EQ(LinkWithoutReplacing(part.constData(), dirFd, "A.pdf"), EEXIST);
    EXPECT_EQ(LinkWithoutReplacing(part.constData(), dirFd, "B.pdf"), EEXIST);
    EXPECT_EQ(LinkWithoutReplacing(part.constData(), dirFd, "A-2.pdf"), 0);
    ::close(dirFd);
    EXPECT_FALSE(QFile::exists(QFile::decodeName(target)));
    EXPECT_EQ(ReadFile(m_dir + QStringLiteral("/B.pdf")), "B");
    EXPECT_EQ(Entries(m_dir), (QStringList{QStringLiteral("A-2.pdf"), QStringLiteral("A.pdf"), QStringLiteral("B.pdf")}));
}

TEST_F(BuiltinPrinterTest, JobNamesUpToTheLongestFileNamePrint)
{
    TPrinter printer;
    printer.setBuiltinDirectory(m_dir);
    for (int length : {243, 247, 251}) {
        const QString name = QString(length - 1, u'd') + QStringLiteral("ż"); // one letter of two bytes
        printPages(printer, name, 1);
        const QString pdf = m_dir + u'/' + name.left(length - 1) + QStringLiteral(".pdf");
        if (length < 251)
            EXPECT_EQ(PdfPageCount(m_dir + u'/' + name + QStringLiteral(".pdf")), 1) << length;
        else // 252 bytes: the two-byte letter gives way to ".pdf"
            EXPECT_EQ(PdfPageCount(pdf), 1) << length;
    }
    // The same long name again makes room for its number.
    const QString name(251, u'e');
    printPages(printer, name, 1);
    printPages(printer, name, 1);
    EXPECT_EQ(PdfPageCount(m_dir + u'/' + name + QStringLiteral(".pdf")), 1);
    EXPECT_EQ(PdfPageCount(m_dir + u'/' + name.left(249) + QStringLiteral("-2.pdf")), 1);
    for (const QString &entry : Entries(m_dir))
        EXPECT_FALSE(entry.endsWith(QStringLiteral(".part"))) << entry.toStdString();
}

TEST_F(BuiltinPrinterTest, StalePartFilesGoLiveOnesAndOthersStay)
{
    ASSERT_TRUE(QDir().mkpath(m_dir + QStringLiteral("/sub")));
    const QString outside = m_tmp.path() + QStringLiteral("/outside.part");
    WriteFile(outside, "keep");
    const QStringList stale = {QStringLiteral(".FAKTURA-abc123.part"), QStringLiteral(".x-ZZZZZZ.part")};
    for (const QString &name : stale)
        WriteFile(m_dir + u'/' + name, "%PDF-1.4 half");
    const QStringList others = {QStringLiteral(".FAKTURA-abc12.part"), QStringLiteral("FAKTURA-abc123.part"),
                                QStringLiteral(".FAKTURA-abc123.pdf"), QStringLiteral(".FAKTURA_abc123.part"),
                                QStringLiteral(".-abc123.part"), QStringLiteral("FAKTURA.pdf")};
    for (const QString &name : others)
        WriteFile(m_dir + u'/' + name, "x");
    WriteFile(m_dir + QStringLiteral("/sub/.B-abcdef.part"), "x");
    ASSERT_EQ(::symlink(QFile::encodeName(outside).constData(),
                        QFile::encodeName(m_dir + QStringLiteral("/.LINK-abcdef.part")).constData()), 0);
    ASSERT_TRUE(QDir().mkpath(m_dir + QStringLiteral("/.DIR-abcdef.part")));
    // A document being written now by another run.
    int error = 0;
    const PartFile live = CreatePartFile(m_dir, QStringLiteral("LIVE"), error);
    ASSERT_GE(live.fd.fd, 0) << error;

    EXPECT_EQ(RemoveStalePartFiles(m_dir), 2);
    EXPECT_EQ(RemoveStalePartFiles(m_tmp.path() + QStringLiteral("/missing")), 0);
    QStringList expected = others;
    expected << QStringLiteral(".DIR-abcdef.part") << QStringLiteral(".LINK-abcdef.part") << QStringLiteral("sub")
             << QFileInfo(live.path).fileName();
    expected.sort();
    EXPECT_EQ(Entries(m_dir), expected);
    EXPECT_EQ(ReadFile(outside), "keep");
    EXPECT_TRUE(QFile::exists(m_dir + QStringLiteral("/sub/.B-abcdef.part")));
}

TEST_F(BuiltinPrinterTest, EachPrinterWritesIntoItsOwnDirectory)
{
    const QString other = m_tmp.path() + QStringLiteral("/inne");
    TPrinter printer;
    printer.setBuiltinDirectory(m_dir);
    TPrinter second;
    second.setBuiltinDirectory(other);
    printPages(printer, QStringLiteral("PIERWSZY"), 1);
    printPages(second, QStringLiteral("DRUGI"), 1);
    EXPECT_EQ(Entries(m_dir), QStringList{QStringLiteral("PIERWSZY.pdf")});
    EXPECT_EQ(Entries(other), QStringList{QStringLiteral("DRUGI.pdf")});

    // A directory set during a document is for the next one.
    printer.setDocumentName(QStringLiteral("BIEZACY"));
    printer.beginDoc();
    printer.setBuiltinDirectory(other);
    printer.endDoc();
    printPages(printer, QStringLiteral("NASTEPNY"), 1);
    EXPECT_EQ(Entries(m_dir), (QStringList{QStringLiteral("BIEZACY.pdf"), QStringLiteral("PIERWSZY.pdf")}));
    EXPECT_EQ(Entries(other), (QStringList{QStringLiteral("DRUGI.pdf"), QStringLiteral("NASTEPNY.pdf")}));
    EXPECT_EQ(printer.builtinDirectory(), other);
}
