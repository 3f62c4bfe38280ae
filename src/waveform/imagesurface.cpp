// SPDX-License-Identifier: MIT
#include "waveform/imagesurface.h"

#include <QPainter>
#include <algorithm>

namespace gaspuff {
namespace {

void paintgridline(QImage& image, int x1, int y1, int x2, int y2) {
    QPainter p(&image);
    p.setPen(QPen(Qt::black, 1, Qt::DotLine));
    p.drawLine(x1, y1, x2, y2);
}

void paintdot(QPainter& p, int x, int y) {
    p.drawEllipse(QPoint(x, y), kDotRadius, kDotRadius);
}

void setupdotpainter(QPainter& p) {
    p.setPen(QPen(kDotColour, 1, Qt::SolidLine));
    p.setBrush(kDotColour);
}

}  // namespace

const std::vector<QPoint>& dotshape() {
    static const std::vector<QPoint> shape = [] {
        constexpr int c = 8;
        QImage scratch(2 * c + 1, 2 * c + 1, QImage::Format_RGB32);
        scratch.fill(Qt::black);
        {
            QPainter p(&scratch);
            setupdotpainter(p);
            paintdot(p, c, c);
        }
        std::vector<QPoint> offsets;
        for (int y = 0; y < scratch.height(); ++y)
            for (int x = 0; x < scratch.width(); ++x)
                if (scratch.pixelColor(x, y) == kDotColour) offsets.emplace_back(x - c, y - c);
        return offsets;
    }();
    return shape;
}

PainterSurface::PainterSurface(QSize interior) : image_(interior, QImage::Format_RGB32) {
    image_.fill(kGraphBackground);
}

void PainterSurface::cls() {
    image_.fill(kGraphBackground);
}

void PainterSurface::gridline(int x1, int y1, int x2, int y2) {
    paintgridline(image_, x1, y1, x2, y2);
}

void PainterSurface::dot(int x, int y) {
    QPainter p(&image_);
    setupdotpainter(p);
    paintdot(p, x, y);
}

namespace {

// The dot's shape as horizontal runs: offset row, first and last column.
struct Run {
    int dy, x0, x1;
};

const std::vector<Run>& dotruns() {
    static const std::vector<Run> runs = [] {
        std::vector<Run> out;
        for (const QPoint& p : dotshape()) {
            if (!out.empty() && out.back().dy == p.y() && out.back().x1 + 1 == p.x())
                out.back().x1 = p.x();
            else
                out.push_back({p.y(), p.x(), p.x()});
        }
        return out;
    }();
    return runs;
}

}  // namespace

ImageSurface::ImageSurface(QSize interior)
    : image_(interior, QImage::Format_RGB32),
      stride_(interior.width() + 2 * kMargin),
      marked_(static_cast<size_t>(stride_) * (interior.height() + 2 * kMargin)) {
    dotruns();  // settle the shape before the first timed redraw
    image_.fill(kGraphBackground);
}

ImageSurface::~ImageSurface() = default;

void ImageSurface::cls() {
    grid_.reset();
    image_.fill(kGraphBackground);
    for (const QPoint& c : centres_) marked_[static_cast<size_t>(c.y()) * stride_ + c.x()] = 0;
    centres_.clear();
}

void ImageSurface::gridline(int x1, int y1, int x2, int y2) {
    if (!grid_) {
        grid_ = std::make_unique<QPainter>(&image_);
        grid_->setPen(QPen(Qt::black, 1, Qt::DotLine));
    }
    grid_->drawLine(x1, y1, x2, y2);
}

void ImageSurface::dot(int x, int y) {
    const int cx = x + kMargin;
    const int cy = y + kMargin;
    if (cx < 0 || cx >= stride_ || cy < 0 || cy >= image_.height() + 2 * kMargin) return;
    uint8_t& mark = marked_[static_cast<size_t>(cy) * stride_ + cx];
    if (mark) return;
    mark = 1;
    centres_.emplace_back(cx, cy);
}

void ImageSurface::done() {
    grid_.reset();
    const int w = image_.width();
    const int h = image_.height();
    const QRgb red = kDotColour.rgb();
    uchar* bits = image_.bits();
    const qsizetype bpl = image_.bytesPerLine();
    for (const QPoint& c : centres_) {
        const int x = c.x() - kMargin;
        const int y = c.y() - kMargin;
        for (const Run& r : dotruns()) {
            const int row = y + r.dy;
            if (row < 0 || row >= h) continue;
            const int from = std::max(0, x + r.x0);
            const int to = std::min(w - 1, x + r.x1);
            auto* pixels = reinterpret_cast<QRgb*>(bits + row * bpl);
            for (int px = from; px <= to; ++px) pixels[px] = red;
        }
    }
}

}  // namespace gaspuff
