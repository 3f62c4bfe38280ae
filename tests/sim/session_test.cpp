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

#include "app/form1.h"
#include "app/shape.h"
#include "link/serialport.h"
#include "rawpty.h"
#include "simprocess.h"
#include "waveform/files.h"
#include "app/wavegraph.h"

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
    void start(const QStringList& args) {
        sim = std::make_unique<test::SimProcess>(args + QStringList{"--port", "10"});
        ASSERT_FALSE(sim->slavepath().isEmpty()) << sim->errors().toStdString();
        form = std::make_unique<Form1>();
        form->messagebox = [this](const QString& text) { boxes << text; };
        form->cmdLigar->click();
        ASSERT_EQ(status(), "Port 10 open successfully");
    }
    QString status() const { return form->txtStatus->text(); }
    // The state caption shows state in colour.
    bool waitstate(const QString& state, const QColor& colour) {
        return QTest::qWaitFor([&] { return form->lblState->text() == state; }) &&
               form->shpState->fillcolor() == colour;
    }
    // A message line matching pattern has arrived.
    bool waitmessage(const QString& pattern) {
        const QString whole = QStringLiteral("^%1$").arg(pattern);
        return QTest::qWaitFor([&] {
            return !form->lstMessages->findItems(whole, Qt::MatchRegularExpression).isEmpty();
        });
    }
    void TearDown() override { EXPECT_TRUE(boxes.isEmpty()) << boxes.join('\n').toStdString(); }
};

}  // namespace

TEST_F(Session, StatusFollowsTheControllerThroughArmShootAndStop) {
    start({"--fast", "--status-ms", "50"});
    ASSERT_TRUE(waitstate("stop", kGreen));
    EXPECT_TRUE(QRegularExpression("^[0-9]+$").match(form->lblUptime->text()).hasMatch());
    form->cmdAutoArmOn->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->lblAutoArm->text() == "on"; }));
    form->cmdStandby->click();
    EXPECT_TRUE(waitstate("standby", QColor(255, 255, 0)));
    form->cmdArm->click();
    EXPECT_TRUE(waitstate("armed", kRed));
    form->cmdShoot->click();
    EXPECT_TRUE(waitstate("generate", kBlue));
    form->cmdStop->click();
    EXPECT_TRUE(waitstate("stop", kGreen));
    EXPECT_TRUE(waitmessage("shot 1 stopped after [0-9]+ ms"));
    form->cmdAutoArmOff->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->lblAutoArm->text() == "off"; }));
}

TEST_F(Session, APulseBuiltPointByPointIsSentReadBackSavedAndLoaded) {
    const QString dump = scratch.filePath("controller.txt");
    start({"--fast", "--dump", dump});
    for (const auto& [t, a] : {std::pair{"100", "80"}, {"400", "30"}, {"700", "0"}}) {
        form->timepttxt->setText(t);
        form->amptxt->setText(a);
        form->cmdAddPoint->click();
    }
    Waveform pulse{};
    std::fill(pulse.begin() + 100, pulse.begin() + 400, 80);
    std::fill(pulse.begin() + 400, pulse.begin() + 700, 30);
    ASSERT_EQ(form->waveform, pulse);
    const QImage pulsegraph = form->wavegraph->image().copy();

    form->cmdSend->click();
    EXPECT_EQ(status(), "Sent 1000 points");
    EXPECT_TRUE(waitmessage("loaded 1000 values"));
    Waveform stored{};
    ASSERT_TRUE(loadwaveform(dump, stored).isEmpty());
    EXPECT_EQ(stored, pulse);  // the controller holds exactly what was sent

    form->cmdReset->click();
    EXPECT_EQ(form->waveform, Waveform{});
    EXPECT_NE(form->wavegraph->image(), pulsegraph);
    form->cmdGet->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return status() == "1000 points received"; }));
    EXPECT_EQ(form->waveform, pulse);
    EXPECT_EQ(form->wavegraph->image(), pulsegraph);

    const QString file = scratch.filePath("pulse.txt");
    form->filenametext->setText(file);
    form->cmdSave->click();
    EXPECT_EQ(status(), "Waveform saved to " + file);
    form->cmdReset->click();
    EXPECT_EQ(form->waveform, Waveform{});
    form->cmdLoad->click();
    EXPECT_EQ(status(), "Waveform loaded from " + file);
    EXPECT_EQ(form->waveform, pulse);
    EXPECT_EQ(form->wavegraph->image(), pulsegraph);
}

TEST_F(Session, AReadBackAtTheLinesOwnPaceBeatsTheDeadline) {
    Waveform hundreds{};  // the longest answer: 4000 characters
    hundreds.fill(100);
    const QString table = scratch.filePath("hundreds.txt");
    ASSERT_TRUE(savewaveform(table, hundreds).isEmpty());
    start({"--table", table, "--status-ms", "100"});
    QElapsedTimer clock;
    clock.start();
    form->cmdGet->click();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return status() != "Port 10 open successfully" && !form->rx.getting; }, 2500));
    // They cannot cross a 115200 baud line in less than 347 ms.
    EXPECT_GE(clock.elapsed(), 347);
    EXPECT_EQ(status(), "1000 points received");
    EXPECT_EQ(form->waveform, hundreds);
}

TEST_F(Session, AShortAnswerEndsInATimeoutWithTheTableUnchanged) {
    start({"--fast", "--short", "600"});
    form->waveform.fill(12);
    const Waveform before = form->waveform;
    form->cmdGet->click();
    // An answer to a later command comes after the whole of the short one.
    form->cmdShoot_Click();
    ASSERT_TRUE(waitmessage("shoot ignored: stop, not armed"));
    EXPECT_EQ(form->rx.pointcount, 600);
    EXPECT_TRUE(form->rx.getting);

    form->tmrGetting_Timer();  // the read-back deadline
    EXPECT_EQ(status(), "Communication timeout");
    EXPECT_FALSE(form->rx.getting);
    EXPECT_EQ(form->waveform, before);
}

TEST_F(Session, ASilentControllerTripsTheWatchdog) {
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

TEST_F(Session, UnpluggingClosesThePortOnceWithoutAnErrorStorm) {
    start({"--fast", "--status-ms", "50", "--unplug-after", "1"});
    QSignalSpy lost(form->MSComm1, &SerialPort::linklost);
    QSignalSpy received(form->MSComm1, &SerialPort::received);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->lblState->text() == "stop"; }));
    ASSERT_TRUE(lost.wait(3000));
    EXPECT_EQ(status(), "Port 10 closed");
    const qsizetype receivedatloss = received.count();
    EXPECT_TRUE(sim->waitended(2000));
    EXPECT_EQ(sim->exitcode(), 0);
    EXPECT_FALSE(QFileInfo(ports.path() + "/com10").isSymLink());
    QTest::qWait(200);  // room for a storm, had there been one
    EXPECT_EQ(lost.count(), 1);
    EXPECT_EQ(received.count(), receivedatloss);
    EXPECT_EQ(status(), "Port 10 closed");
}
