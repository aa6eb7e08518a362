// ostrevo --preview and --check as the user runs them: the real program on real job
// files, its report read back line by line, its PDF read back with poppler and laid
// beside what the monitor itself makes of the same job.

#include "support/BarcodeReader.h"
#include "support/PdfTools.h"
#include "support/ProgramInstall.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace ostrevo::test;

namespace {

struct Report {
    int code = -1;
    QString out;
    QByteArray err;
    QStringList lines() const { return out.split(u'\n', Qt::SkipEmptyParts); }
    // The report lines that begin with `key`.
    QStringList with(const QString &key) const { return lines().filter(QRegularExpression(u'^' + key)); }
    QString value(const QString &key) const
    {
        const QStringList found = with(key + QStringLiteral(": "));
        return found.isEmpty() ? QString() : found.first().mid(key.size() + 2);
    }
};

Report Preview(const Install &install, const QStringList &args)
{
    auto p = install.start(args);
    p->waitForFinished(60000);
    Report run;
    run.code = p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
    run.out = QString::fromUtf8(p->readAllStandardOutput());
    run.err = p->readAllStandardError();
    return run;
}

// Every file below a directory with its bytes, to show that nothing changed there.
QMap<QString, QByteArray> Snapshot(const QString &dir)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(dir, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(path.mid(dir.size()), QFileInfo(path).isDir() ? QByteArray("<dir>") : ReadFile(path));
    }
    return files;
}

void ExpectSameLayout(const QString &preview, const QString &printed)
{
    EXPECT_EQ(PdfPageCount(preview), PdfPageCount(printed));
    const QList<PdfWord> a = PdfWords(preview);
    const QList<PdfWord> b = PdfWords(printed);
    ASSERT_EQ(a.size(), b.size());
    ASSERT_FALSE(a.isEmpty());
    for (qsizetype i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].text, b[i].text);
        EXPECT_NEAR(a[i].box.left(), b[i].box.left(), 0.01) << a[i].text.toStdString();
        EXPECT_NEAR(a[i].box.top(), b[i].box.top(), 0.01) << a[i].text.toStdString();
        EXPECT_NEAR(a[i].box.right(), b[i].box.right(), 0.01) << a[i].text.toStdString();
    }
    EXPECT_EQ(RunTool(QStringLiteral("pdfinfo"), {preview}).contains(QStringLiteral("A4")),
              RunTool(QStringLiteral("pdfinfo"), {printed}).contains(QStringLiteral("A4")));
}

const QByteArray Wide100 = QByteArray(100, 'X');

} // namespace

