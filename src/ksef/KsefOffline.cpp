#include "ksef/KsefOffline.h"

#include "handling/Settings.h"
#include "jobs/Errors.h"
#include "ksef/NipNumber.h"
#include "ksef/OpenSslHandles.h"
#include "ksef/KsefSender.h"
#include "ksef/KsefVerification.h"
#include "net/rates/RateCalendar.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace ostrevo {

namespace {

BioHandle MemoryOf(const QByteArray &bytes)
{
    return BioHandle(BIO_new_mem_buf(bytes.constData(), int(bytes.size())));
}

QByteArray ReadWhole(const QString &path, QString &problem)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("%1: %2").arg(path, file.errorString());
        return {};
    }
    return file.read(1 << 20);
}

// PEM or DER, as KSeF hands it out or as openssl converts it.
CertificateHandle ReadCertificate(const QByteArray &bytes)
{
    CertificateHandle certificate(PEM_read_bio_X509(MemoryOf(bytes).get(), nullptr, nullptr, nullptr));
    if (!certificate) {
        const auto *der = reinterpret_cast<const unsigned char *>(bytes.constData());
        certificate.reset(d2i_X509(nullptr, &der, long(bytes.size())));
    }
    return certificate;
}

// The serial as KSeF writes it in the address: 16 upper-case hexadecimal digits.
QByteArray SerialOf(X509 *certificate)
{
    const BigNumber number(ASN1_INTEGER_to_BN(X509_get0_serialNumber(certificate), nullptr));
    if (!number)
        return {};
    char *hex = BN_bn2hex(number.get());
    QByteArray serial(hex);
    OPENSSL_free(hex);
    if (serial.size() > 16 || serial.startsWith('-'))
        return {};
    return serial.rightJustified(16, '0');
}

// Why this certificate cannot sign KOD II; empty when it can.
QString CertificateProblem(X509 *certificate, EVP_PKEY *key)
{
    if (X509_cmp_current_time(X509_get0_notBefore(certificate)) > 0)
        return QStringLiteral("certyfikat offline nie jest jeszcze ważny");
    if (X509_cmp_current_time(X509_get0_notAfter(certificate)) < 0)
        return QStringLiteral("certyfikat offline wygasł");
    // KSeF's certificates of type Offline carry non-repudiation; its authentication ones do not.
    if ((X509_get_extension_flags(certificate) & EXFLAG_KUSAGE) && !(X509_get_key_usage(certificate) & KU_NON_REPUDIATION))
        return QStringLiteral("to nie jest certyfikat KSeF typu Offline (brak użycia nonRepudiation); KOD II podpisuje "
                              "się tylko takim");
    if (X509_check_private_key(certificate, key) != 1)
        return QStringLiteral("klucz z KluczOffline= nie należy do certyfikatu z CertyfikatOffline=");
    if (EVP_PKEY_get_base_id(key) == EVP_PKEY_RSA) {
        if (EVP_PKEY_get_bits(key) < 2048)
            return QStringLiteral("klucz RSA certyfikatu offline ma mniej niż 2048 bitów");
        return {};
    }
    if (EVP_PKEY_get_base_id(key) == EVP_PKEY_EC) {
        char group[64] = {};
        size_t length = 0;
        if (EVP_PKEY_get_group_name(key, group, sizeof group, &length) == 1 && QByteArray(group, qsizetype(length)) == "prime256v1")
            return {};
        return QStringLiteral("klucz EC certyfikatu offline nie jest na krzywej P-256");
    }
    return QStringLiteral("klucz certyfikatu offline nie jest kluczem RSA ani EC");
}

