// The mail job: its reader, the message it builds, the system-mail route through msmtp
// and the own SMTP route with its spool, against a real aiosmtpd server.

#include "jobs/JobFile.h"
#include "net/MailJob.h"
#include "net/MailMessage.h"
#include "net/NetServices.h"
#include "net/TDM.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <gtest/gtest.h>

#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

MailJob Read(const QByteArray &bytes, MailJob job = {})
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(&buffer);
    ReadMailJob(reader, job);
    return job;
}

const QByteArray ThreeAddresses =
    "<MAIL>\r\nT_MAIL=Faktura \xb1\xe6\r\nF_MAIL=fv.pdf\r\n<END>\r\n"
    "<LISTA>\r\njan@firma.pl  \r\nbez adresu\r\nAnna <anna@firma.pl> // druga\r\nbiuro@firma.pl\r\n<END>\r\n"
    "<MAIL_BODY>\r\nDzie\xf1 dobry,\r\n\r\nw za\xb3\xb1""czniku faktura.\r\nkoniec<END>\r\nnie ma\r\n<END>\r\n";

TEST(MailReaderTest, SectionsInOrderAndStateKeptBetweenJobs)
{
    MailJob job = Read(ThreeAddresses);
    EXPECT_EQ(job.Subject, "Faktura \xb1\xe6");
    EXPECT_EQ(job.Attachment, "fv.pdf");
    EXPECT_EQ(job.Addresses, (QList<QByteArray>{"jan@firma.pl  ", "Anna <anna@firma.pl> ", "biuro@firma.pl"}));
    // A line holding <END> after text ends the body and is not part of it.
    EXPECT_EQ(job.Body, (QList<QByteArray>{"Dzie\xf1 dobry,", "", "w za\xb3\xb1""czniku faktura."}));

    // Only a body: subject, attachment and addresses stay from the last job.
    job = Read("<MAIL>\r\n<END>\r\n<LISTA>\r\nnowy@firma.pl\r\n<END>\r\n", job);
    EXPECT_EQ(job.Subject, "Faktura \xb1\xe6");
    EXPECT_EQ(job.Attachment, "fv.pdf");
    EXPECT_EQ(job.Addresses, (QList<QByteArray>{"nowy@firma.pl"}));
    EXPECT_EQ(job.Body.size(), 3);

    // <LISTA> before <MAIL> is not found: sections are searched in order.
    job = Read("<LISTA>\r\ninny@firma.pl\r\n<END>\r\n<MAIL>\r\nT_MAIL=x\r\n<END>\r\n", job);
    EXPECT_EQ(job.Subject, "x");
    EXPECT_EQ(job.Addresses, (QList<QByteArray>{"nowy@firma.pl"}));
}

TEST(MailMessageTest, HeadersBodyAndAttachment)
{
    EXPECT_EQ(JoinAddresses({"jan@firma.pl  ", "Anna <anna@firma.pl> "}), "jan@firma.pl; Anna <anna@firma.pl>");
    EXPECT_EQ(ParseRecipients("jan@firma.pl; Anna <anna@firma.pl>, x@y.pl"),
              (QList<QByteArray>{"jan@firma.pl", "anna@firma.pl", "x@y.pl"}));
    EXPECT_EQ(EncodeHeaderText("Faktura", "iso-8859-2"), "Faktura");
    EXPECT_EQ(EncodeHeaderText("\xb1", "iso-8859-2"), "=?iso-8859-2?B?sQ==?=");
    const QByteArray qp = QuotedPrintable({QByteArray(100, 'a') + "=\xb1 ", "."});
    for (const QByteArray &line : qp.split('\n'))
        EXPECT_LE(line.size(), 77);
    EXPECT_TRUE(qp.contains("=3D=B1=20\r\n.\r\n")) << qp.constData();
}

