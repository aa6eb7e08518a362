#include "ksef/KsefClientState.h"
#include "ksef/KsefCrypto.h"
#include "ksef/KsefDate.h"
#include "ksef/KsefNumber.h"
#include "ksef/KsefUpo.h"

#include "jobs/Errors.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QThread>
#include <QUrl>

namespace ostrevo {

namespace {

// A session this close to its end is not given another invoice.
constexpr qint64 SessionMarginS = 300;
// 429s in a row that one call waits out before the invoice waits for a later run.
constexpr int MaxRateLimitWaits = 5;
// Waits look at `cancelled` at least this often.
constexpr int CancelCheckMs = 50;

QByteArray PathPart(const QString &reference)
{
    return QUrl::toPercentEncoding(reference);
}

// The session is gone or cannot take invoices now; a new one can.
bool SessionGone(int code)
{
    return code == 21173 || code == 21180 || code == 21184 || code == 21155;
}

// Refusals of this invoice's own request: the same request would be refused again.
bool InvoiceRefused(int code)
{
    return code == 21402 || code == 21403 || code == 21405 || code == 21166 || code == 21167;
}

QString Scrubbed(QString text, const QByteArray &token)
{
    if (token.isEmpty())
        return text;
    text.replace(QString::fromUtf8(token), QStringLiteral("[token]"));
    // Its secret part on its own, should KSeF quote that.
    for (const QByteArray &part : token.split('|'))
        if (part.size() >= 16)
            text.replace(QString::fromUtf8(part), QStringLiteral("[token]"));
    return text;
}

} // namespace

void StopUnreachable(int code, const QString &reason)
{
    throw KsefStop{KsefSendResult::Unreachable, code, reason};
}

void KsefClient::State::pause(int milliseconds) const
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (isCancelled())
            throw KsefStop{KsefSendResult::Cancelled, 0, QStringLiteral("Przerwano: program kończy pracę")};
        const qint64 left = milliseconds - clock.elapsed();
        if (left <= 0)
            return;
        QThread::msleep(std::min<qint64>(left, CancelCheckMs));
    }
}

KsefReply KsefClient::State::call(const QByteArray &method, const QByteArray &path, const QJsonObject &body,
                                  KsefBearer bearer)
{
    int serverErrors = 0;
    int rateLimitWaits = 0;
    bool renewed = false;
    for (;;) {
        if (bearer == KsefBearer::Access)
            ensureAccess();
        KsefRequest request;
        request.method = method;
        request.url = endpoint.baseUrl + path;
        if (!body.isEmpty())
            request.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
        request.bearer = bearer == KsefBearer::Access ? accessToken
            : bearer == KsefBearer::Refresh           ? refreshToken
            : bearer == KsefBearer::Operation         ? operationToken
                                                      : QByteArray();
        const KsefReply reply = KsefExchange(request, timeouts, endpoint.caFile, *cancelled);
        if (reply.cancelled || (!reply.answered() && isCancelled()))
            throw KsefStop{KsefSendResult::Cancelled, 0, QStringLiteral("Przerwano: program kończy pracę")};
        if (!reply.answered()) {
            const QString where = QString::fromUtf8(endpoint.baseUrl);
            if (reply.timedOut())
                StopUnreachable(0, QStringLiteral("KSeF (%1) nie odpowiedział w wyznaczonym czasie").arg(where));
            StopUnreachable(0, QStringLiteral("Brak połączenia z KSeF (%1): %2").arg(where, QString::fromUtf8(reply.transportError)));
        }
        if (reply.status == 401 && bearer == KsefBearer::Access && !renewed) {
            renewed = true;
            renewAccess();
            continue;
        }
        if (reply.status == 429) {
            const int seconds = std::max(reply.retryAfterSeconds, 1);
            if (seconds > pacing.maxRetryAfterS || ++rateLimitWaits > MaxRateLimitWaits)
                StopUnreachable(429, QStringLiteral("KSeF ogranicza liczbę zapytań i prosi o przerwę %1 s; faktura poczeka "
                                                    "na kolejną próbę (%2)")
                                         .arg(seconds)
                                         .arg(reply.error().text()));
            pause(seconds * 1000);
            continue;
        }
        if (reply.status >= 500) {
            if (serverErrors++ < pacing.serverErrorRetries) {
                const int asked = reply.retryAfterSeconds;
                pause(asked >= 0 && asked <= pacing.maxRetryAfterS ? asked * 1000 : pacing.pollIntervalMs);
                continue;
            }
            StopUnreachable(int(reply.status), QStringLiteral("KSeF odpowiada błędem serwera (HTTP %1) także po %2 ponowieniach")
                                                   .arg(reply.status)
                                                   .arg(pacing.serverErrorRetries));
        }
        return reply;
    }
}