TEST(PreviewProgram, PrintoutReportNamesEveryWarningWithItsLines)
{
    Install install;
    const QByteArray job = DosLines({
        "FAKTURA VAT nr 12/2026 <2xg>wa\xbe" "ne<1xG>",    // 1: a symbol in the wrong letters
        "Kwota: 100,00 z\x88 <Z120>",                       // 2: no such pitch
        "\x1b" "E druk \x81 pogrubiony",                    // 3: an escape byte, a byte with no glyph
        Wide100,                                            // 4: 100 columns at 80
        "<Z132>" + QByteArray(140, 'y'),                    // 5: 140 at 132
        "\xc9\xcd\xcd\xbb  ramka",                          // 6: a frame: nothing to say
        "<2xg>koniec",                                      // 7: the same unknown symbol again
    });
    WriteFile(install.jobs + QStringLiteral("/FAKT.txt"), job);
    const Report run = Preview(install, {QStringLiteral("--preview"), install.jobs + QStringLiteral("/FAKT.txt")});
    ASSERT_EQ(run.code, 0) << run.out.toStdString() << run.err.constData();

    EXPECT_EQ(run.value(QStringLiteral("Rodzaj")), QStringLiteral("wydruk tekstowy (jkText)"));
    EXPECT_EQ(run.value(QStringLiteral("Drukarka")), QStringLiteral("Ostrevo PDF"));
    EXPECT_EQ(run.value(QStringLiteral("Katalog")), QStringLiteral("monitorowany katalog 1 (%1)").arg(install.jobs));
    EXPECT_EQ(run.value(QStringLiteral("Dwustronnie")), QStringLiteral("nie"));
    EXPECT_EQ(run.value(QStringLiteral("Stron")), QStringLiteral("1"));
    // Not beside the job, where previews would pile up in the monitored directory.
    const QString pdf = install.previewOf(QStringLiteral("FAKT"));
    EXPECT_EQ(run.value(QStringLiteral("Podgląd")), pdf);

    const QStringList warnings = run.with(QStringLiteral("Ostrzeżenie: "));
    EXPECT_EQ(run.value(QStringLiteral("Ostrzeżenia")), QString::number(warnings.size()));
    const QStringList expected = {
        QStringLiteral("Ostrzeżenie: wiersze 1, 7: nieznany symbol <2xg> wydrukowany jako tekst (symbol to <2xG>: "
                       "wielkość liter ma znaczenie)"),
        QStringLiteral("Ostrzeżenie: wiersz 2: nieznany symbol <Z120> wydrukowany jako tekst"),
        QStringLiteral("Ostrzeżenie: wiersz 3: bajt 0x1B nie ma znaku w czcionce wydruku: na papierze wychodzi w jego miejscu pusty prostokąt"),
        QStringLiteral("Ostrzeżenie: wiersz 3: bajt 0x81 nie ma znaku w czcionce wydruku: na papierze wychodzi w jego miejscu pusty prostokąt"),
        QStringLiteral("Ostrzeżenie: wiersz 4: tekst wychodzi poza stronę przy 80 kolumnach (sięga 100. kolumny)"),
        QStringLiteral("Ostrzeżenie: wiersz 5: tekst wychodzi poza stronę przy 132 kolumnach (sięga 140. kolumny)"),
    };
    EXPECT_EQ(warnings, expected) << run.out.toStdString();

    // What the preview shows is the printout: the unknown symbols as text, Polish letters.
    const QString text = PdfText(pdf);
    EXPECT_TRUE(text.contains(QStringLiteral("<2xg>ważne"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("100,00 zł <Z120>"))) << text.toStdString();
}

TEST(PreviewProgram, PreviewIsLaidOutAsTheMonitorPrintsIt)
{
    Install install;
    QList<QByteArray> lines = {"<DX+>Zestawienie <2xG>miesi\xa9" "czne<1xG>", "<M10>od marginesu",
                               "<1/8\">osiem wierszy na cal", "<Z132>" + QByteArray(132, 'k'), "<Z80><2xH>Wysoki<1xH> tekst",
                               "\xda\xc4\xc4\xbf", "\xc0\xc4\xc4\xd9", "tekst<Nstr>", "druga strona"};
    for (int i = 0; i < 70; ++i)
        lines.append("wiersz " + QByteArray::number(i));
    const QByteArray job = DosLines(lines);
    WriteFile(install.home.filePath(QStringLiteral("ZEST.txt")), job);
    const QString preview = install.home.filePath(QStringLiteral("zestaw.pdf"));
    const Report run = Preview(install, {QStringLiteral("--preview"), install.home.filePath(QStringLiteral("ZEST.txt")), preview});
    ASSERT_EQ(run.code, 0) << run.out.toStdString() << run.err.constData();
    // Two-sided: four pages fill two sheets; a fifth would get a blank one.
    EXPECT_EQ(run.value(QStringLiteral("Dwustronnie")), QStringLiteral("tak, wzdłuż dłuższej krawędzi"));
    EXPECT_EQ(run.value(QStringLiteral("Stron")), QString::number(PdfPageCount(preview)));

    install.job(QStringLiteral("ZEST"), job);
    ASSERT_EQ(install.run({QStringLiteral("--once")}), 0);
    ExpectSameLayout(preview, install.home.filePath(QStringLiteral("out/ZEST.pdf")));
}

TEST(PreviewProgram, PdfJobIsLaidOutAsItsJobWritesItAndMailsNothing)
{
    Install install;
    const QByteArray header = "<PDF>\r\nPDF_FILE=FV-7.pdf\r\nT_MAIL=Faktura 7\r\nPDF_FILLE=x\r\n";
    QList<QByteArray> lines = {"Faktura nr 7 <2xG>pogrubiona<1xG>", "<MAIL_BODY>", "tre\xa6\x86 listu", "<END>",
                               "<Z96>" + QByteArray(100, 'w'), "\xc9\xcd\xcd\xbb"};
    for (int i = 0; i < 60; ++i)
        lines.append("pozycja " + QByteArray::number(i));
    const QByteArray body = "<END>\r\n" + DosLines(lines);
    const QString jobPath = install.jobs + QStringLiteral("/FV7.txt");
    WriteFile(jobPath, header + "A_MAIL=klient@firma.pl\r\n" + body);
    const auto before = Snapshot(install.home.path());
    const Report run = Preview(install, {QStringLiteral("--preview"), jobPath});
    ASSERT_EQ(run.code, 0) << run.out.toStdString() << run.err.constData();
    EXPECT_EQ(run.value(QStringLiteral("Rodzaj")), QStringLiteral("wydruk do pliku PDF (jkPdf)"));
    EXPECT_EQ(run.value(QStringLiteral("Plik PDF zadania")),
              install.jobs + QStringLiteral("/PDF/FV-7.pdf (podgląd go nie zapisuje)"));
    EXPECT_TRUE(run.value(QStringLiteral("Poczta")).startsWith(QStringLiteral("do klient@firma.pl, temat „Faktura 7”")))
        << run.out.toStdString();
    EXPECT_EQ(run.with(QStringLiteral("Ostrzeżenie: ")),
              QStringList({QStringLiteral("Ostrzeżenie: nieznany klucz PDF_FILLE w nagłówku <PDF>: pominięty"),
                           QStringLiteral("Ostrzeżenie: wiersz 11: tekst wychodzi poza stronę przy 96 kolumnach "
                                          "(sięga 100. kolumny)")}))
        << run.out.toStdString();
    // Only the preview was written: no PDF folder, no result file, no journal.
    EXPECT_EQ(Snapshot(install.home.path()), before);
    const QString preview = install.previewOf(QStringLiteral("FV7"));
    EXPECT_TRUE(QFileInfo::exists(preview));

    // The job itself, without the address, writes the same pages.
    install.job(QStringLiteral("FV7"), header + body);
    ASSERT_EQ(install.run({QStringLiteral("--once")}), 0);
    ExpectSameLayout(preview, install.jobs + QStringLiteral("/PDF/FV-7.pdf"));
}

TEST(PreviewProgram, TagBelowTheFirstLineIsNamed)
{
    Install install;
    // A blank line before the tag is no significant line; a line of spaces is one.
    WriteFile(install.jobs + QStringLiteral("/A.txt"), DosLines({"", "   ", "// komentarz", "<pdf>", "PDF_FILE=a.pdf", "<END>"}));
    const Report run = Preview(install, {QStringLiteral("--check"), install.jobs + QStringLiteral("/A.txt")});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.value(QStringLiteral("Rodzaj")), QStringLiteral("wydruk tekstowy (jkText)"));
    EXPECT_EQ(run.with(QStringLiteral("Ostrzeżenie: ")).value(0),
              QStringLiteral("Ostrzeżenie: wiersz 4: znacznik <PDF> nie stoi w pierwszym znaczącym wierszu: plik "
                             "zostanie wydrukowany jako tekst, razem ze znacznikiem"));
}

