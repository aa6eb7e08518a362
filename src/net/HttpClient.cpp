#include "net/HttpClient.h"

#include <QFile>

namespace ostrevo {

namespace {

struct BodySink {
    QByteArray *body;
    qsizetype maxBytes;
};

size_t WriteToBody(char *data, size_t size, size_t count, void *sinkPointer)
{
    auto *sink = static_cast<BodySink *>(sinkPointer);
    const size_t total = size * count;
    if (qsizetype(total) > sink->maxBytes - sink->body->size())
        return 0; // a write error for libcurl: the transfer ends
    sink->body->append(data, qsizetype(total));
    return total;
}

NetOutcome Get(const QByteArray &address, const QByteArray &accept, curl_write_callback write, void *writeData,
               const NetTimeouts &timeouts, const std::function<bool()> &cancelled, const QString &caFile = {})
{
    NetOutcome outcome;
    CurlSession session(timeouts);
    session.cancelled = cancelled;
    CURL *curl = session.handle();
    CurlList headers;
    headers.append("Accept: " + accept);
    curl_easy_setopt(curl, CURLOPT_URL, address.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Mozilla/3.0 (compatible; Indy Library)");
    curl_easy_setopt(curl, CURLOPT_COOKIEFILE, ""); // cookies accepted within the exchange
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, write);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, writeData);
    const QByteArray trusted = QFile::encodeName(caFile);
    if (!trusted.isEmpty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, trusted.constData());
    const CURLcode code = session.perform();
    const long status = session.responseCode();
    outcome.httpStatus = status;
    outcome.ok = code == CURLE_OK && status >= 200 && status < 300;
    outcome.cancelled = session.wasCancelled();
    if (!outcome.ok)
        outcome.error = code == CURLE_OK ? "HTTP " + QByteArray::number(status) : session.errorText(code);
    return outcome;
}

} // namespace

NetOutcome HttpGet(const QByteArray &address, int localFd, const NetTimeouts &timeouts,
                   const std::function<bool()> &cancelled, const QString &caFile)
{
    int fd = localFd;
    return Get(address, "text/html, */*", &CurlWriteToFd, &fd, timeouts, cancelled, caFile);
}

NetOutcome HttpGetBody(const QByteArray &address, const QByteArray &accept, QByteArray &body,
                       const NetTimeouts &timeouts, const std::function<bool()> &cancelled, qsizetype maxBytes)
{
    body.clear();
    BodySink sink{&body, maxBytes};
    NetOutcome outcome = Get(address, accept, &WriteToBody, &sink, timeouts, cancelled);
    if (!outcome.ok)
        body.clear();
    return outcome;
}

} // namespace ostrevo
