// <OPEN> and <PRINT> jobs: the key that names the file, the desktop opener started with
// the path as one argument, printing through a private cupsd, and the jobs run by the
// real engine with DOS paths mapped.

#include "app/OpenPrintJobs.h"
#include "devices/TPrinter.h"
#include "jobs/DosPath.h"
#include "monitor/Engine.h"
#include "support/CupsServer.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

using namespace Qt::StringLiterals;
using namespace ostrevo;
using ostrevo::test::Entries;
using ostrevo::test::ReadFile;
using ostrevo::test::CupsServer;
using ostrevo::test::UseCupsServer;
using ostrevo::test::WaitFor;
using ostrevo::test::WriteFile;

namespace {

// Identity mapping for jobs that already hold Linux paths.
const DosPathMapping Plain = [](const QByteArray &value) { return QString::fromUtf8(value); };


// A fake xdg-open first in PATH that writes each argument it gets, NUL-terminated.
class FakeOpener {
public:
    FakeOpener()
    {
        const QString script = m_dir.path() + u"/xdg-open"_s;
        WriteFile(script, "#!/bin/sh\n"
                          "out=\"$OSTREVO_FAKE_OPEN_OUT\"\n"
                          ": > \"$out.part\"\n"
                          "for a in \"$@\"; do printf '%s\\0' \"$a\" >> \"$out.part\"; done\n"
                          "mv \"$out.part\" \"$out\"\n");
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(m_dir.path()) + ':' + m_oldPath);
        qputenv("OSTREVO_FAKE_OPEN_OUT", QFile::encodeName(outPath()));
    }
    ~FakeOpener()
    {
        qputenv("PATH", m_oldPath);
        qunsetenv("OSTREVO_FAKE_OPEN_OUT");
    }
    QString outPath() const { return m_dir.path() + u"/argv"_s; }
    // The arguments of the one call, once it has happened.
    std::optional<QList<QByteArray>> arguments(int timeoutMs = 5000) const
    {
        if (!WaitFor([&] { return QFileInfo::exists(outPath()); }, timeoutMs))
            return std::nullopt;
        QList<QByteArray> args = ReadFile(outPath()).split('\0');
        args.removeLast(); // after the last terminator
        return args;
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};

class OpenPrintJobsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        // No test may reach the machine's own printers.
        UseCupsServer(m_dir.path() + u"/no-cups.sock"_s);
        Printer().setBuiltinDirectory(m_dir.path() + u"/wydruki"_s);
    }

    QString job(const QByteArray &bytes)
    {
        const QString path = m_dir.path() + u"/JOB.txt"_s;
        WriteFile(path, bytes);
        return path;
    }
    QString pdf(const QString &name)
    {
        const QString path = m_dir.path() + u'/' + name;
        WriteFile(path, "%PDF-1.4\n%test\n");
        return path;
    }

    QTemporaryDir m_dir;
    JobContext m_context;
};

struct KeyCase {
    const char *name;
    QByteArray text;
    std::optional<QByteArray> value;
};

} // namespace

