#pragma once

#include <QString>

namespace ostrevo {

// A Polish tax number as DOS programs write it ("526-587-76-35", "PL 5265877635") reduced
// to its ten digits; empty when it is not ten digits with a valid check digit.
QString NormalisedNip(const QString &text);

} // namespace ostrevo
