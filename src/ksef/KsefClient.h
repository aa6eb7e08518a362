#pragma once

#include "net/CurlSession.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <algorithm>
#include <functional>
#include <memory>

namespace ostrevo {

// Where invoices go and as whom: the environment's base address ("https://api-test.ksef.
// mf.gov.pl/v2", or a stand-in's), the seller's NIP (the context) and the KSeF token.
struct KsefEndpoint {
    QByteArray baseUrl;
    QByteArray nip;
    QByteArray token; // never logged, never in a message
    QString caFile;   // trust these certificates instead of the system's (empty: the system's)
};

// How an invoice ended, as far as this run could tell.
struct KsefSendResult {
    enum Outcome {
        Accepted,   // a KSeF number (also for a duplicate of an invoice KSeF already holds)
        Rejected,   // KSeF refused this invoice for good: sending it again changes nothing
        Unreachable, // not now: network, time-out, 5xx, 429 beyond patience, maintenance
        Cancelled,  // the program is quitting; nothing is lost, the invoice stays queued
    };
    Outcome outcome = Unreachable;
    int statusCode = 0;     // KSeF's status or exception code (200, 440, 450, 21405, ...)
    QString reason;         // in the user's words, with KSeF's own description and details
    QString ksefNumber;
    QString acquisitionDate; // as KSeF gave it (ISO 8601)
    QByteArray upo;         // the invoice's UPO XML, when it could be fetched
    bool duplicate = false; // KSeF held it already (440): the number is the original's
    QString sessionReference;
    QString invoiceReference;
};

// Polls and waits, short in tests, as the service suggests in production.
struct KsefPacing {
    int pollIntervalMs = 1000;
    int pollLimit = 120;     // status queries per invoice before it counts as unreachable
    int maxRetryAfterS = 60; // a 429 asking for longer makes the invoice wait for a later run
    int serverErrorRetries = 2;

    // The wait before status query `query` (from 1): a quarter second, half a second, then
    // the interval; KSeF mostly has an answer within the first second.
    int pollPause(int query) const { return query <= 2 ? std::min(pollIntervalMs, 250 << (query - 1)) : pollIntervalMs; }
};

// One conversation with KSeF: authenticates with the token (challenge, RSA-OAEP of
// "token|timestampMs", polling, redeem; refreshes the access token when it expires), keeps
// one online session open across invoices (AES-256-CBC key wrapped with RSA-OAEP), sends,
// polls each invoice to its end and fetches its UPO. Fetches the public keys again when
// KSeF says a key was rotated (21470). Not thread-safe: one sender thread owns it.
class KsefClient {
public:
    KsefClient(KsefEndpoint endpoint, NetTimeouts timeouts, KsefPacing pacing = {});
    ~KsefClient();
    KsefClient(const KsefClient &) = delete;
    KsefClient &operator=(const KsefClient &) = delete;

    // Polled during transfers and waits; true ends them with Cancelled.
    std::function<bool()> cancelled = [] { return false; };

    // Sends one FA(3) invoice and follows it to its end. `sent` is called as soon as KSeF
    // has taken the invoice (its answer 202), before the polling, so that the caller can
    // record the references: after a crash the invoice is followed, not sent again.
    // `offline`: the invoice was issued while KSeF could not be reached (offlineMode).
    KsefSendResult send(const QByteArray &invoiceXml,
                        const std::function<void(const QString &sessionRef, const QString &invoiceRef)> &sent,
                        bool offline = false);

    // Follows an invoice sent by an earlier run to its end (status, then UPO).
    KsefSendResult follow(const QString &sessionRef, const QString &invoiceRef);

    // Closes the open session, if any (KSeF then makes the session's UPO). Failures are
    // ignored: an open session closes itself after its time.
    void closeSession();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace ostrevo