// A message as the test server received it, read back by Python's own mail parser in
// its strict mode: "to", "subject", "body", then each attachment as "name:hex". Any
// defect the parser finds in a header or a part fails the test.
QStringList Parsed(const QString &emlPath)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"), QStringLiteral(R"(import email, sys
from email import policy
data = open(sys.argv[1], 'rb').read()
m = email.message_from_bytes(data, policy=policy.default)
for part in m.walk():
    for defect in part.defects:
        print('DEFECT', type(defect).__name__, defect)
    for key, value in part.items():
        for defect in getattr(value, 'defects', []):
            print('DEFECT', key, type(defect).__name__, defect)
print(m['To'])
print(m['Subject'])
body = m.get_body(('plain',))
print(body.get_content_charset(), repr(body.get_content()))
for part in m.iter_attachments():
    print(part.get_filename() + ':' + part.get_payload(decode=True).hex())
)"), emlPath});
    python.waitForFinished(20000);
    QStringList lines = QString::fromUtf8(python.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    for (qsizetype k = lines.size() - 1; k >= 0; --k) {
        if (lines[k].startsWith(QStringLiteral("DEFECT"))) {
            ADD_FAILURE() << emlPath.toStdString() << ": " << lines[k].toStdString();
            lines.removeAt(k);
        }
    }
    return lines;
}

// A socket listening on 127.0.0.1 at a free port, or -1 when it could not be made.
int ListenOnLoopback(int &port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(fd, 4) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

// A server that greets, takes the envelope and DATA, reads a little of the message and
// hangs up.
struct DroppingServer {
    DroppingServer()
    {
        listener = ListenOnLoopback(port);
        thread = std::thread([this] { serve(); });
    }
    ~DroppingServer()
    {
        ::shutdown(listener, SHUT_RDWR);
        thread.join();
        ::close(listener);
    }
    void serve() const
    {
        const int client = ::accept(listener, nullptr, nullptr);
        if (client < 0)
            return;
        const auto say = [&](const char *text) { ::send(client, text, std::strlen(text), MSG_NOSIGNAL); };
        say("220 ready\r\n");
        std::string input;
        char buffer[4096];
        for (bool data = false; !data;) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            input.append(buffer, size_t(n));
            for (size_t end; !data && (end = input.find("\r\n")) != std::string::npos; input.erase(0, end + 2)) {
                data = input.compare(0, 4, "DATA") == 0;
                say(data ? "354 go on\r\n" : "250 ok\r\n");
            }
        }
        ::recv(client, buffer, sizeof buffer, 0);
        ::close(client);
    }
    int listener = -1;
    int port = 0;
    std::thread thread;
};

class SmtpRouteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir().mkpath(place.path(QStringLiteral("MAIL")));
        WriteFile(place.path(QStringLiteral("MAIL/fv.pdf")), QByteArray("%PDF-1.4\n\x00\x01\xfe\xff\r\n.\r\n", 16));
        place.settings.mail.poczta = 1;
        place.settings.mail.serverName = QStringLiteral("127.0.0.1");
        place.settings.mail.userName = QStringLiteral("biuro@ostrevo.test");
    }
    QByteArray env(const QString &eml) const
    {
        return ReadFile(eml.left(eml.size() - 4) + QStringLiteral(".env"));
    }
    QString home() const { return place.path(QStringLiteral("home")); }

    JobPlace place;
};

