#pragma once

#include <QByteArray>
#include <QDate>
#include <QImage>
#include <QString>

namespace ostrevo {

// The environment's QR host ("https://qr-test.ksef.mf.gov.pl", ...): KOD I and KOD II.
QByteArray KsefQrBase(const QString &environment);

// KOD I: the address under which anyone checks the invoice in KSeF, from the seller's NIP,
// the issue date and the SHA-256 of the very file sent ("{base}/invoice/NIP/DD-MM-RRRR/
// hash in Base64URL without padding"). The base is the environment's QR host.
QByteArray KsefInvoiceAddress(const QString &environment, const QString &sellerNip, const QDate &issued,
                              const QByteArray &xml);

// The QR symbol of `text` (error correction M), one pixel a module, with the four-module
// quiet zone around it: black on white.
QImage KsefQrImage(const QByteArray &text);

} // namespace ostrevo
