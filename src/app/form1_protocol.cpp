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
#include "link/serialport.h"
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
    if (const auto status = interpret(line)) showstatus(*status);
}

std::optional<LineMeaning> Form1::interpret(const QByteArray& line) {
    std::optional<LineMeaning> status;
    try {
        // The last point replaces the table at once: keep the one shown, for
        // undo and for the comparison.
        std::optional<Waveform> shown;
        if (rx.getting && rx.pointcount == kWaveformLength - 1) shown = waveform;
        LineMeaning m = interpretline(line, rx, waveform);
        switch (m.kind) {
            case LineKind::Status:
                // The fill follows every line, so a state word with no colour
                // keeps the last known state's colour, as it does line by line.
                if (const auto colour = statecolour(m.state)) shpState->setfillcolor(*colour);
                status = std::move(m);
                break;
            case LineKind::Point:
                if (m.point == PointResult::Bogus) {
                    txtStatus->setText(
                        QStringLiteral("%1 bogus points received").arg(rx.boguscount));
                } else if (m.point == PointResult::Completed) {
                    txtStatus->setText(QStringLiteral("%1 points received").arg(kWaveformLength));
                    tmrGetting->stop();
                    const Waveform received = waveform;
                    changetable(QStringLiteral("Get Waveform"), shown.value_or(received), received);
                    enablebuttons();
                    if (sessionlog) sessionlog->waveform("received", waveform);
                    comparereadback(shown.value_or(received), received);
                }
                break;
            case LineKind::Message:
                lateanswer.received(line);
                lstMessages->insertItem(0, QString::fromLatin1(line));
                lstMessages->setCurrentRow(0);
                break;
            case LineKind::Empty:
                break;
            case LineKind::Overflow:
                reportfailure(6, "Overflow");
                return status;
        }
    } catch (const std::bad_alloc&) {
        reportfailure(7, "Out of memory");
        return status;
    }
    capmessages();
    return status;
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
    if (!MSComm1->isopen()) {
        txtStatus->setText(QStringLiteral("Not connected!"));
        return false;
    }
    const QByteArray command = QByteArray(word) + '\r';
    if (!MSComm1->output(command)) {
        txtStatus->setText(MSComm1->errorstring());
        return false;
    }
    if (sessionlog) sessionlog->sent(command);
    return true;
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
    if (!sendcommand("load")) return;
    disablebuttons();
    if (MSComm1->output(uploadtext(waveform))) {
        txtStatus->setText(QStringLiteral("Sent %1 points").arg(kWaveformLength));
        lastsent_ = Sent{waveform, QTime::currentTime().toString(QStringLiteral("hh:mm:ss"))};
        if (sessionlog) sessionlog->waveform("sent", waveform);
    } else {
        txtStatus->setText(MSComm1->errorstring());
    }
    enablebuttons();
}

void Form1::cmdGet_Click() {
    // The rest of an answer given up on would be taken as this one's first
    // points: Get is refused until the line has been quiet long enough.
    if (MSComm1->isopen())
        if (const qint64 wait = lateanswer.delay(MSComm1->devicepath()); wait > 0) {
            txtStatus->setText(
                QStringLiteral("An earlier answer may still be arriving: Get again in %1 s")
                    .arg((wait + 999) / 1000));
            return;
        }
    if (!sendcommand("get")) return;
    rx.start();
    disablebuttons();
    tmrGetting->start();
}

void Form1::endreadback() {
    tmrGetting->stop();
    rx.end();
    enablebuttons();
}

void Form1::tmrGetting_Timer() {
    // The read-back missed its deadline: the staged points are dropped and
    // the table and graph stay as they were. The rest of the answer may
    // still come.
    endreadback();
    lateanswer.abandoned(MSComm1->devicepath());
    txtStatus->setText(QStringLiteral("Communication timeout"));
}

}  // namespace gaspuff