// RSASSA-PSS with SHA-256, MGF1-SHA-256 and a 32-byte salt, or ECDSA P-256 as r‖s (64 bytes).
QByteArray Sign(EVP_PKEY *key, const QByteArray &text)
{
    DigestContext context(EVP_MD_CTX_new());
    EVP_PKEY_CTX *keyContext = nullptr;
    if (!context || EVP_DigestSignInit(context.get(), &keyContext, EVP_sha256(), nullptr, key) != 1)
        return {};
    const bool rsa = EVP_PKEY_get_base_id(key) == EVP_PKEY_RSA;
    if (rsa
        && (EVP_PKEY_CTX_set_rsa_padding(keyContext, RSA_PKCS1_PSS_PADDING) != 1
            || EVP_PKEY_CTX_set_rsa_pss_saltlen(keyContext, 32) != 1
            || EVP_PKEY_CTX_set_rsa_mgf1_md(keyContext, EVP_sha256()) != 1))
        return {};
    const auto *in = reinterpret_cast<const unsigned char *>(text.constData());
    size_t size = 0;
    if (EVP_DigestSign(context.get(), nullptr, &size, in, size_t(text.size())) != 1)
        return {};
    QByteArray signature(qsizetype(size), '\0');
    if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char *>(signature.data()), &size, in, size_t(text.size())) != 1)
        return {};
    signature.resize(qsizetype(size));
    if (rsa)
        return signature;
    const auto *der = reinterpret_cast<const unsigned char *>(signature.constData());
    EcdsaSignature parts(d2i_ECDSA_SIG(nullptr, &der, long(signature.size())));
    if (!parts)
        return {};
    QByteArray plain(64, '\0');
    auto *out = reinterpret_cast<unsigned char *>(plain.data());
    if (BN_bn2binpad(ECDSA_SIG_get0_r(parts.get()), out, 32) != 32 || BN_bn2binpad(ECDSA_SIG_get0_s(parts.get()), out + 32, 32) != 32)
        return {};
    return plain;
}

} // namespace

QDate KsefOfflineDeadline(const QDate &issued)
{
    QDate day = issued.addDays(1);
    while (day.dayOfWeek() >= 6 || PolishHolidays(day.year()).contains(day))
        day = day.addDays(1);
    return day;
}

QByteArray KsefCertificateAddress(const KsefSettings &settings, const QString &programDir, const QString &sellerNip,
                                  const QByteArray &xml, QString &problem)
{
    if (settings.offlineCertificate.isEmpty() || settings.offlineKey.isEmpty()) {
        problem = QStringLiteral("bez certyfikatu KSeF typu Offline ([KSeF] CertyfikatOffline= i KluczOffline=) faktura "
                                 "offline nie ma kodu KOD II");
        return {};
    }
    const QDir dir(programDir);
    const QString certificatePath = dir.absoluteFilePath(settings.offlineCertificate);
    const QString keyPath = dir.absoluteFilePath(settings.offlineKey);
    if (problem = SecretFileProblem(keyPath, QStringLiteral("KluczOffline")); !problem.isEmpty())
        return {};
    const QByteArray certificateBytes = ReadWhole(certificatePath, problem);
    const QByteArray keyBytes = problem.isEmpty() ? ReadWhole(keyPath, problem) : QByteArray();
    if (!problem.isEmpty())
        return {};
    const CertificateHandle certificate = ReadCertificate(certificateBytes);
    if (!certificate) {
        problem = QStringLiteral("[KSeF] CertyfikatOffline=%1: to nie jest certyfikat X.509 (PEM ani DER)").arg(certificatePath);
        return {};
    }
    const KeyHandle key(PEM_read_bio_PrivateKey(MemoryOf(keyBytes).get(), nullptr, nullptr, nullptr));
    if (!key) {
        problem = QStringLiteral("[KSeF] KluczOffline=%1: to nie jest klucz prywatny PEM bez hasła").arg(keyPath);
        return {};
    }
    if (problem = CertificateProblem(certificate.get(), key.get()); !problem.isEmpty())
        return {};
    const QByteArray serial = SerialOf(certificate.get());
    if (serial.isEmpty()) {
        problem = QStringLiteral("numer seryjny certyfikatu offline ma więcej niż 16 cyfr szesnastkowych");
        return {};
    }
    const QByteArray hash = QCryptographicHash::hash(xml, QCryptographicHash::Sha256)
                                .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    QByteArray address = KsefQrBase(settings.environment) + "/certificate/Nip/" + NormalisedNip(settings.nip).toLatin1() + '/'
                         + sellerNip.toLatin1() + '/' + serial + '/' + hash;
    const QByteArray signature = Sign(key.get(), address.mid(address.indexOf("://") + 3));
    if (signature.isEmpty()) {
        problem = QStringLiteral("podpis kodu KOD II kluczem offline nie powiódł się");
        return {};
    }
    return address + '/' + signature.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

} // namespace ostrevo
