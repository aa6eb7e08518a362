// The KSeF client against the stand-in (tests/services/ksefd.py) on 127.0.0.1: real RSA-OAEP,
// AES-256-CBC, schema checks and KSeF numbers; faults ordered through its /_control.
#include "ksef/KsefClient.h"
#include "ksef/KsefDate.h"
#include "ksef/KsefHttp.h"
#include "ksef/KsefNumber.h"

#include "support/PythonService.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

const QByteArray Token = "20261201-EC-2B7F0C1000-4D1A9E3B52-7A|nip-5265877635|"
                         "5f0c9be1d8a24f3c9e7b61a0d2c4e8f7a1b3c5d7e9f0a2b4c6d8e0f1a3b5c7d9";
const QByteArray Secret = Token.mid(Token.lastIndexOf('|') + 1);

// The minimal FA(3) invoice with its own number (P_2: KSeF's duplicates go by it).
QByteArray Invoice(const QByteArray &number)
{
    QByteArray xml = ReadFile(TestData(QStringLiteral("ksef/ex1-minimal.xml")));
    xml.replace("<P_2>FV/2026/04/0001</P_2>", "<P_2>" + number + "</P_2>");
    return xml;
}

using Refs = QList<std::pair<QString, QString>>;

class KsefClientTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(service.running()) << service.failure().toStdString(); }

    QByteArray root() const { return "http://127.0.0.1:" + QByteArray::number(service.port()); }
    KsefEndpoint endpoint(const QByteArray &token = Token) const { return {root() + "/v2", "5265877635", token, {}}; }
    std::unique_ptr<KsefClient> client(const QByteArray &token = Token) const
    {
        return std::make_unique<KsefClient>(endpoint(token), timeouts, pacing);
    }

    void control(const QJsonObject &command) const
    {
        KsefRequest request{"POST", root() + "/_control", QJsonDocument(command).toJson(), {}};
        const KsefReply reply = KsefExchange(request, timeouts, {}, [] { return false; });
        ASSERT_EQ(reply.status, 200) << reply.body.constData();
    }
    QJsonObject state() const
    {
        const KsefReply reply = KsefExchange({"GET", root() + "/_state", {}, {}}, timeouts, {}, [] { return false; });
        return reply.json();
    }
    QStringList accepted() const
    {
        QStringList numbers;
        for (const QJsonValue &number : state().value(QStringLiteral("accepted")).toArray())
            numbers.append(number.toString());
        return numbers;
    }
    // Requests the stand-in answered on paths ending so, optionally with this status.
    int requests(const QString &pathEnd, int status = 0) const
    {
        int count = 0;
        for (const QJsonValue &item : state().value(QStringLiteral("requests")).toArray()) {
            const QJsonObject request = item.toObject();
            if (request.value(QStringLiteral("path")).toString().endsWith(pathEnd)
                && (status == 0 || request.value(QStringLiteral("status")).toInt() == status))
                ++count;
        }
        return count;
    }
    static std::function<void(const QString &, const QString &)> Recorder(Refs &refs)
    {
        return [&refs](const QString &session, const QString &invoice) { refs.append({session, invoice}); };
    }

    QTemporaryDir stateDir;
    PythonService service{QStringLiteral("ksefd.py"), {stateDir.path(), QStringLiteral("--token"), QString::fromLatin1(Token),
                                                       QStringLiteral("--pending-polls"), QStringLiteral("2")}};
    NetTimeouts timeouts{2, 2, 10, 1000};
    KsefPacing pacing{20, 200, 5, 2};
};

