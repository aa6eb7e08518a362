// The journal read back for the journal window and the notices: lines as the journal
// writes them, the tail of a huge or half-written file, and the throttle of the notices.

#include "monitor/Journal.h"
#include "monitor/JournalEntries.h"
#include "monitor/NoticeThrottle.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

TEST(JournalEntries, LinesAsWrittenReadBackWithTheirOutcomeAndOutput)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ostrevo.log"));
    {
        Journal journal(path);
        journal.record(QStringLiteral("/srv/jobs"), QStringLiteral("FV1.txt"), QStringLiteral("jkPdf"), 40,
                       QStringLiteral("OK: /srv/jobs/PDF/FV1.pdf, stron: 2"));
        journal.record(QStringLiteral("/srv/jobs"), QStringLiteral("W.txt"), QStringLiteral("jkText"), 12,
                       QStringLiteral("OK: stron: 1, plik: /srv/wydruki/W.pdf"));
        journal.record(QStringLiteral("/srv/jobs"), QStringLiteral("M.txt"), QStringLiteral("jkMail"), 1,
                       QStringLiteral("NOT SUPPORTED: jkMail is not supported yet"));
        journal.record(QStringLiteral("/srv/jobs"), QStringLiteral("P.txt"), QStringLiteral("jkPdf"), 3,
                       QStringLiteral("ERROR: Cannot write the PDF file /x.pdf: No such file or directory"));
        journal.record(QStringLiteral("/srv/jobs"), QStringLiteral("R.txt"), QStringLiteral("jkText"), 3,
                       QStringLiteral("RETRY: No space left on device; the job is kept and tried again in 2000 ms"));
        journal.record(QStringLiteral("/srv/jobs"), QStringLiteral("D.txt"), QStringLiteral("jkDf"), 3,
                       QStringLiteral("FAILED: printer error 12"));
    }
    const QList<JournalEntry> entries = ReadJournalTail(path);
    ASSERT_EQ(entries.size(), 6);
    // Newest first.
    EXPECT_EQ(entries[0].jobFile, QStringLiteral("D.txt"));
    EXPECT_EQ(entries[0].outcome, JobOutcome::Failed);
    EXPECT_EQ(entries[0].reason(), QStringLiteral("printer error 12"));
    EXPECT_EQ(entries[1].outcome, JobOutcome::Retry);
    EXPECT_TRUE(entries[1].failed());
    EXPECT_EQ(entries[2].outcome, JobOutcome::Error);
    EXPECT_TRUE(entries[2].outputFile().isEmpty());
    EXPECT_EQ(entries[3].outcome, JobOutcome::NotSupported);
    EXPECT_FALSE(entries[3].failed());
    EXPECT_EQ(entries[4].outputFile(), QStringLiteral("/srv/wydruki/W.pdf"));
    EXPECT_EQ(entries[5].outputFile(), QStringLiteral("/srv/jobs/PDF/FV1.pdf"));
    EXPECT_EQ(entries[5].durationMs, 40);
    EXPECT_EQ(entries[5].kind, QStringLiteral("jkPdf"));
    EXPECT_EQ(entries[5].directory, QStringLiteral("/srv/jobs"));

    // Lines that are not journal lines are no entries.
    for (const char *bad : {"", "zepsuty wiersz", "2026-01-01 00:00:00.000\tjobs\tA.txt\tjkText\tdługo\tOK",
                            "2026-13-45 00:00:00.000\tjobs\tA.txt\tjkText\t1 ms\tOK",
                            "2026-01-01 00:00:00.000\tjobs\tA.txt\tjkText\t1 ms\tSOMETHING"})
        EXPECT_FALSE(ParseJournalLine(QString::fromUtf8(bad))) << bad;
}

TEST(JournalEntries, OnlyTheTailOfAHugeOrHalfWrittenJournalIsRead)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ostrevo.log"));
    QByteArray text;
    for (int i = 0; i < 20000; ++i)
        text += "2026-12-09 10:00:00.000\t/srv/jobs\tJ" + QByteArray::number(i) + ".txt\tjkText\t5 ms\tOK: stron: 1\n";
    // A crash in the middle of a line: that line is not an entry.
    text += "2026-12-09 10:00:01.000\t/srv/jobs\tHALF.txt\tjkT";
    WriteFile(path, text);
    const QList<JournalEntry> entries = ReadJournalTail(path, 100, 64 * 1024);
    ASSERT_EQ(entries.size(), 100);
    EXPECT_EQ(entries.first().jobFile, QStringLiteral("J19999.txt"));
    EXPECT_EQ(entries.last().jobFile, QStringLiteral("J19900.txt"));
    // The tail's first, cut line is skipped rather than misread.
    const QList<JournalEntry> all = ReadJournalTail(path, 100000, 64 * 1024);
    for (const JournalEntry &e : all)
        EXPECT_TRUE(e.time.startsWith(QStringLiteral("2026-12-09"))) << e.time.toStdString();
    EXPECT_TRUE(ReadJournalTail(dir.filePath(QStringLiteral("brak.log"))).isEmpty());
}

TEST(NoticeThrottle, ABurstShowsOneNoticeAndTheNextCountsTheRest)
{
    NoticeThrottle throttle(5000);
    int held = -1;
    EXPECT_TRUE(throttle.allow(1000, held));
    EXPECT_EQ(held, 0);
    int shown = 0;
    for (int i = 0; i < 50; ++i)
        shown += throttle.allow(1000 + i * 50, held) ? 1 : 0;
    EXPECT_EQ(shown, 0);
    EXPECT_TRUE(throttle.allow(6500, held));
    EXPECT_EQ(held, 50);
    EXPECT_FALSE(throttle.allow(7000, held));
    EXPECT_TRUE(throttle.allow(11500, held));
    EXPECT_EQ(held, 1);
}
