// The real program: `ostrevo --once` performs a mail job of the SMTP route and ends
// only when its result file is there.

#include "net/NetServices.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace ostrevo::test;

namespace {

TEST(OnceMailTest, OnceReportsTheMailItsJobsQueued)
{
    SmtpServer server;
    ASSERT_TRUE(server.service->running()) << server.service->failure().toStdString();
    QTemporaryDir home;
    QTemporaryDir runtime;
    const QString jobs = home.filePath(QStringLiteral("jobs"));
    QDir().mkpath(jobs);
    WriteFile(home.filePath(QStringLiteral("Ostrevo.ini")),
              "[Opcje]\r\nKatalog=" + jobs.toUtf8() + "\r\nDrukarka=Ostrevo PDF\r\nTimer=1\r\n"
                  "[Mail]\r\nPoczta=1\r\nServerName=127.0.0.1\r\nServerPort=" + QByteArray::number(server.port())
                  + "\r\nUserName=biuro@ostrevo.test\r\n");
    for (const char *name : {"M1", "M2"}) {
        WriteFile(jobs + u'/' + QLatin1StringView(name) + QStringLiteral(".txt"),
                  "<MAIL>\r\nT_MAIL=" + QByteArray(name) + "\r\n<END>\r\n<LISTA>\r\nklient@firma.pl\r\n<END>\r\n"
                  "<MAIL_BODY>\r\ntre\xb6\xe6\r\n<END>\r\n");
        WriteFile(jobs + u'/' + QLatin1StringView(name) + QStringLiteral(".END"), {});
    }
    QProcess ostrevo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    ostrevo.setProcessEnvironment(env);
    ostrevo.start(OstrevoBinary(), {QStringLiteral("--home"), home.path(), QStringLiteral("--once")});
    ASSERT_TRUE(ostrevo.waitForFinished(60000));
    EXPECT_EQ(ostrevo.exitCode(), 0) << ostrevo.readAllStandardError().constData();
    EXPECT_EQ(ReadFile(jobs + QStringLiteral("/Errors/M1.txt")), "error=OK\r\n");
    EXPECT_EQ(ReadFile(jobs + QStringLiteral("/Errors/M2.txt")), "error=OK\r\n");
    EXPECT_EQ(server.messages().size(), 2);
    EXPECT_TRUE(QDir(home.filePath(QStringLiteral("poczta"))).entryList(QDir::Files).isEmpty());
    EXPECT_FALSE(QFile::exists(jobs + QStringLiteral("/M1.txt")));
}

} // namespace
