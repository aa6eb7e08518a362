// The installed command is a launcher: --once that would find nothing ends in it, every
// other start is the program's. Whatever it decides, a caller sees what the program gives.

#include "jobs/CalledAs.h"
#include "ksef/Fa3Schema.h"
#include "monitor/JobFiles.h"
#include "support/CupsServer.h"
#include "support/ProgramInstall.h"

#include <QDirIterator>
#include <QProcess>
#include <gtest/gtest.h>

#include <functional>

using namespace ostrevo::test;

namespace {

// The program as installed behind the launcher.
QString ProgramBinary()
{
    return QStringLiteral(OSTREVO_PROGRAM_PATH);
}

struct Outcome {
    int exitCode = -1;
    QString errors;
    QStringList files; // every file and directory under the program directory, files with their contents

    bool operator==(const Outcome &) const = default;
};

void PrintTo(const Outcome &o, std::ostream *os)
{
    *os << "exit " << o.exitCode << ", stderr \"" << o.errors.toStdString() << "\", files:\n"
        << o.files.join(u'\n').toStdString();
}

// Journal lines (in the journal and on stderr) by their directory, job, kind and outcome:
// their time, duration and job id are the run's own.
QByteArray WithoutRunTimes(const QByteArray &text)
{
    QList<QByteArray> lines = text.split('\n');
    for (QByteArray &line : lines) {
        // On stderr the line follows a word of its own.
        const QByteArray word = line.startsWith("ostrevo: job\t") ? QByteArray("ostrevo: job\t") : QByteArray();
        const QList<QByteArray> fields = line.mid(word.size()).split('\t');
        if (fields.size() > 5)
            line = word + fields[1] + '\t' + fields[2] + '\t' + fields[3] + '\t' + fields[5];
    }
    return lines.join('\n');
}

// A file as compared; a PDF file by its name alone (it carries its date).
QString Comparable(const QString &relative, QByteArray bytes)
{
    if (relative.endsWith(QStringLiteral(".pdf")))
        return relative;
    if (relative == QStringLiteral("ostrevo.log"))
        bytes = WithoutRunTimes(bytes);
    return relative + QStringLiteral(": ") + QString::fromUtf8(bytes.toBase64().left(64)) + u'/'
        + QString::number(bytes.size());
}

Outcome RunOnce(const Install &install, const QString &binary)
{
    QProcess p;
    p.setProcessEnvironment(install.env());
    p.start(binary, {QStringLiteral("--home"), install.home.path(), QStringLiteral("--once")});
    Outcome outcome;
    if (!p.waitForFinished(60000))
        return outcome;
    outcome.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    // Qt's own word on the runtime directory comes from the desktop platform the program
    // starts, before its lock repairs the directory; the launcher starts none.
    QStringList errors = QString::fromUtf8(WithoutRunTimes(p.readAllStandardError())).split(u'\n');
    errors.removeIf([](const QString &line) { return line.startsWith(QStringLiteral("QStandardPaths: ")); });
    outcome.errors = errors.join(u'\n').replace(install.home.path(), QStringLiteral("HOME"));
    QDirIterator it(install.home.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileInfo().isDir()) {
            outcome.files.append(path.mid(install.home.path().size() + 1) + u'/');
            continue;
        }
        QByteArray bytes = ReadFile(path);
        bytes.replace(install.home.path().toUtf8(), "HOME");
        outcome.files.append(Comparable(path.mid(install.home.path().size() + 1), bytes));
    }
    outcome.files.sort();
    return outcome;
}

// A program directory in one state: what --once finds there.
struct State {
    const char *name;
    std::function<void(Install &)> make;
    int exitCode;
};

// A file of the program directory, in a directory made for it.
void Put(const Install &install, const QString &relative, const QByteArray &bytes)
{
    const QString path = install.home.filePath(relative);
    QDir().mkpath(QFileInfo(path).path());
    WriteFile(path, bytes);
}

void OpenToOthers(const QString &dir)
{
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                   | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
}

