#pragma once
// The graph's picture box: a sunken frame around an image that drawgraph
// paints. Covering and restoring the window only blits the image again.
#include <QFrame>

#include "waveform/imagesurface.h"

namespace gaspuff {

class WaveGraph : public QFrame {
    Q_OBJECT
  public:
    static constexpr int kFrameWidth = 2;
    // outer: the widget's size, frame included.
    WaveGraph(QSize outer, QWidget* parent);
    ImageSurface& surface() { return surface_; }
    const QImage& image() const { return surface_.image(); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    ImageSurface surface_;
};

}  // namespace gaspuff
