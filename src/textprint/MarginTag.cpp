#include "textprint/MarginTag.h"

#include <limits>

namespace ostrevo {

namespace {

// A whole number as the legacy program read it: blanks before it, an optional sign and
// decimal digits that fit in 32 bits; anything else (also blanks after it) is -1.
int WholeNumberOrMinusOne(const QByteArray &text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        return -1;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
        if (value > std::numeric_limits<int>::max())
            return -1;
    }
    return negative && value != 0 ? -1 : int(value);
}

} // namespace

std::optional<MarginTag> FindMarginTag(const QByteArray &line)
{
    const qsizetype at = line.indexOf("<M");
    if (at < 0)
        return std::nullopt;
    const qsizetype close = line.indexOf('>', at + 2);
    if (close < 0)
        return std::nullopt;
    const int columns = WholeNumberOrMinusOne(line.mid(at + 2, close - at - 2));
    if (columns < 0)
        return std::nullopt;
    return MarginTag{at, close - at + 1, columns};
}

} // namespace ostrevo
