// SPDX-License-Identifier: MIT
#include "app/shape.h"

#include <QPainter>

namespace gaspuff {

Shape::Shape(QColor fill, QWidget* parent) : QWidget(parent), fill_(fill) {}

void Shape::setfillcolor(QColor fill) {
    if (fill == fill_) return;
    fill_ = fill;
    update();
}

void Shape::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(Qt::black);
    p.setBrush(fill_);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace gaspuff
