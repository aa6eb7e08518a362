#pragma once

#include <QColor>
#include <QWidget>

namespace ostrevo {

// shStart: a round lamp in the colour of the monitoring state.
class StatusLamp : public QWidget {
    Q_OBJECT
public:
    explicit StatusLamp(QWidget *parent = nullptr);

    void setColor(const QColor &color);
    QColor color() const { return m_color; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QColor m_color = Qt::lightGray;
};

} // namespace ostrevo
