// The job journal holds whom the office invoices: it is the user's alone.

#include "monitor/Journal.h"
#include "support/TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {
mode_t ModeOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 0777) : 0;
}
} // namespace

TEST(Journal, IsReadableByTheUserAloneNewOrLeftOpenBefore)
{
    QTemporaryDir dir;
    for (const bool existing : {false, true}) {
        SCOPED_TRACE(existing ? "journal left 0644 by an older version" : "new journal");
        const QString path = dir.filePath(existing ? QStringLiteral("old.log") : QStringLiteral("new.log"));
        if (existing) {
            WriteFile(path, "2026-01-01 00:00:00.000\tjobs\tA.txt\tjkText\t1 ms\tOK\n");
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        }
        const mode_t old = ::umask(022);
        {
            Journal journal(path);
            JobRecord record;
            record.time = QDateTime::currentDateTime();
            record.directory = QStringLiteral("/srv/jobs");
            record.jobFile = QStringLiteral("B.txt");
            record.kind = QStringLiteral("jkText");
            record.durationMs = 2;
            journal.record(record);
        }
        ::umask(old);
        EXPECT_EQ(ModeOf(path), 0600u);
        EXPECT_TRUE(ReadFile(path).contains("B.txt\tjkText\t2 ms\tOK\n"));
    }
}

namespace {
void Record(Journal &journal, const char *job)
{
    JobRecord record;
    record.time = QDateTime::currentDateTime();
    record.directory = QStringLiteral("/srv/jobs");
    record.jobFile = QString::fromLatin1(job);
    record.kind = QStringLiteral("jkText");
    record.durationMs = 1;
    journal.record(record);
}
} // namespace

TEST(Journal, AMovedOrDeletedJournalIsFollowedByANewOne)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ostrevo.log"));
    Journal journal(path);
    Record(journal, "A.txt");
    // logrotate without copytruncate: the file moves, the writer should start a new one.
    ASSERT_TRUE(QFile::rename(path, path + QStringLiteral(".1")));
    Record(journal, "B.txt");
    EXPECT_TRUE(ReadFile(path + QStringLiteral(".1")).contains("A.txt"));
    EXPECT_FALSE(ReadFile(path + QStringLiteral(".1")).contains("B.txt"));
    EXPECT_TRUE(ReadFile(path).contains("B.txt"));
    EXPECT_EQ(ModeOf(path), 0600u);

    ASSERT_TRUE(QFile::remove(path));
    Record(journal, "C.txt");
    Record(journal, "D.txt");
    EXPECT_EQ(ReadFile(path).count('\n'), 2);
    EXPECT_TRUE(ReadFile(path).contains("C.txt\tjkText"));

    // A link put in its place is not written through.
    const QString elsewhere = dir.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::link(elsewhere, path));
    Record(journal, "E.txt");
    EXPECT_FALSE(QFile::exists(elsewhere));
}

TEST(Journal, StartUpRotationKeepsThreeGenerations)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ostrevo.log"));
    for (int round = 1; round <= 4; ++round) {
        // Each start finds a journal past the limit, marked with its round.
        WriteFile(path, "round " + QByteArray::number(round) + '\n' + QByteArray(8 * 1024 * 1024 + 1, 'x'));
        Journal journal(path);
        Record(journal, "A.txt");
        EXPECT_EQ(ReadFile(path).count('\n'), 1) << round;
    }
    EXPECT_TRUE(ReadFile(path + QStringLiteral(".1")).startsWith("round 4\n"));
    EXPECT_TRUE(ReadFile(path + QStringLiteral(".2")).startsWith("round 3\n"));
    EXPECT_TRUE(ReadFile(path + QStringLiteral(".3")).startsWith("round 2\n"));
    EXPECT_FALSE(QFile::exists(path + QStringLiteral(".4")));
}