TEST_F(OpenPrintJobsTest, PdfFileKeyIsReadOnlyAfterATagOnTheFirstLine)
{
    const KeyCase cases[] = {
        {"tag then key", "<OPEN>\r\nPDF_FILE=/a.pdf\r\n<END>\r\n", "/a.pdf"},
        {"tag in lower case, amid text", "zadanie <open> teraz\r\nPDF_FILE=/a.pdf\r\n", "/a.pdf"},
        {"value trimmed, inner spaces kept", "<OPEN>\r\n  pdf_file =  /x/Faktura 1.pdf \t\r\n", "/x/Faktura 1.pdf"},
        {"later key wins", "<OPEN>\r\nPDF_FILE=/a.pdf\r\nPDF_FILE=/b.pdf\r\n<END>\r\n", "/b.pdf"},
        {"comment removed", "<OPEN>\r\nPDF_FILE=/a.pdf // podgląd\r\n", "/a.pdf"},
        {"key after <END> ignored", "<OPEN>\r\nPDF_FILE=/a.pdf\r\n<END>\r\nPDF_FILE=/b.pdf\r\n", "/a.pdf"},
        {"empty file", "", std::nullopt},
        {"empty first line, tag on the second", "\r\n<OPEN>\r\nPDF_FILE=/a.pdf\r\n", std::nullopt},
        {"comment line first", "// x\r\n<OPEN>\r\nPDF_FILE=/a.pdf\r\n", std::nullopt},
        {"tag only in a comment", "// <OPEN>\r\nPDF_FILE=/a.pdf\r\n", std::nullopt},
        {"key on the tag line", "<OPEN> PDF_FILE=/a.pdf\r\n<END>\r\n", std::nullopt},
        {"tag line holds <END>", "<OPEN><END>\r\nPDF_FILE=/a.pdf\r\n", std::nullopt},
        {"other tag", "<PRINT>\r\nPDF_FILE=/a.pdf\r\n", std::nullopt},
        {"no key", "<OPEN>\r\nPLIK=/a.pdf\r\n", std::nullopt},
        {"Ctrl+Z ends the file", "<OPEN>\r\n\x1aPDF_FILE=/a.pdf\r\n", std::nullopt},
    };
    for (const KeyCase &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadPdfFileKey(job(c.text), "<OPEN>"), c.value);
    }
}

TEST_F(OpenPrintJobsTest, OpenStartsTheOpenerWithThePathAsOneArgument)
{
    FakeOpener opener;
    // Everything a shell would act on, in one file name.
    const QString name = u"a b;$(touch PWNED) `id` 'q\" & | * > x.pdf"_s;
    const QString file = pdf(name);
    const JobResult result =
        OpenPdfJob(m_context, job("<OPEN>\r\nPDF_FILE=" + file.toUtf8() + "\r\n<END>\r\n"), Plain);
    EXPECT_EQ(result.outcome, JobResult::Done);
    EXPECT_EQ(result.detail, u"otwarto "_s + file);
    const auto args = opener.arguments();
    ASSERT_TRUE(args);
    EXPECT_EQ(*args, QList<QByteArray>{file.toUtf8()});
    EXPECT_FALSE(QFileInfo::exists(m_dir.path() + u"/PWNED"_s));
    EXPECT_FALSE(QFileInfo::exists(u"PWNED"_s));
}

TEST_F(OpenPrintJobsTest, NameLikeAnOptionReachesTheOpenerAsAnAbsolutePath)
{
    FakeOpener opener;
    pdf(u"--help.pdf"_s);
    const QString old = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    const JobResult result = OpenPdfJob(m_context, job("<OPEN>\r\nPDF_FILE=--help.pdf\r\n"), Plain);
    QDir::setCurrent(old);
    EXPECT_EQ(result.outcome, JobResult::Done);
    const auto args = opener.arguments();
    ASSERT_TRUE(args);
    EXPECT_EQ(*args, QList<QByteArray>{QFile::encodeName(QFileInfo(m_dir.path() + u"/--help.pdf"_s).absoluteFilePath())});
}

