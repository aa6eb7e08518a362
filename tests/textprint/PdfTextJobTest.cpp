// <PDF> jobs written as PDF files and read back with poppler (qpdf checks each file): the
// header and the mail body left out, the page metrics, column fit, size modes, pages,
// where the file goes, failures that leave nothing behind, and the hand-over to mail.

#include "devices/TpiPDFDocument.h"
#include "jobs/Errors.h"
#include "support/FileSizeLimit.h"
#include "support/PdfTools.h"
#include "support/TestSupport.h"
#include "textprint/PdfTextJob.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

QByteArray PdfJob(const QByteArray &file, const QList<QByteArray> &lines, const QByteArray &moreKeys = {})
{
    return "// faktura dla klienta\r\n<PDF>\r\nPDF_FILE=" + file + "\r\n" + moreKeys + "<END>\r\n" + DosLines(lines);
}

struct MailCall {
    QString jobPath, address, pdfPath, subject;
    bool pdfComplete = false;
};

class PdfTextJobTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tmp.isValid());
        m_context.currentJobDir = m_tmp.path();
        m_context.programDir = m_tmp.path();
        m_context.settings = &m_settings;
        m_jobs.setMailPdf([this](const JobContext &, const QString &jobPath, const QString &address,
                                 const QString &pdfPath, const QString &subject) {
            m_mails.append({jobPath, address, pdfPath, subject, QpdfProblems(pdfPath).isEmpty()});
        });
    }

    QString job(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_tmp.filePath(name);
        WriteFile(path, bytes);
        return path;
    }

    JobResult run(const QByteArray &bytes, const QString &name = QStringLiteral("JOB.txt"))
    {
        return m_jobs.PdfTextJob(m_context, job(name, bytes));
    }

    QString pdf(const QString &name) const { return m_tmp.filePath(QStringLiteral("PDF/") + name); }

    QTemporaryDir m_tmp;
    Settings m_settings;
    JobContext m_context;
    SymbolTable m_site;
    PdfTextJobs m_jobs{MailPdfHandOver{}, &m_site};
    QList<MailCall> m_mails;
};

