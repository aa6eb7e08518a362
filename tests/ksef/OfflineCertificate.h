#pragma once

// A KSeF certificate of type Offline as openssl makes one (TEST accepts self-made ones), and
// the check of a KOD II address's signature against it, with openssl's own tools.

#include <QByteArray>
#include <QString>

namespace ostrevo::test {

struct OfflineCertificate {
    QString certificate; // PEM
    QString key;         // PEM, mode 0600
    QByteArray serial;   // as the address writes it
};

// `keyType` "rsa:2048" or "ec"; `keyUsage` as openssl's -addext keyUsage= takes it.
OfflineCertificate MakeOfflineCertificate(const QString &dir, const QString &keyType = QStringLiteral("rsa:2048"),
                                          const QString &keyUsage = QStringLiteral("critical,nonRepudiation"));

// Whether the last segment of `address` is a valid signature of the rest (without
// "https://"), by the certificate's key: RSASSA-PSS salt 32 or ECDSA P-256 as r‖s.
bool SignatureHolds(const QByteArray &address, const OfflineCertificate &certificate, const QString &dir);

} // namespace ostrevo::test
