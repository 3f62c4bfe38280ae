// The operator's panel against the real simulator through "Com 10": the whole
// window, offscreen, as a newcomer would use it.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/form1.h"
#include "app/shape.h"
#include "link/serialport.h"
#include "rawpty.h"
#include "simprocess.h"
#include "waveform/files.h"
#include "waveform/wavegraph.h"

using namespace gaspuff;

namespace {

const QColor kGreen(0, 255, 0), kRed(255, 0, 0), kBlue(0, 0, 255), kGrey(100, 100, 100);

class Session : public ::testing::Test {
  protected:
    test::PortsFolder ports;
    QTemporaryDir scratch;
    std::unique_ptr<test::SimProcess> sim;
    std::unique_ptr<Form1> form;
    QStringList boxes;

    // Starts the simulator behind Com 10, opens the window and connects.
    void start(QStringList args) {
        sim = std::make_unique<test::SimProcess>(args << "--port"
                                                      << "10");
        ASSERT_TRUE(sim->ready()) << sim->errors().toStdString();
        form = std::make_unique<Form1>();
        form->messagebox = [this](const QString& text) { boxes << text; };
        form->cmdLigar->click();
        ASSERT_EQ(status(), "Port 10 open successfully");
    }
    QString status() const { return form->txtStatus->text(); }
    static bool waitfor(const std::function<bool()>& condition, int ms = 2000) {
        return QTest::qWaitFor(condition, ms);
    }
    bool waitstate(const QString& state) {
        return waitfor([&] { return form->lblState->text() == state; });
    }
    // A message line matching pattern has arrived.
    bool waitmessage(const QString& pattern) {
        const QRegularExpression re(QStringLiteral("^%1$").arg(pattern));
        return waitfor([&] {
            for (int i = 0; i < form->lstMessages->count(); ++i)
                if (re.match(form->lstMessages->item(i)->text()).hasMatch()) return true;
            return false;
        });
    }
    void addpoint(int t, int a) {
        form->amptxt->setText(QString::number(a));
        form->timepttxt->setText(QString::number(t));
        form->cmdAddPoint->click();
    }
    QString tablefile(int16_t fill) {
        Waveform w{};
        w.fill(fill);
        const QString name = scratch.filePath(QStringLiteral("fill%1.txt").arg(fill));
        EXPECT_TRUE(savewaveform(name, w).isEmpty());
        return name;
    }
};

using FaultSession = Session;

// The pulse the session builds: 0, 80 % from 100 ms, 30 % from 400 ms, 0 from
// 700 ms.
Waveform pulse() {
    Waveform w{};
    for (int i = 100; i < 400; ++i) w[i] = 80;
    for (int i = 400; i < 700; ++i) w[i] = 30;
    return w;
}

}  // namespace

