#pragma once

#include "devices/Canvas.h"

#include <QHash>

#include <memory>

namespace ostrevo {

class RealisedFont;

// Logical fonts made real once and kept, for canvases that set the same few fonts over
// and over (a printout switches between normal and bold on every line).
class RealisedFontCache {
public:
    RealisedFontCache();
    ~RealisedFontCache();

    // Device resolution; it sizes fonts given in points (height 0).
    void setDpiY(int dpiY);
    int dpiY() const { return m_dpiY; }
    const RealisedFont &get(const LogFont &font);

private:
    int m_dpiY = 600;
    QHash<LogFont, std::shared_ptr<RealisedFont>> m_fonts;
};

} // namespace ostrevo
