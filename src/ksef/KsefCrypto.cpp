#include "ksef/KsefCrypto.h"

#include "jobs/Errors.h"
#include "ksef/OpenSslHandles.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>


namespace ostrevo {

namespace {

[[noreturn]] void Fail(const char *what)
{
    throw JobError(QStringLiteral("Szyfrowanie dla KSeF nie powiodło się: %1").arg(QLatin1StringView(what)));
}

} // namespace

QByteArray Sha256(const QByteArray &data)
{
    QByteArray digest(32, '\0');
    unsigned int size = 0;
    if (!EVP_Digest(data.constData(), size_t(data.size()), reinterpret_cast<unsigned char *>(digest.data()), &size,
                    EVP_sha256(), nullptr)
        || size != 32)
        Fail("SHA-256");
    return digest;
}

QByteArray RandomBytes(int count)
{
    QByteArray bytes(count, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char *>(bytes.data()), count) != 1)
        Fail("brak liczb losowych");
    return bytes;
}

QByteArray Aes256CbcEncrypt(const QByteArray &key, const QByteArray &iv, const QByteArray &plain)
{
    if (key.size() != 32 || iv.size() != 16)
        Fail("klucz AES-256 ma 32 bajty, a wektor 16");
    CipherContext context(EVP_CIPHER_CTX_new());
    const auto *k = reinterpret_cast<const unsigned char *>(key.constData());
    const auto *v = reinterpret_cast<const unsigned char *>(iv.constData());
    if (!context || EVP_EncryptInit_ex2(context.get(), EVP_aes_256_cbc(), k, v, nullptr) != 1)
        Fail("AES-256-CBC");
    QByteArray out(plain.size() + 16, '\0');
    auto *o = reinterpret_cast<unsigned char *>(out.data());
    int written = 0;
    int last = 0;
    if (EVP_EncryptUpdate(context.get(), o, &written, reinterpret_cast<const unsigned char *>(plain.constData()),
                          int(plain.size()))
            != 1
        || EVP_EncryptFinal_ex(context.get(), o + written, &last) != 1)
        Fail("AES-256-CBC");
    out.resize(written + last);
    return out;
}

QByteArray RsaOaepSha256Encrypt(const QByteArray &certificateDer, const QByteArray &plain)
{
    const auto *der = reinterpret_cast<const unsigned char *>(certificateDer.constData());
    CertificateHandle certificate(d2i_X509(nullptr, &der, long(certificateDer.size())));
    EVP_PKEY *key = certificate ? X509_get0_pubkey(certificate.get()) : nullptr;
    if (!key)
        Fail("certyfikat klucza publicznego KSeF jest nieczytelny");
    KeyContext context(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
    if (!context || EVP_PKEY_encrypt_init(context.get()) != 1
        || EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_OAEP_PADDING) != 1
        || EVP_PKEY_CTX_set_rsa_oaep_md(context.get(), EVP_sha256()) != 1
        || EVP_PKEY_CTX_set_rsa_mgf1_md(context.get(), EVP_sha256()) != 1)
        Fail("klucz publiczny KSeF nie jest kluczem RSA");
    const auto *in = reinterpret_cast<const unsigned char *>(plain.constData());
    size_t size = 0;
    if (EVP_PKEY_encrypt(context.get(), nullptr, &size, in, size_t(plain.size())) != 1)
        Fail("RSA-OAEP");
    QByteArray out(qsizetype(size), '\0');
    if (EVP_PKEY_encrypt(context.get(), reinterpret_cast<unsigned char *>(out.data()), &size, in,
                         size_t(plain.size()))
        != 1)
        Fail("RSA-OAEP");
    out.resize(qsizetype(size));
    return out;
}

} // namespace ostrevo
