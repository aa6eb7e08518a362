// CUPS queues of a private cupsd: the printer list and default, device mode read from the
// queue's defaults, device mode visible in the PostScript the queue writes, a queue that
// goes away, and submitting existing PDF files.

#include "support/CupsServer.h"
#include "support/PdfTools.h"
#include "devices/TPrinter.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

class CupsPrinterTest : public CupsServerSuite {
protected:
    void SetUp() override
    {
        if (!s_server->running())
            GTEST_SKIP() << "cupsd cannot start here: " << s_server->failure().toStdString();
        QFile::remove(psOut());
        QFile::remove(pdfOut());
    }

    static QString psOut() { return s_server->outputFile(QStringLiteral("ps")); }
    static QString pdfOut() { return s_server->outputFile(QStringLiteral("pdf")); }

    static void addPsQueue(const QString &name, const QStringList &options = {})
    {
        ASSERT_EQ(s_server->addPsQueue(name, options), 0);
    }

    static int indexOf(TPrinter &printer, const QString &name) { return printer.printers().indexOf(name); }

    // Prints two pages on the queue with the given settings; returns the PostScript.
    QByteArray printOnPs(std::uint8_t duplex, int copies)
    {
        TPrinter printer;
        printer.setPrinterIndex(indexOf(printer, QStringLiteral("ps")));
        printer.SetDuplex(duplex);
        printer.setCopies(copies);
        printer.setDocumentName(QStringLiteral("DWUSTRONNIE"));
        printer.beginDoc();
        printer.canvas().textOut(0, 0, "Strona 1");
        printer.newPage();
        printer.canvas().textOut(0, 0, "Strona 2");
        printer.endDoc();
        EXPECT_TRUE(s_server->waitIdle(QStringLiteral("ps")));
        return ReadFile(psOut());
    }

    QTemporaryDir m_tmp;
};

TEST_F(CupsPrinterTest, ListsTheQueuesThenTheBuiltinPrinterAndChoosesTheCupsDefault)
{
    TPrinter printer;
    EXPECT_EQ(printer.printers(), (QStringList{QStringLiteral("pdf"), QStringLiteral("ps"), BuiltinPrinterName()}));
    EXPECT_EQ(InstalledPrinterNames(), printer.printers());
    EXPECT_EQ(DefaultPrinterName(), QStringLiteral("ps"));
    EXPECT_EQ(printer.printers().at(printer.printerIndex()), QStringLiteral("ps"));
    EXPECT_TRUE(printer.hasDeviceMode());
    EXPECT_EQ(printer.dpiY(), 600);
    EXPECT_GT(printer.pageWidth(), 4000);
    EXPECT_GT(printer.pageHeight(), printer.pageWidth());
}

TEST_F(CupsPrinterTest, DuplexAndCopiesReachThePrinter)
{
    const QByteArray longEdge = printOnPs(2, 2);
    EXPECT_TRUE(longEdge.contains("<</Duplex true/Tumble false>>setpagedevice")) << longEdge.left(2000).constData();
    EXPECT_TRUE(longEdge.contains("%RBINumCopies: 2"));
    EXPECT_TRUE(longEdge.contains("%%Pages: 2"));

    const QByteArray shortEdge = printOnPs(1, 1);
    EXPECT_TRUE(shortEdge.contains("<</Duplex true/Tumble true>>setpagedevice"));
    EXPECT_FALSE(shortEdge.contains("%RBINumCopies: 2"));

    const QByteArray simplex = printOnPs(0, 3);
    EXPECT_TRUE(simplex.contains("<</Duplex false>>setpagedevice")) << simplex.left(2000).constData();
    EXPECT_TRUE(simplex.contains("%RBINumCopies: 3"));
}