TEST_F(SmtpRouteTest, StartTlsAuthLoginOneMessageToAll)
{
    TestCertificate certificate;
    ASSERT_TRUE(certificate.made);
    SmtpServer server({QStringLiteral("--tls"), certificate.cert(), certificate.key(), QStringLiteral("--auth"),
                       QStringLiteral("ola"), QStringLiteral("hasło")});
    ASSERT_TRUE(server.service->running()) << server.service->failure().toStdString();
    place.settings.mail.serverPort = server.port();
    place.settings.mail.serverUser = QStringLiteral("ola");
    place.settings.mail.serverPassword = QStringLiteral("hasło");
    place.settings.mail.caFile = certificate.cert();
    TDM tdm(home(), NetTimeouts{5, 10});
    tdm.afterSettingsRead(place.settings);
    EXPECT_EQ(tdm.MailJobHandler(place.context, place.job(QStringLiteral("M1.txt"), ThreeAddresses)).outcome,
              JobResult::Done);
    ASSERT_TRUE(tdm.waitForMail(20000));
    EXPECT_EQ(place.result(QStringLiteral("M1.txt")), "error=OK\r\n");
    ASSERT_EQ(server.messages().size(), 1);
    const QString eml = server.messages().first();
    EXPECT_EQ(env(eml), "biuro@ostrevo.test\njan@firma.pl\nanna@firma.pl\nbiuro@firma.pl\n");
    const QStringList parsed = Parsed(eml);
    ASSERT_EQ(parsed.size(), 4) << parsed.join(u'|').toStdString();
    // An address list, with commas (RFC 5322 3.4): every mail program shows all three.
    EXPECT_EQ(parsed[0], QStringLiteral("jan@firma.pl, Anna <anna@firma.pl>, biuro@firma.pl"));
    EXPECT_EQ(parsed[1], QStringLiteral("Faktura ąć"));
    EXPECT_EQ(parsed[2], QStringLiteral("iso-8859-2 'Dzień dobry,\\r\\n\\r\\nw załączniku faktura.\\r\\n'"));
    EXPECT_EQ(parsed[3], QStringLiteral("fv.pdf:") + QString::fromLatin1(QByteArray("%PDF-1.4\n\x00\x01\xfe\xff\r\n.\r\n", 16).toHex()));
    EXPECT_TRUE(tdm.spool().waiting().isEmpty());
}

