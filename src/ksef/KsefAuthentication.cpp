// Authentication with a KSeF token: the public keys, the challenge, "token|timestampMs"
// encrypted with RSA-OAEP, the operation polled until it ends, and the tokens redeemed; the
// access token renewed with the refresh token, or by authenticating again.
#include "ksef/KsefClientState.h"
#include "ksef/KsefCrypto.h"
#include "ksef/KsefDate.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace ostrevo {

namespace {

// An access token this close to its end is renewed before a call rather than after a 401.
constexpr qint64 RenewMarginS = 60;

void TakeToken(const QJsonObject &token, QByteArray &value, QDateTime &validUntil)
{
    value = token.value(QStringLiteral("token")).toString().toUtf8();
    validUntil = ParseKsefDateTime(token.value(QStringLiteral("validUntil")).toString());
}

} // namespace

void KsefClient::State::fetchKeys()
{
    const KsefReply reply = call("GET", "/security/public-key-certificates", {}, KsefBearer::None);
    if (reply.status != 200)
        unexpected(reply, QStringLiteral("pobranie kluczy publicznych"));
    keys.clear();
    for (const QJsonValue &item : QJsonDocument::fromJson(reply.body).array()) {
        const QJsonObject entry = item.toObject();
        KsefPublicKey key;
        for (const QJsonValue &usage : entry.value(QStringLiteral("usage")).toArray())
            key.usage.append(usage.toString());
        key.der = QByteArray::fromBase64(entry.value(QStringLiteral("certificate")).toString().toLatin1());
        key.id = entry.value(QStringLiteral("publicKeyId")).toString();
        key.validFrom = ParseKsefDateTime(entry.value(QStringLiteral("validFrom")).toString());
        key.validTo = ParseKsefDateTime(entry.value(QStringLiteral("validTo")).toString());
        if (!key.der.isEmpty())
            keys.append(key);
    }
}

const KsefPublicKey &KsefClient::State::publicKey(const QString &usage)
{
    if (keys.isEmpty())
        fetchKeys();
    // During a rotation both keys are listed: the newest one valid now.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const KsefPublicKey *best = nullptr;
    for (const KsefPublicKey &key : keys) {
        const bool valid = (!key.validFrom.isValid() || key.validFrom <= now) && (!key.validTo.isValid() || now < key.validTo);
        if (key.usage.contains(usage) && valid && (!best || best->validFrom < key.validFrom))
            best = &key;
    }
    if (!best)
        StopUnreachable(0, QStringLiteral("KSeF nie podał ważnego klucza publicznego do %1").arg(usage));
    return *best;
}

void KsefClient::State::ensureAccess()
{
    if (accessToken.isEmpty())
        authenticate();
    else if (accessValidUntil.isValid() && accessValidUntil.addSecs(-RenewMarginS) <= QDateTime::currentDateTimeUtc())
        renewAccess();
}

void KsefClient::State::renewAccess()
{
    accessToken.clear();
    const bool refreshUsable = !refreshToken.isEmpty()
        && (!refreshValidUntil.isValid() || QDateTime::currentDateTimeUtc() < refreshValidUntil);
    if (refreshUsable) {
        const KsefReply reply = call("POST", "/auth/token/refresh", {}, KsefBearer::Refresh);
        if (reply.status == 200) {
            TakeToken(reply.json().value(QStringLiteral("accessToken")).toObject(), accessToken, accessValidUntil);
            if (!accessToken.isEmpty())
                return;
        }
    }
    // A refresh token KSeF no longer honours: the token authenticates again.
    authenticate();
}

void KsefClient::State::authenticate()
{
    accessToken.clear();
    refreshToken.clear();
    for (int attempt = 0;; ++attempt) {
        if (attempt > 0 || keys.isEmpty())
            fetchKeys();
        const KsefPublicKey &key = publicKey(QStringLiteral("KsefTokenEncryption"));
        const KsefReply challengeReply = call("POST", "/auth/challenge", {}, KsefBearer::None);
        if (challengeReply.status != 200)
            unexpected(challengeReply, QStringLiteral("wyzwanie uwierzytelniania"));
        const QJsonObject challenge = challengeReply.json();
        const QString challengeText = challenge.value(QStringLiteral("challenge")).toString();
        const qint64 timestampMs = challenge.value(QStringLiteral("timestampMs")).toInteger();
        if (challengeText.isEmpty() || timestampMs <= 0)
            unexpected(challengeReply, QStringLiteral("wyzwanie uwierzytelniania"));
        const QByteArray sealed = RsaOaepSha256Encrypt(key.der, endpoint.token + '|' + QByteArray::number(timestampMs));
        const QJsonObject request{
            {QStringLiteral("challenge"), challengeText},
            {QStringLiteral("contextIdentifier"),
             QJsonObject{{QStringLiteral("type"), QStringLiteral("Nip")}, {QStringLiteral("value"), QString::fromLatin1(endpoint.nip)}}},
            {QStringLiteral("encryptedToken"), QString::fromLatin1(sealed.toBase64())},
            {QStringLiteral("publicKeyId"), key.id},
        };
        const KsefReply started = call("POST", "/auth/ksef-token", request, KsefBearer::None);
        const KsefApiError error = started.error();
        // 21470: the key was withdrawn since the list was read.
        if (started.status == 400 && error.code == 21470 && attempt == 0)
            continue;
        if (started.status == 400)
            StopUnreachable(error.code, QStringLiteral("KSeF nie przyjął tokenu ") + error.withCode());
        const QJsonObject operation = started.json();
        const QByteArray reference = operation.value(QStringLiteral("referenceNumber")).toString().toLatin1();
        operationToken = operation.value(QStringLiteral("authenticationToken")).toObject().value(QStringLiteral("token")).toString().toUtf8();
        if (started.status != 202 || reference.isEmpty() || operationToken.isEmpty())
            unexpected(started, QStringLiteral("uwierzytelnienie tokenem"));
        waitForAuthentication(reference);
        redeem();
        return;
    }
}

void KsefClient::State::waitForAuthentication(const QByteArray &reference)
{
    for (int query = 0; query < pacing.pollLimit; ++query) {
        if (query > 0)
            pause(pacing.pollPause(query));
        const KsefReply reply = call("GET", "/auth/" + reference, {}, KsefBearer::Operation);
        if (reply.status != 200)
            unexpected(reply, QStringLiteral("stan uwierzytelniania"));
        const QJsonObject status = reply.json().value(QStringLiteral("status")).toObject();
        const int code = status.value(QStringLiteral("code")).toInt();
        if (code == 200)
            return;
        if (code != 100)
            StopUnreachable(code, QStringLiteral("KSeF nie przyjął tokenu ") + KsefStatus(status).withCode());
    }
    StopUnreachable(100, QStringLiteral("KSeF nie zakończył uwierzytelniania po %1 zapytaniach").arg(pacing.pollLimit));
}

void KsefClient::State::redeem()
{
    const KsefReply reply = call("POST", "/auth/token/redeem", {}, KsefBearer::Operation);
    const QJsonObject tokens = reply.json();
    TakeToken(tokens.value(QStringLiteral("accessToken")).toObject(), accessToken, accessValidUntil);
    TakeToken(tokens.value(QStringLiteral("refreshToken")).toObject(), refreshToken, refreshValidUntil);
    if (reply.status != 200 || accessToken.isEmpty())
        unexpected(reply, QStringLiteral("pobranie tokenów dostępu"));
}

} // namespace ostrevo