TEST_F(CupsPrinterTest, DeviceModeStartsFromTheQueueDefaults)
{
    addPsQueue(QStringLiteral("duplex"), {QStringLiteral("Duplex=DuplexNoTumble")});
    addPsQueue(QStringLiteral("tumble"), {QStringLiteral("Duplex=DuplexTumble"),
                                          QStringLiteral("copies-default=2"),
                                          QStringLiteral("orientation-requested-default=4")});
    TPrinter printer;
    printer.setPrinterIndex(indexOf(printer, QStringLiteral("duplex")));
    EXPECT_EQ(printer.GetDuplex(), 2);
    printer.SetDuplex(0);
    EXPECT_EQ(printer.GetDuplex(), 0);
    printer.setPrinterIndex(printer.printerIndex());
    EXPECT_EQ(printer.GetDuplex(), 2);

    printer.setPrinterIndex(indexOf(printer, QStringLiteral("tumble")));
    EXPECT_EQ(printer.GetDuplex(), 1);
    EXPECT_EQ(printer.copies(), 2);
    EXPECT_EQ(printer.orientation(), 1);
    EXPECT_GT(printer.pageWidth(), printer.pageHeight());

    printer.setPrinterIndex(indexOf(printer, QStringLiteral("ps")));
    EXPECT_EQ(printer.GetDuplex(), 0);
    EXPECT_EQ(printer.copies(), 1);
    EXPECT_EQ(printer.orientation(), 0);
}

TEST_F(CupsPrinterTest, AQueueThatGoesAwayFailsWithAPrinterError)
{
    addPsQueue(QStringLiteral("gone"));
    addPsQueue(QStringLiteral("later"));
    TPrinter printer;
    printer.setPrinterIndex(indexOf(printer, QStringLiteral("gone")));
    ASSERT_EQ(s_server->lpadmin({QStringLiteral("-x"), QStringLiteral("gone")}), 0);
    try {
        printer.beginDoc();
        FAIL() << "beginDoc on a removed queue";
    } catch (const PrinterError &e) {
        EXPECT_STREQ(e.what(), "Printer selected is not valid");
    }
    EXPECT_FALSE(printer.printing());
    // Chosen again, the queue has no device mode to offer.
    printer.setPrinterIndex(printer.printerIndex());
    EXPECT_FALSE(printer.hasDeviceMode());
    EXPECT_THROW(printer.setCopies(2), PrinterError);
    EXPECT_THROW(printer.pageWidth(), PrinterError);

    // Gone while the document was being drawn: the end reports it, and the printer is free.
    printer.setPrinterIndex(indexOf(printer, QStringLiteral("later")));
    printer.beginDoc();
    printer.canvas().textOut(0, 0, "tekst");
    ASSERT_EQ(s_server->lpadmin({QStringLiteral("-x"), QStringLiteral("later")}), 0);
    try {
        printer.endDoc();
        FAIL() << "endDoc on a removed queue";
    } catch (const PrinterError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("later"))) << e.what();
    }
    EXPECT_FALSE(printer.printing());
    EXPECT_EQ(printer.pageNumber(), 0);
}

TEST_F(CupsPrinterTest, DefaultQueueMissingFromTheListIsNoDefaultPrinter)
{
    TPrinter printer;
    printer.printers();
    addPsQueue(QStringLiteral("newer"));
    ASSERT_EQ(s_server->lpadmin({QStringLiteral("-d"), QStringLiteral("newer")}), 0);
    try {
        printer.printerIndex();
        ADD_FAILURE() << "the default queue was installed after the list was built";
    } catch (const PrinterError &e) {
        EXPECT_STREQ(e.what(), "There is no default printer currently selected");
    }
    ASSERT_EQ(s_server->lpadmin({QStringLiteral("-d"), QStringLiteral("ps")}), 0);
    EXPECT_EQ(DefaultPrinterName(), QStringLiteral("ps"));
    EXPECT_EQ(printer.printers().at(printer.printerIndex()), QStringLiteral("ps"));
}

