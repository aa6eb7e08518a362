#include "net/CurlSession.h"

#include <algorithm>

#include "jobs/UniqueFd.h"

#include <QList>

#include <cctype>
#include <mutex>
#include <sys/socket.h>

namespace ostrevo {

namespace {

// curl_global_init is not thread-safe in every build: once, before the first handle.
void GlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

QByteArray Chomp(QByteArray line)
{
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

} // namespace

CurlSession::CurlSession(const NetTimeouts &timeouts)
{
    GlobalInit();
    m_curl = curl_easy_init();
    curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, m_error);
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT, long(timeouts.connectSeconds));
    // A transfer that moves less than a byte a second for this long has stalled; an FTP
    // or SMTP server that does not answer a command in that time likewise.
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_TIME, long(timeouts.stallSeconds));
    curl_easy_setopt(m_curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(timeouts.stallSeconds));
    // A server that trickles a byte at a time never stalls, yet holds up every job behind
    // this one: the whole transfer has a limit too.
    curl_easy_setopt(m_curl, CURLOPT_TIMEOUT, long(std::max(0, timeouts.totalSeconds)));
    curl_easy_setopt(m_curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(m_curl, CURLOPT_PROXY, "");
    // Each job is one conversation: closed at its end, so that QUIT goes out now.
    curl_easy_setopt(m_curl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, &CurlSession::progress);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(m_curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(m_curl, CURLOPT_DEBUGFUNCTION, &CurlSession::debug);
    curl_easy_setopt(m_curl, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(m_curl, CURLOPT_OPENSOCKETFUNCTION, &CurlSession::openSocket);
    curl_easy_setopt(m_curl, CURLOPT_OPENSOCKETDATA, this);
}

CurlSession::~CurlSession()
{
    curl_easy_cleanup(m_curl);
}

CURLcode CurlSession::perform()
{
    m_error[0] = 0;
    m_lastReply.clear();
    m_lastRefusal.clear();
    m_partialIn.clear();
    m_cancelledSeen = false;
    return curl_easy_perform(m_curl);
}

int CurlSession::progress(void *self, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto *session = static_cast<CurlSession *>(self);
    if (session->cancelled && session->cancelled()) {
        session->m_cancelledSeen = true;
        return 1;
    }
    return 0;
}

int CurlSession::debug(CURL *, curl_infotype type, char *data, size_t size, void *self)
{
    auto *session = static_cast<CurlSession *>(self);
    if (type == CURLINFO_HEADER_OUT) {
        // Command lines of FTP and SMTP; HTTP sends its whole request head at once.
        const QByteArray text(data, qsizetype(size));
        if (session->sent)
            for (const QByteArray &line : text.split('\n'))
                if (!Chomp(line).isEmpty())
                    session->sent(Chomp(line));
    } else if (type == CURLINFO_HEADER_IN) {
        session->m_partialIn.append(data, qsizetype(size));
        qsizetype end;
        while ((end = session->m_partialIn.indexOf('\n')) >= 0) {
            const QByteArray line = Chomp(session->m_partialIn.left(end));
            session->m_partialIn.remove(0, end + 1);
            if (line.isEmpty())
                continue;
            session->m_lastReply = line;
            if (line.size() >= 3 && (line.at(0) == '4' || line.at(0) == '5') && std::isdigit(uchar(line.at(1))))
                session->m_lastRefusal = line;
            if (session->received)
                session->received(line);
        }
    }
    return 0;
}

curl_socket_t CurlSession::openSocket(void *self, curlsocktype, struct curl_sockaddr *address)
{
    auto *session = static_cast<CurlSession *>(self);
    if (session->connecting)
        session->connecting();
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

long CurlSession::responseCode() const
{
    long code = 0;
    curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &code);
    return code;
}

long CurlSession::osErrno() const
{
    long error = 0;
    curl_easy_getinfo(m_curl, CURLINFO_OS_ERRNO, &error);
    return error;
}

QByteArray CurlSession::errorText(CURLcode code) const
{
    // A refusal by the server says most in the server's own words.
    switch (code) {
    case CURLE_QUOTE_ERROR:
    case CURLE_LOGIN_DENIED:
    case CURLE_UPLOAD_FAILED:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_PORT_FAILED:
    case CURLE_FTP_COULDNT_SET_TYPE:
        if (!m_lastRefusal.isEmpty())
            return m_lastRefusal;
        break;
    default:
        break;
    }
    if (m_error[0])
        return QByteArray(m_error);
    return QByteArray(curl_easy_strerror(code));
}

size_t CurlWriteToFd(char *data, size_t size, size_t count, void *fdPointer)
{
    const size_t total = size * count;
    return WriteAll(*static_cast<int *>(fdPointer), data, total) ? total : 0;
}

} // namespace ostrevo