void AddIni(Install &install, const QByteArray &lines)
{
    const QString ini = install.home.filePath(QStringLiteral("Ostrevo.ini"));
    WriteFile(ini, ReadFile(ini).replace("[Opcje]\r\n", "[Opcje]\r\n" + lines));
}

const QList<State> &States()
{
    static const QList<State> states = {
        {"empty", [](Install &) {}, 0},
        {"a job waiting",
         [](Install &i) {
             WriteFile(i.jobs + QStringLiteral("/A.txt"), "Faktura\r\n");
             WriteFile(i.jobs + QStringLiteral("/A.END"), {});
         },
         0},
        // The lock repairs the runtime directory, whoever ends the run.
        {"a runtime directory open to others", [](Install &i) { OpenToOthers(i.runtime.path()); }, 0},
        {"a runtime directory open to others and a job waiting",
         [](Install &i) {
             OpenToOthers(i.runtime.path());
             WriteFile(i.jobs + QStringLiteral("/A.txt"), "Faktura\r\n");
             WriteFile(i.jobs + QStringLiteral("/A.END"), {});
         },
         0},
        {"directory 1 missing", [](Install &i) { QDir(i.jobs).removeRecursively(); }, 1},
        {"printer unknown", [](Install &i) { AddIni(i, "Drukarka=Nie ma takiej\r\n"); }, 2},
        {"directory 2 missing", [](Install &i) { AddIni(i, "Monitorowanie2=1\r\nKatalog2=/nonexistent/jobs2\r\nDrukarka2=Ostrevo PDF\r\n"); }, 3},
        {"printer 2 unknown",
         [](Install &i) { AddIni(i, "Monitorowanie2=1\r\nKatalog2=" + i.jobs.toUtf8() + "\r\nDrukarka2=Nie ma takiej\r\n"); },
         4},
        {"a job waiting in directory 2",
         [](Install &i) {
             const QString jobs2 = i.home.filePath(QStringLiteral("jobs2"));
             QDir().mkpath(jobs2);
             AddIni(i, "Monitorowanie2=1\r\nKatalog2=" + jobs2.toUtf8() + "\r\nDrukarka2=Ostrevo PDF\r\n");
             WriteFile(jobs2 + QStringLiteral("/B.txt"), "Faktura\r\n");
             WriteFile(jobs2 + QStringLiteral("/B.END"), {});
         },
         0},
        {"a damaged message left in the mail spool",
         [](Install &i) { Put(i, QStringLiteral("poczta/000000000001.msg"), "not a message"); }, 0},
        {"an invoice left in the KSeF queue",
         [](Install &i) { Put(i, QStringLiteral("ksef/000000000001.faktura"), "{}"); }, 0},
        {"a part file left by a killed printout",
         [](Install &i) { Put(i, QStringLiteral("out/.A-abc123.part"), "%PDF-"); }, 0},
        {"a bad line in DefSym.ovx", [](Install &i) { Put(i, QStringLiteral("DefSym.ovx"), "x=1\r\n"); }, 0},
        {"a job record left by a stop",
         [](Install &i) { Put(i, QStringLiteral("ostrevo-jobs/1.job"), "damaged"); }, 0},
        {"a text claimed by a run that stopped",
         [](Install &i) {
             const QByteArray claim = ostrevo::ClaimSuffix(QFileInfo(i.home.path()).canonicalFilePath());
             Put(i, QStringLiteral("jobs/A.txt") + QString::fromLatin1(claim), "Faktura\r\n");
         },
         0},
        {"an unknown monitoring mode", [](Install &i) { AddIni(i, "Timer=7\r\n"); }, 0},
        {"a journal due for rotation",
         [](Install &i) { Put(i, QStringLiteral("ostrevo.log"), QByteArray(9 * 1024 * 1024, 'x')); }, 0},
        {"a printer port",
         [](Install &i) { Put(i, QStringLiteral("Ostrevo.ini"), ReadFile(i.home.filePath(QStringLiteral("Ostrevo.ini"))) + "[LPT1]\r\nKatalog=lpt1\r\n"); },
         0},
    };
    return states;
}

