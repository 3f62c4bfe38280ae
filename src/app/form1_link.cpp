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
#include "link/serialport.h"

namespace gaspuff {

void Form1::cmdLigar_Click() {
    if (MSComm1->isopen()) return;
    MSComm1->setcommport(static_cast<int16_t>(cmbSerialPort->currentIndex() + 1));
    // Whoever may write the ports folder chooses the device a Com port opens:
    // said once, before the port opens, leaving the open's own sentence as it is.
    if (const QString warning = portsfolderwarningonce(); !warning.isEmpty()) messagebox(warning);
    txtStatus->setText(session_->openwords(session_->open()));
}

void Form1::cmdDesligar_Click() {
    if (!MSComm1->isopen()) {
        txtStatus->setText(session_->portname() + QStringLiteral(" not open"));
        return;
    }
    txtStatus->setText(session_->portname() + QStringLiteral(" closed"));
    closeport();
}

void Form1::closeport() {
    // The far end did not take it in time; say what was lost rather than
    // hold the window up for it.
    if (const qint64 dropped = session_->close(); dropped > 0) {
        lstMessages->insertItem(0, LinkSession::unsentwords(dropped));
        lstMessages->setCurrentRow(0);
        capmessages();
    }
}

void Form1::MSComm1_LinkLost() {
    // The port has closed itself; the port indicator follows at the next
    // tick. Nothing is known of the controller any more: its boxes show what
    // they show at start-up (the session has ended a read-back in progress).
    txtStatus->setText(session_->portname() + QStringLiteral(" closed"));
    setcaption(lblState, QStringLiteral("state"));
    shpState->setfillcolor(QColor(255, 255, 255));
    setcaption(lblUptime, QStringLiteral("-"));
    setcaption(lblAutoArm, QStringLiteral("-"));
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

void Form1::tmrComTimeout_Timer() {
    const bool activity = session_->takeactivity();
    if (MSComm1->isopen() && !activity) {
        lblState->setText(QStringLiteral("timeout"));
        shpState->setfillcolor(QColor(100, 100, 100));
        txtStatus->setText(QStringLiteral("Communication timeout"));
    }
}

}  // namespace gaspuff
