#include "net/rates/IsolatedConversion.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace ostrevo {
namespace {

// The conversion runs in this test program started afresh: what it cannot read fails with
// the child's own reason, and nothing half written stays.
TEST(IsolatedConversion, AFileThatIsNoWorkbookFailsWithItsReason)
{
    QTemporaryDir dir;
    const QString workbook = dir.filePath(QStringLiteral("kursy.xls"));
    QFile file(workbook);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<html>Przerwa techniczna</html>");
    file.close();
    QString why;
    EXPECT_EQ(XlsToDbfIsolated(workbook, dir.filePath(QStringLiteral("KURSY.DBF")), why, 60), 1);
    EXPECT_TRUE(why.contains(QStringLiteral("kursy.xls"))) << why.toStdString();
    EXPECT_FALSE(why.contains(QStringLiteral("kod wyjścia"))) << why.toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("kursy.xls")});
}

// A conversion that never ends (here: a workbook that is a pipe nobody writes) is given up
// after its time, and the monitor goes on.
TEST(IsolatedConversion, AConversionThatHangsIsGivenUpInTime)
{
    QTemporaryDir dir;
    const QString workbook = dir.filePath(QStringLiteral("kursy.xls"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(workbook).constData(), 0600), 0);
    QString why;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(XlsToDbfIsolated(workbook, dir.filePath(QStringLiteral("KURSY.DBF")), why, 1), 1);
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_TRUE(why.contains(QStringLiteral("nie skończyło się w ciągu 1 s"))) << why.toStdString();
}

} // namespace
} // namespace ostrevo
