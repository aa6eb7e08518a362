// The real program: `ostrevo --once` performs a mail job of the SMTP route and ends
// only when its result file is there; a form written as a PDF file goes out by mail,
// complete, with the body its job carries.

#include "net/MailSpool.h"
#include "net/NetServices.h"
#include "support/OnceRun.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

void RunOnce(const QTemporaryDir &home, const QTemporaryDir &runtime)
{
    const OnceRun run = test::RunOnce(home.path(), runtime.path());
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
}

TEST(OnceMailTest, OnceReportsTheMailItsJobsQueued)
{
    SmtpServer server;
    ASSERT_TRUE(server.service->running()) << server.service->failure().toStdString();
    QTemporaryDir home;
    QTemporaryDir runtime;
    const QString jobs = home.filePath(QStringLiteral("jobs"));
    QDir().mkpath(jobs);
    WriteFile(home.filePath(QStringLiteral("Ostrevo.ini")), SmtpProgramSettings(jobs, server.port()));
    for (const char *name : {"M1", "M2"}) {
        WriteFile(jobs + u'/' + QLatin1StringView(name) + QStringLiteral(".txt"),
                  "<MAIL>\r\nT_MAIL=" + QByteArray(name) + "\r\n<END>\r\n<LISTA>\r\nklient@firma.pl\r\n<END>\r\n"
                  "<MAIL_BODY>\r\ntre\xb6\xe6\r\n<END>\r\n");
        WriteFile(jobs + u'/' + QLatin1StringView(name) + QStringLiteral(".END"), {});
    }
    RunOnce(home, runtime);
    EXPECT_EQ(ReadFile(jobs + QStringLiteral("/Errors/M1.txt")), "error=OK\r\n");
    EXPECT_EQ(ReadFile(jobs + QStringLiteral("/Errors/M2.txt")), "error=OK\r\n");
    EXPECT_EQ(server.messages().size(), 2);
    EXPECT_TRUE(QDir(home.filePath(QStringLiteral("poczta"))).entryList(QDir::Files).isEmpty());
    EXPECT_FALSE(QFile::exists(jobs + QStringLiteral("/M1.txt")));
}

TEST(OnceMailTest, FormWrittenAsAPdfFileIsMailedWhole)
{
    SmtpServer server;
    ASSERT_TRUE(server.service->running()) << server.service->failure().toStdString();
    QTemporaryDir home;
    QTemporaryDir runtime;
    const QString jobs = home.filePath(QStringLiteral("jobs"));
    QDir().mkpath(jobs);
    QDir().mkpath(home.filePath(QStringLiteral("Wzorzec")));
    WriteFile(home.filePath(QStringLiteral("Ostrevo.ini")), SmtpProgramSettings(jobs, server.port()));
    WriteFile(home.filePath(QStringLiteral("Wzorzec/PIT11.txt")),
              "<PARAMETERS>\r\nPAGE=1\r\n<END>\r\n<PAGE1>\r\nB(1,20,20,120,30,0)\r\n<END>\r\n");
    WriteFile(jobs + QStringLiteral("/PIT.txt"),
              "<PIT>\r\nTEMPLATE=PIT11\r\nPDF_FILE=pit-11.pdf\r\nA_MAIL=kadry@firma.pl\r\nT_MAIL=PIT-11\r\n<END>\r\n"
              "<PAGE1>\r\nT1(1,1)\r\nKowalski Jan\r\n<END>\r\n<MAIL_BODY>\r\nW za\x88\x86" "czniku PIT-11\r\n<END>\r\n");
    WriteFile(jobs + QStringLiteral("/PIT.END"), {});
    RunOnce(home, runtime);
    EXPECT_EQ(ReadFile(jobs + QStringLiteral("/Errors/pit-11.txt")), "error=OK\r\n");
    const QString pdf = jobs + QStringLiteral("/PDF/pit-11.pdf");
    ASSERT_TRUE(QFile::exists(pdf));
    ASSERT_EQ(server.messages().size(), 1);
    const QByteArray eml = ReadFile(server.messages().first());
    // The attachment is the file, byte for byte, and the body is the job's.
    const QByteArray file = ReadFile(pdf);
    QByteArray encoded;
    for (const QByteArray &line : eml.split('\n'))
        if (!line.trimmed().isEmpty() && !line.contains(':') && !line.startsWith("--"))
            encoded += line.trimmed();
    EXPECT_TRUE(encoded.contains(file.toBase64().left(200))) << "no PDF attachment";
    EXPECT_TRUE(eml.contains("pit-11.pdf")) << eml.left(2000).constData();
    EXPECT_TRUE(eml.contains("Subject: PIT-11")) << eml.left(2000).constData();
    EXPECT_FALSE(QFile::exists(jobs + QStringLiteral("/PIT.txt")));
}

} // namespace

TEST(OnceMailTest, OnceSendsWhatAnEarlierRunLeftInTheSpool)
{
    // Its own jobs queue nothing: the wait must not end before the sender has looked.
    SmtpServer server;
    ASSERT_TRUE(server.service->running()) << server.service->failure().toStdString();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        QTemporaryDir home;
        QTemporaryDir runtime;
        const QString jobs = home.filePath(QStringLiteral("jobs"));
        QDir().mkpath(jobs);
        WriteFile(home.filePath(QStringLiteral("Ostrevo.ini")), SmtpProgramSettings(jobs, server.port()));
        SpooledMail mail;
        mail.resultDir = jobs;
        mail.resultName = QStringLiteral("ZOSTAWIONY.txt");
        mail.from = "biuro@ostrevo.test";
        mail.recipients = {"klient@firma.pl"};
        mail.message = "From: biuro@ostrevo.test\r\nTo: klient@firma.pl\r\nSubject: x\r\n\r\ntresc\r\n";
        MailSpool(home.filePath(QStringLiteral("poczta"))).add(mail);
        RunOnce(home, runtime);
        EXPECT_EQ(ReadFile(jobs + QStringLiteral("/Errors/ZOSTAWIONY.txt")), "error=OK\r\n");
    }
    EXPECT_EQ(server.messages().size(), 3);
}