TEST_F(KsefClientTest, SendsInvoicesInOneSessionAndFollowsEachToItsNumberAndUpo)
{
    auto ksef = client();
    Refs sent;
    const QByteArray first = Invoice("FV/2026/12/0001");
    const QByteArray second = Invoice("FV/2026/12/0002");
    const KsefSendResult one = ksef->send(first, Recorder(sent));
    ASSERT_EQ(one.outcome, KsefSendResult::Accepted) << one.reason.toStdString();
    EXPECT_EQ(one.statusCode, 200);
    EXPECT_FALSE(one.duplicate);
    EXPECT_TRUE(IsKsefNumber(one.ksefNumber)) << one.ksefNumber.toStdString();
    EXPECT_TRUE(one.ksefNumber.startsWith(QStringLiteral("5265877635-")));
    EXPECT_TRUE(ParseKsefDateTime(one.acquisitionDate).isValid()) << one.acquisitionDate.toStdString();
    EXPECT_TRUE(one.upo.contains("<NumerKSeFDokumentu>" + one.ksefNumber.toLatin1() + "</NumerKSeFDokumentu>")) << one.upo.constData();
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0], std::make_pair(one.sessionReference, one.invoiceReference));
    // KSeF decrypted exactly the bytes that were sent.
    EXPECT_EQ(ReadFile(stateDir.path() + u'/' + one.ksefNumber + QStringLiteral(".xml")), first);

    const KsefSendResult two = ksef->send(second, Recorder(sent));
    ASSERT_EQ(two.outcome, KsefSendResult::Accepted) << two.reason.toStdString();
    EXPECT_NE(two.ksefNumber, one.ksefNumber);
    EXPECT_EQ(two.sessionReference, one.sessionReference);
    EXPECT_EQ(sent.size(), 2);
    // Sent again, it is the same invoice: its number and its UPO from the first session.
    const KsefSendResult repeated = ksef->send(first, {});
    ASSERT_EQ(repeated.outcome, KsefSendResult::Accepted) << repeated.reason.toStdString();
    EXPECT_TRUE(repeated.duplicate);
    EXPECT_EQ(repeated.ksefNumber, one.ksefNumber);
    EXPECT_TRUE(repeated.upo.contains("<NumerKSeFDokumentu>" + one.ksefNumber.toLatin1())) << repeated.upo.constData();
    ksef->closeSession();

    const QJsonObject after = state();
    EXPECT_EQ(accepted(), QStringList({one.ksefNumber, two.ksefNumber}));
    EXPECT_EQ(after.value(QStringLiteral("invoices")).toArray().at(1).toObject().value(QStringLiteral("xml")).toString(),
              QString::fromUtf8(second));
    const QJsonArray sessions = after.value(QStringLiteral("sessions")).toArray();
    ASSERT_EQ(sessions.size(), 1);
    EXPECT_TRUE(sessions.at(0).toObject().value(QStringLiteral("closed")).toBool());
    EXPECT_EQ(after.value(QStringLiteral("authentications")).toArray().size(), 1);
}

TEST_F(KsefClientTest, RenewsAnExpiredAccessTokenAndAuthenticatesAgainWhenRefreshIsRefused)
{
    auto ksef = client();
    ASSERT_EQ(ksef->send(Invoice("FV/R/1"), {}).outcome, KsefSendResult::Accepted);
    control({{QStringLiteral("expireAccessTokens"), true}});
    const KsefSendResult refreshed = ksef->send(Invoice("FV/R/2"), {});
    EXPECT_EQ(refreshed.outcome, KsefSendResult::Accepted) << refreshed.reason.toStdString();
    QJsonArray auths = state().value(QStringLiteral("authentications")).toArray();
    ASSERT_EQ(auths.size(), 1);
    EXPECT_EQ(auths.at(0).toObject().value(QStringLiteral("refreshes")).toInt(), 1);

    control({{QStringLiteral("expireAccessTokens"), true}});
    control({{QStringLiteral("fault"), 401}, {QStringLiteral("path"), QStringLiteral("/auth/token/refresh$")}});
    const KsefSendResult again = ksef->send(Invoice("FV/R/3"), {});
    EXPECT_EQ(again.outcome, KsefSendResult::Accepted) << again.reason.toStdString();
    auths = state().value(QStringLiteral("authentications")).toArray();
    EXPECT_EQ(auths.size(), 2);
    EXPECT_EQ(accepted().size(), 3);
}

TEST_F(KsefClientTest, AWrongTokenKeepsTheInvoiceQueuedAndIsNeverShown)
{
    const QByteArray wrong = Token.left(Token.size() - 8) + "00000000";
    Refs sent;
    const KsefSendResult result = client(wrong)->send(Invoice("FV/T/1"), Recorder(sent));
    EXPECT_EQ(result.outcome, KsefSendResult::Unreachable);
    EXPECT_EQ(result.statusCode, 450);
    EXPECT_TRUE(result.reason.startsWith(QStringLiteral("KSeF nie przyjął tokenu (450 "))) << result.reason.toStdString();
    EXPECT_TRUE(result.reason.contains(QStringLiteral("Nieprawidłowy token"))) << result.reason.toStdString();
    EXPECT_FALSE(result.reason.contains(QString::fromLatin1(wrong.mid(wrong.lastIndexOf('|') + 1))));
    EXPECT_FALSE(result.reason.contains(QString::fromLatin1(Secret)));
    EXPECT_TRUE(sent.isEmpty());
    EXPECT_TRUE(state().value(QStringLiteral("invoices")).toArray().isEmpty());
}

