// The far end of the line goes away in the middle of a transfer. The panel
// must close the port once, say so, and then sit quietly: a port left open on
// a dead line keeps reporting errors and takes a whole core.
#include <gtest/gtest.h>
#include <time.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <string>

#include "app/form1.h"
#include "app/shape.h"
#include "panelontheline.h"

using namespace gaspuff;

namespace {

double processcpuseconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

class Unplug : public test::PanelOnTheLine {
  protected:

    // Runs the event loop for ms of real time, blocking in it between events
    // as the panel does, and returns the share of one core this process used
    // meanwhile.
    static double cpushareover(int ms) {
        const double cpu = processcpuseconds();
        QElapsedTimer wall;
        wall.start();
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
        return (processcpuseconds() - cpu) / (static_cast<double>(wall.nsecsElapsed()) / 1e9);
    }

    void expectshownclosed() {
        EXPECT_EQ(status(), "Port 10 closed");
        form->tmrState_Timer();
        EXPECT_EQ(form->lblPortState->text(), "Port closed");
        EXPECT_EQ(form->shpEstado->fillcolor(), QColor(255, 0, 0));
    }
};

}  // namespace

TEST_F(Unplug, DuringAnUploadThePanelClosesThePortAndStaysIdle) {
    // The longest records there are: 7000 bytes still in the port's own
    // buffer when the line goes, since the event loop has not run yet.
    form->waveform.fill(-32768);
    form->cmdSend->click();
    ASSERT_EQ(status(), "Sent 1000 points");
    pty.closemaster();

    const double share = cpushareover(1000);
    RecordProperty("cpushare", std::to_string(share));
    EXPECT_LT(share, 0.20) << "CPU share of one core over the second after the loss";
    expectshownclosed();
    EXPECT_TRUE(form->cmdLigar->isEnabled());
    form->cmdArm->click();
    EXPECT_EQ(status(), "Not connected!");
}

TEST_F(Unplug, DuringAReadBackThePanelClosesThePortStaysIdleAndKeepsTheTable) {
    form->waveform.fill(12);
    const Waveform table = form->waveform;
    form->cmdGet->click();
    ASSERT_EQ(pty.readatleast(4, 2000), "get\r");
    pty.write(QByteArray("50\r").repeated(300));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->rx.pointcount == 300; }, 2000));
    pty.closemaster();

    const double share = cpushareover(1000);
    RecordProperty("cpushare", std::to_string(share));
    EXPECT_LT(share, 0.20) << "CPU share of one core over the second after the loss";
    expectshownclosed();
    EXPECT_EQ(form->waveform, table);

    // The read-back still ends at its deadline and gives the buttons back.
    form->tmrGetting_Timer();
    EXPECT_FALSE(form->rx.getting);
    EXPECT_TRUE(form->cmdLigar->isEnabled());
    EXPECT_EQ(form->waveform, table);
}
