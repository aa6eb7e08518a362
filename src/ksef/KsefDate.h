#pragma once

#include <QDateTime>
#include <QString>

namespace ostrevo {

// A date and time as KSeF writes it ("2025-07-11T12:23:56.0154302+00:00": up to seven
// fractional digits, an offset or Z); invalid when it is not one.
QDateTime ParseKsefDateTime(const QString &text);

} // namespace ostrevo
