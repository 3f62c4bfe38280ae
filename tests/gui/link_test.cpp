// SPDX-License-Identifier: MIT
// The window as it starts and its side of the link: Connect,
// Disconnect, the port state display, receiving, the watchdog, a lost device
// and closing.
#include <QComboBox>

#include "panel.h"

using namespace gaspuff;
using Link = test::Panel;

TEST_F(Link, StartsWithEverythingAtItsStartingValueBeforeTheFirstTick) {
    EXPECT_EQ((QStringList{form.cmbSerialPort->currentText(), form.cmbSerialPort->itemText(15),
                           form.lblPortSetting->text(), form.lblPortState->text(), status()}),
              (QStringList{"Com 10", "Com 16", "115200,n,8,1", "Port state", ""}));
    EXPECT_EQ(form.cmbSerialPort->count(), 16);
    EXPECT_EQ(std::tuple(captions(), form.shpEstado->fillcolor()),
              std::tuple(QStringList{"state", "-", "-"}, QColor(255, 255, 255)));
    EXPECT_EQ(std::tuple(form.tmrState->isActive(), form.tmrComTimeout->isActive(),
                         form.tmrGetting->isActive(), port->opens),
              std::tuple(true, true, false, 0));
    // The empty table: red dots along the bottom row of the graph's interior.
    const QImage& graph = form.wavegraph->image();
    EXPECT_EQ(std::tuple(graph.size(), graph.pixelColor(100, 116), graph.pixelColor(181, 50)),
              std::tuple(QSize(357, 117), QColor(255, 0, 0), QColor(192, 255, 192)));
}

TEST_F(Link, ConnectShowsHowTheOpenEndedAndIsIgnoredWhileOpen) {
    form.cmbSerialPort->setCurrentIndex(2);
    for (const auto result : {SerialPort::AlreadyOpen, SerialPort::Opened}) {
        port->nextopen = result;
        form.cmdLigar_Click();
    }
    EXPECT_EQ(status(), "Port 3 open successfully");
    form.cmbSerialPort->setCurrentIndex(0);
    form.cmdLigar_Click();
    EXPECT_EQ(std::tuple(port->opens, status()), std::tuple(2, "Port 3 open successfully"));
}

TEST_F(Link, PortStateTickDisconnectAndClosing) {
    // What a tick of the port state display shows.
    const auto tick = [&] {
        form.tmrState_Timer();
        return std::tuple(form.shpEstado->fillcolor(), form.lblPortState->text(),
                          form.lblPortSetting->text(), form.cmbSerialPort->isEnabled());
    };
    form.cmdLigar_Click();
    port->setsettings("9600,e,7,2");
    EXPECT_EQ(tick(), std::tuple(QColor(0, 255, 0), "Port open", "9600,e,7,2", false));
    port->unsentatclose = 3812;  // a far end that did not read
    form.cmdDesligar_Click();
    EXPECT_EQ(status(), "Port 10 closed");
    EXPECT_EQ(messages(),
              QStringList{"3812 characters of output not sent: the line did not take them"});
    port->setsettings("115200,n,8,1");  // the settings shown stay while closed
    EXPECT_EQ(tick(), std::tuple(QColor(255, 0, 0), "Port closed", "9600,e,7,2", true));
    form.cmdDesligar_Click();
    EXPECT_EQ(status(), "Port 10 not open");
    form.close();  // a closed port is left alone
    form.cmdLigar_Click();
    form.close();  // an open one is closed, silently
    EXPECT_EQ(std::tuple(port->closes, port->isopen(), status()),
              std::tuple(2, false, "Port 10 open successfully"));
}

TEST_F(Link, ReceivedLinesReachTheDisplaysAndEverySilentTickWhileOpenIsATimeout) {
    form.tmrComTimeout_Timer();
    form.tmrComTimeout_Timer();
    EXPECT_EQ(status(), "");  // closed: never
    connect();
    // Every message listed, the newest status line's captions, the fill of
    // the newest state word that has a colour.
    port->feed("stop|5|off\r\nbye\r\narmed|6|on\r\nx|7|on\r");
    EXPECT_EQ(std::tuple(captions(), form.shpState->fillcolor(), messages()),
              std::tuple(QStringList{"x", "7", "on"}, QColor(255, 0, 0), QStringList{"bye"}));
    form.tmrComTimeout_Timer();
    EXPECT_EQ(status(), "Port 10 open successfully");
    for (int tick = 0; tick < 2; ++tick) {  // every silent tick
        form.txtStatus->clear();
        form.tmrComTimeout_Timer();
        EXPECT_EQ(std::tuple(status(), form.lblState->text(), form.shpState->fillcolor()),
                  std::tuple("Communication timeout", "timeout", QColor(100, 100, 100)));
    }
    port->feed("stop|1|on\r");
    EXPECT_EQ(std::tuple(form.lblState->text(), form.shpState->fillcolor()),
              std::tuple("stop", QColor(0, 255, 0)));
}

TEST_F(Link, ALostLinkForgetsTheControllerAndReconnectsWithoutAWord) {
    connect();
    port->feed("armed|312|on\r");
    port->pullcable();
    EXPECT_EQ(std::tuple(status(), captions(), form.shpState->fillcolor()),
              std::tuple("Port 10 closed", QStringList{"state", "-", "-"}, QColor(255, 255, 255)));
    form.cmdLigar_Click();
    EXPECT_EQ(status(), "Port 10 open successfully");
    EXPECT_TRUE(port->writes.isEmpty());  // nothing sent on its own on reconnecting
}
