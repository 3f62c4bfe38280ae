// SPDX-License-Identifier: MIT
#include "link/serialport.h"

namespace gaspuff {

bool SerialPort::setsettings(const QString& text) {
    const auto parsed = PortSettings::parse(text);
    if (!parsed) return false;
    settings_ = *parsed;
    return true;
}

}  // namespace gaspuff
