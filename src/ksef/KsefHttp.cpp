#include "ksef/KsefHttp.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace ostrevo {

namespace {

// A UPO is the largest answer; anything beyond this is not KSeF talking.
constexpr qsizetype MaxReplyBytes = 32 * 1024 * 1024;

size_t WriteToReply(char *data, size_t size, size_t count, void *replyPointer)
{
    auto *body = static_cast<QByteArray *>(replyPointer);
    const size_t total = size * count;
    if (qsizetype(total) > MaxReplyBytes - body->size())
        return 0;
    body->append(data, qsizetype(total));
    return total;
}

QStringList Strings(const QJsonValue &value)
{
    QStringList texts;
    for (const QJsonValue &item : value.toArray())
        if (item.isString())
            texts.append(item.toString());
    return texts;
}

KsefApiError FromDetail(const QJsonObject &detail, const char *codeName, const char *descriptionName)
{
    KsefApiError error;
    error.code = detail.value(QLatin1StringView(codeName)).toInt();
    error.description = detail.value(QLatin1StringView(descriptionName)).toString();
    error.details = Strings(detail.value(QStringLiteral("details")));
    return error;
}

} // namespace

QString KsefApiError::text() const
{
    QString text = description;
    if (!details.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral(": ")) + details.join(QStringLiteral("; "));
    return text;
}

QString KsefApiError::withCode() const
{
    QString text = QStringLiteral("(%1 %2)").arg(code).arg(description);
    if (!details.isEmpty())
        text += QStringLiteral(": ") + details.join(QStringLiteral("; "));
    return text;
}

KsefApiError KsefStatus(const QJsonObject &status)
{
    return FromDetail(status, "code", "description");
}

QJsonObject KsefReply::json() const
{
    return QJsonDocument::fromJson(body).object();
}

KsefApiError KsefReply::error() const
{
    const QJsonObject root = json();
    // ExceptionResponse, the default for 400.
    const QJsonArray list = root.value(QStringLiteral("exception")).toObject().value(QStringLiteral("exceptionDetailList")).toArray();
    if (!list.isEmpty())
        return FromDetail(list.first().toObject(), "exceptionCode", "exceptionDescription");
    // Problem Details (401, 403, 410 always; 400 and 429 on request).
    const QJsonArray errors = root.value(QStringLiteral("errors")).toArray();
    if (!errors.isEmpty())
        return FromDetail(errors.first().toObject(), "code", "description");
    // The status form of 429.
    if (root.value(QStringLiteral("status")).isObject())
        return KsefStatus(root.value(QStringLiteral("status")).toObject());
    KsefApiError error;
    error.description = root.value(QStringLiteral("detail")).toString();
    if (error.description.isEmpty())
        error.description = root.value(QStringLiteral("title")).toString();
    return error;
}

KsefReply KsefExchange(const KsefRequest &request, const NetTimeouts &timeouts, const QString &caFile,
                       const std::function<bool()> &cancelled)
{
    KsefReply reply;
    CurlSession session(timeouts);
    session.cancelled = cancelled;
    session.received = [&reply](const QByteArray &line) {
        // Each answer's head starts with its status line; only the last answer counts.
        if (line.startsWith("HTTP/"))
            reply.retryAfterSeconds = -1;
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare("Retry-After", Qt::CaseInsensitive) == 0) {
            bool ok = false;
            const int seconds = line.mid(colon + 1).trimmed().toInt(&ok);
            if (ok && seconds >= 0)
                reply.retryAfterSeconds = seconds;
        }
    };
    CURL *curl = session.handle();
    CurlList headers;
    headers.append("Accept: application/json, application/xml");
    // No "100 Continue" round trip before an invoice goes out.
    headers.append("Expect:");
    if (!request.bearer.isEmpty())
        headers.append("Authorization: Bearer " + request.bearer);
    curl_easy_setopt(curl, CURLOPT_URL, request.url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Ostrevo");
    if (request.method == "POST") {
        headers.append("Content-Type: application/json");
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.constData());
    } else if (request.method != "GET") {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.constData());
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteToReply);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    const QByteArray trusted = QFile::encodeName(caFile);
    if (!trusted.isEmpty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, trusted.constData());
    reply.curlCode = session.perform();
    reply.cancelled = session.wasCancelled();
    reply.status = session.responseCode();
    if (reply.curlCode != CURLE_OK)
        reply.transportError = session.errorText(reply.curlCode);
    return reply;
}

} // namespace ostrevo
