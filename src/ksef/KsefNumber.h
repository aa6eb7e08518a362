#pragma once

#include <QByteArray>
#include <QString>

namespace ostrevo {

// A KSeF number ("5265877635-20260415-0100001AF629-39"): the seller's NIP, the date, twelve
// hexadecimal digits and a CRC-8 of what goes before, as two hexadecimal digits.
bool IsKsefNumber(const QString &text);

// CRC-8 with the polynomial 0x07 and no initial value, as the KSeF number's check uses.
quint8 KsefCrc8(const QByteArray &bytes);

} // namespace ostrevo
