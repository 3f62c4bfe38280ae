// SPDX-License-Identifier: MIT
#pragma once
// The graph's picture box: a sunken frame around an image that drawgraph
// paints. Covering and restoring the window only blits the image again.
// It answers the pointer: hovering names the millisecond, its level and its
// run; a click picks the millisecond.
#include <QFrame>

#include "waveform/imagesurface.h"
#include "waveform/table.h"

namespace gaspuff {

class WaveGraph : public QFrame {
    Q_OBJECT
  public:
    static constexpr int kFrameWidth = 2;
    // outer: the widget's size, frame included; table: what the graph shows,
    // read when the pointer asks.
    WaveGraph(QSize outer, const Waveform& table, QWidget* parent);
    ImageSurface& surface() { return surface_; }
    const QImage& image() const { return surface_.image(); }
    // The millisecond whose column is nearest pos (in the widget).
    int timeat(QPoint pos) const;
    // "t=250 ms, 60 % (run 100-399 ms)", then the graph's keys.
    QString reading(int t) const;

  signals:
    void picked(int t);
    // A number begun while the graph has the focus, meant for the level box.
    void typed(const QString& text);

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    ImageSurface surface_;
    const Waveform& table_;
};

}  // namespace gaspuff
