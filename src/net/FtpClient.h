#pragma once

#include "net/CurlSession.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

namespace ostrevo {

// Where an FTP job goes: the server ("host" or "host:port", port 21 by default), the
// directory path walked one CWD per piece, and the log-in.
struct FtpTarget {
    QByteArray server;
    QByteArray path;
    QByteArray login;
    QByteArray password;
    bool passive = true;
};

struct NetOutcome {
    bool ok = false;
    bool cancelled = false; // the program quit during the transfer
    QByteArray error;       // what failed, in the client's or the server's words
    long httpStatus = 0;    // HTTP: the status of the answer; 0 when none came
};

// What the FTP client reports while it works, as the status bar shows it.
using StatusSink = std::function<void(const QString &)>;

// The pieces of PATH, one CWD each: up to each "\" or "/"; a trailing separator adds no
// piece, while an empty PATH, a leading separator and two in a row each give an empty one.
QList<QByteArray> PathPieces(const QByteArray &path);

// Splits "host:port" ("[v6]:port" too); false when the port is not a number in 1..65535.
bool SplitServer(const QByteArray &server, QByteArray &host, int &port);

class FtpClient {
public:
    FtpClient(const NetTimeouts &timeouts, StatusSink status, std::function<bool()> cancelled);

    // Stores the open local file under `remoteName` in the directory reached by the walk.
    NetOutcome store(const FtpTarget &target, const QByteArray &remoteName, int localFd);
    // Retrieves `remoteName` from there into the open local file.
    NetOutcome retrieve(const FtpTarget &target, const QByteArray &remoteName, int localFd);

private:
    NetOutcome run(const FtpTarget &target, const QByteArray &remoteName, bool upload, int localFd);

    NetTimeouts m_timeouts;
    StatusSink m_status;
    std::function<bool()> m_cancelled;
};

} // namespace ostrevo
