// Download jobs: the HTTP route against a local HTTP server, the FTP route against
// pyftpdlib.

#include "handling/Scramble.h"
#include "net/NetServices.h"
#include "net/TDM.h"

#include <QDir>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <atomic>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

class DownloadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_logDir = new QTemporaryDir;
        s_http = new PythonService(QStringLiteral("httpd.py"), {s_logDir->path() + QStringLiteral("/requests")});
        s_ftp = new FtpServer;
    }
    static void TearDownTestSuite()
    {
        delete s_http;
        delete s_ftp;
        delete s_logDir;
        s_http = nullptr;
        s_ftp = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_http->running()) << s_http->failure().toStdString();
        ASSERT_TRUE(s_ftp->service->running()) << s_ftp->service->failure().toStdString();
    }
    QByteArray url(const char *path) const
    {
        return "http://127.0.0.1:" + QByteArray::number(s_http->port()) + path;
    }
    JobResult httpJob(const QByteArray &path, const QByteArray &name)
    {
        return tdm.DownloadJob(place.context, place.job(QStringLiteral("KURS.txt"),
                                                        "<DOWNLOAD>\r\nHTTP=" + url(path.constData()) + "\r\nSRC_FILE=" + name
                                                            + "\r\n<END>\r\n"));
    }
    QByteArray ftpJob(const QByteArray &src, const QByteArray &path) const
    {
        return "<DOWNLOAD>\r\nHTTP=\r\nSRC_FILE=" + src + "\r\nSERWER=127.0.0.1:" + QByteArray::number(s_ftp->port())
            + "\r\nPATH=" + path + "\r\nLOGIN=" + ScramblePassword(QByteArray("jan")) + "\r\nPASSWORD="
            + ScramblePassword(QByteArray("tajne")) + "\r\n<END>\r\n";
    }
    QByteArray downloaded(const char *name) const { return ReadFile(place.path(QStringLiteral("Download/")) + QLatin1StringView(name)); }

    static inline QTemporaryDir *s_logDir = nullptr;
    static inline PythonService *s_http = nullptr;
    static inline FtpServer *s_ftp = nullptr;
    JobPlace place;
    TDM tdm{place.dir.path() + QStringLiteral("/home"), NetTimeouts{5, 10}};
};

TEST_F(DownloadTest, HttpSuccessRedirectAndFailuresLeaveNoNewFile)
{
    EXPECT_EQ(httpJob("/ok/kurs.csv", "kurs.csv").outcome, JobResult::Done);
    EXPECT_EQ(downloaded("kurs.csv"), "body of kurs.csv");
    const QByteArray requests = ReadFile(s_logDir->path() + QStringLiteral("/requests"));
    EXPECT_TRUE(requests.contains("GET /ok/kurs.csv HTTP/1.1\n")) << requests.constData();
    EXPECT_TRUE(requests.contains("User-Agent: Mozilla/3.0 (compatible; Indy Library)\n"));
    EXPECT_TRUE(requests.contains("Accept: text/html, */*\n"));
    EXPECT_EQ(httpJob("/redirect", "r.csv").outcome, JobResult::Done);
    EXPECT_EQ(downloaded("r.csv"), "body of redirected");
    // A failure keeps the earlier file whole and writes nothing new.
    for (const char *path : {"/404", "/500", "/loop"}) {
        EXPECT_EQ(httpJob(path, "kurs.csv").outcome, JobResult::Failed) << path;
        EXPECT_EQ(httpJob(path, "nowy.csv").outcome, JobResult::Failed) << path;
    }
    EXPECT_EQ(downloaded("kurs.csv"), "body of kurs.csv");
    EXPECT_EQ(Entries(place.path(QStringLiteral("Download"))), (QStringList{QStringLiteral("kurs.csv"), QStringLiteral("r.csv")}));
    EXPECT_FALSE(QFile::exists(place.path(QStringLiteral("Errors")))) << "the HTTP route writes no result";
    // A job without HTTP after one that set it keeps the HTTP route.
    EXPECT_EQ(tdm.DownloadJob(place.context, place.job(QStringLiteral("K2.txt"), "<DOWNLOAD>\r\nSRC_FILE=k2.csv\r\n<END>\r\n"))
                  .outcome,
              JobResult::Failed);
    EXPECT_FALSE(QFile::exists(place.path(QStringLiteral("FTP/K2.ftp"))));
    // Nothing listens: no file either.
    QByteArray job = "<DOWNLOAD>\r\nHTTP=http://127.0.0.1:1/x\r\nSRC_FILE=x.csv\r\n<END>\r\n";
    EXPECT_EQ(tdm.DownloadJob(place.context, place.job(QStringLiteral("K3.txt"), job)).outcome, JobResult::Failed);
    EXPECT_FALSE(QFile::exists(place.path(QStringLiteral("Download/x.csv"))));
}

