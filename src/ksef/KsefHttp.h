#pragma once

#include "net/CurlSession.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace ostrevo {

// One request to the KSeF API: JSON out (or nothing), JSON or XML back.
struct KsefRequest {
    QByteArray method = "GET";
    QByteArray url;
    QByteArray body;   // JSON; empty: none
    QByteArray bearer; // the token for Authorization; empty: a public call
};

// KSeF's own account of a refusal, whichever of its error bodies it came in.
struct KsefApiError {
    int code = 0;
    QString description;
    QStringList details;
    QString text() const;     // "description: details; ..." for a reason
    QString withCode() const; // "(code description): details; ..."
};

// The "status" object of KSeF's answers ({code, description, details}).
KsefApiError KsefStatus(const QJsonObject &status);

struct KsefReply {
    CURLcode curlCode = CURLE_OK;
    bool cancelled = false;
    QByteArray transportError; // libcurl's words when no HTTP answer came
    long status = 0;
    QByteArray body;
    int retryAfterSeconds = -1; // the Retry-After header, when sent as seconds

    bool answered() const { return curlCode == CURLE_OK; }
    bool timedOut() const { return curlCode == CURLE_OPERATION_TIMEDOUT; }
    QJsonObject json() const;
    KsefApiError error() const;
};

// Carries one request out on a CurlSession of its own (no connection is reused, as in
// every other network job here).
KsefReply KsefExchange(const KsefRequest &request, const NetTimeouts &timeouts, const QString &caFile,
                       const std::function<bool()> &cancelled);

} // namespace ostrevo
