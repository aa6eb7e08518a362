#include "monitor/Autostart.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace ostrevo;
using ostrevo::test::ReadFile;
using ostrevo::test::WriteFile;

namespace {

class AutostartTest : public ::testing::Test {
protected:
    QString autostartDir() const { return m_tmp.filePath(QStringLiteral("config/autostart")); }
    QString entry() const { return autostartDir() + QStringLiteral("/Ostv.desktop"); }
    QTemporaryDir m_tmp;
};

} // namespace

TEST_F(AutostartTest, WrittenOnlyWhenMissingAndDeletedWhenUnchecked)
{
    UpdateAutostartEntry(autostartDir(), true, QStringLiteral("/opt/ostrevo/bin/ostrevo"));
    const QByteArray written = ReadFile(entry());
    EXPECT_TRUE(written.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(written.contains("\nType=Application\n"));
    EXPECT_TRUE(written.contains("\nExec=\"/opt/ostrevo/bin/ostrevo\"\n"));

    // An entry that runs something else is left alone.
    WriteFile(entry(), "[Desktop Entry]\nType=Application\nName=Inny\nExec=/usr/bin/inny\n");
    UpdateAutostartEntry(autostartDir(), true, QStringLiteral("/opt/ostrevo/bin/ostrevo"));
    EXPECT_EQ(ReadFile(entry()), QByteArray("[Desktop Entry]\nType=Application\nName=Inny\nExec=/usr/bin/inny\n"));

    UpdateAutostartEntry(autostartDir(), false, QStringLiteral("/opt/ostrevo/bin/ostrevo"));
    EXPECT_FALSE(QFileInfo::exists(entry()));
    UpdateAutostartEntry(autostartDir(), false, QStringLiteral("/opt/ostrevo/bin/ostrevo")); // nothing to delete
}

TEST_F(AutostartTest, FailuresAreIgnored)
{
    // The autostart "directory" is a file: nothing can be written, nothing is thrown.
    WriteFile(m_tmp.filePath(QStringLiteral("plik")), "x");
    UpdateAutostartEntry(m_tmp.filePath(QStringLiteral("plik")), true, QStringLiteral("/usr/bin/ostrevo"));
    UpdateAutostartEntry(m_tmp.filePath(QStringLiteral("plik")), false, QStringLiteral("/usr/bin/ostrevo"));
    EXPECT_EQ(ReadFile(m_tmp.filePath(QStringLiteral("plik"))), QByteArray("x"));
}

TEST_F(AutostartTest, ExecQuotingFollowsTheDesktopEntryRules)
{
    // Quoting rule ('"', '`', '$', '\' take a backslash), then the string escapes, so a
    // backslash ends up as four; '%' is doubled.
    EXPECT_EQ(DesktopExecValue(QStringLiteral("/a b/c$d\"e`f\\g%h")),
              QStringLiteral("\"/a b/c\\\\$d\\\\\"e\\\\`f\\\\\\\\g%%h\""));
    // Every argument is quoted on its own, one space between them.
    EXPECT_EQ(DesktopExecValue(QStringLiteral("/usr/bin/ostrevo"), {QStringLiteral("--home"), QStringLiteral("/srv/a b")}),
              QStringLiteral("\"/usr/bin/ostrevo\" \"--home\" \"/srv/a b\""));
}

TEST_F(AutostartTest, TheEntryRunsTheProgram)
{
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty())
        GTEST_SKIP() << "gio (libglib2.0-bin) is not installed";
    // A program in a directory whose name needs every kind of quoting.
    const QString dir = m_tmp.filePath(QStringLiteral("Program Files $x \"y\" `z` \\w ąę"));
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString program = dir + QStringLiteral("/ostrevo");
    const QString marker = m_tmp.filePath(QStringLiteral("ran"));
    WriteFile(program, "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > '" + marker.toUtf8() + "'\n");
    QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // Its configuration in a directory as awkward, passed with --home.
    const QString home = m_tmp.filePath(QStringLiteral("Biuro 100% $HOME `x` \"q\" \\ zażółć"));

    UpdateAutostartEntry(autostartDir(), true, program, {QStringLiteral("--home"), home});
    QProcess launch;
    launch.start(gio, {QStringLiteral("launch"), entry()});
    ASSERT_TRUE(launch.waitForFinished(10000));
    ASSERT_EQ(launch.exitCode(), 0) << launch.readAllStandardError().constData();
    // The script writes three lines: their count, then each of the two.
    EXPECT_TRUE(ostrevo::test::WaitFor([&] { return ReadFile(marker).count('\n') == 3; }));
    // Run with exactly these two arguments.
    EXPECT_EQ(ReadFile(marker), "2\n--home\n" + home.toUtf8() + "\n");
}