TEST_F(OpenPrintJobsTest, NothingHappensWithoutAnExistingFile)
{
    FakeOpener opener;
    QDir().mkpath(m_dir.path() + u"/katalog.pdf"_s);
    struct Case {
        const char *name;
        QByteArray key;
        QString detail;
    } cases[] = {
        {"missing file", "PDF_FILE=" + QFile::encodeName(m_dir.path()) + "/brak.pdf\r\n", u"nie ma pliku: "_s},
        {"a directory", "PDF_FILE=" + QFile::encodeName(m_dir.path()) + "/katalog.pdf\r\n", u"nie ma pliku: "_s},
        {"empty value", "PDF_FILE=\r\n", u"brak PDF_FILE"_s},
        {"no key", "PLIK=x\r\n", u"brak PDF_FILE"_s},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        // The job ends as any other; the journal says that nothing happened.
        const JobResult opened = OpenPdfJob(m_context, job("<OPEN>\r\n" + c.key), Plain);
        EXPECT_EQ(opened.outcome, JobResult::NothingDone);
        EXPECT_TRUE(opened.detail.startsWith(c.detail)) << qPrintable(opened.detail);
        const JobResult printed = PrintPdfJob(m_context, job("<PRINT>\r\n" + c.key), Plain);
        EXPECT_EQ(printed.outcome, JobResult::NothingDone);
        EXPECT_TRUE(printed.detail.startsWith(c.detail)) << qPrintable(printed.detail);
    }
    EXPECT_FALSE(opener.arguments(300));
    EXPECT_FALSE(QFileInfo::exists(m_dir.path() + u"/wydruki"_s));
}

TEST_F(OpenPrintJobsTest, AnOpenerThatOpensNothingIsToldApartFromOneThatDid)
{
    // xdg-open ends with 3 when no program opens the type, at once; a viewer that xdg-open
    // runs in the foreground is not waited for (its output goes elsewhere, or ctest would
    // wait for it).
    const QString file = pdf(u"faktura.pdf"_s);
    QTemporaryDir bin;
    const QString opener = bin.path() + u"/xdg-open"_s;
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ':' + oldPath);
    for (const auto &[script, outcome] : {std::pair{"#!/bin/sh\nexit 3\n", JobResult::NothingDone},
                                          std::pair{"#!/bin/sh\nexit 0\n", JobResult::Done},
                                          std::pair{"#!/bin/sh\nexec sleep 10 </dev/null >/dev/null 2>&1\n", JobResult::Done}}) {
        SCOPED_TRACE(script);
        WriteFile(opener, script);
        QFile::setPermissions(opener, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QElapsedTimer clock;
        clock.start();
        const JobResult opened = OpenPdfJob(m_context, job("<OPEN>\r\nPDF_FILE=" + QFile::encodeName(file) + "\r\n"), Plain);
        EXPECT_EQ(opened.outcome, outcome) << qPrintable(opened.detail);
        EXPECT_LT(clock.elapsed(), 10000);
    }
    qputenv("PATH", oldPath);
}

