// SPDX-License-Identifier: MIT
#pragma once
#include <QByteArrayList>
#include <utility>

#include "link/serialport.h"

namespace gaspuff::test {

// A serial port for tests: records what is written, lets the test decide how
// opening ends, feed received bytes and pull the cable.
class FakePort : public SerialPort {
  public:
    OpenResult nextopen = Opened;
    QByteArrayList writes;
    int opens = 0;
    int closes = 0;
    qsizetype acceptonly = -1;  // writes taken before the rest are refused; -1: all

    OpenResult open() override {
        ++opens;
        if (nextopen == Opened) open_ = true;
        return nextopen;
    }
    qint64 unsentatclose = 0;  // what close() reports it dropped
    qint64 close() override {
        ++closes;
        open_ = false;
        return std::exchange(unsentatclose, 0);
    }
    bool isopen() const override { return open_; }
    bool output(const QByteArray& text) override {
        if (!open_ || writes.size() == acceptonly) return false;
        writes.append(text);
        return true;
    }
    QByteArray input() override { return std::exchange(waiting_, {}); }
    QString errorstring() const override { return QStringLiteral("Write refused by the device"); }
    QString device;  // what devicepath() reports
    QString devicepath() const override { return device; }

    // Bytes arrive: the receive notification fires at once, as it would from
    // the event loop.
    void feed(const QByteArray& bytes) {
        waiting_ += bytes;
        emit received();
    }
    void pullcable() {
        open_ = false;
        emit linklost();
    }

  private:
    bool open_ = false;
    QByteArray waiting_;
};

}  // namespace gaspuff::test
