// SPDX-License-Identifier: MIT
// Saving and loading a waveform file, and building the upload text.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include "waveform/files.h"
#include "waveform/records.h"

using namespace gaspuff;

namespace {

Waveform table() {
    Waveform w{};
    for (int i = 0; i < kWaveformLength; ++i) w[i] = static_cast<int16_t>(i % 101);
    return w;
}

void save(benchmark::State& state) {
    QTemporaryDir dir;
    const QString name = dir.filePath("w.txt");
    const Waveform w = table();
    for (auto _ : state)
        if (!savewaveform(name, w).isEmpty()) state.SkipWithError("save failed");
}

void load(benchmark::State& state) {
    QTemporaryDir dir;
    const QString name = dir.filePath("w.txt");
    savewaveform(name, table());
    Waveform w{};
    for (auto _ : state) {
        if (!loadwaveform(name, w).isEmpty()) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(w);
    }
}

void upload(benchmark::State& state) {
    const Waveform w = table();
    for (auto _ : state) benchmark::DoNotOptimize(uploadtext(w));
}

}  // namespace

BENCHMARK(save)->Unit(benchmark::kMicrosecond);
BENCHMARK(load)->Unit(benchmark::kMicrosecond);
BENCHMARK(upload)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
