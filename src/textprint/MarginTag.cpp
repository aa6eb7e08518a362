#include "textprint/MarginTag.h"

namespace ostrevo {

namespace {

// A whole number as the legacy program read it: an optional sign and decimal digits that
// fit in 32 bits; anything else is -1.
int WholeNumberOrMinusOne(const QByteArray &text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok)
        return -1;
    for (char c : text) {
        // QByteArray::toInt also skips blanks around the number; the tag does not.
        if (c == ' ' || (c >= '\t' && c <= '\r'))
            return -1;
    }
    return value;
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