TEST_F(PdfTextJobTest, PrintoutGoesToThePdfFolderWithoutItsHeaderOrMailBody)
{
    const JobResult result = run(PdfJob("Faktura-12.pdf", {"Pierwszy wiersz", "<MAIL_BODY>", "Szanowni Pa\xe7stwo,",
                                                            "<end>", "Drugi wiersz", "Trzeci <DX+> wiersz",
                                                            "Za\xbe\xa2\x88\x86 g\xa9\x98l\xa5 ja\xab\xe4"}));
    ASSERT_EQ(result.outcome, JobResult::Done) << result.detail.toStdString();
    const QString file = pdf(QStringLiteral("Faktura-12.pdf"));
    EXPECT_TRUE(result.detail.contains(file)) << result.detail.toStdString();
    EXPECT_EQ(PdfPageCount(file), 1);
    const QString text = PdfText(file);
    EXPECT_FALSE(text.contains(QStringLiteral("faktura dla klienta")));
    EXPECT_FALSE(text.contains(QStringLiteral("PDF_FILE")));
    EXPECT_FALSE(text.contains(QStringLiteral("Szanowni")));
    EXPECT_TRUE(text.contains(QStringLiteral("<DX+>"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Zażółć gęślą jaźń"))) << text.toStdString();
    // The line after the mail body takes its place: no gap.
    const QList<PdfWord> words = PdfWords(file);
    const double first = WordNamed(words, QStringLiteral("Pierwszy")).box.top();
    EXPECT_NEAR(WordNamed(words, QStringLiteral("Drugi")).box.top() - first, 12, 0.5);
    EXPECT_NEAR(WordNamed(words, QStringLiteral("Trzeci")).box.top() - first, 24, 0.5);
    // Text starts at the page's corner; the page counts 0.98 of the sheet.
    EXPECT_NEAR(WordNamed(words, QStringLiteral("Pierwszy")).box.left(), 0, 0.5);
    EXPECT_TRUE(m_mails.isEmpty());
}

TEST_F(PdfTextJobTest, ColumnsFillExactlyTheWidthOfThePage)
{
    const QByteArray x80(80, 'X'), x132(132, 'W');
    run(PdfJob("kolumny.pdf", {x80, "<Z132>" + x132, "<Z80>" + x80}));
    const QList<PdfWord> words = PdfWords(pdf(QStringLiteral("kolumny.pdf")));
    ASSERT_EQ(words.size(), 3);
    // 0.98 of 595 points, rounded.
    for (const PdfWord &w : words) {
        EXPECT_NEAR(w.box.left(), 0, 0.3);
        EXPECT_NEAR(w.box.width(), 583, 0.3) << w.text.toStdString();
    }
}

// A framed row split thirty times by bold: every piece stands on the column grid, as on
// the row without bold below it (each piece once advanced by a rounded width, and the rows'
// ends drifted apart by points).
TEST_F(PdfTextJobTest, PiecesSplitByBoldStayOnTheColumnGrid)
{
    QByteArray split("\xBA");
    for (int i = 0; i < 30; ++i)
        split += QByteArray(i % 2 ? "<1xG>" : "<2xG>") + "x";
    run(PdfJob("pogrubione.pdf", {split + "<1xG> KONIEC\xBA", "\xBA" + QByteArray(30, 'x') + " KONIEC\xBA"}));
    const QList<PdfWord> words = PdfWords(pdf(QStringLiteral("pogrubione.pdf")));
    const double column = 583.0 / 80;
    int seen = 0;
    for (const PdfWord &word : words)
        if (word.text == QStringLiteral("KONIEC")) {
            EXPECT_NEAR(word.box.left(), 32 * column, 0.1);
            ++seen;
        }
    EXPECT_EQ(seen, 2);
}

// A site whose DOS program writes its printer's escape sequences, named in DefSym.ovx:
// <PDF> jobs read them as the printer path does (condensed to 132 columns, bold), and the
// tags still work beside them.
TEST_F(PdfTextJobTest, TheSitesEscapeSequencesWorkAsOnThePrinter)
{
    WriteFile(m_tmp.filePath(QStringLiteral("DefSym.ovx")), "3=\x0f\r\n6=\x1b" "E\r\n7=\x1b" "F\r\n2=\x12\r\n");
    ASSERT_TRUE(m_site.loadSiteDefinitions(m_tmp.path()).isEmpty());
    const QByteArray wide(132, 'W');
    run(PdfJob("esc.pdf", {"\x0f" + wide, "\x12\x1b" "Egruby\x1b" "F cienki <2xG>tag<1xG>"}));
    const QString file = pdf(QStringLiteral("esc.pdf"));
    const QList<PdfWord> words = PdfWords(file);
    EXPECT_NEAR(WordNamed(words, QString(132, u'W')).box.width(), 583, 0.3);
    EXPECT_NEAR(WordNamed(words, QStringLiteral("gruby")).box.left(), 0, 0.3);
    EXPECT_FALSE(PdfText(file).contains(QStringLiteral("E"))) << "escape bytes printed as text";
    EXPECT_TRUE(PdfFonts(file).contains(QStringLiteral("Bold"))) << PdfFonts(file).toStdString();
}

// Dark pixels of the first page at 144 dpi (2 pixels a point), as a viewer shows it.
QImage PageImage(const QString &pdf, const QString &prefix)
{
    RunTool(QStringLiteral("pdftoppm"), {QStringLiteral("-gray"), QStringLiteral("-r"), QStringLiteral("144"),
                                          QStringLiteral("-singlefile"), pdf, prefix});
    return QImage(prefix + QStringLiteral(".pgm"));
}

bool Dark(const QImage &image, int x, int y)
{
    return qGray(image.pixel(x, y)) < 160;
}

TEST_F(PdfTextJobTest, FramesAreJoinedLinesWithDoubleStrokesApart)
{
    const QByteArray rule(40, '\xCD');
    const QByteArray blank(40, ' ');
    run(PdfJob("ramka.pdf", {"\xC9" + rule + "\xBB", "\xBA" + blank + "\xBA", "\xBA" + blank + "\xBA",
                             "\xC8" + rule + "\xBC"}));
    const QImage page = PageImage(pdf(QStringLiteral("ramka.pdf")), m_tmp.filePath(QStringLiteral("ramka")));
    ASSERT_FALSE(page.isNull());
    // One column is 583 / 80 points; the top rule's cells run from column 1 to 41.
    const double column = 583.0 / 80 * 2;
    const int x = int(20 * column);
    // Down the middle of the rule: two strokes with paper between them.
    int runs = 0;
    for (int y = 0; y < 24; ++y)
        if (Dark(page, x, y) && !Dark(page, x, y + 1))
            ++runs;
    EXPECT_EQ(runs, 2);
    int stroke = 0;
    while (stroke < 24 && !Dark(page, x, stroke))
        ++stroke;
    // Along the rule: no gap from cell to cell.
    for (int along = int(1.5 * column); along < int(40.5 * column); ++along)
        ASSERT_TRUE(Dark(page, along, stroke) || Dark(page, along, stroke + 1)) << "gap at x " << along;
    // The sides run down through the rows, from the top rule to the bottom one.
    int side = 0;
    while (side < int(column) && !Dark(page, side, 30))
        ++side;
    ASSERT_LT(side, int(column));
    for (int y = stroke + 2; y < 3 * 24 + 6; ++y)
        ASSERT_TRUE(Dark(page, side, y)) << "gap at y " << y;
}

// Ink along a row or column of pixels: each run of inked pixels with where it starts and
// how much ink it holds (255 a fully black pixel), so that a thin stroke counts the same
// whichever pixels its edges fall on.
struct InkRun {
    int start = 0;
    int ink = 0;
};

QList<InkRun> InkRuns(const QImage &image, QPoint from, QPoint step, int count)
{
    QList<InkRun> runs;
    bool inside = false;
    for (int i = 0; i < count; ++i) {
        const QPoint at = from + step * i;
        const int ink = image.valid(at) ? 255 - qGray(image.pixel(at)) : 0;
        if (ink > 40) {
            if (!inside)
                runs.append({i, 0});
            runs.last().ink += ink;
            inside = true;
        } else {
            inside = false;
        }
    }
    return runs;
}

// The table of a printout at 150 dpi, rendered as a reader shows it, and where its ink lies.
struct RenderedTable {
    QImage page;
    QRect frame;
};

RenderedTable RenderTable(const QString &pdf, const QString &prefix)
{
    RunTool(QStringLiteral("pdftoppm"), {QStringLiteral("-gray"), QStringLiteral("-r"), QStringLiteral("150"),
                                          QStringLiteral("-singlefile"), pdf, prefix});
    RenderedTable table{QImage(prefix + QStringLiteral(".pgm")), QRect()};
    for (int y = 0; y < table.page.height(); ++y)
        for (int x = 0; x < table.page.width(); ++x)
            if (qGray(table.page.pixel(x, y)) < 215)
                table.frame |= QRect(x, y, 1, 1);
    return table;
}

// A framed table in double height, upright and on a turned page: the page is stretched
// across the lines, and the frame with it, but its strokes keep the pen's width and a
// double rule its two strokes as far apart as in the table of normal height (both were
// doubled); the sides run on from row to row, and nothing of the frame stands out past
// its top or bottom rule.
TEST_F(PdfTextJobTest, FramesInDoubleHeightKeepTheirStrokesAndJoinWithoutStubs)
{
    const QByteArray top = "\xC9" + QByteArray(4, '\xCD') + "\xD1" + QByteArray(4, '\xCD') + "\xBB";
    const QByteArray between = "\xC7" + QByteArray(4, '\xC4') + "\xC5" + QByteArray(4, '\xC4') + "\xB6";
    const QByteArray bottom = "\xC8" + QByteArray(4, '\xCD') + "\xCF" + QByteArray(4, '\xCD') + "\xBC";
    const QList<QByteArray> rows{top, "\xBA AB \xB3 CD \xBA", between, "\xBA" "EF  \xB3  GH\xBA", bottom};
    QList<QByteArray> high = rows;
    high.first().prepend("<2xH>");
    high.last().append("<1xH>");
    for (const QByteArray &turn : {QByteArray(), QByteArray("<Poz>")}) {
        SCOPED_TRACE(turn.isEmpty() ? "upright" : "turned");
        const QString name = turn.isEmpty() ? QStringLiteral("pion") : QStringLiteral("poziom");
        run(PdfJob(name.toLatin1() + "-normalna.pdf", QList<QByteArray>{turn, "", ""} + rows));
        run(PdfJob(name.toLatin1() + "-wysoka.pdf", QList<QByteArray>{turn, "", ""} + high));
        // Each page is rendered the way its text reads.
        const RenderedTable normal =
            RenderTable(pdf(name + QStringLiteral("-normalna.pdf")), m_tmp.filePath(name + QStringLiteral("-n")));
        const RenderedTable tall =
            RenderTable(pdf(name + QStringLiteral("-wysoka.pdf")), m_tmp.filePath(name + QStringLiteral("-w")));
        ASSERT_FALSE(normal.frame.isEmpty());
        ASSERT_FALSE(tall.frame.isEmpty());
        EXPECT_NEAR(tall.frame.width(), normal.frame.width(), 1);

        // Columns of 583 / 80 points from the table's first cell: the sides in columns 0
        // and 10, the inner rule in 5; a side's outer stroke lies 0.38 columns in.
        const double column = 583.0 / 80 * 150 / 72;
        const auto columnAt = [&](const RenderedTable &t, double c) {
            return t.frame.left() - int(0.37 * column) + int(c * column);
        };
        const auto across = [&](const RenderedTable &t, int y) {
            QList<InkRun> strokes;
            for (int c : {0, 5, 10})
                for (InkRun stroke : InkRuns(t.page, QPoint(columnAt(t, c), y), QPoint(1, 0), int(column))) {
                    stroke.start += columnAt(t, c);
                    strokes.append(stroke);
                }
            return strokes;
        };
        // Through the middle of the first row: five vertical strokes, each of the normal width.
        const QList<InkRun> normalSides = across(normal, normal.frame.top() + normal.frame.height() / 4);
        const QList<InkRun> tallSides = across(tall, tall.frame.top() + tall.frame.height() / 4);
        ASSERT_EQ(normalSides.size(), 5);
        ASSERT_EQ(tallSides.size(), 5);
        for (qsizetype i = 0; i < 5; ++i)
            EXPECT_NEAR(tallSides[i].ink, normalSides[i].ink, normalSides[i].ink * 0.25) << "vertical stroke " << i;

        // Down through the top and the bottom rule: two strokes each, of the normal width
        // and as far apart as in the normal table.
        const auto down = [&](const RenderedTable &t, int from) {
            return InkRuns(t.page, QPoint(columnAt(t, 2.5), from), QPoint(0, 1), 12);
        };
        const QList<InkRun> rules[2][2] = {{down(normal, normal.frame.top()), down(normal, normal.frame.bottom() - 11)},
                                           {down(tall, tall.frame.top()), down(tall, tall.frame.bottom() - 11)}};
        for (int r = 0; r < 2; ++r) {
            const QList<InkRun> &normalRule = rules[0][r], &tallRule = rules[1][r];
            ASSERT_EQ(normalRule.size(), 2);
            ASSERT_EQ(tallRule.size(), 2);
            EXPECT_NEAR(tallRule[1].start - tallRule[0].start, normalRule[1].start - normalRule[0].start, 1);
            for (qsizetype i = 0; i < 2; ++i)
                EXPECT_NEAR(tallRule[i].ink, normalRule[i].ink, normalRule[i].ink * 0.25) << "horizontal stroke " << i;
        }
        // Rows twice as far apart: four lines of the normal table from rule to rule, eight here.
        const auto span = [](const RenderedTable &t, const QList<InkRun> &topRule, const QList<InkRun> &bottomRule) {
            return (t.frame.bottom() - 11 + bottomRule[0].start) - (t.frame.top() + topRule[0].start);
        };
        EXPECT_NEAR(span(tall, rules[1][0], rules[1][1]), 2 * span(normal, rules[0][0], rules[0][1]), 2);

        // The sides and the inner rule run unbroken from the top rule to the bottom one.
        for (const InkRun &stroke : tallSides) {
            int gaps = 0;
            for (int y = tall.frame.top() + 8; y < tall.frame.bottom() - 8; ++y)
                if (qGray(tall.page.pixel(stroke.start, y)) > 215 && qGray(tall.page.pixel(stroke.start + 1, y)) > 215)
                    ++gaps;
            EXPECT_EQ(gaps, 0) << "side at x " << stroke.start;
        }
        // The top and bottom rows of ink are the rules themselves, across the table: no
        // stroke reaches past them.
        for (int y : {tall.frame.top(), tall.frame.bottom()}) {
            int inked = 0;
            for (int px = tall.frame.left(); px <= tall.frame.right(); ++px)
                inked += qGray(tall.page.pixel(px, y)) < 215 ? 1 : 0;
            EXPECT_GT(inked, tall.frame.width() * 9 / 10) << "stubs at y " << y;
        }
    }
}

TEST_F(PdfTextJobTest, PagesFollowTheLinesAndAFullLastPageEndsWithAnEmptyOne)
{
    // 12-point lines on an 825-point page whose font is 11 points: 68 lines a page.
    QList<QByteArray> lines;
    for (int i = 1; i <= 339; ++i)
        lines.append("Wiersz " + QByteArray::number(i));
    run(PdfJob("piec.pdf", lines));
    EXPECT_EQ(PdfPageCount(pdf(QStringLiteral("piec.pdf"))), 5);
    lines.append("Wiersz 340");
    run(PdfJob("szesc.pdf", lines));
    EXPECT_EQ(PdfPageCount(pdf(QStringLiteral("szesc.pdf"))), 6);
    // A page feed starts a new page unless the file ends there.
    run(PdfJob("wysuw.pdf", {"strona 1<Nstr>", "strona 2", "koniec<Nstr>"}));
    EXPECT_EQ(PdfPageCount(pdf(QStringLiteral("wysuw.pdf"))), 2);
    const QList<PdfWord> second = PdfWords(pdf(QStringLiteral("wysuw.pdf")));
    ASSERT_FALSE(second.isEmpty());
}

// The turn of every page, from pdfinfo: 0 or 90.
QList<int> PageTurns(const QString &file)
{
    QList<int> turns;
    static const QRegularExpression rot(QStringLiteral("^Page +\\d+ rot: +(\\d+)"), QRegularExpression::MultilineOption);
    const QString info = RunTool(QStringLiteral("pdfinfo"), {QStringLiteral("-f"), QStringLiteral("1"),
                                                             QStringLiteral("-l"), QStringLiteral("99"), file});
    for (auto it = rot.globalMatch(info); it.hasNext();)
        turns.append(it.next().captured(1).toInt());
    return turns;
}

// Every word of the page lies on the sheet as it is shown, `size` being its width and
// height there. A cell placed at the sheet's very edge reaches past it by the font's
// ascent over its cell, a fraction of a point.
void ExpectOnTheSheet(const QList<PdfWord> &words, QSizeF size, int page)
{
    const double edge = 0.5;
    for (const PdfWord &w : words) {
        EXPECT_GE(w.box.left(), -edge) << w.text.toStdString() << " on page " << page;
        EXPECT_GE(w.box.top(), -edge) << w.text.toStdString() << " on page " << page;
        EXPECT_LE(w.box.right(), size.width() + edge) << w.text.toStdString() << " on page " << page;
        EXPECT_LE(w.box.bottom(), size.height() + edge) << w.text.toStdString() << " on page " << page;
    }
}

// The words' texts in reading order.
QStringList TextsOf(const QList<PdfWord> &words)
{
    QStringList texts;
    for (const PdfWord &w : words)
        texts.append(w.text);
    return texts;
}

// The first word whose top edge is not `step` points below the one before it, with the
// distance; empty when every line keeps the step.
std::string UnevenLine(const QList<PdfWord> &words, double step)
{
    for (qsizetype i = 1; i < words.size(); ++i) {
        const double distance = words[i].box.top() - words[i - 1].box.top();
        if (std::abs(distance - step) > 0.3)
            return words[i].text.toStdString() + " is " + std::to_string(distance) + " points below the line before";
    }
    return {};
}

std::string Joined(const QStringList &texts)
{
    return texts.join(u' ').toStdString();
}

QStringList Numbered(const char *prefix, int from, int to)
{
    QStringList texts;
    for (int i = from; i <= to; ++i)
        texts.append(QString::fromLatin1(prefix) + QString::number(i).rightJustified(3, u'0'));
    return texts;
}

// Double height and a superscript on a turned page stretch the page across the lines only:
// every later line keeps its sixty digits at the width of the first one (double height
// once stretched them along the line and cut off digits 36 to 60).
TEST_F(PdfTextJobTest, SizeModesOnTurnedPagesKeepTheLinesWhole)
{
    const QByteArray digits = QByteArray("1234567890").repeated(6);
    run(PdfJob("poziom-wysoki.pdf", {"<Poz>" + digits, "<2xH>W<1xH> " + digits, digits, "<SP+>x<SP-> " + digits, digits}));
    const QList<PdfWord> words = PdfWords(pdf(QStringLiteral("poziom-wysoki.pdf")), 1);
    QList<double> lengths;
    for (const PdfWord &word : words)
        if (word.text == QString::fromLatin1(digits))
            lengths.append(std::max(word.box.width(), word.box.height()));
    ASSERT_EQ(lengths.size(), 5) << Joined(TextsOf(words));
    for (double length : lengths)
        EXPECT_NEAR(length, lengths.first(), 0.5);
}

// A page feed while double height is in force: the next page goes on in double height,
// its lines as tall and as far apart as on the first (they were squashed to half).
TEST_F(PdfTextJobTest, DoubleHeightGoesOnAcrossAPageFeed)
{
    run(PdfJob("wysoki.pdf", {"<2xH>A1", "A2<Nstr>", "B1", "B2<1xH>", "C1"}));
    const QString file = pdf(QStringLiteral("wysoki.pdf"));
    ASSERT_EQ(PdfPageCount(file), 2);
    const QList<PdfWord> first = PdfWords(file, 1);
    const QList<PdfWord> second = PdfWords(file, 2);
    const QRectF a1 = WordNamed(first, QStringLiteral("A1")).box, a2 = WordNamed(first, QStringLiteral("A2")).box;
    const QRectF b1 = WordNamed(second, QStringLiteral("B1")).box, b2 = WordNamed(second, QStringLiteral("B2")).box;
    EXPECT_NEAR(b1.height(), a1.height(), 0.5);
    EXPECT_NEAR(b2.top() - b1.top(), a2.top() - a1.top(), 0.5);
    EXPECT_GT(b1.height(), WordNamed(second, QStringLiteral("C1")).box.height() * 1.6);
}

TEST_F(PdfTextJobTest, LandscapeSymbolTurnsThePagesAndTextRunsAcrossThem)
{
    // From the first line on: the 12-point lines stay 12 points apart across the turned
    // page, not stretched by the fit of upright text, so none falls off its edge.
    QList<QByteArray> lines{"<Poz>"};
    for (const QString &text : Numbered("W", 1, 100))
        lines.append(text.toLatin1());
    run(PdfJob("poziom.pdf", lines));
    const QString file = pdf(QStringLiteral("poziom.pdf"));
    // 583 points of page width hold 48 lines; the <Poz> line is the first of page 1.
    EXPECT_EQ(PdfPageCount(file), 3);
    EXPECT_EQ(PageTurns(file), QList<int>({90, 90, 90}));
    const QList<QStringList> expected{Numbered("W", 1, 47), Numbered("W", 48, 95), Numbered("W", 96, 100)};
    for (int page = 1; page <= 3; ++page) {
        const QList<PdfWord> words = PdfWords(file, page);
        EXPECT_EQ(Joined(TextsOf(words)), Joined(expected[page - 1])) << "page " << page;
        ExpectOnTheSheet(words, QSizeF(842, 595), page);
        EXPECT_EQ(UnevenLine(words, 12), "") << "page " << page;
    }
}

TEST_F(PdfTextJobTest, UprightTextAfterTurnedTextStandsOnTheSheet)
{
    // A page feed while turned, then <Pion>: page 2 is upright again, its lines from the
    // top, as many as an upright page holds.
    QList<QByteArray> lines{"<Poz>", "T01", "T02", "T03<Nstr>", "<Pion>"};
    for (const QString &text : Numbered("P", 1, 10))
        lines.append(text.toLatin1());
    run(PdfJob("obrot.pdf", lines));
    const QString file = pdf(QStringLiteral("obrot.pdf"));
    ASSERT_EQ(PdfPageCount(file), 2);
    EXPECT_EQ(PageTurns(file), QList<int>({90, 0}));
    const QList<PdfWord> upright = PdfWords(file, 2);
    EXPECT_EQ(Joined(TextsOf(upright)), Joined(Numbered("P", 1, 10)));
    ExpectOnTheSheet(upright, QSizeF(595, 842), 2);
    ASSERT_FALSE(upright.isEmpty());
    // The <Pion> line is the page's first: P001 on the second line, 12 points down.
    EXPECT_GE(upright[0].box.top(), 11);
    EXPECT_LT(upright[0].box.top(), 16);
    EXPECT_NEAR(upright[0].box.left(), 0, 0.5);
    EXPECT_EQ(UnevenLine(upright, 12), "");

    // <Pion> on a page that holds turned text: the upright text after it starts at the
    // sheet's top-left corner, on the page as it is shown, turned.
    run(PdfJob("obie.pdf", {"<Poz>", "Q01", "Q02", "<Pion>R01", "R02"}));
    const QString both = pdf(QStringLiteral("obie.pdf"));
    ASSERT_EQ(PdfPageCount(both), 1);
    EXPECT_EQ(PageTurns(both), QList<int>({90}));
    const QList<PdfWord> mixed = PdfWords(both, 1);
    const QStringList texts = TextsOf(mixed);
    for (const QString &text : {QStringLiteral("Q01"), QStringLiteral("Q02"), QStringLiteral("R01"), QStringLiteral("R02")})
        EXPECT_TRUE(texts.contains(text)) << text.toStdString() << " is missing from " << Joined(texts);
    ExpectOnTheSheet(mixed, QSizeF(842, 595), 1);
}

TEST_F(PdfTextJobTest, DoubleHeightAndScriptsStretchTheTextAboutItsLine)
{
    run(PdfJob("rozmiary.pdf", {"", "", "", "", "", "", "", "", "", "",
                                "AAA <2xH>BBB <1xH>CCC <SP+>DDD<SP-> EEE <SB+>FFF<SB-> GGG"}));
    const QList<PdfWord> words = PdfWords(pdf(QStringLiteral("rozmiary.pdf")));
    const QRectF normal = WordNamed(words, QStringLiteral("AAA")).box;
    const QRectF high = WordNamed(words, QStringLiteral("BBB")).box;
    const QRectF after = WordNamed(words, QStringLiteral("CCC")).box;
    const QRectF super = WordNamed(words, QStringLiteral("DDD")).box;
    const QRectF sub = WordNamed(words, QStringLiteral("FFF")).box;
    // Line 11 at y 120: double height keeps the width and doubles the height, the cell
    // raised by round(11 * 0.71) before the page is stretched about its bottom edge.
    EXPECT_NEAR(high.height() / normal.height(), 2.0, 0.05);
    EXPECT_NEAR(high.width(), normal.width(), 0.3);
    EXPECT_NEAR(high.top() - normal.top(), (112 + 2 * (normal.top() - 120)) - normal.top(), 0.6);
    // Back to normal on (nearly) the same line: 4 units down in stretched coordinates.
    EXPECT_NEAR(after.top(), normal.top(), 0.6);
    EXPECT_NEAR(after.height(), normal.height(), 0.1);
    // Scripts at 0.6 of the height: the superscript raised by 1, the subscript lowered by 7.
    EXPECT_NEAR(super.height() / normal.height(), 0.6, 0.03);
    EXPECT_NEAR(sub.height() / normal.height(), 0.6, 0.03);
    EXPECT_NEAR(super.top(), 119 + 0.6 * (normal.top() - 120), 0.6);
    EXPECT_NEAR(sub.top(), 127 + 0.6 * (normal.top() - 120), 0.6);
    EXPECT_NEAR(WordNamed(words, QStringLiteral("GGG")).box.top(), normal.top(), 0.6);
}

TEST_F(PdfTextJobTest, PdfPathGoesThroughTheDriveMapAndAnExistingFolderInAnyCase)
{
    QDir(m_tmp.path()).mkpath(QStringLiteral("dane/Faktury"));
    m_settings.drives.insert(u'F', m_tmp.filePath(QStringLiteral("dane")));
    ASSERT_EQ(run(PdfJob("F1.PDF", {"na dysku F"}, "PDF_PATH=F:\\FAKTURY\r\n")).outcome, JobResult::Done);
    EXPECT_TRUE(PdfText(m_tmp.filePath(QStringLiteral("dane/Faktury/F1.PDF"))).contains(QStringLiteral("dysku")));
    // A folder "pdf" already there is the PDF folder.
    QDir(m_tmp.path()).mkdir(QStringLiteral("pdf"));
    run(PdfJob("maly.pdf", {"w folderze pdf"}));
    EXPECT_TRUE(QFile::exists(m_tmp.filePath(QStringLiteral("pdf/maly.pdf"))));
    EXPECT_FALSE(QFile::exists(m_tmp.filePath(QStringLiteral("PDF"))));
}

TEST_F(PdfTextJobTest, BadTargetsAndAFullDiskFailTheJobLeaveNothingAndSendNoMail)
{
    const QByteArray mail = "A_MAIL=jan@firma.pl\r\n";
    // An empty name, a folder that does not exist (a given PDF_PATH is not created), a
    // name that is a folder.
    QDir(m_tmp.path()).mkpath(QStringLiteral("PDF/stare"));
    EXPECT_THROW(run(PdfJob("", {"tekst"}, mail)), JobError);
    EXPECT_THROW(run(PdfJob("a.pdf", {"tekst"}, "PDF_PATH=" + m_tmp.filePath(QStringLiteral("brak")).toUtf8() +
                                                    "\r\n" + mail)),
                 PdfError);
    EXPECT_FALSE(QFile::exists(m_tmp.filePath(QStringLiteral("brak"))));
    EXPECT_THROW(run(PdfJob("stare", {"tekst"}, mail)), JobError);

    // A disk that fills up half way keeps the older file whole.
    WriteFile(pdf(QStringLiteral("duza.pdf")), "%PDF-1.4 poprzednia wersja");
    QList<QByteArray> lines;
    for (int i = 0; i < 2000; ++i)
        lines.append("Wiersz, kt\xa2ry nie zmie\x98\x63i si\xa9 na dysku " + QByteArray::number(i));
    const QString path = job(QStringLiteral("DUZA.txt"), PdfJob("duza.pdf", lines, mail));
    try {
        const FileSizeLimit limit(20000);
        m_jobs.PdfTextJob(m_context, path);
        ADD_FAILURE() << "the job should fail";
    } catch (const OutputUnavailable &e) {
        EXPECT_TRUE(e.message().contains(pdf(QStringLiteral("duza.pdf")))) << e.what();
    }
    EXPECT_EQ(ReadFile(pdf(QStringLiteral("duza.pdf"))), "%PDF-1.4 poprzednia wersja");
    EXPECT_EQ(Entries(m_tmp.filePath(QStringLiteral("PDF"))),
              (QStringList{QStringLiteral("duza.pdf"), QStringLiteral("stare")}));
    EXPECT_TRUE(m_mails.isEmpty());
}

TEST_F(PdfTextJobTest, FinishedFileIsMailedOnlyToAnAddress)
{
    const QString path = job(QStringLiteral("MAIL.txt"),
                             PdfJob("do-wyslania.pdf", {"tekst"}, "A_MAIL = jan@firma.pl \r\nT_MAIL=Faktura nr 7\r\n"));
    m_jobs.PdfTextJob(m_context, path);
    ASSERT_EQ(m_mails.size(), 1);
    EXPECT_EQ(m_mails[0].jobPath, path);
    EXPECT_EQ(m_mails[0].address, QStringLiteral("jan@firma.pl"));
    EXPECT_EQ(m_mails[0].pdfPath, pdf(QStringLiteral("do-wyslania.pdf")));
    EXPECT_EQ(m_mails[0].subject, QStringLiteral("Faktura nr 7"));
    // Handed over only once the file was complete under its name.
    EXPECT_TRUE(m_mails[0].pdfComplete);

    run(PdfJob("bez-adresu.pdf", {"tekst"}, "A_MAIL=jan.firma.pl\r\n"));
    EXPECT_EQ(m_mails.size(), 1);

    // Without mail at all the legacy program still learns that nothing went out.
    m_jobs.setMailPdf({});
    run(PdfJob("nie-wyslany.pdf", {"tekst"}, "A_MAIL=jan@firma.pl\r\n"));
    EXPECT_EQ(ReadFile(m_tmp.filePath(QStringLiteral("Errors/nie-wyslany.txt"))), "error=NOT\r\n");
}

TEST(PdfTextProgram, OnceWritesThePdfJournalsItAndDeletesTheJob)
{
    QTemporaryDir home, runtime;
    const QString jobs = home.filePath(QStringLiteral("jobs"));
    QDir().mkpath(jobs);
    WriteFile(home.filePath(QStringLiteral("Ostrevo.ini")),
              "[Opcje]\r\nKatalog=" + jobs.toUtf8() + "\r\nDrukarka=Ostrevo PDF\r\nTimer=1\r\nMonitorowanie=1\r\n");
    WriteFile(jobs + QStringLiteral("/FV7.txt"), PdfJob("FV7.pdf", {"Faktura VAT 7/2026"}));
    WriteFile(jobs + QStringLiteral("/FV7.END"), {});
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    p.setProcessEnvironment(env);
    p.start(OstrevoBinary(), {QStringLiteral("--home"), home.path(), QStringLiteral("--once")});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
    EXPECT_EQ(Entries(jobs), QStringList{QStringLiteral("PDF")});
    EXPECT_TRUE(PdfText(jobs + QStringLiteral("/PDF/FV7.pdf")).contains(QStringLiteral("Faktura VAT 7/2026")));
    const QByteArray journal = ReadFile(home.filePath(QStringLiteral("ostrevo.log")));
    EXPECT_TRUE(journal.contains("FV7.txt\tjkPdf")) << journal.constData();
    EXPECT_TRUE(journal.contains("OK: " + jobs.toUtf8() + "/PDF/FV7.pdf, stron: 1")) << journal.constData();
}

} // namespace