TEST_F(SmtpRouteTest, FailuresAreReplyCodesOrSocketErrors)
{
    SmtpServer server({QStringLiteral("--refuse"), QStringLiteral("zly@firma.pl")});
    ASSERT_TRUE(server.service->running()) << server.service->failure().toStdString();
    place.settings.mail.serverPort = server.port();
    TDM tdm(home(), NetTimeouts{5, 10});
    tdm.afterSettingsRead(place.settings);
    // Queued in order, each with its own result; the refused recipient stops its message.
    tdm.MailJobHandler(place.context, place.job(QStringLiteral("A.txt"),
                                                "<MAIL>\r\nT_MAIL=a\r\n<END>\r\n<LISTA>\r\nzly@firma.pl\r\n<END>\r\n"));
    tdm.MailJobHandler(place.context, place.job(QStringLiteral("B.txt"),
                                                "<MAIL>\r\nT_MAIL=b\r\n<END>\r\n<LISTA>\r\ndobry@firma.pl\r\n<END>\r\n"));
    tdm.MailJobHandler(place.context, place.job(QStringLiteral("C.txt"),
                                                "<MAIL>\r\nT_MAIL=c\r\n<END>\r\n<LISTA>\r\nmalformed@@\r\n<END>\r\n"));
    ASSERT_TRUE(tdm.waitForMail(20000));
    EXPECT_EQ(place.result(QStringLiteral("A.txt")), "error=550\r\n");
    EXPECT_EQ(place.result(QStringLiteral("B.txt")), "error=OK\r\n");
    EXPECT_TRUE(place.result(QStringLiteral("C.txt")).startsWith("error=5")) << place.result(QStringLiteral("C.txt")).constData();
    EXPECT_EQ(server.messages().size(), 1);

    // Nothing listens there: the socket error, as Winsock numbers it.
    place.settings.mail.serverPort = 1;
    tdm.MailJobHandler(place.context, place.job(QStringLiteral("D.txt"),
                                                "<MAIL>\r\n<END>\r\n<LISTA>\r\ndobry@firma.pl\r\n<END>\r\n"));
    ASSERT_TRUE(tdm.waitForMail(20000));
    EXPECT_EQ(place.result(QStringLiteral("D.txt")), "error=10061\r\n");

    // An attachment named with a path fails the job at once; nothing is queued.
    EXPECT_EQ(tdm.MailJobHandler(place.context, place.job(QStringLiteral("E.txt"),
                                                          "<MAIL>\r\nF_MAIL=../E.txt\r\n<END>\r\n<LISTA>\r\nx@y.pl\r\n<END>\r\n"))
                  .outcome,
              JobResult::Failed);
    EXPECT_TRUE(place.result(QStringLiteral("E.txt")).contains("without a path"));
    EXPECT_TRUE(tdm.spool().waiting().isEmpty());

    // A server that hangs up in the middle of the message: the connection's reset.
    {
        DroppingServer dropping;
        place.settings.mail.serverPort = dropping.port;
        WriteFile(place.path(QStringLiteral("MAIL/duzy.bin")), QByteArray(4 << 20, 'x'));
        tdm.MailJobHandler(place.context, place.job(QStringLiteral("G.txt"),
                                                    "<MAIL>\r\nF_MAIL=duzy.bin\r\n<END>\r\n<LISTA>\r\nx@y.pl\r\n<END>\r\n"));
        ASSERT_TRUE(tdm.waitForMail(20000));
        EXPECT_EQ(place.result(QStringLiteral("G.txt")), "error=10054\r\n");
    }

    // A server that offers no TLS never gets the password, unless the settings allow
    // clear text on purpose.
    SmtpServer guarded({QStringLiteral("--auth"), QStringLiteral("ola"), QStringLiteral("hasło")});
    ASSERT_TRUE(guarded.service->running()) << guarded.service->failure().toStdString();
    place.settings.mail.serverPort = guarded.port();
    place.settings.mail.serverUser = QStringLiteral("ola");
    place.settings.mail.serverPassword = QStringLiteral("hasło");
    {
        TDM clear(home(), NetTimeouts{5, 10});
        clear.afterSettingsRead(place.settings);
        clear.MailJobHandler(place.context, place.job(QStringLiteral("T.txt"),
                                                      "<MAIL>\r\n<END>\r\n<LISTA>\r\ndobry@firma.pl\r\n<END>\r\n"));
        ASSERT_TRUE(clear.waitForMail(20000));
        EXPECT_TRUE(place.result(QStringLiteral("T.txt")).startsWith("error=TLS: the server offers no STARTTLS"))
            << place.result(QStringLiteral("T.txt")).constData();
        EXPECT_TRUE(guarded.messages().isEmpty());
    }
    // A wrong password is the server's refusal, at once, not a stalled transfer.
    place.settings.mail.clearTextAllowed = true;
    place.settings.mail.serverPassword = QStringLiteral("zle");
    TDM fresh(home(), NetTimeouts{5, 10});
    fresh.afterSettingsRead(place.settings);
    fresh.MailJobHandler(place.context, place.job(QStringLiteral("F.txt"),
                                                  "<MAIL>\r\n<END>\r\n<LISTA>\r\ndobry@firma.pl\r\n<END>\r\n"));
    ASSERT_TRUE(fresh.waitForMail(20000));
    EXPECT_EQ(place.result(QStringLiteral("F.txt")), "error=535\r\n");
    EXPECT_TRUE(guarded.messages().isEmpty());
}

TEST_F(SmtpRouteTest, AQueuedMessageSurvivesAQuitAndGoesOutAtTheNextStart)
{
    // A server that accepts the connection and never greets: the message is under way
    // when the program quits.
    int port = 0;
    const int silent = ListenOnLoopback(port);
    ASSERT_GE(silent, 0);
    place.settings.mail.serverPort = port;
    {
        // No grace at the quit: the server never greets, the message goes nowhere.
        TDM tdm(home(), NetTimeouts{5, 30, 600, 0});
        tdm.afterSettingsRead(place.settings);
        tdm.MailJobHandler(place.context, place.job(QStringLiteral("S.txt"), ThreeAddresses));
        EXPECT_FALSE(tdm.waitForMail(500));
    }
    ::close(silent);
    EXPECT_FALSE(QFile::exists(place.path(QStringLiteral("Errors/S.txt"))));
    ASSERT_EQ(MailSpool(home() + QStringLiteral("/poczta")).waiting().size(), 1);

    SmtpServer server;
    ASSERT_TRUE(server.service->running()) << server.service->failure().toStdString();
    place.settings.mail.serverPort = server.port();
    TDM restarted(home(), NetTimeouts{5, 10});
    restarted.afterSettingsRead(place.settings);
    ASSERT_TRUE(WaitFor([&] { return QFile::exists(place.path(QStringLiteral("Errors/S.txt"))); }, 20000));
    EXPECT_EQ(place.result(QStringLiteral("S.txt")), "error=OK\r\n");
    EXPECT_TRUE(restarted.waitForMail(5000));
    ASSERT_EQ(server.messages().size(), 1);
    EXPECT_EQ(Parsed(server.messages().first()).value(1), QStringLiteral("Faktura ąć"));
}

