// SPDX-License-Identifier: MIT
#include "waveform/edits.h"

#include <QStringList>
#include <algorithm>
#include <utility>

#include "waveform/files.h"

namespace gaspuff {
namespace {

// n / d rounded to the nearest whole number, a half to the even one; d > 0.
// Integers throughout, so no level depends on how a fraction is stored.
int64_t roundedquotient(int64_t n, int64_t d) {
    int64_t q = n / d;
    int64_t r = n % d;
    if (r < 0) {  // floor division, remainder in 0..d-1
        q -= 1;
        r += d;
    }
    if (2 * r > d || (2 * r == d && q % 2 != 0)) ++q;
    return q;
}

QString entries(int n) {
    return n == 1 ? QStringLiteral("1 entry") : QStringLiteral("%1 entries").arg(n);
}

}  // namespace

Waveform withramp(const Waveform& table, int t1, int16_t a1, int t2, int16_t a2) {
    if (t2 < t1) {
        std::swap(t1, t2);
        std::swap(a1, a2);
    }
    Waveform out = table;
    if (t1 < 0 || t2 > kMaxTime) return out;
    if (t1 == t2) {
        addpoint(out, t2, a2);
        return out;
    }
    // The whole level is rounded, not the step from a1: from 3 down to 0
    // over six steps the second level is 2.5, which gives 2.
    const int64_t d = t2 - t1;
    for (int t = t1; t <= t2; ++t) {
        const int64_t level = roundedquotient(a1 * d + int64_t{a2 - a1} * (t - t1), d);
        addpoint(out, t, static_cast<int16_t>(level));
    }
    return out;
}

QString pastecolumn(QByteArrayView text, Waveform& table, int& count) {
    // Load's reader, so a column pastes exactly as the same lines would load.
    WaveformReader reader(QStringLiteral("the clipboard"), QStringLiteral("The clipboard"));
    count = 0;
    if (!reader.feed(text) || !reader.finish()) return reader.error();
    count = reader.count();
    std::copy_n(reader.entries().begin(), count, table.begin());
    return {};
}

QString keptnote(const QString& source, int count, const Waveform& table) {
    QStringList parts;
    if (count == 0)
        parts << QStringLiteral("%1 held no entries; all %2 kept as they were")
                     .arg(source)
                     .arg(kWaveformLength);
    else if (count == kMaxTime)
        parts << QStringLiteral("%1 held %2; entry %3 kept as it was")
                     .arg(source, entries(count))
                     .arg(kMaxTime);
    else if (count < kWaveformLength)
        parts << QStringLiteral("%1 held %2; entries %3 to %4 kept as they were")
                     .arg(source, entries(count))
                     .arg(count)
                     .arg(kMaxTime);
    int outside = 0;
    int lowest = 0;
    int highest = 0;
    for (int i = 0; i < std::min(count, kWaveformLength); ++i) {
        const int v = table[i];
        if (v >= 0 && v <= kMaxAmplitude) continue;
        lowest = outside == 0 ? v : std::min(lowest, v);
        highest = outside == 0 ? v : std::max(highest, v);
        ++outside;
    }
    if (outside > 0)
        parts << QStringLiteral("%1 outside 0..%2 (lowest %3, highest %4)")
                     .arg(entries(outside))
                     .arg(kMaxAmplitude)
                     .arg(lowest)
                     .arg(highest);
    return parts.join(QStringLiteral("; "));
}

}  // namespace gaspuff
