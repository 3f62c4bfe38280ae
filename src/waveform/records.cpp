// SPDX-License-Identifier: MIT
#include "waveform/records.h"

#include <charconv>

namespace gaspuff {

QByteArray waveformrecords(const Waveform& waveform, QByteArrayView lineend) {
    QByteArray text;
    text.reserve(waveform.size() * (6 + lineend.size()));
    char digits[8];
    for (int16_t v : waveform) {
        const auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
        text.append(digits, end - digits);
        text.append(lineend);
    }
    return text;
}

}  // namespace gaspuff
