// SPDX-License-Identifier: MIT
// The window's side of the controller protocol: interpreting lines, the six
// commands, sending and reading back the waveform, and the transfer lock.
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTime>
#include <QTimer>
#include <new>
#include <optional>

#include "app/form1.h"
#include "app/shape.h"
#include "protocol/sessionlog.h"
#include "waveform/records.h"

namespace gaspuff {
namespace {

// The message list shows at most this many controller messages.
constexpr int kMessageListCap = 31;

// The state indicator's fill for a state word, compared exactly; none for
// any other word.
std::optional<QColor> statecolour(const QByteArray& state) {
    if (state == "stop") return QColor(0, 255, 0);
    if (state == "standby") return QColor(255, 255, 0);
    if (state == "armed") return QColor(255, 0, 0);
    if (state == "load") return QColor(255, 165, 0);
    if (state == "generate") return QColor(0, 0, 255);
    return std::nullopt;
}

}  // namespace

void Form1::parseline(const QByteArray& line) {
    session_->parseline(line);
}

void Form1::showline(const QByteArray& line, const LineMeaning& m) {
    try {
        switch (m.kind) {
            case LineKind::Status:
                // The fill follows every line, so a state word with no colour
                // keeps the last known state's colour, as it does line by line.
                if (const auto colour = statecolour(m.state)) shpState->setfillcolor(*colour);
                break;
            case LineKind::Point:
                if (m.point == PointResult::Bogus)
                    txtStatus->setText(QStringLiteral("%1 bogus points received")
                                           .arg(session_->reception().boguscount));
                break;
            case LineKind::Message:
                lstMessages->insertItem(0, QString::fromLatin1(line));
                lstMessages->setCurrentRow(0);
                break;
            case LineKind::Empty:
                break;
            case LineKind::Overflow:
                reportfailure(6, "Overflow");
                return;
        }
    } catch (const std::bad_alloc&) {
        reportfailure(7, "Out of memory");
        return;
    }
    capmessages();
}

void Form1::showstatus(const LineMeaning& status) {
    setcaption(lblState, QString::fromLatin1(status.state));
    setcaption(lblUptime, QString::fromLatin1(status.uptime));
    setcaption(lblAutoArm, QString::fromLatin1(status.autoarm));
}

void Form1::reportfailure(int code, const char* description) {
    txtStatus->setText(QStringLiteral("Error: %1 %2 %3")
                           .arg(code)
                           .arg(QLatin1String(description), QLatin1String(kApplicationName)));
}

void Form1::capmessages() {
    // Past the cap the older messages go, all at once; the newest stays at
    // the top, selected, so the operator still sees it.
    if (lstMessages->count() <= kMessageListCap) return;
    while (lstMessages->count() > 1) delete lstMessages->takeItem(lstMessages->count() - 1);
    lstMessages->setCurrentRow(0);
}

std::array<QPushButton*, 12> Form1::lockedbuttons() const {
    return {cmdSend,  cmdStop,     cmdArm,      cmdGet,  cmdShoot, cmdStandby,
            cmdLigar, cmdDesligar, cmdAddPoint, cmdSave, cmdLoad,  cmdReset};
}

void Form1::disablebuttons() {
    for (QPushButton* b : lockedbuttons()) b->setEnabled(false);
}

void Form1::enablebuttons() {
    for (QPushButton* b : lockedbuttons()) b->setEnabled(true);
}

bool Form1::sendcommand(const char* word) {
    if (session_->command(word)) return true;
    txtStatus->setText(session_->error());
    return false;
}

void Form1::cmdArm_Click() {
    sendcommand("arm");
}
void Form1::cmdAutoArmOn_Click() {
    sendcommand("auto_arm_on");
}
void Form1::cmdAutoArmOff_Click() {
    sendcommand("auto_arm_off");
}
void Form1::cmdShoot_Click() {
    // The log names the table the shot fires.
    if (sendcommand("shoot") && sessionlog) sessionlog->shot();
}
void Form1::cmdStandby_Click() {
    sendcommand("standby");
}
void Form1::cmdStop_Click() {
    sendcommand("stop");
}

void Form1::cmdSend_Click() {
    if (!session_->upload(waveform)) txtStatus->setText(session_->error());
}

void Form1::cmdGet_Click() {
    if (!session_->get()) txtStatus->setText(session_->error());
}

void Form1::tmrGetting_Timer() {
    session_->expire();
}

void Form1::transferended(LinkSession::Transfer kind, LinkSession::Outcome outcome,
                          const Waveform& table) {
    enablebuttons();
    if (kind == LinkSession::Transfer::Upload) {
        if (outcome != LinkSession::Outcome::Done) return;  // cmdSend_Click says why
        txtStatus->setText(QStringLiteral("Sent %1 points").arg(kWaveformLength));
        lastsent_ = Sent{table, QTime::currentTime().toString(QStringLiteral("hh:mm:ss"))};
    } else if (outcome == LinkSession::Outcome::Done) {
        txtStatus->setText(QStringLiteral("%1 points received").arg(kWaveformLength));
        const Waveform shown = waveform;
        changetable(QStringLiteral("Get Waveform"), shown, table);
        comparereadback(shown, table);
    } else if (outcome == LinkSession::Outcome::TimedOut) {
        // The staged points are dropped and the table and graph stay as they
        // were. The rest of the answer may still come.
        txtStatus->setText(QStringLiteral("Communication timeout"));
    }
}

}  // namespace gaspuff
