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
    texts.append({QPoint(x, y), win1250, m_font, m_page, m_textColor, m_background, m_clip});
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
    lines.append({QLine(m_position, QPoint(x, y)), m_pen.width, m_page, m_pen.style, m_clip});
    m_position = QPoint(x, y);
}

void RecordingCanvas::drawLines(const QVector<QLine> &batch)
{
    ++drawLinesCalls;
    for (const QLine &line : batch)
        lines.append({line, m_pen.width, m_page, m_pen.style, m_clip});
}

void RecordingCanvas::rectangle(const QRect &rect)
{
    rectangles.append(rect);
    shapes.append({QPolygon(rect), m_pen, m_brush, m_clip, m_page});
}

void RecordingCanvas::polygon(const QPolygon &points)
{
    polygons.append(points);
    shapes.append({points, m_pen, m_brush, m_clip, m_page});
}

void RecordingCanvas::drawImage(const QRect &target, const QImage &image)
{
    images.append({target, image, m_clip, m_page});
}

} // namespace ostrevo
