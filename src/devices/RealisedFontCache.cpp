#include "devices/RealisedFontCache.h"

#include "devices/RealisedFont.h"

namespace ostrevo {

static size_t qHash(const LogFont &f, size_t seed = 0)
{
    return qHashMulti(seed, f.height, f.width, f.escapement, f.orientation, f.weight, f.italic,
                      f.underline, f.strikeOut, f.charSet, f.faceName);
}

namespace {

// Keeps a long run of distinct fonts (a renderer's width-fitting loop) from growing
// the cache without bound.
constexpr qsizetype MaxCachedFonts = 64;

} // namespace

RealisedFontCache::RealisedFontCache() = default;
RealisedFontCache::~RealisedFontCache() = default;

void RealisedFontCache::setDpiY(int dpiY)
{
    if (dpiY == m_dpiY)
        return;
    m_dpiY = dpiY;
    m_fonts.clear();
}

const RealisedFont &RealisedFontCache::get(const LogFont &font)
{
    auto it = m_fonts.constFind(font);
    if (it == m_fonts.constEnd()) {
        if (m_fonts.size() >= MaxCachedFonts)
            m_fonts.clear();
        it = m_fonts.insert(font, std::make_shared<RealisedFont>(font, m_dpiY));
    }
    return **it;
}

} // namespace ostrevo
