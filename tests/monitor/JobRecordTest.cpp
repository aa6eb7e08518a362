// The journal read back for the journal window and the notices: records as the journal
// writes them, lines of earlier versions, the tail of a huge or half-written file, and
// the throttle of the notices.

#include "monitor/Journal.h"
#include "monitor/JobRecord.h"
#include "monitor/JobWording.h"
#include "monitor/NoticeThrottle.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

JobRecord Record(const char *file, const char *kind, JobOutcome outcome, const QString &detail = {},
                 const QStringList &outputs = {})
{
    JobRecord r;
    r.id = QStringLiteral("id-") + QString::fromLatin1(file);
    r.time = QDateTime(QDate(2026, 12, 9), QTime(10, 0, 0, 250));
    r.directory = QStringLiteral("/srv/jobs");
    r.jobFile = QString::fromLatin1(file);
    r.kind = QString::fromLatin1(kind);
    r.durationMs = 40;
    r.outcome = outcome;
    r.detail = detail;
    r.outputs = outputs;
    return r;
}

} // namespace

TEST(JobRecords, EveryOutcomeRoundTripsThroughTheJournalWithItsFiles)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ostrevo.log"));
    QList<JobRecord> written{
        Record("FV1.txt", "jkPdf", JobOutcome::Ok, QStringLiteral("stron: 2"),
               {QStringLiteral("/srv/jobs/PDF/FV 1\tx.pdf")}),
        Record("O.txt", "jkOpen", JobOutcome::NothingDone, QStringLiteral("file does not exist: /x.pdf")),
        Record("D.txt", "jkDf", JobOutcome::Failed, QStringLiteral("printer error 12")),
        Record("M.txt", "jkMail", JobOutcome::NotSupported, QStringLiteral("no handler")),
        Record("R.txt", "jkText", JobOutcome::Retry, QStringLiteral("No space left on device")),
        Record("E.txt", "jkPdf", JobOutcome::Error, QStringLiteral("Cannot write: x")),
        Record("L.txt", "?", JobOutcome::Refused, QStringLiteral("the text is a symbolic link")),
        Record("A.txt", "jkText", JobOutcome::Abandoned, QStringLiteral("quit")),
        Record("I.txt", "jkDf", JobOutcome::Interrupted, QStringLiteral("check the printer")),
        Record("C.txt", "-", JobOutcome::Cleared, QStringLiteral("12 B")),
    };
    JobRecord later = Record("M.txt", "jkMail", JobOutcome::Failed, QStringLiteral("error=535"));
    later.id.clear();
    later.follows = QStringLiteral("id-M.txt");
    written.append(later);
    {
        Journal journal(path);
        for (const JobRecord &r : written)
            journal.record(r);
    }
    const QList<JobRecord> read = ReadJournalTail(path);
    ASSERT_EQ(read.size(), written.size());
    for (qsizetype i = 0; i < written.size(); ++i) {
        const JobRecord &w = written[i];
        const JobRecord &r = read[read.size() - 1 - i]; // newest first
        SCOPED_TRACE(w.jobFile.toStdString());
        EXPECT_EQ(r.outcome, w.outcome);
        EXPECT_EQ(r.detail, w.detail);
        EXPECT_EQ(r.id, w.id);
        EXPECT_EQ(r.follows, w.follows);
        EXPECT_EQ(r.time, w.time);
        EXPECT_EQ(r.kind, w.kind);
        EXPECT_EQ(r.durationMs, 40);
    }
    // A template's NUL quoted in a message never reaches the file as a NUL.
    {
        QString detail = QStringLiteral("wzor.txt: B(1,##)");
        detail.replace(u'#', QChar(0));
        Journal journal(path);
        journal.record(Record("N.txt", "jkPit", JobOutcome::Failed, detail));
    }
    EXPECT_FALSE(ReadFile(path).contains('\0'));
    EXPECT_EQ(ReadJournalTail(path).first().detail, QString::fromUtf8("wzor.txt: B(1,\u2400\u2400)"));
    // A tab inside a file name cannot split the line, and the file is named exactly.
    EXPECT_EQ(read.last().outputs, QStringList{QStringLiteral("/srv/jobs/PDF/FV 1\tx.pdf")});
    EXPECT_TRUE(read[read.size() - 2].nothingDone());
    EXPECT_FALSE(read[read.size() - 2].failed());
    for (const JobOutcome failure : {JobOutcome::Failed, JobOutcome::Retry, JobOutcome::Error, JobOutcome::Refused,
                                     JobOutcome::Abandoned, JobOutcome::Interrupted})
        EXPECT_TRUE(Record("x", "k", failure).failed());
}

