// SPDX-License-Identifier: MIT
#include "transmitter.h"

#include <algorithm>
#include <limits>

#include "controller.h"

namespace gaspuff::sim {
namespace {

constexpr qint64 kMillion = 1'000'000;

// floor(elapsed * rate / 1e9) without overflowing for long runs.
qint64 bytesdue(qint64 elapsed, qint64 rate) {
    const qint64 s = elapsed / Pacer::kNanosPerSecond;
    const qint64 rest = elapsed % Pacer::kNanosPerSecond;
    return s * rate + rest * rate / Pacer::kNanosPerSecond;
}

// ceil(bytes * 1e9 / rate): when the last of that many bytes is through.
qint64 timefor(qint64 bytes, qint64 rate) {
    const qint64 s = bytes / rate;
    const qint64 rest = bytes % rate;
    return s * Pacer::kNanosPerSecond + (rest * Pacer::kNanosPerSecond + rate - 1) / rate;
}

}  // namespace

qint64 Pacer::room(qint64 now) {
    if (!paced()) return std::numeric_limits<qint64>::max();
    if (drained_) {
        drained_ = false;
        if (now >= duetime(0)) {
            anchor_ = now;
            count_ = 0;
        }
    }
    return std::max<qint64>(0, bytesdue(now - anchor_, rate_) - count_);
}

qint64 Pacer::duetime(qint64 n) const {
    if (!paced()) return 0;
    return anchor_ + timefor(count_ + n, rate_);
}

void Transmitter::setlistening(bool on) {
    listening_ = on;
    if (!on) {
        pending_.clear();
        pacer_.drained();
    }
}

void Transmitter::pump(Controller& controller, qint64 now) {
    const qint64 ms = now / kMillion;
    blocked_ = false;
    if (!listening_) {
        while (!controller.takeline(ms).isEmpty()) {
        }
        return;
    }
    for (;;) {
        if (pending_.isEmpty()) {
            pending_ = controller.takeline(ms);
            if (pending_.isEmpty()) {
                pacer_.drained();
                return;
            }
        }
        const qint64 room = pacer_.room(now);
        // Whole lines together, as many as the line has room for and at
        // least a batch: fewer, larger writes and fewer wake-ups.
        while (pending_.size() < std::max(room, kBatch)) {
            const QByteArray more = controller.takeline(ms);
            if (more.isEmpty()) break;
            pending_ += more;
        }
        const qint64 n = std::min<qint64>(room, pending_.size());
        if (n == 0) return;
        const qint64 w = sink_(pending_.constData(), n);
        if (w < 0) {
            // The device refused the bytes for good: they are lost, as on a
            // line with a fault.
            pending_.clear();
            continue;
        }
        if (w == 0) {
            blocked_ = true;
            return;
        }
        pacer_.sent(w);
        sent_ += w;
        pending_.remove(0, w);
        if (w < n) {
            blocked_ = true;
            return;
        }
    }
}

qint64 Transmitter::wakeat() const {
    if (pending_.isEmpty()) return -1;
    return pacer_.duetime(std::min<qint64>(pending_.size(), kBatch));
}

}  // namespace gaspuff::sim
