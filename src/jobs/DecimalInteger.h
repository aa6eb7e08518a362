#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace ostrevo {

// A decimal integer in the 32-bit range: an optional '-' (and '+' when `plusSign`) and
// digits, nothing else. Nothing when the text is not one.
std::optional<std::int32_t> ParseDecimalInt32(const QByteArray &text, bool plusSign);

} // namespace ostrevo
