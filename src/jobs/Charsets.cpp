#include "jobs/Charsets.h"

#include <QHash>

#include <algorithm>

#include <array>

namespace ostrevo {

namespace {

// The 18 Polish letters in the order ą ś ż ź ć ę ń ł ó Ą Ś Ż Ź Ć Ę Ń Ł Ó.
using LetterColumn = std::array<unsigned char, 18>;
constexpr LetterColumn Win1250Letters = {0xB9, 0x9C, 0xBF, 0x9F, 0xE6, 0xEA, 0xF1, 0xB3, 0xF3,
                                         0xA5, 0x8C, 0xAF, 0x8F, 0xC6, 0xCA, 0xD1, 0xA3, 0xD3};
constexpr LetterColumn Cp852Letters = {0xA5, 0x98, 0xBE, 0xAB, 0x86, 0xA9, 0xE4, 0x88, 0xA2,
                                       0xA4, 0x97, 0xBD, 0x8D, 0x8F, 0xA8, 0xE3, 0x9D, 0xE0};
constexpr LetterColumn MazoviaLetters = {0x86, 0x9E, 0xA7, 0xA6, 0x8D, 0x91, 0xA4, 0x92, 0xA2,
                                         0x8F, 0x98, 0xA1, 0xA0, 0x95, 0x90, 0xA5, 0x9C, 0xA3};
constexpr LetterColumn Iso2Letters = {0xB1, 0xB6, 0xBF, 0xBC, 0xE6, 0xEA, 0xF1, 0xB3, 0xF3,
                                      0xA1, 0xA6, 0xAF, 0xAC, 0xC6, 0xCA, 0xD1, 0xA3, 0xD3};
constexpr LetterColumn AsciiLetters = {'a', 's', 'z', 'z', 'c', 'e', 'n', 'l', 'o',
                                       'A', 'S', 'Z', 'Z', 'C', 'E', 'N', 'L', 'O'};

using ByteMap = std::array<unsigned char, 256>;

ByteMap IdentityMap()
{
    ByteMap map{};
    for (int b = 0; b < 256; ++b)
        map[b] = static_cast<unsigned char>(b);
    return map;
}

// Built back to front so that the first occurrence of a byte in the source table wins.
ByteMap LetterMap(const LetterColumn &source, const LetterColumn &target)
{
    ByteMap map = IdentityMap();
    for (int k = int(source.size()) - 1; k >= 0; --k)
        map[source[k]] = target[k];
    return map;
}

// The printout table: letters first, then the box-drawing bytes B0-BC, FE, FF, BF, C0-DF
// blanked. BD and BE stay out of it: they are Ż and ż in CP852.
ByteMap PrintoutMap()
{
    ByteMap map = LetterMap(Cp852Letters, Win1250Letters);
    auto blank = [&map](int from, int to) {
        for (int b = from; b <= to; ++b)
            map[b] = ' ';
    };
    blank(0xB0, 0xBC);
    blank(0xFE, 0xFF);
    blank(0xBF, 0xBF);
    blank(0xC0, 0xDF);
    return map;
}

QByteArray Apply(const QByteArray &text, const ByteMap &map)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    const auto *in = reinterpret_cast<const unsigned char *>(text.constData());
    char *dst = out.data();
    for (qsizetype i = 0; i < text.size(); ++i)
        dst[i] = static_cast<char>(map[in[i]]);
    return out;
}

// ASCII capitals and the nine Polish capitals (the second half of a column) to lower case.
ByteMap LowerMap(const LetterColumn &column)
{
    ByteMap map = IdentityMap();
    for (int b = 'A'; b <= 'Z'; ++b)
        map[b] = static_cast<unsigned char>(b - 'A' + 'a');
    for (size_t k = 0; k < 9; ++k)
        map[column[k + 9]] = column[k];
    return map;
}

const LetterColumn *ColumnFor(int code)
{
    switch (code) {
    case PolishAscii: return &AsciiLetters;
    case PolishMazovia: return &MazoviaLetters;
    case PolishCp852: return &Cp852Letters;
    case PolishWin1250: return &Win1250Letters;
    case PolishIso2: return &Iso2Letters;
    default: return nullptr;
    }
}

// Upper halves of the code pages (0x80-0xFF); the lower halves are ASCII. The five bytes
// that Windows-1250 leaves undefined (81, 83, 88, 90, 98) map to the C1 controls of the
// same number, as Windows itself does, so that every byte survives a round trip.
constexpr std::array<char16_t, 128> Win1250High = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

constexpr std::array<char16_t, 128> Cp852High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x016F, 0x0107, 0x00E7,
    0x0142, 0x00EB, 0x0150, 0x0151, 0x00EE, 0x0179, 0x00C4, 0x0106,
    0x00C9, 0x0139, 0x013A, 0x00F4, 0x00F6, 0x013D, 0x013E, 0x015A,
    0x015B, 0x00D6, 0x00DC, 0x0164, 0x0165, 0x0141, 0x00D7, 0x010D,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x0104, 0x0105, 0x017D, 0x017E,
    0x0118, 0x0119, 0x00AC, 0x017A, 0x010C, 0x015F, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x011A,
    0x015E, 0x2563, 0x2551, 0x2557, 0x255D, 0x017B, 0x017C, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x0102, 0x0103,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,
    0x0111, 0x0110, 0x010E, 0x00CB, 0x010F, 0x0147, 0x00CD, 0x00CE,
    0x011B, 0x2518, 0x250C, 0x2588, 0x2584, 0x0162, 0x016E, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x0143, 0x0144, 0x0148, 0x0160, 0x0161,
    0x0154, 0x00DA, 0x0155, 0x0170, 0x00FD, 0x00DD, 0x0163, 0x00B4,
    0x00AD, 0x02DD, 0x02DB, 0x02C7, 0x02D8, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x02D9, 0x0171, 0x0158, 0x0159, 0x25A0, 0x00A0,
};