TEST_F(CupsPrinterTest, PrintPdfFileReachesTheQueue)
{
    // A document of the built-in printer to submit.
    TPrinter builtin;
    builtin.setBuiltinDirectory(m_tmp.path());
    builtin.setPrinterIndex(indexOf(builtin, BuiltinPrinterName()));
    builtin.setDocumentName(QStringLiteral("ZLECENIE"));
    builtin.beginDoc();
    builtin.canvas().textOut(0, 0, "Zlecenie wydruku");
    builtin.newPage();
    builtin.endDoc();
    const QString pdf = m_tmp.path() + QStringLiteral("/ZLECENIE.pdf");
    ASSERT_TRUE(QFile::exists(pdf));

    EXPECT_TRUE(PrintPdfFile(pdf, QStringLiteral("pdf")));
    ASSERT_TRUE(s_server->waitIdle(QStringLiteral("pdf")));
    EXPECT_EQ(PdfPageCount(pdfOut()), 2);

    // No name: the default queue.
    EXPECT_TRUE(PrintPdfFile(pdf));
    ASSERT_TRUE(s_server->waitIdle(QStringLiteral("ps")));
    EXPECT_TRUE(ReadFile(psOut()).contains("%%Pages: 2"));

    EXPECT_FALSE(PrintPdfFile(pdf, QStringLiteral("brak")));
    EXPECT_FALSE(PrintPdfFile(m_tmp.path() + QStringLiteral("/brak.pdf"), QStringLiteral("pdf")));
}

TEST_F(CupsPrinterTest, AbortedDocumentIsNeverSubmitted)
{
    TPrinter printer;
    printer.setPrinterIndex(indexOf(printer, QStringLiteral("pdf")));
    printer.beginDoc();
    printer.canvas().textOut(0, 0, "porzucony");
    printer.abort();
    ASSERT_TRUE(s_server->waitIdle(QStringLiteral("pdf")));
    EXPECT_FALSE(QFile::exists(pdfOut()));

    printer.setDocumentName(QStringLiteral("CALY"));
    printer.beginDoc();
    printer.canvas().textOut(0, 0, "Ca\xb3y dokument");
    printer.endDoc();
    ASSERT_TRUE(s_server->waitIdle(QStringLiteral("pdf")));
    const QString text = PdfText(pdfOut());
    EXPECT_TRUE(text.contains(QStringLiteral(u"Cały dokument"))) << text.toStdString();
    // Laid out for the queue's paper and printed on it unscaled: the queue has no margins.
    const QList<PdfWord> words = PdfWords(pdfOut());
    ASSERT_FALSE(words.isEmpty());
    EXPECT_NEAR(words.first().box.left(), 0, 1);
    EXPECT_TRUE(RunTool(QStringLiteral("pdfinfo"), {pdfOut()}).contains(QStringLiteral("CALY")));
}

