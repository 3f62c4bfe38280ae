// SPDX-License-Identifier: MIT
#pragma once
// The valve waveform: one amplitude in percent per millisecond of a shot.
#include <array>
#include <cstdint>

namespace gaspuff {

constexpr int kWaveformLength = 1000;
using Waveform = std::array<int16_t, kWaveformLength>;

constexpr int kMaxAmplitude = 100;
constexpr int kMaxTime = kWaveformLength - 1;

// A point (t, a) gives the run of entries that equal entry t, from t up to
// the next change of level, the amplitude a. Entries before t never change.
// t must lie in 0..999.
void addpoint(Waveform& waveform, int t, int16_t a);

// The run of equal entries holding entry t (0..999): its first and last index.
struct LevelRun {
    int first;
    int last;
};
LevelRun runat(const Waveform& waveform, int t);

}  // namespace gaspuff
