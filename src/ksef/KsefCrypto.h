#pragma once

#include <QByteArray>

namespace ostrevo {

// What KSeF asks of a client's cryptography, on OpenSSL. Failures throw JobError.

QByteArray Sha256(const QByteArray &data);

// Bytes from the system's random source (session keys and IVs).
QByteArray RandomBytes(int count);

// AES-256-CBC with PKCS#7 padding; the IV is not part of the output (KSeF takes it apart).
QByteArray Aes256CbcEncrypt(const QByteArray &key, const QByteArray &iv, const QByteArray &plain);

// RSAES-OAEP with SHA-256 and MGF1-SHA-256, empty label, to the public key of an X.509
// certificate given as DER: the KSeF token and the session key go to KSeF this way.
QByteArray RsaOaepSha256Encrypt(const QByteArray &certificateDer, const QByteArray &plain);

} // namespace ostrevo
