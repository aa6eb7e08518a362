#include "textprint/SymbolScanner.h"

#include <cstring>

namespace ostrevo {

SymbolScanner::SymbolScanner(std::span<const QByteArray> symbols, const QByteArray &line)
    : m_symbols(symbols), m_line(line)
{
    for (const QByteArray &symbol : symbols)
        if (!symbol.isEmpty())
            m_starts[static_cast<unsigned char>(symbol[0])] = true;
}

std::optional<SymbolScanner::Hit> SymbolScanner::next(qsizetype from)
{
    const char *data = m_line.constData();
    const qsizetype size = m_line.size();
    for (qsizetype at = std::max<qsizetype>(from, 0); at < size; ++at) {
        if (!m_starts[static_cast<unsigned char>(data[at])])
            continue;
        for (int i = 0; i < int(m_symbols.size()); ++i) {
            const QByteArray &symbol = m_symbols[size_t(i)];
            if (!symbol.isEmpty() && symbol.size() <= size - at && std::memcmp(data + at, symbol.constData(), size_t(symbol.size())) == 0)
                return Hit{i, at};
        }
    }
    return std::nullopt;
}

} // namespace ostrevo
