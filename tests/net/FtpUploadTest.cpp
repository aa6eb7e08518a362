// FTP upload jobs against a real pyftpdlib server on loopback.

#include "handling/Scramble.h"
#include "net/FtpClient.h"
#include "net/NetServices.h"
#include "net/TDM.h"

#include <QDir>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

class FtpUploadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_server = new FtpServer; }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_server->service->running()) << s_server->service->failure().toStdString();
        QDir().mkpath(place.path(QStringLiteral("FTP")));
    }

    QByteArray ftpJob(const QByteArray &src, const QByteArray &dst, const QByteArray &path,
                      const QByteArray &password = "tajne") const
    {
        return "<FTP>\r\nSRC_FILE=" + src + "\r\nDST_FILE=" + dst + "\r\nSERWER=127.0.0.1:"
            + QByteArray::number(s_server->port()) + "\r\nPATH=" + path + "\r\nLOGIN=" + ScramblePassword(QByteArray("jan"))
            + "\r\nPASSWORD=" + ScramblePassword(password) + " // scrambled\r\n<END>\r\n";
    }

    static inline FtpServer *s_server = nullptr;
    JobPlace place;
    TDM tdm{place.dir.path() + QStringLiteral("/home"), NetTimeouts{5, 10}};
};

TEST(FtpPathTest, PiecesAsTheWalkTakesThem)
{
    using L = QList<QByteArray>;
    EXPECT_EQ(PathPieces("in/2024/"), (L{"in", "2024"}));
    EXPECT_EQ(PathPieces("in\\2024"), (L{"in", "2024"}));
    EXPECT_EQ(PathPieces(""), (L{""}));
    EXPECT_EQ(PathPieces("/in"), (L{"", "in"}));
    EXPECT_EQ(PathPieces("a//b"), (L{"a", "", "b"}));
    QByteArray host;
    int port = 0;
    EXPECT_TRUE(SplitServer("ftp.firma.pl", host, port));
    EXPECT_EQ(port, 21);
    EXPECT_TRUE(SplitServer("10.0.0.1:2121", host, port));
    EXPECT_EQ(host, "10.0.0.1");
    EXPECT_EQ(port, 2121);
    EXPECT_TRUE(SplitServer("[::1]:990", host, port));
    EXPECT_EQ(host, "::1");
    EXPECT_FALSE(SplitServer("host:99999", host, port));
    EXPECT_FALSE(SplitServer("host:x", host, port));
}

TEST_F(FtpUploadTest, StoresInTheWalkedDirectoryPassiveAndActive)
{
    QDir(s_server->root()).mkpath(QStringLiteral("in/2024"));
    for (bool passive : {true, false}) {
        place.settings.passive = passive;
        place.statusTexts.clear();
        WriteFile(place.path(QStringLiteral("FTP/dane.zip")), QByteArray("PK\x03\x04 binary\r\n\x00\xff", 16));
        const QString job = place.job(QStringLiteral("JOB1.txt"), ftpJob("dane.zip", "faktura.zip", "in/2024/"));
        const JobResult result = tdm.FtpJob(place.context, job);
        EXPECT_EQ(result.outcome, JobResult::Done) << result.detail.toStdString();
        EXPECT_EQ(place.result(QStringLiteral("dane.txt")), "error=OK\r\n");
        EXPECT_EQ(ReadFile(s_server->root() + QStringLiteral("/in/2024/faktura.zip")),
                  QByteArray("PK\x03\x04 binary\r\n\x00\xff", 16));
        EXPECT_FALSE(QFile::exists(place.path(QStringLiteral("FTP/dane.zip")))) << "the uploaded file is removed";
        EXPECT_EQ(place.statusTexts.first(), QStringLiteral("Łączenie..."));
        EXPECT_TRUE(place.statusTexts.contains(QStringLiteral("Połączony z serwerem")));
        EXPECT_TRUE(place.statusTexts.contains(QStringLiteral("Wysyłanie pliku...")));
        EXPECT_EQ(place.statusTexts.last(), QStringLiteral("Rozłączono"));
        QFile::remove(s_server->root() + QStringLiteral("/in/2024/faktura.zip"));
    }
}

TEST_F(FtpUploadTest, PolishNamesReachTheServerInUtf8)
{
    // The job is in CP852 (ę A9, ś 98); the server stores names in UTF-8.
    QDir(s_server->root()).mkpath(QStringLiteral("księgi"));
    WriteFile(place.path(QStringLiteral("FTP/dane.txt")), "dane");
    EXPECT_EQ(tdm.FtpJob(place.context, place.job(QStringLiteral("P.txt"), ftpJob("dane.txt", "ksi\xa9ga \x98wi\xa9ta.txt", "ksi\xa9gi")))
                  .outcome,
              JobResult::Done) << place.result(QStringLiteral("dane.txt")).constData();
    EXPECT_EQ(ReadFile(s_server->root() + QStringLiteral("/księgi/księga święta.txt")), "dane");
}

