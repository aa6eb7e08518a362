#include "gui/StatusLamp.h"

#include <QMouseEvent>
#include <QPainter>

namespace ostrevo {

StatusLamp::StatusLamp(QWidget *parent)
    : QWidget(parent)
{
}

void StatusLamp::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    update();
}

void StatusLamp::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(width(), height()) - 2;
    const QRectF lamp((width() - side) / 2, (height() - side) / 2, side, side);
    QRadialGradient glow(lamp.center() - QPointF(side / 5, side / 5), side / 1.5);
    glow.setColorAt(0, m_color.lighter(160));
    glow.setColorAt(1, m_color);
    p.setPen(QPen(m_color.darker(170), 1));
    p.setBrush(glow);
    p.drawEllipse(lamp);
}

void StatusLamp::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit clicked();
    QWidget::mousePressEvent(event);
}

} // namespace ostrevo