TEST_F(KsefClientTest, AnAnswerLostAfterKsefTookTheInvoiceEndsAsTheSameNumberOnTheNextSend)
{
    control({{QStringLiteral("fault"), QStringLiteral("drop")}, {QStringLiteral("after"), true},
             {QStringLiteral("method"), QStringLiteral("POST")}, {QStringLiteral("path"), QStringLiteral("/invoices$")}});
    auto ksef = client();
    Refs sent;
    const QByteArray invoice = Invoice("FV/D/1");
    const KsefSendResult lost = ksef->send(invoice, Recorder(sent));
    EXPECT_EQ(lost.outcome, KsefSendResult::Unreachable) << lost.reason.toStdString();
    EXPECT_TRUE(sent.isEmpty());
    const QStringList held = accepted();
    ASSERT_EQ(held.size(), 1);

    const KsefSendResult again = ksef->send(invoice, Recorder(sent));
    ASSERT_EQ(again.outcome, KsefSendResult::Accepted) << again.reason.toStdString();
    EXPECT_TRUE(again.duplicate);
    EXPECT_EQ(again.statusCode, 440);
    EXPECT_EQ(again.ksefNumber, held.first());
    EXPECT_EQ(accepted(), held);
}

TEST_F(KsefClientTest, CancelledWhilePollingEndsPromptlyAndANewClientFollowsTheInvoice)
{
    auto ksef = client();
    ASSERT_EQ(ksef->send(Invoice("FV/C/0"), {}).outcome, KsefSendResult::Accepted);
    // Authenticated: from now on the invoice stays in processing.
    control({{QStringLiteral("pendingPolls"), 1000000}});
    QElapsedTimer sinceSent;
    ksef->cancelled = [&] { return sinceSent.isValid() && sinceSent.elapsed() > 200; };
    Refs sent;
    const KsefSendResult cancelled = ksef->send(Invoice("FV/C/1"), [&](const QString &session, const QString &invoice) {
        sent.append({session, invoice});
        sinceSent.start();
    });
    EXPECT_EQ(cancelled.outcome, KsefSendResult::Cancelled) << cancelled.reason.toStdString();
    EXPECT_LT(sinceSent.elapsed(), 1500);
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(cancelled.invoiceReference, sent[0].second);

    control({{QStringLiteral("pendingPolls"), 1}});
    const KsefSendResult followed = client()->follow(sent[0].first, sent[0].second);
    ASSERT_EQ(followed.outcome, KsefSendResult::Accepted) << followed.reason.toStdString();
    EXPECT_EQ(accepted().size(), 2);
    EXPECT_EQ(accepted().value(1), followed.ksefNumber);
    EXPECT_FALSE(followed.upo.isEmpty());
    EXPECT_EQ(state().value(QStringLiteral("authentications")).toArray().size(), 2);
}

TEST_F(KsefClientTest, WaitsOutAShortRetryAfterAndLeavesALongOneForALaterRun)
{
    control({{QStringLiteral("fault"), 429}, {QStringLiteral("retryAfter"), 1}, {QStringLiteral("path"), QStringLiteral("/sessions/online$")}});
    auto ksef = client();
    QElapsedTimer clock;
    clock.start();
    const KsefSendResult waited = ksef->send(Invoice("FV/L/1"), {});
    EXPECT_EQ(waited.outcome, KsefSendResult::Accepted) << waited.reason.toStdString();
    EXPECT_GE(clock.elapsed(), 1000);

    control({{QStringLiteral("fault"), 429}, {QStringLiteral("retryAfter"), 3600}, {QStringLiteral("method"), QStringLiteral("POST")},
             {QStringLiteral("path"), QStringLiteral("/invoices$")}});
    clock.start();
    const KsefSendResult later = ksef->send(Invoice("FV/L/2"), {});
    EXPECT_EQ(later.outcome, KsefSendResult::Unreachable);
    EXPECT_EQ(later.statusCode, 429);
    EXPECT_TRUE(later.reason.contains(QStringLiteral("3600 s"))) << later.reason.toStdString();
    EXPECT_LT(clock.elapsed(), 3000);
}

TEST_F(KsefClientTest, ServerErrorsAreTriedAgainAsManyTimesAsAllowed)
{
    const QJsonObject unavailable{{QStringLiteral("fault"), 503}, {QStringLiteral("method"), QStringLiteral("POST")},
                                  {QStringLiteral("path"), QStringLiteral("/invoices$")}};
    QJsonObject twice = unavailable;
    twice.insert(QStringLiteral("count"), 2);
    control(twice);
    auto ksef = client();
    const KsefSendResult through = ksef->send(Invoice("FV/S/1"), {});
    EXPECT_EQ(through.outcome, KsefSendResult::Accepted) << through.reason.toStdString();

    QJsonObject thrice = unavailable;
    thrice.insert(QStringLiteral("count"), 3);
    control(thrice);
    const KsefSendResult given = ksef->send(Invoice("FV/S/2"), {});
    EXPECT_EQ(given.outcome, KsefSendResult::Unreachable);
    EXPECT_EQ(given.statusCode, 503);
    EXPECT_EQ(requests(QStringLiteral("/invoices"), 503), 5);
    EXPECT_EQ(accepted().size(), 1);
}

