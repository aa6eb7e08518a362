// The end of a job in the real executable: a quit in the middle of one, and the order in
// which its printout reaches the disk, the journal is written and its files go.

#include "support/PdfTools.h"
#include "support/ProgramInstall.h"
#include "support/TestSupport.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <gtest/gtest.h>

using namespace ostrevo::test;

namespace {

// A printout of some 1,500 pages: long enough to be caught in the middle.
QByteArray LongReport()
{
    QByteArray text;
    for (int i = 1; i <= 100000; ++i)
        text += "Pozycja " + QByteArray::number(i) + ' ' + QByteArray(60, 'x') + "\r\n";
    return text;
}

QString PartFileIn(const QString &dir)
{
    for (const QString &name : Entries(dir)) {
        if (name.endsWith(QStringLiteral(".part")))
            return dir + u'/' + name;
    }
    return {};
}

int JournalLines(const QByteArray &journal, const QByteArray &job, const QByteArray &outcome)
{
    int n = 0;
    for (const QByteArray &line : journal.split('\n')) {
        if (line.contains('\t' + job + ".txt\t") && line.contains('\t' + outcome))
            ++n;
    }
    return n;
}

} // namespace

TEST(ProgramJobEnd, SigtermDuringAJobLetsItFinishAndLosesNothing)
{
    Install install("Timer=0\r\nMonitorowanie=1\r\n");
    const QString out = install.home.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(out));
    // Left by a run that was killed while it wrote.
    WriteFile(out + QStringLiteral("/.STARY-abc123.part"), "%PDF-1.4 half");
    auto monitor = install.start({QStringLiteral("--headless")});
    QByteArray log;
    ASSERT_TRUE(Install::waitRunning(monitor.get(), &log)) << log.constData();
    EXPECT_FALSE(QFile::exists(out + QStringLiteral("/.STARY-abc123.part")));
    install.job(QStringLiteral("RAPORT"), LongReport());
    // The printout is under way once its part file is there.
    QString part;
    ASSERT_TRUE(WaitFor([&] {
        part = PartFileIn(out);
        return !part.isEmpty() || monitor->state() == QProcess::NotRunning;
    }, 30000)) << Entries(out).join(u' ').toStdString();
    ASSERT_EQ(monitor->state(), QProcess::Running) << monitor->readAllStandardError().constData();
    // Arrives while the first job runs: the quit must not start it.
    install.job(QStringLiteral("NASTEPNY"), "NASTEPNY\r\n");
    monitor->terminate();
    const bool caughtInTheMiddle = QFile::exists(part);
    ASSERT_TRUE(monitor->waitForFinished(30000));
    const QByteArray err = log + monitor->readAllStandardError();
    EXPECT_EQ(monitor->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(monitor->exitCode(), 0) << err.constData();
    EXPECT_TRUE(caughtInTheMiddle) << "the job ended before the signal; nothing was tested";

    const QByteArray journal = install.journal();
    const bool finished = QFile::exists(out + QStringLiteral("/RAPORT.pdf"));
    if (finished) {
        EXPECT_EQ(JournalLines(journal, "RAPORT", "OK"), 1) << journal.constData();
        EXPECT_FALSE(QFile::exists(install.jobs + QStringLiteral("/RAPORT.txt")));
    } else {
        // It could not finish within the grace (a slow build): it is kept for the next start.
        EXPECT_EQ(JournalLines(journal, "RAPORT", "ABANDONED"), 1) << journal.constData();
        EXPECT_TRUE(QFile::exists(install.jobs + QStringLiteral("/RAPORT.txt")));
        EXPECT_TRUE(QFile::exists(install.jobs + QStringLiteral("/RAPORT.END")));
    }
    EXPECT_EQ(JournalLines(journal, "NASTEPNY", ""), 0) << journal.constData();
    EXPECT_TRUE(QFile::exists(install.jobs + QStringLiteral("/NASTEPNY.END")));
    EXPECT_TRUE(PartFileIn(out).isEmpty()) << Entries(out).join(u' ').toStdString();

    // The next start performs what was kept, and nothing twice.
    QByteArray onceErr;
    EXPECT_EQ(install.run({QStringLiteral("--once")}, &onceErr), 0) << onceErr.constData();
    const QByteArray after = install.journal();
    EXPECT_EQ(JournalLines(after, "RAPORT", "OK"), 1) << after.constData();
    EXPECT_EQ(JournalLines(after, "NASTEPNY", "OK"), 1) << after.constData();
    EXPECT_EQ(Entries(install.jobs), QStringList{});
    EXPECT_EQ(Entries(out), (QStringList{QStringLiteral("NASTEPNY.pdf"), QStringLiteral("RAPORT.pdf")}));
    EXPECT_EQ(PdfPageCount(out + QStringLiteral("/RAPORT.pdf")), (100000 + 67) / 68);
}

