#include "monitor/IniFile.h"

#include "jobs/Charsets.h"
#include "jobs/Errors.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace ostrevo;
using ostrevo::test::ReadFile;
using ostrevo::test::WriteFile;

TEST(IniFile, ReadsAsWindowsDoes)
{
    const IniFile ini = IniFile::fromBytes("; comment\r\n"
                                           "stray=before any section\r\n"
                                           " [ Opcje ] \r\n"
                                           "  Katalog = C:\\Ostrevo  \r\n"
                                           "katalog=second one loses\r\n"
                                           "Quoted=\" two spaces  \"\r\n"
                                           "Single='x'\r\n"
                                           "Half=\"x\r\n"
                                           "Eq=a=b\r\n"
                                           "[opcje]\r\n"
                                           "Extra=later section of the same name loses\n");
    EXPECT_EQ(ini.value("OPCJE", "KATALOG"), QByteArray("C:\\Ostrevo"));
    EXPECT_EQ(ini.value("Opcje", "Quoted"), QByteArray(" two spaces  "));
    EXPECT_EQ(ini.value("Opcje", "Single"), QByteArray("x"));
    EXPECT_EQ(ini.value("Opcje", "Half"), QByteArray("\"x"));
    EXPECT_EQ(ini.value("Opcje", "Eq"), QByteArray("a=b"));
    EXPECT_FALSE(ini.value("Opcje", "Extra"));
    EXPECT_FALSE(ini.value("", "stray"));
    EXPECT_EQ(ini.value("Opcje", "Missing", "def"), QByteArray("def"));
    EXPECT_EQ(ini.keys("opcje"), (QList<QByteArray>{"Katalog", "Quoted", "Single", "Half", "Eq"}));
    EXPECT_EQ(ini.sections(), (QList<QByteArray>{"Opcje", "opcje"}));
}

TEST(IniFile, WritingChangesOnlyWhatWasSet)
{
    const QByteArray original = "; keep me\r\n"
                                "[Opcje]\r\n"
                                "Katalog=C:\\Ostrevo\r\n"
                                "  Odd line without equals\r\n"
                                "Timer=1\r\n"
                                "\r\n"
                                "[Inne]\r\n"
                                "X = y \r\n";
    IniFile ini = IniFile::fromBytes(original);
    EXPECT_EQ(ini.toBytes(), original);

    ini.setValue("OPCJE", "timer", "0");
    ini.setValue("Opcje", "Version", "v 2.02.010");
    ini.setValue("Mail", "ServerPort", "25");
    EXPECT_EQ(ini.toBytes(), QByteArray("; keep me\r\n"
                                        "[Opcje]\r\n"
                                        "Katalog=C:\\Ostrevo\r\n"
                                        "  Odd line without equals\r\n"
                                        "Timer=0\r\n"
                                        "Version=v 2.02.010\r\n"
                                        "\r\n"
                                        "[Inne]\r\n"
                                        "X = y \r\n"
                                        "[Mail]\r\n"
                                        "ServerPort=25\r\n"));
    // Line ends stay as they were; new lines end as the file's first line does.
    IniFile lf = IniFile::fromBytes("[A]\nk=v\r\n");
    lf.setValue("A", "n", "1");
    lf.setValue("B", "m", "2");
    EXPECT_EQ(lf.toBytes(), QByteArray("[A]\nk=v\r\nn=1\n[B]\nm=2\n"));
    // A lone CR ends a line too, so no value can hold one.
    EXPECT_EQ(IniFile::fromBytes("[A]\rk=v\rx=y").toBytes(), QByteArray("[A]\rk=v\rx=y\r"));
    // A value set to what the line already holds leaves the line as it was typed.
    IniFile typed = IniFile::fromBytes("[A]\r\n  k = v \r\nq=\"x\"\r\n");
    typed.setValue("A", "K", "v");
    typed.setValue("A", "q", "x");
    EXPECT_EQ(typed.toBytes(), QByteArray("[A]\r\n  k = v \r\nq=\"x\"\r\n"));
    typed.setValue("A", "k", "w");
    EXPECT_EQ(typed.toBytes(), QByteArray("[A]\r\nk=w\r\nq=\"x\"\r\n"));
}

TEST(IniFile, ValuesThatWouldNotReadBackAreQuotedOrCleaned)
{
    IniFile ini;
    const QList<QByteArray> values = {" lead", "trail ", "\"both\"", "'x'", "\"half", "", "a;b"};
    for (const QByteArray &v : values) {
        ini.setValue("S", "K", v);
        EXPECT_EQ(IniFile::fromBytes(ini.toBytes()).value("S", "K"), v) << v.constData();
    }
    // A line break would smuggle in a key of its own.
    ini.setValue("S", "K", "x\r\nAutoRun=1");
    const IniFile back = IniFile::fromBytes(ini.toBytes());
    EXPECT_EQ(back.value("S", "K"), QByteArray("x  AutoRun=1"));
    EXPECT_FALSE(back.value("S", "AutoRun"));
}

