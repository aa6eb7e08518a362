#include "monitor/StartupClear.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <unistd.h>

using namespace ostrevo;
using ostrevo::test::Entries;
using ostrevo::test::WriteFile;

namespace {

QStringList L(std::initializer_list<const char *> names)
{
    QStringList list;
    for (const char *n : names)
        list.append(QString::fromUtf8(n));
    list.sort();
    return list;
}

class StartupClearTest : public ::testing::Test {
protected:
    // A monitored directory with jobs, other files, work directories and a subdirectory.
    QString makeMonitored(const QString &name)
    {
        const QString dir = m_tmp.filePath(name);
        QDir d;
        d.mkpath(dir + QStringLiteral("/ftp/keep"));
        d.mkpath(dir + QStringLiteral("/Pdf"));
        d.mkpath(dir + QStringLiteral("/ERRORS"));
        d.mkpath(dir + QStringLiteral("/Mail"));
        d.mkpath(dir + QStringLiteral("/download"));
        d.mkpath(dir + QStringLiteral("/sub.txt"));
        for (const char *f : {"A.txt", "A.END", "b.TXT", "b.end", "notes.doc", "noext"})
            WriteFile(dir + u'/' + QString::fromLatin1(f), "x");
        for (const char *f : {"ftp/up.txt", "ftp/keep/deep.txt", "Pdf/a.pdf", "ERRORS/e.txt", "Mail/.hidden",
                              "download/file", "Mail/m.eml"})
            WriteFile(dir + u'/' + QString::fromLatin1(f), "x");
        return dir;
    }

    QTemporaryDir m_tmp;
};

} // namespace

TEST_F(StartupClearTest, JobFilesGoFilesOnly)
{
    const QString dir = makeMonitored(QStringLiteral("d1"));
    QFile::link(dir + QStringLiteral("/gone"), dir + QStringLiteral("/broken.txt"));
    ClearJobFiles(dir + u'/');
    EXPECT_EQ(Entries(dir), L({"ERRORS", "Mail", "Pdf", "download", "ftp", "noext", "notes.doc", "sub.txt"}));
    ClearJobFiles(m_tmp.filePath(QStringLiteral("missing"))); // nothing happens
}

TEST_F(StartupClearTest, WorkDirectoriesAreFoundWhateverTheirCase)
{
    const QString dir = makeMonitored(QStringLiteral("d1"));
    ClearDirectory(dir + QStringLiteral("/FTP"));
    EXPECT_EQ(Entries(dir + QStringLiteral("/ftp")), L({"keep"}));
    EXPECT_EQ(Entries(dir + QStringLiteral("/ftp/keep")), L({"deep.txt"}));
    ClearDirectory(dir + QStringLiteral("/MAIL/"));
    EXPECT_EQ(Entries(dir + QStringLiteral("/Mail")), QStringList());
}

TEST_F(StartupClearTest, WholeSequenceForBothDirectories)
{
    const QString d1 = makeMonitored(QStringLiteral("d1"));
    const QString d2 = makeMonitored(QStringLiteral("d2"));
    Settings s;
    s.katalog = QStringLiteral("C:\\D1");
    s.katalog2 = QStringLiteral("C:\\D2");
    s.monitorowanie2 = false; // directory 2 is emptied all the same
    s.clearPdf = false;
    QStringList asked;
    EmptyAtStart(s, [&](const QString &text) {
        asked.append(text);
        return m_tmp.filePath(text.mid(3).toLower());
    });
    EXPECT_EQ(asked, (QStringList{QStringLiteral("C:\\D1"), QStringLiteral("C:\\D2")}));
    for (const QString &dir : {d1, d2}) {
        EXPECT_EQ(Entries(dir), L({"ERRORS", "Mail", "Pdf", "download", "ftp", "noext", "notes.doc", "sub.txt"}));
        EXPECT_EQ(Entries(dir + QStringLiteral("/ftp")), L({"keep"}));
        EXPECT_EQ(Entries(dir + QStringLiteral("/Pdf")), L({"a.pdf"}));
        EXPECT_TRUE(Entries(dir + QStringLiteral("/ERRORS")).isEmpty());
        EXPECT_TRUE(Entries(dir + QStringLiteral("/Mail")).isEmpty());
        EXPECT_TRUE(Entries(dir + QStringLiteral("/download")).isEmpty());
    }
}

