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
            journal.record(QStringLiteral("/srv/jobs"), QStringLiteral("B.txt"), QStringLiteral("jkText"), 2,
                           QStringLiteral("OK"));
        }
        ::umask(old);
        EXPECT_EQ(ModeOf(path), 0600u);
        EXPECT_TRUE(ReadFile(path).contains("B.txt\tjkText\t2 ms\tOK\n"));
    }
}
