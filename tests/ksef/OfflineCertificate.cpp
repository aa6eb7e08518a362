#include "ksef/OfflineCertificate.h"

#include "support/TestSupport.h"

#include <QProcess>

#include <sys/stat.h>

namespace ostrevo::test {

namespace {

QByteArray Openssl(const QStringList &arguments, bool *ok = nullptr)
{
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"), arguments);
    openssl.waitForFinished(60000);
    if (ok)
        *ok = openssl.exitStatus() == QProcess::NormalExit && openssl.exitCode() == 0;
    return openssl.readAllStandardOutput();
}

// One DER INTEGER of a big-endian unsigned number.
QByteArray DerInteger(QByteArray number)
{
    while (number.size() > 1 && number.at(0) == 0)
        number.remove(0, 1);
    if (quint8(number.at(0)) & 0x80)
        number.prepend('\0');
    return QByteArray(1, 0x02) + char(number.size()) + number;
}

} // namespace

OfflineCertificate MakeOfflineCertificate(const QString &dir, const QString &keyType, const QString &keyUsage)
{
    OfflineCertificate made{dir + QStringLiteral("/offline.pem"), dir + QStringLiteral("/offline.key"), "01F20A5D352AE590"};
    QStringList arguments{QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-nodes"),
                          QStringLiteral("-newkey"), keyType};
    if (keyType == u"ec")
        arguments << QStringLiteral("-pkeyopt") << QStringLiteral("ec_paramgen_curve:P-256");
    arguments << QStringLiteral("-keyout") << made.key << QStringLiteral("-out") << made.certificate
              << QStringLiteral("-days") << QStringLiteral("30") << QStringLiteral("-subj")
              << QStringLiteral("/CN=Biuro Bilans/serialNumber=TINPL-5265877635") << QStringLiteral("-set_serial")
              << QStringLiteral("0x") + QString::fromLatin1(made.serial) << QStringLiteral("-addext")
              << QStringLiteral("keyUsage=") + keyUsage;
    Openssl(arguments);
    ::chmod(QFile::encodeName(made.key).constData(), 0600);
    return made;
}

bool SignatureHolds(const QByteArray &address, const OfflineCertificate &certificate, const QString &dir)
{
    const qsizetype cut = address.lastIndexOf('/');
    const QByteArray signed_ = address.left(cut).mid(address.indexOf("://") + 3);
    QByteArray signature = QByteArray::fromBase64(address.mid(cut + 1), QByteArray::Base64UrlEncoding);
    const QString data = dir + QStringLiteral("/signed.txt");
    const QString sig = dir + QStringLiteral("/signature.bin");
    const QString publicKey = dir + QStringLiteral("/public.pem");
    WriteFile(data, signed_);
    WriteFile(publicKey, Openssl({QStringLiteral("x509"), QStringLiteral("-in"), certificate.certificate,
                                  QStringLiteral("-pubkey"), QStringLiteral("-noout")}));
    QStringList arguments{QStringLiteral("dgst"), QStringLiteral("-sha256"), QStringLiteral("-verify"), publicKey};
    if (signature.size() == 64) {
        // openssl takes ECDSA signatures as DER.
        const QByteArray body = DerInteger(signature.left(32)) + DerInteger(signature.mid(32));
        signature = QByteArray(1, 0x30) + char(body.size()) + body;
    } else {
        arguments << QStringLiteral("-sigopt") << QStringLiteral("rsa_padding_mode:pss") << QStringLiteral("-sigopt")
                  << QStringLiteral("rsa_pss_saltlen:32") << QStringLiteral("-sigopt") << QStringLiteral("rsa_mgf1_md:sha256");
    }
    WriteFile(sig, signature);
    arguments << QStringLiteral("-signature") << sig << data;
    bool ok = false;
    Openssl(arguments, &ok);
    return ok;
}

} // namespace ostrevo::test
