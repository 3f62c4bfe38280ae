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

void PainterSurface::cls() { image_.fill(kGraphBackground); }

void PainterSurface::gridline(int x1, int y1, int x2, int y2) {
    paintgridline(image_, x1, y1, x2, y2);
}

void PainterSurface::dot(int x, int y) {
    QPainter p(&image_);
    setupdotpainter(p);
    paintdot(p, x, y);
}

ImageSurface::ImageSurface(QSize interior)
    : image_(interior, QImage::Format_RGB32),
      stride_(interior.width() + 2 * kMargin),
      centres_(static_cast<size_t>(stride_) * (interior.height() + 2 * kMargin)),
      cover_(static_cast<size_t>(interior.width()) * interior.height()) {
    dotshape();  // settle the shape before the first timed redraw
    image_.fill(kGraphBackground);
}

void ImageSurface::cls() {
    image_.fill(kGraphBackground);
    std::fill(centres_.begin(), centres_.end(), 0);
}

void ImageSurface::gridline(int x1, int y1, int x2, int y2) {
    paintgridline(image_, x1, y1, x2, y2);
}

void ImageSurface::dot(int x, int y) {
    const int cx = x + kMargin;
    const int cy = y + kMargin;
    if (cx < 0 || cx >= stride_ || cy < 0 || cy >= image_.height() + 2 * kMargin) return;
    centres_[static_cast<size_t>(cy) * stride_ + cx] = 1;
}

void ImageSurface::done() {
    const int w = image_.width();
    const int h = image_.height();
    std::fill(cover_.begin(), cover_.end(), 0);
    // A pixel is red when some marked centre lies at its position minus one
    // of the shape's offsets: OR the centre mask, shifted, once per offset.
    for (const QPoint& o : dotshape()) {
        if (std::abs(o.x()) > kMargin || std::abs(o.y()) > kMargin) continue;
        for (int y = 0; y < h; ++y) {
            const uint8_t* src =
                centres_.data() + static_cast<size_t>(y - o.y() + kMargin) * stride_ + kMargin - o.x();
            uint8_t* dst = cover_.data() + static_cast<size_t>(y) * w;
            for (int x = 0; x < w; ++x) dst[x] |= src[x];
        }
    }
    const QRgb red = kDotColour.rgb();
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = cover_.data() + static_cast<size_t>(y) * w;
        auto* pixels = reinterpret_cast<QRgb*>(image_.scanLine(y));
        for (int x = 0; x < w; ++x)
            if (row[x]) pixels[x] = red;
    }
}

}  // namespace gaspuff
