// A job writes only where it may: hostile PDF_PATH and PDF_FILE values, links planted in
// the shared jobs directory, a PDF folder that is a link, part files left by a killed
// run. The real program, run once per case.

#include "support/ProgramInstall.h"

#include <gtest/gtest.h>

using namespace ostrevo::test;

namespace {

QByteArray PdfJob(const QByteArray &keys)
{
    return "<PDF>\r\n" + keys + "<END>\r\nFaktura nr 1\r\n";
}

} // namespace

TEST(Places, APdfJobWritesOnlyBelowItsDirectoryOrADriveAndReplacesOnlyPdfFiles)
{
    QTemporaryDir outside;
    QTemporaryDir drive;
    const QString victim = outside.filePath(QStringLiteral("victim.conf"));
    WriteFile(victim, "secret=1\n");
    WriteFile(drive.filePath(QStringLiteral("notatki.txt")), "moje notatki\n");
    Install install("Timer=1\r\nMonitorowanie=1\r\n");
    const QString ini = install.home.filePath(QStringLiteral("Ostrevo.ini"));
    WriteFile(ini, ReadFile(ini) + "[Dyski]\r\nF=" + drive.path().toUtf8() + "\r\n");
    const QByteArray iniBefore = ReadFile(ini);

    struct Case {
        const char *name;
        QByteArray keys;
    } refused[] = {
        {"UP", "PDF_FILE=victim.conf\r\nPDF_PATH=..\\..\\" + QFileInfo(outside.path()).fileName().toUtf8() + "\r\n"},
        {"ABSOLUTE", "PDF_FILE=victim.conf\r\nPDF_PATH=" + outside.path().toUtf8() + "\r\n"},
        {"SETTINGS", "PDF_FILE=Ostrevo.ini\r\nPDF_PATH=" + install.home.path().toUtf8() + "\r\n"},
        {"DOTS", "PDF_FILE=..\\..\\victim.conf\r\n"},
        {"NOTES", "PDF_FILE=notatki.txt\r\nPDF_PATH=F:\\\r\n"},
    };
    for (const Case &c : refused)
        install.job(QString::fromLatin1(c.name), PdfJob(c.keys));
    install.job(QStringLiteral("DRIVE"), PdfJob("PDF_FILE=faktura.pdf\r\nPDF_PATH=F:\\\r\n"));
    QByteArray err;
    EXPECT_EQ(install.run({QStringLiteral("--once")}, &err), 0) << err.constData();

    EXPECT_EQ(ReadFile(victim), "secret=1\n");
    EXPECT_EQ(ReadFile(ini), iniBefore);
    EXPECT_EQ(ReadFile(drive.filePath(QStringLiteral("notatki.txt"))), "moje notatki\n");
    EXPECT_TRUE(ReadFile(drive.filePath(QStringLiteral("faktura.pdf"))).startsWith("%PDF-"));
    const QByteArray journal = install.journal();
    for (const Case &c : refused)
        EXPECT_TRUE(journal.contains(QByteArray(c.name) + ".txt\tjkPdf\t") && !journal.contains(QByteArray(c.name) + ".txt\tjkPdf\t0 ms\tOK"))
            << c.name << "\n" << journal.constData();
    EXPECT_EQ(journal.count("ERROR: "), 5) << journal.constData();
    // The jobs ended: their files are gone, nothing is performed twice.
    EXPECT_TRUE(Entries(install.jobs).filter(QStringLiteral(".END")).isEmpty()) << Entries(install.jobs).join(u' ').toStdString();
}

TEST(Places, APdfFolderThatIsALinkKeepsTheJobUntilItIsAFolderAgain)
{
    QTemporaryDir outside;
    Install install("Timer=1\r\nMonitorowanie=1\r\n");
    ASSERT_TRUE(QFile::link(outside.path(), install.jobs + QStringLiteral("/PDF")));
    install.job(QStringLiteral("FV"), PdfJob("PDF_FILE=fv.pdf\r\n"));
    QByteArray err;
    EXPECT_EQ(install.run({QStringLiteral("--once")}, &err), 0) << err.constData();
    EXPECT_TRUE(Entries(outside.path()).isEmpty());
    EXPECT_TRUE(QFile::exists(install.jobs + QStringLiteral("/FV.END"))) << "the job was deleted, not kept";
    EXPECT_TRUE(install.journal().contains("FV.txt\tjkPdf\t")) << install.journal().constData();
    EXPECT_TRUE(install.journal().contains("RETRY: ")) << install.journal().constData();

    QFile::remove(install.jobs + QStringLiteral("/PDF"));
    EXPECT_EQ(install.run({QStringLiteral("--once")}, &err), 0) << err.constData();
    EXPECT_TRUE(ReadFile(install.jobs + QStringLiteral("/PDF/fv.pdf")).startsWith("%PDF-"));
    EXPECT_FALSE(QFile::exists(install.jobs + QStringLiteral("/FV.END")));
}

