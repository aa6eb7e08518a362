#include "textprint/SymbolTable.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace ostrevo;
using ostrevo::test::TestData;
using ostrevo::test::WriteFile;

TEST(SymbolTable, PdfTagsFollowThePrinterDefaults)
{
    const PrinterSymbolTable symbols = DefaultPrinterSymbols();
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(PdfTags()[i], symbols[i]) << i;
    EXPECT_TRUE(PdfTags()[24].isEmpty());
    EXPECT_TRUE(symbols[26].isEmpty());
}

TEST(SymbolTable, SiteFileReplacesSymbolsByteForByte)
{
    SymbolTable table;
    EXPECT_TRUE(table.LoadSymbolDefinitions(TestData(QStringLiteral("defsym-site.ovx"))).isEmpty());
    PrinterSymbolTable expected = DefaultPrinterSymbols();
    expected[6] = "\x1bG"; // a later line wins
    expected[7] = "\x1b" "F";
    expected[12] = "\x1bw1=x"; // "=" belongs to the value
    expected[26] = "~";
    expected[3] = "<Z132>  "; // trailing blanks kept; Ctrl+Z ended the file before "9="
    EXPECT_EQ(table.PrinterSymbols, expected);
    // The PDF table is not the site's business.
    EXPECT_EQ(PdfTags()[6], QByteArray("<2xG>"));
}

TEST(SymbolTable, BadLinesAreSkippedAndReported)
{
    SymbolTable table;
    const QString path = TestData(QStringLiteral("defsym-broken.ovx"));
    const QStringList problems = table.LoadSymbolDefinitions(path);
    PrinterSymbolTable expected = DefaultPrinterSymbols();
    expected[6].clear(); // an empty value switches bold detection off
    expected[8] = "<FF>";
    expected[10] = "ok"; // loading went on after the bad lines
    EXPECT_EQ(table.PrinterSymbols, expected);
    // Lines 2 (x7), 3 (27), 4 (-1), 5 (too big), 7 ("9 "), 8 (no index).
    ASSERT_EQ(problems.size(), 6) << problems.join(u'\n').toStdString();
    const int lines[] = {2, 3, 4, 5, 7, 8};
    for (int i = 0; i < 6; ++i) {
        EXPECT_TRUE(problems[i].contains(path)) << problems[i].toStdString();
        EXPECT_TRUE(problems[i].contains(QStringLiteral("wiersz %1:").arg(lines[i]))) << problems[i].toStdString();
    }
}

TEST(SymbolTable, MissingOrUnreadableFiles)
{
    SymbolTable table;
    table.PrinterSymbols[26] = "~";
    QTemporaryDir tmp;
    EXPECT_TRUE(table.LoadSymbolDefinitions(tmp.filePath(QStringLiteral("DefSym.ovx"))).isEmpty());
    EXPECT_EQ(table.PrinterSymbols[26], QByteArray("~")); // untouched
    // A directory where the file should be: one message, table untouched.
    EXPECT_EQ(table.LoadSymbolDefinitions(tmp.path()).size(), 1);
    EXPECT_EQ(table.PrinterSymbols[6], QByteArray("<2xG>"));
    // LF-only lines and no final line end work too.
    WriteFile(tmp.filePath(QStringLiteral("lf.ovx")), "0=a\n1=b");
    EXPECT_TRUE(table.LoadSymbolDefinitions(tmp.filePath(QStringLiteral("lf.ovx"))).isEmpty());
    EXPECT_EQ(table.PrinterSymbols[0], QByteArray("a"));
    EXPECT_EQ(table.PrinterSymbols[1], QByteArray("b"));
}
