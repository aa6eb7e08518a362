#include "ksef/KsefCheck.h"

#include "jobs/Errors.h"
#include "jobs/JobFile.h"
#include "ksef/Fa3Schema.h"
#include "ksef/Fa3Writer.h"
#include "ksef/KsefJobReader.h"
#include "ksef/KsefSender.h"
#include "ksef/NipNumber.h"

namespace ostrevo {

KsefCheck CheckKsefJob(const QString &jobPath, const Settings &settings, const QString &programDir)
{
    LineReader reader(jobPath);
    const KsefInvoice invoice = ReadKsefJob(reader);
    const QByteArray xml = WriteFa3(invoice, QDateTime::currentDateTimeUtc());
    if (const QString invalid = Fa3Schema().validate(xml); !invalid.isEmpty())
        throw ConversionError(QStringLiteral("faktura niezgodna ze schematem FA(3): %1").arg(invalid));
    KsefCheck check;
    const QString buyer = !invoice.buyer.nip.isEmpty() ? QStringLiteral("NIP %1").arg(invoice.buyer.nip)
                          : !invoice.buyer.foreignId.isEmpty() ? QStringLiteral("%1 %2").arg(invoice.buyer.country, invoice.buyer.foreignId)
                                                               : QStringLiteral("konsument bez NIP");
    check.lines.append(QStringLiteral("Faktura: %1 z %2 (%3)")
                           .arg(invoice.number, invoice.issued.toString(Qt::ISODate),
                                invoice.correction ? QStringLiteral("korygująca") : QStringLiteral("VAT")));
    check.lines.append(QStringLiteral("Sprzedawca: NIP %1, %2").arg(invoice.seller.nip, invoice.seller.name));
    check.lines.append(QStringLiteral("Nabywca: %1%2").arg(buyer, invoice.buyer.name.isEmpty() ? QString() : QStringLiteral(", ") + invoice.buyer.name));
    check.lines.append(QStringLiteral("Pozycji: %1").arg(invoice.lines.size()));
    for (const KsefRateTotal &t : invoice.totals)
        check.lines.append(QStringLiteral("Stawka %1: netto %2, VAT %3%4")
                               .arg(t.rate.code, QString::fromLatin1(KsefDecimal{t.net, 2}.text()),
                                    QString::fromLatin1(KsefDecimal{t.vat, 2}.text()),
                                    invoice.exchangeRate ? QStringLiteral(" (%1 PLN)").arg(QString::fromLatin1(KsefDecimal{t.vatZloty, 2}.text()))
                                                         : QString()));
    if (invoice.exchangeRate)
        check.lines.append(QStringLiteral("Kurs: 1 %1 = %2 PLN").arg(invoice.currency, QString::fromLatin1(invoice.exchangeRate->shortText())));
    check.lines.append(QStringLiteral("Do zapłaty: %1 %2").arg(QString::fromLatin1(KsefDecimal{invoice.gross, 2}.text()), invoice.currency));
    check.lines.append(QStringLiteral("Schemat FA(3): plik zgodny (%1 B)").arg(xml.size()));
    QString problem;
    if (!KsefEndpointOf(settings.ksef, programDir, problem))
        check.warnings.append(problem);
    else if (invoice.seller.nip != NormalisedNip(settings.ksef.nip))
        check.warnings.append(QStringLiteral("NIP sprzedawcy %1 to nie NIP z [KSeF] NIP=%2").arg(invoice.seller.nip, settings.ksef.nip));
    return check;
}

} // namespace ostrevo
