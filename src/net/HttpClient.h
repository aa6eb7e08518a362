#pragma once

#include "net/CurlSession.h"
#include "net/FtpClient.h"

#include <QByteArray>

namespace ostrevo {

// GET of one address into an open local file, with the request head the legacy
// program's servers have always seen. Redirects are followed (ten at most, so a loop
// ends); a response that is not a success is a failure.
NetOutcome HttpGet(const QByteArray &address, int localFd, const NetTimeouts &timeouts,
                   const std::function<bool()> &cancelled);

} // namespace ostrevo
