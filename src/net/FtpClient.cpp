#include "net/FtpClient.h"

#include <cerrno>
#include <unistd.h>

namespace ostrevo {

namespace {

size_t ReadFromFd(char *buffer, size_t size, size_t count, void *fdPointer)
{
    const int fd = *static_cast<int *>(fdPointer);
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size * count);
        if (n >= 0)
            return size_t(n);
        if (errno != EINTR)
            return CURL_READFUNC_ABORT;
    }
}

// The URL of the remote file in the directory the walk reached: with CURLFTPMETHOD_NOCWD
// the library sends it as given, after our own CWD commands.
QByteArray FtpUrl(const QByteArray &host, int port, const QByteArray &remoteName, QByteArray &error)
{
    CURLU *url = curl_url();
    QByteArray result;
    const bool v6 = host.contains(':');
    const QByteArray hostPart = v6 ? '[' + host + ']' : host;
    if (curl_url_set(url, CURLUPART_SCHEME, "ftp", 0) != CURLUE_OK
        || curl_url_set(url, CURLUPART_HOST, hostPart.constData(), 0) != CURLUE_OK) {
        error = "Bad server name \"" + host + '"';
    } else {
        curl_url_set(url, CURLUPART_PORT, QByteArray::number(port).constData(), 0);
        curl_url_set(url, CURLUPART_PATH, ('/' + remoteName).constData(), CURLU_URLENCODE);
        char *text = nullptr;
        if (curl_url_get(url, CURLUPART_URL, &text, 0) == CURLUE_OK)
            result = text;
        else
            error = "Bad remote file name \"" + remoteName + '"';
        curl_free(text);
    }
    curl_url_cleanup(url);
    return result;
}

} // namespace

QList<QByteArray> PathPieces(const QByteArray &path)
{
    QList<QByteArray> pieces;
    qsizetype start = 0;
    do {
        qsizetype end = start;
        while (end < path.size() && path.at(end) != '/' && path.at(end) != '\\')
            ++end;
        pieces.append(path.mid(start, end - start));
        start = end + 1;
    } while (start < path.size());
    return pieces;
}

bool SplitServer(const QByteArray &server, QByteArray &host, int &port)
{
    port = 21;
    QByteArray portText;
    if (server.startsWith('[')) {
        const qsizetype close = server.indexOf(']');
        if (close < 0)
            return false;
        host = server.mid(1, close - 1);
        if (close + 1 < server.size()) {
            if (server.at(close + 1) != ':')
                return false;
            portText = server.mid(close + 2);
        }
    } else if (server.count(':') == 1) {
        const qsizetype colon = server.indexOf(':');
        host = server.left(colon);
        portText = server.mid(colon + 1);
    } else {
        host = server;
    }
    if (!portText.isNull()) {
        bool ok = false;
        port = portText.toInt(&ok);
        if (!ok || port < 1 || port > 65535)
            return false;
    }
    return !host.isEmpty();
}

FtpClient::FtpClient(const NetTimeouts &timeouts, StatusSink status, std::function<bool()> cancelled)
    : m_timeouts(timeouts), m_status(std::move(status)), m_cancelled(std::move(cancelled))
{
}

NetOutcome FtpClient::store(const FtpTarget &target, const QByteArray &remoteName, int localFd)
{
    return run(target, remoteName, true, localFd);
}

NetOutcome FtpClient::retrieve(const FtpTarget &target, const QByteArray &remoteName, int localFd)
{
    return run(target, remoteName, false, localFd);
}

NetOutcome FtpClient::run(const FtpTarget &target, const QByteArray &remoteName, bool upload, int localFd)
{
    NetOutcome outcome;
    QByteArray host;
    int port = 21;
    if (!SplitServer(target.server, host, port)) {
        outcome.error = "Bad server name \"" + target.server + '"';
        return outcome;
    }
    const QByteArray url = FtpUrl(host, port, remoteName, outcome.error);
    if (url.isEmpty())
        return outcome;

    const auto show = [this](const char *utf8) {
        if (m_status)
            m_status(QString::fromUtf8(utf8));
    };
    CurlSession session(m_timeouts);
    CURL *curl = session.handle();
    bool connected = false;
    session.cancelled = m_cancelled;
    session.connecting = [&] { show("Łączenie z serwerem..."); };
    session.received = [&](const QByteArray &) {
        if (!connected) {
            connected = true;
            show("Połączony z serwerem");
        }
    };
    session.sent = [&](const QByteArray &line) {
        const QByteArray command = line.left(5).toUpper();
        if (command == "STOR ")
            show("Wysyłanie pliku...");
        else if (command == "RETR ")
            show("Pobieranie pliku...");
        else if (command.startsWith("QUIT"))
            show("Trwa rozłączanie...");
    };

    CurlList walk;
    for (const QByteArray &piece : PathPieces(target.path))
        walk.append("CWD " + piece);
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(curl, CURLOPT_USERNAME, target.login.constData());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, target.password.constData());
    curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(curl, CURLOPT_QUOTE, walk.get());
    if (!target.passive)
        curl_easy_setopt(curl, CURLOPT_FTPPORT, "-");
    int fd = localFd;
    if (upload) {
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, &ReadFromFd);
        curl_easy_setopt(curl, CURLOPT_READDATA, &fd);
    } else {
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CurlWriteToFd);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &fd);
    }

    show("Wyszukiwanie hosta...");
    const CURLcode code = session.perform();
    if (connected)
        show("Rozłączono");
    outcome.ok = code == CURLE_OK;
    outcome.cancelled = session.wasCancelled();
    if (!outcome.ok)
        outcome.error = session.errorText(code);
    return outcome;
}

} // namespace ostrevo
