// SPDX-License-Identifier: MIT
#pragma once
// Which device "Com N" names on this machine.
#include <QString>

namespace gaspuff {

// The folder of per-user port links: gaspuff/ports in the user's
// configuration folder ($XDG_CONFIG_HOME, by default ~/.config). A relative
// $XDG_CONFIG_HOME is invalid by the XDG rules and ignored, so programs started
// from different folders agree on what "Com N" is.
QString portsfolder();

// The link "comN" in portsfolder() when there is one (even a dangling one:
// its device is then missing), else /dev/ttyS<N-1>.
QString comdevicepath(int n);

// Whoever may write the ports folder, or the gaspuff folder holding it, can
// choose which device "Com N" opens. A warning naming the first such folder
// ("... is writable by other users"), or empty: for a folder writable by its
// group or by everyone, or owned by another user than this one or root.
QString portsfolderwarning(const QString& folder);

// portsfolderwarning(portsfolder()) the first time it has something to say in
// this process; empty ever after.
QString portsfolderwarningonce();

}  // namespace gaspuff
