// SPDX-License-Identifier: MIT
// drawgraph on the worst table (alternating 0 and 100) and on a typical
// pulse, on the window's surface and on the dot-by-dot reference.
#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include "waveform/imagesurface.h"

using namespace gaspuff;

namespace {

Waveform worst() {
    Waveform w{};
    for (int i = 0; i < kWaveformLength; ++i) w[i] = i % 2 ? 100 : 0;
    return w;
}

Waveform pulse() {
    Waveform w{};
    for (int i = 100; i < 300; ++i) w[i] = 80;
    for (int i = 300; i < 600; ++i) w[i] = 40;
    return w;
}

template <typename Surface>
void draw(benchmark::State& state, Waveform (*table)()) {
    const Waveform w = table();
    Surface surface(QSize(357, 117));
    for (auto _ : state) {
        drawgraph(w, surface);
        benchmark::DoNotOptimize(surface.image().constBits());
    }
}

void worst_fast(benchmark::State& s) {
    draw<ImageSurface>(s, worst);
}
void worst_naive(benchmark::State& s) {
    draw<PainterSurface>(s, worst);
}
void pulse_fast(benchmark::State& s) {
    draw<ImageSurface>(s, pulse);
}
void pulse_naive(benchmark::State& s) {
    draw<PainterSurface>(s, pulse);
}
BENCHMARK(worst_fast)->Unit(benchmark::kMicrosecond);
BENCHMARK(worst_naive)->Unit(benchmark::kMicrosecond);
BENCHMARK(pulse_fast)->Unit(benchmark::kMicrosecond);
BENCHMARK(pulse_naive)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
