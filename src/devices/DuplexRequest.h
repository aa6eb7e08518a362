#pragma once

#include <cstdint>

namespace ostrevo {

// What a job asks of two-sided printing: off, on, or the printer's own setting.
enum class DuplexRequest : std::int8_t { None = -1, Off = 0, On = 1 };

// The two-sided value to print with (0 one-sided, 1 short edge, 2 long edge): [Duplex]
// Kartka 1 turns on the long edge; no request keeps the printer's own default.
std::uint8_t DuplexToApply(DuplexRequest request, int kartka, std::uint8_t printerDefault);

} // namespace ostrevo
