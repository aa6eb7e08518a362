#pragma once

#include "textprint/TextPrintState.h"

#include <QString>

#include <cstdint>

namespace ostrevo {

// The job's two-sided request, decided by its first line that is not empty once a "//"
// comment is cut off: "<DX->" (Off) wins over "<DX+>" (On), in any letter case.
// Throws IoError when the file cannot be read.
DuplexRequest ScanDuplexRequest(const QString &textPath, int jobText = -1);

// The two-sided value to print with (0 one-sided, 1 short edge, 2 long edge): [Duplex]
// Kartka 1 turns on the long edge; no request keeps the printer's own default.
std::uint8_t DuplexToApply(DuplexRequest request, int kartka, std::uint8_t printerDefault);

} // namespace ostrevo