void KsefClient::State::unexpected(const KsefReply &reply, const QString &what) const
{
    const KsefApiError error = reply.error();
    QString text = QStringLiteral("KSeF nie wykonał operacji „%1” (HTTP %2").arg(what).arg(reply.status);
    if (error.code)
        text += QStringLiteral(", kod %1").arg(error.code);
    text += u')';
    if (!error.text().isEmpty())
        text += QStringLiteral(": ") + error.text();
    StopUnreachable(error.code ? error.code : int(reply.status), text);
}

void KsefClient::State::openSession()
{
    forgetSession();
    for (int attempt = 0;; ++attempt) {
        if (attempt > 0)
            fetchKeys();
        const KsefPublicKey &key = publicKey(QStringLiteral("SymmetricKeyEncryption"));
        // A new key for every session.
        const QByteArray aesKey = RandomBytes(32);
        const QByteArray iv = RandomBytes(16);
        const QJsonObject request{
            {QStringLiteral("formCode"),
             QJsonObject{{QStringLiteral("systemCode"), QStringLiteral("FA (3)")},
                         {QStringLiteral("schemaVersion"), QStringLiteral("1-0E")},
                         {QStringLiteral("value"), QStringLiteral("FA")}}},
            {QStringLiteral("encryption"),
             QJsonObject{{QStringLiteral("encryptedSymmetricKey"), QString::fromLatin1(RsaOaepSha256Encrypt(key.der, aesKey).toBase64())},
                         {QStringLiteral("initializationVector"), QString::fromLatin1(iv.toBase64())},
                         {QStringLiteral("publicKeyId"), key.id}}},
        };
        const KsefReply reply = call("POST", "/sessions/online", request);
        if (reply.status == 400 && reply.error().code == 21470 && attempt == 0)
            continue;
        const QJsonObject opened = reply.json();
        const QString reference = opened.value(QStringLiteral("referenceNumber")).toString();
        if (reply.status != 201 || reference.isEmpty())
            unexpected(reply, QStringLiteral("otwarcie sesji"));
        sessionRef = reference;
        sessionKey = aesKey;
        sessionIv = iv;
        sessionValidUntil = ParseKsefDateTime(opened.value(QStringLiteral("validUntil")).toString());
        return;
    }
}

void KsefClient::State::forgetSession()
{
    sessionRef.clear();
    sessionKey.clear();
    sessionIv.clear();
    sessionValidUntil = {};
}

