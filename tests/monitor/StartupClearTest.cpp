#include "monitor/StartupClear.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>
#include <unistd.h>

using namespace ostrevo;
using ostrevo::test::Entries;
using ostrevo::test::ReadFile;
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

    // The note of a clean stop and the next start's emptying, as the engine does them.
    QList<StaleFile> note(const Settings &s, bool keepComplete = true,
                          std::function<bool(const QString &, const QByteArray &)> keep = {})
    {
        StaleScan scan;
        scan.settings = &s;
        scan.resolveDir = [](const QString &text) { return text; };
        scan.keepCompleteJobs = keepComplete;
        scan.keepMarker = std::move(keep);
        return CollectStaleFiles(scan);
    }
    QStringList clear(const QList<StaleFile> &files, const Settings &s, QStringList *journaled = nullptr)
    {
        return ClearStaleFiles(files, s, [](const QString &text) { return text; }, [journaled](const StaleFile &f) {
            if (journaled)
                journaled->append(QFile::decodeName(f.name));
        });
    }

    QTemporaryDir m_tmp;
};

} // namespace

TEST_F(StartupClearTest, WhatWasStaleAtTheStopGoesFilesOnlyAndOnlyAsItWas)
{
    const QString dir = makeMonitored(QStringLiteral("d1"));
    QFile::link(dir + QStringLiteral("/gone"), dir + QStringLiteral("/broken.txt"));
    Settings s;
    s.katalog = dir;
    // Monitoring paused at the stop: the waiting jobs are as stale as the rest.
    const QList<StaleFile> stale = note(s, false);
    // After the stop: one noted file rewritten, one job new.
    WriteFile(dir + QStringLiteral("/b.TXT"), "nowy tekst");
    WriteFile(dir + QStringLiteral("/NEW.txt"), "x");
    WriteFile(dir + QStringLiteral("/NEW.END"), {});
    QStringList journaled;
    clear(stale, s, &journaled);
    EXPECT_EQ(Entries(dir), L({"ERRORS", "Mail", "NEW.END", "NEW.txt", "Pdf", "b.TXT", "download", "ftp", "noext",
                               "notes.doc", "sub.txt"}));
    journaled.sort();
    EXPECT_EQ(journaled, L({".hidden", "A.END", "A.txt", "a.pdf", "b.end", "broken.txt", "e.txt", "file", "m.eml",
                            "up.txt"}));
    EXPECT_EQ(Entries(dir + QStringLiteral("/ftp/keep")), L({"deep.txt"}));
}

TEST_F(StartupClearTest, JobsToBePerformedAreNeverNotedAsStale)
{
    const QString dir = makeMonitored(QStringLiteral("d1"));
    WriteFile(dir + QStringLiteral("/SIEROTA.txt"), "a text without its marker");
    WriteFile(dir + QStringLiteral("/CZEKA.END"), {});
    // Another monitor's job under way: its text is claimed.
    WriteFile(dir + QStringLiteral("/INNY.END"), {});
    WriteFile(dir + QStringLiteral("/INNY.txt.ostrevo-0badc0de"), "x");
    // A job held for its result.
    WriteFile(dir + QStringLiteral("/WYNIK.END"), {});
    Settings s;
    s.katalog = dir;
    s.clearFtp = s.clearPdf = s.clearErrors = s.clearMail = s.clearDownload = false;
    const QList<StaleFile> stale = note(s, true, [](const QString &, const QByteArray &marker) {
        return marker == "WYNIK.END";
    });
    QStringList names;
    for (const StaleFile &f : stale)
        names.append(QFile::decodeName(f.name));
    names.sort();
    EXPECT_EQ(names, L({"CZEKA.END", "SIEROTA.txt"}));
    clear(stale, s);
    EXPECT_EQ(Entries(dir).filter(QRegularExpression(QStringLiteral("\\.(END|end|txt|TXT)|ostrevo"))),
              L({"A.END", "A.txt", "INNY.END", "INNY.txt.ostrevo-0badc0de", "WYNIK.END", "b.TXT", "b.end", "sub.txt"}));
}

