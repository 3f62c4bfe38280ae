#pragma once
// The serial port on a real device, through QSerialPort.
#include <QSerialPort>

#include "link/serialport.h"

namespace gaspuff {

class QtSerialPort : public SerialPort {
    Q_OBJECT
public:
    explicit QtSerialPort(QObject* parent = nullptr);
    ~QtSerialPort() override;

    OpenResult open() override;
    void close() override;
    bool isopen() const override { return port_->isOpen(); }
    bool output(const QByteArray& text) override;
    QByteArray input() override;
    QString errorstring() const override { return error_; }

private:
    OpenResult checkdevice(const QString& path);
    OpenResult failedopen();
    void onerror(QSerialPort::SerialPortError error);
    bool devicegone() const;
    void forget();

    QSerialPort* port_;
    QString device_;  // the device path while open
    QString error_;
    bool closepending_ = false;
    bool morepending_ = false;
};

}  // namespace gaspuff
