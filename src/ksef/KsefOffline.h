#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>

namespace ostrevo {

struct KsefSettings;

// The last day an invoice issued offline on `issued` may reach KSeF: the next business day
// after it (not a Saturday, a Sunday or a public holiday).
QDate KsefOfflineDeadline(const QDate &issued);

// KOD II of an invoice issued offline: "{QR host}/certificate/Nip/{context NIP}/{seller NIP}/
// {certificate serial}/{SHA-256 of the file}/{signature}", the signature made with the
// private key of the issuer's KSeF certificate of type Offline ([KSeF] CertyfikatOffline=
// and KluczOffline=, relative to the program directory): RSASSA-PSS (SHA-256, salt 32) or
// ECDSA P-256 as r‖s, over the address without "https://". Empty, with `problem`, when no
// certificate is set up or it cannot sign (wrong type, expired, key not its own).
QByteArray KsefCertificateAddress(const KsefSettings &settings, const QString &programDir, const QString &sellerNip,
                                  const QByteArray &xml, QString &problem);

} // namespace ostrevo