// Code page 437, the DOS original; Mazovia is the same with the Polish letters put in.
constexpr std::array<char16_t, 128> Cp437High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

std::array<char16_t, 128> MakeMazoviaHigh()
{
    static constexpr char16_t polish[18] = {u'ą', u'ś', u'ż', u'ź', u'ć', u'ę', u'ń', u'ł', u'ó',
                                            u'Ą', u'Ś', u'Ż', u'Ź', u'Ć', u'Ę', u'Ń', u'Ł', u'Ó'};
    std::array<char16_t, 128> high = Cp437High;
    for (size_t i = 0; i < MazoviaLetters.size(); ++i)
        high[MazoviaLetters[i] - 0x80] = polish[i];
    return high;
}

QString Decode(const QByteArray &bytes, const std::array<char16_t, 128> &high)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *dst = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes.at(i));
        dst[i] = QChar(b < 0x80 ? char16_t(b) : high[b - 0x80]);
    }
    return out;
}

const QHash<char16_t, char> &Win1250Encoder()
{
    static const QHash<char16_t, char> encoder = [] {
        QHash<char16_t, char> map;
        for (int b = 0; b < 128; ++b)
            map.insert(Win1250High[b], static_cast<char>(b + 0x80));
        return map;
    }();
    return encoder;
}

} // namespace

QByteArray Cp852ToWin1250(const QByteArray &text)
{
    static const ByteMap map = LetterMap(Cp852Letters, Win1250Letters);
    return Apply(text, map);
}

QByteArray Cp852PrintoutToWin1250(const QByteArray &text)
{
    static const ByteMap map = PrintoutMap();
    return Apply(text, map);
}

QByteArray Iso2ToWin1250(const QByteArray &text)
{
    static const ByteMap map = LetterMap(Iso2Letters, Win1250Letters);
    return Apply(text, map);
}

QByteArray Win1250ToAscii(const QByteArray &text)
{
    static const ByteMap map = LetterMap(Win1250Letters, AsciiLetters);
    return Apply(text, map);
}

