// SPDX-License-Identifier: MIT
#include "controller.h"

#include "waveform/records.h"

namespace gaspuff::tango {

Controller::Controller(QObject* parent) : QObject(parent) {
    port_.setsettings(QStringLiteral("115200,N,8,1"));
    connect(&port_, &SerialPort::received, this, &Controller::onreceived);
    connect(&port_, &SerialPort::linklost, this, [this] {
        rx_.end();
        emit lost();
    });
}

void Controller::setport(const QString& port) {
    bool number = false;
    const int n = port.trimmed().toInt(&number);
    device_ = number ? QString() : port;
    if (number) port_.setcommport(static_cast<int16_t>(n));
    port_.setdevice(device_);
}

QString Controller::portname() const {
    return device_.isEmpty() ? QStringLiteral("Port %1").arg(port_.commport())
                             : QStringLiteral("Port %1").arg(device_);
}

SerialPort::OpenResult Controller::open() {
    rxbuffer_.clear();
    rx_.end();
    return port_.open();
}

void Controller::close() {
    rx_.end();
    if (port_.isopen()) port_.close();
}

bool Controller::command(const char* word) {
    return port_.output(QByteArray(word) + '\r');
}

bool Controller::upload(const Waveform& table) {
    return command("load") && port_.output(uploadtext(table));
}

bool Controller::startreadback() {
    if (!command("get")) return false;
    rx_.start();
    return true;
}

void Controller::onreceived() {
    const QByteArray bytes = port_.input();
    if (bytes.isEmpty()) return;
    emit activity();
    receive(rxbuffer_, bytes, [this](const QByteArray& line) { online(line); });
}

void Controller::online(const QByteArray& line) {
    const int dropped = rx_.boguscount;  // a completed answer resets it
    const LineMeaning m = interpretline(line, rx_, table_);
    if (m.kind == LineKind::Status) emit status(m.state, m.uptime, m.autoarm);
    if (m.kind == LineKind::Message) emit message(line);
    if (m.kind != LineKind::Point) return;
    // Values outside 0..100 are dropped, yet they end the answer as well.
    if (m.point == PointResult::Completed) {
        emit readbackended({table_, kWaveformLength, dropped});
    } else if (rx_.pointcount + rx_.boguscount == kWaveformLength) {
        const Answer answer{rx_.staging, rx_.pointcount, rx_.boguscount};
        rx_.end();
        emit readbackended(answer);
    }
}

}  // namespace gaspuff::tango
