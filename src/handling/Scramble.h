#pragma once

#include <QByteArray>
#include <QString>

namespace ostrevo {

// The password scrambling of Ostrevo.ini, also applied by the legacy application to the
// LOGIN and PASSWORD values of FTP and download jobs, so the arithmetic is fixed: byte i
// (1-based) of n is shifted by (11 * i * n) mod 94 and wrapped inside 32..126.
QByteArray ScramblePassword(const QByteArray &plain);
QByteArray UnscramblePassword(const QByteArray &scrambled);

// Latin-1 views of the same, for values already held as text.
QString ScramblePassword(const QString &plain);
QString UnscramblePassword(const QString &scrambled);

// The scrambling only carries printable ASCII, and a "~" comes back as a space wherever
// the shift is not 0: true when the bytes survive a round trip.
bool SurvivesScrambling(const QByteArray &plain);

} // namespace ostrevo