TEST(Places, PartFilesOfAKilledRunGoAtTheNextPdfJob)
{
    Install install("Timer=1\r\nMonitorowanie=1\r\n");
    QDir().mkpath(install.jobs + QStringLiteral("/PDF"));
    // What a run killed in the middle of a PDF leaves: a part file nobody holds.
    WriteFile(install.jobs + QStringLiteral("/PDF/.ostrevo-a1B2c3.part"), "%PDF-1.4 half");
    install.job(QStringLiteral("FV"), PdfJob("PDF_FILE=fv.pdf\r\n"));
    EXPECT_EQ(install.run({QStringLiteral("--once")}), 0);
    EXPECT_EQ(Entries(install.jobs + QStringLiteral("/PDF")), QStringList{QStringLiteral("fv.pdf")});
}

TEST(Places, LinksPlantedForTablesAndTemplatesAreNotFollowed)
{
    QTemporaryDir outside;
    WriteFile(outside.filePath(QStringLiteral("OBCY.txt")), "<PARAMETERS>\r\nPAGE=1\r\n<END>\r\n");
    Install install("Timer=1\r\nMonitorowanie=1\r\n");
    ASSERT_TRUE(QFile::link(outside.path(), install.jobs + QStringLiteral("/DBF")));
    QDir().mkpath(install.jobs + QStringLiteral("/Wzorzec"));
    ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("OBCY.txt")), install.jobs + QStringLiteral("/Wzorzec/OBCY.txt")));
    install.job(QStringLiteral("KURSY"), "<WALUTA>\r\nROK=2024\r\n<END>\r\n");
    install.job(QStringLiteral("FORMULARZ"), "<PIT>\r\nTEMPLATE=OBCY\r\n<END>\r\n<PAGE1>\r\n<END>\r\n");
    QByteArray err;
    EXPECT_EQ(install.run({QStringLiteral("--once")}, &err), 0) << err.constData();
    EXPECT_EQ(Entries(outside.path()), QStringList{QStringLiteral("OBCY.txt")}) << "a table was written through the link";
    // The rate job's result says NOT in the job's own Errors.
    EXPECT_EQ(ReadFile(install.jobs + QStringLiteral("/Errors/2024.err")), "error=NOT\r\n");
    const QByteArray journal = install.journal();
    EXPECT_TRUE(journal.contains("FORMULARZ.txt\tjkPit\t")) << journal.constData();
    EXPECT_TRUE(journal.contains("brak wzorca OBCY")) << journal.constData();
}

TEST(Places, AnUnmappedDriveIsNamedAsTheJobWroteIt)
{
    Install install("Timer=1\r\nMonitorowanie=1\r\n");
    install.job(QStringLiteral("FV"), PdfJob("PDF_FILE=fv.pdf\r\nPDF_PATH=Q:\\FAKTURY\r\n"));
    auto check = install.start({QStringLiteral("--check"), install.jobs + QStringLiteral("/FV.txt")});
    ASSERT_TRUE(check->waitForFinished(60000));
    const QByteArray report = check->readAllStandardOutput();
    EXPECT_FALSE(report.contains("/dev/null")) << report.constData();
    QByteArray err;
    EXPECT_EQ(install.run({QStringLiteral("--once")}, &err), 0) << err.constData();
    // What the desktop program shows in its box is the error line here.
    EXPECT_TRUE(err.contains("error: Q:\\FAKTURY")) << err.constData();
    EXPECT_FALSE(err.contains("/dev/null")) << err.constData();
    const QByteArray journal = install.journal();
    EXPECT_TRUE(journal.contains("Q:\\FAKTURY")) << journal.constData();
    EXPECT_TRUE(journal.contains("dysk Q: nie ma wpisu w [Dyski] pliku Ostrevo.ini")) << journal.constData();
    EXPECT_FALSE(journal.contains("/dev/null")) << journal.constData();
}
