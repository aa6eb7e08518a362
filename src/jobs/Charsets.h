#pragma once

#include <QByteArray>
#include <QString>

#include <array>

namespace ostrevo {

// Code numbers of the Polish character sets, as job files and fiscal settings give them.
enum PolishCharset : int {
    PolishAscii = 0,
    PolishMazovia = 1,
    PolishCp852 = 2,
    PolishWin1250 = 3,
    PolishIso2 = 5,
};

// Table conversions: only the 18 Polish letters are translated, every other byte passes
// unchanged, and the length never changes.
QByteArray Cp852ToWin1250(const QByteArray &text);
// Also blanks the DOS box-drawing bytes (frames are drawn as lines instead).
QByteArray Cp852PrintoutToWin1250(const QByteArray &text);
QByteArray Iso2ToWin1250(const QByteArray &text);
QByteArray Win1250ToAscii(const QByteArray &text);
// Text returned unchanged when the codes are equal or the source is not 1, 2, 3 or 5; an
// unknown target code leaves the letters unchanged too.
QByteArray ConvertPolish(const QByteArray &text, int sourceCode, int targetCode);

// Full code pages, for text that leaves the byte world (paths, INI values, messages).
QString Win1250ToUnicode(const QByteArray &bytes);
// Characters outside Windows-1250 become '?'.
QByteArray UnicodeToWin1250(const QString &text);
// True when every character of the text has a Windows-1250 byte.
bool FitsWin1250(const QString &text);
QString Cp852ToUnicode(const QByteArray &bytes);

// The upper halves (0x80..0xFF) of the tables a DOS program's printer output is written in.
enum class DosTable { Cp852, Mazovia, Cp437, Win1250 };
const std::array<char16_t, 128> &HighHalf(DosTable table);
// Polish letters sit at different bytes in CP852 and Mazovia: the one of the two whose
// letters the bytes make more likely (CP852 when there are none). `clearly` tells whether
// the text holds enough letters, far more of them in the one than in the other.
DosTable GuessPolishDosTable(const QByteArray &bytes, bool *clearly = nullptr);

// A file name in lower case for comparing names as the DOS side does: ASCII letters and
// the nine Polish capitals of the code page (CP852 or Mazovia); other bytes as they are.
QByteArray LowerDosName(const QByteArray &name, PolishCharset codePage);

} // namespace ostrevo