// Polish letters at Mazovia's bytes are named; the same words in CP852 are not.
TEST(PreviewProgram, CheckNamesAPrintoutWrittenInMazovia)
{
    Install install;
    WriteFile(install.jobs + QStringLiteral("/M.txt"), DosLines({"Za\xa7\xa2\x92\x8d g\x91\x9el\x86 ja\xa6\xa4"}));
    WriteFile(install.jobs + QStringLiteral("/L.txt"), DosLines({"Za\xbe\xa2\x88\x86 g\xa9\x98l\xa5 ja\xab\xe4"}));
    const Report mazovia = Preview(install, {QStringLiteral("--check"), install.jobs + QStringLiteral("/M.txt")});
    EXPECT_EQ(mazovia.with(QStringLiteral("Ostrzeżenie: polskie litery stoją na miejscach strony kodowej Mazowia")).size(), 1)
        << mazovia.out.toStdString();
    const Report latin2 = Preview(install, {QStringLiteral("--check"), install.jobs + QStringLiteral("/L.txt")});
    EXPECT_TRUE(latin2.with(QStringLiteral("Ostrzeżenie: polskie litery")).isEmpty()) << latin2.out.toStdString();
}

TEST(PreviewProgram, CheckPrintsTheReportAndWritesNothing)
{
    Install install;
    install.job(QStringLiteral("JOB"), DosLines({"tekst", Wide100}));
    const auto before = Snapshot(install.home.path());
    const Report run = Preview(install, {QStringLiteral("--check"), install.jobs + QStringLiteral("/JOB.txt")});
    EXPECT_EQ(run.code, 0) << run.out.toStdString();
    EXPECT_EQ(run.value(QStringLiteral("Stron")), QStringLiteral("1"));
    EXPECT_TRUE(run.value(QStringLiteral("Podgląd")).isEmpty());
    EXPECT_EQ(run.with(QStringLiteral("Ostrzeżenie: wiersz 2: tekst wychodzi poza stronę")).size(), 1);
    // The marker is there, yet nothing was performed or deleted.
    EXPECT_EQ(Snapshot(install.home.path()), before);
}

