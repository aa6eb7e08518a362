#pragma once

// The stand-in for KSeF (tests/services/ksefd.py) on 127.0.0.1, with its control and its
// record of what it received.

#include "support/PythonService.h"

#include <QByteArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <memory>

namespace ostrevo::test {

struct KsefStandIn {
    static constexpr const char *Nip = "5265877635";
    static constexpr const char *Token = "20261201-EC-0000000000-0000000000-00|nip-5265877635|"
                                         "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    QTemporaryDir stateDir;
    std::unique_ptr<PythonService> service;

    explicit KsefStandIn(const QStringList &options = {});
    bool running() const { return service->running(); }
    QByteArray baseUrl() const;
    // GET /_state: what it received and accepted.
    QJsonObject state() const;
    // POST /_control: faults and forced outcomes for the next requests.
    void control(const QByteArray &json) const;
};

} // namespace ostrevo::test
