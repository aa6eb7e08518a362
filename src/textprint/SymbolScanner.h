#pragma once

#include "textprint/SymbolTable.h"

#include <QByteArray>

#include <array>
#include <optional>

namespace ostrevo {

// Finds the control symbols of one printout line from left to right: at each step the
// symbol whose occurrence starts earliest in the rest of the line, the lower index on a
// tie. Each symbol's next occurrence is remembered, so a long line with many symbols is
// searched about once per symbol rather than once per segment.
class SymbolScanner {
public:
    struct Hit {
        int index = 0;
        qsizetype at = 0;
    };

    SymbolScanner(const PrinterSymbolTable &symbols, const QByteArray &line);

    // The next symbol at or after `from`, or nothing.
    std::optional<Hit> next(qsizetype from);

private:
    static constexpr qsizetype NotSearched = -2;
    static constexpr qsizetype Absent = -1;

    const PrinterSymbolTable &m_symbols;
    const QByteArray &m_line;
    std::array<qsizetype, 27> m_found;
};

} // namespace ostrevo