TEST_F(DownloadTest, AServerThatTricklesMeetsTheOverallLimit)
{
    // 2 bytes a second never stalls; [Siec] LimitCzasu ends it all the same.
    place.settings.netLimitSeconds = 2;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(httpJob("/trickle", "wolny.csv").outcome, JobResult::Failed);
    EXPECT_LT(clock.elapsed(), 8000);
    EXPECT_FALSE(QFile::exists(place.path(QStringLiteral("Download/wolny.csv"))));
    EXPECT_TRUE(Entries(place.path(QStringLiteral("Download"))).filter(QStringLiteral(".part")).isEmpty());
}

TEST_F(DownloadTest, HttpLocalNameOutsideDownloadIsRefused)
{
    EXPECT_EQ(httpJob("/ok/x", "../x.csv").outcome, JobResult::Failed);
    EXPECT_FALSE(QFile::exists(place.path(QStringLiteral("x.csv"))));
    EXPECT_TRUE(place.result(QStringLiteral("KURS.txt")).contains("without a path"));
    EXPECT_EQ(tdm.HttpDownload(place.context, url("/ok/x"), "a/b"), 1);
}

TEST_F(DownloadTest, FtpRouteIntoNameFtpWithoutOverwriting)
{
    QDir(s_ftp->root()).mkpath(QStringLiteral("kursy"));
    WriteFile(s_ftp->root() + QStringLiteral("/kursy/tabela.xml"), "<kursy/>");
    WriteFile(s_ftp->root() + QStringLiteral("/kursy/cut.bin"), QByteArray(100000, 'c'));
    QDir().mkpath(place.path(QStringLiteral("FTP")));
    WriteFile(place.path(QStringLiteral("FTP/tabela.xml")), "local file of that name");
    place.statusTexts.clear();
    EXPECT_EQ(tdm.DownloadJob(place.context, place.job(QStringLiteral("abc.txt"), ftpJob("tabela.xml", "kursy"))).outcome,
              JobResult::Done);
    EXPECT_EQ(ReadFile(place.path(QStringLiteral("FTP/abc.ftp"))), "<kursy/>");
    EXPECT_EQ(place.result(QStringLiteral("abc.txt")), "error=OK\r\n");
    EXPECT_TRUE(place.statusTexts.contains(QStringLiteral("Pobieranie pliku...")));
    // A local file of the remote file's name is the office's: nothing the job did not
    // create is deleted.
    EXPECT_EQ(ReadFile(place.path(QStringLiteral("FTP/tabela.xml"))), "local file of that name");

    // A remote name with Polish letters (CP852 in the job) is asked for in UTF-8.
    WriteFile(s_ftp->root() + QStringLiteral("/kursy/wyciąg.txt"), "wyciąg");
    EXPECT_EQ(tdm.DownloadJob(place.context, place.job(QStringLiteral("pl.txt"), ftpJob("wyci\xa5g.txt", "kursy"))).outcome,
              JobResult::Done);
    EXPECT_EQ(ReadFile(place.path(QStringLiteral("FTP/pl.ftp"))), "wyciąg");

    // Again under the same job name: the earlier abc.ftp stays.
    WriteFile(s_ftp->root() + QStringLiteral("/kursy/tabela.xml"), "<nowe/>");
    EXPECT_EQ(tdm.DownloadJob(place.context, place.job(QStringLiteral("abc.txt"), ftpJob("tabela.xml", "kursy"))).outcome,
              JobResult::Failed);
    EXPECT_EQ(place.result(QStringLiteral("abc.txt")), "error=NOT\r\n");
    EXPECT_EQ(ReadFile(place.path(QStringLiteral("FTP/abc.ftp"))), "<kursy/>");

    // Missing remote file, refused directory, a server that closes mid-transfer.
    for (const auto &[src, path] : {std::pair<QByteArray, QByteArray>{"brak.xml", "kursy"}, {"tabela.xml", "nie/ma"},
                                   {"cut.bin", "kursy"}}) {
        EXPECT_EQ(tdm.DownloadJob(place.context, place.job(QStringLiteral("def.txt"), ftpJob(src, path))).outcome,
                  JobResult::Failed) << src.constData();
        EXPECT_EQ(place.result(QStringLiteral("def.txt")), "error=NOT\r\n");
        EXPECT_FALSE(QFile::exists(place.path(QStringLiteral("FTP/def.ftp")))) << "no partial file stays";
    }
}

