#include "devices/CanvasStyles.h"

#include <algorithm>

namespace ostrevo {

QVector<int> DashLengths(const CanvasPen &pen, int dpi)
{
    const int unit = std::max({pen.width, 1, (dpi + 50) / 100});
    switch (pen.style) {
    case PenStyle::Dash: return {4 * unit, 2 * unit};
    case PenStyle::Dot: return {unit, 2 * unit};
    case PenStyle::DashDot: return {4 * unit, 2 * unit, unit, 2 * unit};
    case PenStyle::DashDotDot: return {4 * unit, 2 * unit, unit, 2 * unit, unit, 2 * unit};
    case PenStyle::Solid:
    case PenStyle::Null: break;
    }
    return {};
}

int HatchSpacing(int dpi)
{
    return std::max(4, (dpi * 10 + 127) / 254);
}

bool IsHatch(BrushStyle style)
{
    return style != BrushStyle::Solid && style != BrushStyle::Clear;
}

namespace {

int FloorTo(int v, int step)
{
    return v >= 0 ? v / step * step : -((-v + step - 1) / step) * step;
}

} // namespace

QVector<QLine> HatchLines(const QRect &bounds, BrushStyle style, int spacing)
{
    QVector<QLine> lines;
    if (!IsHatch(style) || bounds.isEmpty() || spacing <= 0)
        return lines;
    const int left = bounds.left(), top = bounds.top();
    const int right = bounds.left() + bounds.width(), bottom = bounds.top() + bounds.height();
    const bool horizontal = style == BrushStyle::Horizontal || style == BrushStyle::Cross;
    const bool vertical = style == BrushStyle::Vertical || style == BrushStyle::Cross;
    const bool forward = style == BrushStyle::ForwardDiagonal || style == BrushStyle::DiagonalCross;
    const bool backward = style == BrushStyle::BackwardDiagonal || style == BrushStyle::DiagonalCross;
    if (horizontal)
        for (int y = FloorTo(top, spacing); y <= bottom; y += spacing)
            lines.append(QLine(left, y, right, y));
    if (vertical)
        for (int x = FloorTo(left, spacing); x <= right; x += spacing)
            lines.append(QLine(x, top, x, bottom));
    const int h = bottom - top;
    // Forward diagonals fall to the right (y - x constant), backward ones rise (x + y constant).
    if (forward)
        for (int c = FloorTo(top - right, spacing); c <= bottom - left; c += spacing)
            lines.append(QLine(left, left + c, left + h + (right - left), left + c + h + (right - left)));
    if (backward)
        for (int c = FloorTo(left + top, spacing); c <= right + bottom; c += spacing)
            lines.append(QLine(c - top, top, c - top - h - (right - left), top + h + (right - left)));
    return lines;
}

} // namespace ostrevo
