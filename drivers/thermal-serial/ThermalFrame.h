#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace thermalserial {

// The bytes of the Thermal protocol's frames: ESC P, the body (numeric parameters, the
// two-character command identifier, the fields), the check byte, ESC \.

inline constexpr char Esc = '\x1B';
inline constexpr char Enq = '\x05';
inline constexpr char Dle = '\x10';
inline constexpr char Can = '\x18';

// The check byte of a body, as two upper-case hex digits: 255 XOR every byte of it.
std::string CheckByte(std::string_view body);

// ESC P body [check byte] ESC \. Queries and display texts go without the check byte.
std::string Frame(std::string_view body, bool withCheckByte = true);

// The command identifier of a body ("$l" of "1$lChleb..."): the '$' or '#' that follows
// the numeric parameters, and the letter after it. Empty when there is none.
std::string CommandId(std::string_view body);

// Text for a field in the printer's character set: printable ASCII and the Polish letters
// of Mazovia. A control byte (which would end or break the frame) becomes a space, another
// byte the printer cannot print '?'; blanks at both ends go, and the text is cut to
// `limit` bytes.
std::string PrinterText(std::string_view text, std::size_t limit);

// An amount with '.' and at most two decimals and eight digits before the point, as the
// printer takes it ("4.50", "12", "0.05"); leading zeros go. Nothing when the text is not
// such an amount.
std::optional<std::string> PrinterAmount(std::string_view text);

// A quantity with '.' as its point and at most ten digits; leading zeros, and the trailing
// zeros of the fraction, go only when the digits would be too many. Nothing when it is not
// a number of that size.
std::optional<std::string> PrinterQuantity(std::string_view text);

} // namespace thermalserial
