#pragma once
// Which device "Com N" names on this machine.
#include <QString>

namespace gaspuff {

// The folder of per-user port links: $XDG_CONFIG_HOME/gaspuff/ports, by
// default ~/.config/gaspuff/ports.
QString portsfolder();

// On Windows "COMn". Elsewhere the link "comN" in portsfolder() when there is
// one (even a dangling one: its device is then missing), else /dev/ttyS<N-1>.
QString comdevicepath(int n);

}  // namespace gaspuff
