#include "jobs/Errors.h"
#include "jobs/JobFile.h"

#include "support/TestSupport.h"

#include <QBuffer>
#include <gtest/gtest.h>

using namespace ostrevo;

namespace {

QList<QByteArray> Lines(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(&buffer);
    QList<QByteArray> lines;
    while (auto line = reader.next())
        lines.append(*line);
    return lines;
}

} // namespace

TEST(LineReader, SplitsLinesByDosRules)
{
    struct Case {
        QByteArray input;
        QList<QByteArray> lines;
    };
    const Case cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb", {"a", "b"}},
        {"\r\n\r\n", {"", ""}},
        // A lone CR is dropped and does not end the line.
        {"ab\rcd\r\nx", {"abcd", "x"}},
        // Ctrl+Z ends the line and the file.
        {"a\r\nb\x1A" "c\r\nd\r\n", {"a", "b"}},
        {"\x1A" "abc", {}},
        {"a\r\n\x1A", {"a"}},
        {QByteArray("a\0b\r\n", 5), {QByteArray("a\0b", 3)}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Lines(c.input), c.lines) << c.input.toHex().constData();
}

TEST(LineReader, LongLinesAcrossBuffersAndCrLfSplitAtBufferEdge)
{
    // A line of several megabytes, and a CR LF pair split across the reader's chunks.
    QByteArray big(5 * 1024 * 1024, 'x');
    QByteArray data = big + "\r\n" + QByteArray(64 * 1024 - 1, 'y') + "\r\nlast";
    const auto lines = Lines(data);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0].size(), big.size());
    EXPECT_EQ(lines[1], QByteArray(64 * 1024 - 1, 'y'));
    EXPECT_EQ(lines[2], "last");
}

TEST(LineReader, MissingFileIsAnIoError)
{
    EXPECT_THROW(LineReader(QStringLiteral("/nonexistent/dir/JOB.txt")), IoError);
}

TEST(JobSyntax, CommentsTagsAndKeyLines)
{
    EXPECT_EQ(RemoveComment("abc // x // y"), "abc ");
    EXPECT_EQ(RemoveComment("http://x"), "http:");
    EXPECT_TRUE(HoldsTag("  xx<ftp>yy", "<FTP>"));
    EXPECT_FALSE(HoldsTag("<FT P>", "<FTP>"));

    auto kv = ParseKeyLine(" pdf_file = C:\\A=B.pdf \t");
    ASSERT_TRUE(kv);
    EXPECT_EQ(kv->key, "PDF_FILE");
    EXPECT_EQ(kv->value, "C:\\A=B.pdf");
    EXPECT_FALSE(ParseKeyLine("no equals sign"));
    kv = ParseKeyLine(RemoveComment("LOGIN=Jan   // the user"));
    ASSERT_TRUE(kv);
    EXPECT_EQ(kv->value, "Jan");
    EXPECT_EQ(TrimControl(QByteArray("\x01\t a b \x1f", 8)), "a b");
}

TEST(JobSyntax, KeyBlockEndsAtEndTagOrFileEnd)
{
    QBuffer buffer;
    buffer.setData("A=1\r\nignored line\r\nb=2\r\na=3 // later wins\r\nx <end> y\r\nC=4\r\n");
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(&buffer);
    const KeyBlock block = ReadKeyBlock(reader, "<FTP>");
    EXPECT_EQ(block.value("A"), "3");
    EXPECT_EQ(block.value("B"), "2");
    EXPECT_FALSE(block.contains("C"));
    EXPECT_EQ(*reader.next(), "C=4");

    // A tag line that holds <END> has an empty block and reads nothing.
    buffer.seek(0);
    LineReader again(&buffer);
    EXPECT_TRUE(ReadKeyBlock(again, "<OPEN><END>").isEmpty());
    EXPECT_EQ(*again.next(), "A=1");
}
