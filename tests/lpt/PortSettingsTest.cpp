// The ports' sections of Ostrevo.ini: read as the user wrote them, a bad one skipped with
// its reason while the others go on, and never written back by the program.

#include "PortRig.h"

#include "monitor/IniFile.h"
#include "monitor/SettingsStore.h"

#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

TEST(PortSettings, SectionsAreReadAsWrittenAndABadOneSaysWhy)
{
    const IniFile ini = IniFile::fromBytes(
        "[Opcje]\r\nKatalog=C:\\FK\r\n"
        "[LPT1]\r\nKatalog=lpt1\r\nKodowanie=Mazowia\r\nDrukarka=HP\r\nKatalogPDF=C:\\PDF\r\n"
        "Mail=biuro@firma.pl\r\nOtworz=1\r\nWiersze=72\r\nCisza=500\r\n"
        "[lpt2]\r\nKodowanie=852\r\n"
        "[LPT3]\r\nKatalog=lpt3\r\nKodowanie=cp1250\r\nWiersze=300\r\n"
        "[COM1]\r\nKatalog=com1\r\nOtworz=tak\r\nMail=kasia\r\nCisza=-5\r\n"
        "[LPT1]\r\nKatalog=drugi\r\n"
        "[PRN]\r\nKatalog=prn\r\n"
        "[LPT4]\r\nKatalog = \"/srv/lpt 4\"\r\n");
    const Settings s = SettingsStore::fromIni(ini);
    ASSERT_EQ(s.ports.size(), 5) << "[PRN] is no port, the second [LPT1] does not count";

    const PortSettings &lpt1 = s.ports[0];
    EXPECT_EQ(lpt1.name, QStringLiteral("LPT1"));
    EXPECT_EQ(lpt1.katalog, QStringLiteral("lpt1"));
    EXPECT_EQ(lpt1.kodowanie, QStringLiteral("mazowia"));
    EXPECT_EQ(lpt1.drukarka, QStringLiteral("HP"));
    EXPECT_EQ(lpt1.katalogPdf, QStringLiteral("C:\\PDF"));
    EXPECT_EQ(lpt1.mail, QStringLiteral("biuro@firma.pl"));
    EXPECT_TRUE(lpt1.otworz);
    EXPECT_EQ(lpt1.wiersze, 72);
    EXPECT_EQ(lpt1.cisza, 500);
    EXPECT_TRUE(lpt1.problem.isEmpty()) << lpt1.problem.toStdString();

    EXPECT_EQ(s.ports[1].name, QStringLiteral("lpt2"));
    EXPECT_EQ(s.ports[1].problem, QStringLiteral("brak Katalog (katalogu portu)"));
    EXPECT_EQ(s.ports[2].problem, QStringLiteral("Kodowanie=cp1250: dozwolone 852, mazowia, 437, 1250, auto; "
                                                 "Wiersze=300: dozwolona liczba od 0 do 127"));
    EXPECT_EQ(s.ports[3].problem, QStringLiteral("Otworz=tak: dozwolona liczba od 0 do 1; "
                                                 "Cisza=-5: dozwolona liczba od 0 do 600000; "
                                                 "Mail=kasia nie jest adresem poczty"));
    // The defaults, and a value in quotes as Windows reads it.
    const PortSettings &lpt4 = s.ports[4];
    EXPECT_EQ(lpt4.katalog, QStringLiteral("/srv/lpt 4"));
    EXPECT_EQ(lpt4.kodowanie, QStringLiteral("852"));
    EXPECT_TRUE(lpt4.drukarka.isEmpty());
    EXPECT_FALSE(lpt4.otworz);
    EXPECT_EQ(lpt4.wiersze, 0);
    EXPECT_EQ(lpt4.cisza, 2000);
    EXPECT_TRUE(lpt4.problem.isEmpty());
}

TEST(PortSettings, WritingTheSettingsLeavesThePortsAsTheyAreOnDisk)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Ostrevo.ini"));
    const QByteArray ports = "[lpt1]\r\n; drukarka w biurze\r\nKatalog = lpt1 \r\nKodowanie=AUTO\r\nCisza=\r\n"
                             "[LPT2]\r\nKatalog=C:\\LPT2\r\nNieznany=1\r\n";
    WriteFile(path, "[Opcje]\r\nKatalog=jobs\r\n" + ports);
    SettingsStore store(path);
    Settings s = store.read();
    ASSERT_EQ(s.ports.size(), 2);
    s.katalog = QStringLiteral("zadania");
    s.ports[0].katalog = QStringLiteral("zmieniony");
    store.write(s);
    const QByteArray written = ReadFile(path);
    EXPECT_TRUE(written.contains(ports)) << written.constData();
    EXPECT_TRUE(written.contains("Katalog=zadania\r\n")) << written.constData();
}

