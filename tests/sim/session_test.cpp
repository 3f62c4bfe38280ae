// The operator's panel against the real simulator through "Com 10": the whole
// window, offscreen, as an operator would use it.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include "app/waveformnote.h"
#include "panel.h"
#include "rawpty.h"
#include "simprocess.h"
#include "waveform/files.h"
#include "waveform/records.h"

using namespace gaspuff;

namespace {

// Waits until the box shows the text (a message list: a message starting so).
template <typename Box>
bool shows(Box* box, const QString& text) {
    return QTest::qWaitFor([&] {
        if constexpr (std::is_same_v<Box, QListWidget>)
            return !box->findItems(text, Qt::MatchStartsWith).isEmpty();
        else
            return box->text() == text;
    });
}

}  // namespace

TEST(Session, AnOperatorBuildsAWaveformSendsItAndReadsItBack) {
    test::PortsFolder ports;
    QTemporaryDir scratch;
    const QString dump = scratch.filePath("controller.txt");
    // Paced as the real line, a status line every 50 ms.
    test::SimProcess sim({"--port", "10", "--status-ms", "50", "--dump", dump});
    ASSERT_FALSE(sim.slavepath().isEmpty()) << sim.errors().toStdString();
    Form1 form;
    form.messagebox = [](const QString& text) { ADD_FAILURE() << text.toStdString(); };
    form.cmdLigar->click();
    ASSERT_TRUE(shows(form.lblState, "stop"));

    for (const auto& [t, a] : {std::pair{"100", "80"}, {"400", "30"}, {"700", "0"}}) {
        form.timepttxt->setText(t);
        form.amptxt->setText(a);
        form.cmdAddPoint->click();
    }
    Waveform pulse{};
    std::fill(pulse.begin() + 100, pulse.begin() + 400, 80);
    std::fill(pulse.begin() + 400, pulse.begin() + 700, 30);
    const QImage graph = form.wavegraph->image().copy();
    form.cmdSend->click();
    EXPECT_EQ(form.txtStatus->text(), "Sent 1000 points");
    ASSERT_TRUE(shows(form.lstMessages, "loaded 1000 values"));
    Waveform stored{};
    ASSERT_EQ(loadwaveform(dump, stored), "");
    EXPECT_EQ(stored, pulse);  // the controller holds exactly what was sent

    form.cmdReset->click();
    QElapsedTimer clock;
    clock.start();
    form.cmdGet->click();
    ASSERT_TRUE(shows(form.txtStatus, "1000 points received"));
    // The answer cannot cross a 115200 baud line faster than this.
    EXPECT_GE(clock.elapsed(), uploadtext(pulse).size() * 1000 / 11520);
    EXPECT_EQ(form.waveform, pulse);
    EXPECT_EQ(form.wavegraph->image(), graph);
}

TEST(Session, AReadBackOfACorruptedUploadNamesTheEntriesAndUndoBringsBackTheTableSent) {
    test::PortsFolder ports;
    test::SimProcess sim({"--port", "10", "--status-ms", "50", "--corrupt", "3"});
    ASSERT_FALSE(sim.slavepath().isEmpty()) << sim.errors().toStdString();
    Form1 form;
    form.messagebox = [](const QString& text) { ADD_FAILURE() << text.toStdString(); };
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    form.cmdLigar->click();
    ASSERT_TRUE(shows(form.lblState, "stop"));
    for (const auto& [t, a] : {std::pair{"100", "60"}, {"400", "0"}}) {
        form.timepttxt->setText(t);
        form.amptxt->setText(a);
        QTest::keyClick(form.amptxt, Qt::Key_Return);
    }
    const Waveform sent = form.waveform;
    form.cmdSend->click();
    ASSERT_TRUE(shows(form.lstMessages, "loaded 1000 values"));
    form.cmdGet->click();
    ASSERT_TRUE(shows(form.txtStatus, "1000 points received"));
    EXPECT_TRUE(form.lblNote->sentence().endsWith(
        " in 3 entries: t=250 sent 60 holds 0, t=500 sent 0 holds 1, t=750 sent 0 holds 1"))
        << form.lblNote->sentence().toStdString();
    EXPECT_NE(form.waveform, sent);
    form.wavegraph->setFocus();
    QTest::keyClick(form.wavegraph, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(form.waveform, sent);
}
