// SPDX-License-Identifier: MIT
#include "diagnostics.h"

namespace gaspuff {

// Info and above by default: their debug messages only when asked for.
Q_LOGGING_CATEGORY(lclink, "gaspuff.link", QtInfoMsg)
Q_LOGGING_CATEGORY(lcprotocol, "gaspuff.protocol", QtInfoMsg)

}  // namespace gaspuff