TEST_F(Session, StatusFollowsTheControllerThroughArmShootAndStop) {
    start({"--fast", "--status-ms", "50"});
    ASSERT_TRUE(waitstate("stop"));
    EXPECT_EQ(form->shpState->fillcolor(), kGreen);
    EXPECT_EQ(form->lblAutoArm->text(), "off");
    bool numeric = false;
    EXPECT_GE(form->lblUptime->text().toInt(&numeric), 0);
    EXPECT_TRUE(numeric) << form->lblUptime->text().toStdString();
    form->tmrState_Timer();
    EXPECT_EQ(form->lblPortState->text(), "Port open");

    form->cmdShoot->click();
    EXPECT_TRUE(waitmessage("shoot ignored: stop, not armed"));

    form->cmdAutoArmOn->click();
    EXPECT_TRUE(waitfor([&] { return form->lblAutoArm->text() == "on"; }));
    form->cmdStandby->click();
    ASSERT_TRUE(waitstate("standby"));
    EXPECT_EQ(form->shpState->fillcolor(), QColor(255, 255, 0));
    form->cmdArm->click();
    ASSERT_TRUE(waitstate("armed"));
    EXPECT_EQ(form->shpState->fillcolor(), kRed);
    form->cmdShoot->click();
    ASSERT_TRUE(waitstate("generate"));
    EXPECT_EQ(form->shpState->fillcolor(), kBlue);
    form->cmdStop->click();
    ASSERT_TRUE(waitstate("stop"));
    EXPECT_EQ(form->shpState->fillcolor(), kGreen);
    EXPECT_TRUE(waitmessage("shot 1 stopped after [0-9]+ ms"));
    form->cmdAutoArmOff->click();
    EXPECT_TRUE(waitfor([&] { return form->lblAutoArm->text() == "off"; }));
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(Session, APulseBuiltPointByPointIsSentReadBackSavedAndLoaded) {
    const QString dump = scratch.filePath("controller.txt");
    start({"--fast", "--dump", dump});
    addpoint(100, 80);
    addpoint(400, 30);
    addpoint(700, 0);
    ASSERT_EQ(form->waveform, pulse());
    const QImage pulsegraph = form->wavegraph->image().copy();

    form->cmdSend->click();
    EXPECT_EQ(status(), "Sent 1000 points");
    EXPECT_TRUE(waitmessage("loaded 1000 values"));
    Waveform stored{};
    ASSERT_TRUE(loadwaveform(dump, stored).isEmpty());
    EXPECT_EQ(stored, pulse());  // the controller holds exactly what was sent

    form->cmdReset->click();
    EXPECT_EQ(form->waveform, Waveform{});
    EXPECT_NE(form->wavegraph->image(), pulsegraph);

    form->cmdGet->click();
    EXPECT_FALSE(form->cmdSend->isEnabled());  // locked during the read-back
    ASSERT_TRUE(waitfor([&] { return status() == "1000 points received"; }));
    EXPECT_EQ(form->waveform, pulse());
    EXPECT_EQ(form->wavegraph->image(), pulsegraph);
    EXPECT_TRUE(form->cmdSend->isEnabled());

    const QString file = scratch.filePath("pulse.txt");
    form->filenametext->setText(file);
    form->cmdSave->click();
    EXPECT_EQ(status(), "Waveform saved to " + file);
    form->cmdReset->click();
    EXPECT_EQ(form->waveform, Waveform{});
    form->cmdLoad->click();
    EXPECT_EQ(status(), "Waveform loaded from " + file);
    EXPECT_EQ(form->waveform, pulse());
    EXPECT_EQ(form->wavegraph->image(), pulsegraph);
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(Session, AReadBackAtTheLinesOwnPaceBeatsTheDeadline) {
    start({"--table", tablefile(100), "--status-ms", "100"});
    QElapsedTimer clock;
    clock.start();
    form->cmdGet->click();
    EXPECT_TRUE(waitfor(
        [&] { return status() != "Port 10 open successfully" && !form->rx.getting; }, 2500));
    const qint64 elapsed = clock.elapsed();
    EXPECT_EQ(status(), "1000 points received");
    Waveform hundreds{};
    hundreds.fill(100);
    EXPECT_EQ(form->waveform, hundreds);
    // 4000 characters cannot cross a 115200 baud line in less than 347 ms.
    EXPECT_GE(elapsed, 347);
}

TEST_F(FaultSession, AShortAnswerEndsInATimeoutWithTheTableUnchanged) {
    start({"--fast", "--short", "600"});
    form->waveform.fill(12);
    form->drawgraph();
    const Waveform before = form->waveform;
    form->cmdGet->click();
    // An answer to a later command comes after the whole of the short one.
    form->cmdShoot_Click();
    ASSERT_TRUE(waitmessage("shoot ignored: stop, not armed"));
    EXPECT_EQ(form->rx.pointcount, 600);
    EXPECT_TRUE(form->rx.getting);
    EXPECT_TRUE(form->tmrGetting->isActive());

    form->tmrGetting_Timer();  // the read-back deadline
    EXPECT_EQ(status(), "Communication timeout");
    EXPECT_FALSE(form->rx.getting);
    EXPECT_EQ(form->waveform, before);
    EXPECT_TRUE(form->cmdGet->isEnabled());
}

TEST_F(FaultSession, BogusValuesAreCountedAndTheReadBackStillCompletes) {
    start({"--fast", "--bogus", "3", "--table", tablefile(40)});
    QSignalSpy shown(form->txtStatus, &QLineEdit::textChanged);
    form->cmdGet->click();
    ASSERT_TRUE(waitfor([&] { return status() == "1000 points received"; }));
    QStringList texts;
    for (const QList<QVariant>& s : shown) texts << s.at(0).toString();
    EXPECT_EQ(texts, (QStringList{"1 bogus points received", "2 bogus points received",
                                  "3 bogus points received", "1000 points received"}));
    Waveform forties{};
    forties.fill(40);
    EXPECT_EQ(form->waveform, forties);
}

TEST_F(FaultSession, AStalledAnswerKeepsTheLinkAliveButMissesTheDeadline) {
    start({"--fast", "--stall-ms", "10000", "--status-ms", "50"});
    form->cmdGet->click();
    ASSERT_TRUE(waitfor([&] { return form->rx.pointcount == 500; }));
    form->rxactivity = false;
    ASSERT_TRUE(waitfor([&] { return form->rxactivity; }));  // status lines keep coming
    form->tmrComTimeout_Timer();
    EXPECT_EQ(form->lblState->text(), "stop");
    EXPECT_EQ(form->rx.pointcount, 500);
    form->tmrGetting_Timer();
    EXPECT_EQ(status(), "Communication timeout");
    EXPECT_EQ(form->waveform, Waveform{});
}

TEST_F(FaultSession, ASilentControllerTripsTheWatchdog) {
    start({"--fast", "--silent"});
    form->tmrComTimeout_Timer();
    form->tmrComTimeout_Timer();
    EXPECT_EQ(status(), "Communication timeout");
    EXPECT_EQ(form->lblState->text(), "timeout");
    EXPECT_EQ(form->shpState->fillcolor(), kGrey);
    // Only the status lines are missing: commands are still answered.
    form->cmdShoot->click();
    EXPECT_TRUE(waitmessage("shoot ignored: stop, not armed"));
}

TEST_F(FaultSession, UnpluggingClosesThePortOnceWithoutAnErrorStorm) {
    start({"--fast", "--status-ms", "50", "--unplug-after", "1"});
    QSignalSpy lost(form->MSComm1, &SerialPort::linklost);
    QSignalSpy received(form->MSComm1, &SerialPort::received);
    ASSERT_TRUE(waitstate("stop"));
    ASSERT_TRUE(lost.wait(3000));
    EXPECT_EQ(status(), "Port 10 closed");
    EXPECT_FALSE(form->MSComm1->isopen());
    const qsizetype receivedatloss = received.count();
    EXPECT_TRUE(sim->waitended(2000));
    EXPECT_EQ(sim->exitcode(), 0);
    EXPECT_FALSE(QFileInfo(ports.path() + "/com10").isSymLink());
    QTest::qWait(200);  // room for a storm, had there been one
    EXPECT_EQ(lost.count(), 1);
    EXPECT_EQ(received.count(), receivedatloss);
    EXPECT_EQ(status(), "Port 10 closed");
    form->tmrState_Timer();
    EXPECT_EQ(form->lblPortState->text(), "Port closed");
    EXPECT_EQ(form->shpEstado->fillcolor(), kRed);
    form->cmdArm->click();
    EXPECT_EQ(status(), "Not connected!");
    EXPECT_TRUE(boxes.isEmpty());
}
