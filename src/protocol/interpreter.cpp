// SPDX-License-Identifier: MIT
#include "protocol/interpreter.h"

#include "diagnostics.h"
#include "protocol/number.h"

namespace gaspuff {

void Reception::start() {
    qCDebug(lcprotocol) << "read-back started";
    getting = true;
    pointcount = 0;
    boguscount = 0;
}

void Reception::end() {
    if (getting)
        qCDebug(lcprotocol) << "read-back ended with" << pointcount << "of" << kWaveformLength
                            << "points," << boguscount << "bogus";
    getting = false;
    pointcount = 0;
    boguscount = 0;
}

LineMeaning interpretline(const QByteArray& line, Reception& rx, Waveform& waveform) {
    LineMeaning m;
    const qsizetype first = line.indexOf('|');
    const qsizetype last = line.lastIndexOf('|');
    if (first >= 0 && first != last) {
        m.kind = LineKind::Status;
        m.state = line.left(first);
        m.uptime = line.mid(first + 1, last - first - 1);
        m.autoarm = line.mid(last + 1);
        return m;
    }

    if (rx.getting) {
        const Number n = tonumber(std::string_view(line.constData(), line.size()));
        if (n.status == NumberStatus::Overflow) {
            m.kind = LineKind::Overflow;
            return m;
        }
        if (n.status == NumberStatus::Ok) {
            m.kind = LineKind::Point;
            if (n.value < 0 || n.value > kMaxAmplitude) {
                if (rx.boguscount < INT16_MAX) ++rx.boguscount;
                m.point = PointResult::Bogus;
                return m;
            }
            rx.staging[rx.pointcount] = n.value;
            if (++rx.pointcount == kWaveformLength) {
                waveform = rx.staging;
                rx.end();
                m.point = PointResult::Completed;
            } else {
                m.point = PointResult::Stored;
            }
            return m;
        }
    }

    m.kind = line.isEmpty() ? LineKind::Empty : LineKind::Message;
    return m;
}

}  // namespace gaspuff