TEST_F(FtpUploadTest, BackslashPathAndAJobWithoutKeysReusesTheLastValues)
{
    QDir(s_server->root()).mkpath(QStringLiteral("out/b"));
    WriteFile(place.path(QStringLiteral("FTP/a.xml")), "<a/>");
    EXPECT_EQ(tdm.FtpJob(place.context, place.job(QStringLiteral("J.txt"), ftpJob("a.xml", "a1.xml", "out\\b"))).outcome,
              JobResult::Done);
    EXPECT_EQ(ReadFile(s_server->root() + QStringLiteral("/out/b/a1.xml")), "<a/>");
    // "<FTP>" on a later line: an FTP job, but no key is read.
    WriteFile(place.path(QStringLiteral("FTP/a.xml")), "<b/>");
    EXPECT_EQ(tdm.FtpJob(place.context, place.job(QStringLiteral("K.txt"), "// comment\r\n<FTP>\r\nDST_FILE=x\r\n<END>\r\n"))
                  .outcome,
              JobResult::Done);
    EXPECT_EQ(ReadFile(s_server->root() + QStringLiteral("/out/b/a1.xml")), "<b/>");
}

TEST_F(FtpUploadTest, RefusalsBecomeTheResultText)
{
    // An empty PATH sends one CWD without a name, which this server refuses.
    WriteFile(place.path(QStringLiteral("FTP/r.txt")), "x");
    EXPECT_EQ(tdm.FtpJob(place.context, place.job(QStringLiteral("J.txt"), ftpJob("r.txt", "r.txt", ""))).outcome,
              JobResult::Failed);
    EXPECT_EQ(place.result(QStringLiteral("r.txt")), "error=550 No directory name.\r\n");
    EXPECT_FALSE(QFile::exists(s_server->root() + QStringLiteral("/r.txt")));
    EXPECT_FALSE(QFile::exists(place.path(QStringLiteral("FTP/r.txt"))));

    WriteFile(place.path(QStringLiteral("FTP/r.txt")), "x");
    tdm.FtpJob(place.context, place.job(QStringLiteral("J.txt"), ftpJob("r.txt", "r.txt", "nie/ma")));
    EXPECT_TRUE(place.result(QStringLiteral("r.txt")).startsWith("error=550 ")) << place.result(QStringLiteral("r.txt")).constData();

    WriteFile(place.path(QStringLiteral("FTP/r.txt")), "x");
    tdm.FtpJob(place.context, place.job(QStringLiteral("J.txt"), ftpJob("r.txt", "r.txt", "", "zle")));
    EXPECT_TRUE(place.result(QStringLiteral("r.txt")).startsWith("error=530 ")) << place.result(QStringLiteral("r.txt")).constData();
    EXPECT_FALSE(QFile::exists(place.path(QStringLiteral("FTP/r.txt"))));

    // A missing local file.
    tdm.FtpJob(place.context, place.job(QStringLiteral("J.txt"), ftpJob("brak.zip", "b.zip", "")));
    EXPECT_TRUE(place.result(QStringLiteral("brak.txt")).startsWith("error=Cannot open ")) << place.result(QStringLiteral("brak.txt")).constData();
}

TEST_F(FtpUploadTest, UnreachableServerStillDeletesTheFile)
{
    WriteFile(place.path(QStringLiteral("FTP/u.dat")), "x");
    QByteArray job = ftpJob("u.dat", "u.dat", "in");
    job.replace("SERWER=127.0.0.1:" + QByteArray::number(s_server->port()), "SERWER=127.0.0.1:1");
    EXPECT_EQ(tdm.FtpJob(place.context, place.job(QStringLiteral("J.txt"), job)).outcome, JobResult::Failed);
    const QByteArray result = place.result(QStringLiteral("u.txt"));
    EXPECT_TRUE(result.startsWith("error=Failed to connect to 127.0.0.1 port 1")) << result.constData();
    EXPECT_TRUE(result.endsWith("\r\n"));
    EXPECT_FALSE(QFile::exists(place.path(QStringLiteral("FTP/u.dat"))));
}

