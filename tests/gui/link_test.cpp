#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

#include "app/form1.h"
#include "app/shape.h"
#include "fakeport.h"

using namespace gaspuff;

namespace {

class Link : public ::testing::Test {
protected:
    test::FakePort* port = new test::FakePort;
    Form1 form{port};
    QString status() const { return form.txtStatus->text(); }
};

}  // namespace

TEST_F(Link, ConnectReportsEachOpenResult) {
    form.cmbSerialPort->setCurrentIndex(2);
    port->nextopen = SerialPort::NoSuchPort;
    form.cmdLigar_Click();
    EXPECT_EQ(status(), "Port 3 does not exist");
    port->nextopen = SerialPort::AlreadyOpen;
    form.cmdLigar_Click();
    EXPECT_EQ(status(), "Port 3 is already open");
    port->nextopen = SerialPort::OpenFailed;
    form.cmdLigar_Click();
    EXPECT_EQ(status(), "Port 3 open failed");
    form.tmrState_Timer();
    EXPECT_EQ(form.shpEstado->fillcolor(), QColor(255, 0, 0));
    EXPECT_EQ(form.lblPortState->text(), "Port closed");

    port->nextopen = SerialPort::Opened;
    form.cmbSerialPort->setCurrentIndex(9);
    form.cmdLigar_Click();
    EXPECT_EQ(status(), "Port 10 open successfully");
    EXPECT_EQ(port->commport(), 10);
}

TEST_F(Link, ConnectWhileOpenDoesNothing) {
    form.cmdLigar_Click();
    form.txtStatus->setText("something else");
    form.cmbSerialPort->setCurrentIndex(0);
    form.cmdLigar_Click();
    EXPECT_EQ(port->opens, 1);
    EXPECT_EQ(port->commport(), 10);
    EXPECT_EQ(status(), "something else");
}

TEST_F(Link, PortStateTickFollowsTheOpenState) {
    form.cmdLigar_Click();
    form.tmrState_Timer();
    EXPECT_EQ(form.shpEstado->fillcolor(), QColor(0, 255, 0));
    EXPECT_EQ(form.lblPortState->text(), "Port open");
    EXPECT_EQ(form.lblPortSetting->text(), "115200,n,8,1");
    EXPECT_FALSE(form.cmbSerialPort->isEnabled());

    form.cmdDesligar_Click();
    EXPECT_EQ(status(), "Port 10 closed");
    EXPECT_FALSE(port->isopen());
    form.tmrState_Timer();
    EXPECT_EQ(form.shpEstado->fillcolor(), QColor(255, 0, 0));
    EXPECT_EQ(form.lblPortState->text(), "Port closed");
    EXPECT_EQ(form.lblPortSetting->text(), "115200,n,8,1");
    EXPECT_TRUE(form.cmbSerialPort->isEnabled());
}

TEST_F(Link, DisconnectWhenClosedNamesTheLastPort) {
    form.cmdDesligar_Click();
    EXPECT_EQ(status(), "Port 1 not open");  // no Connect yet
    form.cmbSerialPort->setCurrentIndex(4);
    port->nextopen = SerialPort::NoSuchPort;
    form.cmdLigar_Click();
    form.cmdDesligar_Click();
    EXPECT_EQ(status(), "Port 5 not open");
    EXPECT_EQ(port->closes, 0);
}

TEST_F(Link, ReceivedLinesReachTheDisplaysInOrder) {
    form.cmdLigar_Click();
    port->feed("arm");
    port->feed("ed|31");
    EXPECT_EQ(form.lblState->text(), "state");
    port->feed("2|on\rhello\r\rstandby|313|off\r");
    EXPECT_EQ(form.lblState->text(), "standby");
    EXPECT_EQ(form.lblUptime->text(), "313");
    EXPECT_EQ(form.lblAutoArm->text(), "off");
    EXPECT_EQ(form.shpState->fillcolor(), QColor(255, 255, 0));
    ASSERT_EQ(form.lstMessages->count(), 1);
    EXPECT_EQ(form.lstMessages->item(0)->text(), "hello");
}

TEST_F(Link, ConnectStartsWithAnEmptyReceiveBuffer) {
    form.cmdLigar_Click();
    port->feed("sto");
    form.cmdDesligar_Click();
    form.cmdLigar_Click();
    port->feed("standby|1|off\r");
    EXPECT_EQ(form.lblState->text(), "standby");
}

TEST_F(Link, WatchdogShowsTheTimeoutOnEverySilentTickWhileOpen) {
    form.tmrComTimeout_Timer();
    EXPECT_EQ(status(), "");  // closed: never
    form.cmdLigar_Click();
    port->feed("x\r");
    form.tmrComTimeout_Timer();
    EXPECT_EQ(status(), "Port 10 open successfully");
    form.tmrComTimeout_Timer();
    EXPECT_EQ(status(), "Communication timeout");
    EXPECT_EQ(form.lblState->text(), "timeout");
    EXPECT_EQ(form.shpState->fillcolor(), QColor(100, 100, 100));
    form.txtStatus->clear();
    form.tmrComTimeout_Timer();
    EXPECT_EQ(status(), "Communication timeout");
    // The next status line replaces the caption and, for a known word, the grey.
    port->feed("stop|1|on\r");
    EXPECT_EQ(form.lblState->text(), "stop");
    EXPECT_EQ(form.shpState->fillcolor(), QColor(0, 255, 0));
}

TEST_F(Link, LostDeviceClosesThePortAndSaysSo) {
    form.cmdLigar_Click();
    port->pullcable();
    EXPECT_EQ(status(), "Port 10 closed");
    form.tmrState_Timer();
    EXPECT_EQ(form.shpEstado->fillcolor(), QColor(255, 0, 0));
    form.cmdArm_Click();
    EXPECT_EQ(status(), "Not connected!");
    form.tmrComTimeout_Timer();
    EXPECT_EQ(status(), "Not connected!");  // closed: no time-out
    form.cmdLigar_Click();
    EXPECT_EQ(status(), "Port 10 open successfully");
    EXPECT_TRUE(port->writes.isEmpty());  // nothing sent on reconnect
}
