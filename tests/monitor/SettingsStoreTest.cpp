#include "monitor/SettingsStore.h"

#include "jobs/Errors.h"
#include "monitor/IniFile.h"
#include "handling/Scramble.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace ostrevo;
using ostrevo::test::ReadFile;
using ostrevo::test::TestData;
using ostrevo::test::WriteFile;

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    QString iniPath() const { return m_tmp.filePath(QStringLiteral("Ostrevo.ini")); }
    QTemporaryDir m_tmp;
};

} // namespace

TEST_F(SettingsStoreTest, FreshInstallationHasTheDefaults)
{
    SettingsStore store(iniPath());
    const Settings s = store.read();
    EXPECT_EQ(s, Settings());
    EXPECT_EQ(s.katalog, QStringLiteral("C:\\Ostrevo"));
    EXPECT_EQ(s.timer, MonitorTimer);
    EXPECT_FALSE(s.monitorowanie);
    EXPECT_TRUE(s.autoRun);
    EXPECT_TRUE(store.readError().isEmpty());
}

TEST_F(SettingsStoreTest, FreshFileIsWrittenInKeyOrder)
{
    SettingsStore store(iniPath());
    store.write(Settings());
    EXPECT_EQ(ReadFile(iniPath()), QByteArray("[Opcje]\r\n"
                                              "Katalog=C:\\Ostrevo\r\n"
                                              "Drukarka=\r\n"
                                              "Monitorowanie2=0\r\n"
                                              "Katalog2=\r\n"
                                              "Drukarka2=\r\n"
                                              "AutoRun=1\r\n"
                                              "Ground=1\r\n"
                                              "Clear=1\r\n"
                                              "ClearFTP=1\r\n"
                                              "ClearPDF=1\r\n"
                                              "ClearERRORS=1\r\n"
                                              "ClearMAIL=1\r\n"
                                              "ClearDownload=1\r\n"
                                              "Timer=1\r\n"
                                              "Monitorowanie=0\r\n"
                                              "Passive=1\r\n"
                                              "Version=v 2.02.010\r\n"
                                              "[Mail]\r\n"
                                              "ServerName=\r\n"
                                              "ServerPort=25\r\n"
                                              "ServerUser=\r\n"
                                              "ServerPassword=\r\n"
                                              "SMTPAuthenticationType=0\r\n"
                                              "UserName=\r\n"
                                              "Poczta=0\r\n"
                                              "[Duplex]\r\n"
                                              "Kartka=1\r\n"));
}

TEST_F(SettingsStoreTest, ReadsAFileOfTheWindowsProgram)
{
    QFile::copy(TestData(QStringLiteral("ini-windows.ini")), iniPath());
    SettingsStore store(iniPath());
    const Settings s = store.read();
    EXPECT_EQ(s.katalog, QStringLiteral("C:\\KSIęGI\\Ostrevo"));
    EXPECT_EQ(s.drukarka, QStringLiteral("HP LaserJet Łódź"));
    EXPECT_TRUE(s.monitorowanie2);
    EXPECT_EQ(s.katalog2, QStringLiteral("D:\\DRUGI"));
    EXPECT_FALSE(s.autoRun);
    EXPECT_FALSE(s.ground);
    EXPECT_FALSE(s.clear);
    EXPECT_TRUE(s.clearFtp); // "2": any non-zero number is true
    EXPECT_TRUE(s.clearErrors);
    EXPECT_EQ(s.timer, MonitorMutex);
    EXPECT_TRUE(s.monitorowanie);
    EXPECT_FALSE(s.passive);
    EXPECT_EQ(s.mail.serverName, QStringLiteral("smtp.example.pl"));
    EXPECT_EQ(s.mail.serverPort, 587);
    EXPECT_EQ(s.mail.serverPassword, QStringLiteral("Tajne 123"));
    EXPECT_EQ(s.mail.smtpAuthenticationType, 2);
    EXPECT_EQ(s.mail.poczta, 1);
    EXPECT_EQ(s.kartka, 2);
    EXPECT_EQ(s.drives, (QMap<QChar, QString>{{u'C', QStringLiteral("/srv/dos/c")}, {u'D', QStringLiteral("/srv/dos/d")}}));
    EXPECT_EQ(s.pdfPrinterDir, QStringLiteral("/srv/wydruki"));
}

