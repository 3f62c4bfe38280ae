// The window's side of the link: Connect, Disconnect, the port state display,
// receiving, the watchdog and a lost device.
#include <sys/stat.h>

#include <QComboBox>
#include <QFile>

#include "panel.h"
#include "rawpty.h"

using namespace gaspuff;
using Link = test::Panel;

TEST_F(Link, ConnectReportsEachOpenResultAndIsIgnoredWhileOpen) {
    const std::pair<SerialPort::OpenResult, const char*> cases[] = {
        {SerialPort::NoSuchPort, "Port 3 does not exist"},
        {SerialPort::AlreadyOpen, "Port 3 is already open"},
        {SerialPort::OpenFailed, "Port 3 open failed"},
        {SerialPort::Opened, "Port 3 open successfully"}};
    test::PortsFolder ports;  // others may write it: said once, in a box, before opening
    ASSERT_EQ(::chmod(QFile::encodeName(ports.path()).constData(), 0777), 0);
    form.cmbSerialPort->setCurrentIndex(2);
    for (const auto& [result, message] : cases) {
        port->nextopen = result;
        form.cmdLigar_Click();
        EXPECT_EQ(status(), message);
        EXPECT_EQ(boxes, QStringList("Warning: " + ports.path() +
                                     " is writable by other users, who can change which device "
                                     "a Com port opens"));
    }
    form.txtStatus->clear();
    form.cmbSerialPort->setCurrentIndex(0);
    form.cmdLigar_Click();
    EXPECT_EQ(port->opens, 4);
    EXPECT_EQ(status(), "");
}

TEST_F(Link, PortStateTickAndDisconnect) {
    // What a tick of the port state display shows.
    const auto tick = [&] {
        form.tmrState_Timer();
        return std::tuple(form.shpEstado->fillcolor(), form.lblPortState->text(),
                          form.lblPortSetting->text(), form.cmbSerialPort->isEnabled());
    };
    form.cmdDesligar_Click();
    EXPECT_EQ(status(), "Port 1 not open");  // no Connect yet
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
}

TEST_F(Link, LinesSplitOverEventsReachTheDisplaysInOrderFromAnEmptyBuffer) {
    connect();
    port->feed("sto");  // a half line of the last connection
    form.cmdDesligar_Click();
    form.cmdLigar_Click();
    port->feed("arm");
    port->feed("ed|31");
    EXPECT_EQ(form.lblState->text(), "state");
    port->feed("2|on\rhello\r\r");
    EXPECT_EQ(captions(), (QStringList{"armed", "312", "on"}));
    EXPECT_EQ(messages(), QStringList{"hello"});
    // One event, several lines, here with CR LF ends: every message listed,
    // the newest status line's captions, the fill of the newest state word
    // that has a colour.
    port->feed("stop|5|off\r\nbye\r\narmed|6|on\r\nx|7|on\r");
    EXPECT_EQ(captions(), (QStringList{"x", "7", "on"}));
    EXPECT_EQ(form.shpState->fillcolor(), QColor(255, 0, 0));
    EXPECT_EQ(messages(), (QStringList{"bye", "hello"}));
}

TEST_F(Link, WatchdogShowsTheTimeoutOnEverySilentTickWhileOpen) {
    form.tmrComTimeout_Timer();
    form.tmrComTimeout_Timer();
    EXPECT_EQ(status(), "");  // closed: never
    connect();
    port->feed("x\r");
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

TEST_F(Link, ALostLinkForgetsTheControllerAndEndsAReadBackAtOnce) {
    connect();
    form.waveform.fill(12);
    port->feed("armed|312|on\r");
    form.cmdGet_Click();
    port->feed("50\r51\r");
    port->pullcable();
    EXPECT_EQ(status(), "Port 10 closed");
    EXPECT_EQ(captions(), (QStringList{"state", "-", "-"}));
    EXPECT_EQ(form.shpState->fillcolor(), QColor(255, 255, 255));
    EXPECT_EQ(std::tuple(form.rx.getting, form.tmrGetting->isActive()), std::tuple(false, false));
    expectlocked(false);
    EXPECT_EQ(form.waveform[0], 12);
    form.cmdLigar_Click();
    EXPECT_EQ(status(), "Port 10 open successfully");
    EXPECT_EQ(port->writes, QByteArrayList{"get\r"});  // nothing sent on its own on reconnecting
    form.cmdGet_Click();  // a lost link's answer never comes: no wait for it
    EXPECT_EQ(port->writes, (QByteArrayList{"get\r", "get\r"}));
}