// Each state made twice, one run through the launcher and one of the program itself.
void ExpectLauncherGivesWhatTheProgramGives(const QList<State> &states)
{
    for (const State &state : states) {
        SCOPED_TRACE(state.name);
        Install viaLauncher;
        Install direct;
        state.make(viaLauncher);
        state.make(direct);
        const Outcome launched = RunOnce(viaLauncher, OstrevoBinary());
        const Outcome program = RunOnce(direct, ProgramBinary());
        EXPECT_EQ(launched.exitCode, state.exitCode) << launched.errors.toStdString();
        EXPECT_EQ(launched, program);
    }
}

} // namespace

// Each state once through the launcher and once through the program itself, each in a
// program directory of its own made the same way.
TEST(Launcher, OnceGivesWhatTheProgramGivesInEveryState)
{
    ExpectLauncherGivesWhatTheProgramGives(States());
}

// A CUPS queue as the printer: CUPS is asked, by the launcher as by the program.
TEST(Launcher, OnceOnACupsPrinterGivesWhatTheProgramGives)
{
    const CupsServer cups;
    if (cups.notInstalled())
        GTEST_SKIP() << cups.failure().toStdString();
    ASSERT_TRUE(cups.running()) << cups.failure().toStdString();
    const QList<State> states = {
        {"empty", [](Install &i) { AddIni(i, "Drukarka=ps\r\n"); }, 0},
        {"printer 2 unknown",
         [](Install &i) { AddIni(i, "Drukarka=PS\r\nMonitorowanie2=1\r\nKatalog2=" + i.jobs.toUtf8() + "\r\nDrukarka2=Nie ma takiej\r\n"); },
         4},
    };
    ExpectLauncherGivesWhatTheProgramGives(states);
}

// The same beside a running monitor: the lock is taken as the program takes it.
TEST(Launcher, OnceBesideARunningMonitorEndsAsTheProgramDoes)
{
    Install install;
    const auto monitor = install.start({QStringLiteral("--headless")});
    QByteArray log;
    ASSERT_TRUE(WaitFor([&] {
        monitor->waitForReadyRead(100);
        log += monitor->readAllStandardError();
        return log.contains("running");
    })) << log.constData();
    const Outcome launched = RunOnce(install, OstrevoBinary());
    const Outcome program = RunOnce(install, ProgramBinary());
    EXPECT_EQ(launched.exitCode, 5);
    EXPECT_TRUE(launched.errors.contains(QStringLiteral("a monitor already runs on HOME; --once did nothing")))
        << launched.errors.toStdString();
    EXPECT_EQ(launched, program);
    monitor->terminate();
    ASSERT_TRUE(monitor->waitForFinished(15000));
}

