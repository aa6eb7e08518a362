#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace ostrevo {

// A decimal integer of 32 bits with an optional sign; nothing when the text is not one.
std::optional<std::int64_t> ParseFormInteger(const QByteArray &text);

// A colour as hexadecimal digits (what follows "$" in a Pascal literal): 1 to 8 digits.
std::optional<std::uint32_t> ParseFormColour(const QByteArray &text);

// A decimal number written with a point or a comma ("1.5", "1,5").
std::optional<double> ParseFormDecimal(const QByteArray &text);

// Form coordinates are kept inside a kilometre either way, so that no sum or product of
// the renderers' arithmetic can overflow, whatever a template writes.
inline constexpr std::int32_t FormCoordinateLimit = 100'000'000;

// v in the source's unit (1/mmjedn mm, scaled by WSP) as hundredths of a millimetre:
// round(v * 100 * wsp / mmjedn), halves to even.
std::int32_t FormHundredths(std::int64_t value, double wsp, int mmjedn);

// round(v * wsp), for the character spacing.
std::int32_t FormScaled(std::int64_t value, double wsp);

// Where in which file a value stands, for the messages of a failed job.
struct FormPlace {
    QString file;
    qint64 line = 0;
    QString text() const;
};

} // namespace ostrevo