void KsefClient::State::sendInvoice(const QByteArray &xml, bool offline, KsefSendResult &result,
                                    const std::function<void(const QString &, const QString &)> &sent)
{
    for (int attempt = 0;; ++attempt) {
        const bool ending = sessionValidUntil.isValid()
            && sessionValidUntil.addSecs(-SessionMarginS) <= QDateTime::currentDateTimeUtc();
        if (sessionRef.isEmpty() || ending)
            openSession();
        const QByteArray encrypted = Aes256CbcEncrypt(sessionKey, sessionIv, xml);
        const QJsonObject request{
            {QStringLiteral("invoiceHash"), QString::fromLatin1(Sha256(xml).toBase64())},
            {QStringLiteral("invoiceSize"), qint64(xml.size())},
            {QStringLiteral("encryptedInvoiceHash"), QString::fromLatin1(Sha256(encrypted).toBase64())},
            {QStringLiteral("encryptedInvoiceSize"), qint64(encrypted.size())},
            {QStringLiteral("encryptedInvoiceContent"), QString::fromLatin1(encrypted.toBase64())},
            {QStringLiteral("offlineMode"), offline},
        };
        const KsefReply reply = call("POST", "/sessions/online/" + PathPart(sessionRef) + "/invoices", request);
        if (reply.status == 202) {
            const QString reference = reply.json().value(QStringLiteral("referenceNumber")).toString();
            if (reference.isEmpty())
                unexpected(reply, QStringLiteral("wysłanie faktury"));
            result.sessionReference = sessionRef;
            result.invoiceReference = reference;
            if (sent)
                sent(sessionRef, reference);
            followInvoice(result);
            return;
        }
        const KsefApiError error = reply.error();
        // Sending again in a new session is safe: KSeF knows a duplicate (440).
        if (reply.status == 400 && SessionGone(error.code) && attempt == 0) {
            forgetSession();
            continue;
        }
        if (reply.status == 400 && error.code == 21184)
            StopUnreachable(error.code, QStringLiteral("KSeF jest chwilowo niedostępny (przerwa techniczna): %1").arg(error.text()));
        if (reply.status == 400 && InvoiceRefused(error.code))
            throw KsefStop{KsefSendResult::Rejected, error.code,
                           QStringLiteral("KSeF odrzucił fakturę ") + error.withCode()};
        unexpected(reply, QStringLiteral("wysłanie faktury"));
    }
}

void KsefClient::State::followInvoice(KsefSendResult &result)
{
    const QByteArray path = "/sessions/" + PathPart(result.sessionReference) + "/invoices/" + PathPart(result.invoiceReference);
    for (int query = 0; query < pacing.pollLimit; ++query) {
        if (query > 0)
            pause(pacing.pollPause(query));
        const KsefReply reply = call("GET", path);
        if (reply.status != 200)
            unexpected(reply, QStringLiteral("sprawdzenie stanu faktury"));
        const QJsonObject invoice = reply.json();
        const QJsonObject status = invoice.value(QStringLiteral("status")).toObject();
        const int code = status.value(QStringLiteral("code")).toInt();
        if (code == 100 || code == 150)
            continue;
        result.statusCode = code;
        if (code == 200) {
            result.ksefNumber = invoice.value(QStringLiteral("ksefNumber")).toString();
            result.acquisitionDate = invoice.value(QStringLiteral("acquisitionDate")).toString();
            if (!IsKsefNumber(result.ksefNumber))
                unexpected(reply, QStringLiteral("nadanie numeru KSeF"));
            result.outcome = KsefSendResult::Accepted;
            result.upo = fetchUpo(path + "/upo");
            return;
        }
        if (code == 440) {
            takeDuplicate(status, result);
            return;
        }
        // Cancelled by the system or its own error: the invoice is not in KSeF, and may go again.
        if (code == 405 || code == 500 || code == 550)
            StopUnreachable(code, QStringLiteral("KSeF nie przetworzył faktury %1").arg(KsefStatus(status).withCode()));
        throw KsefStop{KsefSendResult::Rejected, code, QStringLiteral("KSeF odrzucił fakturę %1").arg(KsefStatus(status).withCode())};
    }
    StopUnreachable(150, QStringLiteral("KSeF nie zakończył przetwarzania faktury po %1 zapytaniach; zostanie sprawdzona "
                                        "ponownie")
                             .arg(pacing.pollLimit));
}

