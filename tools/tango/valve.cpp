// SPDX-License-Identifier: MIT
#include "valve.h"

#include <QStringList>
#include <algorithm>

#include "protocol/sessionlog.h"
#include "waveform/compare.h"

namespace gaspuff::tango {
namespace {

// How many differing entries a failed verification names.
constexpr int kDifferencesShown = 5;

QString words(const QByteArray& state) {
    if (state == "stop") return QStringLiteral("stopped");
    if (state == "standby") return QStringLiteral("in standby");
    if (state == "armed") return QStringLiteral("armed");
    if (state == "load") return QStringLiteral("loading a table");
    if (state == "generate") return QStringLiteral("firing a shot");
    return QStringLiteral("in state \"%1\"").arg(QString::fromLatin1(state));
}

// A verification's sentence, or empty when the controller holds the table.
QString verification(const Waveform& wrote, const Waveform& held) {
    const std::vector<Difference> differ = differences(wrote, held);
    if (differ.empty()) return {};
    QStringList shown;
    for (const Difference& d : differ)
        if (shown.size() < kDifferencesShown)
            shown << QStringLiteral("t=%1: wrote %2, holds %3").arg(d.t).arg(d.wanted).arg(d.holds);
    return QStringLiteral(
               "Verification failed: %1 of the 1000 entries not read back as written: "
               "%2%3")
        .arg(differ.size())
        .arg(shown.join(QStringLiteral("; ")))
        .arg(std::ssize(differ) > kDifferencesShown ? QStringLiteral("; ...") : QString());
}

}  // namespace

QString Snapshot::link() const {
    static const char* const names[] = {"opening", "open", "closed", "lost", "reopening"};
    const QString where = device.isEmpty() ? port : QStringLiteral("%1 (%2)").arg(port, device);
    return where + QStringLiteral(": ") + QLatin1String(names[static_cast<int>(condition)]);
}

QString Snapshot::status() const {
    if (condition != Condition::Open) {
        const QString now = condition == Condition::Opening  ? QStringLiteral("opening")
                            : condition == Condition::Closed ? QStringLiteral("closed")
                                                             : QStringLiteral("reopening");
        return why.isEmpty() ? QStringLiteral("%1 %2").arg(port, now)
                             : QStringLiteral("%1 (%2 %3)").arg(why, port, now);
    }
    const QString open = QStringLiteral(" (%1 open)").arg(port);
    if (silent) return QStringLiteral("Communication timeout: nothing heard for a second") + open;
    if (state.isEmpty()) return QStringLiteral("Waiting for the controller's status") + open;
    return QStringLiteral("Controller %1, auto-arm %2, uptime %3%4%5")
        .arg(words(state), QString::fromLatin1(autoarm), QString::fromLatin1(uptime), open,
             transfer ? QStringLiteral("; a transfer is in progress") : QString());
}

Valve::Valve(const QString& port, QObject* parent)
    : QObject(parent), port_(this), line_(&port_, this) {
    port_.setsettings(QStringLiteral("115200,N,8,1"));
    bool number = false;
    const int n = port.trimmed().toInt(&number);
    if (number) {
        port_.setcommport(static_cast<int16_t>(n));
    } else {
        port_.setdevice(port);
        line_.setgivenname(port);
    }
    portset_ = !port.trimmed().isEmpty();
    s_.port = portset_ ? line_.portname() : QStringLiteral("Port (not set)");
    for (QTimer* t : {&watchdog_, &reopen_}) t->setSingleShot(true);
    watchdog_.setInterval(kWatchdogMs);
    connect(&watchdog_, &QTimer::timeout, this, [this] {
        s_.silent = true;
        emit changed();
    });
    connect(&reopen_, &QTimer::timeout, this, &Valve::tryopen);
    connect(&line_, &LinkSession::activity, this, [this] { watchdog_.start(); });
    connect(&line_, &LinkSession::status, this, [this](const LineMeaning& m) {
        s_.state = m.state, s_.uptime = m.uptime, s_.autoarm = m.autoarm;
        s_.silent = false;
        emit changed();
    });
    connect(&line_, &LinkSession::message, this, [this](const QByteArray& text) {
        s_.lastmessage = SessionLog::escaped(text);
        emit changed();
    });
    connect(&line_, &LinkSession::linklost, this, &Valve::onlost);
    connect(&line_, &LinkSession::transferfinished, this, &Valve::onfinished);
}

void Valve::start() {
    if (!portset_) {
        s_.condition = Condition::Closed;
        s_.why = QStringLiteral(
            "The device property Port is not set (a number N for Com N, or "
            "a device path; then Init)");
        emit changed();
        return;
    }
    running_ = true;
    tryopen();
}

void Valve::stop() {
    running_ = false;
    reopen_.stop();
    finish({QStringLiteral("Closed"), QStringLiteral("%1 closed").arg(s_.port)});
    line_.close();
    forget();
    s_.condition = Condition::Closed;
    emit changed();
}

void Valve::tryopen() {
    if (!running_ || port_.isopen()) return;
    const SerialPort::OpenResult r = line_.open();
    s_.device = port_.devicepath();
    if (r == SerialPort::Opened) {
        s_.condition = Condition::Open;
        s_.why.clear();
        backoffms_ = kReopenFirstMs;
        watchdog_.start();
    } else {
        s_.condition = Condition::Reopening;
        s_.why = line_.openwords(r);
        if (!port_.errorstring().isEmpty()) s_.why += QStringLiteral(": ") + port_.errorstring();
        reopen_.start(backoffms_);
        backoffms_ = std::min(2 * backoffms_, kReopenMaxMs);
    }
    emit changed();
}

void Valve::onlost() {
    s_.why = QStringLiteral("%1 closed: the link was lost").arg(s_.port);
    forget();
    s_.condition = Condition::Lost;
    reopen_.start(backoffms_);
    emit changed();
}

// Nothing is known of a controller on a line that is not open.
void Valve::forget() {
    watchdog_.stop();
    s_.state.clear(), s_.uptime.clear(), s_.autoarm.clear();
    s_.silent = false;
}

Outcome Valve::refusal(bool transfers) const {
    if (!port_.isopen())
        return {QStringLiteral("NotConnected"),
                QStringLiteral("Not connected! (%1 %2)").arg(s_.port, s_.link().section(' ', -1))};
    if (transfers && s_.transfer)
        return {QStringLiteral("TransferInProgress"),
                QStringLiteral("A transfer is in progress: refused until it ends")};
    return {};
}

Outcome Valve::command(const char* word) {
    const bool autoarm = qstrncmp(word, "auto_arm", 8) == 0;
    if (Outcome no = refusal(!autoarm); !no.ok()) return no;
    if (!line_.command(word)) return {QStringLiteral("WriteFailed"), line_.error()};
    return {};
}

void Valve::write(const Waveform& table, Finish finish) {
    if (Outcome no = refusal(true); !no.ok()) return finish(no);
    if (!line_.upload(table) || !line_.get())
        return finish({QStringLiteral("WriteFailed"), line_.error()});
    finish_ = std::move(finish);
    wrote_ = table;
    s_.transfer = true;
    emit changed();
}

void Valve::readback(Finish finish) {
    if (Outcome no = refusal(true); !no.ok()) return finish(no);
    if (!line_.get()) return finish({QStringLiteral("WriteFailed"), line_.error()});
    finish_ = std::move(finish);
    wrote_.reset();
    s_.transfer = true;
    emit changed();
}

void Valve::onfinished(LinkSession::Transfer kind, LinkSession::Outcome outcome,
                       const Waveform& table) {
    if (kind != LinkSession::Transfer::ReadBack || !s_.transfer) return;
    using O = LinkSession::Outcome;
    if (outcome == O::Done) {
        s_.table = table;
        const QString differ = wrote_ ? verification(*wrote_, table) : QString();
        return finish(
            {differ.isEmpty() ? QString() : QStringLiteral("VerificationFailed"), differ});
    }
    // Values outside 0..100 never come back: such a table's read-back runs
    // into its deadline.
    const bool outside = wrote_ && std::any_of(wrote_->begin(), wrote_->end(), [](int16_t v) {
                             return v < 0 || v > kMaxAmplitude;
                         });
    finish(outcome == O::TimedOut
               ? Outcome{QStringLiteral("CommunicationTimeout"),
                         QStringLiteral("Communication timeout: the table did not come back "
                                        "within 2 s%1")
                             .arg(outside ? QStringLiteral("; values outside 0..100 were "
                                                           "written, and a read-back drops them")
                                          : QString())}
           : outcome == O::LinkLost
               ? Outcome{QStringLiteral("LinkLost"),
                         QStringLiteral("%1 closed: the link was lost").arg(s_.port)}
               : Outcome{QStringLiteral("Closed"), QStringLiteral("%1 closed").arg(s_.port)});
}

void Valve::finish(const Outcome& outcome) {
    if (!s_.transfer) return;
    s_.transfer = false;
    wrote_.reset();
    emit changed();
    if (outcome.ok() || outcome.reason == QLatin1String("VerificationFailed")) emit transferred();
    if (Finish f = std::exchange(finish_, {})) f(outcome);
}

}  // namespace gaspuff::tango
