// SPDX-License-Identifier: MIT
// The window's side of the controller protocol: commands, what a line shows,
// the message list, sending and reading back the waveform, the lock.
#include <QRegularExpression>
#include <functional>

#include "panel.h"
#include "protocol/sessionlog.h"

using namespace gaspuff;
using Protocol = test::Panel;

TEST_F(Protocol, EachButtonWritesItsWordAndTheStatusBoxSaysWhyNot) {
    form.cmdArm->click();
    EXPECT_EQ(status(), "Not connected!");
    SessionLog log(dir.filePath("session.log"));
    form.setsessionlog(&log);
    connect();
    form.waveform[0] = 100;
    for (QPushButton* button : {form.cmdArm, form.cmdAutoArmOn, form.cmdAutoArmOff, form.cmdShoot,
                                form.cmdStandby, form.cmdStop, form.cmdSend, form.cmdGet})
        button->click();
    EXPECT_EQ(port->writes, (QByteArrayList{"arm\r", "auto_arm_on\r", "auto_arm_off\r", "shoot\r",
                                            "standby\r", "stop\r", "load\r",
                                            "100\r" + QByteArray("0\r").repeated(999), "get\r"}));
    EXPECT_EQ(status(), "Sent 1000 points");
    QFile recorded(dir.filePath("session.log"));  // the log names the table a shot fires
    ASSERT_TRUE(recorded.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QRegularExpression(R"(-- port Com 10 opened\n(.*\n){3}.* tx shoot\\r\n)"
                                   R"(.* -- shoot sha256 unknown: )")
                    .match(recorded.readAll())
                    .hasMatch());
    form.setsessionlog(nullptr);
    form.tmrGetting_Timer();                     // Get's answer is not awaited here
    port->acceptonly = port->writes.size() + 1;  // "load" taken, the records refused
    form.cmdSend->click();
    EXPECT_EQ(status(), "Write refused by the device");
    expectlocked(false);
}

TEST_F(Protocol, AStatusLineSetsTheCaptionsAsReceivedAndColoursOnlyTheFiveStateWords) {
    // Line, the state caption it shows, and the indicator's fill afterwards.
    const std::tuple<QByteArray, QString, QColor> cases[] = {
        {"stop|3605|on", "stop", QColor(0, 255, 0)},
        {"Stop|1|0", "Stop", QColor(0, 255, 0)},
        {"standby|1|on", "standby", QColor(255, 255, 0)},
        {"load|1|on", "load", QColor(255, 165, 0)},
        {"stop |1|0", "stop ", QColor(255, 165, 0)},
        {"generate|1|on", "generate", QColor(0, 0, 255)},
        {"\xfe\x01|1|0", QString::fromLatin1("\xfe\x01"), QColor(0, 0, 255)},  // bytes as received
        {"armed|123456789|a very long field", "armed", QColor(255, 0, 0)},
    };
    for (const auto& [line, state, colour] : cases) {
        form.parseline(line);
        EXPECT_EQ(form.lblState->text(), state) << line.constData();
        EXPECT_EQ(form.shpState->fillcolor(), colour) << line.constData();
    }
    EXPECT_EQ(captions(), (QStringList{"armed", "123456789", "a very long field"}));
    EXPECT_EQ(form.lblState->textFormat(), Qt::PlainText);  // never markup
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(Protocol, MessagesGoOnTopSelectedAndTheListIsEmptiedPast31) {
    for (const char* line : {"ok|1", "42", ""}) form.parseline(line);
    EXPECT_EQ(messages(), (QStringList{"42", "ok|1"}));
    for (int i = 3; i <= 31; ++i) form.parseline("m" + QByteArray::number(i));
    EXPECT_EQ(messages().size(), 31);
    form.parseline("the 32nd");
    EXPECT_EQ(messages(), QStringList{"the 32nd"});
    EXPECT_TRUE(form.lstMessages->item(0)->isSelected());
}

TEST_F(Protocol, AReadBackIsStagedUntilItsLastPointAndEndsThereOrAtItsDeadline) {
    // What ends it, what the status box then says, whether the table is now
    // the controller's.
    const std::tuple<std::function<void()>, QString, bool> endings[] = {
        {[&] { port->feed(QByteArray("20\r").repeated(499) + "7\r"); }, "1000 points received",
         true},
        {[&] { form.tmrGetting_Timer(); }, "Communication timeout", false},
    };
    for (const auto& [end, said, taken] : endings) {
        form.cmdLigar_Click();
        form.waveform.fill(33);
        form.drawgraph();
        const QImage drawn = form.wavegraph->image();
        form.cmdGet->click();
        expectlocked(true);
        port->feed("101\r-1\r5\r40000\r");
        EXPECT_EQ(status(), "Error: 6 Overflow gaspuff-panel");
        port->feed("250\r" + QByteArray("80\r").repeated(500));
        EXPECT_EQ(std::tuple(status(), form.waveform[0], form.wavegraph->image() == drawn),
                  std::tuple("3 bogus points received", 33, true));
        end();
        EXPECT_EQ(std::tuple(status(), form.waveform[500], form.wavegraph->image() == drawn),
                  std::tuple(said, taken ? 80 : 33, !taken))
            << said.toStdString();
        expectlocked(false);
    }
    EXPECT_EQ(messages(), QStringList{"7"});  // points never, later numbers always
}
