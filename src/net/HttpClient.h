#pragma once

#include "net/CurlSession.h"
#include "net/FtpClient.h"

#include <QByteArray>
#include <QString>

namespace ostrevo {

// GET of one address into an open local file, with the request head the legacy
// program's servers have always seen. Redirects are followed (ten at most, so a loop
// ends); a response that is not a success is a failure. HTTPS trusts the system's
// certificates, or those of `caFile` when one is given ([Mail] CAFile).
NetOutcome HttpGet(const QByteArray &address, int localFd, const NetTimeouts &timeouts,
                   const std::function<bool()> &cancelled, const QString &caFile = {});

// GET of a small document (an API's answer) into memory, asking for `accept`. The same
// rules as HttpGet; a body larger than `maxBytes` ends the transfer as a failure, so a
// server cannot fill the memory.
NetOutcome HttpGetBody(const QByteArray &address, const QByteArray &accept, QByteArray &body,
                       const NetTimeouts &timeouts, const std::function<bool()> &cancelled,
                       qsizetype maxBytes = 32 * 1024 * 1024);

} // namespace ostrevo
