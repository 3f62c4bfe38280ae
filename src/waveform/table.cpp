// SPDX-License-Identifier: MIT
#include "waveform/table.h"

namespace gaspuff {

void addpoint(Waveform& waveform, int t, int16_t a) {
    const int16_t v = waveform[t];
    for (int k = t; k < kWaveformLength && waveform[k] == v; ++k) waveform[k] = a;
}

LevelRun runat(const Waveform& waveform, int t) {
    LevelRun run{t, t};
    while (run.first > 0 && waveform[run.first - 1] == waveform[t]) --run.first;
    while (run.last < kMaxTime && waveform[run.last + 1] == waveform[t]) ++run.last;
    return run;
}

}  // namespace gaspuff
