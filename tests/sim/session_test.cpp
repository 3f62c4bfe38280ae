// SPDX-License-Identifier: MIT
// The operator's panel against the real simulator through "Com 10": the whole
// window, offscreen, as an operator would use it.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>

#include "app/waveformnote.h"
#include "panel.h"
#include "rawpty.h"
#include "simprocess.h"
#include "waveform/files.h"

using namespace gaspuff;

TEST(Session, AnOperatorBuildsAPulseSendsItReadsItBackAndSeesWhatTheControllerStoredWrong) {
    test::PortsFolder ports;
    QTemporaryDir scratch;
    const QString dump = scratch.filePath("controller.txt");
    // Paced as the real line, a status line every 50 ms; every load is stored
    // with entries 250, 500 and 750 wrong.
    test::SimProcess sim({"--port", "10", "--status-ms", "50", "--dump", dump, "--corrupt", "3"});
    ASSERT_FALSE(sim.slavepath().isEmpty()) << sim.errors().toStdString();
    Form1 form;
    form.messagebox = [](const QString& text) { ADD_FAILURE() << text.toStdString(); };
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    form.cmdLigar->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.lblState->text() == "stop"; }));

    for (const auto& [t, a] : {std::pair{"100", "60"}, {"400", "0"}}) {
        form.timepttxt->setText(t);
        form.amptxt->setText(a);
        QTest::keyClick(form.amptxt, Qt::Key_Return);
    }
    Waveform pulse{};
    std::fill(pulse.begin() + 100, pulse.begin() + 400, 60);
    Waveform stored = pulse;
    stored[250] = 0, stored[500] = 1, stored[750] = 1;
    form.cmdSend->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.lstMessages->count() > 0; }));
    EXPECT_EQ(form.lstMessages->item(0)->text(), "loaded 1000 values");
    Waveform dumped{};
    ASSERT_EQ(loadwaveform(dump, dumped), "");
    EXPECT_EQ(dumped, stored);  // exactly what was sent, but for the three it spoils

    form.cmdGet->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.txtStatus->text() == "1000 points received"; }));
    EXPECT_EQ(form.waveform, stored);
    EXPECT_TRUE(form.lblNote->sentence().endsWith(
        " in 3 entries: t=250 sent 60 holds 0, t=500 sent 0 holds 1, t=750 sent 0 holds 1"))
        << form.lblNote->sentence().toStdString();
    form.wavegraph->setFocus();
    QTest::keyClick(form.wavegraph, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(form.waveform, pulse);  // the table that was sent
}
