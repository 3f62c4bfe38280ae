// SPDX-License-Identifier: MIT
#include "app/wavegraph.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include "waveform/graph.h"

namespace gaspuff {

WaveGraph::WaveGraph(QSize outer, const Waveform& table, QWidget* parent)
    : QFrame(parent), surface_(outer - QSize(2 * kFrameWidth, 2 * kFrameWidth)), table_(table) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(kFrameWidth);
    setFixedSize(outer);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kGraphBackground);
    setPalette(pal);
    setAutoFillBackground(true);
    // Keys work on the graph once clicked; Tab never stops here.
    setFocusPolicy(Qt::ClickFocus);
    setMouseTracking(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
}

int WaveGraph::timeat(QPoint pos) const {
    return graphtime(pos.x() - contentsRect().left(), surface_.image().width());
}

QString WaveGraph::reading(int t) const {
    const LevelRun run = runat(table_, t);
    return QStringLiteral("t=%1 ms, %2 % (run %3-%4 ms)\n%5")
        .arg(t)
        .arg(table_[t])
        .arg(run.first)
        .arg(run.last)
        .arg(toolTip());
}

bool WaveGraph::event(QEvent* event) {
    // The tooltip is the reading under the pointer, the keys below it.
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        QToolTip::showText(help->globalPos(), reading(timeat(help->pos())), this);
        return true;
    }
    return QFrame::event(event);
}

void WaveGraph::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter p(this);
    p.drawImage(contentsRect().topLeft(), surface_.image());
}

void WaveGraph::mouseMoveEvent(QMouseEvent* event) {
    // Only the tooltip follows the pointer; the picture stays as drawn.
    QToolTip::showText(event->globalPosition().toPoint(),
                       reading(timeat(event->position().toPoint())), this);
    QFrame::mouseMoveEvent(event);
}

void WaveGraph::mousePressEvent(QMouseEvent* event) {
    QFrame::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) emit picked(timeat(event->position().toPoint()));
}

void WaveGraph::keyPressEvent(QKeyEvent* event) {
    const bool plain = !(event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier));
    const QChar first = event->text().isEmpty() ? QChar() : event->text().at(0);
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)
        emit customContextMenuRequested(contentsRect().center());
    else if (plain && (first.isDigit() || QStringLiteral("+-.,").contains(first)))
        emit typed(event->text());
    else
        QFrame::keyPressEvent(event);
}

}  // namespace gaspuff