TEST(ProgramJobEnd, APrintoutIsOnTheDiskBeforeItsNameAndTheJournalBeforeTheDeletes)
{
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (strace.isEmpty())
        GTEST_SKIP() << "strace is not installed";
    Install install;
    install.job(QStringLiteral("FAKTURA"), "FAKTURA VAT NR 7/2026\r\n");
    QTemporaryDir traceDir;
    const QString trace = traceDir.filePath(QStringLiteral("trace"));
    QProcess p;
    p.setProcessEnvironment(install.env());
    p.start(strace, {QStringLiteral("-f"), QStringLiteral("-y"), QStringLiteral("-qq"), QStringLiteral("-s512"),
                     QStringLiteral("-o"), trace,
                     QStringLiteral("-e"),
                     QStringLiteral("trace=fsync,fdatasync,rename,renameat,renameat2,linkat,write,unlink,unlinkat"),
                     OstrevoBinary(), QStringLiteral("--home"), install.home.path(), QStringLiteral("--once")});
    ASSERT_TRUE(p.waitForFinished(60000));
    const QByteArray err = p.readAllStandardError();
    if (p.exitCode() != 0 && err.contains("ptrace"))
        GTEST_SKIP() << "this machine does not let strace trace: " << err.constData();
    ASSERT_EQ(p.exitCode(), 0) << err.constData();
    ASSERT_EQ(Entries(install.jobs), QStringList{});

    // Where each step starts in the trace (a call another thread interrupted is split in two
    // lines; its first one is where it started).
    const QList<QByteArray> lines = ReadFile(trace).split('\n');
    auto first = [&](const char *pattern) {
        const QRegularExpression re(QString::fromLatin1(pattern));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (re.match(QString::fromUtf8(lines[i])).hasMatch())
                return int(i);
        }
        return -1;
    };
    const int partSynced = first(R"(fsync\(\d+</[^>]*/out/\.FAKTURA-\w{6}\.part>)");
    const int published = first(R"(renameat2\(.*\.FAKTURA-\w{6}\.part", \d+</[^>]*/out>, "FAKTURA\.pdf", RENAME_NOREPLACE)");
    const int dirSynced = first(R"(fsync\(\d+</[^>]*/out>)");
    const int journaled = first(R"(write\(\d+</[^>]*/ostrevo\.log>, ".*FAKTURA\.txt)");
    const int textGone = first(R"(unlink(at)?\(.*FAKTURA\.txt(\.ostrevo-\w+)?")");
    const int markerGone = first(R"(unlink(at)?\(.*FAKTURA\.END")");
    const QByteArray all = ReadFile(trace);
    ASSERT_GE(partSynced, 0) << all.constData();
    EXPECT_LT(partSynced, published);
    EXPECT_LT(published, dirSynced);
    EXPECT_LT(dirSynced, journaled);
    EXPECT_LT(journaled, textGone);
    EXPECT_LT(textGone, markerGone);
    EXPECT_GE(published, 0);
    EXPECT_GE(markerGone, 0);
}
