#include "jobs/DosPath.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

using namespace ostrevo;
using ostrevo::test::WriteFile;

namespace {

class DosPathTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tmp.isValid());
        m_root = m_tmp.path();
        // A drive C with mixed-case names, as a DOS tree copied onto Linux looks.
        QDir(m_root).mkpath(QStringLiteral("c/Fk/Pdf"));
        QDir(m_root).mkpath(QStringLiteral("c/WZORY"));
        QDir(m_root).mkpath(QStringLiteral("c/work/ostrevo"));
        WriteFile(m_root + QStringLiteral("/c/WZORY/Pit11.TXT"), "x");
        m_mapper = DosPathMapper({{u'C', m_root + QStringLiteral("/c")}}, m_root + QStringLiteral("/c/work/ostrevo"));
    }

    QTemporaryDir m_tmp;
    QString m_root;
    DosPathMapper m_mapper;
};

} // namespace

TEST_F(DosPathTest, DriveLetterMapsAndComponentsResolveCaseInsensitively)
{
    EXPECT_EQ(m_mapper.toLocal(QStringLiteral("C:\\FK\\PDF")), m_root + QStringLiteral("/c/Fk/Pdf"));
    EXPECT_EQ(m_mapper.toLocal(QStringLiteral("c:\\fk\\pdf\\")), m_root + QStringLiteral("/c/Fk/Pdf/"));
    EXPECT_EQ(m_mapper.toLocal(QStringLiteral("C:\\wzory\\PIT11.txt")), m_root + QStringLiteral("/c/WZORY/Pit11.TXT"));
    // "NAME." is "NAME" to Windows.
    EXPECT_EQ(m_mapper.toLocal(QStringLiteral("C:\\FK.\\PDF")), m_root + QStringLiteral("/c/Fk/Pdf"));
    // ".." stays on the drive, as on Windows.
    EXPECT_EQ(m_mapper.toLocal(QStringLiteral("C:\\..\\..\\FK")), m_root + QStringLiteral("/c/Fk"));
}

TEST_F(DosPathTest, MissingComponentsAreKeptAsWritten)
{
    // A file about to be created gets a path in the existing, resolved directory.
    EXPECT_EQ(m_mapper.toLocal(QStringLiteral("C:\\FK\\PDF\\Nowy.pdf")), m_root + QStringLiteral("/c/Fk/Pdf/Nowy.pdf"));
    EXPECT_EQ(m_mapper.toLocal(QStringLiteral("C:\\NEW\\Fk\\x")), m_root + QStringLiteral("/c/NEW/Fk/x"));
}

TEST_F(DosPathTest, RelativePathsResolveAgainstTheBaseDirectory)
{
    EXPECT_EQ(m_mapper.toLocal(QStringLiteral("..\\..\\WZORY\\pit11.txt")), m_root + QStringLiteral("/c/WZORY/Pit11.TXT"));
    EXPECT_EQ(m_mapper.toLocal(QByteArray("FTP\\plik.txt")), m_root + QStringLiteral("/c/work/ostrevo/FTP/plik.txt"));
}

TEST_F(DosPathTest, UnmappedDrivesNeverExist)
{
    for (const QString &dos : {QStringLiteral("D:\\FK"), QStringLiteral("\\\\serwer\\udzial\\plik.txt")}) {
        const QString local = m_mapper.toLocal(dos);
        EXPECT_FALSE(local.isEmpty()) << dos.toStdString();
        EXPECT_TRUE(local.startsWith(DosPathMapper::unmappedRoot() + u'/')) << local.toStdString();
        EXPECT_FALSE(QFileInfo::exists(local));
        // Nothing can be made there either.
        EXPECT_FALSE(QDir().mkpath(local));
    }
    EXPECT_EQ(m_mapper.toLocal(QString()), QString());
}

TEST_F(DosPathTest, MessagesNameAnUnmappedDriveAsTheUserWroteIt)
{
    const QString drive = m_mapper.toLocal(QStringLiteral("Q:\\FAKTURY\\2026"));
    const QString unc = m_mapper.toLocal(QStringLiteral("\\\\serwer\\udzial"));
    const QString message = QStringLiteral("refused: %1/fv.pdf: cannot be created; also %2/x.pdf and %3")
                                .arg(drive, drive, unc);
    EXPECT_EQ(DosPathMapper::readable(message).toStdString(),
              "refused: Q:\\FAKTURY\\2026\\fv.pdf: cannot be created; also Q:\\FAKTURY\\2026\\x.pdf and "
              "\\\\serwer\\udzial (dysk Q: nie ma wpisu w [Dyski] pliku Ostrevo.ini) (ścieżki sieciowe "
              "\\\\serwer\\udział nie są obsługiwane: przypisz udziałowi dysk w [Dyski] pliku Ostrevo.ini)");
    const QString mapped = QStringLiteral("the file /srv/dos/c/FK/x.pdf cannot be written");
    EXPECT_EQ(DosPathMapper::readable(mapped), mapped);
}

TEST_F(DosPathTest, LinuxPathsPassThroughWithCaseResolution)
{
    EXPECT_EQ(m_mapper.toLocal(m_root + QStringLiteral("/C/fk/PDF")), m_root + QStringLiteral("/c/Fk/Pdf"));
    EXPECT_EQ(ResolveCaseInsensitive(m_root + QStringLiteral("/c/wzory/PIT11.txt")), m_root + QStringLiteral("/c/WZORY/Pit11.TXT"));
    // An exact match wins over another spelling.
    QDir(m_root).mkpath(QStringLiteral("c/work/ftp"));
    QDir(m_root).mkpath(QStringLiteral("c/work/FTP"));
    EXPECT_EQ(ResolveCaseInsensitive(m_root + QStringLiteral("/c/work/ftp")), m_root + QStringLiteral("/c/work/ftp"));
    EXPECT_EQ(ResolveCaseInsensitive(m_root + QStringLiteral("/c/work/FTP")), m_root + QStringLiteral("/c/work/FTP"));
}

TEST_F(DosPathTest, CodePageValuesAndDosDetection)
{
    QDir(m_root).mkpath(QStringLiteral("c/Księgi"));
    // "C:\KSIĘGI" in CP852: Ę is A8.
    EXPECT_EQ(m_mapper.toLocal(QByteArray("C:\\KSI\xA8GI")), m_root + QStringLiteral("/c/Księgi"));
    EXPECT_TRUE(DosPathMapper::looksLikeDos(QStringLiteral("C:\\FK")));
    EXPECT_TRUE(DosPathMapper::looksLikeDos(QStringLiteral("..\\WZORY")));
    EXPECT_TRUE(DosPathMapper::looksLikeDos(QStringLiteral("d:plik")));
    EXPECT_FALSE(DosPathMapper::looksLikeDos(QStringLiteral("/srv/x")));
    EXPECT_FALSE(DosPathMapper::looksLikeDos(QStringLiteral("wydruki/a.pdf")));
}