TEST_F(FtpUploadTest, NamesThatLeaveTheWorkDirectoryTouchNothing)
{
    WriteFile(place.path(QStringLiteral("secret.txt")), "keep");
    for (const QByteArray &src : {QByteArray("../secret.txt"), QByteArray("..\\secret.txt"), QByteArray(".."),
                                  QByteArray("C:secret.txt")}) {
        const JobResult result = tdm.FtpJob(place.context, place.job(QStringLiteral("J.txt"), ftpJob(src, "s.txt", "")));
        EXPECT_EQ(result.outcome, JobResult::Failed) << src.constData();
        EXPECT_EQ(ReadFile(place.path(QStringLiteral("secret.txt"))), "keep");
        EXPECT_FALSE(QFile::exists(s_server->root() + QStringLiteral("/s.txt")));
    }
    EXPECT_TRUE(place.result(QStringLiteral("secret.txt")).contains("without a path"));
    // Nor does the remote name lead out of the directory the job walked to.
    WriteFile(place.path(QStringLiteral("FTP/up.txt")), "up");
    for (const QByteArray &dst : {QByteArray("../../x.txt"), QByteArray("..\\x.txt"), QByteArray("sub/x.txt")}) {
        QDir(s_server->root()).mkpath(QStringLiteral("in/sub"));
        EXPECT_EQ(tdm.FtpJob(place.context, place.job(QStringLiteral("J.txt"), ftpJob("up.txt", dst, "in"))).outcome,
                  JobResult::Failed) << dst.constData();
        EXPECT_TRUE(place.result(QStringLiteral("up.txt")).contains("DST_FILE")) << place.result(QStringLiteral("up.txt")).constData();
        EXPECT_FALSE(QFile::exists(s_server->root() + QStringLiteral("/x.txt")));
        EXPECT_FALSE(QFile::exists(s_server->root() + QStringLiteral("/in/sub/x.txt")));
    }
    EXPECT_EQ(ReadFile(place.path(QStringLiteral("FTP/up.txt"))), "up") << "the job's file stays for a corrected job";
    // A link inside FTP is not followed to the file it names.
    QFile::link(place.path(QStringLiteral("secret.txt")), place.path(QStringLiteral("FTP/link.txt")));
    tdm.FtpJob(place.context, place.job(QStringLiteral("J.txt"), ftpJob("link.txt", "s.txt", "")));
    EXPECT_TRUE(place.result(QStringLiteral("link.txt")).startsWith("error=Cannot open ")) << place.result(QStringLiteral("link.txt")).constData();
    EXPECT_FALSE(QFile::exists(s_server->root() + QStringLiteral("/s.txt")));
    EXPECT_EQ(ReadFile(place.path(QStringLiteral("secret.txt"))), "keep");
}

TEST_F(FtpUploadTest, QuittingInterruptsAndKeepsTheFile)
{
    WriteFile(place.path(QStringLiteral("FTP/q.dat")), "x");
    place.context.quitRequested = [] { return true; };
    EXPECT_EQ(tdm.FtpJob(place.context, place.job(QStringLiteral("J.txt"), ftpJob("q.dat", "q.dat", "in"))).outcome,
              JobResult::Failed);
    EXPECT_TRUE(QFile::exists(place.path(QStringLiteral("FTP/q.dat"))));
    EXPECT_FALSE(QFile::exists(place.path(QStringLiteral("Errors/q.txt"))));
}

TEST_F(FtpUploadTest, ASilentServerEndsInTheStallTimeOut)
{
    // Accepts the connection and never greets: the job ends after the stall time-out.
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(silent, 4), 0);
    socklen_t length = sizeof address;
    ::getsockname(silent, reinterpret_cast<sockaddr *>(&address), &length);
    // The greeting is part of curl's connect phase: a connect time-out as short as the
    // stall's would race it (and say "timed out" instead), so it is longer here.
    TDM quick(place.dir.path() + QStringLiteral("/home"), NetTimeouts{6, 2});
    WriteFile(place.path(QStringLiteral("FTP/s.dat")), "x");
    QByteArray job = ftpJob("s.dat", "s.dat", "in");
    job.replace("SERWER=127.0.0.1:" + QByteArray::number(s_server->port()),
                "SERWER=127.0.0.1:" + QByteArray::number(ntohs(address.sin_port)));
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(quick.FtpJob(place.context, place.job(QStringLiteral("J.txt"), job)).outcome, JobResult::Failed);
    EXPECT_LT(clock.elapsed(), 15000);
    EXPECT_TRUE(place.result(QStringLiteral("s.txt")).contains("timeout")) << place.result(QStringLiteral("s.txt")).constData();
    ::close(silent);
}

} // namespace