TEST_F(KsefClientTest, AHangingOrAbsentServerIsUnreachableWithinTheTimeouts)
{
    control({{QStringLiteral("fault"), QStringLiteral("hang")}, {QStringLiteral("seconds"), 30},
             {QStringLiteral("path"), QStringLiteral("/auth/challenge$")}});
    QElapsedTimer clock;
    clock.start();
    const KsefSendResult hung = client()->send(Invoice("FV/H/1"), {});
    EXPECT_EQ(hung.outcome, KsefSendResult::Unreachable);
    EXPECT_TRUE(hung.reason.contains(QStringLiteral("nie odpowiedział"))) << hung.reason.toStdString();
    EXPECT_LT(clock.elapsed(), 10000);

    QTcpServer vacant;
    ASSERT_TRUE(vacant.listen(QHostAddress::LocalHost));
    const quint16 port = vacant.serverPort();
    vacant.close();
    KsefEndpoint absent = endpoint();
    absent.baseUrl = "http://127.0.0.1:" + QByteArray::number(port) + "/v2";
    clock.start();
    const KsefSendResult down = KsefClient(absent, timeouts, pacing).send(Invoice("FV/H/2"), {});
    EXPECT_EQ(down.outcome, KsefSendResult::Unreachable);
    EXPECT_TRUE(down.reason.startsWith(QStringLiteral("Brak połączenia z KSeF"))) << down.reason.toStdString();
    EXPECT_LT(clock.elapsed(), 10000);
}

TEST_F(KsefClientTest, RefusedInvoicesCarryKsefsCodeAndDetails)
{
    auto ksef = client();
    Refs sent;
    QByteArray noJst = Invoice("FV/X/1");
    noJst.replace("<JST>2</JST>", "");
    const KsefSendResult schema = ksef->send(noJst, Recorder(sent));
    EXPECT_EQ(schema.outcome, KsefSendResult::Rejected);
    EXPECT_EQ(schema.statusCode, 450);
    EXPECT_TRUE(schema.reason.startsWith(QStringLiteral("KSeF odrzucił fakturę (450 Błąd weryfikacji semantyki dokumentu faktury): ")))
        << schema.reason.toStdString();
    EXPECT_TRUE(schema.reason.contains(QStringLiteral("JST"))) << schema.reason.toStdString();
    EXPECT_EQ(sent.size(), 1);

    QByteArray otherSeller = Invoice("FV/X/2");
    otherSeller.replace("<NIP>5265877635</NIP>", "<NIP>7762811692</NIP>");
    const KsefSendResult foreign = ksef->send(otherSeller, {});
    EXPECT_EQ(foreign.outcome, KsefSendResult::Rejected);
    EXPECT_EQ(foreign.statusCode, 410);
    EXPECT_TRUE(foreign.reason.contains(QStringLiteral("7762811692"))) << foreign.reason.toStdString();
    EXPECT_TRUE(accepted().isEmpty());
}

TEST_F(KsefClientTest, TakesNewKeysAndNewSessionsWhenKsefAsksAndWaitsOutMaintenance)
{
    control({{QStringLiteral("fault"), 400}, {QStringLiteral("code"), 21470}, {QStringLiteral("path"), QStringLiteral("/sessions/online$")}});
    auto ksef = client();
    const KsefSendResult rotated = ksef->send(Invoice("FV/K/1"), {});
    ASSERT_EQ(rotated.outcome, KsefSendResult::Accepted) << rotated.reason.toStdString();
    EXPECT_EQ(requests(QStringLiteral("/public-key-certificates")), 2);

    control({{QStringLiteral("expireSessions"), true}});
    const KsefSendResult renewed = ksef->send(Invoice("FV/K/2"), {});
    ASSERT_EQ(renewed.outcome, KsefSendResult::Accepted) << renewed.reason.toStdString();
    EXPECT_NE(renewed.sessionReference, rotated.sessionReference);
    EXPECT_EQ(state().value(QStringLiteral("sessions")).toArray().size(), 2);

    control({{QStringLiteral("fault"), 400}, {QStringLiteral("code"), 21184}, {QStringLiteral("count"), 2},
             {QStringLiteral("method"), QStringLiteral("POST")}, {QStringLiteral("path"), QStringLiteral("/invoices$")}});
    const KsefSendResult maintenance = ksef->send(Invoice("FV/K/3"), {});
    EXPECT_EQ(maintenance.outcome, KsefSendResult::Unreachable);
    EXPECT_EQ(maintenance.statusCode, 21184);
    EXPECT_EQ(accepted().size(), 2);
}

} // namespace