TEST_F(DownloadTest, ADownloadCutShortLeavesNoHalfFileAndNothingForever)
{
    // A run killed in the middle of each route left its part files behind.
    QDir().mkpath(place.path(QStringLiteral("FTP")));
    QDir().mkpath(place.path(QStringLiteral("Download")));
    WriteFile(place.path(QStringLiteral("FTP/.download-k1ll3d.part")), QByteArray(524288, 'p'));
    WriteFile(place.path(QStringLiteral("Download/.download-Xk1ll3.part")), "half");
    QDir(s_ftp->root()).mkpath(QStringLiteral("duze"));
    WriteFile(s_ftp->root() + QStringLiteral("/duze/plik.bin"), QByteArray(2 * 1024 * 1024, 'd'));

    // Quit in the middle of the FTP transfer: no file under the name the DOS program reads.
    std::atomic_int polls{0};
    JobContext quitting = place.context;
    quitting.quitRequested = [&polls] { return ++polls > 2; };
    tdm.DownloadJob(quitting, place.job(QStringLiteral("DUZY.txt"), ftpJob("plik.bin", "duze")));
    EXPECT_FALSE(QFile::exists(place.path(QStringLiteral("FTP/DUZY.ftp"))));

    // The next attempt is not refused for a file that exists, and the leftovers are gone.
    EXPECT_EQ(tdm.DownloadJob(place.context, place.job(QStringLiteral("DUZY.txt"), ftpJob("plik.bin", "duze"))).outcome,
              JobResult::Done);
    EXPECT_EQ(QFileInfo(place.path(QStringLiteral("FTP/DUZY.ftp"))).size(), 2 * 1024 * 1024);
    EXPECT_EQ(Entries(place.path(QStringLiteral("FTP"))), QStringList{QStringLiteral("DUZY.ftp")});
    EXPECT_EQ(httpJob("/ok/k.csv", "k.csv").outcome, JobResult::Done);
    EXPECT_EQ(Entries(place.path(QStringLiteral("Download"))), QStringList{QStringLiteral("k.csv")});
}

TEST_F(DownloadTest, HttpsTrustsTheConfiguredCertificates)
{
    TestCertificate certificate;
    ASSERT_TRUE(certificate.made);
    PythonService https(QStringLiteral("httpd.py"), {s_logDir->path() + QStringLiteral("/tls-requests"), QStringLiteral("--tls"),
                                                     certificate.cert(), certificate.key()});
    ASSERT_TRUE(https.running()) << https.failure().toStdString();
    const QByteArray job = "<DOWNLOAD>\r\nHTTP=https://127.0.0.1:" + QByteArray::number(https.port())
        + "/ok/kurs\r\nSRC_FILE=kurs.xml\r\n<END>\r\n";
    // A certificate nobody vouches for: nothing is fetched.
    EXPECT_EQ(tdm.DownloadJob(place.context, place.job(QStringLiteral("K.txt"), job)).outcome, JobResult::Failed);
    EXPECT_FALSE(QFile::exists(place.path(QStringLiteral("Download/kurs.xml"))));
    // The office's own CA, as [Mail] CAFile names it for mail too.
    place.settings.mail.caFile = certificate.cert();
    EXPECT_EQ(tdm.DownloadJob(place.context, place.job(QStringLiteral("K.txt"), job)).outcome, JobResult::Done);
    EXPECT_EQ(downloaded("kurs.xml"), "body of kurs");
}

TEST_F(DownloadTest, BothHttpAndServerUseHttpOnly)
{
    QByteArray job = ftpJob("tabela.xml", "kursy");
    job.replace("HTTP=\r\n", "HTTP=" + url("/ok/both") + "\r\n");
    job.replace("SRC_FILE=tabela.xml", "SRC_FILE=both.txt");
    EXPECT_EQ(tdm.DownloadJob(place.context, place.job(QStringLiteral("B.txt"), job)).outcome, JobResult::Done);
    EXPECT_EQ(downloaded("both.txt"), "body of both");
    EXPECT_FALSE(QFile::exists(place.path(QStringLiteral("FTP/B.ftp"))));
}

} // namespace