TEST_F(StartupClearTest, WholeSequenceForBothDirectories)
{
    const QString d1 = makeMonitored(QStringLiteral("d1"));
    const QString d2 = makeMonitored(QStringLiteral("d2"));
    Settings s;
    s.katalog = d1;
    s.katalog2 = d2;
    s.monitorowanie2 = false; // directory 2 is emptied all the same
    s.clearPdf = false;
    clear(note(s, false), s);
    for (const QString &dir : {d1, d2}) {
        EXPECT_EQ(Entries(dir), L({"ERRORS", "Mail", "Pdf", "download", "ftp", "noext", "notes.doc", "sub.txt"}));
        EXPECT_EQ(Entries(dir + QStringLiteral("/ftp")), L({"keep"}));
        EXPECT_EQ(Entries(dir + QStringLiteral("/Pdf")), L({"a.pdf"}));
        EXPECT_TRUE(Entries(dir + QStringLiteral("/ERRORS")).isEmpty());
        EXPECT_TRUE(Entries(dir + QStringLiteral("/Mail")).isEmpty());
        EXPECT_TRUE(Entries(dir + QStringLiteral("/download")).isEmpty());
    }
}

TEST_F(StartupClearTest, SwitchedOffAtTheStopOrAtTheStartTouchesNothing)
{
    const QString d1 = makeMonitored(QStringLiteral("d1"));
    const QStringList before = Entries(d1);
    Settings off;
    off.katalog = d1;
    off.clear = off.clearFtp = off.clearPdf = off.clearErrors = off.clearMail = off.clearDownload = false;
    EXPECT_TRUE(note(off, false).isEmpty());
    Settings on;
    on.katalog = d1;
    clear(note(on, false), off);
    EXPECT_EQ(Entries(d1), before);
    EXPECT_EQ(Entries(d1 + QStringLiteral("/ftp")), L({"keep", "up.txt"}));
    // A directory that is no longer monitored is not touched either.
    Settings elsewhere;
    elsewhere.katalog = m_tmp.filePath(QStringLiteral("inny"));
    clear(note(on, false), elsewhere);
    EXPECT_EQ(Entries(d1), before);
}

TEST_F(StartupClearTest, TheNoteIsTakenOnceAndADamagedOneClearsNothing)
{
    const QString path = m_tmp.filePath(QStringLiteral("ostrevo-stop.lst"));
    const QList<StaleFile> files{{QStringLiteral("/srv/jobs"), QByteArray("\xbd" "AK.txt"), FileStamp{1, 2, 3, 4}},
                                 {QStringLiteral("/srv/jobs dwa"), QByteArray("a b.END"), FileStamp{5, 6, 0, 7}}};
    WriteStopNote(path, files);
    EXPECT_EQ(TakeStopNote(path), files);
    EXPECT_FALSE(TakeStopNote(path)) << "taken twice";
    WriteStopNote(path, files);
    QByteArray cut = ReadFile(path);
    cut.chop(6);
    WriteFile(path, cut);
    EXPECT_FALSE(TakeStopNote(path));
    EXPECT_FALSE(QFile::exists(path));
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
    s.katalog = dir;
    const QList<StaleFile> stale = note(s, false);
    // Between the stop and the start, work directories are replaced by links: one to
    // another tree, one to the program directory.
    QDir(dir + QStringLiteral("/Pdf")).removeRecursively();
    QDir(dir + QStringLiteral("/ERRORS")).removeRecursively();
    ASSERT_TRUE(QFile::link(elsewhere, dir + QStringLiteral("/pdf")));
    ASSERT_TRUE(QFile::link(program, dir + QStringLiteral("/ERRORS")));
    const QStringList warnings = clear(stale, s);

    EXPECT_EQ(Entries(program), L({"DefSym.ovx", "PTU.txt"}));
    EXPECT_EQ(Entries(elsewhere), L({"precious.pdf", "target.txt"}));
    EXPECT_FALSE(QFileInfo(dir + QStringLiteral("/LINK.txt")).isSymLink());
    EXPECT_NE(::access(rawName.constData(), F_OK), 0) << "a job file named in CP852 stays";
    ASSERT_EQ(warnings.size(), 2) << warnings.join(u'\n').toStdString();
    EXPECT_TRUE(warnings.join(u' ').contains(QStringLiteral("dowiązaniem symbolicznym")));
    // The links themselves stay: they are not ours to remove.
    EXPECT_TRUE(QFileInfo(dir + QStringLiteral("/pdf")).isSymLink());
    EXPECT_TRUE(QFileInfo(dir + QStringLiteral("/ERRORS")).isSymLink());
}
