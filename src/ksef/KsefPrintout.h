#pragma once

#include "ksef/KsefInvoice.h"

#include <QByteArray>
#include <QString>

namespace ostrevo {

// The invoice as a PDF for the buyer: parties, lines, totals, payment, and the KOD I QR
// code with the KSeF number under it ("OFFLINE" while KSeF has not given one); an invoice
// issued offline also carries KOD II ("CERTYFIKAT") when it has one. Written whole or not
// at all; throws JobError (OutputUnavailable for a full disk).
void WriteKsefPrintout(const QString &path, const KsefInvoice &invoice, const QByteArray &verificationAddress,
                       const QString &ksefNumber, const QByteArray &certificateAddress = {});

} // namespace ostrevo
