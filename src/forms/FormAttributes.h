#pragma once

#include <QByteArray>

#include <array>
#include <cstdint>
#include <optional>

namespace ostrevo {

// The drawing attributes of a form: texts, lines and box fills. Widths are those the
// legacy files were written for; lengths are hundredths of a millimetre, colours Windows
// colour values 0x00BBGGRR (red in the low byte).
struct FormAttributes {
    std::int32_t textAngle = 0;           // T_ANGLE, degrees clockwise
    std::uint32_t textColor = 0;          // T_COLOR
    std::int32_t textSize = 200;          // T_SIZE, cell height
    std::uint8_t bold = 0;                // T_BOLD
    std::uint8_t italic = 0;              // T_ITALIC
    std::uint8_t underline = 0;           // T_UNDERLINE
    std::uint8_t strike = 0;              // T_STRIKE
    std::int16_t font = 2;                // T_FONT: 1 Times New Roman, 2 Arial, 3 Courier New
    std::int16_t just = 1;                // T_JUST, 1..9
    std::uint32_t background = 0xFFFFFF;  // T_BACKGROUND
    std::int16_t textTexture = 0;         // T_TEXTURE, pattern 0..7
    std::int32_t padLeft = 0;             // T_PADLEFT
    std::int32_t padTop = 0;              // T_PADTOP
    std::int32_t padRight = 0;            // T_PADRIGHT
    std::int32_t padBottom = 0;           // T_PADBOTTOM
    std::uint8_t noClip = 0;              // T_NOCLIP and the five below: kept, never drawn
    std::uint8_t singleLine = 0;          // T_SINGLELINE
    std::uint8_t editCtrl = 0;            // T_EDITCTRL
    std::uint8_t wordEllipsis = 0;        // T_WORDELLIPSIS
    std::uint8_t wordWrap = 0;            // T_WORDWRAP
    std::uint8_t expandTabs = 0;          // T_EXPANDTABS
    std::int16_t tabStop = 8;             // T_TABSTOP
    std::int32_t charSpacing = 0;         // T_EXCHRSPC, extra space after each character
    std::int32_t interline = 100;         // T_INTERLINE, percent of T_SIZE
    std::uint32_t lineColor = 0;          // L_COLOR
    std::int32_t lineThickness = 30;      // L_THICKNESS
    std::int16_t lineType = 0;            // L_TYPE, style 0..6
    std::uint32_t fill = 0xFFFFFF;        // B_FILL
    std::int16_t fillTexture = 0;         // B_TEXTURE, pattern 0..7

    bool operator==(const FormAttributes &) const = default;
};

inline constexpr std::uint32_t FormWhite = 0xFFFFFF;

// The faces of T_FONT; a number outside the table draws in Arial, the built-in face.
const char *FormFontFace(int font);

// One attribute key of the files, and how its value is taken.
struct FormAttributeKey {
    enum Group : std::uint8_t { Text, Line };
    enum Kind : std::uint8_t {
        Integer,  // lenient: a value that does not parse keeps the slot (page) or the default
        Colour,   // hexadecimal digits; strict everywhere
        Padding,  // a length in the source's unit; strict
        Spacing,  // T_EXCHRSPC: scaled by WSP in pages and text blocks; 0 when it does not parse
        Thickness // L_THICKNESS: strict in pages, taken as it stands
    };
    const char *name;
    Group group;
    Kind kind;
    bool defaultOnly;   // the six flags and T_TABSTOP: <DEFAULT> sections only
    bool inTextBlock;   // may be set by an attribute line of a text block
};

// Where T_JUST puts a text in its box, as fractions of the room left over: across 0
// (left), 1/2 (centred) or 1 (right), down 0 (top), 1/2 or 1 (bottom). Nothing for a
// value outside 1..9, which leaves the text where it was.
struct FormJustification {
    double across = 0;
    double down = 0;
};
std::optional<FormJustification> JustificationOf(int just);

// The key of that name (upper case), or nothing.
const FormAttributeKey *FindFormAttributeKey(const QByteArray &name);

// The stored value of a key as a 64-bit number, and storing one. `store` refuses (false)
// a value beyond the key's width: it does not parse.
std::int64_t FormAttributeValue(const FormAttributes &attributes, const FormAttributeKey &key);
bool StoreFormAttribute(FormAttributes &attributes, const FormAttributeKey &key, std::int64_t value);

// The names an attribute line of a text block is recognised by.
bool HoldsTextBlockKey(const QByteArray &upperLine);

// The five slots of every attribute: the built-in default, the current value while
// reading the job file (1) and the template (2), and the defaults of both (3, 4).
enum FormSourceId : int { FormJobSource = 1, FormTemplateSource = 2 };

class FormAttributeSlots {
public:
    FormAttributes &current(FormSourceId source) { return m_slots[source]; }
    const FormAttributes &current(FormSourceId source) const { return m_slots[source]; }
    FormAttributes &defaults(FormSourceId source) { return m_slots[source + 2]; }
    const FormAttributes &defaults(FormSourceId source) const { return m_slots[source + 2]; }
    static const FormAttributes &builtIn();

    // Copies the source's defaults into its current slot, the T_ keys or the L_ and B_
    // keys; `whiten` sets T_BACKGROUND or B_FILL to white instead (the printer with the
    // background option off).
    void resetText(FormSourceId source, bool whiten);
    void resetLines(FormSourceId source, bool whiten);

private:
    std::array<FormAttributes, 5> m_slots{};
};

} // namespace ostrevo
