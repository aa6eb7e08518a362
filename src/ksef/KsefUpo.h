#pragma once

#include <QByteArray>
#include <QString>

namespace ostrevo {

// When KSeF gave `ksefNumber` its number, as the UPO says it (DataNadaniaNumeruKSeF of the
// document with that number); empty when the UPO does not say. A duplicate's answer names
// only the original's number, and its UPO then gives the date.
QString AcquisitionDateInUpo(const QByteArray &upo, const QString &ksefNumber);

} // namespace ostrevo
