// SPDX-License-Identifier: MIT
#pragma once
// The core's debug messages, for developers: off unless turned on, e.g. with
// QT_LOGGING_RULES="gaspuff.*.debug=true". The operator's record of a session
// is the session log, never these.
#include <QLoggingCategory>

namespace gaspuff {

Q_DECLARE_LOGGING_CATEGORY(lclink)      // "gaspuff.link": ports opened, closed, lost
Q_DECLARE_LOGGING_CATEGORY(lcprotocol)  // "gaspuff.protocol": the read-back's stages

}  // namespace gaspuff
