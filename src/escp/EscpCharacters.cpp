#include "escp/EscpCharacters.h"

#include "jobs/Charsets.h"

#include <array>

namespace ostrevo {

namespace {

const std::array<char16_t, 128> &Latin2High()
{
    static const std::array<char16_t, 128> table = [] {
        // ISO 8859-2 differs from Windows-1250 in a few places only; decode through it where
        // the two agree and put the eight differences in by hand.
        std::array<char16_t, 128> high{};
        for (int b = 0; b < 128; ++b)
            high[b] = b < 0x20 ? char16_t(0x80 + b) : HighHalf(DosTable::Win1250)[b];
        const std::pair<int, char16_t> differences[] = {{0xA1, u'Ą'}, {0xA5, u'Ľ'}, {0xA6, u'Ś'}, {0xA9, u'Š'},
                                                         {0xAB, u'Ť'}, {0xAC, u'Ź'}, {0xAE, u'Ž'}, {0xB1, u'ą'},
                                                         {0xB5, u'ľ'}, {0xB6, u'ś'}, {0xB7, u'ˇ'}, {0xB9, u'š'},
                                                         {0xBB, u'ť'}, {0xBC, u'ź'}, {0xBE, u'ž'}};
        for (const auto &[byte, character] : differences)
            high[byte - 0x80] = character;
        return high;
    }();
    return table;
}

// The twelve national positions and, per ESC R country 0..13, what they print.
constexpr unsigned char NationalPositions[12] = {0x23, 0x24, 0x40, 0x5B, 0x5C, 0x5D, 0x5E, 0x60, 0x7B, 0x7C, 0x7D, 0x7E};
constexpr const char16_t *NationalSets[14] = {
    u"#$@[\\]^`{|}~", u"#$à°ç§^`éùè¨", u"#$§ÄÖÜ^`äöüß", u"£$@[\\]^`{|}~", u"#$@ÆØÅ^`æøå~",
    u"#¤ÉÄÖÅÜéäöåü", u"#$@°\\é^ùàòèì", u"₧$@¡Ñ¿^`¨ñ}~", u"#$@[¥]^`{|}~", u"#¤ÉÆØÅÜéæøåü",
    u"#$ÉÆØÅÜéæøåü", u"#$á¡Ñ¿é`íñóú", u"#$á¡Ñ¿éüíñóú", u"#$@[₩]^`{|}~"};
constexpr const char16_t *LegalSet = u"#$§°’”¶`©®†™";

// Box drawing, blocks and shades all lie in U+2500..U+25A0: a table over that range,
// asked once for every character printed.
constexpr char16_t FrameFirst = 0x2500;
constexpr char16_t FrameLast = 0x25A0;

const std::array<unsigned char, FrameLast - FrameFirst + 1> &FrameCodes()
{
    static const auto codes = [] {
        std::array<unsigned char, FrameLast - FrameFirst + 1> table{};
        const auto &high = HighHalf(DosTable::Cp437);
        for (int b = 0xB0; b <= 0xDF; ++b)
            table[high[b - 0x80] - FrameFirst] = static_cast<unsigned char>(b);
        // The frame figures keep ╜ and ╛ under FE and FF: BD and BE are letters in CP852.
        table[u'╜' - FrameFirst] = 0xFE;
        table[u'╛' - FrameFirst] = 0xFF;
        return table;
    }();
    return codes;
}

} // namespace

bool EscpTableFromName(const QString &name, EscpTable &table)
{
    const QString key = name.trimmed().toLower();
    if (key == QLatin1String("852") || key == QLatin1String("cp852"))
        table = EscpTable::Cp852;
    else if (key == QLatin1String("mazowia") || key == QLatin1String("mazovia"))
        table = EscpTable::Mazovia;
    else if (key == QLatin1String("437") || key == QLatin1String("cp437"))
        table = EscpTable::Cp437;
    else if (key == QLatin1String("1250") || key == QLatin1String("cp1250"))
        table = EscpTable::Win1250;
    else
        return false;
    return true;
}

QString EscpTableName(EscpTable table)
{
    switch (table) {
    case EscpTable::Italic: return QStringLiteral("kursywa");
    case EscpTable::Cp437: return QStringLiteral("437");
    case EscpTable::Cp852: return QStringLiteral("852");
    case EscpTable::Mazovia: return QStringLiteral("Mazowia");
    case EscpTable::Win1250: return QStringLiteral("1250");
    case EscpTable::Latin1: return QStringLiteral("ISO 8859-1");
    case EscpTable::Latin2: return QStringLiteral("ISO 8859-2");
    }
    return {};
}

bool RegisteredEscpTable(int d2, int d3, EscpTable &table)
{
    if (d2 == 0 && d3 == 0)
        table = EscpTable::Italic;
    else if (d2 == 1 && d3 == 0)
        table = EscpTable::Cp437;
    else if (d2 == 10 && d3 == 0)
        table = EscpTable::Cp852;
    else if (d2 == 27 && d3 == 0)
        table = EscpTable::Mazovia;
    else if ((d2 == 29 && d3 == 16) || (d2 == 127 && d3 == 1))
        table = EscpTable::Latin1;
    else if (d2 == 127 && d3 == 2)
        table = EscpTable::Latin2;
    else
        return false;
    return true;
}

QChar EscpCharacter(EscpTable table, unsigned char byte)
{
    if (byte < 0x80)
        return byte >= 0x20 && byte != 0x7F ? QChar(char16_t(byte)) : QChar();
    switch (table) {
    case EscpTable::Italic:
        // Upright twins of 0x20..0x7F; 0x80..0x9F hold nothing.
        return byte >= 0xA0 && byte != 0xFF ? QChar(char16_t(byte - 0x80)) : QChar();
    case EscpTable::Cp437: return QChar(HighHalf(DosTable::Cp437)[byte - 0x80]);
    case EscpTable::Cp852: return QChar(HighHalf(DosTable::Cp852)[byte - 0x80]);
    case EscpTable::Mazovia: return QChar(HighHalf(DosTable::Mazovia)[byte - 0x80]);
    case EscpTable::Win1250: {
        const char16_t character = HighHalf(DosTable::Win1250)[byte - 0x80];
        return character >= 0xA0 ? QChar(character) : QChar(); // its unused places hold controls
    }
    case EscpTable::Latin1: return byte >= 0xA0 ? QChar(char16_t(byte)) : QChar();
    case EscpTable::Latin2: return byte >= 0xA0 ? QChar(Latin2High()[byte - 0x80]) : QChar();
    }
    return {};
}

QChar NationalCharacter(int country, unsigned char byte)
{
    const char16_t *set = country == 64 ? LegalSet : country >= 0 && country < 14 ? NationalSets[country] : nullptr;
    if (!set || country == 0)
        return {};
    for (int i = 0; i < 12; ++i)
        if (NationalPositions[i] == byte)
            return QChar(set[i]);
    return {};
}

unsigned char FrameCode(QChar character)
{
    const char16_t c = character.unicode();
    return c >= FrameFirst && c <= FrameLast ? FrameCodes()[c - FrameFirst] : 0;
}

EscpTable GuessPolishTable(const QByteArray &bytes)
{
    return GuessPolishDosTable(bytes) == DosTable::Mazovia ? EscpTable::Mazovia : EscpTable::Cp852;
}

} // namespace ostrevo
