#pragma once

// The real servers of the network tests (tests/services/*.py), each on 127.0.0.1 at a
// port it chooses, in a temporary directory of its own; stopped with their owner.

#include "handling/JobHandlers.h"
#include "support/PythonService.h"
#include "support/TestSupport.h"

#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace ostrevo::test {

// pyftpdlib serving root() for user "jan", password "tajne".
struct FtpServer {
    QTemporaryDir rootDir;
    std::unique_ptr<PythonService> service;
    FtpServer();
    QString root() const { return rootDir.path(); }
    int port() const { return service->port(); }
};

// aiosmtpd writing what it receives into outDir(); options as smtpd.py takes them.
struct SmtpServer {
    QTemporaryDir out;
    std::unique_ptr<PythonService> service;
    explicit SmtpServer(const QStringList &options = {});
    QString outDir() const { return out.path(); }
    int port() const { return service->port(); }
    // The messages received so far (NNNN.eml), in order.
    QStringList messages() const;
};

// Ostrevo.ini of a program directory that watches `jobs`, prints on "Ostrevo PDF" and
// mails through the own SMTP client to the server on 127.0.0.1:`port`.
QByteArray SmtpProgramSettings(const QString &jobs, int port);

// A self-signed certificate for 127.0.0.1: cert.pem and key.pem in dir().
struct TestCertificate {
    QTemporaryDir dirHolder;
    bool made = false;
    TestCertificate();
    QString cert() const { return dirHolder.path() + QStringLiteral("/cert.pem"); }
    QString key() const { return dirHolder.path() + QStringLiteral("/key.pem"); }
};

// A job directory with its context, as the monitor would set it for a handler.
struct JobPlace {
    QTemporaryDir dir;
    Settings settings;
    JobContext context;
    QStringList statusTexts;
    JobPlace();
    QString path(const QString &relative) const { return dir.path() + u'/' + relative; }
    // Writes NAME.txt with the bytes; returns its path.
    QString job(const QString &name, const QByteArray &bytes) const;
    QByteArray result(const QString &name) const { return ReadFile(path(QStringLiteral("Errors/") + name)); }
};

} // namespace ostrevo::test