TEST_F(SmtpRouteTest, ADamagedSpoolFileIsSetAsideAndTheNextMessageGoesOut)
{
    // Two files ahead of the job's message: one cut short, one that is no message at all.
    const QString spool = home() + QStringLiteral("/poczta");
    ASSERT_TRUE(QDir().mkpath(spool));
    WriteFile(spool + QStringLiteral("/000000000001.msg"), "ostrevo-mail 1\nresultDir %2Fsrv\nfrom a%40b\n");
    WriteFile(spool + QStringLiteral("/000000000002.msg"), QByteArray("\x00\xff garbage", 10));
    SmtpServer server;
    ASSERT_TRUE(server.service->running()) << server.service->failure().toStdString();
    place.settings.mail.serverPort = server.port();
    TDM tdm(home(), NetTimeouts{5, 10});
    tdm.afterSettingsRead(place.settings);
    tdm.MailJobHandler(place.context, place.job(QStringLiteral("S.txt"), ThreeAddresses));
    EXPECT_TRUE(tdm.waitForMail(20000));
    EXPECT_EQ(place.result(QStringLiteral("S.txt")), "error=OK\r\n");
    ASSERT_EQ(server.messages().size(), 1);
    // Kept for a person to look at, never sent and never tried again.
    EXPECT_EQ(Entries(spool), QStringList({QStringLiteral("000000000001.msg.bad"), QStringLiteral("000000000002.msg.bad")}));
}

TEST_F(SmtpRouteTest, AQuitWhileTheServerConfirmsLetsTheMessageGoOnce)
{
    // The server has stored the message and takes its time over the "250": the program
    // quits meanwhile. The message finishes within the quit's grace and is not sent again.
    SmtpServer server({QStringLiteral("--slow-data"), QStringLiteral("1500")});
    ASSERT_TRUE(server.service->running()) << server.service->failure().toStdString();
    place.settings.mail.serverPort = server.port();
    {
        TDM tdm(home(), NetTimeouts{5, 10});
        tdm.afterSettingsRead(place.settings);
        tdm.MailJobHandler(place.context, place.job(QStringLiteral("Q.txt"), ThreeAddresses));
        ASSERT_TRUE(WaitFor([&] { return server.messages().size() == 1; }));
    } // the quit
    EXPECT_EQ(place.result(QStringLiteral("Q.txt")), "error=OK\r\n");
    EXPECT_TRUE(MailSpool(home() + QStringLiteral("/poczta")).waiting().isEmpty());
    TDM restarted(home(), NetTimeouts{5, 10});
    restarted.afterSettingsRead(place.settings);
    EXPECT_TRUE(restarted.waitForMail(5000));
    EXPECT_EQ(server.messages().size(), 1) << "sent again at the next start";

    // Past the grace the sender gives up, but a message whose every byte went out is the
    // server's: it counts as sent and does not go again.
    SmtpServer slow({QStringLiteral("--slow-data"), QStringLiteral("4000")});
    ASSERT_TRUE(slow.service->running()) << slow.service->failure().toStdString();
    place.settings.mail.serverPort = slow.port();
    {
        TDM tdm(home(), NetTimeouts{5, 10, 600, 300});
        tdm.afterSettingsRead(place.settings);
        tdm.MailJobHandler(place.context, place.job(QStringLiteral("R.txt"), ThreeAddresses));
        ASSERT_TRUE(WaitFor([&] { return slow.messages().size() == 1; }));
    }
    EXPECT_EQ(place.result(QStringLiteral("R.txt")), "error=OK\r\n");
    EXPECT_TRUE(MailSpool(home() + QStringLiteral("/poczta")).waiting().isEmpty());

    // Without a quit, a server silent after the message is a stalled connection after
    // the stall time-out, numbered as the socket time-out.
    TDM waiting(home(), NetTimeouts{5, 1});
    waiting.afterSettingsRead(place.settings);
    QElapsedTimer clock;
    clock.start();
    waiting.MailJobHandler(place.context, place.job(QStringLiteral("S.txt"), ThreeAddresses));
    ASSERT_TRUE(waiting.waitForMail(20000));
    EXPECT_EQ(place.result(QStringLiteral("S.txt")), "error=10060\r\n");
    EXPECT_LT(clock.elapsed(), 3500) << "waited for the server instead of the stall time-out";
}

