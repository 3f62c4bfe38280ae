// SPDX-License-Identifier: MIT
#pragma once
// Tables for the core tests, built from runs of equal entries or entry by
// entry, so that an expectation reads as the shape it stands for.
#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

#include "waveform/table.h"

namespace gaspuff::test {

// Runs {first index, value}, each lasting until the next starts; 0 before
// the first.
inline Waveform fromruns(const std::vector<std::pair<int, int>>& runs) {
    Waveform w{};
    for (size_t r = 0; r < runs.size(); ++r)
        std::fill(w.begin() + runs[r].first,
                  r + 1 < runs.size() ? w.begin() + runs[r + 1].first : w.end(), runs[r].second);
    return w;
}

// Entry i is entry(i).
inline Waveform tableof(const std::function<int(int)>& entry) {
    Waveform w{};
    for (int i = 0; i < kWaveformLength; ++i) w[i] = static_cast<int16_t>(entry(i));
    return w;
}

}  // namespace gaspuff::test
