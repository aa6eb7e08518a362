#pragma once

#include "textprint/SymbolTable.h"

#include <QByteArray>

#include <optional>
#include <span>
#include <vector>

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

    // `symbols` are searched for as given; a hit's index is its place among them.
    SymbolScanner(std::span<const QByteArray> symbols, const QByteArray &line);

    // The next symbol at or after `from`, or nothing.
    std::optional<Hit> next(qsizetype from);

private:
    static constexpr qsizetype NotSearched = -2;
    static constexpr qsizetype Absent = -1;

    std::span<const QByteArray> m_symbols;
    const QByteArray &m_line;
    std::vector<qsizetype> m_found;
};

// Splits a printout line at its control symbols, left to right: `symbol(index, segment)`
// with the text before each symbol, then `plain(segment)` with the text after the last
// one when any is left.
template<typename OnSymbol, typename OnPlain>
void SplitAtSymbols(std::span<const QByteArray> symbols, const QByteArray &line, OnSymbol symbol, OnPlain plain)
{
    SymbolScanner scanner(symbols, line);
    qsizetype pos = 0;
    while (pos < line.size()) {
        const auto hit = scanner.next(pos);
        if (!hit) {
            plain(line.mid(pos));
            return;
        }
        const QByteArray segment = line.mid(pos, hit->at - pos);
        pos = hit->at + symbols[size_t(hit->index)].size();
        symbol(hit->index, segment);
    }
}

} // namespace ostrevo