TEST_F(SmtpRouteTest, LongHeadersAndDisplayNamesReadBackWhole)
{
    SmtpServer server;
    ASSERT_TRUE(server.service->running()) << server.service->failure().toStdString();
    place.settings.mail.serverPort = server.port();
    TDM tdm(home(), NetTimeouts{5, 10});
    tdm.afterSettingsRead(place.settings);
    // A display name with a comma in it is one mailbox, a Polish one is an encoded word,
    // and a long list and a long subject are folded, Polish or not.
    const QByteArray polish = "Zam\xf3wienie \xbf\xf3\xb3tej \xbf""aby ";
    QByteArray many = "<MAIL>\r\nT_MAIL=" + polish.repeated(8) + "\r\n<END>\r\n<LISTA>\r\n"
                      "\"Kowalski, Jan\" <jan@firma.pl>\r\nPawe\xb3 \xaf""ak <pz@firma.pl>\r\n";
    for (int i = 0; i < 60; ++i)
        many += "klient" + QByteArray::number(i) + "@firma.pl\r\n";
    many += "<END>\r\n";
    tdm.MailJobHandler(place.context, place.job(QStringLiteral("M.txt"), many));
    QByteArray ascii = "<MAIL>\r\nT_MAIL=";
    for (int i = 0; i < 40; ++i)
        ascii += "Faktura " + QByteArray::number(i) + ' ';
    ascii += QByteArray(90, 'x') + "\r\n<END>\r\n<LISTA>\r\njan@firma.pl\r\n<END>\r\n";
    tdm.MailJobHandler(place.context, place.job(QStringLiteral("N.txt"), ascii));
    ASSERT_TRUE(tdm.waitForMail(20000));
    ASSERT_EQ(server.messages().size(), 2);
    const QByteArray envelope = env(server.messages().first());
    EXPECT_TRUE(envelope.contains("\njan@firma.pl\npz@firma.pl\n")) << envelope.constData();
    EXPECT_EQ(envelope.count('\n'), 63);
    for (const QString &eml : server.messages())
        for (const QByteArray &line : ReadFile(eml).split('\n'))
            EXPECT_LE(line.size(), 79) << line.left(100).constData();
    const QStringList parsed = Parsed(server.messages().first());
    ASSERT_GE(parsed.size(), 2);
    EXPECT_TRUE(parsed[0].startsWith(QStringLiteral("\"Kowalski, Jan\" <jan@firma.pl>, Paweł Żak <pz@firma.pl>, klient0@")))
        << parsed[0].toStdString();
    EXPECT_EQ(parsed[0].count(u'@'), 62);
    EXPECT_EQ(parsed[1], QStringLiteral("Zamówienie żółtej żaby ").repeated(8).trimmed());
    const QStringList second = Parsed(server.messages().last());
    ASSERT_GE(second.size(), 2);
    EXPECT_EQ(second[1].toLatin1(), ascii.mid(15, ascii.indexOf("\r\n<END>") - 15));
}

