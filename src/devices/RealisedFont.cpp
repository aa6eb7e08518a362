#include "devices/RealisedFont.h"

#include "jobs/Charsets.h"
#include "jobs/Rounding.h"

#include <QFont>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <limits>

namespace ostrevo {

namespace {

// The vertical metrics GDI uses for a TrueType face, in font units.
struct FaceMetrics {
    qreal unitsPerEm = 2048;
    qreal winAscent = 0;
    qreal winDescent = 0;
    qreal avgCharWidth = 0;
};

FaceMetrics ReadFaceMetrics(const QRawFont &raw)
{
    FaceMetrics m;
    m.unitsPerEm = raw.unitsPerEm() > 0 ? raw.unitsPerEm() : 2048;
    const QByteArray os2 = raw.fontTable("OS/2");
    if (os2.size() >= 78) {
        const auto *d = reinterpret_cast<const uchar *>(os2.constData());
        m.avgCharWidth = qFromBigEndian<qint16>(d + 2);
        m.winAscent = qFromBigEndian<quint16>(d + 74);
        m.winDescent = qFromBigEndian<quint16>(d + 76);
    }
    if (m.winAscent + m.winDescent <= 0) {
        // No OS/2 table: the face's own ascent and descent, scaled back to font units.
        const qreal k = m.unitsPerEm / raw.pixelSize();
        m.winAscent = raw.ascent() * k;
        m.winDescent = raw.descent() * k;
    }
    if (m.avgCharWidth <= 0)
        m.avgCharWidth = raw.averageCharWidth() * m.unitsPerEm / raw.pixelSize();
    return m;
}

QRawFont LoadFace(const LogFont &font)
{
    QFont qfont(font.faceName);
    // GDI weights are the same 100..900 scale as Qt's; 0 means "don't care".
    const int weight = font.weight <= 0 ? 400 : std::clamp(font.weight, 100, 900);
    qfont.setWeight(static_cast<QFont::Weight>(weight));
    qfont.setItalic(font.italic);
    qfont.setPixelSize(100);
    qfont.setHintingPreference(QFont::PreferNoHinting);
    QRawFont raw = QRawFont::fromFont(qfont);
    if (!raw.isValid())
        raw = QRawFont::fromFont(QFont());
    return raw;
}

QString DecodeByte(unsigned char byte, int charSet)
{
    const QByteArray one(1, static_cast<char>(byte));
    // ANSI_CHARSET is Windows-1252, whose letters Latin-1 covers; East European and the
    // system default (a Polish Windows) are Windows-1250.
    return charSet == 0 ? QString::fromLatin1(one) : Win1250ToUnicode(one);
}

} // namespace

RealisedFont::RealisedFont(const LogFont &font, int dpiY)
    : m_raw(LoadFace(font))
    , m_underline(font.underline)
    , m_strikeOut(font.strikeOut)
{
    const FaceMetrics face = ReadFaceMetrics(m_raw);
    const qreal cellUnits = face.winAscent + face.winDescent;
    qreal em;
    if (font.height > 0)
        em = font.height * face.unitsPerEm / cellUnits;
    else if (font.height < 0)
        em = -font.height;
    else
        em = 12.0 * dpiY / 72.0;
    m_raw.setPixelSize(em);
    m_cellHeight = font.height > 0 ? font.height : RoundHalfEven(em * cellUnits / face.unitsPerEm);
    m_ascent = RoundHalfEven(em * face.winAscent / face.unitsPerEm);

    const qreal naturalAverage = face.avgCharWidth * em / face.unitsPerEm;
    if (font.width > 0 && naturalAverage > 0)
        m_scaleX = font.width / naturalAverage;

    for (int b = 0; b < 256; ++b) {
        const QString ch = DecodeByte(static_cast<unsigned char>(b), font.charSet);
        const QList<quint32> glyphs = m_raw.glyphIndexesForString(ch);
        const quint32 glyph = glyphs.isEmpty() ? 0 : glyphs.first();
        const QList<QPointF> advances =
            m_raw.advancesForGlyphIndexes(QList<quint32>{glyph}, QRawFont::UseDesignMetrics);
        m_glyph[b] = glyph;
        m_character[b] = ch.isEmpty() ? u'\0' : ch.front().unicode();
        m_advance[b] = advances.isEmpty() ? 0 : RoundHalfEven(advances.first().x() * m_scaleX);
    }
}

int RealisedFont::textWidth(const QByteArray &bytes) const
{
    // Summed wide: a line of tens of megabytes is wider than an int holds, and a width
    // that wrapped round to a small one would let the whole line through as if it fitted.
    qint64 width = 0;
    for (char c : bytes)
        width += m_advance[static_cast<unsigned char>(c)];
    return int(std::min<qint64>(width, std::numeric_limits<int>::max()));
}

QGlyphRun RealisedFont::glyphRun(const QByteArray &bytes) const
{
    QList<quint32> glyphs;
    QList<QPointF> positions;
    glyphs.reserve(bytes.size());
    positions.reserve(bytes.size());
    // Blanks leave no ink; unless a line runs through them they need no glyph at all,
    // which keeps wide, mostly empty printout lines small in the PDF.
    const bool blanksShow = m_underline || m_strikeOut;
    int x = 0;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b != ' ' || blanksShow) {
            glyphs.append(m_glyph[b]);
            positions.append(QPointF(x / m_scaleX, m_ascent));
        }
        x += m_advance[b];
    }
    QGlyphRun run;
    run.setRawFont(m_raw);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    run.setUnderline(m_underline);
    run.setStrikeOut(m_strikeOut);
    return run;
}

} // namespace ostrevo
