#include "escp/EscpCommands.h"
#include "escp/EscpInterpreter.h"

#include <QMap>

#include <gtest/gtest.h>

namespace ostrevo {
namespace {

QVector<EscpPage> Pages(const QByteArray &stream, EscpTable table = EscpTable::Cp852, QStringList *unknown = nullptr)
{
    QVector<EscpPage> pages;
    EscpInterpreter interpreter({table, 0}, [&pages](EscpPage &&page) { pages.append(std::move(page)); });
    interpreter.run(stream);
    if (unknown)
        *unknown = interpreter.unknownCommands();
    return pages;
}

// Literals keep their NULs: ESC/P parameters are full of them.
template <size_t N>
QByteArray B(const char (&literal)[N])
{
    return QByteArray(literal, N - 1);
}

template <size_t N>
QVector<EscpPage> Pages(const char (&literal)[N], EscpTable table = EscpTable::Cp852, QStringList *unknown = nullptr)
{
    return Pages(B(literal), table, unknown);
}

// The text of a page in reading order, lines by baseline, characters by their columns.
QString PageText(const EscpPage &page)
{
    QMap<qint64, QMap<qint64, QChar>> lines;
    for (const EscpRun &run : page.runs)
        for (qsizetype i = 0; i < run.text.size(); ++i)
            lines[run.baseline][run.x + i * run.look.advance] = run.text[i];
    QStringList out;
    for (const auto &line : std::as_const(lines)) {
        QString text;
        for (QChar c : line)
            text.append(c);
        out.append(text.trimmed());
    }
    return out.join(u'|');
}

QString Text(const QByteArray &stream, EscpTable table = EscpTable::Cp852)
{
    QStringList pages;
    for (const EscpPage &page : Pages(stream, table))
        pages.append(PageText(page));
    return pages.join(QStringLiteral("#"));
}

template <size_t N>
QString Text(const char (&literal)[N], EscpTable table = EscpTable::Cp852)
{
    return Text(B(literal), table);
}

const EscpRun &RunWith(const EscpPage &page, const QString &text)
{
    for (const EscpRun &run : page.runs)
        if (run.text.trimmed() == text)
            return run;
    ADD_FAILURE() << "no run " << text.toStdString();
    static const EscpRun none;
    return none;
}

constexpr qint64 Inch = EscpInch;

// Every command of the table, with parameters, followed by text: the parameters never
// print and the text after them always does, so the stream never falls out of step.
TEST(EscpCommands, EveryCommandTakesExactlyItsParameters)
{
    const QList<QByteArray> commands = {
        B("\x1b@"), B("\x1b" "E"), B("\x1b" "F"), B("\x1b-1"), B("\x1b-\x00"), B("\x1bS\x01"), B("\x1bT"), B("\x1bW1"), B("\x1bw\x00"),
        B("\x1b!\x38"), B("\x1bx\x01"), B("\x1bx\x01\x00") /* a stray NUL after it, as some drivers send */, B("\x1bk\x02"),
        B("\x1bX\x00\x15\x00"), B("\x1b" "3\x18"), B("\x1b" "A\x0c"), B("\x1bJ\x00"), B("\x1b" "C\x00\x0b"), B("\x1b" "C\x42"),
        B("\x1bN\x06"), B("\x1bO"), B("\x1bl\x00"), B("\x1bQ\x50"), B("\x1b$\x00\x00"), B("\x1b\\\x00\x00"), B("\x1b" "D\x08\x10\x00"),
        B("\x1b" "B\x05\x0a\x00"), B("\x1b" "b\x01\x05\x00"), B("\x1b f"), B("\x1b" "c\x24\x00"), B("\x1bt\x01"), B("\x1bR\x00"),
        B("\x1b(t\x03\x00\x01\x0a\x00"), B("\x1b(U\x01\x00\x0a"), B("\x1b(C\x02\x00\x00\x10"), B("\x1b(c\x04\x00\x00\x00\x00\x10"),
        B("\x1b(V\x02\x00\x00\x00"), B("\x1b(v\x02\x00\x00\x00"), B("\x1b(-\x03\x00\x01\x01\x01"), B("\x1b(Q\x04\x00WXYZ"),
        B("\x1b(B\x08\x00\x00\x02\x00\x10\x00\x00" "12"), B("\x1b" "f\x00\x00"), B("\x1b" "e\x00\x08"), B("\x1b?K\x20"),
        B("\x1b*\x00\x02\x00\xff\xff"), B("\x1b*\x27\x01\x00\x01\x02\x03"), B("\x1bK\x02\x00\x81\x81"), B("\x1b^\x00\x01\x00\xff\x80"),
        B("\x1b&\x00\x41\x42\x00\x01\x00QQQ\x00\x02\x00RRRRRR"), B("\x1b:\x00\x00\x00"), B("\x1b%\x01"), B("\x1b\x19R"),
        B("\x1b.\x00\x14\x14\x01\x10\x00\xff\xff"), B("\x1b.\x01\x14\x14\x01\x10\x00\xfe\xaa"), B("\x1b" "6"), B("\x1b" "7"),
        B("\x1bU\x01"), B("\x1b<"), B("\x1b" "8"), B("\x1bs\x00"), B("\x1bi\x00"), B("\x1b" "j\x00"), B("\x1b" "a\x00"), B("\x1b/\x00"),
        B("\x1bp\x00"), B("\x1bP"), B("\x1bM"), B("\x1bg"), B("\x1b\x0e"), B("\x1b\x0f"), B("\x1bq\x00"), B("\x1br\x00"), B("\x1bI\x00"),
        B("\x1bm\x00"), B("\x1b#"), B("\x1b="), B("\x1b>\x1b#"), B("\x1bh\x00"), B("\x1b~\x00"), B("\x1b" "0"), B("\x1b" "1"), B("\x1b" "2"),
        B("\x1b+\x30"), B("\x1b" "4"), B("\x1b" "5"), B("\x1bG"), B("\x1bH"), B("\x1b(^\x00\x00")};
    for (const QByteArray &command : commands) {
        QStringList unknown;
        const QVector<EscpPage> pages = Pages(command + "ok", EscpTable::Cp852, &unknown);
        ASSERT_FALSE(pages.isEmpty());
        QString text;
        for (const EscpPage &page : pages)
            text += PageText(page);
        EXPECT_EQ(text.right(2), QStringLiteral("ok")) << command.toHex(' ').toStdString();
        EXPECT_TRUE(text.size() == 2 || text == QStringLiteral("QQok")) << command.toHex(' ').toStdString() << " printed "
                                                                        << text.toStdString();
        const bool listed = command.startsWith("\x1b(Q");
        EXPECT_EQ(!unknown.isEmpty(), listed) << command.toHex(' ').toStdString() << unknown.join(u',').toStdString();
    }
}

TEST(EscpCommands, LengthsThatTheParametersGive)
{
    // An ESC ( command of any letter is skipped by its own count, however long.
    QByteArray paren("\x1b(z\x2c\x01");
    paren.append(300, 'x');
    EXPECT_EQ(MeasureEscCommand(paren, 0, DefaultGraphicsLetters).length, 305);
    // ESC K after ESC ? has given it a 24-dot density reads three bytes a column.
    GraphicsLetters letters = DefaultGraphicsLetters;
    letters[0] = 39;
    EXPECT_EQ(MeasureEscCommand(QByteArray("\x1bK\x02\x00" "123456", 10), 0, letters).length, 10);
    // A command the stream ends inside is incomplete, never read past the end.
    EXPECT_FALSE(MeasureEscCommand(QByteArray("\x1b*\x27\xff\x00", 5), 0, letters).complete);
    EXPECT_FALSE(MeasureEscCommand(QByteArray("\x1b(", 2), 0, letters).complete);
    EXPECT_FALSE(MeasureEscCommand(QByteArray("\x1b" "D\x08\x10", 4), 0, letters).complete);
    // A letter outside the table is listed and taken without parameters.
    QStringList unknown;
    EXPECT_EQ(Text("\x1b\x8fok", EscpTable::Cp852), QStringLiteral("ok"));
    Pages("\x1b\x8fok\x1bzok", EscpTable::Cp852, &unknown);
    EXPECT_EQ(unknown, (QStringList{QStringLiteral("ESC 0x8f"), QStringLiteral("ESC z")}));
    // A stream cut inside a command prints what came before it.
    EXPECT_EQ(Text("abc\x1b*\x27\xff\x00\x01"), QStringLiteral("abc"));
}

TEST(EscpText, PitchesAndWidthsOnTheCharacterGrid)
{
    const EscpPage page = Pages("\x1bP" "pica\r\n\x1bM" "elite\r\n\x1bg" "micro\r\n\x1bP\x0f" "cond\x12\r\n"
                                "\x1bM\x0f" "twenty\x12\r\n\x1bP\x1bW1wide\x1bW0\r\n\x0eso\x14" "x\r\n"
                                "\x1b!\x20" "five\x1b!\x00\r\n\x1b" "c\x48\x00hmi\x1bP\r\n\x1b \x12spaced\x1bP")
                              .first();
    EXPECT_EQ(RunWith(page, QStringLiteral("pica")).look.advance, Inch / 10);
    EXPECT_EQ(RunWith(page, QStringLiteral("elite")).look.advance, Inch / 12);
    EXPECT_EQ(RunWith(page, QStringLiteral("micro")).look.advance, Inch / 15);
    EXPECT_EQ(RunWith(page, QStringLiteral("cond")).look.advance, Inch * 7 / 120); // 17.14 cpi
    EXPECT_EQ(RunWith(page, QStringLiteral("twenty")).look.advance, Inch / 20);
    EXPECT_EQ(RunWith(page, QStringLiteral("wide")).look.advance, Inch / 5);
    EXPECT_EQ(RunWith(page, QStringLiteral("so")).look.advance, Inch / 5);
    EXPECT_EQ(RunWith(page, QStringLiteral("five")).look.advance, Inch / 5);
    EXPECT_EQ(RunWith(page, QStringLiteral("hmi")).look.advance, Inch * 72 / 360);
    EXPECT_EQ(RunWith(page, QStringLiteral("spaced")).look.advance, Inch / 10 + 18 * Inch / 120);
    // DC4 ends SO's double width on the line: "x" follows "so" at the normal pitch.
    const EscpRun &x = RunWith(page, QStringLiteral("x"));
    EXPECT_EQ(x.look.advance, Inch / 10);
    EXPECT_EQ(x.x, 2 * Inch / 5);
}

TEST(EscpText, AttributesAndTheirCancelling)
{
    const EscpPage page = Pages("\x1b" "Ebold\x1b" "F \x1bGds\x1bH \x1b" "4it\x1b" "5 \x1b-1ul\x1b-0 "
                                "\x1b!\x88" "both\x1b!\x00 plain \x1bS0up\x1bT \x1bS1dn\x1bT \x1bw1tall\x1bw0")
                              .first();
    EXPECT_TRUE(RunWith(page, QStringLiteral("bold")).look.bold);
    EXPECT_TRUE(RunWith(page, QStringLiteral("ds")).look.bold);
    EXPECT_TRUE(RunWith(page, QStringLiteral("it")).look.italic);
    EXPECT_TRUE(RunWith(page, QStringLiteral("ul")).look.underline);
    const EscpLook both = RunWith(page, QStringLiteral("both")).look;
    EXPECT_TRUE(both.bold && both.underline && !both.italic);
    const EscpRun &plain = RunWith(page, QStringLiteral("plain"));
    EXPECT_FALSE(plain.look.bold || plain.look.underline || plain.look.italic);
    const EscpRun &up = RunWith(page, QStringLiteral("up"));
    const EscpRun &down = RunWith(page, QStringLiteral("dn"));
    EXPECT_LT(up.baseline, plain.baseline);
    EXPECT_GT(down.baseline, plain.baseline);
    EXPECT_EQ(up.look.height, plain.look.height * 2 / 3);
    EXPECT_EQ(RunWith(page, QStringLiteral("tall")).look.height, plain.look.height * 2);
}

TEST(EscpPaper, LineSpacingPageLengthAndMargins)
{
    // 66 lines to a page of 66: every page holds exactly 66, line 67 opens the next.
    QByteArray report("\x1b@\x1b" "C\x42");
    for (int line = 1; line <= 140; ++line)
        report += QByteArray::number(line) + "\r\n";
    const QVector<EscpPage> pages = Pages(report);
    ASSERT_EQ(pages.size(), 3);
    EXPECT_EQ(pages[0].height, 11 * Inch);
    EXPECT_TRUE(PageText(pages[0]).startsWith(QStringLiteral("1|2|")));
    EXPECT_TRUE(PageText(pages[0]).endsWith(QStringLiteral("|66")));
    EXPECT_TRUE(PageText(pages[1]).startsWith(QStringLiteral("67|")));
    EXPECT_TRUE(PageText(pages[2]).startsWith(QStringLiteral("133|")));

    // ESC 0/1/2/3/A/+ and ESC J move by their own units.
    const EscpPage spaced = Pages("a\n\x1b" "0b\n\x1b" "3\x24" "c\n\x1b" "A\x0c" "d\n\x1b+\x48" "e\nf\x1bJ\x12" "g").first();
    const auto base = [&spaced](const char *text) { return RunWith(spaced, QString::fromLatin1(text)).baseline; };
    EXPECT_EQ(base("b") - base("a"), Inch / 6);
    EXPECT_EQ(base("c") - base("b"), Inch / 8);
    EXPECT_EQ(base("d") - base("c"), 36 * Inch / 180);
    EXPECT_EQ(base("e") - base("d"), 12 * Inch / 60);
    EXPECT_EQ(base("f") - base("e"), 72 * Inch / 360);
    EXPECT_EQ(base("g") - base("f"), 18 * Inch / 180);
    // ESC J keeps the column; LF returns to the left margin.
    EXPECT_EQ(RunWith(spaced, QStringLiteral("g")).x, Inch / 10);

    // Form feeds: none before the first printed page counts, blank ones between do, the
    // closing one adds nothing.
    EXPECT_EQ(Pages("\x0c\x0c" "one\x0c\x0c" "three\x0c").size(), 3);
    // A bottom margin (ESC N) ends the page that many lines early.
    QByteArray margin("\x1b" "C\x0a\x1bN\x02");
    for (int line = 1; line <= 9; ++line)
        margin += QByteArray::number(line) + "\n";
    EXPECT_EQ(Text(margin), QStringLiteral("1|2|3|4|5|6|7|8#9"));
}

TEST(EscpPaper, HorizontalMovesTabsAndWrapping)
{
    const EscpPage page = Pages("\x1bl\x05" "L\r\n\x1b$\x3c\x00" "A\r\n\t" "T\r\n\x1b" "D\x03\x0a\x00\tX\tY\tZ\r\n"
                                "\x1b$\x78\x00\x1b\\\xe2\xff" "B\r\n\x1bQ\x0a" "0123456789wrap")
                              .first();
    EXPECT_EQ(RunWith(page, QStringLiteral("L")).x, 5 * Inch / 10);
    EXPECT_EQ(RunWith(page, QStringLiteral("A")).x, 5 * Inch / 10 + 60 * Inch / 60);
    EXPECT_EQ(RunWith(page, QStringLiteral("T")).x, 5 * Inch / 10 + 8 * Inch / 10);
    EXPECT_EQ(RunWith(page, QStringLiteral("X")).x, 5 * Inch / 10 + 3 * Inch / 10);
    // No tab stop is left to the right of Y: HT does nothing, Z follows Y.
    EXPECT_EQ(RunWith(page, QStringLiteral("YZ")).x, 5 * Inch / 10 + 10 * Inch / 10);
    // ESC \ moves back by a signed amount (-30/120 inch from 2 inches past the margin).
    EXPECT_EQ(RunWith(page, QStringLiteral("B")).x, 5 * Inch / 10 + 2 * Inch - 30 * Inch / 120);
    // The right margin at column 10 leaves five columns after the left margin: the rest wraps.
    EXPECT_TRUE(PageText(page).endsWith(QStringLiteral("01234|56789|wrap")));
}

TEST(EscpText, CharacterTablesAndNationalSets)
{
    // Polish letters of CP852 and of Mazovia, and the tables ESC ( t puts in a slot.
    EXPECT_EQ(Text("\xa5\x86\xa9\x88\xe4\xa2\x98\xab\xbe"), QStringLiteral("ąćęłńóśźż"));
    EXPECT_EQ(Text("\x86\x8d\x91\x92\xa4\xa2\x9e\xa6\xa7", EscpTable::Mazovia), QStringLiteral("ąćęłńóśźż"));
    EXPECT_EQ(Text("\x1b(t\x03\x00\x01\x1b\x00\x86\x1b(t\x03\x00\x01\x0a\x00\x86"), QStringLiteral("ąć"));
    EXPECT_EQ(Text("\x81\x84\xe1", EscpTable::Cp437), QStringLiteral("üäß"));
    // The italic table prints the upper half as slanted twins of the lower.
    const EscpPage italic = Pages("\x1bt\x00\xc1\x1bt\x01" "A").first();
    ASSERT_EQ(italic.runs.size(), 2);
    EXPECT_EQ(italic.runs[0].text, QStringLiteral("A"));
    EXPECT_TRUE(italic.runs[0].look.italic);
    EXPECT_FALSE(italic.runs[1].look.italic);
    EXPECT_EQ(Text("\x1bR\x02[\\]{|}~\x1bR\x00[]"), QStringLiteral("ÄÖÜäöüß[]"));
    // ESC 7 turns 0x80..0x9F into control codes: 0x8A is a line feed then.
    EXPECT_EQ(Text("a\x1b" "7\x8a" "b"), QStringLiteral("a|b"));
    // An unknown table keeps the one in use and is listed.
    QStringList unknown;
    EXPECT_EQ(Text("\x1b(t\x03\x00\x01\x63\x00\xa5"), QStringLiteral("ą"));
    Pages("\x1b(t\x03\x00\x01\x63\x00", EscpTable::Cp852, &unknown);
    EXPECT_EQ(unknown, QStringList{QStringLiteral("ESC ( t 99 0")});
}

TEST(EscpText, BoxDrawingBecomesFrameCellsNotText)
{
    const EscpPage page = Pages("\xc9\xcd\xbb\r\n\xba" "a\xba\r\n\xc8\xcd\xbc\xdb").first();
    EXPECT_EQ(PageText(page), QStringLiteral("a"));
    ASSERT_EQ(page.frames.size(), 9);
    EXPECT_EQ(page.frames[0].code, 0xC9);
    EXPECT_EQ(page.frames[3].x, 0);
    EXPECT_EQ(page.frames[3].top, Inch / 6);
    EXPECT_EQ(page.frames[3].height, Inch / 6);
    EXPECT_EQ(page.frames[8].code, 0xDB);
    // CP852's letters at box-drawing places of 437 (BD = Ż) stay letters.
    EXPECT_EQ(Text("\xbd\xb5"), QStringLiteral("ŻÁ"));
    EXPECT_EQ(Pages("\xbd", EscpTable::Cp437).first().frames.first().code, 0xFE); // ╜
}

TEST(EscpText, CancelDeleteAndResetKeepWhatTheyShould)
{
    // CAN drops the line in the buffer, DEL the last character; printed lines stay.
    EXPECT_EQ(Text("kept\r\ngone\x18" "new\r\nabc\x7f" "d"), QStringLiteral("kept|new|abd"));
    // ESC @ resets the settings but keeps what is already on the page.
    const EscpPage page = Pages("\x1b" "Ebold\r\n\x1b@plain").first();
    EXPECT_EQ(PageText(page), QStringLiteral("bold|plain"));
    EXPECT_FALSE(RunWith(page, QStringLiteral("plain")).look.bold);
    // DC3 does not silence the rest of the job.
    EXPECT_EQ(Text("a\x13" "b\x11" "c"), QStringLiteral("abc"));
}

TEST(EscpGraphics, BitImagesTakeTheirDotsAndAdvance)
{
    const EscpPage page = Pages("\x1bK\x03\x00\x80\x01\xff" "a\r\n\x1b*\x27\x02\x00\x80\x00\x01\x00\x00\x00" "b\r\n"
                                "\x1b.\x01\x14\x14\x02\x10\x00\xff\xaa\x01\x0f\xf0")
                              .first();
    ASSERT_EQ(page.images.size(), 3);
    const EscpImage &k = page.images[0];
    EXPECT_EQ(k.dots.size(), QSize(3, 8));
    EXPECT_EQ(k.width, 3 * Inch / 60);
    EXPECT_EQ(k.height, 8 * Inch / 60);
    EXPECT_EQ(k.dots.pixelIndex(0, 0), 1);
    EXPECT_EQ(k.dots.pixelIndex(0, 1), 0);
    EXPECT_EQ(k.dots.pixelIndex(1, 7), 1);
    EXPECT_EQ(RunWith(page, QStringLiteral("a")).x, 3 * Inch / 60);
    const EscpImage &star = page.images[1];
    EXPECT_EQ(star.dots.size(), QSize(2, 24));
    EXPECT_EQ(star.height, 24 * Inch / 180);
    EXPECT_EQ(star.dots.pixelIndex(0, 0), 1);
    EXPECT_EQ(star.dots.pixelIndex(0, 23), 1);
    EXPECT_EQ(star.dots.pixelIndex(1, 0), 0);
    // Raster graphics, run-length coded: 0xAA twice, then two bytes as they are.
    const EscpImage &raster = page.images[2];
    EXPECT_EQ(raster.dots.size(), QSize(16, 2));
    EXPECT_EQ(raster.dots.pixelIndex(0, 0), 1);
    EXPECT_EQ(raster.dots.pixelIndex(1, 0), 0);
    EXPECT_EQ(raster.dots.pixelIndex(0, 1), 0);
    EXPECT_EQ(raster.dots.pixelIndex(4, 1), 1);
    EXPECT_EQ(raster.dots.pixelIndex(11, 1), 1);
    EXPECT_EQ(raster.dots.pixelIndex(12, 1), 0);
}

TEST(EscpPaper, FormFeedsCannotRunAway)
{
    // A page shorter than an inch is no form: the stream stays on A4 pages.
    EXPECT_EQ(Pages("\x1b" "3\x01\x1b" "C\x01" "abc\r\ndef").size(), 1);
    QByteArray flood;
    for (int i = 0; i < 100001; ++i)
        flood += "x\x0c";
    EXPECT_THROW(Pages(flood), std::exception);
}

} // namespace
} // namespace ostrevo
