#include "app/wavegraph.h"

#include <QPainter>

namespace gaspuff {

WaveGraph::WaveGraph(QSize outer, QWidget* parent)
    : QFrame(parent), surface_(outer - QSize(2 * kFrameWidth, 2 * kFrameWidth)) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(kFrameWidth);
    setFixedSize(outer);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kGraphBackground);
    setPalette(pal);
    setAutoFillBackground(true);
}

void WaveGraph::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter p(this);
    p.drawImage(contentsRect().topLeft(), surface_.image());
}

}  // namespace gaspuff
