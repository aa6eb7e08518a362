#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>

namespace ostrevo {

// The character tables a stream can print in.
enum class EscpTable { Italic, Cp437, Cp852, Mazovia, Win1250, Latin1, Latin2 };

// The table of a port's "Kodowanie" ("852", "mazowia", "437", "1250"); false when unknown.
bool EscpTableFromName(const QString &name, EscpTable &table);
QString EscpTableName(EscpTable table);

// The table registered under an ESC ( t identifier; false when the printer has none such.
bool RegisteredEscpTable(int d2, int d3, EscpTable &table);

// The character a byte of 0x20..0xFF prints in `table`; for the italic table, the upright
// character (the caller slants it). A null QChar prints nothing.
QChar EscpCharacter(EscpTable table, unsigned char byte);

// The character one of the twelve national positions prints under ESC R `country`; a
// null QChar when the position or the country replaces nothing.
QChar NationalCharacter(int country, unsigned char byte);

// The code page 437 byte of a box-drawing, shade or block character (as the frame figures
// and the renderer know them); 0 for any other character.
unsigned char FrameCode(QChar character);

// CP852 or Mazovia, whichever the Polish letters among the bytes make more likely.
EscpTable GuessPolishTable(const QByteArray &bytes);

} // namespace ostrevo
