#pragma once

#include <QByteArrayView>

#include <array>

namespace ostrevo {

// How many bytes one ESC command takes, ESC and the command letter included. The length
// comes from a strict table of every command's parameters (and, for graphics, lists and
// ESC ( x, from the parameters themselves), so that a stream never falls out of step.
struct EscpCommandSpan {
    qsizetype length = 2;
    bool known = true;     // false: not in the table, taken as a command without parameters
    bool complete = true;  // false: the stream ends inside the command
};

// The graphics density each of ESC K, L, Y, Z stands for (ESC ? changes them).
using GraphicsLetters = std::array<unsigned char, 4>;
inline constexpr GraphicsLetters DefaultGraphicsLetters = {0, 1, 2, 3};

// Bytes per column of an ESC * density.
int BytesPerGraphicsColumn(int density);

// The command at `at` (data[at] is ESC).
EscpCommandSpan MeasureEscCommand(QByteArrayView data, qsizetype at, const GraphicsLetters &letters);

} // namespace ostrevo
