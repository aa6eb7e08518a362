#include "escp/EscpCommands.h"

namespace ostrevo {

namespace {

// Parameter bytes after the command letter of the fixed-length commands; -1 for the ones
// whose length the parameters give, -2 for letters outside the table.
constexpr std::array<signed char, 128> MakeFixedParameters()
{
    std::array<signed char, 128> table{};
    for (auto &entry : table)
        entry = -2;
    for (unsigned char c : {'@', 'E', 'F', 'G', 'H', '4', '5', 'P', 'M', 'g', 'T', '0', '1', '2', 'O', '6',
                            '7', '8', '9', '<', '#', '=', '>', '\x0e', '\x0f', '\x0a', '\x0c', '\x02'})
        table[c] = 0;
    for (unsigned char c : {'x', 'p', 'k', '-', 'S', 'W', 'w', 'q', 'r', 't', 'R', '%', 'U', 's', 'i', 'a',
                            'I', 'm', '3', '+', 'A', 'J', 'j', 'N', 'l', 'Q', ' ', '/', '!', 'h', '~', '\x19'})
        table[c] = 1;
    for (unsigned char c : {'f', 'e', '$', '\\', 'c', '?'})
        table[c] = 2;
    for (unsigned char c : {'X', ':'})
        table[c] = 3;
    for (unsigned char c : {'(', '*', 'K', 'L', 'Y', 'Z', '^', 'D', 'B', 'b', '&', '.', 'C'})
        table[c] = -1;
    return table;
}

constexpr std::array<signed char, 128> FixedParameters = MakeFixedParameters();

unsigned char At(QByteArrayView data, qsizetype i)
{
    return static_cast<unsigned char>(data[i]);
}

EscpCommandSpan Incomplete(qsizetype length)
{
    return {length, true, false};
}

// A list of ascending values ended by NUL (or by a value not above the one before it),
// starting at `first`.
EscpCommandSpan MeasureList(QByteArrayView data, qsizetype at, qsizetype first, int maxValues)
{
    int previous = -1;
    for (qsizetype i = first; i < data.size(); ++i) {
        const int value = At(data, i);
        if (value == 0 || value <= previous || i - first >= maxValues)
            return {i + 1 - at, true, true};
        previous = value;
    }
    return Incomplete(data.size() - at);
}

EscpCommandSpan MeasureGraphics(QByteArrayView data, qsizetype at, qsizetype header, qsizetype columnsAt,
                                int bytesPerColumn)
{
    if (data.size() < columnsAt + 2)
        return Incomplete(data.size() - at);
    const qsizetype columns = At(data, columnsAt) + 256 * At(data, columnsAt + 1);
    const qsizetype length = header + columns * bytesPerColumn;
    if (data.size() - at < length)
        return Incomplete(data.size() - at);
    return {length, true, true};
}

// ESC & NUL n m, then per character three header bytes and three bytes a column.
EscpCommandSpan MeasureUserCharacters(QByteArrayView data, qsizetype at)
{
    if (data.size() - at < 5)
        return Incomplete(data.size() - at);
    const int first = At(data, at + 3);
    const int last = At(data, at + 4);
    qsizetype i = at + 5;
    for (int code = first; code <= last; ++code) {
        if (i + 3 > data.size())
            return Incomplete(data.size() - at);
        i += 3 + qsizetype(At(data, i + 1)) * 3;
        if (i > data.size())
            return Incomplete(data.size() - at);
    }
    return {i - at, true, true};
}

// ESC . c v h m nL nH: raster graphics, stored (c = 0) or run-length coded (c = 1).
EscpCommandSpan MeasureRaster(QByteArrayView data, qsizetype at)
{
    if (data.size() - at < 8)
        return Incomplete(data.size() - at);
    const int mode = At(data, at + 2);
    const qsizetype rows = At(data, at + 5);
    const qsizetype dots = At(data, at + 6) + 256 * At(data, at + 7);
    const qsizetype wanted = rows * ((dots + 7) / 8);
    qsizetype i = at + 8;
    if (mode == 0) {
        if (data.size() - i < wanted)
            return Incomplete(data.size() - at);
        return {8 + wanted, true, true};
    }
    if (mode != 1)
        return {8, false, true}; // other compressions: the data that follows cannot be measured
    qsizetype produced = 0;
    while (produced < wanted) {
        if (i >= data.size())
            return Incomplete(data.size() - at);
        const int counter = At(data, i++);
        if (counter >= 128) {
            produced += 257 - counter;
            ++i;
        } else {
            produced += counter + 1;
            i += counter + 1;
        }
    }
    if (i > data.size())
        return Incomplete(data.size() - at);
    return {i - at, true, true};
}

} // namespace

int BytesPerGraphicsColumn(int density)
{
    if (density >= 64)
        return 6;
    if (density >= 32)
        return 3;
    return 1;
}

EscpCommandSpan MeasureEscCommand(QByteArrayView data, qsizetype at, const GraphicsLetters &letters)
{
    if (data.size() - at < 2)
        return Incomplete(data.size() - at);
    const unsigned char letter = At(data, at + 1);
    const int fixed = letter < 128 ? FixedParameters[letter] : -2;
    if (fixed >= 0) {
        if (data.size() - at < 2 + fixed)
            return Incomplete(data.size() - at);
        return {2 + fixed, true, true};
    }
    if (fixed == -2)
        return {2, false, true};

    switch (letter) {
    case '(': {
        if (data.size() - at < 5)
            return Incomplete(data.size() - at);
        const qsizetype length = 5 + At(data, at + 3) + 256 * At(data, at + 4);
        if (data.size() - at < length)
            return Incomplete(data.size() - at);
        return {length, true, true};
    }
    case 'C': // ESC C n, or ESC C NUL n (inches)
        if (data.size() - at < 3)
            return Incomplete(data.size() - at);
        if (At(data, at + 2) != 0)
            return {3, true, true};
        if (data.size() - at < 4)
            return Incomplete(data.size() - at);
        return {4, true, true};
    case '*':
        if (data.size() - at < 3)
            return Incomplete(data.size() - at);
        return MeasureGraphics(data, at, 5, at + 3, BytesPerGraphicsColumn(At(data, at + 2)));
    case 'K':
    case 'L':
    case 'Y':
    case 'Z': {
        const int index = letter == 'K' ? 0 : letter == 'L' ? 1 : letter == 'Y' ? 2 : 3;
        return MeasureGraphics(data, at, 4, at + 2, BytesPerGraphicsColumn(letters[index]));
    }
    case '^':
        return MeasureGraphics(data, at, 5, at + 3, 2);
    case 'D':
        return MeasureList(data, at, at + 2, 32);
    case 'B':
        return MeasureList(data, at, at + 2, 16);
    case 'b':
        return MeasureList(data, at, at + 3, 16);
    case '&':
        return MeasureUserCharacters(data, at);
    case '.':
        return MeasureRaster(data, at);
    default:
        return {2, false, true};
    }
}

} // namespace ostrevo
