// SPDX-License-Identifier: MIT
#include "valve.h"

#include <QStringList>

#include "protocol/lateanswer.h"
#include "protocol/sessionlog.h"
#include "waveform/records.h"

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

// The entries the controller does not hold as written. Values outside 0..100
// never come back in a read-back; those it took stand for the entries inside,
// in order.
QStringList differences(const Waveform& wrote, const Controller::Answer& answer) {
    QStringList differ;
    for (int t = 0, taken = 0; t < kWaveformLength; ++t) {
        const QString entry = QStringLiteral("t=%1: wrote %2, ").arg(t).arg(wrote[t]);
        if (wrote[t] < 0 || wrote[t] > kMaxAmplitude)
            differ << entry + QStringLiteral("outside 0..100: a read-back drops it");
        else if (taken >= answer.taken)
            differ << entry + QStringLiteral("not read back"), ++taken;
        else if (const int16_t held = answer.values[taken++]; held != wrote[t])
            differ << entry + QStringLiteral("holds %1").arg(held);
    }
    return differ;
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

Valve::Valve(const QString& port, QObject* parent) : QObject(parent), line_(this) {
    line_.setport(port);
    s_.port = line_.portname();
    for (QTimer* t : {&watchdog_, &reopen_, &deadline_}) t->setSingleShot(true);
    watchdog_.setInterval(kWatchdogMs);
    connect(&watchdog_, &QTimer::timeout, this, [this] {
        s_.silent = true;
        emit changed();
    });
    connect(&reopen_, &QTimer::timeout, this, &Valve::tryopen);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        line_.endreadback();
        finish({QStringLiteral("CommunicationTimeout"),
                QStringLiteral("Communication timeout: the table did not come back within 2 s")});
    });
    connect(&line_, &Controller::activity, this, [this] { watchdog_.start(); });
    connect(&line_, &Controller::status, this, &Valve::onstatus);
    connect(&line_, &Controller::message, this, [this](const QByteArray& text) {
        s_.lastmessage = SessionLog::escaped(text);
        emit changed();
    });
    connect(&line_, &Controller::lost, this, &Valve::onlost);
    connect(&line_, &Controller::readbackended, this, &Valve::onanswer);
}

void Valve::start() {
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
    if (!running_ || line_.isopen()) return;
    const SerialPort::OpenResult r = line_.open();
    s_.device = line_.devicepath();
    if (r == SerialPort::Opened) {
        s_.condition = Condition::Open;
        s_.why.clear();
        backoffms_ = kReopenFirstMs;
        watchdog_.start();
    } else {
        s_.condition = Condition::Reopening;
        s_.why = r == SerialPort::NoSuchPort    ? s_.port + QStringLiteral(" does not exist")
                 : r == SerialPort::AlreadyOpen ? s_.port + QStringLiteral(" is already open")
                                                : s_.port + QStringLiteral(" open failed");
        if (!line_.errorstring().isEmpty()) s_.why += QStringLiteral(": ") + line_.errorstring();
        reopen_.start(backoffms_);
        backoffms_ = std::min(2 * backoffms_, kReopenMaxMs);
    }
    emit changed();
}

void Valve::onstatus(const QByteArray& state, const QByteArray& uptime, const QByteArray& autoarm) {
    s_.state = state, s_.uptime = uptime, s_.autoarm = autoarm;
    s_.silent = false;
    emit changed();
}

void Valve::onlost() {
    line_.close();
    s_.why = QStringLiteral("%1 closed: the link was lost").arg(s_.port);
    finish({QStringLiteral("LinkLost"), s_.why});
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
    if (!line_.isopen())
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
    if (!line_.command(word)) return {QStringLiteral("WriteFailed"), line_.errorstring()};
    return {};
}

void Valve::write(const Waveform& table, Finish finish) {
    if (Outcome no = refusal(true); !no.ok()) return finish(no);
    if (!line_.upload(table) || !line_.startreadback())
        return finish({QStringLiteral("WriteFailed"), line_.errorstring()});
    finish_ = std::move(finish);
    wrote_ = table;
    s_.transfer = true;
    // The answer follows the upload on the wire: 10 bits a character at 115200.
    deadline_.start(kReadBackMs + static_cast<int>(uploadtext(table).size() / 11));
    emit changed();
}

void Valve::readback(Finish finish) {
    if (Outcome no = refusal(true); !no.ok()) return finish(no);
    if (!line_.startreadback()) return finish({QStringLiteral("WriteFailed"), line_.errorstring()});
    finish_ = std::move(finish);
    wrote_.reset();
    s_.transfer = true;
    deadline_.start(kReadBackMs);
    emit changed();
}

void Valve::onanswer(const Controller::Answer& answer) {
    if (!s_.transfer) return;
    if (answer.taken == kWaveformLength) s_.table = answer.values;
    if (!wrote_) {
        if (answer.taken == kWaveformLength) return finish({});
        return finish({QStringLiteral("BogusPoints"),
                       QStringLiteral("%1 of the 1000 values lay outside 0..100: the table was "
                                      "not taken")
                           .arg(answer.dropped)});
    }
    const QStringList differ = differences(*wrote_, answer);
    if (differ.isEmpty()) return finish({});
    finish({QStringLiteral("VerificationFailed"),
            QStringLiteral("Verification failed: %1 of the 1000 entries not read back as written: "
                           "%2%3")
                .arg(differ.size())
                .arg(differ.mid(0, kDifferencesShown).join(QStringLiteral("; ")))
                .arg(differ.size() > kDifferencesShown ? QStringLiteral("; ...") : QString())});
}

void Valve::finish(const Outcome& outcome) {
    if (!s_.transfer) return;
    deadline_.stop();
    s_.transfer = false;
    const bool wrote = wrote_.has_value();
    if (wrote && outcome.ok()) s_.table = wrote_;
    wrote_.reset();
    emit changed();
    if (outcome.ok() || (wrote && outcome.reason == QLatin1String("VerificationFailed")))
        emit transferred();
    if (Finish f = std::exchange(finish_, {})) f(outcome);
}

}  // namespace gaspuff::tango
