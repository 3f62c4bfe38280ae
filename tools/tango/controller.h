// SPDX-License-Identifier: MIT
#pragma once
// What the device server needs from the controller's line: open and close it
// by the Port property's text, write a command, load a table, read the table
// back, and hear what the controller says. It lives on the owner thread; its
// signals are emitted there.
#include <QByteArray>
#include <QObject>
#include <QString>

#include "link/lineassembly.h"
#include "link/qtserialport.h"
#include "protocol/interpreter.h"
#include "waveform/table.h"

namespace gaspuff::tango {

class Controller : public QObject {
    Q_OBJECT
  public:
    explicit Controller(QObject* parent = nullptr);

    // A number N means "Com N"; anything else is a device path.
    void setport(const QString& port);
    // "Port 10", or "Port /dev/ttyACM0": how messages name the port.
    QString portname() const;
    // The device the port has open, or opened last.
    QString devicepath() const { return port_.devicepath(); }
    SerialPort::OpenResult open();
    void close();
    bool isopen() const { return port_.isopen(); }
    QString errorstring() const { return port_.errorstring(); }

    // The word and a carriage return, in one write.
    bool command(const char* word);
    // "load", then the 1000 values in a second write.
    bool upload(const Waveform& table);
    // What came for one "get": the values taken, in order, and how many were
    // dropped for lying outside 0..100.
    struct Answer {
        Waveform values{};
        int taken = 0;
        int dropped = 0;
    };
    // "get"; readbackended() follows once 1000 values have come, in range or
    // not. The caller keeps the deadline.
    bool startreadback();
    void endreadback() { rx_.end(); }
    bool readingback() const { return rx_.getting; }

  signals:
    void status(const QByteArray& state, const QByteArray& uptime, const QByteArray& autoarm);
    void message(const QByteArray& text);
    // Characters came (any, even half a line).
    void activity();
    void lost();
    void readbackended(const gaspuff::tango::Controller::Answer& answer);

  private:
    void onreceived();
    void online(const QByteArray& line);

    QtSerialPort port_;
    QString device_;  // empty for Com N
    LineAssembly rxbuffer_;
    Reception rx_;
    Waveform table_{};
};

}  // namespace gaspuff::tango
