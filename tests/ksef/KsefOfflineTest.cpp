// Invoices issued while KSeF is out of reach: their deadline, and KOD II signed with the
// issuer's offline certificate, checked with openssl; certificates that must not sign are
// refused with their reason.
#include "handling/Settings.h"
#include "ksef/KsefOffline.h"
#include "ksef/KsefUpo.h"
#include "ksef/OfflineCertificate.h"

#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

KsefSettings OfflineSettings(const OfflineCertificate &certificate)
{
    KsefSettings settings;
    settings.environment = QStringLiteral("test");
    settings.nip = QStringLiteral("526-587-76-35");
    settings.offlineCertificate = certificate.certificate;
    settings.offlineKey = certificate.key;
    return settings;
}

} // namespace

TEST(KsefOffline, TheDeadlineIsTheNextBusinessDay)
{
    EXPECT_EQ(KsefOfflineDeadline(QDate(2026, 12, 1)), QDate(2026, 12, 2));  // Tuesday
    EXPECT_EQ(KsefOfflineDeadline(QDate(2026, 12, 11)), QDate(2026, 12, 14)); // Friday: Monday
    // 24 December is a holiday from 2025, then Christmas and a Sunday.
    EXPECT_EQ(KsefOfflineDeadline(QDate(2026, 12, 23)), QDate(2026, 12, 28));
    EXPECT_EQ(KsefOfflineDeadline(QDate(2026, 12, 31)), QDate(2027, 1, 4));  // New Year, a weekend
    EXPECT_EQ(KsefOfflineDeadline(QDate(2027, 1, 5)), QDate(2027, 1, 7));    // Epiphany
}

TEST(KsefOffline, KodIIIsSignedByTheOfflineCertificateWithRsaOrEc)
{
    const QByteArray xml = "<Faktura>1</Faktura>";
    const QByteArray hash = QCryptographicHash::hash(xml, QCryptographicHash::Sha256)
                                .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    for (const QString &keyType : {QStringLiteral("rsa:2048"), QStringLiteral("ec")}) {
        QTemporaryDir dir;
        const OfflineCertificate certificate = MakeOfflineCertificate(dir.path(), keyType);
        QString problem;
        const QByteArray address = KsefCertificateAddress(OfflineSettings(certificate), dir.path(),
                                                          QStringLiteral("5265877635"), xml, problem);
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        EXPECT_TRUE(address.startsWith("https://qr-test.ksef.mf.gov.pl/certificate/Nip/5265877635/5265877635/"
                                       "01F20A5D352AE590/" + hash + '/'))
            << address.constData();
        EXPECT_TRUE(SignatureHolds(address, certificate, dir.path())) << keyType.toStdString() << address.constData();
        // A signature of another invoice does not hold for this one.
        QByteArray forged = address;
        forged.replace(hash, QByteArray(hash).replace('A', 'B').replace('a', 'b'));
        EXPECT_FALSE(SignatureHolds(forged, certificate, dir.path()));
    }
}

TEST(KsefOffline, ACertificateThatMustNotSignIsRefusedWithItsReason)
{
    QTemporaryDir dir;
    const OfflineCertificate good = MakeOfflineCertificate(dir.path());
    const auto problemWith = [&](const KsefSettings &settings) {
        QString problem;
        const QByteArray address = KsefCertificateAddress(settings, dir.path(), QStringLiteral("5265877635"), "<F/>", problem);
        EXPECT_TRUE(address.isEmpty()) << address.constData();
        return problem;
    };
    EXPECT_TRUE(problemWith(KsefSettings{}).contains(QStringLiteral("CertyfikatOffline="))) << "not set up";

    // An authentication certificate may not sign KOD II.
    QTemporaryDir other;
    const OfflineCertificate authentication =
        MakeOfflineCertificate(other.path(), QStringLiteral("rsa:2048"), QStringLiteral("critical,digitalSignature"));
    EXPECT_TRUE(problemWith(OfflineSettings(authentication)).contains(QStringLiteral("typu Offline")));

    // The key of another certificate.
    KsefSettings mixed = OfflineSettings(good);
    mixed.offlineKey = authentication.key;
    EXPECT_TRUE(problemWith(mixed).contains(QStringLiteral("nie należy do certyfikatu")));

    // A key others may read.
    ::chmod(QFile::encodeName(good.key).constData(), 0644);
    EXPECT_TRUE(problemWith(OfflineSettings(good)).contains(QStringLiteral("chmod 600")));
    ::chmod(QFile::encodeName(good.key).constData(), 0600);

    // Not a certificate at all.
    WriteFile(dir.filePath(QStringLiteral("junk.pem")), "-----BEGIN CERTIFICATE-----\nxyz\n");
    KsefSettings junk = OfflineSettings(good);
    junk.offlineCertificate = QStringLiteral("junk.pem");
    EXPECT_TRUE(problemWith(junk).contains(QStringLiteral("nie jest certyfikat X.509")));
    QString problem;
    EXPECT_FALSE(KsefCertificateAddress(OfflineSettings(good), dir.path(), QStringLiteral("5265877635"), "<F/>", problem).isEmpty())
        << problem.toStdString();
}

TEST(KsefOffline, AnUposAcquisitionDateIsThatOfItsNumber)
{
    const QByteArray upo = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                           "<Potwierdzenie xmlns=\"http://upo.schematy.mf.gov.pl/KSeF/v4-3\">"
                           "<Dokument><NumerKSeFDokumentu>5265877635-20261201-0100A0D6723E-11</NumerKSeFDokumentu>"
                           "<DataNadaniaNumeruKSeF>2026-12-01T10:00:00.000+01:00</DataNadaniaNumeruKSeF></Dokument>"
                           "<Dokument><DataNadaniaNumeruKSeF>2026-12-02T11:05:41.045+01:00</DataNadaniaNumeruKSeF>"
                           "<NumerKSeFDokumentu>5265877635-20261202-0200A0D6723E-C2</NumerKSeFDokumentu></Dokument>"
                           "</Potwierdzenie>";
    EXPECT_EQ(AcquisitionDateInUpo(upo, QStringLiteral("5265877635-20261202-0200A0D6723E-C2")),
              QStringLiteral("2026-12-02T11:05:41.045+01:00"));
    EXPECT_TRUE(AcquisitionDateInUpo(upo, QStringLiteral("5265877635-20261202-0200A0D6723E-C3")).isEmpty());
    EXPECT_TRUE(AcquisitionDateInUpo(upo.left(120), QStringLiteral("5265877635-20261201-0100A0D6723E-11")).isEmpty());
}