QByteArray ConvertPolish(const QByteArray &text, int sourceCode, int targetCode)
{
    if (sourceCode == targetCode || sourceCode == PolishAscii)
        return text;
    const LetterColumn *source = ColumnFor(sourceCode);
    const LetterColumn *target = ColumnFor(targetCode);
    if (!source || !target)
        return text;
    return Apply(text, LetterMap(*source, *target));
}

QString Win1250ToUnicode(const QByteArray &bytes)
{
    return Decode(bytes, Win1250High);
}

QByteArray UnicodeToWin1250(const QString &text)
{
    const auto &encoder = Win1250Encoder();
    QByteArray out(text.size(), Qt::Uninitialized);
    qsizetype n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x80) {
            out[n++] = static_cast<char>(c);
        } else if (auto it = encoder.constFind(c); it != encoder.constEnd()) {
            out[n++] = *it;
        } else {
            out[n++] = '?';
            // One '?' per character, not per UTF-16 half.
            if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
                ++i;
        }
    }
    out.truncate(n);
    return out;
}

bool FitsWin1250(const QString &text)
{
    const auto &encoder = Win1250Encoder();
    for (QChar c : text) {
        if (c.unicode() >= 0x80 && !encoder.contains(c.unicode()))
            return false;
    }
    return true;
}

QString Cp852ToUnicode(const QByteArray &bytes)
{
    return Decode(bytes, Cp852High);
}

namespace {

// How often each Polish letter appears in Polish text, per ten thousand letters (capitals
// far rarer than small letters): the weight a byte that is that letter adds.
struct LetterWeight {
    char16_t letter;
    int weight;
};
constexpr LetterWeight PolishLetterWeights[] = {
    {u'ą', 99}, {u'ć', 40}, {u'ę', 111}, {u'ł', 182}, {u'ń', 16}, {u'ó', 85}, {u'ś', 66}, {u'ź', 6}, {u'ż', 83},
    {u'Ą', 1},  {u'Ć', 2},  {u'Ę', 1},   {u'Ł', 9},   {u'Ń', 1},  {u'Ó', 2},  {u'Ś', 7},  {u'Ź', 1}, {u'Ż', 5}};

int PolishLetterWeight(char16_t character)
{
    for (const LetterWeight &entry : PolishLetterWeights)
        if (entry.letter == character)
            return entry.weight;
    return 0;
}

} // namespace

DosTable GuessPolishDosTable(const QByteArray &bytes, bool *clearly)
{
    std::array<qint64, 256> counts{};
    for (char byte : bytes)
        ++counts[static_cast<unsigned char>(byte)];
    qint64 cp852 = 0;
    qint64 mazovia = 0;
    for (int b = 0x80; b < 0x100; ++b) {
        if (!counts[b])
            continue;
        cp852 += counts[b] * PolishLetterWeight(HighHalf(DosTable::Cp852)[b - 0x80]);
        mazovia += counts[b] * PolishLetterWeight(HighHalf(DosTable::Mazovia)[b - 0x80]);
    }
    const qint64 more = std::max(cp852, mazovia);
    const qint64 less = std::min(cp852, mazovia);
    // A few letters say little: two bytes of another page read as Polish now and then.
    if (clearly)
        *clearly = more >= 200 && more >= 3 * less;
    return mazovia > cp852 ? DosTable::Mazovia : DosTable::Cp852;
}

const std::array<char16_t, 128> &HighHalf(DosTable table)
{
    static const std::array<char16_t, 128> mazovia = MakeMazoviaHigh();
    switch (table) {
    case DosTable::Cp437: return Cp437High;
    case DosTable::Mazovia: return mazovia;
    case DosTable::Cp852: return Cp852High;
    case DosTable::Win1250: return Win1250High;
    }
    return Cp852High;
}

QByteArray LowerDosName(const QByteArray &name, PolishCharset codePage)
{
    static const ByteMap cp852 = LowerMap(Cp852Letters);
    static const ByteMap mazovia = LowerMap(MazoviaLetters);
    return Apply(name, codePage == PolishMazovia ? mazovia : cp852);
}

} // namespace ostrevo