TEST_F(SmtpRouteTest, AnAttachmentNamedInEitherCodePageGoesAlong)
{
    SmtpServer server;
    ASSERT_TRUE(server.service->running()) << server.service->failure().toStdString();
    place.settings.mail.serverPort = server.port();
    TDM tdm(home(), NetTimeouts{5, 10});
    tdm.afterSettingsRead(place.settings);
    WriteFile(place.path(QStringLiteral("MAIL/wyciąg.pdf")), "%PDF wyciąg");
    // ą is B1 in the mail job's ISO-8859-2 and A5 in the CP852 a DOS program names files in.
    for (const QByteArray &name : {QByteArray("wyci\xb1g.pdf"), QByteArray("WYCI\xa4G.PDF")}) {
        const JobResult result = tdm.MailJobHandler(
            place.context, place.job(QStringLiteral("A.txt"), "<MAIL>\r\nT_MAIL=x\r\nF_MAIL=" + name + "\r\n<END>\r\n<LISTA>\r\nx@y.pl\r\n<END>\r\n"));
        EXPECT_FALSE(result.detail.contains(QStringLiteral("without"))) << result.detail.toStdString();
    }
    const JobResult missing = tdm.MailJobHandler(
        place.context, place.job(QStringLiteral("B.txt"), "<MAIL>\r\nT_MAIL=x\r\nF_MAIL=brak.pdf\r\n<END>\r\n<LISTA>\r\nx@y.pl\r\n<END>\r\n"));
    EXPECT_TRUE(missing.detail.contains(QStringLiteral("wysłano bez F_MAIL=\"brak.pdf\"")))
        << missing.detail.toStdString();
    ASSERT_TRUE(tdm.waitForMail(20000));
    ASSERT_EQ(server.messages().size(), 3);
    for (int k = 0; k < 2; ++k) {
        const QStringList parsed = Parsed(server.messages()[k]);
        ASSERT_EQ(parsed.size(), 4) << parsed.join(u'|').toStdString();
        EXPECT_EQ(parsed[3], QStringLiteral("wyciąg.pdf:") + QString::fromLatin1(QByteArray("%PDF wyciąg").toHex()));
    }
    EXPECT_EQ(Parsed(server.messages()[2]).size(), 3) << "no attachment";
}

