#pragma once

#include <QString>

#include <cstdint>

namespace ostrevo {

// The rendering state of a plain-text printout, shared by the printer and PDF renderers
// and set up afresh for every job. Lengths are device units of the chosen printer.
struct TextPrintState {
    int fontHeight = 0;     // cell height given to the font
    int charWidth = 0;      // average character width given to the font
    int escapement = 0;     // 0 portrait, 900 text running up the page
    int weight = 400;       // 400 normal, 700 bold
    std::uint8_t italic = 0;
    std::uint8_t underline = 0;
    std::uint8_t strikeOut = 0;
    QString faceName = QStringLiteral("Courier New");
    int pageHeight = 0;
    int pageWidth = 0;
    int dpiX = 0;
    int dpiY = 0;
    int y = 0;
    int x = 0;
    int leftMargin = 0;
    int lineHeight = 0;
};

enum class SizeMode : std::uint8_t { Normal = 0, DoubleHeight = 1, Script = 2 };

// What survives from one job to the next: the size mode in force when a script began,
// and how far the scripts moved the position.
struct ScriptMemory {
    SizeMode savedSizeMode = SizeMode::Normal;
    int superscriptShift = 0;
    int subscriptShift = 0;
};

// Bold, underline, italic and strike-out, on and off, set in the state; false for any
// other symbol.
bool ApplyStyleSymbol(int symbol, TextPrintState &state);

// The font height of a size mode: the base height, twice it, or in a script 0.6 or 1.2 of
// it after the mode saved when the script began (any other saved mode keeps `current`).
int SizeModeHeight(int baseHeight, SizeMode mode, SizeMode savedMode, int current);

} // namespace ostrevo
