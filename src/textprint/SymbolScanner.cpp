#include "textprint/SymbolScanner.h"

namespace ostrevo {

SymbolScanner::SymbolScanner(std::span<const QByteArray> symbols, const QByteArray &line)
    : m_symbols(symbols), m_line(line), m_found(symbols.size(), NotSearched)
{
}

std::optional<SymbolScanner::Hit> SymbolScanner::next(qsizetype from)
{
    std::optional<Hit> best;
    for (int i = 0; i < int(m_symbols.size()); ++i) {
        const QByteArray &symbol = m_symbols[size_t(i)];
        if (symbol.isEmpty())
            continue;
        qsizetype &found = m_found[size_t(i)];
        // A remembered occurrence before `from` was consumed or overlapped: look again.
        if (found == NotSearched || (found != Absent && found < from))
            found = m_line.indexOf(symbol, from);
        if (found == Absent)
            continue;
        if (!best || found < best->at)
            best = Hit{i, found};
    }
    return best;
}

} // namespace ostrevo