TEST_F(SettingsStoreTest, RewritingKeepsEverythingElseOfTheFile)
{
    QFile::copy(TestData(QStringLiteral("ini-windows.ini")), iniPath());
    QFile::setPermissions(iniPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QByteArray original = ReadFile(iniPath());
    SettingsStore store(iniPath());
    Settings s = store.read();
    s.clearFtp = true; // "2" comes back as "1"
    store.write(s);
    QByteArray expected = original;
    expected.replace("ClearFTP=2", "ClearFTP=1");
    expected.replace("Version=v 2.02.009", "Version=v 2.02.010");
    EXPECT_EQ(ReadFile(iniPath()), expected);

    // Keys of other sections edited on disk after the read survive the next write; the
    // drive table is the file's, whatever the program holds in memory.
    WriteFile(iniPath(), ReadFile(iniPath()) + "[Nowa]\r\nA=1\r\n");
    s.katalog = QStringLiteral("/srv/dos/c/OSTREVO");
    s.drives.remove(u'D');
    s.drives.insert(u'E', QStringLiteral("/mnt/e"));
    store.write(s);
    const IniFile back = IniFile::load(iniPath());
    EXPECT_EQ(back.value("Nowa", "A"), QByteArray("1"));
    EXPECT_EQ(back.value("Inne", "Klucz"), QByteArray("warto\x9c\xe6"));
    EXPECT_EQ(back.keys("Dyski"), (QList<QByteArray>{"C", "d"}));
    EXPECT_TRUE(ReadFile(iniPath()).contains("[Dyski]\r\nC=/srv/dos/c\r\nd=/srv/dos/d\r\n\r\n"));
    EXPECT_EQ(store.read().katalog, s.katalog);
}

TEST_F(SettingsStoreTest, HandEditsSurviveTheProgramsWrites)
{
    // As a user keeps the file in a Linux editor: comments, odd spacing, LF line ends,
    // keys and sections of their own, the drive table and the built-in printer's folder.
    const QByteArray original = "; Ostrevo w biurze\n"
                                "[Opcje]\n"
                                "Katalog=/srv/dos/c/FK\n"
                                "; drukarka w pokoju 2\n"
                                "Drukarka = Biuro HP\n"
                                "Moje=coś\n"
                                "\n"
                                "[Dyski]\n"
                                "; C to udział Samby\n"
                                "C = /srv/dos/c\n"
                                "D=/srv/dos/d\n"
                                "\n"
                                "[DrukarkaPDF]\n"
                                "Katalog=/srv/wydruki ; nie komentarz\n"
                                "[Własna]\n"
                                "X=1\n";
    WriteFile(iniPath(), original);
    SettingsStore store(iniPath());
    Settings s = store.read();
    EXPECT_EQ(s.drives.value(u'C'), QStringLiteral("/srv/dos/c"));

    // While the program runs the user edits the drive table and the printer's folder.
    QByteArray edited = original;
    edited.replace("D=/srv/dos/d\n", "D=/mnt/d\nE=/mnt/e\n; E dopisany\n");
    edited.replace("Katalog=/srv/wydruki ; nie komentarz", "Katalog=/srv/pdf");
    WriteFile(iniPath(), edited);

    s.katalog = QStringLiteral("/srv/dos/c/KSIĘGI");
    store.write(s);
    const QByteArray written = ReadFile(iniPath());
    // Every line of the edited file is there as it was, but the one key changed.
    QByteArray expected = edited;
    expected.replace("Katalog=/srv/dos/c/FK\n", QStringLiteral("Katalog=/srv/dos/c/KSIĘGI\n").toUtf8());
    const QList<QByteArray> lines = written.split('\n');
    qsizetype at = 0;
    for (const QByteArray &line : expected.split('\n')) {
        const qsizetype found = lines.indexOf(line, at);
        EXPECT_GE(found, at) << "missing or moved: " << line.constData();
        at = qMax(at, found + 1);
    }
    // What was added is the program's own keys, in its sections, nothing else.
    EXPECT_FALSE(written.contains('\r'));
    EXPECT_TRUE(written.contains("Version=v 2.02.010\n"));
    const IniFile back = IniFile::load(iniPath());
    EXPECT_EQ(back.keys("Dyski"), (QList<QByteArray>{"C", "D", "E"}));
    EXPECT_EQ(back.sections(), (QList<QByteArray>{"Opcje", "Dyski", "DrukarkaPDF", "Własna", "Mail", "Duplex"}));
    const Settings again = store.read();
    EXPECT_EQ(again.katalog, s.katalog);
    EXPECT_EQ(again.drives.value(u'E'), QStringLiteral("/mnt/e"));
    EXPECT_EQ(again.pdfPrinterDir, QStringLiteral("/srv/pdf"));
}

TEST_F(SettingsStoreTest, RateSourcesAreReadAndNeverWritten)
{
    EXPECT_EQ(Settings().waluty.zrodlo, RateSettings::Api);
    EXPECT_EQ(Settings().waluty.serwer, QStringLiteral("https://www.nbp.pl"));
    EXPECT_EQ(Settings().waluty.serwerApi, QStringLiteral("https://api.nbp.pl"));
    const QByteArray original = "[Opcje]\nKatalog=/srv/dos/c/FK\n[Waluty]\nZrodlo= Pliki \n"
                                "Serwer=http://mirror.biuro.lan/nbp//\nSerwerApi=\n";
    WriteFile(iniPath(), original);
    SettingsStore store(iniPath());
    Settings s = store.read();
    EXPECT_EQ(s.waluty.zrodlo, RateSettings::Files);
    EXPECT_EQ(s.waluty.serwer, QStringLiteral("http://mirror.biuro.lan/nbp")) << "the paths bring their own \"/\"";
    EXPECT_EQ(s.waluty.serwerApi, QStringLiteral("https://api.nbp.pl")) << "empty: the default";
    s.waluty = RateSettings();
    store.write(s);
    EXPECT_TRUE(ReadFile(iniPath()).contains("Zrodlo= Pliki \nSerwer=http://mirror.biuro.lan/nbp//\nSerwerApi=\n"));

    WriteFile(iniPath(), "[Waluty]\nZrodlo=ftp\n");
    EXPECT_EQ(store.read().waluty.zrodlo, RateSettings::Api);
}

TEST_F(SettingsStoreTest, Utf8FileIsReadAndWrittenAsUtf8)
{
    // Saved by a Linux editor: a Polish letter in Katalog must not turn into another path.
    WriteFile(iniPath(), QStringLiteral("[Opcje]\nKatalog=/srv/dos/Księgowość\nDrukarka=Ostrevo PDF\n").toUtf8());
    SettingsStore store(iniPath());
    Settings s = store.read();
    EXPECT_EQ(s.katalog, QStringLiteral("/srv/dos/Księgowość"));
    s.drukarka = QStringLiteral("Biuro Łódź");
    store.write(s);
    const QByteArray written = ReadFile(iniPath());
    EXPECT_TRUE(written.contains(QStringLiteral("Katalog=/srv/dos/Księgowość\n").toUtf8())) << written.constData();
    EXPECT_TRUE(written.contains(QStringLiteral("Drukarka=Biuro Łódź\n").toUtf8())) << written.constData();
    EXPECT_EQ(store.read().drukarka, s.drukarka);

    // The Windows program's file stays Windows-1250.
    QFile::remove(iniPath());
    QFile::copy(TestData(QStringLiteral("ini-windows.ini")), iniPath());
    QFile::setPermissions(iniPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    s = store.read();
    s.drukarka = QStringLiteral("Biuro Łódź");
    store.write(s);
    EXPECT_TRUE(ReadFile(iniPath()).contains("Drukarka=Biuro \xA3\xF3\x64\x9F\r\n"));
}

TEST_F(SettingsStoreTest, MalformedValuesFallBackToTheirDefaults)
{
    WriteFile(iniPath(), "[Opcje]\r\nAutoRun=tak\r\nClear= 0 \r\nTimer=x\r\nPassive=\r\n"
                         "[Mail]\r\nServerPort=abc\r\nPoczta=1.5\r\n"
                         "[Duplex]\r\nKartka=99999999999\r\n"
                         "[Dyski]\r\nCD=/bad\r\nc=\r\n1=/bad\r\n");
    const Settings s = SettingsStore(iniPath()).read();
    EXPECT_TRUE(s.autoRun);
    EXPECT_FALSE(s.clear);
    EXPECT_EQ(s.timer, MonitorTimer);
    EXPECT_TRUE(s.passive);
    EXPECT_EQ(s.mail.serverPort, 25);
    EXPECT_EQ(s.mail.poczta, 0);
    EXPECT_EQ(s.kartka, 1);
    EXPECT_TRUE(s.drives.isEmpty());

    WriteFile(iniPath(), "[Mail]\r\nServerPort=70000\r\n");
    EXPECT_EQ(SettingsStore(iniPath()).read().mail.serverPort, 25);
}

TEST_F(SettingsStoreTest, PasswordsSurviveASaveAndANewStart)
{
    const QStringList passwords = {QString(), QStringLiteral("Ala ma kota 42"), QStringLiteral("  spacje  "),
                                   QStringLiteral("\"cudzysłów\""), QStringLiteral("tylda~~~"),
                                   QStringLiteral("zażółć gęślą"), QStringLiteral("\u0416\u0436")};
    for (const QString &password : passwords) {
        Settings s;
        s.mail.serverPassword = password;
        SettingsStore(iniPath()).write(s);
        EXPECT_EQ(SettingsStore(iniPath()).read().mail.serverPassword, password) << password.toStdString();
        // Never stored in plain text.
        if (password.size() > 2) {
            EXPECT_FALSE(ReadFile(iniPath()).contains(password.toUtf8()));
        }
    }
    // The ASCII password is stored exactly as the Windows program stores it.
    Settings s;
    s.mail.serverPassword = QStringLiteral("Tajne 123");
    SettingsStore(iniPath()).write(s);
    EXPECT_EQ(IniFile::load(iniPath()).value("Mail", "ServerPassword"), QByteArray("Yky$~>TZ`"));
    EXPECT_FALSE(IniFile::load(iniPath()).value("Mail", "ServerPasswordUtf8"));
}

TEST_F(SettingsStoreTest, PasswordEditedElsewhereWinsOverTheExtraKey)
{
    Settings s;
    s.mail.serverPassword = QStringLiteral("zażółć");
    SettingsStore(iniPath()).write(s);
    // Someone sets ServerPassword by hand (or with the Windows program) and leaves the
    // extra key alone.
    IniFile ini = IniFile::load(iniPath());
    ini.setValue("Mail", "ServerPassword", ScramblePassword(QByteArray("nowe")));
    ini.save(iniPath());
    EXPECT_EQ(SettingsStore(iniPath()).read().mail.serverPassword, QStringLiteral("nowe"));
}

TEST_F(SettingsStoreTest, UnwritableFileThrowsIoError)
{
    const QString dir = m_tmp.filePath(QStringLiteral("brak/katalogu"));
    SettingsStore store(dir + QStringLiteral("/Ostrevo.ini"));
    try {
        store.write(Settings());
        FAIL() << "write into a missing directory succeeded";
    } catch (const IoError &e) {
        EXPECT_TRUE(e.message().contains(store.path())) << e.what();
    }
}

TEST(Scramble, ArithmeticOfTheLegacyProgram)
{
    // n = 3: shifts 33, 66, 5 (11 * i * 3 mod 94).
    EXPECT_EQ(ScramblePassword(QByteArray("abc")), QByteArray("$Fh"));
    EXPECT_EQ(ScramblePassword(QByteArray("AAA")), QByteArray("b%F"));
    EXPECT_EQ(UnscramblePassword(QByteArray("b%F")), QByteArray("AAA"));
    EXPECT_EQ(ScramblePassword(QByteArray()), QByteArray());
    // Every printable ASCII text but "~" makes the round trip, at any length.
    for (int n = 1; n <= 40; ++n) {
        QByteArray text;
        for (int i = 0; i < n; ++i)
            text.append(char(32 + (i * 7 + n) % 94));
        const QByteArray scrambled = ScramblePassword(text);
        for (char c : scrambled)
            EXPECT_TRUE(c >= 32 && c <= 126);
        EXPECT_EQ(UnscramblePassword(scrambled), text);
        EXPECT_TRUE(SurvivesScrambling(text));
    }
    // A "~" where the shift is not 0 comes back as a space.
    EXPECT_EQ(UnscramblePassword(ScramblePassword(QByteArray("a~"))), QByteArray("a "));
    EXPECT_FALSE(SurvivesScrambling(QByteArray("a~")));
    EXPECT_FALSE(SurvivesScrambling(QByteArray("\xB9")));
    EXPECT_EQ(ScramblePassword(QStringLiteral("AAA")), QStringLiteral("b%F"));
}
