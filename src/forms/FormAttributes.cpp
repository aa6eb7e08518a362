#include "forms/FormAttributes.h"

#include <cstring>
#include <limits>
#include <variant>

namespace ostrevo {

namespace {

using Field = std::variant<std::int32_t FormAttributes::*, std::uint32_t FormAttributes::*,
                           std::int16_t FormAttributes::*, std::uint8_t FormAttributes::*>;

struct KeyEntry {
    FormAttributeKey key;
    Field field;
};

using K = FormAttributeKey;

// The table of the format, in its order.
const KeyEntry Keys[] = {
    {{"T_ANGLE", K::Text, K::Integer, false, true}, &FormAttributes::textAngle},
    {{"T_COLOR", K::Text, K::Colour, false, true}, &FormAttributes::textColor},
    {{"T_SIZE", K::Text, K::Integer, false, true}, &FormAttributes::textSize},
    {{"T_BOLD", K::Text, K::Integer, false, true}, &FormAttributes::bold},
    {{"T_ITALIC", K::Text, K::Integer, false, true}, &FormAttributes::italic},
    {{"T_UNDERLINE", K::Text, K::Integer, false, true}, &FormAttributes::underline},
    {{"T_STRIKE", K::Text, K::Integer, false, true}, &FormAttributes::strike},
    {{"T_FONT", K::Text, K::Integer, false, true}, &FormAttributes::font},
    {{"T_JUST", K::Text, K::Integer, false, true}, &FormAttributes::just},
    {{"T_BACKGROUND", K::Text, K::Colour, false, true}, &FormAttributes::background},
    {{"T_TEXTURE", K::Text, K::Integer, false, true}, &FormAttributes::textTexture},
    {{"T_PADLEFT", K::Text, K::Padding, false, false}, &FormAttributes::padLeft},
    {{"T_PADTOP", K::Text, K::Padding, false, false}, &FormAttributes::padTop},
    {{"T_PADRIGHT", K::Text, K::Padding, false, false}, &FormAttributes::padRight},
    {{"T_PADBOTTOM", K::Text, K::Padding, false, false}, &FormAttributes::padBottom},
    {{"T_NOCLIP", K::Text, K::Integer, true, false}, &FormAttributes::noClip},
    {{"T_SINGLELINE", K::Text, K::Integer, true, false}, &FormAttributes::singleLine},
    {{"T_EDITCTRL", K::Text, K::Integer, true, false}, &FormAttributes::editCtrl},
    {{"T_WORDELLIPSIS", K::Text, K::Integer, true, false}, &FormAttributes::wordEllipsis},
    {{"T_WORDWRAP", K::Text, K::Integer, true, false}, &FormAttributes::wordWrap},
    {{"T_EXPANDTABS", K::Text, K::Integer, true, false}, &FormAttributes::expandTabs},
    {{"T_TABSTOP", K::Text, K::Integer, true, false}, &FormAttributes::tabStop},
    {{"T_EXCHRSPC", K::Text, K::Spacing, false, true}, &FormAttributes::charSpacing},
    {{"T_INTERLINE", K::Text, K::Integer, false, false}, &FormAttributes::interline},
    {{"L_COLOR", K::Line, K::Colour, false, false}, &FormAttributes::lineColor},
    {{"L_THICKNESS", K::Line, K::Thickness, false, false}, &FormAttributes::lineThickness},
    {{"L_TYPE", K::Line, K::Integer, false, false}, &FormAttributes::lineType},
    {{"B_FILL", K::Line, K::Colour, false, false}, &FormAttributes::fill},
    {{"B_TEXTURE", K::Line, K::Integer, false, false}, &FormAttributes::fillTexture},
};

// The names that make a text-block line an attribute line (the paddings among them).
const char *const TextBlockNames[] = {
    "T_ANGLE", "T_COLOR",      "T_SIZE",    "T_BOLD",   "T_ITALIC",    "T_UNDERLINE",
    "T_STRIKE", "T_FONT",      "T_JUST",    "T_BACKGROUND", "T_TEXTURE", "T_PADLEFT",
    "T_PADTOP", "T_PADRIGHT",  "T_PADBOTTOM", "T_EXCHRSPC",
};

// Keys are only ever handed out from the table, so the search always ends there.
const KeyEntry &EntryOf(const FormAttributeKey &key)
{
    for (const KeyEntry &entry : Keys) {
        if (&entry.key == &key)
            return entry;
    }
    return Keys[0];
}

template <typename T>
bool Fits(std::int64_t value)
{
    return value >= std::int64_t(std::numeric_limits<T>::min()) && value <= std::int64_t(std::numeric_limits<T>::max());
}

} // namespace

std::optional<FormJustification> JustificationOf(int just)
{
    if (just < 1 || just > 9)
        return std::nullopt;
    return FormJustification{((just - 1) % 3) / 2.0, ((just - 1) / 3) / 2.0};
}

const char *FormFontFace(int font)
{
    switch (font) {
    case 1: return "Times New Roman";
    case 3: return "Courier New";
    default: return "Arial";
    }
}

const FormAttributeKey *FindFormAttributeKey(const QByteArray &name)
{
    for (const KeyEntry &entry : Keys) {
        if (name == entry.key.name)
            return &entry.key;
    }
    return nullptr;
}

std::int64_t FormAttributeValue(const FormAttributes &attributes, const FormAttributeKey &key)
{
    return std::visit([&](auto member) { return std::int64_t(attributes.*member); }, EntryOf(key).field);
}

bool StoreFormAttribute(FormAttributes &attributes, const FormAttributeKey &key, std::int64_t value)
{
    return std::visit(
        [&](auto member) {
            using T = std::remove_reference_t<decltype(attributes.*member)>;
            if (!Fits<T>(value))
                return false;
            attributes.*member = T(value);
            return true;
        },
        EntryOf(key).field);
}

bool HoldsTextBlockKey(const QByteArray &upperLine)
{
    for (const char *name : TextBlockNames) {
        if (upperLine.contains(name))
            return true;
    }
    return false;
}

const FormAttributes &FormAttributeSlots::builtIn()
{
    static const FormAttributes defaults;
    return defaults;
}

void FormAttributeSlots::resetText(FormSourceId source, bool whiten)
{
    FormAttributes &to = current(source);
    const FormAttributes &from = defaults(source);
    for (const KeyEntry &entry : Keys) {
        if (entry.key.group == K::Text)
            std::visit([&](auto member) { to.*member = from.*member; }, entry.field);
    }
    if (whiten)
        to.background = FormWhite;
}

void FormAttributeSlots::resetLines(FormSourceId source, bool whiten)
{
    FormAttributes &to = current(source);
    const FormAttributes &from = defaults(source);
    for (const KeyEntry &entry : Keys) {
        if (entry.key.group == K::Line)
            std::visit([&](auto member) { to.*member = from.*member; }, entry.field);
    }
    if (whiten)
        to.fill = FormWhite;
}

} // namespace ostrevo
