// SPDX-License-Identifier: MIT
#include "protocol/linksession.h"

#include <new>

#include "protocol/sessionlog.h"
#include "waveform/records.h"

namespace gaspuff {

LinkSession::LinkSession(SerialPort* port, QObject* parent) : QObject(parent), port_(port) {
    deadline_.setSingleShot(true);
    deadline_.setInterval(static_cast<int>(kReadBackMs));
    // A deadline means its milliseconds: a coarse timer may fire 5 % early.
    deadline_.setTimerType(Qt::PreciseTimer);
    connect(&deadline_, &QTimer::timeout, this, &LinkSession::expire);
    connect(port_, &SerialPort::received, this, &LinkSession::onreceived);
    connect(port_, &SerialPort::linklost, this, &LinkSession::onlinklost);
}

QString LinkSession::portname() const {
    return given_.isEmpty() ? QStringLiteral("Port %1").arg(port_->commport())
                            : QStringLiteral("Port %1").arg(given_);
}

SerialPort::OpenResult LinkSession::open() {
    const SerialPort::OpenResult result = port_->open();
    if (result != SerialPort::Opened) return result;
    // A half line left from the last connection belongs to no line of this one.
    rxbuffer_.clear();
    logport("opened");
    return result;
}

QString LinkSession::openwords(SerialPort::OpenResult result) const {
    switch (result) {
        case SerialPort::Opened:
            return portname() + QStringLiteral(" open successfully");
        case SerialPort::NoSuchPort:
            return portname() + QStringLiteral(" does not exist");
        case SerialPort::AlreadyOpen:
            return portname() + QStringLiteral(" is already open");
        case SerialPort::OpenFailed:
            break;
    }
    return portname() + QStringLiteral(" open failed");
}

qint64 LinkSession::close() {
    // A read-back still running ends here, its answer not: the next reader of
    // the line waits for the rest of it.
    if (rx_.getting) {
        lateanswer_.abandoned(port_->devicepath());
        endreadback(Outcome::Closed);
    }
    if (!port_->isopen()) return 0;
    const qint64 dropped = port_->close();
    logport("closed");
    return dropped;
}

QString LinkSession::unsentwords(qint64 dropped) {
    return QStringLiteral("%1 characters of output not sent: the line did not take them")
        .arg(dropped);
}

bool LinkSession::command(const char* word) {
    if (!port_->isopen()) {
        error_ = QStringLiteral("Not connected!");
        return false;
    }
    const QByteArray text = QByteArray(word) + '\r';
    if (!port_->output(text)) {
        error_ = port_->errorstring();
        return false;
    }
    if (log_) log_->sent(text);
    return true;
}

bool LinkSession::upload(const Waveform& table) {
    if (!command("load")) return false;
    emit transferstarted(Transfer::Upload);
    if (!port_->output(uploadtext(table))) {
        error_ = port_->errorstring();
        emit transferfinished(Transfer::Upload, Outcome::Refused, table_);
        return false;
    }
    table_ = table;
    if (log_) log_->waveform("sent", table_);
    emit transferfinished(Transfer::Upload, Outcome::Done, table_);
    return true;
}

qint64 LinkSession::getdelay() const {
    return lateanswer_.delay(port_->devicepath());
}

bool LinkSession::get() {
    // The rest of an answer given up on would be taken as this one's first
    // points: "get" waits until the line has been quiet long enough.
    if (port_->isopen())
        if (const qint64 wait = getdelay(); wait > 0) {
            error_ = QStringLiteral("An earlier answer may still be arriving: Get again in %1 s")
                         .arg((wait + 999) / 1000);
            return false;
        }
    if (!command("get")) return false;
    rx_.start();
    deadline_.start();
    emit transferstarted(Transfer::ReadBack);
    return true;
}

void LinkSession::expire() {
    if (!rx_.getting) return;
    // The rest of the answer may still come.
    lateanswer_.abandoned(port_->devicepath());
    endreadback(Outcome::TimedOut);
}

void LinkSession::endreadback(Outcome outcome) {
    deadline_.stop();
    rx_.end();
    emit transferfinished(Transfer::ReadBack, outcome, table_);
}

void LinkSession::parseline(const QByteArray& text) {
    std::optional<LineMeaning> newest;
    handle(text, newest);
    if (newest) emit status(*newest);
}

void LinkSession::clearreceived() {
    rxbuffer_.text.clear();
    rx_.end();
}

void LinkSession::onreceived() {
    const QByteArray received = port_->input();
    activity_ = true;
    emit activity();
    // Every line is logged and handled in order; of the status lines that
    // came at once only the newest can be seen, so it is told once.
    std::optional<LineMeaning> newest;
    receive(rxbuffer_, received, [&](const QByteArray& text) {
        if (log_) log_->received(text);
        handle(text, newest);
    });
    if (newest) emit status(*newest);
}

void LinkSession::handle(const QByteArray& text, std::optional<LineMeaning>& newest) {
    LineMeaning m;
    try {
        m = interpretline(text, rx_, table_);
    } catch (const std::bad_alloc&) {
        emit outofmemory();
        return;
    }
    if (m.kind == LineKind::Message) lateanswer_.received(text);
    emit line(text, m);
    if (m.kind == LineKind::Message) emit message(text);
    if (m.kind == LineKind::Point && m.point == PointResult::Completed) {
        if (log_) log_->waveform("received", table_);
        endreadback(Outcome::Done);
    }
    if (m.kind == LineKind::Status) newest = std::move(m);
}

void LinkSession::onlinklost() {
    logport("lost");
    if (rx_.getting) endreadback(Outcome::LinkLost);
    emit linklost();
}

void LinkSession::logport(const char* what) {
    if (!log_) return;
    // A port given by name is named by the device it opened.
    const QString device = port_->devicepath();
    log_->port(given_.isEmpty() ? QStringLiteral("Com %1").arg(port_->commport()) : device, what,
               device);
}

}  // namespace gaspuff
