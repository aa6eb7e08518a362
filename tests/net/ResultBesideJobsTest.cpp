// The mail sender writes result files beside the job thread: writings at the same time
// into one Errors directory must not meet.

#include "handling/ResultFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <thread>

using namespace ostrevo;
using namespace ostrevo::test;

TEST(ResultBesideJobsTest, ResultsWrittenFromTwoThreadsAllArrive)
{
    QTemporaryDir dir;
    const auto write = [&](const char *prefix) {
        for (int i = 0; i < 200; ++i)
            WriteResultFile(dir.path(), QLatin1StringView(prefix) + QString::number(i) + QStringLiteral(".txt"), "OK");
    };
    std::thread other([&] { write("a"); });
    EXPECT_NO_THROW(write("b"));
    other.join();
    const QStringList names = Entries(dir.path() + QStringLiteral("/Errors"));
    EXPECT_EQ(names.size(), 400);
    EXPECT_TRUE(names.filter(QStringLiteral(".part")).isEmpty());
}

TEST(ResultBesideJobsTest, AResultOfAnotherLetterCaseIsReplacedNotLeftStale)
{
    // The DOS program sees one name whatever its case: a stale DANE.TXT must not stay
    // beside the new dane.txt.
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("Errors")));
    WriteFile(dir.filePath(QStringLiteral("Errors/DANE.TXT")), "error=NOT\r\n");
    WriteResultFile(dir.path(), QStringLiteral("dane.txt"), "OK");
    EXPECT_EQ(Entries(dir.filePath(QStringLiteral("Errors"))), QStringList{QStringLiteral("DANE.TXT")});
    EXPECT_EQ(ReadFile(dir.filePath(QStringLiteral("Errors/DANE.TXT"))), "error=OK\r\n");
}
