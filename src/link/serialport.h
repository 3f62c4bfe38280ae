// SPDX-License-Identifier: MIT
#pragma once
// The serial port as the window uses it. Everything happens on the event
// thread: opening, writing and reading never block it, and closing waits at
// most kCloseWaitMs for pending output.
#include <QByteArray>
#include <QObject>
#include <QString>

#include "link/portsettings.h"

namespace gaspuff {

// The longest closing may hold up the window while pending output drains.
constexpr int kCloseWaitMs = 500;

class SerialPort : public QObject {
    Q_OBJECT
  public:
    // Results of open(). Every failure to open is one of the three.
    enum OpenResult {
        Opened = 0,
        NoSuchPort = 8002,   // the number names no device
        AlreadyOpen = 8005,  // in use, here or by another program
        OpenFailed = 8012,   // the device would not open (permission, not a terminal ...)
    };

    using QObject::QObject;

    // Refuses (returns false, keeps the old settings) text that is not valid.
    bool setsettings(const QString& text);
    // The settings in force, in canonical form ("115200,n,8,1").
    QString settings() const { return settings_.text(); }
    const PortSettings& portsettings() const { return settings_; }

    // The port number ("Com N") the next open uses; 1 until set.
    void setcommport(int16_t n) { commport_ = n; }
    int16_t commport() const { return commport_; }

    virtual OpenResult open() = 0;
    // Closes the port once pending output has reached the line, or after
    // kCloseWaitMs at most; returns how many characters were dropped.
    virtual qint64 close() = 0;
    virtual bool isopen() const = 0;
    // Sends the whole text in one write, in order. False when the port
    // refused it; errorstring() then says why.
    virtual bool output(const QByteArray& text) = 0;
    // Takes every received character waiting.
    virtual QByteArray input() = 0;
    virtual QString errorstring() const = 0;
    // The device the port has open, or opened last; empty when not known.
    virtual QString devicepath() const { return {}; }

  signals:
    // Received characters are waiting. A burst is announced at most once a
    // frame, so whoever shows what arrives redraws at most once a frame.
    void received();
    // The device went away while open (cable pulled, far end gone): the port
    // has closed itself. Sent once per loss.
    void linklost();

  private:
    PortSettings settings_;
    int16_t commport_ = 1;
};

}  // namespace gaspuff
