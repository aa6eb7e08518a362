#include "devices/RecordingCanvas.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace ostrevo {

void RecordingCanvas::setFont(const LogFont &font)
{
    m_font = font;
    fontsSet.append(font);
}

void RecordingCanvas::textOut(int x, int y, const QByteArray &win1250)
{
    texts.append({QPoint(x, y), win1250, m_font, m_page});
}

int RecordingCanvas::textWidth(const QByteArray &win1250)
{
    const int cell = (m_font.width > 0 ? m_font.width : std::abs(m_font.height) / 2) + extraCellWidth;
    const qint64 width = qint64(cell) * win1250.size();
    return int(std::clamp<qint64>(width, 0, std::numeric_limits<int>::max()));
}

int RecordingCanvas::textHeight(const QByteArray &)
{
    return std::abs(m_font.height);
}

void RecordingCanvas::lineTo(int x, int y)
{
    lines.append({QLine(m_position, QPoint(x, y)), m_pen.width, m_page});
    m_position = QPoint(x, y);
}

void RecordingCanvas::drawLines(const QVector<QLine> &batch)
{
    ++drawLinesCalls;
    for (const QLine &line : batch)
        lines.append({line, m_pen.width, m_page});
}

} // namespace ostrevo
