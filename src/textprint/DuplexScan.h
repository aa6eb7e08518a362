#pragma once

#include "devices/DuplexRequest.h"

#include <QString>

#include <cstdint>

namespace ostrevo {

// The job's two-sided request, decided by its first line that is not empty once a "//"
// comment is cut off: "<DX->" (Off) wins over "<DX+>" (On), in any letter case.
// Throws IoError when the file cannot be read.
DuplexRequest ScanDuplexRequest(const QString &textPath, int jobText = -1);

} // namespace ostrevo