TEST_F(CupsPrinterTest, PagesAreThePaperOfTheQueuesOwnDefault)
{
    ASSERT_EQ(s_server->addPdfQueue(QStringLiteral("pdf-letter"), {QStringLiteral("PageSize=Letter")}), 0);
    ASSERT_EQ(s_server->addPdfQueue(QStringLiteral("pdf-a4"), {QStringLiteral("media-default=iso_a4_210x297mm")}), 0);
    addPsQueue(QStringLiteral("ps-a4"), {QStringLiteral("PageSize=A4")});
    addPsQueue(QStringLiteral("ps-a4-media"), {QStringLiteral("media-default=iso_a4_210x297mm")});
    // Device pixels at 600 dpi of the sizes CUPS gives in hundredths of a millimetre: A4
    // is 20990 x 29704, Letter 21590 x 27940; the generic PostScript printer keeps 4.23 mm
    // margins on every side, the PDF printer none.
    struct Case {
        const char *queue;
        QSize pixels;
        QPointF offset;
        const char *sheet; // what the queue's output says about the page
    };
    const Case cases[] = {
        {"pdf", {4958, 7017}, {0, 0}, "595 x 842 pts"},
        {"pdf-a4", {4958, 7017}, {0, 0}, "595 x 842 pts"},
        {"pdf-letter", {5100, 6600}, {0, 0}, "612 x 792 pts"},
        {"ps-a4", {4758, 6817}, {99.92, 99.92}, "%%HiResBoundingBox: 0 0 595.00 842.00"},
        {"ps-a4-media", {4758, 6817}, {99.92, 99.92}, "%%HiResBoundingBox: 0 0 595.00 842.00"},
        {"ps", {4900, 6400}, {99.92, 99.92}, "%%HiResBoundingBox: 0 0 612.00 792.00"},
    };
    for (const Case &c : cases) {
        const QString queue = QString::fromLatin1(c.queue);
        SCOPED_TRACE(c.queue);
        TPrinter printer;
        printer.setPrinterIndex(indexOf(printer, queue));
        EXPECT_EQ(printer.pageWidth(), c.pixels.width());
        EXPECT_EQ(printer.pageHeight(), c.pixels.height());
        EXPECT_EQ(printer.dpiX(), 600);
        EXPECT_EQ(printer.dpiY(), 600);
        printer.setDocumentName(QStringLiteral("PAPIER"));
        printer.beginDoc();
        printer.canvas().textOut(0, 0, "Papier kolejki");
        printer.endDoc();
        ASSERT_TRUE(s_server->waitIdle(queue));
        const QString out = s_server->outputFile(queue);
        if (queue.startsWith(QStringLiteral("pdf"))) {
            EXPECT_TRUE(PdfPageSize(out).startsWith(QString::fromLatin1(c.sheet))) << PdfPageSize(out).toStdString();
            // Our page, unscaled: the text stands at the printable area's corner.
            const QList<PdfWord> words = PdfWords(out);
            ASSERT_FALSE(words.isEmpty());
            EXPECT_NEAR(words.first().box.left(), Pt(c.offset.x()), 0.5);
        } else {
            const QByteArray ps = ReadFile(out);
            EXPECT_TRUE(ps.contains(c.sheet)) << ps.left(1500).constData();
        }
        QFile::remove(out);
    }
    // Landscape turns the queue's own sheet.
    TPrinter landscape;
    landscape.setPrinterIndex(indexOf(landscape, QStringLiteral("pdf-a4")));
    landscape.setOrientation(1);
    EXPECT_EQ(landscape.pageWidth(), 7017);
    EXPECT_EQ(landscape.pageHeight(), 4958);
}

TEST_F(CupsPrinterTest, DocumentsAreWrittenByOurWriterWithAnyFace)
{
    TPrinter printer;
    printer.setPrinterIndex(indexOf(printer, QStringLiteral("pdf")));
    printer.setDocumentName(QStringLiteral("CZCIONKI"));
    printer.beginDoc();
    int y = 0;
    for (const char *face : {"Courier", "Helvetica", "Times", "Courier New"}) {
        LogFont font;
        font.height = 95;
        font.faceName = QString::fromLatin1(face);
        printer.canvas().setFont(font);
        printer.canvas().textOut(0, y, "Za\xbf\xf3\xb3\xe6 g\xea\x9cl\xb9 ja\x9f\xf1");
        y += 200;
    }
    printer.endDoc();
    ASSERT_TRUE(s_server->waitIdle(QStringLiteral("pdf")));
    EXPECT_EQ(PdfText(pdfOut()).count(QStringLiteral(u"Zażółć gęślą jaźń")), 4) << PdfText(pdfOut()).toStdString();
    const QString fonts = PdfFonts(pdfOut());
    EXPECT_TRUE(fonts.contains(QStringLiteral("NimbusMonoPS-Regular"))) << fonts.toStdString();
    EXPECT_TRUE(fonts.contains(QStringLiteral("LiberationMono"))) << fonts.toStdString();
    EXPECT_TRUE(RunTool(QStringLiteral("pdfinfo"), {pdfOut()}).contains(QRegularExpression(QStringLiteral("Producer: +Ostrevo"))))
        << RunTool(QStringLiteral("pdfinfo"), {pdfOut()}).toStdString();
}

} // namespace
