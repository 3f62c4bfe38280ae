#include "waveform/table.h"

namespace gaspuff {

void addpoint(Waveform& waveform, int t, int16_t a) {
    const int16_t v = waveform[t];
    for (int k = t; k < kWaveformLength && waveform[k] == v; ++k) waveform[k] = a;
}

}  // namespace gaspuff