TEST(PortSettings, APortThatWouldClashIsSkippedAndTheOthersGoOn)
{
    PortRig rig;
    const QString shared = rig.home.filePath(QStringLiteral("wspolny"));
    QDir().mkpath(shared);
    PortSettings onJobs = Port(QStringLiteral("LPT2"), rig.jobs);
    PortSettings first = Port(QStringLiteral("LPT3"), shared);
    PortSettings second = Port(QStringLiteral("COM1"), shared + QStringLiteral("/../wspolny/"));
    PortSettings unknownPrinter = Port(QStringLiteral("COM2"), rig.home.filePath(QStringLiteral("com2")));
    unknownPrinter.drukarka = QStringLiteral("Nieznana");
    PortSettings backIntoItself = Port(QStringLiteral("COM3"), rig.home.filePath(QStringLiteral("com3")));
    backIntoItself.katalogPdf = backIntoItself.katalog;
    PortSettings broken = Port(QStringLiteral("COM4"), rig.home.filePath(QStringLiteral("com4")));
    broken.problem = QStringLiteral("Cisza=x: dozwolona liczba od 0 do 600000");
    rig.settings.ports += {onJobs, first, second, unknownPrinter, backIntoItself, broken};

    const QStringList problems = rig.start();
    ASSERT_EQ(problems.size(), 5) << problems.join(u'\n').toStdString();
    EXPECT_TRUE(problems[0].startsWith(QStringLiteral("Ostrevo.ini: [LPT2] pominięty: Katalog=") + rig.jobs
                                       + QStringLiteral(" jest katalogiem monitorowanym na zadania")));
    EXPECT_TRUE(problems[1].contains(QStringLiteral("[COM1] pominięty: Katalog=")));
    EXPECT_TRUE(problems[1].endsWith(QStringLiteral("jest już katalogiem innego portu")));
    EXPECT_TRUE(problems[2].contains(QStringLiteral("[COM2] pominięty: drukarki \"Nieznana\" nie ma wśród drukarek: Ostrevo PDF")));
    EXPECT_TRUE(problems[3].contains(QStringLiteral("[COM3] pominięty: pliki PDF portu trafiałyby do jego katalogu")));
    EXPECT_TRUE(problems[4].endsWith(QStringLiteral("[COM4] pominięty: Cisza=x: dozwolona liczba od 0 do 600000")));
    // Each is a journal line of its own.
    EXPECT_EQ(rig.lines().size(), 5);

    // The ports that can be served are.
    WriteFile(rig.lpt1 + QStringLiteral("/a.prn"), EscpJob("LPT1"));
    WriteFile(shared + QStringLiteral("/b.prn"), EscpJob("LPT3"));
    ASSERT_TRUE(rig.waitForLines(2));
    EXPECT_EQ(rig.pdfs(), (QStringList{QStringLiteral("LPT1-a.pdf"), QStringLiteral("LPT3-b.pdf")}));
    EXPECT_EQ(rig.spooler->portRequest(QStringLiteral("lpt3")), "ok\n");
    EXPECT_TRUE(rig.spooler->portRequest(QStringLiteral("COM1")).startsWith("not served: "));
}

TEST(PortSettings, ThePortsCodePageAndPageLengthReachTheRenderer)
{
    PortRig rig;
    rig.settings.ports[0].kodowanie = QStringLiteral("mazowia");
    rig.settings.ports[0].wiersze = 10;
    rig.start();
    // "Zażółć gęślą jaźń" in Mazovia, then 25 lines with no page length set by the program.
    QByteArray text = "\x1b@Za\xa7\xa2\x92\x8d g\x91\x9el\x86 ja\xa6\xa4\r\n";
    for (int line = 2; line <= 25; ++line)
        text += "wiersz " + QByteArray::number(line) + "\r\n";
    WriteFile(rig.lpt1 + QStringLiteral("/mazowia.prn"), text);
    ASSERT_TRUE(rig.waitForLines(1));
    const LaterOutcome line = rig.linesOf().at(0);
    EXPECT_TRUE(line.detail.startsWith(QStringLiteral("LPT1: ESC/P, strona kodowa Mazowia, stron: 3;"))) << line.detail.toStdString();
    const QString pdf = rig.out + QStringLiteral("/LPT1-mazowia.pdf");
    EXPECT_EQ(PdfPageCount(pdf), 3);
    EXPECT_TRUE(TextOf(pdf).startsWith(QStringLiteral("Zażółć gęślą jaźń wiersz 2"))) << TextOf(pdf).toStdString();
}
