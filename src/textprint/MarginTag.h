#pragma once

#include <QByteArray>

#include <optional>

namespace ostrevo {

// A left-margin tag "<M" number ">" on a printout line.
struct MarginTag {
    qsizetype at = 0;     // where "<M" starts
    qsizetype length = 0; // "<M" through ">"
    int columns = 0;      // the margin in widths of "X"
};

// Only the first "<M" of a line counts, case-sensitively; "<M" followed by anything but
// a whole number before the next ">" (letters, nothing, a negative number) is text.
std::optional<MarginTag> FindMarginTag(const QByteArray &line);

} // namespace ostrevo
