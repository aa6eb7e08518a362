#include "ThermalFrame.h"

#include <cstdint>

namespace thermalserial {

namespace {

// The Polish letters of Mazovia: Ą Ć Ę Ł Ń Ó Ś Ź Ż ą ć ę ł ń ó ś ź ż.
constexpr unsigned char MazoviaLetters[18] = {0x8F, 0x95, 0x90, 0x9C, 0xA5, 0xA3, 0x98, 0xA0, 0xA1,
                                              0x86, 0x8D, 0x91, 0x92, 0xA4, 0xA2, 0x9E, 0xA6, 0xA7};

bool IsMazoviaLetter(unsigned char c)
{
    for (const unsigned char letter : MazoviaLetters)
        if (letter == c)
            return true;
    return false;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Digits, then optionally '.' and digits; at least one digit in all.
bool SplitNumber(std::string_view text, std::string_view &whole, std::string_view &fraction, bool &point)
{
    const std::size_t dot = text.find('.');
    point = dot != std::string_view::npos;
    whole = text.substr(0, dot);
    fraction = point ? text.substr(dot + 1) : std::string_view();
    for (const char c : whole)
        if (!IsDigit(c))
            return false;
    for (const char c : fraction)
        if (!IsDigit(c))
            return false;
    return !whole.empty() || !fraction.empty();
}

std::string_view WithoutLeadingZeros(std::string_view digits)
{
    while (digits.size() > 1 && digits.front() == '0')
        digits.remove_prefix(1);
    return digits;
}

} // namespace

std::string CheckByte(std::string_view body)
{
    std::uint8_t check = 0xFF;
    for (const char c : body)
        check ^= static_cast<std::uint8_t>(c);
    static const char hex[] = "0123456789ABCDEF";
    return {hex[check >> 4], hex[check & 0x0F]};
}

std::string Frame(std::string_view body, bool withCheckByte)
{
    std::string frame;
    frame.reserve(body.size() + 6);
    frame += Esc;
    frame += 'P';
    frame += body;
    if (withCheckByte)
        frame += CheckByte(body);
    frame += Esc;
    frame += '\\';
    return frame;
}

std::string CommandId(std::string_view body)
{
    std::size_t k = 0;
    while (k < body.size() && (IsDigit(body[k]) || body[k] == ';' || body[k] == ' '))
        ++k;
    if (k + 1 >= body.size() || (body[k] != '$' && body[k] != '#'))
        return {};
    return std::string(body.substr(k, 2));
}

std::string PrinterText(std::string_view text, std::size_t limit)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            out += ' ';
        else if (byte < 0x7F || IsMazoviaLetter(byte))
            out += c;
        else
            out += '?';
    }
    const std::size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    out = out.substr(first, out.find_last_not_of(' ') - first + 1);
    if (out.size() > limit)
        out.resize(limit);
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

std::optional<std::string> PrinterAmount(std::string_view text)
{
    std::string_view whole, fraction;
    bool point = false;
    if (!SplitNumber(text, whole, fraction, point) || fraction.size() > 2)
        return std::nullopt;
    whole = WithoutLeadingZeros(whole);
    if (whole.size() > 8)
        return std::nullopt;
    std::string amount = whole.empty() ? std::string("0") : std::string(whole);
    if (point && !fraction.empty())
        amount += '.' + std::string(fraction);
    return amount;
}

std::optional<std::string> PrinterQuantity(std::string_view text)
{
    std::string_view whole, fraction;
    bool point = false;
    if (!SplitNumber(text, whole, fraction, point))
        return std::nullopt;
    if (whole.size() + fraction.size() <= 10)
        return std::string(text);
    whole = WithoutLeadingZeros(whole);
    while (!fraction.empty() && fraction.back() == '0')
        fraction.remove_suffix(1);
    if (whole.size() + fraction.size() > 10)
        return std::nullopt;
    std::string quantity = whole.empty() ? std::string("0") : std::string(whole);
    if (!fraction.empty())
        quantity += '.' + std::string(fraction);
    return quantity;
}

} // namespace thermalserial
