// The window's side of the link: Connect, Disconnect, the port state display,
// receiving, the watchdog and a lost device.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "app/form1.h"
#include "app/shape.h"
#include "link/lineassembly.h"
#include "link/serialport.h"

namespace gaspuff {
namespace {

QString portmessage(const SerialPort* port, const char* suffix) {
    return QStringLiteral("Port %1%2").arg(port->commport()).arg(QLatin1String(suffix));
}

}  // namespace

void Form1::cmdLigar_Click() {
    if (MSComm1->isopen()) return;
    MSComm1->setcommport(static_cast<int16_t>(cmbSerialPort->currentIndex() + 1));
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
        case SerialPort::Opened: break;
    }
    if (MSComm1->isopen()) txtStatus->setText(portmessage(MSComm1, " open successfully"));
}

void Form1::cmdDesligar_Click() {
    if (MSComm1->isopen()) {
        txtStatus->setText(portmessage(MSComm1, " closed"));
        MSComm1->close();
    } else {
        txtStatus->setText(portmessage(MSComm1, " not open"));
    }
}

void Form1::MSComm1_LinkLost() {
    // The port has closed itself; the indicator follows at the next tick.
    txtStatus->setText(portmessage(MSComm1, " closed"));
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
    receivechunk(rxbuffer, received, [this](const QByteArray& line) { parseline(line); });
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
