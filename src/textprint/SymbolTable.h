#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>

namespace ostrevo {

// In-line control symbols of plain-text printouts, by fixed index (0 = 6 lines per inch,
// 6 = bold on, 24/25 = duplex on/off, 26 = spare, ...). Matched byte for byte against job
// lines in the legacy code page; an empty entry never matches.
inline constexpr int PrinterSymbolCount = 27;
using PrinterSymbolTable = std::array<QByteArray, PrinterSymbolCount>;

PrinterSymbolTable DefaultPrinterSymbols();

// The PDF renderer's own table: entries 0..23 as the printer defaults, 24 empty. The
// definitions file does not change it.
const std::array<QByteArray, 25> &PdfTags();

class SymbolTable {
public:
    PrinterSymbolTable PrinterSymbols = DefaultPrinterSymbols();

    // Reads a DefSym.ovx file: lines "N=value", the value taken as is (no trimming, any
    // byte but the line ends; empty disables the symbol); lines without "=" are ignored;
    // later lines win. A line whose index is not a whole number in 0..26 is skipped and
    // loading goes on: the result holds one message per such line. A missing file leaves
    // the table as it is; a file that cannot be read gives one message.
    QStringList LoadSymbolDefinitions(const QString &path);
};

} // namespace ostrevo
