#include "ksef/KsefVerification.h"

#include "jobs/Errors.h"

#include <QCryptographicHash>

#include <memory>
#include <qrencode.h>

namespace ostrevo {

QByteArray KsefQrBase(const QString &environment)
{
    return environment == u"produkcja" ? "https://qr.ksef.mf.gov.pl"
           : environment == u"demo"    ? "https://qr-demo.ksef.mf.gov.pl"
                                       : "https://qr-test.ksef.mf.gov.pl";
}

QByteArray KsefInvoiceAddress(const QString &environment, const QString &sellerNip, const QDate &issued,
                              const QByteArray &xml)
{
    const QByteArray base = KsefQrBase(environment);
    const QByteArray hash = QCryptographicHash::hash(xml, QCryptographicHash::Sha256)
                                .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    return base + "/invoice/" + sellerNip.toLatin1() + '/' + issued.toString(QStringLiteral("dd-MM-yyyy")).toLatin1() + '/'
           + hash;
}

QImage KsefQrImage(const QByteArray &text)
{
    const std::unique_ptr<QRcode, void (*)(QRcode *)> code(
        QRcode_encodeData(int(text.size()), reinterpret_cast<const unsigned char *>(text.constData()), 0, QR_ECLEVEL_M),
        QRcode_free);
    if (!code)
        throw JobError(QStringLiteral("Nie można utworzyć kodu QR dla %1").arg(QString::fromLatin1(text)));
    constexpr int Quiet = 4;
    const int side = code->width + 2 * Quiet;
    QImage image(side, side, QImage::Format_Grayscale8);
    image.fill(255);
    for (int y = 0; y < code->width; ++y) {
        uchar *row = image.scanLine(y + Quiet);
        for (int x = 0; x < code->width; ++x) {
            // The lowest bit of each module says dark.
            if (code->data[y * code->width + x] & 1)
                row[x + Quiet] = 0;
        }
    }
    return image;
}

} // namespace ostrevo
