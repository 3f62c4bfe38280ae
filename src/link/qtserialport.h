// SPDX-License-Identifier: MIT
#pragma once
// The serial port on a real device, through QSerialPort.
#include <QElapsedTimer>
#include <QSerialPort>
#include <QTimer>

#include "link/serialport.h"

namespace gaspuff {

class QtSerialPort : public SerialPort {
    Q_OBJECT
  public:
    // Received characters waiting beyond this are left in the device until
    // the window has taken what it holds: a source faster than the window
    // costs bounded memory.
    static constexpr qint64 kReadBufferSize = 16 * 1024;
    // Received characters are announced at most once in this many
    // milliseconds, about one frame of the screen. While a busy line's next
    // announcement is due, the device is not watched: what arrives meanwhile
    // waits in the terminal and is taken at the frame, all at once.
    static constexpr int kFrameMs = 16;

    explicit QtSerialPort(QObject* parent = nullptr);
    ~QtSerialPort() override;

    // Opens this device instead of the one "Com N" names; empty for Com N.
    void setdevice(const QString& path) { fixeddevice_ = path; }

    OpenResult open() override;
    qint64 close() override;
    bool isopen() const override { return port_->isOpen(); }
    bool output(const QByteArray& text) override;
    QByteArray input() override;
    QString errorstring() const override { return error_; }
    QString devicepath() const override { return lastdevice_; }

  private:
    OpenResult openport(const QString& path);  // open() without its debug message
    OpenResult checkdevice(const QString& path);
    OpenResult failedopen(const QString& device);
    void onreadyread();
    void onframe();
    void hold();
    void release();
    void announce();
    void onerror(QSerialPort::SerialPortError error);
    bool devicegone() const;
    qint64 unsent() const;
    void forget();

    QSerialPort* port_;
    QTimer frame_;          // holds back an announcement until a frame has passed
    bool held_ = false;     // the device is not watched until the frame
    bool pulling_ = false;  // reading at the frame, which announces itself
    bool closing_ = false;  // waiting for output, reading only to discard
    QElapsedTimer lastannounced_;
    QString fixeddevice_;
    QString device_;  // the device path while open
    QString lastdevice_;
    QString error_;
    bool closepending_ = false;
};

}  // namespace gaspuff