// The job names its file; a hostile one names a file that is no PDF, or no file at all.
TEST_F(OpenPrintJobsTest, OnlyARegularFileIsOpenedAndOnlyAPdfFilePrinted)
{
    FakeOpener opener;
    const QString text = m_dir.path() + u"/notatki.txt"_s;
    WriteFile(text, "root:x:0:0:root:/root:/bin/bash\n");
    struct Case {
        const char *name;
        QString file;
        bool opens;
    } cases[] = {
        {"a text file", text, true},
        {"a file of the kernel", u"/proc/self/environ"_s, true},
        {"a file without a PDF header", u"/etc/passwd"_s, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const JobResult printed = PrintPdfJob(m_context, job("<PRINT>\r\nPDF_FILE=" + c.file.toUtf8() + "\r\n"), Plain);
        EXPECT_EQ(printed.outcome, JobResult::Failed);
        EXPECT_TRUE(printed.detail.startsWith(u"odrzucone: to nie jest plik PDF"_s)) << qPrintable(printed.detail);
    }
    EXPECT_FALSE(QFileInfo::exists(m_dir.path() + u"/wydruki"_s));
    // <OPEN> of a regular file of any kind is the desktop's business; a device is not.
    OpenPdfJob(m_context, job("<OPEN>\r\nPDF_FILE=/dev/zero\r\n"), Plain);
    EXPECT_FALSE(opener.arguments(300));
}

TEST_F(OpenPrintJobsTest, PrintWithoutCupsGoesToTheBuiltInPrinter)
{
    const QString file = pdf(u"Faktura 7.pdf"_s);
    const JobResult result = PrintPdfJob(m_context, job("<PRINT>\r\nPDF_FILE=" + file.toUtf8() + "\r\n"), Plain);
    EXPECT_EQ(result.outcome, JobResult::Done) << qPrintable(result.detail);
    EXPECT_EQ(ReadFile(m_dir.path() + u"/wydruki/Faktura 7.pdf"_s), ReadFile(file));
}

TEST_F(OpenPrintJobsTest, PrintReachesTheDefaultCupsQueue)
{
    const CupsServer cups;
    // CUPS not installed on this machine: skip; any other failure to start is a failure.
    if (cups.notInstalled())
        GTEST_SKIP() << cups.failure().toStdString();
    ASSERT_TRUE(cups.running()) << cups.failure().toStdString();
    // The default queue is a PostScript printer writing into a file.
    ASSERT_EQ(DefaultPrinterName(), u"ps"_s);

    const QString file = m_dir.path() + u"/Wydruk 7.pdf"_s;
    {
        QPdfWriter writer(file);
        QPainter painter(&writer);
        painter.drawText(100, 100, u"Strona 1"_s);
        writer.newPage();
        painter.drawText(100, 100, u"Strona 2"_s);
    }
    const JobResult result = PrintPdfJob(m_context, job("<print>\r\nPDF_FILE=" + file.toUtf8() + "\r\n"), Plain);
    EXPECT_EQ(result.outcome, JobResult::Done) << qPrintable(result.detail);
    const QString out = cups.outputFile(u"ps"_s);
    EXPECT_TRUE(WaitFor([&] { return ReadFile(out).contains("%%Pages: 2"); }, 60000));
    EXPECT_TRUE(ReadFile(out).contains("%%Title: (Wydruk 7.pdf)"));
    EXPECT_FALSE(QFileInfo::exists(m_dir.path() + u"/wydruki"_s));
}

TEST_F(OpenPrintJobsTest, EngineRunsOpenJobWithDosPath)
{
    FakeOpener opener;
    const QString c = m_dir.path() + u"/c"_s;
    const QString jobs = m_dir.path() + u"/jobs"_s;
    QDir().mkpath(c + u"/Pdf"_s);
    QDir().mkpath(jobs);
    const QString file = c + u"/Pdf/Faktura 1.pdf"_s;
    WriteFile(file, "%PDF-1.4\n");
    WriteFile(m_dir.path() + u"/Ostrevo.ini"_s, "[Opcje]\r\nKatalog=" + QFile::encodeName(jobs)
                                                    + "\r\nDrukarka=Ostrevo PDF\r\n[Dyski]\r\nC=" + QFile::encodeName(c)
                                                    + "\r\n");
    WriteFile(jobs + u"/OTWORZ.txt"_s, "<OPEN>\r\nPDF_FILE=c:\\PDF\\FAKTURA 1.pdf\r\n<END>\r\n");
    WriteFile(jobs + u"/OTWORZ.END"_s, "");

    EngineConfig config;
    config.programDir = m_dir.path();
    config.printers.list = [] { return QStringList{BuiltinPrinterName()}; };
    const QString programDir = m_dir.path();
    // The mapping reads the [Dyski] table of the settings the engine holds, on its thread.
    Engine *enginePtr = nullptr;
    RegisterOpenPrintHandlers(config.handlers, [&enginePtr, programDir](const QByteArray &value) {
        return DosPathMapper(enginePtr->settings().drives, programDir).toLocal(value);
    });
    Engine engine(std::move(config));
    enginePtr = &engine;
    ASSERT_EQ(engine.runOnce(), 0);

    const auto args = opener.arguments();
    ASSERT_TRUE(args);
    EXPECT_EQ(*args, QList<QByteArray>{QFile::encodeName(file)});
    EXPECT_EQ(Entries(jobs), QStringList());
    EXPECT_TRUE(ReadFile(m_dir.path() + u"/ostrevo.log"_s).contains("otwarto"));
}