TEST(PreviewProgram, PrinterComesFromTheJobsDirectory)
{
    Install install("Timer=1\r\nMonitorowanie2=1\r\nDrukarka2=Nie Ma Takiej\r\nKatalog2=drugi\r\n");
    QDir(install.home.path()).mkdir(QStringLiteral("drugi"));
    const QByteArray job = DosLines({"tekst"});
    // Directory 2, named relative to the program directory, reached through a link.
    WriteFile(install.home.filePath(QStringLiteral("drugi/A.txt")), job);
    ASSERT_TRUE(QFile::link(install.home.filePath(QStringLiteral("drugi")), install.home.filePath(QStringLiteral("link"))));
    Report run = Preview(install, {QStringLiteral("--check"), install.home.filePath(QStringLiteral("link/A.txt"))});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.value(QStringLiteral("Katalog")),
              QStringLiteral("monitorowany katalog 2 (%1)").arg(install.home.filePath(QStringLiteral("drugi"))));
    EXPECT_EQ(run.value(QStringLiteral("Drukarka")),
              QStringLiteral("Ostrevo PDF (domyślna: drukarka Nie Ma Takiej nie jest zainstalowana)"));

    // Outside both: the default printer.
    WriteFile(install.home.filePath(QStringLiteral("B.txt")), job);
    run = Preview(install, {QStringLiteral("--check"), install.home.filePath(QStringLiteral("B.txt"))});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.value(QStringLiteral("Katalog")), QStringLiteral("%1 nie jest monitorowany").arg(install.home.path()));
    EXPECT_EQ(run.value(QStringLiteral("Drukarka")),
              QStringLiteral("Ostrevo PDF (domyślna: plik nie leży w monitorowanym katalogu)"));
}

