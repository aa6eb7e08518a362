#include "forms/FormTurn.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ostrevo {

FormTurn::FormTurn(const QRectF &box, int angle)
    : m_centre(box.center()), m_degrees((angle % 360 + 360) % 360)
{
    // Quarter turns exactly, so that whole pixels stay whole.
    switch (int(m_degrees)) {
    case 0: m_cos = 1, m_sin = 0; break;
    case 90: m_cos = 0, m_sin = 1; break;
    case 180: m_cos = -1, m_sin = 0; break;
    case 270: m_cos = 0, m_sin = -1; break;
    default:
        m_cos = std::cos(m_degrees * std::numbers::pi / 180);
        m_sin = std::sin(m_degrees * std::numbers::pi / 180);
    }
    // Nearer a quarter turn than upright, the text runs along the box's height.
    const bool across = std::abs(m_sin) > std::abs(m_cos);
    m_width = across ? box.height() : box.width();
    m_height = across ? box.width() : box.height();
}

QPointF FormTurn::map(double along, double down) const
{
    // Clockwise on a page whose y grows downwards.
    const double x = along - m_width / 2, y = down - m_height / 2;
    return m_centre + QPointF(x * m_cos - y * m_sin, x * m_sin + y * m_cos);
}

QRectF FormTurn::bounds(const QRectF &r) const
{
    const QPointF corners[4] = {map(r.left(), r.top()), map(r.right(), r.top()), map(r.right(), r.bottom()),
                                map(r.left(), r.bottom())};
    double left = corners[0].x(), right = left, top = corners[0].y(), bottom = top;
    for (const QPointF &p : corners) {
        left = std::min(left, p.x());
        right = std::max(right, p.x());
        top = std::min(top, p.y());
        bottom = std::max(bottom, p.y());
    }
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

} // namespace ostrevo