void KsefClient::State::takeDuplicate(const QJsonObject &status, KsefSendResult &result)
{
    const QJsonObject extensions = status.value(QStringLiteral("extensions")).toObject();
    QString number = extensions.value(QStringLiteral("originalKsefNumber")).toString();
    // Without the extensions, the number is in the details' sentence.
    static const QRegularExpression Number(QStringLiteral("\\b[1-9]\\d{9}-\\d{8}-[0-9A-F]{12}-[0-9A-F]{2}\\b"));
    for (const QJsonValue &detail : status.value(QStringLiteral("details")).toArray()) {
        if (IsKsefNumber(number))
            break;
        number = Number.match(detail.toString()).captured();
    }
    if (!IsKsefNumber(number))
        throw KsefStop{KsefSendResult::Rejected, 440,
                       QStringLiteral("KSeF uznał fakturę za duplikat, nie podając numeru KSeF pierwszej %1").arg(KsefStatus(status).withCode())};
    result.outcome = KsefSendResult::Accepted;
    result.duplicate = true;
    result.ksefNumber = number;
    result.reason = QStringLiteral("KSeF ma już tę fakturę pod numerem %1").arg(number);
    const QString original = extensions.value(QStringLiteral("originalSessionReferenceNumber")).toString();
    if (!original.isEmpty())
        result.upo = fetchUpo("/sessions/" + PathPart(original) + "/invoices/ksef/" + PathPart(number) + "/upo");
    result.acquisitionDate = AcquisitionDateInUpo(result.upo, number);
}

QByteArray KsefClient::State::fetchUpo(const QByteArray &path)
{
    // The number is KSeF's either way; a UPO that cannot be had now does not undo it.
    try {
        const KsefReply reply = call("GET", path);
        if (reply.status == 200)
            return reply.body;
    } catch (const KsefStop &) {
    }
    return {};
}

KsefClient::KsefClient(KsefEndpoint endpoint, NetTimeouts timeouts, KsefPacing pacing) : m_state(std::make_unique<State>())
{
    while (endpoint.baseUrl.endsWith('/'))
        endpoint.baseUrl.chop(1);
    m_state->endpoint = std::move(endpoint);
    m_state->timeouts = timeouts;
    m_state->pacing = pacing;
    m_state->cancelled = &cancelled;
}

KsefClient::~KsefClient() = default;

namespace {

template <typename Steps>
KsefSendResult Conversation(KsefSendResult result, const QByteArray &token, Steps steps)
{
    try {
        steps(result);
    } catch (const KsefStop &stop) {
        result.outcome = stop.outcome;
        result.statusCode = stop.code ? stop.code : result.statusCode;
        result.reason = stop.reason;
    } catch (const JobError &error) {
        result.outcome = KsefSendResult::Unreachable;
        result.reason = error.message();
    }
    result.reason = Scrubbed(result.reason, token);
    return result;
}

} // namespace

KsefSendResult KsefClient::send(const QByteArray &invoiceXml,
                                const std::function<void(const QString &sessionRef, const QString &invoiceRef)> &sent,
                                bool offline)
{
    return Conversation({}, m_state->endpoint.token,
                        [&](KsefSendResult &result) { m_state->sendInvoice(invoiceXml, offline, result, sent); });
}

KsefSendResult KsefClient::follow(const QString &sessionRef, const QString &invoiceRef)
{
    KsefSendResult start;
    start.sessionReference = sessionRef;
    start.invoiceReference = invoiceRef;
    return Conversation(start, m_state->endpoint.token, [&](KsefSendResult &result) { m_state->followInvoice(result); });
}

void KsefClient::closeSession()
{
    if (m_state->sessionRef.isEmpty())
        return;
    const QByteArray path = "/sessions/online/" + PathPart(m_state->sessionRef) + "/close";
    m_state->forgetSession();
    try {
        m_state->call("POST", path);
    } catch (const KsefStop &) {
    } catch (const JobError &) {
    }
}

} // namespace ostrevo
