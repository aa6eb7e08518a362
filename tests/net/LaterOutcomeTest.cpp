// The real headless program and a real SMTP server that refuses the login: a mail job
// ends as soon as its message is spooled, and the server's refusal, which comes later,
// reaches the journal and the service's log as a record that names the job.

#include "monitor/JobRecord.h"
#include "net/NetServices.h"
#include "support/ProgramInstall.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

TEST(LaterOutcomeProgram, ARefusedMessageIsJournaledAsALaterFailureOfItsJob)
{
    SmtpServer server({QStringLiteral("--auth"), QStringLiteral("ola"), QStringLiteral("hasło")});
    ASSERT_TRUE(server.service->running()) << server.service->failure().toStdString();
    Install install;
    WriteFile(install.home.filePath(QStringLiteral("Ostrevo.ini")),
              SmtpProgramSettings(install.jobs, server.port()).replace("Timer=1", "Timer=0")
                  + "ServerUser=ola\r\nServerPassword=zle\r\nSzyfrowanie=brak\r\n");
    auto monitor = install.start({QStringLiteral("--headless")});
    QByteArray log;
    ASSERT_TRUE(Install::waitRunning(monitor.get(), &log)) << log.constData();
    install.job(QStringLiteral("LIST"), "<MAIL>\r\n<END>\r\n<LISTA>\r\nklient@firma.pl\r\n<END>\r\n");
    ASSERT_TRUE(WaitFor([&] { return install.journal().count('\n') >= 2; }, 30000)) << install.journal().constData();
    monitor->terminate();
    ASSERT_TRUE(monitor->waitForFinished(15000));
    log += monitor->readAllStandardError();

    const QList<JobRecord> records = ReadJournalTail(install.home.filePath(QStringLiteral("ostrevo.log")));
    ASSERT_EQ(records.size(), 2);
    const JobRecord &job = records[1];
    const JobRecord &later = records[0];
    EXPECT_EQ(job.jobFile, QStringLiteral("LIST.txt"));
    EXPECT_EQ(job.outcome, JobOutcome::Ok);
    EXPECT_FALSE(job.id.isEmpty());
    EXPECT_EQ(later.follows, job.id);
    EXPECT_EQ(later.jobFile, QStringLiteral("LIST.txt"));
    EXPECT_EQ(later.kind, QStringLiteral("jkMail"));
    EXPECT_EQ(later.outcome, JobOutcome::Failed);
    EXPECT_TRUE(later.detail.contains(QStringLiteral("error=535"))) << later.detail.toStdString();
    EXPECT_EQ(ReadFile(install.jobs + QStringLiteral("/Errors/LIST.txt")), "error=535\r\n");
    // The service's log has both, the failure as a line of its own.
    EXPECT_EQ(log.count("\tLIST.txt\tjkMail\t"), 2) << log.constData();
    EXPECT_TRUE(log.contains("FAILED: list do klient@firma.pl nie został wysłany: error=535")) << log.constData();
}
