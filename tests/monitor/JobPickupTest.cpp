// How a scan meets its jobs: one listing per scan, names as bytes in any letter case, the
// job text opened once and never through a link, one "marker waiting" per directory.

#include "devices/TPrinter.h"
#include "monitor/Engine.h"
#include "support/PdfTools.h"
#include "support/TestSupport.h"
#include "support/ThreadedEngine.h"
#include "textprint/SymbolTable.h"
#include "textprint/TextPrinter.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ostrevo;
using namespace ostrevo::test;
using namespace std::chrono_literals;

namespace {

// Writes a file under a name given in bytes (names that are not UTF-8 cannot go through
// QString).
void WriteRaw(const QString &dir, const QByteArray &name, const QByteArray &bytes)
{
    const QByteArray path = QFile::encodeName(dir) + '/' + name;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path.constData();
    ASSERT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
    ::close(fd);
}

// Entry names of a directory as bytes.
QList<QByteArray> RawEntries(const QString &dir)
{
    QList<QByteArray> names;
    DIR *d = ::opendir(QFile::encodeName(dir).constData());
    while (const dirent *e = d ? ::readdir(d) : nullptr) {
        if (qstrcmp(e->d_name, ".") != 0 && qstrcmp(e->d_name, "..") != 0)
            names.append(e->d_name);
    }
    if (d)
        ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

// QTemporaryDir cannot remove names that are not UTF-8.
void RemoveRaw(const QString &dir)
{
    for (const QByteArray &name : RawEntries(dir))
        ::unlink((QFile::encodeName(dir) + '/' + name).constData());
}

struct Site {
    QTemporaryDir home;
    QString jobs = home.filePath(QStringLiteral("jobs"));
    QString jobs2 = home.filePath(QStringLiteral("jobs2"));
    QStringList handled;
    std::function<void(const JobContext &, const QString &)> onJob;

    explicit Site(int mode, bool twoDirectories = false)
    {
        QDir().mkpath(jobs);
        QDir().mkpath(jobs2);
        QByteArray ini = "[Opcje]\r\nKatalog=" + jobs.toUtf8() + "\r\nDrukarka=Test\r\nTimer=" + QByteArray::number(mode)
            + "\r\nMonitorowanie=1\r\nClear=0\r\n";
        if (twoDirectories)
            ini += "Monitorowanie2=1\r\nKatalog2=" + jobs2.toUtf8() + "\r\nDrukarka2=Test\r\n";
        WriteFile(home.filePath(QStringLiteral("Ostrevo.ini")), ini);
    }

    EngineConfig config()
    {
        EngineConfig c;
        c.programDir = home.path();
        c.printers.list = [] { return QStringList{QStringLiteral("Test"), BuiltinPrinterName()}; };
        c.printers.defaultName = [] { return QStringLiteral("Test"); };
        c.timerWatchMs = 300;
        c.handlers.set(jkText, [this](const JobContext &ctx, const QString &path) {
            handled.append(QFileInfo(path).fileName());
            if (onJob)
                onJob(ctx, path);
            return JobResult::done();
        });
        return c;
    }

    QString journal() const { return QString::fromUtf8(ReadFile(home.filePath(QStringLiteral("ostrevo.log")))); }
};


} // namespace

TEST(JobPickup, NamesAreBytesAndMatchInAnyLetterCaseOfTheirCodePage)
{
    // DOSBox and DOSEMU write CP852 names; a marker and its text may differ in the case
    // of a Polish letter, in UTF-8 and in the DOS code pages.
    struct Case {
        const char *what;
        QByteArray marker;
        QByteArray text;
        QString shown; // the text file's name in the journal
    };
    const Case cases[] = {
        {"CP852 name", "FAKTURA_\xA5.END", "FAKTURA_\xA5.txt", QStringLiteral("FAKTURA_ą.txt")},
        {"CP852 capital marker, small text", "\xA4\x9D" "A.END", "\xA5\x88" "a.TXT", QStringLiteral("ąła.TXT")},
        {"CP852 small marker, capital text", "\xBE\x98.end", "\xBD\x97.txt", QStringLiteral("ŻŚ.txt")},
        // Mazovia names are shown as if CP852: the bytes cannot tell the two apart.
        {"Mazovia", "\x8F\x9C.END", "\x86\x92.txt", QStringLiteral("ćĺ.txt")},
        {"UTF-8", "ZAŻÓŁĆ.END", "zażółć.txt", QStringLiteral("zażółć.txt")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Site site(MonitorTimer);
        Engine engine(site.config());
        engine.readSettings();
        WriteRaw(site.jobs, c.text, "FAKTURA\r\n");
        WriteRaw(site.jobs, c.marker, {});
        engine.ScanDirectory1();
        EXPECT_EQ(site.handled, QStringList{c.shown});
        EXPECT_TRUE(RawEntries(site.jobs).isEmpty()) << RawEntries(site.jobs).join(' ').toStdString();
        EXPECT_TRUE(site.journal().contains(c.shown + QStringLiteral("\tjkText\t"))) << site.journal().toStdString();
        RemoveRaw(site.jobs);
    }
}

TEST(JobPickup, NamesThatOnlyLookAlikeDoNotMatch)
{
    Site site(MonitorTimer);
    Engine engine(site.config());
    engine.readSettings();
    // ą and ć are different letters (CP852 A5, 86); "ą" in UTF-8 is not "Ą" of CP852.
    WriteRaw(site.jobs, "A\xA5.END", {});
    WriteRaw(site.jobs, "A\x86.txt", "x\r\n");
    WriteRaw(site.jobs, "B\xA4.END", {});
    WriteRaw(site.jobs, "Bą.txt", "x\r\n");
    engine.ScanDirectory1();
    EXPECT_TRUE(site.handled.isEmpty()) << site.handled.join(u' ').toStdString();
    EXPECT_EQ(RawEntries(site.jobs).size(), 4);
    RemoveRaw(site.jobs);
}

TEST(JobPickup, ATextThatIsALinkIsRefusedAndOnlyTheLinkIsRemoved)
{
    Site site(MonitorTimer);
    Engine engine(site.config());
    engine.readSettings();
    const QString secret = site.home.filePath(QStringLiteral("secret.txt"));
    WriteFile(secret, "hasło do banku\r\n");
    ASSERT_EQ(::symlink(QFile::encodeName(secret).constData(), QFile::encodeName(site.jobs + QStringLiteral("/LINK.txt")).constData()), 0);
    WriteFile(site.jobs + QStringLiteral("/LINK.END"), {});
    // A link to a link's name in another letter case, and a dangling one.
    ASSERT_EQ(::symlink("/nonexistent/file", QFile::encodeName(site.jobs + QStringLiteral("/dangling.TXT")).constData()), 0);
    WriteFile(site.jobs + QStringLiteral("/DANGLING.END"), {});
    WriteFile(site.jobs + QStringLiteral("/PLAIN.txt"), "x\r\n");
    WriteFile(site.jobs + QStringLiteral("/PLAIN.END"), {});

    engine.ScanDirectory1();
    EXPECT_EQ(site.handled, QStringList{QStringLiteral("PLAIN.txt")});
    EXPECT_TRUE(Entries(site.jobs).isEmpty()) << Entries(site.jobs).join(u' ').toStdString();
    EXPECT_EQ(ReadFile(secret), "hasło do banku\r\n");
    const QString journal = site.journal();
    EXPECT_TRUE(journal.contains(QStringLiteral("LINK.txt\t?\t"))) << journal.toStdString();
    EXPECT_EQ(journal.count(QStringLiteral("REFUSED: plik zadania jest dowiązaniem symbolicznym")), 2) << journal.toStdString();
}

TEST(JobPickup, EveryPassReadsTheTextOpenedAtTheStart)
{
    // The text swapped for a FIFO after the job began must not block any later pass: the
    // classifier and the real plain-text printer both read the text opened once.
    Site site(MonitorTimer);
    QTemporaryDir out;
    Printer().setBuiltinDirectory(out.path());
    SymbolTable symbols;
    TextPrinter printer(symbols);
    EngineConfig config = site.config();
    const QString text = site.jobs + QStringLiteral("/SWAP.txt");
    const QByteArray fifo = QFile::encodeName(site.home.filePath(QStringLiteral("fifo")));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    std::atomic_bool done{false};
    qint64 tookMs = -1;
    config.handlers.set(jkText, [&](const JobContext &ctx, const QString &path) {
        // Swapped between the classifier and the handler's own passes.
        ::rename(fifo.constData(), QFile::encodeName(path).constData());
        QElapsedTimer clock;
        clock.start();
        JobContext printing = ctx;
        printing.currentPrinterName = BuiltinPrinterName();
        const JobResult result = printer.PrintTextJob(printing, path);
        tookMs = clock.elapsed();
        return result;
    });
    // Without the open text the handler would block in open() for ever: a writer that
    // comes by after a while lets it go, so that the test fails instead of hanging.
    std::thread rescue([&] {
        for (int i = 0; i < 60 && !done.load(); ++i)
            std::this_thread::sleep_for(50ms);
        while (!done.load()) {
            const int fd = ::open(QFile::encodeName(text).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
            std::this_thread::sleep_for(20ms);
        }
    });
    Engine engine(std::move(config));
    engine.readSettings();
    WriteFile(text, "PIERWSZA STRONA FAKTURY\r\n");
    WriteFile(site.jobs + QStringLiteral("/SWAP.END"), {});
    engine.ScanDirectory1();
    done.store(true);
    rescue.join();

    EXPECT_GE(tookMs, 0);
    EXPECT_LT(tookMs, 2500) << "a pass reopened the text and met the FIFO";
    const QStringList pdfs = PdfFilesIn(out.path());
    ASSERT_EQ(pdfs.size(), 1) << site.journal().toStdString();
    EXPECT_TRUE(PdfText(out.path() + u'/' + pdfs.first()).contains(QStringLiteral("PIERWSZA STRONA FAKTURY")));
}

TEST(JobPickup, EachDirectoryHasItsOwnWaitingMarker)
{
    // MUTEX mode, both directories: a marker of directory 2 waits for its text while a job
    // of directory 1 comes and goes; the text's arrival alone brings the job.
    Site site(MonitorMutex, true);
    EngineConfig config = site.config();
    ThreadedEngine harness(std::move(config));
    QMetaObject::invokeMethod(harness.engine, &Engine::start, Qt::QueuedConnection);
    ASSERT_TRUE(WaitFor([&] { return harness.status().state == MonitorState::Running; }));

    // A job beside the waiting marker: once it is done, its scan has seen the marker wait.
    WriteFile(site.jobs2 + QStringLiteral("/LATER.END"), {});
    WriteFile(site.jobs2 + QStringLiteral("/BESIDE.txt"), "x\r\n");
    WriteFile(site.jobs2 + QStringLiteral("/BESIDE.END"), {});
    ASSERT_TRUE(WaitFor([&] { return site.journal().contains(QStringLiteral("BESIDE.txt")); }));
    // Then a scan of directory 1 that sees nothing wait there: it performs a job, whose
    // journal line says that the scan has run.
    WriteFile(site.jobs + QStringLiteral("/ONE.txt"), "x\r\n");
    WriteFile(site.jobs + QStringLiteral("/ONE.END"), {});
    ASSERT_TRUE(WaitFor([&] { return site.journal().contains(QStringLiteral("ONE.txt")); }));
    WriteFile(site.jobs2 + QStringLiteral("/LATER.txt"), "x\r\n");
    EXPECT_TRUE(WaitFor([&] { return Entries(site.jobs2).isEmpty(); }, 5000))
        << "the text of directory 2 was not noticed";
}