TEST(IniFile, TextGoesThroughWindows1250)
{
    IniFile ini;
    ini.setString("Opcje", "Drukarka", QStringLiteral("Łódź \u0416"));
    EXPECT_EQ(ini.value("Opcje", "Drukarka"), QByteArray("\xA3\xF3\x64\x9F ?"));
    EXPECT_EQ(ini.string("Opcje", "Drukarka"), QStringLiteral("Łódź ?"));
}

TEST(IniFile, TextGoesThroughTheEncodingOfTheFile)
{
    struct Case {
        const char *name;
        QByteArray bytes;
        IniFile::Encoding encoding;
        QString read; // [Opcje] Katalog
        QByteArray written; // [Opcje] Drukarka set to "Łódź"
    };
    const QByteArray utf8Lodz = QStringLiteral("Łódź").toUtf8();
    const QList<Case> cases = {
        {"plain ASCII", "[Opcje]\r\nKatalog=/srv/dos\r\n", IniFile::Encoding::Windows1250, QStringLiteral("/srv/dos"),
         "\xA3\xF3\x64\x9F"},
        {"Windows-1250", "[Opcje]\r\nKatalog=C:\\KSI\xCA\x47I\r\n", IniFile::Encoding::Windows1250,
         QStringLiteral("C:\\KSIĘGI"), "\xA3\xF3\x64\x9F"},
        {"UTF-8 from a Linux editor", "[Opcje]\nKatalog=/srv/" + utf8Lodz + "\n", IniFile::Encoding::Utf8,
         QStringLiteral("/srv/Łódź"), utf8Lodz},
        {"UTF-8 only in a comment", "; zażółć\n[Opcje]\nKatalog=/srv/dos\n", IniFile::Encoding::Utf8,
         QStringLiteral("/srv/dos"), utf8Lodz},
        {"UTF-8 with a byte order mark", "\xEF\xBB\xBF[Opcje]\r\nKatalog=/srv/dos\r\n", IniFile::Encoding::Utf8,
         QStringLiteral("/srv/dos"), utf8Lodz},
        {"almost UTF-8", "[Opcje]\nKatalog=/srv/" + utf8Lodz + "\n; \xB9\n", IniFile::Encoding::Windows1250,
         Win1250ToUnicode("/srv/" + utf8Lodz), "\xA3\xF3\x64\x9F"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        IniFile ini = IniFile::fromBytes(c.bytes);
        EXPECT_EQ(ini.encoding(), c.encoding);
        EXPECT_EQ(ini.string("Opcje", "Katalog"), c.read);
        // Untouched, the file comes back byte for byte, a byte order mark included.
        EXPECT_EQ(ini.toBytes(), c.bytes);
        ini.setString("Opcje", "Drukarka", QStringLiteral("Łódź"));
        EXPECT_EQ(ini.value("Opcje", "Drukarka"), c.written);
        const IniFile back = IniFile::fromBytes(ini.toBytes());
        EXPECT_EQ(back.encoding(), c.encoding);
        EXPECT_EQ(back.string("Opcje", "Drukarka"), QStringLiteral("Łódź"));
        EXPECT_EQ(back.string("Opcje", "Katalog"), c.read);
    }
}

TEST(IniFile, SavesAtomicallyWithOwnerOnlyPermissions)
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("Ostrevo.ini"));
    EXPECT_EQ(IniFile::load(path).toBytes(), QByteArray()); // missing file: empty

    WriteFile(path, "[Opcje]\r\nKatalog=old\r\n");
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                    | QFileDevice::ReadOther);
    IniFile ini = IniFile::load(path);
    ini.setValue("Opcje", "Katalog", "new");
    ini.save(path);
    EXPECT_EQ(ReadFile(path), QByteArray("[Opcje]\r\nKatalog=new\r\n"));
    EXPECT_EQ(QFileInfo(path).permissions() & 0x0777 /* owner/group/other bits */,
              QFileDevice::ReadUser | QFileDevice::WriteUser);
    EXPECT_EQ(test::Entries(tmp.path()), QStringList{QStringLiteral("Ostrevo.ini")}); // no leftovers

    const QString fresh = tmp.filePath(QStringLiteral("fresh.ini"));
    ini.save(fresh);
    EXPECT_EQ(QFileInfo(fresh).permissions() & 0x0777, QFileDevice::ReadUser | QFileDevice::WriteUser);
}

TEST(IniFile, FailedCommitLeavesNoTemporaryFiles)
{
    // A directory in the way makes the final rename fail, also for root.
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("Ostrevo.ini"));
    QDir().mkpath(path + QStringLiteral("/inside"));
    IniFile ini;
    ini.setValue("Opcje", "Katalog", "x");
    try {
        ini.save(path);
        ADD_FAILURE() << "save over a directory succeeded";
    } catch (const IoError &e) {
        EXPECT_TRUE(e.message().contains(path)) << e.what();
    }
    EXPECT_EQ(test::Entries(tmp.path()), QStringList{QStringLiteral("Ostrevo.ini")});
    EXPECT_EQ(test::Entries(path), QStringList{QStringLiteral("inside")});
}