TEST(PreviewProgram, BadInputEndsNonZeroAndTouchesNothing)
{
    Install install;
    const QString jobs = install.jobs;
    WriteFile(jobs + QStringLiteral("/FTP.txt"), "<FTP>\r\nFILE=a.txt\r\n<END>\r\n");
    WriteFile(jobs + QStringLiteral("/MAIL.txt"), "<MAIL>\r\nT_MAIL=x\r\n<END>\r\n");
    WriteFile(jobs + QStringLiteral("/EMPTY.txt"), "// tylko komentarz\r\n\r\n");
    WriteFile(jobs + QStringLiteral("/image.txt"), QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    WriteFile(jobs + QStringLiteral("/nul.txt"), QByteArray("tekst\0tekst\r\n", 13));
    WriteFile(jobs + QStringLiteral("/GOOD.txt"), DosLines({"dobry"}));
    WriteFile(jobs + QStringLiteral("/notes.doc"), "notatki, nie PDF\r\n");
    QDir(jobs).mkdir(QStringLiteral("katalog.txt"));
    ASSERT_TRUE(QFile::link(OstrevoBinary(), jobs + QStringLiteral("/program.txt")));
    const auto before = Snapshot(install.home.path());

    struct Case {
        QStringList args;
        int code;
        QString error; // the start of the "Błąd: " line
    };
    const QString good = jobs + QStringLiteral("/GOOD.txt");
    const QList<Case> cases = {
        {{QStringLiteral("--check"), jobs + QStringLiteral("/NOTHERE.txt")}, 3, QStringLiteral("Nie można otworzyć pliku")},
        {{QStringLiteral("--check"), jobs + QStringLiteral("/katalog.txt")}, 3, QStringLiteral("Nie można otworzyć pliku")},
        // A link is not followed, as the monitor follows none.
        {{QStringLiteral("--check"), jobs + QStringLiteral("/program.txt")}, 3, QStringLiteral("Nie można otworzyć pliku")},
        {{QStringLiteral("--check"), OstrevoBinary()}, 4, OstrevoBinary() + QStringLiteral(" nie jest plikiem zadania: to plik typu application/x-")},
        {{QStringLiteral("--check"), jobs + QStringLiteral("/image.txt")}, 4, jobs + QStringLiteral("/image.txt nie jest plikiem zadania: to plik PNG (image/png)")},
        {{QStringLiteral("--preview"), jobs + QStringLiteral("/nul.txt")}, 4, jobs + QStringLiteral("/nul.txt nie jest plikiem zadania: zawiera bajty 0x00")},
        {{QStringLiteral("--preview"), jobs + QStringLiteral("/EMPTY.txt")}, 4, QStringLiteral("plik nie ma ani jednego znaczącego wiersza")},
        {{QStringLiteral("--preview"), jobs + QStringLiteral("/FTP.txt")}, 5, QStringLiteral("podgląd obejmuje tylko wydruki tekstowe (bez znacznika), zadania <PDF> i formularze <PIT>")},
        {{QStringLiteral("--preview"), jobs + QStringLiteral("/MAIL.txt")}, 5, QStringLiteral("podgląd obejmuje tylko")},
        // The preview never goes over the job, nor over a file that is not a PDF.
        {{QStringLiteral("--preview"), good, good}, 6, good + QStringLiteral(" to plik zadania")},
        {{QStringLiteral("--preview"), good, jobs + QStringLiteral("/notes.doc")}, 6, jobs + QStringLiteral("/notes.doc istnieje i nie jest plikiem PDF")},
        {{QStringLiteral("--preview"), good, jobs + QStringLiteral("/nie/ma/x.pdf")}, 6, QStringLiteral("katalog ") + jobs + QStringLiteral("/nie/ma nie istnieje")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const Report run = Preview(install, c.args);
        EXPECT_EQ(run.code, c.code) << run.out.toStdString();
        EXPECT_TRUE(run.value(QStringLiteral("Błąd")).startsWith(c.error)) << run.out.toStdString();
    }
    EXPECT_EQ(Snapshot(install.home.path()), before);

    for (const QStringList &args : {QStringList{QStringLiteral("--preview")}, QStringList{QStringLiteral("--check"), good, QStringLiteral("--once")},
                                    QStringList{QStringLiteral("--check"), good, QStringLiteral("x.pdf")}}) {
        const Report run = Preview(install, args);
        EXPECT_EQ(run.code, 2) << args.join(u' ').toStdString();
    }
}

TEST(PreviewProgram, RunsBesideARunningMonitorAndReplacesOnlyItsOwnPreview)
{
    Install install("Timer=1\r\nMonitorowanie=0\r\n");
    auto monitor = install.start({QStringLiteral("--headless")});
    QByteArray log;
    ASSERT_TRUE(WaitFor([&] {
        monitor->waitForReadyRead(100);
        log += monitor->readAllStandardError();
        return log.contains("running: ") || monitor->state() == QProcess::NotRunning;
    })) << log.constData();
    ASSERT_EQ(monitor->state(), QProcess::Running) << log.constData();

    const QString job = install.jobs + QStringLiteral("/A.txt");
    WriteFile(job, DosLines({"pierwsza wersja"}));
    Report run = Preview(install, {QStringLiteral("--preview"), job});
    EXPECT_EQ(run.code, 0) << run.out.toStdString() << run.err.constData();
    WriteFile(job, DosLines({"druga wersja"}));
    run = Preview(install, {QStringLiteral("--preview"), job});
    EXPECT_EQ(run.code, 0) << run.out.toStdString();
    EXPECT_TRUE(PdfText(install.previewOf(QStringLiteral("A"))).contains(QStringLiteral("druga wersja")));
    // No part file is left beside it, and nothing in the monitored directory.
    EXPECT_EQ(Entries(QFileInfo(install.previewOf(QStringLiteral("A"))).absolutePath()), QStringList({QStringLiteral("A-podglad.pdf")}));
    EXPECT_EQ(Entries(install.jobs), QStringList({QStringLiteral("A.txt")}));
    monitor->terminate();
    monitor->waitForFinished(10000);
}

TEST(PreviewProgram, FormForThePrinterIsLaidOutAsPrintedAndNamesWhatIsMissing)
{
    Install install;
    QDir(install.home.path()).mkpath(QStringLiteral("Wzorzec"));
    WriteFile(install.home.filePath(QStringLiteral("Wzorzec/PIT11.txt")),
              DosLines({"<PARAMETERS>", "PAGE=1", "<END>", "<PAGE1>", "B(1,20,20,120,30,0)", "BX(2,20,50,90,80)",
                        "<END>"}));
    // Box 3 is in the table (the job names it) but the template draws no box for it.
    const QByteArray job = DosLines({"<PIT>", "TEMPLATE=pit11", "<END>", "<PAGE1>", "T1(1,1)", "Kowalski Jan",
                                     "T1(3,1)", "bez pola", "<END>"});
    WriteFile(install.jobs + QStringLiteral("/PIT.txt"), job);
    const QString preview = install.home.filePath(QStringLiteral("pit.pdf"));
    const Report run = Preview(install, {QStringLiteral("--preview"), install.jobs + QStringLiteral("/PIT.txt"), preview});
    ASSERT_EQ(run.code, 0) << run.out.toStdString() << run.err.constData();
    EXPECT_EQ(run.value(QStringLiteral("Rodzaj")), QStringLiteral("formularz na drukarkę (jkPit)"));
    EXPECT_EQ(run.value(QStringLiteral("Wzorzec")), install.home.filePath(QStringLiteral("Wzorzec/PIT11.txt")));
    EXPECT_EQ(run.value(QStringLiteral("Stron")), QStringLiteral("1"));
    EXPECT_EQ(run.with(QStringLiteral("Ostrzeżenie: ")),
              QStringList{QStringLiteral("Ostrzeżenie: %1, wiersz 7: tekst w polu 3, którego wzorzec nie wyznacza "
                                         "(ani B, ani BX)")
                              .arg(install.jobs + QStringLiteral("/PIT.txt"))})
        << run.out.toStdString();

    install.job(QStringLiteral("PIT"), job);
    ASSERT_EQ(install.run({QStringLiteral("--once")}), 0);
    ExpectSameLayout(preview, install.home.filePath(QStringLiteral("out/PIT.pdf")));

    // Without its template the job would print nothing: that is no preview.
    WriteFile(install.jobs + QStringLiteral("/BRAK.txt"), DosLines({"<PIT>", "TEMPLATE=PIT99", "<END>"}));
    const Report missing = Preview(install, {QStringLiteral("--preview"), install.jobs + QStringLiteral("/BRAK.txt")});
    EXPECT_EQ(missing.code, 6);
    EXPECT_TRUE(missing.value(QStringLiteral("Błąd")).startsWith(QStringLiteral("nie ma wzorca „PIT99”")))
        << missing.out.toStdString();
    EXPECT_FALSE(QFileInfo::exists(install.previewOf(QStringLiteral("BRAK"))));
}

TEST(PreviewProgram, TurnedFormPagesGoIntoTheOnePreview)
{
    Install install;
    QDir(install.home.path()).mkpath(QStringLiteral("Wzorzec"));
    QList<QByteArray> form{"<PARAMETERS>", "PAGE=3", "<END>"};
    QList<QByteArray> job{"<PIT>", "TEMPLATE=WZOR", "DUPLEX=1", "<END>"};
    for (int n = 1; n <= 3; ++n) {
        const QByteArray page = "<PAGE" + QByteArray::number(n) + ">";
        form += {page, "MAXX=200", "MAXY=280"};
        if (n == 3)
            form += "ORIENTATION=L";
        form += {"BX(1,10,10,100,20)", "<END>"};
        job += {page, "T1(1,1)", "STRONA" + QByteArray::number(n), "<END>"};
    }
    WriteFile(install.home.filePath(QStringLiteral("Wzorzec/WZOR.txt")), DosLines(form));
    WriteFile(install.jobs + QStringLiteral("/DWA.txt"), DosLines(job));
    const QString preview = install.home.filePath(QStringLiteral("dwa.pdf"));
    const Report run = Preview(install, {QStringLiteral("--preview"), install.jobs + QStringLiteral("/DWA.txt"), preview});
    ASSERT_EQ(run.code, 0) << run.out.toStdString() << run.err.constData();
    // Two portrait pages, then a landscape one with the empty page that ends its sheet,
    // as the printer prints them in two documents.
    EXPECT_EQ(run.value(QStringLiteral("Dwustronnie")), QStringLiteral("tak, wzdłuż dłuższej krawędzi"));
    EXPECT_TRUE(run.value(QStringLiteral("Dokumenty wydruku")).startsWith(QStringLiteral("2 ")));
    EXPECT_EQ(run.value(QStringLiteral("Stron")), QStringLiteral("4"));
    EXPECT_EQ(PdfPageCount(preview), 4);
    auto pageOf = [](const QString &pdf, int page) {
        const QString n = QString::number(page);
        return RunTool(QStringLiteral("pdfinfo"), {QStringLiteral("-f"), n, QStringLiteral("-l"), n, pdf});
    };
    EXPECT_TRUE(pageOf(preview, 2).contains(QStringLiteral("595 x 842 pts"))) << pageOf(preview, 2).toStdString();
    EXPECT_TRUE(pageOf(preview, 3).contains(QStringLiteral("842 x 595 pts"))) << pageOf(preview, 3).toStdString();
    const QString third = RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-f"), QStringLiteral("3"),
                                                               QStringLiteral("-l"), QStringLiteral("3"), preview,
                                                               QStringLiteral("-")});
    EXPECT_TRUE(third.contains(QStringLiteral("STRONA3"))) << third.toStdString();

    install.job(QStringLiteral("DWA"), DosLines(job));
    ASSERT_EQ(install.run({QStringLiteral("--once")}), 0);
    EXPECT_EQ(PdfPageCount(install.home.filePath(QStringLiteral("out/DWA.pdf"))), 2);
    EXPECT_EQ(PdfPageCount(install.home.filePath(QStringLiteral("out/DWA-2.pdf"))), 2);
    EXPECT_TRUE(pageOf(install.home.filePath(QStringLiteral("out/DWA-2.pdf")), 1).contains(QStringLiteral("842 x 595 pts")));
}

