#pragma once

#include <QByteArray>

#include <algorithm>

namespace ostrevo {

// The letter whose width is a printout's column.
inline const QByteArray LetterX = QByteArrayLiteral("X");

// Positions stay far inside int even on absurd lines; beyond any page nothing shows anyway.
inline constexpr qint64 PositionLimit = qint64(1) << 28;

inline int ClampPosition(qint64 value)
{
    return int(std::clamp(value, -PositionLimit, PositionLimit));
}

} // namespace ostrevo
