// SPDX-License-Identifier: MIT
#include "client.h"

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "interrupts.h"
#include "options.h"
#include "protocol/sessionlog.h"
#include "waveform/files.h"

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

Client::Client(SessionLog* log, const Interrupts* interrupts) : interrupts_(interrupts) {
    session_.setlog(log);
    connect(&session_, &LinkSession::line, this, [this](const QByteArray& text) {
        lines_.push_back(text);
        emit wake();
    });
    connect(&session_, &LinkSession::linklost, this, [this] {
        lost_ = true;
        emit wake();
    });
    connect(interrupts_, &Interrupts::interrupted, this, &Client::wake);
}

SerialPort::OpenResult Client::open(const CtlOptions& options) {
    port_.setsettings(QStringLiteral("115200,N,8,1"));
    port_.setdevice(options.device);
    if (options.device.isEmpty()) port_.setcommport(static_cast<int16_t>(options.port));
    session_.setgivenname(options.device);
    return session_.open();
}

bool Client::command(const char* word) {
    return interruptexit() == 0 && session_.command(word);
}

bool Client::upload(const Waveform& table) {
    return interruptexit() == 0 && session_.upload(table);
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
    return session_.close();
}

}  // namespace gaspuff::ctl
