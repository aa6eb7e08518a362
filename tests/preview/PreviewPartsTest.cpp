// The parts of a preview below the program: the report's grouping of warnings, the words
// taken for control symbols, the files refused as jobs, and where a job file belongs.

#include "handling/RenderReport.h"
#include "monitor/MonitoredDirectories.h"
#include "preview/JobInspection.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

TEST(RenderReport, GroupsOneWarningOverItsLinesAndCountsThemOnce)
{
    RenderReport report;
    std::array<bool, 256> glyphless{};
    glyphless[0x1b] = true;
    report.setGlyphless(glyphless);
    for (int line = 1; line <= 12; ++line) {
        report.setLine(line);
        // Twice on a line is one line.
        report.text("\x1b" "E tekst \x1b");
        report.tooWide(80 + line, 80);
    }
    report.setLine(13);
    report.tooWide(90, 132);
    report.setLine(0);
    report.notFound(QStringLiteral("PIT-37"), QStringLiteral("nie ma wzorca PIT-37"));
    EXPECT_EQ(report.lines(),
              QStringList({QStringLiteral("wiersze 1, 2, 3, 4, 5, 6, 7, 8 i dalsze (razem 12): bajt 0x1B nie ma znaku "
                                          "w czcionce wydruku: na papierze wychodzi w jego miejscu pusty prostokąt"),
                           QStringLiteral("wiersze 1, 2, 3, 4, 5, 6, 7, 8 i dalsze (razem 12): tekst wychodzi poza "
                                          "stronę przy 80 kolumnach (sięga 92. kolumny)"),
                           QStringLiteral("wiersz 13: tekst wychodzi poza stronę przy 132 kolumnach (sięga 90. kolumny)"),
                           QStringLiteral("nie ma wzorca PIT-37")}));
}

