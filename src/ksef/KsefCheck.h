#pragma once

#include "handling/Settings.h"

#include <QStringList>

namespace ostrevo {

// What --check says of a <KSEF> job: the invoice as it would go (number, parties, lines,
// totals), that its FA(3) file passes the schema, and what in [KSeF] would stop it.
// Throws ConversionError (the job) or JobError (the schema) with the reason.
struct KsefCheck {
    QStringList lines;
    QStringList warnings;
};
KsefCheck CheckKsefJob(const QString &jobPath, const Settings &settings, const QString &programDir);

} // namespace ostrevo
