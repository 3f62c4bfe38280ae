// SPDX-License-Identifier: MIT
#pragma once
// The port "Com N" names, whichever kind it is: a local device, or a network
// serial server when the name is a URL (comN -> rfc2217://host:4001). The
// window holds one port and changes its number between opens, so the kind is
// chosen afresh at every open().
#include "link/networkport.h"
#include "link/qtserialport.h"

namespace gaspuff {

class AnyPort : public SerialPort {
    Q_OBJECT
  public:
    explicit AnyPort(QObject* parent = nullptr);

    // Opens this device or URL instead of the one "Com N" names; empty for
    // Com N.
    void setdevice(const QString& path) { fixeddevice_ = path; }
    NetworkPort& network() { return *network_; }

    OpenResult open() override;
    qint64 close() override { return current_->close(); }
    bool isopen() const override { return current_->isopen(); }
    bool output(const QByteArray& text) override { return current_->output(text); }
    QByteArray input() override { return current_->input(); }
    QString errorstring() const override { return current_->errorstring(); }
    QString devicepath() const override { return current_->devicepath(); }

  private:
    QtSerialPort* local_;
    NetworkPort* network_;
    SerialPort* current_;
    QString fixeddevice_;
};

}  // namespace gaspuff