TEST_F(SmtpRouteTest, SystemMailThroughMsmtpOneMessagePerAddress)
{
    SmtpServer server;
    ASSERT_TRUE(server.service->running()) << server.service->failure().toStdString();
    const QString rc = place.path(QStringLiteral("msmtprc"));
    WriteFile(rc, "defaults\ntls off\nauth off\nlogfile " + QFile::encodeName(place.path(QStringLiteral("msmtp.log")))
                      + "\naccount default\nhost 127.0.0.1\nport " + QByteArray::number(server.port())
                      + "\nfrom biuro@ostrevo.test\n");
    QFile::setPermissions(rc, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    place.settings.mail.poczta = 0;
    place.settings.mail.sendmail = QStringLiteral("msmtp -C ") + rc;
    TDM tdm(home(), NetTimeouts{5, 10});
    EXPECT_EQ(tdm.MailJobHandler(place.context, place.job(QStringLiteral("P.txt"), ThreeAddresses)).outcome,
              JobResult::Done);
    EXPECT_EQ(place.result(QStringLiteral("P.txt")), "error=OK\r\n");
    ASSERT_EQ(server.messages().size(), 3);
    EXPECT_EQ(env(server.messages()[1]), "biuro@ostrevo.test\nanna@firma.pl\n");
    const QStringList parsed = Parsed(server.messages()[2]);
    ASSERT_EQ(parsed.size(), 4) << parsed.join(u'|').toStdString();
    EXPECT_EQ(parsed[0], QStringLiteral("biuro@firma.pl"));
    EXPECT_TRUE(parsed[3].startsWith(QStringLiteral("fv.pdf:")));

    // A quit after the first address: the others are not tried, the result says NOT and
    // the journal names who got the message; nothing is sent twice.
    place.context.quitRequested = [&] { return server.messages().size() >= 4; };
    const JobResult quit = tdm.MailJobHandler(place.context, place.job(QStringLiteral("P.txt"), ThreeAddresses));
    place.context.quitRequested = [] { return false; };
    EXPECT_EQ(quit.outcome, JobResult::Failed);
    EXPECT_TRUE(quit.detail.endsWith(QStringLiteral("wysłano do jan@firma.pl, nie do Anna <anna@firma.pl>, biuro@firma.pl")))
        << quit.detail.toStdString();
    EXPECT_EQ(place.result(QStringLiteral("P.txt")), "error=NOT\r\n");
    EXPECT_EQ(server.messages().size(), 4);

    // No addresses: nothing sent, no result. A missing command: "NOT".
    QFile::remove(place.path(QStringLiteral("Errors/P.txt")));
    tdm.MailJobHandler(place.context, place.job(QStringLiteral("P.txt"), "<MAIL>\r\n<END>\r\n<LISTA>\r\n<END>\r\n"));
    EXPECT_FALSE(QFile::exists(place.path(QStringLiteral("Errors/P.txt"))));
    place.settings.mail.sendmail = QStringLiteral("/nonexistent/sendmail");
    EXPECT_EQ(tdm.MailJobHandler(place.context, place.job(QStringLiteral("Q.txt"),
                                                          "<MAIL>\r\n<END>\r\n<LISTA>\r\nx@y.pl\r\n<END>\r\n"))
                  .outcome,
              JobResult::Failed);
    EXPECT_EQ(place.result(QStringLiteral("Q.txt")), "error=NOT\r\n");
    EXPECT_EQ(server.messages().size(), 4);
}

TEST_F(SmtpRouteTest, MailPdfWritesItsResultUnderThePdfName)
{
    SmtpServer server;
    ASSERT_TRUE(server.service->running()) << server.service->failure().toStdString();
    place.settings.mail.serverPort = server.port();
    TDM tdm(home(), NetTimeouts{5, 10});
    tdm.afterSettingsRead(place.settings);
    QDir().mkpath(place.path(QStringLiteral("PDF")));
    WriteFile(place.path(QStringLiteral("PDF/faktura.pdf")), "%PDF-1.7 test");
    // A <PDF> job is a printout: its body is in CP852 like the rest of it (ł 88, ą A5).
    const QString job = place.job(QStringLiteral("FV.txt"), "<PDF>\r\nA_MAIL=klient@firma.pl\r\n<END>\r\n<MAIL_BODY>\r\nW za\x88\xa5""czniku.\r\n<END>\r\n");
    tdm.mailPdfHandOver()(place.context, job, QStringLiteral("klient@firma.pl"), place.path(QStringLiteral("PDF/faktura.pdf")),
                          QStringLiteral("Faktura 1/2026 – zażółć"));
    ASSERT_TRUE(tdm.waitForMail(20000));
    EXPECT_EQ(place.result(QStringLiteral("faktura.txt")), "error=OK\r\n");
    ASSERT_EQ(server.messages().size(), 1);
    const QStringList parsed = Parsed(server.messages().first());
    ASSERT_EQ(parsed.size(), 4) << parsed.join(u'|').toStdString();
    EXPECT_EQ(parsed[0], QStringLiteral("klient@firma.pl"));
    EXPECT_EQ(parsed[1], QStringLiteral("Faktura 1/2026 – zażółć"));
    EXPECT_EQ(parsed[2], QStringLiteral("iso-8859-2 'W załączniku.\\r\\n'"));
    EXPECT_EQ(parsed[3], QStringLiteral("faktura.pdf:") + QString::fromLatin1(QByteArray("%PDF-1.7 test").toHex()));
}

} // namespace
