#include "net/HttpClient.h"

namespace ostrevo {

NetOutcome HttpGet(const QByteArray &address, int localFd, const NetTimeouts &timeouts,
                   const std::function<bool()> &cancelled)
{
    NetOutcome outcome;
    CurlSession session(timeouts);
    session.cancelled = cancelled;
    CURL *curl = session.handle();
    CurlList headers;
    headers.append("Accept: text/html, */*");
    int fd = localFd;
    curl_easy_setopt(curl, CURLOPT_URL, address.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Mozilla/3.0 (compatible; Indy Library)");
    curl_easy_setopt(curl, CURLOPT_COOKIEFILE, ""); // cookies accepted within the exchange
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CurlWriteToFd);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &fd);
    const CURLcode code = session.perform();
    const long status = session.responseCode();
    outcome.ok = code == CURLE_OK && status >= 200 && status < 300;
    outcome.cancelled = session.wasCancelled();
    if (!outcome.ok)
        outcome.error = code == CURLE_OK ? "HTTP " + QByteArray::number(status) : session.errorText(code);
    return outcome;
}

} // namespace ostrevo
