// SPDX-License-Identifier: MIT
// The window's side of the link: Connect, Disconnect, the port state display,
// receiving, the watchdog and a lost device.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

#include "app/form1.h"
#include "app/shape.h"
#include "link/comname.h"
#include "link/lineassembly.h"
#include "link/serialport.h"
#include "protocol/sessionlog.h"

namespace gaspuff {
namespace {

QString portmessage(const SerialPort* port, const char* suffix) {
    return QStringLiteral("Port %1%2").arg(port->commport()).arg(QLatin1String(suffix));
}

}  // namespace

void Form1::cmdLigar_Click() {
    if (MSComm1->isopen()) return;
    MSComm1->setcommport(static_cast<int16_t>(cmbSerialPort->currentIndex() + 1));
    // Whoever may write the ports folder chooses the device a Com port opens:
    // said once, before the port opens, leaving the open's own sentence as it is.
    if (const QString warning = portsfolderwarningonce(); !warning.isEmpty()) messagebox(warning);
    switch (MSComm1->open()) {
        case SerialPort::NoSuchPort:
            txtStatus->setText(portmessage(MSComm1, " does not exist"));
            break;
        case SerialPort::AlreadyOpen:
            txtStatus->setText(portmessage(MSComm1, " is already open"));
            break;
        case SerialPort::OpenFailed:
            txtStatus->setText(portmessage(MSComm1, " open failed"));
            break;
        case SerialPort::Opened:
            break;
    }
    if (!MSComm1->isopen()) return;
    // A half line left from the last connection belongs to no line of this one.
    rxbuffer.clear();
    txtStatus->setText(portmessage(MSComm1, " open successfully"));
    logport("opened");
}

void Form1::cmdDesligar_Click() {
    if (!MSComm1->isopen()) {
        txtStatus->setText(portmessage(MSComm1, " not open"));
        return;
    }
    txtStatus->setText(portmessage(MSComm1, " closed"));
    closeport();
}

void Form1::closeport() {
    const qint64 dropped = MSComm1->close();
    logport("closed");
    if (dropped > 0) {
        // The far end did not take it in time; say what was lost rather than
        // hold the window up for it.
        lstMessages->insertItem(
            0, QStringLiteral("%1 characters of output not sent: the line did not take them")
                   .arg(dropped));
        lstMessages->setCurrentRow(0);
        capmessages();
    }
}

void Form1::MSComm1_LinkLost() {
    // The port has closed itself; the port indicator follows at the next
    // tick. Nothing is known of the controller any more: its boxes show what
    // they show at start-up, and a read-back in progress ends here.
    txtStatus->setText(portmessage(MSComm1, " closed"));
    logport("lost");
    setcaption(lblState, QStringLiteral("state"));
    shpState->setfillcolor(QColor(255, 255, 255));
    setcaption(lblUptime, QStringLiteral("-"));
    setcaption(lblAutoArm, QStringLiteral("-"));
    if (rx.getting) endreadback();
}

void Form1::logport(const char* what) {
    if (sessionlog)
        sessionlog->port(QStringLiteral("Com %1").arg(MSComm1->commport()), what,
                         MSComm1->devicepath());
}

void Form1::tmrState_Timer() {
    if (MSComm1->isopen()) {
        shpEstado->setfillcolor(QColor(0, 255, 0));
        lblPortState->setText(QStringLiteral("Port open"));
        lblPortSetting->setText(MSComm1->settings());
        cmbSerialPort->setEnabled(false);
    } else {
        shpEstado->setfillcolor(QColor(255, 0, 0));
        lblPortState->setText(QStringLiteral("Port closed"));
        cmbSerialPort->setEnabled(true);
    }
}

void Form1::MSComm1_OnComm() {
    const QByteArray received = MSComm1->input();
    rxactivity = true;
    // Every line is logged and interpreted in order; the captions, which only
    // the newest status line's can be seen, are set once for the batch.
    std::optional<LineMeaning> status;
    receive(rxbuffer, received, [&](const QByteArray& line) {
        if (sessionlog) sessionlog->received(line);
        if (auto s = interpret(line)) status = std::move(s);
    });
    if (status) showstatus(*status);
}

void Form1::tmrComTimeout_Timer() {
    if (MSComm1->isopen() && !rxactivity) {
        lblState->setText(QStringLiteral("timeout"));
        shpState->setfillcolor(QColor(100, 100, 100));
        txtStatus->setText(QStringLiteral("Communication timeout"));
    }
    rxactivity = false;
}

}  // namespace gaspuff
