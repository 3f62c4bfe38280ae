// SPDX-License-Identifier: MIT
#pragma once
// Network serial ports by URL, in the forms lab tools already use:
// socket://HOST:PORT (raw TCP) and rfc2217://HOST:PORT (Telnet with the
// COM-PORT-OPTION). "Com N" names one through its link: a link's target is
// read as text, so comN -> rfc2217://host:4001 is a network port.
#include <QString>
#include <QtGlobal>
#include <optional>

namespace gaspuff {

struct NetworkAddress {
    bool rfc2217 = false;  // else raw TCP
    QString host;          // a name or an address, without IPv6 brackets
    quint16 port = 0;
};

// The URL path names: path itself when it is one, else the target of the
// link at path when that is one; empty for a local device.
QString networkname(const QString& path);

// The address url names, or nothing with why set to a sentence saying what is
// wrong with it.
std::optional<NetworkAddress> parsenetworkaddress(const QString& url, QString& why);

}  // namespace gaspuff
