#pragma once

// The inside of KsefClient, shared by its files: the calls, the authentication and the
// session. Only KsefClient*.cpp include this.

#include "ksef/KsefClient.h"
#include "ksef/KsefHttp.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QStringList>

namespace ostrevo {

// Ends a send or a follow with this outcome; thrown inside the client, caught at its edge.
struct KsefStop {
    KsefSendResult::Outcome outcome;
    int code;
    QString reason;
};

[[noreturn]] void StopUnreachable(int code, const QString &reason);

// Which token a call carries.
enum class KsefBearer { None, Operation, Refresh, Access };

// A certificate of KSeF's for encrypting to it.
struct KsefPublicKey {
    QStringList usage;
    QByteArray der;
    QString id;
    QDateTime validFrom;
    QDateTime validTo;
};

struct KsefClient::State {
    KsefEndpoint endpoint;
    NetTimeouts timeouts;
    KsefPacing pacing;
    const std::function<bool()> *cancelled = nullptr;

    QList<KsefPublicKey> keys;
    QByteArray operationToken; // GET /auth/{ref} and the redeem
    QByteArray accessToken;
    QByteArray refreshToken;
    QDateTime accessValidUntil;
    QDateTime refreshValidUntil;

    QString sessionRef;
    QByteArray sessionKey;
    QByteArray sessionIv;
    QDateTime sessionValidUntil;

    bool isCancelled() const { return *cancelled && (*cancelled)(); }
    // Waits, looking at `cancelled` every few tens of milliseconds; throws Cancelled.
    void pause(int milliseconds) const;

    // One call with what every call needs: a valid access token (renewed once on 401),
    // waits asked for by 429 within patience, a few more tries on 5xx. Network failures,
    // time-outs and exhausted retries throw Unreachable; other answers are returned.
    KsefReply call(const QByteArray &method, const QByteArray &path, const QJsonObject &body = {},
                   KsefBearer bearer = KsefBearer::Access);
    [[noreturn]] void unexpected(const KsefReply &reply, const QString &what) const;

    // KsefAuthentication.cpp
    void fetchKeys();
    const KsefPublicKey &publicKey(const QString &usage);
    void ensureAccess();
    void renewAccess();
    void authenticate();
    void waitForAuthentication(const QByteArray &reference);
    void redeem();

    // KsefClient.cpp
    void openSession();
    void forgetSession();
    void sendInvoice(const QByteArray &xml, bool offline, KsefSendResult &result,
                     const std::function<void(const QString &, const QString &)> &sent);
    void followInvoice(KsefSendResult &result);
    void takeDuplicate(const QJsonObject &status, KsefSendResult &result);
    QByteArray fetchUpo(const QByteArray &path);
};

} // namespace ostrevo