// A copy of the installed layout whose program only notes how it was started: the launcher
// ends an empty --once by itself, and hands anything else over whole.
class LauncherLayout : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir().mkpath(m_root.filePath(QStringLiteral("bin")));
        ASSERT_TRUE(QFile::copy(OstrevoBinary(), launcher()));
        QDir().mkpath(m_root.filePath(QStringLiteral("libexec/ostrevo")));
    }

    QString launcher() const { return m_root.filePath(QStringLiteral("bin/ostrevo")); }
    QString program() const { return m_root.filePath(QStringLiteral("libexec/ostrevo/ostrevo")); }
    QString startNote() const { return m_root.filePath(QStringLiteral("started")); }

    // A program that writes its arguments and the launcher it was called through.
    void installNotingProgram()
    {
        WriteFile(program(), "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" \"$OSTREVO_CALLED_AS\" > '" + startNote().toUtf8()
                                 + "'\nexit 42\n");
        ASSERT_TRUE(QFile::setPermissions(program(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    QProcess *run(const QStringList &args)
    {
        m_process.setProcessEnvironment(m_install.env());
        m_process.start(launcher(), args);
        EXPECT_TRUE(m_process.waitForFinished(30000));
        return &m_process;
    }

    QTemporaryDir m_root;
    Install m_install;
    QProcess m_process;
};

TEST_F(LauncherLayout, EndsAnEmptyOnceWithoutTheProgram)
{
    installNotingProgram();
    const QStringList once{QStringLiteral("--home"), m_install.home.path(), QStringLiteral("--once")};
    QProcess *p = run(once);
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_TRUE(p->readAllStandardError().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(startNote()));

    // A job waiting: the program, called with the same arguments and told who called it.
    WriteFile(m_install.jobs + QStringLiteral("/A.txt"), "Faktura\r\n");
    WriteFile(m_install.jobs + QStringLiteral("/A.END"), {});
    p = run(once);
    EXPECT_EQ(p->exitCode(), 42);
    EXPECT_EQ(ReadFile(startNote()), QFile::encodeName(program() + u'\n' + once.join(u'\n') + u'\n' + launcher() + u'\n'));
}

TEST_F(LauncherLayout, EndsAnEmptyOnceOnACupsPrinterWithoutTheProgram)
{
    const CupsServer cups;
    if (cups.notInstalled())
        GTEST_SKIP() << cups.failure().toStdString();
    ASSERT_TRUE(cups.running()) << cups.failure().toStdString();
    installNotingProgram();
    AddIni(m_install, "Drukarka=ps\r\n");
    QProcess *p = run({QStringLiteral("--home"), m_install.home.path(), QStringLiteral("--once")});
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_TRUE(p->readAllStandardError().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(startNote()));
}

TEST_F(LauncherLayout, AnswersHelpAndVersionItselfAndHandsOverEveryOtherMode)
{
    installNotingProgram();
    for (const QString &option : {QStringLiteral("--version"), QStringLiteral("--help")}) {
        QProcess *p = run({option});
        QProcess direct;
        direct.start(ProgramBinary(), {option});
        ASSERT_TRUE(direct.waitForFinished(30000));
        EXPECT_EQ(p->exitCode(), 0);
        // The usage names the command as it was called.
        EXPECT_EQ(p->readAllStandardOutput(), direct.readAllStandardOutput());
        EXPECT_FALSE(QFileInfo::exists(startNote()));
    }
    for (const QStringList &args : {QStringList{QStringLiteral("--headless")}, QStringList{QStringLiteral("--status")},
                                    QStringList{QStringLiteral("--check"), QStringLiteral("A.txt")},
                                    QStringList{QStringLiteral("--lpt"), QStringLiteral("LPT1")}, QStringList{},
                                    QStringList{QStringLiteral("--once"), QStringLiteral("--bogus")}}) {
        SCOPED_TRACE(args.join(u' ').toStdString());
        QFile::remove(startNote());
        EXPECT_EQ(run(args)->exitCode(), 42);
        EXPECT_EQ(ReadFile(startNote()), QFile::encodeName((QStringList{program()} + args + QStringList{launcher()}).join(u'\n') + u'\n'));
    }
}

TEST_F(LauncherLayout, SaysSoWhenTheProgramIsMissing)
{
    QProcess *p = run({QStringLiteral("--headless")});
    EXPECT_EQ(p->exitCode(), 1);
    EXPECT_EQ(QString::fromLocal8Bit(p->readAllStandardError()),
              QStringLiteral("ostrevo: the program %1 cannot be started: No such file or directory\n").arg(program()));
}

// Installed, the program lives in libexec/ostrevo: what is installed beside the command
// (share/ostrevo/ksef) is found from the command the launcher names, not from the program.
TEST(CalledAs, FindsTheDataInstalledBesideTheCommand)
{
    QTemporaryDir root;
    const QString schema = root.filePath(QStringLiteral("share/ostrevo/ksef/faktury/schemy/FA/schemat_FA(3)_v1-0E.xsd"));
    QDir().mkpath(QFileInfo(schema).path());
    WriteFile(schema, "<xs:schema/>");
    QDir().mkpath(root.filePath(QStringLiteral("bin")));
    qputenv(ostrevo::CalledAsVariable, QFile::encodeName(root.filePath(QStringLiteral("bin/ostrevo"))));
    const QString found = ostrevo::KsefSchemaDir();
    qunsetenv(ostrevo::CalledAsVariable);
    EXPECT_EQ(found, QFileInfo(root.filePath(QStringLiteral("share/ostrevo/ksef"))).canonicalFilePath());
}
