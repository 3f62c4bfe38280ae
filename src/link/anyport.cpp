// SPDX-License-Identifier: MIT
#include "link/anyport.h"

#include "link/comname.h"
#include "link/networkaddress.h"

namespace gaspuff {

AnyPort::AnyPort(QObject* parent)
    : SerialPort(parent),
      local_(new QtSerialPort(this)),
      network_(new NetworkPort(this)),
      current_(local_) {
    for (SerialPort* p : {static_cast<SerialPort*>(local_), static_cast<SerialPort*>(network_)}) {
        connect(p, &SerialPort::received, this, &SerialPort::received);
        connect(p, &SerialPort::linklost, this, &SerialPort::linklost);
    }
}

SerialPort::OpenResult AnyPort::open() {
    if (current_->isopen()) return current_->open();  // which refuses
    const QString url =
        networkname(fixeddevice_.isEmpty() ? comdevicepath(commport()) : fixeddevice_);
    if (url.isEmpty()) {
        local_->setdevice(fixeddevice_);
        current_ = local_;
    } else {
        network_->seturl(url);
        current_ = network_;
    }
    current_->setcommport(commport());
    current_->setsettings(settings());
    return current_->open();
}

}  // namespace gaspuff
