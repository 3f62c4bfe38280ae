// SPDX-License-Identifier: MIT
#pragma once
// Drawing surfaces for the waveform graph, both backed by an image.
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPoint>
#include <memory>
#include <vector>

#include "waveform/graph.h"

namespace gaspuff {

const QColor kGraphBackground(192, 255, 192);
const QColor kDotColour(255, 0, 0);

// Paints every call at once with QPainter, dot after dot: the reference for
// what the graph must look like.
class PainterSurface : public GraphSurface {
  public:
    explicit PainterSurface(QSize interior);
    double scalewidth() const override { return image_.width(); }
    double scaleheight() const override { return image_.height(); }
    void cls() override;
    void gridline(int x1, int y1, int x2, int y2) override;
    void dot(int x, int y) override;
    const QImage& image() const { return image_; }

  private:
    QImage image_;
};

// Paints the same pixels as PainterSurface, fast: a dot only marks its
// centre, and done() stamps the dot's shape, row by row, once on every
// distinct centre. The worst table (alternating 0 and 100) hands over some
// 100,000 dots but has at most one distinct centre per pixel column and level.
class ImageSurface : public GraphSurface {
  public:
    explicit ImageSurface(QSize interior);
    ~ImageSurface() override;
    double scalewidth() const override { return image_.width(); }
    double scaleheight() const override { return image_.height(); }
    void cls() override;
    void gridline(int x1, int y1, int x2, int y2) override;
    void dot(int x, int y) override;
    void done() override;
    const QImage& image() const { return image_; }

  private:
    static constexpr int kMargin = kDotRadius + 1;  // how far a dot reaches
    QImage image_;
    std::unique_ptr<QPainter> grid_;  // open from the first grid line to done()
    int stride_;                      // width of the centre mask
    std::vector<uint8_t> marked_;     // interior plus margin, 1 = a dot's centre
    std::vector<QPoint> centres_;     // the marked centres, each once
};

// The pixels a dot centred on (0, 0) paints, as QPainter draws it.
const std::vector<QPoint>& dotshape();

}  // namespace gaspuff
