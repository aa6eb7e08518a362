#include "ksef/KsefStandIn.h"

#include <QJsonDocument>

#include <curl/curl.h>

namespace ostrevo::test {

namespace {

size_t Append(char *data, size_t size, size_t count, void *into)
{
    static_cast<QByteArray *>(into)->append(data, qsizetype(size * count));
    return size * count;
}

QByteArray Fetch(const QByteArray &url, const QByteArray *post)
{
    QByteArray body;
    CURL *curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    curl_slist *headers = curl_slist_append(nullptr, "Content-Type: application/json");
    if (post) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, post->constData());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, long(post->size()));
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    }
    curl_easy_perform(curl);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return body;
}

} // namespace

KsefStandIn::KsefStandIn(const QStringList &options)
    : service(std::make_unique<PythonService>(
          QStringLiteral("ksefd.py"), QStringList{stateDir.path(), QStringLiteral("--nip"), QString::fromLatin1(Nip),
                                                  QStringLiteral("--token"), QString::fromLatin1(Token)}
                                          + options))
{
}

QByteArray KsefStandIn::baseUrl() const
{
    return "http://127.0.0.1:" + QByteArray::number(service->port()) + "/v2";
}

QJsonObject KsefStandIn::state() const
{
    return QJsonDocument::fromJson(Fetch("http://127.0.0.1:" + QByteArray::number(service->port()) + "/_state", nullptr))
        .object();
}

void KsefStandIn::control(const QByteArray &json) const
{
    Fetch("http://127.0.0.1:" + QByteArray::number(service->port()) + "/_control", &json);
}

} // namespace ostrevo::test
