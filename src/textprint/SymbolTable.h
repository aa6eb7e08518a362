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

// The meaning of each index of the symbol tables.
enum PrintSymbol {
    SixLinesPerInch = 0, EightLinesPerInch = 1,
    Columns80 = 2, Columns132 = 3, Columns160 = 4, Columns96 = 5,
    BoldOn = 6, BoldOff = 7, PageFeed = 8, Portrait = 9, Landscape = 10, MarginPlaceholder = 11,
    DoubleHeightOn = 12, DoubleHeightOff = 13, UnderlineOn = 14, UnderlineOff = 15,
    ItalicOn = 16, ItalicOff = 17, StrikeOutOn = 18, StrikeOutOff = 19,
    SuperscriptOn = 20, SuperscriptOff = 21, SubscriptOn = 22, SubscriptOff = 23,
    DuplexOn = 24, DuplexOff = 25, Spare = 26,
};
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
    // The site's DefSym.ovx of the program directory (the name in any letter case), when
    // there is one.
    QStringList loadSiteDefinitions(const QString &programDir);
};

} // namespace ostrevo