TEST(PreviewProgram, FormIntoAPdfFileIsLaidOutAsItsJobWritesIt)
{
    Install install;
    QDir(install.home.path()).mkpath(QStringLiteral("Wzorzec"));
    WriteFile(install.home.filePath(QStringLiteral("Wzorzec/PIT11.txt")),
              DosLines({"<PARAMETERS>", "PAGE=2", "<END>", "<PAGE1>", "B(1,20,20,120,30,0)", "BX(2,20,50,90,80)",
                        "<END>", "<PAGE2>", "ORIENTATION=L", "BX(1,20,20,120,30)", "<END>"}));
    const QByteArray job = DosLines({"<PIT>", "TEMPLATE=PIT11", "PDF_FILE=pit-11.pdf", "A_MAIL=kadry", "<END>",
                                     "<PAGE1>", "T1(1,1)", "Kowalski Jan", "T1(3,1)", "bez pola", "<END>", "<PAGE2>",
                                     "T1(1,1)", "poziomo", "<END>"});
    WriteFile(install.jobs + QStringLiteral("/PIT.txt"), job);
    const QString preview = install.home.filePath(QStringLiteral("pit.pdf"));
    const Report run = Preview(install, {QStringLiteral("--preview"), install.jobs + QStringLiteral("/PIT.txt"), preview});
    ASSERT_EQ(run.code, 0) << run.out.toStdString() << run.err.constData();
    EXPECT_EQ(run.value(QStringLiteral("Rodzaj")), QStringLiteral("formularz do pliku PDF (jkPitPdf)"));
    EXPECT_EQ(run.value(QStringLiteral("Wzorzec")), install.home.filePath(QStringLiteral("Wzorzec/PIT11.txt")));
    EXPECT_EQ(run.value(QStringLiteral("Plik PDF zadania")),
              install.jobs + QStringLiteral("/PDF/pit-11.pdf (podgląd go nie zapisuje)"));
    EXPECT_EQ(run.value(QStringLiteral("Stron")), QStringLiteral("2"));
    const QStringList warnings = run.with(QStringLiteral("Ostrzeżenie: "));
    EXPECT_EQ(warnings.size(), 2) << run.out.toStdString();
    EXPECT_EQ(warnings.filter(QStringLiteral("pole 3")).size() + warnings.filter(QStringLiteral("polu 3")).size(), 1)
        << run.out.toStdString();
    EXPECT_EQ(warnings.filter(QStringLiteral("A_MAIL=kadry")).size(), 1) << run.out.toStdString();
    EXPECT_FALSE(QFileInfo::exists(install.jobs + QStringLiteral("/PDF")));

    install.job(QStringLiteral("PIT"), job);
    ASSERT_EQ(install.run({QStringLiteral("--once")}), 0);
    ExpectSameLayout(preview, install.jobs + QStringLiteral("/PDF/pit-11.pdf"));
}

