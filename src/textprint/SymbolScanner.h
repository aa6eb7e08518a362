#pragma once

#include "textprint/SymbolTable.h"

#include <QByteArray>

#include <array>
#include <optional>
#include <span>

namespace ostrevo {

// Finds the control symbols of one printout line from left to right: at each step the
// symbol whose occurrence starts earliest in the rest of the line, the lower index on a
// tie. The line is walked once, byte by byte: only where a byte can begin a symbol are the
// symbols compared, so an ordinary line costs one pass however many symbols there are.
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
    std::span<const QByteArray> m_symbols;
    const QByteArray &m_line;
    std::array<bool, 256> m_starts{}; // the bytes a symbol begins with
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
