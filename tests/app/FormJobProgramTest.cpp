// <PIT> form jobs through the real program (--once): a form printed on the built-in
// printer from a template in Wzorzec/, and bad forms that fail alone, each with its
// reason in the journal, while the jobs beside them are performed.

#include "support/BarcodeReader.h"
#include "support/PdfTools.h"
#include "support/ProgramInstall.h"

#include <gtest/gtest.h>

using namespace ostrevo::test;

namespace {

QByteArray JournalLineOf(const QByteArray &journal, const QByteArray &job)
{
    for (const QByteArray &line : journal.split('\n'))
        if (line.contains(job + ".txt\t"))
            return line;
    return {};
}

} // namespace

TEST(FormJobProgram, FormsArePrintedAndBadOnesFailAloneWithTheirReason)
{
    Install install;
    QDir(install.home.path()).mkpath(QStringLiteral("Wzorzec"));
    WriteFile(install.home.filePath(QStringLiteral("Wzorzec/PIT11.txt")),
              DosLines({"<PARAMETERS>", "PAGE=1", "<END>", "<PAGE1>", "B(1,20,20,120,30,0)", "BX(2,20,50,90,80)",
                        "<END>"}));
    // The template's name in another letter case, as a DOS program writes it.
    install.job(QStringLiteral("DOBRY"), DosLines({"<PIT>", "TEMPLATE=pit11", "<END>", "<PAGE1>", "T1(1,1)",
                                                   "Kowalski Jan", "K(2)", "5901234123457", "<END>"}));
    install.job(QStringLiteral("KOD"), DosLines({"<PIT>", "TEMPLATE=PIT11", "<END>", "<PAGE1>", "K(2)",
                                                 "590123412345678", "<END>"}));
    install.job(QStringLiteral("BOX"), DosLines({"<PIT>", "TEMPLATE=PIT11", "<END>", "<PAGE1>",
                                                 "BX(2000000000,1,1,2,2)", "<END>"}));

    QByteArray err;
    EXPECT_EQ(install.run({QStringLiteral("--once")}, &err), 0) << err.constData();
    EXPECT_TRUE(Entries(install.jobs).isEmpty()) << Entries(install.jobs).join(u' ').toStdString();
    const QByteArray journal = install.journal();

    const QByteArray good = JournalLineOf(journal, "DOBRY");
    EXPECT_TRUE(good.contains("\tjkPit\t") && good.contains("\tOK: stron: 1")) << journal.constData();
    const QString pdf = install.home.filePath(QStringLiteral("out/DOBRY.pdf"));
    EXPECT_TRUE(PdfText(pdf).contains(QStringLiteral("Kowalski Jan")));
    EXPECT_EQ(DecodeEan13InPdf(pdf, 1), QStringList{QStringLiteral("5901234123457")});

    EXPECT_TRUE(JournalLineOf(journal, "KOD").contains("\tFAILED: ")) << journal.constData();
    EXPECT_TRUE(JournalLineOf(journal, "KOD").contains("Invalid Text len (EAN13)")) << journal.constData();
    // A box number that would need gigabytes of table: refused before anything prints.
    EXPECT_FALSE(JournalLineOf(journal, "BOX").contains("\tOK")) << journal.constData();
    EXPECT_EQ(PdfFilesIn(install.home.filePath(QStringLiteral("out"))), QStringList{QStringLiteral("DOBRY.pdf")});
}