TEST(PreviewProgram, CheckWarnsOfABarcodeTooNarrowToScan)
{
    Install install;
    QDir(install.home.path()).mkpath(QStringLiteral("Wzorzec"));
    // A 20 mm box gives a module of about 0.2 mm; a 70 mm one about 0.7 mm.
    WriteFile(install.home.filePath(QStringLiteral("Wzorzec/KODY.txt")),
              DosLines({"<PARAMETERS>", "PAGE=1", "<END>", "<PAGE1>", "MAXX=200", "MAXY=280", "BX(1,20,20,40,40)",
                        "BX(2,20,60,90,90)", "<END>"}));
    const QString path = install.jobs + QStringLiteral("/KODY.txt");
    // On the printer, then into a PDF file: K(1) on the job file's line 5, then 6.
    for (const QByteArray &pdf : {QByteArray(), QByteArray("PDF_FILE=kody.pdf")}) {
        QList<QByteArray> lines{"<PIT>", "TEMPLATE=KODY"};
        if (!pdf.isEmpty())
            lines += pdf;
        lines += {"<END>", "<PAGE1>", "K(1)", "5901234123457", "K(2)", "4006381333931", "<END>"};
        WriteFile(path, DosLines(lines));
        const Report run = Preview(install, {QStringLiteral("--check"), path});
        EXPECT_EQ(run.code, 0) << run.out.toStdString();
        const QStringList warnings = run.with(QStringLiteral("Ostrzeżenie: "));
        ASSERT_EQ(warnings.size(), 1) << run.out.toStdString();
        const QString at = QStringLiteral("%1, wiersz %2: ").arg(path).arg(pdf.isEmpty() ? 5 : 6);
        EXPECT_TRUE(warnings[0].contains(at)) << warnings[0].toStdString();
        EXPECT_TRUE(warnings[0].contains(QStringLiteral("polu 1"))) << warnings[0].toStdString();
    }
}

