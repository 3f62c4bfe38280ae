#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "app/form1.h"
#include "app/shape.h"
#include "fakeport.h"
#include "app/wavegraph.h"

using namespace gaspuff;

namespace {

class Protocol : public ::testing::Test {
protected:
    test::FakePort* port = new test::FakePort;
    Form1 form{port};
    QString status() const { return form.txtStatus->text(); }
    void connect() {
        form.cmdLigar_Click();
        port->writes.clear();
    }
    void expectlocked(bool locked) {
        for (QPushButton* b : form.lockedbuttons()) EXPECT_EQ(b->isEnabled(), !locked) << b->objectName().toStdString();
        EXPECT_TRUE(form.cmdAutoArmOn->isEnabled());
        EXPECT_TRUE(form.cmdAutoArmOff->isEnabled());
    }
    // As a serial port delivers it: a few dozen bytes at a time.
    void feedslowly(const QByteArray& bytes) {
        for (qsizetype i = 0; i < bytes.size(); i += 37) port->feed(bytes.mid(i, 37));
    }
    QStringList messages() const {
        QStringList out;
        for (int i = 0; i < form.lstMessages->count(); ++i) out << form.lstMessages->item(i)->text();
        return out;
    }
};

}  // namespace

TEST_F(Protocol, CommandsWithThePortClosedOnlySayNotConnected) {
    for (QPushButton* b : {form.cmdArm, form.cmdAutoArmOn, form.cmdAutoArmOff, form.cmdShoot,
                           form.cmdStandby, form.cmdStop, form.cmdSend, form.cmdGet}) {
        form.txtStatus->clear();
        b->click();
        EXPECT_EQ(status(), "Not connected!") << b->objectName().toStdString();
    }
    EXPECT_TRUE(port->writes.isEmpty());
    EXPECT_FALSE(form.rx.getting);
    EXPECT_FALSE(form.tmrGetting->isActive());
    expectlocked(false);
}

TEST_F(Protocol, EachCommandIsOneWriteOfItsWordAndACarriageReturn) {
    connect();
    form.txtStatus->setText("before");
    form.cmdArm->click();
    form.cmdAutoArmOn->click();
    form.cmdAutoArmOff->click();
    form.cmdShoot->click();
    form.cmdShoot->click();
    form.cmdStandby->click();
    form.cmdStop->click();
    EXPECT_EQ(port->writes, (QByteArrayList{"arm\r", "auto_arm_on\r", "auto_arm_off\r", "shoot\r",
                                            "shoot\r", "standby\r", "stop\r"}));
    EXPECT_EQ(status(), "before");
    EXPECT_EQ(form.lblState->text(), "state");
}

TEST_F(Protocol, LockSwitchesExactlyTheTwelveButtons) {
    form.disablebuttons();
    expectlocked(true);
    form.enablebuttons();
    form.enablebuttons();
    expectlocked(false);
}

TEST_F(Protocol, StatusLineCaptionsAndColours) {
    form.parseline("stop|3605|on");
    EXPECT_EQ(form.lblState->text(), "stop");
    EXPECT_EQ(form.lblUptime->text(), "3605");
    EXPECT_EQ(form.lblAutoArm->text(), "on");
    EXPECT_EQ(form.shpState->fillcolor(), QColor(0, 255, 0));
    form.parseline("Stop|1|0");
    EXPECT_EQ(form.lblState->text(), "Stop");
    EXPECT_EQ(form.shpState->fillcolor(), QColor(0, 255, 0));
    form.parseline("armed|12|off|x");
    EXPECT_EQ(form.lblUptime->text(), "12|off");
    EXPECT_EQ(form.shpState->fillcolor(), QColor(255, 0, 0));
    EXPECT_EQ(form.lstMessages->count(), 0);
}

TEST_F(Protocol, ColourOnlyForTheFiveExactStateWords) {
    const std::pair<const char*, QColor> cases[] = {
        {"standby|1|on", QColor(255, 255, 0)}, {"load|1|on", QColor(255, 165, 0)},
        {"generate|1|on", QColor(0, 0, 255)},  {"stop |1|0", QColor(0, 0, 255)},
        {"\nstop|1|0", QColor(0, 0, 255)},
    };
    for (const auto& [line, colour] : cases) {
        form.parseline(line);
        EXPECT_EQ(form.shpState->fillcolor(), colour) << line;
    }
}

TEST_F(Protocol, ReceivedTextIsShownAsTextNeverAsMarkup) {
    form.parseline("<b>armed</b>|<i>1</i>|<img src=x>");
    for (QLabel* l : {form.lblState, form.lblUptime, form.lblAutoArm}) {
        EXPECT_EQ(l->textFormat(), Qt::PlainText);
    }
    EXPECT_EQ(form.lblState->text(), "<b>armed</b>");
}

TEST_F(Protocol, MessagesGoOnTopSelectedAndTheNewestSurvivesTheCap) {
    form.parseline("ok|1");
    form.parseline("42");
    form.parseline("");
    EXPECT_EQ(messages(), (QStringList{"42", "ok|1"}));
    EXPECT_EQ(form.lstMessages->currentRow(), 0);
    for (int i = 3; i <= 31; ++i) form.parseline(QByteArray("m") + QByteArray::number(i));
    EXPECT_EQ(form.lstMessages->count(), 31);
    form.parseline("the 32nd");
    EXPECT_EQ(messages(), QStringList{"the 32nd"});
    EXPECT_EQ(form.lstMessages->currentRow(), 0);
    EXPECT_TRUE(form.lstMessages->item(0)->isSelected());
}

