// The whole window over a raw pseudo-terminal reached as "Com 10".
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/form1.h"
#include "app/shape.h"
#include "panelontheline.h"

using namespace gaspuff;

namespace {

using OverTheLine = test::PanelOnTheLine;

}  // namespace

TEST_F(OverTheLine, StatusLinesInOddChunksDriveTheDisplays) {
    for (const QByteArray chunk : {"sta", "ndby|1", "7|off\rar", "med|18|o", "n\r"}) {
        pty.write(chunk);
        QTest::qWait(5);
    }
    EXPECT_TRUE(waitfor([&] { return form->lblState->text() == "armed"; }));
    EXPECT_EQ(form->lblUptime->text(), "18");
    EXPECT_EQ(form->lblAutoArm->text(), "on");
    EXPECT_EQ(form->shpState->fillcolor(), QColor(255, 0, 0));
    form->tmrState_Timer();
    EXPECT_EQ(form->lblPortState->text(), "Port open");
    EXPECT_FALSE(form->cmbSerialPort->isEnabled());
}

TEST_F(OverTheLine, CommandsArriveAsExactBytes) {
    form->cmdArm->click();
    form->cmdStop->click();
    EXPECT_EQ(pty.readatleast(9, 2000), "arm\rstop\r");
}

TEST_F(OverTheLine, SilenceShowsTheTimeout) {
    form->tmrComTimeout_Timer();
    EXPECT_EQ(status(), "Communication timeout");
    EXPECT_EQ(form->lblState->text(), "timeout");
}

TEST_F(OverTheLine, ReadBackInOddChunksFillsTheTable) {
    form->cmdGet->click();
    EXPECT_EQ(pty.readatleast(4, 2000), "get\r");
    Waveform expected{};
    QByteArray answer;
    for (int i = 0; i < kWaveformLength; ++i) {
        expected[i] = static_cast<int16_t>((i * 7) % 101);
        answer += QByteArray::number(expected[i]) + "\r";
    }
    for (qsizetype i = 0, size = 1; i < answer.size(); i += size, size = size % 61 + 3)
        pty.write(answer.mid(i, size));
    EXPECT_TRUE(waitfor([&] { return status() == "1000 points received"; }));
    EXPECT_EQ(form->waveform, expected);
    EXPECT_TRUE(form->cmdSend->isEnabled());
}

TEST_F(OverTheLine, ShortReadBackEndsAtTheDeadlineWithTheTableUnchanged) {
    form->waveform.fill(12);
    form->cmdGet->click();
    pty.write(QByteArray("55\r").repeated(600));
    EXPECT_TRUE(waitfor([&] { return form->rx.pointcount == 600; }));
    // The real 2000 ms deadline, bounded. The watchdog may show the same
    // text a moment earlier, so wait for the read-back itself to end.
    EXPECT_TRUE(waitfor([&] { return !form->rx.getting; }, 3000));
    EXPECT_EQ(status(), "Communication timeout");
    Waveform twelve{};
    twelve.fill(12);
    EXPECT_EQ(form->waveform, twelve);
}

TEST_F(OverTheLine, UploadArrivesByteExact) {
    for (int i = 0; i < kWaveformLength; ++i) form->waveform[i] = static_cast<int16_t>(i % 101);
    form->cmdSend->click();
    EXPECT_EQ(status(), "Sent 1000 points");
    QByteArray expected = "load\r";
    for (int i = 0; i < kWaveformLength; ++i) expected += QByteArray::number(i % 101) + "\r";
    EXPECT_EQ(pty.readatleast(expected.size(), 3000), expected);
}

TEST_F(OverTheLine, PulledFarEndClosesThePortAndConnectWorksAgainLater) {
    pty.closemaster();
    EXPECT_TRUE(waitfor([&] { return status() == "Port 10 closed"; }));
    form->tmrState_Timer();
    EXPECT_EQ(form->shpEstado->fillcolor(), QColor(255, 0, 0));
    form->cmdArm->click();
    EXPECT_EQ(status(), "Not connected!");

    test::RawPty again;
    ports.link(10, again.slavepath());
    form->cmdLigar->click();
    EXPECT_EQ(status(), "Port 10 open successfully");
    again.write("stop|1|on\r");
    EXPECT_TRUE(waitfor([&] { return form->lblState->text() == "stop"; }));
    EXPECT_EQ(again.read(50), "");  // nothing sent on reconnect
}
