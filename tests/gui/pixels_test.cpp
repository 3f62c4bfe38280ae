#include <gtest/gtest.h>

#include <QRandomGenerator>

#include "waveform/imagesurface.h"

using namespace gaspuff;

namespace {

void expectsamepixels(const Waveform& w, const char* what) {
    ImageSurface fast(QSize(357, 117));
    PainterSurface naive(QSize(357, 117));
    drawgraph(w, fast);
    drawgraph(w, naive);
    const QImage& a = fast.image();
    const QImage& b = naive.image();
    int differing = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) differing += a.pixel(x, y) != b.pixel(x, y);
    EXPECT_EQ(differing, 0) << what;
}

}  // namespace

TEST(GraphPixels, FastSurfaceEqualsDrawingEveryDot) {
    Waveform zero{};
    expectsamepixels(zero, "all zero");

    Waveform alternating{};
    for (int i = 0; i < kWaveformLength; ++i) alternating[i] = i % 2 ? 100 : 0;
    expectsamepixels(alternating, "alternating 0 and 100");

    QRandomGenerator rng(12345);
    Waveform steps{};
    for (int i = 0, level = 0; i < kWaveformLength; ++i) {
        if (rng.bounded(40) == 0) level = rng.bounded(101);
        steps[i] = static_cast<int16_t>(level);
    }
    expectsamepixels(steps, "random steps");

    Waveform outside{};
    for (int i = 0; i < kWaveformLength; ++i) outside[i] = static_cast<int16_t>(rng.bounded(-400, 500));
    expectsamepixels(outside, "values far outside 0..100");

    Waveform edges{};
    for (int i = 0; i < kWaveformLength; ++i) edges[i] = static_cast<int16_t>(i % 3 == 0 ? 101 : i % 3 == 1 ? -1 : 102);
    expectsamepixels(edges, "just beyond the edges");
}

TEST(GraphPixels, ExtremeTableDrawsWithoutFailing) {
    Waveform extreme{};
    for (int i = 0; i < kWaveformLength; ++i) extreme[i] = i % 2 ? INT16_MAX : INT16_MIN;
    ImageSurface fast(QSize(357, 117));
    drawgraph(extreme, fast);
    // Every column crosses the whole height.
    EXPECT_EQ(fast.image().pixelColor(178, 60), QColor(255, 0, 0));
}
