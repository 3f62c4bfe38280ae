// SPDX-License-Identifier: MIT
#pragma once
// The line settings text "baud,parity,data,stop", e.g. "115200,N,8,1".
#include <QString>
#include <optional>

namespace gaspuff {

struct PortSettings {
    int baud = 9600;
    char parity = 'n';  // n, e, o, m or s
    int databits = 8;   // 5..8
    int stopbits = 10;  // tenths: 10, 15 or 20

    // The canonical text: lower-case parity, "1.5" for one and a half stop bits.
    QString text() const;
    // Nothing for text that is not a valid settings text.
    static std::optional<PortSettings> parse(const QString& text);
    // Time the line needs for n characters, each with its start and stop bits.
    double secondsfor(qint64 n) const;
};

}  // namespace gaspuff