TEST(RenderReport, TagLikeWords)
{
    struct Case {
        QByteArray text;
        QList<QByteArray> words;
    };
    const QList<Case> cases = {
        {"bez symboli", {}},
        {"<2xg>a<Z120>", {"<2xg>", "<Z120>"}},
        {"<1/6\">", {"<1/6\">"}},
        // No letter or digit, a blank inside, nothing between, too long, never closed.
        {"a <-> b <=> c", {}},
        {"<a b> <> <ABCDEFGHIJKLM> <otwarte", {}},
        {"<ABCDEFGHIJKL>", {"<ABCDEFGHIJKL>"}},
        // The last "<" before the word counts.
        {"<<IT+>>", {"<IT+>"}},
        {"\x1b<E>\xa5<\xa5>", {"<E>"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(TagLikeWords(c.text), c.words) << c.text.constData();
}

TEST(RenderReport, SymbolInOtherLettersNamesTheOneMeant)
{
    RenderReport report;
    const std::array<QByteArray, 3> known = {QByteArray("<2xG>"), QByteArray(), QByteArray("<Nstr>")};
    report.setLine(4);
    report.segment("A <2XG> B <nstr> C <Q>", known);
    EXPECT_EQ(report.lines(),
              QStringList({QStringLiteral("wiersz 4: nieznany symbol <2XG> wydrukowany jako tekst (symbol to <2xG>: "
                                          "wielkość liter ma znaczenie)"),
                           QStringLiteral("wiersz 4: nieznany symbol <nstr> wydrukowany jako tekst (symbol to <Nstr>: "
                                          "wielkość liter ma znaczenie)"),
                           QStringLiteral("wiersz 4: nieznany symbol <Q> wydrukowany jako tekst")}));
}

TEST(JobInspection, DosTextsPassAndBinariesDoNot)
{
    QTemporaryDir dir;
    struct Case {
        QByteArray bytes;
        InputCheck::Problem problem;
    };
    const QByteArray escapes("\x1b@\x1b" "E\x0f" "FAKTURA\x12\x1b-\0\r\n\x0c\x1a", 20);
    QByteArray controls(400, 'a');
    for (int i = 0; i < 400; i += 10)
        controls[i] = '\x02';
    const QList<Case> cases = {
        {"zwyk\x88y tekst\r\n", InputCheck::None},
        {escapes, InputCheck::None},
        {"", InputCheck::None},
        // After Ctrl+Z the monitor reads nothing: what lies there does not matter.
        {QByteArray("tekst\r\n\x1a\0\0\0", 10), InputCheck::None},
        {"%PDF-1.7\r\n", InputCheck::Binary},
        {QByteArray("\x89PNG\r\n\x1a\n", 8), InputCheck::Binary},
        {QByteArray("ab\0cd", 5), InputCheck::Binary},
        {QByteArray("\x1b" "abcd\0", 6), InputCheck::Binary},
        {controls, InputCheck::Binary},
    };
    int n = 0;
    for (const Case &c : cases) {
        const QString path = dir.filePath(QStringLiteral("j%1.txt").arg(n++));
        WriteFile(path, c.bytes);
        const InputCheck check = InspectJobFile(path);
        EXPECT_EQ(check.problem, c.problem) << c.bytes.toHex().constData() << " " << check.message.toStdString();
    }
    const InputCheck fifo = InspectJobFile(dir.filePath(QStringLiteral("brak.txt")));
    EXPECT_EQ(fifo.problem, InputCheck::Unreadable);
}

TEST(MonitoredDirectories, JobPlaceAndWaitingJobs)
{
    QTemporaryDir home;
    QDir(home.path()).mkpath(QStringLiteral("c/FK/Wydr"));
    QDir(home.path()).mkpath(QStringLiteral("dwa"));
    Settings settings;
    settings.drives.insert(u'C', home.filePath(QStringLiteral("c")));
    settings.katalog = QStringLiteral("C:\\FK\\WYDR");
    settings.drukarka = QStringLiteral("Biuro");
    settings.katalog2 = QStringLiteral("dwa");
    settings.drukarka2 = QStringLiteral("Magazyn");
    const QString one = home.filePath(QStringLiteral("c/FK/Wydr"));
    const QString two = home.filePath(QStringLiteral("dwa"));
    for (const char *name : {"B.txt", "a.TXT", "c.END", "notatka.doc"})
        WriteFile(one + u'/' + QLatin1StringView(name), "x\r\n");
    QDir(one).mkdir(QStringLiteral("katalog.txt"));
    ASSERT_TRUE(QFile::link(one + QStringLiteral("/B.txt"), one + QStringLiteral("/link.txt")));
    WriteFile(two + QStringLiteral("/D.txt"), "x\r\n");

    MonitoredPlace place = FindJobPlace(one + QStringLiteral("/B.txt"), settings, home.path());
    EXPECT_EQ(place.number, 1);
    EXPECT_EQ(place.printerName, QStringLiteral("Biuro"));
    // Directory 2 counts only while it is monitored.
    EXPECT_EQ(FindJobPlace(two + QStringLiteral("/D.txt"), settings, home.path()).number, 0);
    EXPECT_EQ(WaitingJobs(settings, home.path()), QStringList({one + QStringLiteral("/a.TXT"), one + QStringLiteral("/B.txt")}));

    settings.monitorowanie2 = true;
    place = FindJobPlace(home.filePath(QStringLiteral("c/FK/../../dwa/D.txt")), settings, home.path());
    EXPECT_EQ(place.number, 2);
    EXPECT_EQ(place.directory, two);
    EXPECT_EQ(place.printerName, QStringLiteral("Magazyn"));
    EXPECT_EQ(WaitingJobs(settings, home.path()),
              QStringList({one + QStringLiteral("/a.TXT"), one + QStringLiteral("/B.txt"), two + QStringLiteral("/D.txt")}));
    // The same directory twice lists its jobs once.
    settings.katalog2 = one;
    EXPECT_EQ(WaitingJobs(settings, home.path()).size(), 2);
}

} // namespace
