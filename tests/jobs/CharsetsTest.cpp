#include "jobs/Charsets.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <optional>

using namespace ostrevo;

namespace {

// One byte through the system's iconv; nothing when the code page leaves it undefined.
std::optional<char32_t> IconvDecode(const char *encoding, unsigned char byte)
{
    iconv_t cd = iconv_open("UTF-32LE", encoding);
    if (cd == iconv_t(-1))
        throw std::runtime_error(std::string("iconv lacks ") + encoding);
    char in[1] = {static_cast<char>(byte)};
    char out[8] = {};
    char *inp = in;
    char *outp = out;
    size_t inLeft = 1;
    size_t outLeft = sizeof out;
    const size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
    iconv_close(cd);
    if (r == size_t(-1) || outLeft != 4)
        return std::nullopt;
    return char32_t(static_cast<unsigned char>(out[0]) | static_cast<unsigned char>(out[1]) << 8
                    | static_cast<unsigned char>(out[2]) << 16);
}

// The byte of a code page that iconv gives for a character.
std::optional<unsigned char> IconvEncode(const char *encoding, char32_t c)
{
    for (int b = 0; b < 256; ++b) {
        if (IconvDecode(encoding, static_cast<unsigned char>(b)) == c)
            return static_cast<unsigned char>(b);
    }
    return std::nullopt;
}

const char32_t PolishLetters[18] = {u'ą', u'ś', u'ż', u'ź', u'ć', u'ę', u'ń', u'ł', u'ó',
                                    u'Ą', u'Ś', u'Ż', u'Ź', u'Ć', u'Ę', u'Ń', u'Ł', u'Ó'};

QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(static_cast<char>(v));
    return b;
}

QByteArray AllBytes()
{
    QByteArray all(256, Qt::Uninitialized);
    for (int b = 0; b < 256; ++b)
        all[b] = static_cast<char>(b);
    return all;
}

QByteArray Letters(const char *encoding)
{
    QByteArray out;
    for (char32_t c : PolishLetters)
        out.append(static_cast<char>(IconvEncode(encoding, c).value()));
    return out;
}

} // namespace

TEST(Charsets, PolishLettersTranslateAsIconvSays)
{
    const QByteArray cp852 = Letters("CP852");
    const QByteArray iso2 = Letters("ISO-8859-2");
    const QByteArray win = Letters("WINDOWS-1250");
    EXPECT_EQ(Cp852ToWin1250(cp852), win);
    EXPECT_EQ(Cp852PrintoutToWin1250(cp852), win);
    EXPECT_EQ(Iso2ToWin1250(iso2), win);
    EXPECT_EQ(Win1250ToAscii(win), QByteArray("aszzcenloASZZCENLO"));
    EXPECT_EQ(ConvertPolish(cp852, PolishCp852, PolishIso2), iso2);
    EXPECT_EQ(ConvertPolish(iso2, PolishIso2, PolishCp852), cp852);
    EXPECT_EQ(ConvertPolish(win, PolishWin1250, PolishCp852), cp852);
}

TEST(Charsets, OnlyLettersChange)
{
    // Every byte that is not a source letter passes unchanged, box drawing included.
    const QByteArray all = AllBytes();
    const QByteArray cp852 = Letters("CP852");
    const QByteArray converted = Cp852ToWin1250(all);
    ASSERT_EQ(converted.size(), 256);
    for (int b = 0; b < 256; ++b) {
        if (!cp852.contains(static_cast<char>(b))) {
            EXPECT_EQ(static_cast<unsigned char>(converted[b]), b) << "byte " << b;
        }
    }
    EXPECT_EQ(Cp852ToWin1250(Bytes({0xC9, 0xCD, 0xBB})), Bytes({0xC9, 0xCD, 0xBB}));
    EXPECT_EQ(Cp852ToWin1250(QByteArray()), QByteArray());
}

TEST(Charsets, PrintoutBlanksTheBoxDrawingBytes)
{
    const QByteArray converted = Cp852PrintoutToWin1250(AllBytes());
    ASSERT_EQ(converted.size(), 256);
    int blanked = 0;
    for (int b = 0x80; b < 256; ++b) {
        const bool boxByte = (b >= 0xB0 && b <= 0xBC) || b == 0xBF || (b >= 0xC0 && b <= 0xDF) || b >= 0xFE;
        if (boxByte) {
            EXPECT_EQ(converted[b], ' ') << "byte " << b;
            ++blanked;
        }
    }
    EXPECT_EQ(blanked, 48);
    // BD and BE are Ż and ż, not frame pieces.
    EXPECT_EQ(Cp852PrintoutToWin1250(Bytes({0xBD, 0xBE})), Bytes({0xAF, 0xBF}));
    // A frame line keeps its length, so the text after it keeps its column.
    EXPECT_EQ(Cp852PrintoutToWin1250(Bytes({0xC9, 0xCD, 0xCD, 0xBB, 'x'})), QByteArray("    x"));
}

TEST(Charsets, GeneralConversionCodes)
{
    const QByteArray text = Bytes({'Z', 0xA7, 0x92, 0x9E, 0x86}); // "Zżłśą" in Mazovia
    EXPECT_EQ(ConvertPolish(text, PolishMazovia, PolishWin1250), Bytes({'Z', 0xBF, 0xB3, 0x9C, 0xB9}));
    EXPECT_EQ(ConvertPolish(text, PolishMazovia, PolishAscii), QByteArray("Zzlsa"));
    // Same set, ASCII as source, unknown codes: unchanged.
    EXPECT_EQ(ConvertPolish(text, PolishMazovia, PolishMazovia), text);
    EXPECT_EQ(ConvertPolish(text, PolishAscii, PolishWin1250), text);
    EXPECT_EQ(ConvertPolish(text, 4, PolishWin1250), text);
    EXPECT_EQ(ConvertPolish(text, PolishMazovia, 4), text);
    // Ż and Ź both become Z: no way back.
    EXPECT_EQ(Win1250ToAscii(Bytes({0xAF, 0x8F})), QByteArray("ZZ"));
}

TEST(Charsets, FullCodePagesAgreeWithIconv)
{
    const QString win = Win1250ToUnicode(AllBytes());
    const QString dos = Cp852ToUnicode(AllBytes());
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<unsigned char>(b);
        if (auto expected = IconvDecode("WINDOWS-1250", byte)) {
            EXPECT_EQ(win.at(b).unicode(), *expected) << "Windows-1250 byte " << b;
        }
        if (auto expected = IconvDecode("CP852", byte)) {
            EXPECT_EQ(dos.at(b).unicode(), *expected) << "CP852 byte " << b;
        }
    }
    // Every byte survives a round trip, the five undefined ones included.
    EXPECT_EQ(UnicodeToWin1250(win), AllBytes());
}

TEST(Charsets, UnmappableCharactersBecomeQuestionMarks)
{
    const QString text = QStringLiteral("Zażółć \u20AC \u0416 \U0001F600.");
    EXPECT_EQ(UnicodeToWin1250(text), Bytes({'Z', 'a', 0xBF, 0xF3, 0xB3, 0xE6, ' ', 0x80, ' ', '?', ' ', '?', '.'}));
    EXPECT_TRUE(FitsWin1250(QStringLiteral("Zażółć gęślą jaźń")));
    EXPECT_FALSE(FitsWin1250(QStringLiteral("\u0416")));
}