TEST_F(StartupClearTest, SwitchedOffOrEmptyTextsTouchNothing)
{
    const QString d1 = makeMonitored(QStringLiteral("d1"));
    const QStringList before = Entries(d1);
    Settings s;
    s.katalog = d1;
    s.katalog2.clear();
    s.clear = s.clearFtp = s.clearPdf = s.clearErrors = s.clearMail = s.clearDownload = false;
    int calls = 0;
    EmptyAtStart(s, [&](const QString &text) {
        ++calls;
        return text;
    });
    EXPECT_EQ(calls, 1); // the empty directory 2 is skipped
    EXPECT_EQ(Entries(d1), before);
    EXPECT_EQ(Entries(d1 + QStringLiteral("/ftp")), L({"keep", "up.txt"}));
}

// The share is writable by others: links planted in it never carry the emptying out of it.
TEST_F(StartupClearTest, LinksNeverLeadTheEmptyingOutOfTheMonitoredDirectory)
{
    const QString dir = makeMonitored(QStringLiteral("jobs"));
    const QString program = m_tmp.filePath(QStringLiteral("program"));
    const QString elsewhere = m_tmp.filePath(QStringLiteral("elsewhere"));
    QDir().mkpath(program);
    QDir().mkpath(elsewhere);
    WriteFile(program + QStringLiteral("/DefSym.ovx"), "x");
    WriteFile(program + QStringLiteral("/PTU.txt"), "x");
    WriteFile(elsewhere + QStringLiteral("/precious.pdf"), "x");
    WriteFile(elsewhere + QStringLiteral("/target.txt"), "x");
    // Work directories replaced by links: one to another tree, one to the program directory.
    QDir(dir + QStringLiteral("/Pdf")).removeRecursively();
    QDir(dir + QStringLiteral("/ERRORS")).removeRecursively();
    ASSERT_TRUE(QFile::link(elsewhere, dir + QStringLiteral("/pdf")));
    ASSERT_TRUE(QFile::link(program, dir + QStringLiteral("/ERRORS")));
    // A job text that is a link to a file elsewhere: the link goes, its target stays.
    ASSERT_TRUE(QFile::link(elsewhere + QStringLiteral("/target.txt"), dir + QStringLiteral("/LINK.txt")));
    // A name that is not UTF-8 (a CP852 "Ż") is a job file like any other.
    const QByteArray rawName = QFile::encodeName(dir) + "/\xbd" "AK.txt";
    for (const QByteArray &name : {rawName, QFile::encodeName(dir) + "/\xbd" "ak.END"}) {
        FILE *raw = std::fopen(name.constData(), "w");
        ASSERT_NE(raw, nullptr);
        std::fclose(raw);
    }

    Settings s;
    const QStringList warnings = EmptyAtStart(s, [&](const QString &) { return dir; });

    EXPECT_EQ(Entries(program), L({"DefSym.ovx", "PTU.txt"}));
    EXPECT_EQ(Entries(elsewhere), L({"precious.pdf", "target.txt"}));
    EXPECT_FALSE(QFileInfo(dir + QStringLiteral("/LINK.txt")).isSymLink());
    EXPECT_NE(::access(rawName.constData(), F_OK), 0) << "a job file named in CP852 stays";
    ASSERT_EQ(warnings.size(), 2) << warnings.join(u'\n').toStdString();
    EXPECT_TRUE(warnings.join(u' ').contains(QStringLiteral("symbolic link")));
    // The links themselves stay: they are not ours to remove.
    EXPECT_TRUE(QFileInfo(dir + QStringLiteral("/pdf")).isSymLink());
    EXPECT_TRUE(QFileInfo(dir + QStringLiteral("/ERRORS")).isSymLink());
}