TEST(PreviewProgram, AFormLineOfTenMillionCommasTakesLittleMemory)
{
    Install install;
    QDir(install.home.path()).mkpath(QStringLiteral("Wzorzec"));
    WriteFile(install.home.filePath(QStringLiteral("Wzorzec/DUZY.txt")),
              DosLines({"<PARAMETERS>", "PAGE=1", "<END>", "<PAGE1>", "MAXX=200", "MAXY=280", "BX(1,20,20,90,40)", "<END>"}));
    const QString path = install.jobs + QStringLiteral("/DUZY.txt");
    // A program gone wrong writes one object with ten million empty parameters.
    WriteFile(path, DosLines({"<PIT>", "TEMPLATE=DUZY", "<END>", "<PAGE1>", "T1(1" + QByteArray(10'000'000, ',') + ")",
                              "tekst", "<END>"}));
    // Peak memory of the whole process, as the kernel counts it (GNU time's %M, in KiB).
    QProcess timed;
    timed.setProcessEnvironment(install.env());
    timed.start(QStringLiteral("/usr/bin/time"), {QStringLiteral("-f"), QStringLiteral("peak=%M"), OstrevoBinary(),
                                                  QStringLiteral("--home"), install.home.path(), QStringLiteral("--check"), path});
    ASSERT_TRUE(timed.waitForFinished(120000));
    // Refused, as any object with an empty coordinate is, naming its line.
    const QString out = QString::fromUtf8(timed.readAllStandardOutput());
    EXPECT_EQ(timed.exitCode(), 6) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("wiersz 5: T1(...): parametr 2"))) << out.left(300).toStdString();
    const QByteArray err = timed.readAllStandardError();
    const qsizetype at = err.lastIndexOf("peak=");
    ASSERT_GE(at, 0) << err.constData();
    const qint64 peakKiB = err.mid(at + 5).trimmed().toLongLong();
    // The line itself is 10 MB and the program without it about 60 MB (160 MB under the
    // sanitizers, whose shadow memory counts too); the parameters split one by one took
    // 530 MB, and far more under the sanitizers.
    EXPECT_LT(peakKiB, 300 * 1024) << "peak " << peakKiB << " KiB";
}

namespace {

// Peak memory of a whole run of the program, as the kernel counts it (GNU time's %M), in KiB.
qint64 PeakKiB(const Install &install, const QStringList &arguments)
{
    QProcess timed;
    QProcessEnvironment env = install.env();
    // Under AddressSanitizer freed memory waits in a quarantine of up to 256 MB; a small one
    // lets the peak say what the program holds. Other builds ignore the variable.
    env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":quarantine_size_mb=8"));
    timed.setProcessEnvironment(env);
    timed.start(QStringLiteral("/usr/bin/time"), QStringList{QStringLiteral("-f"), QStringLiteral("peak=%M"), OstrevoBinary(),
                                                             QStringLiteral("--home"), install.home.path()} + arguments);
    if (!timed.waitForFinished(120000) || timed.exitCode() != 0)
        return -1;
    const QByteArray err = timed.readAllStandardError();
    const qsizetype at = err.lastIndexOf("peak=");
    return at < 0 ? -1 : err.mid(at + 5).trimmed().toLongLong();
}

} // namespace

// A tall barcode box filled 120 times: each barcode goes into the file as it comes, one bit
// a pixel, and none is kept (each was kept in 32 bits a pixel to the end: 600 MB here).
TEST(PreviewProgram, HundredsOfBarcodesInAPdfFormTakeLittleMemory)
{
    Install install;
    QDir(install.home.path()).mkpath(QStringLiteral("Wzorzec"));
    WriteFile(install.home.filePath(QStringLiteral("Wzorzec/KODY.txt")),
              DosLines({"<PARAMETERS>", "PAGE=1", "<END>", "<PAGE1>", "MAXX=200", "MAXY=297", "BX(1,10,10,50,290)", "<END>"}));
    QList<QByteArray> lines{"<PIT>", "TEMPLATE=KODY", "PDF_FILE=kody.pdf", "<END>", "<PAGE1>"};
    for (int i = 0; i < 120; ++i)
        lines += {"K(1)", "5901234123457"};
    lines += "<END>";
    const QString path = install.jobs + QStringLiteral("/KODY.txt");
    WriteFile(path, DosLines(lines));
    const QString out = install.home.filePath(QStringLiteral("kody-podglad.pdf"));
    const qint64 peak = PeakKiB(install, {QStringLiteral("--preview"), path, out});
    ASSERT_GT(peak, 0);
    // The program itself takes about 40 MB (far more under the sanitizers).
    EXPECT_LT(peak, 250 * 1024) << "peak " << peak << " KiB";
    // One box, drawn over and over: one barcode to read, as written.
    EXPECT_EQ(DecodeEan13InPdf(out, 1, 150), QStringList{QStringLiteral("5901234123457")});
}