TEST_F(Protocol, SendWritesLoadThenTheThousandRecords) {
    connect();
    form.cmdSend->click();
    ASSERT_EQ(port->writes.size(), 2);
    EXPECT_EQ(port->writes[0], "load\r");
    EXPECT_EQ(port->writes[1], QByteArray("0\r").repeated(1000));
    EXPECT_EQ(status(), "Sent 1000 points");
    expectlocked(false);

    port->writes.clear();
    form.waveform[0] = 100;
    form.waveform[1] = 5;
    form.waveform[2] = -7;
    form.cmdSend->click();
    EXPECT_TRUE(port->writes[1].startsWith("100\r5\r-7\r0\r"));
    EXPECT_EQ(port->writes[1].size(), 4 + 2 + 3 + 997 * 2);
}

TEST_F(Protocol, SendNeverReportsSuccessForARefusedWrite) {
    connect();
    port->refusewrites = true;
    form.cmdSend->click();
    EXPECT_EQ(status(), "Write refused by the device");
    expectlocked(false);
}

TEST_F(Protocol, ReadBackLocksCompletesRedrawsAndUnlocks) {
    connect();
    form.cmdGet->click();
    EXPECT_EQ(port->writes, QByteArrayList{"get\r"});
    EXPECT_TRUE(form.rx.getting);
    EXPECT_TRUE(form.tmrGetting->isActive());
    expectlocked(true);
    // Auto-arm stays usable during a read-back.
    form.cmdAutoArmOn->click();
    EXPECT_EQ(port->writes.last(), "auto_arm_on\r");

    const QImage before = form.wavegraph->image();
    QByteArray stream;
    for (int i = 0; i < 1000; ++i) stream += QByteArray::number(i < 500 ? 80 : 20) + "\r";
    feedslowly("101\r-1\r" + stream.left(1234));
    EXPECT_EQ(status(), "2 bogus points received");
    EXPECT_EQ(form.waveform, Waveform{});
    EXPECT_EQ(form.wavegraph->image(), before);
    feedslowly(stream.mid(1234));
    EXPECT_EQ(status(), "1000 points received");
    EXPECT_FALSE(form.rx.getting);
    EXPECT_EQ(form.rx.pointcount, 0);
    EXPECT_EQ(form.rx.boguscount, 0);
    EXPECT_FALSE(form.tmrGetting->isActive());
    EXPECT_EQ(form.waveform[499], 80);
    EXPECT_EQ(form.waveform[500], 20);
    EXPECT_NE(form.wavegraph->image(), before);
    expectlocked(false);
    EXPECT_TRUE(form.lstMessages->count() == 0);  // points are never messages
}

TEST_F(Protocol, OverflowDuringReadBackIsReportedAndChangesNothing) {
    connect();
    form.cmdGet->click();
    port->feed("5\r40000\r");
    EXPECT_EQ(status(), "Error: 6 Overflow gaspuff-panel");
    EXPECT_EQ(form.rx.pointcount, 1);
    EXPECT_EQ(form.rx.boguscount, 0);
    EXPECT_TRUE(form.rx.getting);
}

TEST_F(Protocol, DeadlineEndsTheReadBackAndKeepsTableAndGraph) {
    connect();
    form.waveform.fill(33);
    form.drawgraph();
    const Waveform table = form.waveform;
    const QImage graph = form.wavegraph->image();
    form.cmdGet->click();
    QByteArray six;
    for (int i = 0; i < 600; ++i) six += "77\r";
    feedslowly(six);
    port->feed("armed|5|on\r");
    EXPECT_EQ(form.rx.pointcount, 600);
    form.tmrGetting_Timer();
    EXPECT_EQ(status(), "Communication timeout");
    EXPECT_FALSE(form.rx.getting);
    EXPECT_EQ(form.rx.pointcount, 0);
    EXPECT_FALSE(form.tmrGetting->isActive());
    EXPECT_EQ(form.waveform, table);
    EXPECT_EQ(form.wavegraph->image(), graph);
    expectlocked(false);
    EXPECT_EQ(form.lblState->text(), "armed");
    // A late point is now a message, not a point.
    port->feed("77\r");
    EXPECT_EQ(form.waveform, table);
    EXPECT_EQ(form.lstMessages->item(0)->text(), "77");
}

TEST_F(Protocol, ThousandBogusValuesThenTheDeadline) {
    connect();
    form.cmdGet->click();
    feedslowly(QByteArray("250\r").repeated(1000));
    EXPECT_EQ(status(), "1000 bogus points received");
    form.tmrGetting_Timer();
    EXPECT_EQ(status(), "Communication timeout");
    EXPECT_EQ(form.waveform, Waveform{});
}

TEST_F(Protocol, HostileBytesNeverHurt) {
    connect();
    port->feed(QByteArray(64 * 1024, 'x'));
    EXPECT_LE(form.rxbuffer.size(), 1024);
    port->feed("\r");
    port->feed(QByteArray("\0\xff\x01|\xfe|\0\r", 8));
    EXPECT_EQ(form.lblState->text(), QString::fromLatin1("\0\xff\x01", 3));
    const QByteArray longstatus = "stop|" + QByteArray(1012, '9') + "|on\r";
    ASSERT_EQ(longstatus.size(), 1021);
    port->feed(longstatus);
    EXPECT_EQ(form.lblUptime->text().size(), 1012);
}
