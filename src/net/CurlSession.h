#pragma once

#include <QByteArray>
#include <QString>

#include <curl/curl.h>
#include <functional>

namespace ostrevo {

// How long a connection may take and how long a transfer may stall before it ends.
struct NetTimeouts {
    int connectSeconds = 30;
    int stallSeconds = 60;
    int totalSeconds = 600; // the whole transfer; 0 = no limit
    // When the program quits, a message being sent may finish within this, as a job may.
    int quitGraceMs = 10000;
};

// The time-outs of one job: the overall limit as [Siec] LimitCzasu sets it.
inline NetTimeouts WithLimit(NetTimeouts timeouts, int totalSeconds)
{
    timeouts.totalSeconds = totalSeconds;
    return timeouts;
}

// One libcurl transfer with what every network job needs: the time-outs, a progress
// check that gives up when the program quits, the server's replies seen as they come
// (for the status texts and the error texts), and an error text a user can act on.
class CurlSession {
public:
    explicit CurlSession(const NetTimeouts &timeouts);
    ~CurlSession();
    CurlSession(const CurlSession &) = delete;
    CurlSession &operator=(const CurlSession &) = delete;

    CURL *handle() const { return m_curl; }

    // Polled during the transfer (about once a second, and with every block); true ends it.
    std::function<bool()> cancelled = [] { return false; };
    // Called for each command line sent to the server and each reply line received.
    std::function<void(const QByteArray &line)> sent;
    std::function<void(const QByteArray &line)> received;
    // Called once when the connection to the server is being made (after the host name
    // was looked up).
    std::function<void()> connecting;

    // Runs the transfer; CURLE_OK on success.
    CURLcode perform();

    bool wasCancelled() const { return m_cancelledSeen; }
    long responseCode() const;
    long osErrno() const;
    // The library's description of the failure, or the server's last refusal when the
    // server refused.
    QByteArray errorText(CURLcode code) const;

private:
    static int progress(void *self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    static int debug(CURL *, curl_infotype type, char *data, size_t size, void *self);
    static curl_socket_t openSocket(void *self, curlsocktype purpose, struct curl_sockaddr *address);

    CURL *m_curl = nullptr;
    char m_error[CURL_ERROR_SIZE] = {};
    QByteArray m_lastReply;
    QByteArray m_lastRefusal;
    QByteArray m_partialIn;
    bool m_cancelledSeen = false;
};

// libcurl's write callback (CURLOPT_WRITEFUNCTION) into the descriptor that
// CURLOPT_WRITEDATA points to; a failed write ends the transfer with a write error.
size_t CurlWriteToFd(char *data, size_t size, size_t count, void *fdPointer);

// A list of strings for libcurl (recipients, commands), freed with its owner.
class CurlList {
public:
    CurlList() = default;
    ~CurlList() { curl_slist_free_all(m_list); }
    CurlList(const CurlList &) = delete;
    CurlList &operator=(const CurlList &) = delete;
    void append(const QByteArray &item) { m_list = curl_slist_append(m_list, item.constData()); }
    curl_slist *get() const { return m_list; }

private:
    curl_slist *m_list = nullptr;
};

} // namespace ostrevo
