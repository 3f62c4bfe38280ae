// SPDX-License-Identifier: MIT
#include "waveform/graph.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace gaspuff {

int scalegraphx(int x, double w) {
    // The default rounding mode takes an exact half to the even neighbour.
    return static_cast<int>(std::nearbyint((w - 1) * (x / 1000.0)));
}

int scalegraphy(int y, double h) {
    return static_cast<int>(std::nearbyint((h - 1) - (h - 1) * (y / 100.0)));
}

int graphtime(int x, double w) {
    if (w <= 1) return 0;
    const double t = std::nearbyint(x * 1000.0 / (w - 1));
    return static_cast<int>(std::clamp(t, 0.0, double(kMaxTime)));
}

void drawgraph(const Waveform& waveform, GraphSurface& surface) {
    const double w = surface.scalewidth();
    const double h = surface.scaleheight();
    surface.cls();
    for (int p = 0; p <= 100; p += 25) {
        const int y = scalegraphy(p, h);
        surface.gridline(0, y, static_cast<int>(w), y);
    }
    for (int t = 0; t <= 1000; t += 100) {
        const int x = scalegraphx(t, w);
        surface.gridline(x, 0, x, static_cast<int>(h));
    }

    // A dot touches the surface only when its centre lies within the dot's
    // reach of the interior. Values loaded from a file may lie anywhere in
    // the 16-bit range; only the levels that map near the interior are
    // visited, so a column from -32768 to 32767 costs no more than one from
    // 0 to 100.
    const int reach = kDotRadius + 1;
    const int ytop = -reach;
    const int ybottom = static_cast<int>(h) - 1 + reach;
    const double perlevel = h > 1 ? (h - 1) / 100.0 : 1.0;
    const int jhigh = static_cast<int>(std::ceil(100 + (reach + 1) / perlevel));
    const int jlow = static_cast<int>(std::floor(-(reach + 1) / perlevel));
    // The y of every level that can show, worked out once: the worst table
    // asks for some 100,000 of them.
    std::vector<int> ylevel;
    for (int j = jlow; j <= jhigh; ++j) ylevel.push_back(scalegraphy(j, h));
    auto dot = [&](int x, int j) {
        if (j < jlow || j > jhigh) return;
        const int y = ylevel[j - jlow];
        if (y >= ytop && y <= ybottom) surface.dot(x, y);
    };

    for (int i = 0; i < kWaveformLength; ++i) {
        const int x = scalegraphx(i, w);
        const int v = waveform[i];
        if (i >= 2 && v != waveform[i - 1]) {
            const int lo = std::max(std::min<int>(v, waveform[i - 1]), jlow);
            const int hi = std::min(std::max<int>(v, waveform[i - 1]), jhigh);
            for (int j = lo; j <= hi; ++j) dot(x, j);
        }
        dot(x, v);
    }
    surface.done();
}

}  // namespace gaspuff
