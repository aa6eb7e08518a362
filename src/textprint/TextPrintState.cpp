#include "textprint/TextPrintState.h"

#include "jobs/Rounding.h"
#include "textprint/SymbolTable.h"

namespace ostrevo {

bool ApplyStyleSymbol(int symbol, TextPrintState &s)
{
    switch (symbol) {
    case BoldOn: s.weight = 700; return true;
    case BoldOff: s.weight = 400; return true;
    case UnderlineOn: s.underline = 1; return true;
    case UnderlineOff: s.underline = 0; return true;
    case ItalicOn: s.italic = 1; return true;
    case ItalicOff: s.italic = 0; return true;
    case StrikeOutOn: s.strikeOut = 1; return true;
    case StrikeOutOff: s.strikeOut = 0; return true;
    default: return false;
    }
}

int SizeModeHeight(int baseHeight, SizeMode mode, SizeMode savedMode, int current)
{
    switch (mode) {
    case SizeMode::Normal:
        return baseHeight;
    case SizeMode::DoubleHeight:
        return 2 * baseHeight;
    case SizeMode::Script:
        if (savedMode == SizeMode::Normal)
            return RoundHalfEven(baseHeight * 0.6);
        if (savedMode == SizeMode::DoubleHeight)
            return RoundHalfEven(baseHeight * 1.2);
        return current;
    }
    return current;
}

} // namespace ostrevo
