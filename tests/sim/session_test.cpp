// The operator's panel against the real simulator through "Com 10": the whole
// window, offscreen, as an operator would use it.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "panel.h"
#include "rawpty.h"
#include "simprocess.h"
#include "waveform/files.h"
#include "waveform/records.h"

using namespace gaspuff;

namespace {

class Session : public ::testing::Test {
  protected:
    test::PortsFolder ports;
    QTemporaryDir scratch;
    std::unique_ptr<test::SimProcess> sim;
    std::unique_ptr<Form1> form;

    void start(const QStringList& args) {
        sim = std::make_unique<test::SimProcess>(args + QStringList{"--port", "10"});
        ASSERT_FALSE(sim->slavepath().isEmpty()) << sim->errors().toStdString();
        form = std::make_unique<Form1>();
        form->messagebox = [](const QString& text) { ADD_FAILURE() << text.toStdString(); };
        form->cmdLigar->click();
        ASSERT_EQ(status(), "Port 10 open successfully");
    }
    QString status() const { return form->txtStatus->text(); }
    bool waitfor(const std::function<bool()>& shown, int ms = 3000) {
        return QTest::qWaitFor(shown, ms);
    }
    bool waitstate(const QString& state, const QColor& colour) {
        return waitfor([&] { return form->lblState->text() == state; }) &&
               form->shpState->fillcolor() == colour;
    }
    bool waitmessage(const QString& text) {
        return waitfor(
            [&] { return !form->lstMessages->findItems(text, Qt::MatchStartsWith).isEmpty(); });
    }
};

}  // namespace

TEST_F(Session, AnOperatorBuildsSendsReadsBackSavesAndFires) {
    const QString dump = scratch.filePath("controller.txt");
    start({"--status-ms", "50", "--dump", dump});  // paced as the real line
    ASSERT_TRUE(waitstate("stop", QColor(0, 255, 0)));
    for (const auto& [t, a] : {std::pair{"100", "80"}, {"400", "30"}, {"700", "0"}}) {
        form->timepttxt->setText(t);
        form->amptxt->setText(a);
        form->cmdAddPoint->click();
    }
    Waveform pulse{};
    std::fill(pulse.begin() + 100, pulse.begin() + 400, 80);
    std::fill(pulse.begin() + 400, pulse.begin() + 700, 30);
    ASSERT_EQ(form->waveform, pulse);
    const QImage graph = form->wavegraph->image().copy();

    form->cmdSend->click();
    EXPECT_EQ(status(), "Sent 1000 points");
    EXPECT_TRUE(waitmessage("loaded 1000 values"));
    Waveform stored{};
    ASSERT_EQ(loadwaveform(dump, stored), "");
    EXPECT_EQ(stored, pulse);  // the controller holds exactly what was sent

    form->cmdReset->click();
    QElapsedTimer clock;
    clock.start();
    form->cmdGet->click();
    ASSERT_TRUE(waitfor([&] { return status() == "1000 points received"; }));
    // The answer cannot cross a 115200 baud line faster than this.
    EXPECT_GE(clock.elapsed(), uploadtext(pulse).size() * 1000 / 11520);
    EXPECT_EQ(form->waveform, pulse);
    EXPECT_EQ(form->wavegraph->image(), graph);

    const QString file = scratch.filePath("pulse.txt");
    form->filenametext->setText(file);
    form->cmdSave->click();
    form->cmdReset->click();
    form->cmdLoad->click();
    EXPECT_EQ(status(), "Waveform loaded from " + file);
    EXPECT_EQ(form->wavegraph->image(), graph);

    form->cmdAutoArmOn->click();
    EXPECT_TRUE(waitfor([&] { return form->lblAutoArm->text() == "on"; }));
    form->cmdStandby->click();
    EXPECT_TRUE(waitstate("standby", QColor(255, 255, 0)));
    form->cmdArm->click();
    EXPECT_TRUE(waitstate("armed", QColor(255, 0, 0)));
    form->cmdShoot->click();
    EXPECT_TRUE(waitstate("generate", QColor(0, 0, 255)));
    form->cmdStop->click();
    EXPECT_TRUE(waitstate("stop", QColor(0, 255, 0)));
    EXPECT_TRUE(waitmessage("shot 1 stopped after"));
}

TEST_F(Session, AShortAnswerASilentControllerAndAPulledCable) {
    start({"--fast", "--short", "600", "--silent", "--unplug-after", "1.5"});
    form->waveform.fill(12);
    form->cmdGet->click();
    form->cmdShoot_Click();  // answered after the whole of the short answer
    ASSERT_TRUE(waitmessage("shoot ignored: stop, not armed"));
    EXPECT_EQ(form->rx.pointcount, 600);
    form->tmrGetting_Timer();
    EXPECT_EQ(status(), "Communication timeout");
    EXPECT_EQ(form->waveform[0], 12);

    form->tmrComTimeout_Timer();
    form->tmrComTimeout_Timer();
    EXPECT_EQ(form->lblState->text(), "timeout");
    EXPECT_TRUE(waitfor([&] { return status() == "Port 10 closed"; }));
    EXPECT_EQ(form->lblState->text(), "state");
    EXPECT_TRUE(sim->waitended(2000));
    EXPECT_EQ(sim->exitcode(), 0);
    EXPECT_FALSE(QFileInfo(ports.path() + "/com10").isSymLink());
}