TEST(JobRecords, LinesOfEarlierVersionsStillRead)
{
    // Six columns, and the output file only in the handlers' wording.
    const auto pdf = ParseJournalLine(QStringLiteral(
        "2026-01-01 09:00:00.000\t/srv/jobs\tFV1.txt\tjkPdf\t40 ms\tOK: /srv/jobs/PDF/FV1.pdf, stron: 2"));
    ASSERT_TRUE(pdf);
    EXPECT_EQ(pdf->outputFile(), QStringLiteral("/srv/jobs/PDF/FV1.pdf"));
    const auto printout = ParseJournalLine(QStringLiteral(
        "2026-01-01 09:00:00.000\t/srv/jobs\tW.txt\tjkText\t12 ms\tOK: stron: 1, plik: /srv/wydruki/W.pdf"));
    ASSERT_TRUE(printout);
    EXPECT_EQ(printout->outputFile(), QStringLiteral("/srv/wydruki/W.pdf"));
    // REFUSED and ABANDONED lines were written but not read before.
    for (const char *line : {"2026-01-01 09:00:00.000\tjobs\tL.txt\t?\t0 ms\tREFUSED: link",
                             "2026-01-01 09:00:00.000\tjobs\tA.txt\tjkText\t9 ms\tABANDONED: quit"})
        EXPECT_TRUE(ParseJournalLine(QString::fromUtf8(line))) << line;

    // Lines that are not journal lines are no records.
    for (const char *bad : {"", "zepsuty wiersz", "2026-01-01 00:00:00.000\tjobs\tA.txt\tjkText\tdługo\tOK",
                            "2026-13-45 00:00:00.000\tjobs\tA.txt\tjkText\t1 ms\tOK",
                            "2026-01-01 00:00:00.000\tjobs\tA.txt\tjkText\t1 ms\tSOMETHING"})
        EXPECT_FALSE(ParseJournalLine(QString::fromUtf8(bad))) << bad;
}

TEST(JobRecords, OnlyTheTailOfAHugeOrHalfWrittenJournalIsRead)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ostrevo.log"));
    QByteArray text;
    for (int i = 0; i < 20000; ++i)
        text += "2026-12-09 10:00:00.000\t/srv/jobs\tJ" + QByteArray::number(i) + ".txt\tjkText\t5 ms\tOK: stron: 1\n";
    // A crash in the middle of a line: that line is not an entry.
    text += "2026-12-09 10:00:01.000\t/srv/jobs\tHALF.txt\tjkT";
    WriteFile(path, text);
    const QList<JobRecord> entries = ReadJournalTail(path, 100, 64 * 1024);
    ASSERT_EQ(entries.size(), 100);
    EXPECT_EQ(entries.first().jobFile, QStringLiteral("J19999.txt"));
    EXPECT_EQ(entries.last().jobFile, QStringLiteral("J19900.txt"));
    // The tail's first, cut line is skipped rather than misread.
    const QList<JobRecord> all = ReadJournalTail(path, 100000, 64 * 1024);
    for (const JobRecord &e : all)
        EXPECT_EQ(e.time.date(), QDate(2026, 12, 9));
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

TEST(JobWording, CountsOfOtherFailedJobsTakeThePolishPlural)
{
    EXPECT_EQ(OtherFailedJobs(1), QStringLiteral("1 inne nieudane zadanie"));
    for (int n : {2, 3, 4, 22, 104})
        EXPECT_EQ(OtherFailedJobs(n), QStringLiteral("%1 inne nieudane zadania").arg(n)) << n;
    for (int n : {5, 6, 11, 12, 13, 14, 21, 25, 112})
        EXPECT_EQ(OtherFailedJobs(n), QStringLiteral("%1 innych nieudanych zadań").arg(n)) << n;
}
