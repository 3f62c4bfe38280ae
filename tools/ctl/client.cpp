// SPDX-License-Identifier: MIT
#include "client.h"

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "interrupts.h"
#include "link/lineassembly.h"
#include "options.h"
#include "protocol/sessionlog.h"
#include "waveform/files.h"
#include "waveform/records.h"

namespace gaspuff::ctl {

void say(const QString& text) {
    std::fprintf(stderr, "gaspuff-ctl: %s\n", encodedname(text).constData());
}

void RecentMessages::add(const QByteArray& text) {
    if (std::ssize(kept_) == kKept) {
        kept_.pop_front();
        ++leftout_;
    }
    kept_.push_back(text);
}

void RecentMessages::sayleftout() const {
    if (leftout_ > 0) say(QStringLiteral("... and %1 earlier messages left out").arg(leftout_));
}

void RecentMessages::sayall() const {
    for (const QByteArray& text : kept_)
        say(QStringLiteral("controller says: %1")
                .arg(QString::fromLatin1(SessionLog::escaped(text))));
    sayleftout();
}

Client::Client(SessionLog* log, const Interrupts* interrupts) : log_(log), interrupts_(interrupts) {
    connect(&port_, &SerialPort::received, this, &Client::onreceived);
    connect(&port_, &SerialPort::linklost, this, &Client::onlinklost);
    connect(interrupts_, &Interrupts::interrupted, this, &Client::wake);
}

SerialPort::OpenResult Client::open(const CtlOptions& options) {
    port_.setsettings(QStringLiteral("115200,N,8,1"));
    device_ = options.device;
    if (!device_.isEmpty())
        port_.setdevice(device_);
    else
        port_.setcommport(static_cast<int16_t>(options.port));
    const SerialPort::OpenResult result = port_.open();
    if (result == SerialPort::Opened) logport("opened");
    return result;
}

QString Client::portname() const {
    return device_.isEmpty() ? QStringLiteral("Port %1").arg(port_.commport())
                             : QStringLiteral("Port %1").arg(device_);
}

bool Client::command(const char* word) {
    if (interruptexit() != 0) return false;
    const QByteArray text = QByteArray(word) + '\r';
    if (!port_.output(text)) return false;
    if (log_) log_->sent(text);
    return true;
}

bool Client::upload(const Waveform& table) {
    if (!command("load") || !port_.output(uploadtext(table))) return false;
    if (log_) log_->waveform("sent", table);
    return true;
}

Client::Wait Client::await(const QDeadlineTimer& deadline,
                           const std::function<bool(const QByteArray&)>& done) {
    for (;;) {
        while (!lines_.empty()) {
            const QByteArray line = std::move(lines_.front());
            lines_.pop_front();
            if (done(line)) return Wait::Done;
        }
        if (interrupts_->signal() != 0) return Wait::Interrupted;
        if (lost_) return Wait::LinkLost;
        if (deadline.hasExpired()) return Wait::Deadline;
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(this, &Client::wake, &loop, &QEventLoop::quit);
        timer.start(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)));
        loop.exec();
    }
}

int Client::interruptexit() const {
    return interrupts_->signal() == 0 ? 0 : 128 + interrupts_->signal();
}

int Client::waitexit(Wait wait) const {
    switch (wait) {
        case Wait::Done:
            return kSuccess;
        case Wait::Deadline:
            return kTimedOut;
        case Wait::LinkLost:
            say(QStringLiteral("%1 closed: the link was lost (%2)").arg(portname(), errorstring()));
            return kTimedOut;
        case Wait::Interrupted:
            say(QStringLiteral("interrupted"));
            return interruptexit();
    }
    return kTimedOut;
}

int Client::writefailed() const {
    if (interruptexit() != 0) return waitexit(Wait::Interrupted);
    say(QStringLiteral("Cannot write to %1: %2").arg(portname(), errorstring()));
    return kNotConfirmed;
}

qint64 Client::close() {
    if (!port_.isopen()) return 0;
    const qint64 dropped = port_.close();
    logport("closed");
    return dropped;
}

void Client::onreceived() {
    receive(rxbuffer_, port_.input(), [this](const QByteArray& line) {
        if (log_) log_->received(line);
        lines_.push_back(line);
    });
    emit wake();
}

void Client::onlinklost() {
    lost_ = true;
    logport("lost");
    emit wake();
}

void Client::logport(const char* what) {
    if (!log_) return;
    const QString device = port_.devicepath();
    log_->port(device_.isEmpty() ? QStringLiteral("Com %1").arg(port_.commport()) : device, what,
               device);
}

}  // namespace gaspuff::ctl
