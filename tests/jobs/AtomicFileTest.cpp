// The one way small files are written (result lines, the spool, the job ledger, the
// settings): whole or not at all, in place of the old one, never through a link.
#include "jobs/AtomicFile.h"
#include "jobs/Errors.h"
#include "jobs/UniqueFd.h"

#include "support/FileSizeLimit.h"
#include "support/TestSupport.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

mode_t ModeOf(const QString &path)
{
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

} // namespace

TEST(AtomicFile, ReplacesWholeWithItsOwnModeAndNeverFollowsALink)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wynik.txt"));
    WriteFile(path, "old and longer\r\n");
    const mode_t umaskWas = ::umask(0077);
    WriteFileAtomically(path, "error=OK\r\n", 0664);
    ::umask(umaskWas);
    EXPECT_EQ(ReadFile(path), "error=OK\r\n");
    EXPECT_EQ(ModeOf(path), mode_t(0664)) << "the umask must not take the group's reading away";

    // A link planted in the final name's place is replaced; what it pointed at stays.
    const QString target = dir.filePath(QStringLiteral("secret.txt"));
    WriteFile(target, "hasło\r\n");
    const QString link = dir.filePath(QStringLiteral("link.txt"));
    ASSERT_TRUE(QFile::link(target, link));
    WriteFileAtomically(link, "error=NOT\r\n");
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ReadFile(link), "error=NOT\r\n");
    EXPECT_EQ(ReadFile(target), "hasło\r\n");
    EXPECT_EQ(Entries(dir.path()), (QStringList{QStringLiteral("link.txt"), QStringLiteral("secret.txt"),
                                                QStringLiteral("wynik.txt")}))
        << "no temporary is left behind";
}

TEST(AtomicFile, AFailureKeepsTheOldFileLeavesNoTemporaryAndSaysWhy)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kolejka.msg"));
    WriteFile(path, "the message as it was");
    {
        // A disk that fills up in the middle of the writing: the job may go again later.
        FileSizeLimit limit(8);
        try {
            WriteFileAtomically(path, QByteArray(4096, 'x'));
            ADD_FAILURE() << "a write past the limit succeeded";
        } catch (const OutputUnavailable &e) {
            EXPECT_TRUE(e.message().startsWith(QStringLiteral("Nie można zapisać ") + path + u':')) << e.what();
        }
    }
    EXPECT_EQ(ReadFile(path), "the message as it was");
    EXPECT_EQ(Entries(dir.path()), QStringList{QStringLiteral("kolejka.msg")});

    // A directory that is not there is not a full disk: the job fails, and says where.
    const QString missing = dir.filePath(QStringLiteral("brak/plik.txt"));
    try {
        WriteFileAtomically(missing, "x");
        ADD_FAILURE() << "written into a missing directory";
    } catch (const OutputUnavailable &e) {
        ADD_FAILURE() << "taken for a passing condition: " << e.what();
    } catch (const IoError &e) {
        EXPECT_TRUE(e.message().contains(missing)) << e.what();
        EXPECT_TRUE(e.message().contains(QStringLiteral("nie ma takiego pliku ani katalogu"))) << e.what();
    }
    const UniqueFd dirFd{::open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    for (const char *name : {"", ".", "..", "a/b"})
        EXPECT_THROW(WriteFileAtomicallyAt(dirFd.fd, dir.path(), name, "x"), IoError) << name;
    EXPECT_EQ(Entries(dir.path()), QStringList{QStringLiteral("kolejka.msg")});
}
