#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/form1.h"
#include "fakeport.h"
#include "app/wavegraph.h"

using namespace gaspuff;

namespace {

class WaveformPanel : public ::testing::Test {
protected:
    test::FakePort* port = new test::FakePort;
    Form1 form{port};
    QStringList boxes;
    QTemporaryDir dir;

    void SetUp() override {
        form.messagebox = [this](const QString& text) { boxes << text; };
    }
    void add(const QString& amplitude, const QString& time) {
        form.amptxt->setText(amplitude);
        form.timepttxt->setText(time);
        form.cmdAddPoint_Click();
    }
    QString status() const { return form.txtStatus->text(); }
};

}  // namespace

TEST_F(WaveformPanel, AddPointChangesTheRunAndRedraws) {
    const QImage before = form.wavegraph->image();
    add("50", "100");
    EXPECT_TRUE(boxes.isEmpty());
    EXPECT_EQ(form.waveform[99], 0);
    EXPECT_EQ(form.waveform[100], 50);
    EXPECT_EQ(form.waveform[999], 50);
    EXPECT_NE(form.wavegraph->image(), before);
    EXPECT_EQ(form.amptxt->text(), "50");  // boxes are not cleared
    EXPECT_EQ(status(), "");
}

TEST_F(WaveformPanel, AmplitudeBoundariesAndTheirMessage) {
    const QString msg = "Amplitude must be between 0% and 100%";
    for (const char* ok : {"100", "0", "100.5", "-0.5", " 7 "}) {
        boxes.clear();
        add(ok, "500");
        EXPECT_TRUE(boxes.isEmpty()) << ok;
    }
    for (const char* bad : {"101", "-1", "100.6", "", "abc", "50%", "40000", "1,5"}) {
        boxes.clear();
        form.waveform.fill(9);
        add(bad, "500");
        EXPECT_EQ(boxes, QStringList{msg}) << bad;
        EXPECT_EQ(form.waveform[500], 9);
    }
}

TEST_F(WaveformPanel, TimeBoundariesAndTheirMessage) {
    const QString msg = "Time must be between 0ms and 999ms";
    for (const char* ok : {"999", "0", "998.5"}) {
        boxes.clear();
        add("10", ok);
        EXPECT_TRUE(boxes.isEmpty()) << ok;
    }
    EXPECT_EQ(form.waveform[998], 10);
    for (const char* bad : {"1000", "999.5", "-1", "", "x"}) {
        boxes.clear();
        const Waveform before = form.waveform;
        add("60", bad);
        EXPECT_EQ(boxes, QStringList{msg}) << bad;
        EXPECT_EQ(form.waveform, before);
    }
}

TEST_F(WaveformPanel, BothOutOfRangeShowsOnlyTheAmplitudeMessage) {
    add("200", "2000");
    EXPECT_EQ(boxes, QStringList{"Amplitude must be between 0% and 100%"});
}

TEST_F(WaveformPanel, RealMessageBoxIsModalWithOneOkAndTheApplicationCaption) {
    Form1 real(new test::FakePort);
    real.amptxt->setText("500");
    QString caption, text;
    int buttons = -1;
    QMessageBox::Icon icon = QMessageBox::Warning;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        text = box->text();
        buttons = box->buttons().size();
        icon = box->icon();
        box->accept();
    });
    real.cmdAddPoint_Click();
    EXPECT_EQ(caption, "gaspuff-panel");
    EXPECT_EQ(text, "Amplitude must be between 0% and 100%");
    EXPECT_EQ(buttons, 1);
    EXPECT_EQ(icon, QMessageBox::NoIcon);
}

TEST_F(WaveformPanel, ResetClearsTableListStatusAndReceptionOnly) {
    form.cmdLigar_Click();
    port->feed("hello\rpartial");
    form.parseline("armed|5|on");
    add("70", "0");
    form.amptxt->setText("33");
    form.txtStatus->setText("x");
    form.cmdReset_Click();
    EXPECT_EQ(form.waveform, Waveform{});
    EXPECT_TRUE(form.rxbuffer.isEmpty());
    EXPECT_EQ(form.lstMessages->count(), 0);
    EXPECT_EQ(status(), "");
    EXPECT_EQ(form.amptxt->text(), "33");
    EXPECT_EQ(form.lblState->text(), "armed");
    EXPECT_TRUE(port->isopen());
    Form1 fresh(new test::FakePort);
    EXPECT_EQ(form.wavegraph->image(), fresh.wavegraph->image());
}

TEST_F(WaveformPanel, SaveAndLoadThroughTheWindow) {
    const QString name = dir.filePath("waveform1.txt");
    form.filenametext->setText(name);
    form.cmdLoad_Click();
    EXPECT_EQ(status(), "File " + name + " does not exist");

    add("40", "250");
    const Waveform saved = form.waveform;
    const QImage graph = form.wavegraph->image();
    form.cmdSave_Click();
    EXPECT_EQ(status(), "Waveform saved to " + name);
    form.cmdReset_Click();
    form.cmdLoad_Click();
    EXPECT_EQ(status(), "Waveform loaded from " + name);
    EXPECT_EQ(form.waveform, saved);
    EXPECT_EQ(form.wavegraph->image(), graph);
}

TEST_F(WaveformPanel, FailedLoadKeepsTableAndGraph) {
    add("40", "250");
    const Waveform table = form.waveform;
    const QImage graph = form.wavegraph->image();
    const QString name = dir.filePath("bad.txt");
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("1\r\n2\r\n3\r\nabc\r\n");
    f.close();
    form.filenametext->setText(name);
    form.cmdLoad_Click();
    EXPECT_EQ(status(), "Line 4 of " + name + " is not a whole number");
    EXPECT_EQ(form.waveform, table);
    EXPECT_EQ(form.wavegraph->image(), graph);

    form.filenametext->setText(dir.path());
    form.cmdLoad_Click();
    EXPECT_EQ(status(), "File " + dir.path() + " does not exist");
}

TEST_F(WaveformPanel, OutOfRangeFileValuesAreKeptDrawnClippedAndSentAsTheyAre) {
    const QString name = dir.filePath("wild.txt");
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("150\r\n-5\r\n32767\r\n-32768\r\n");
    f.close();
    form.filenametext->setText(name);
    form.cmdLoad_Click();
    EXPECT_EQ(status(), "Waveform loaded from " + name);
    EXPECT_EQ(form.waveform[0], 150);
    EXPECT_EQ(form.waveform[1], -5);
    form.cmdLigar_Click();
    port->writes.clear();
    form.cmdSend_Click();
    EXPECT_TRUE(port->writes[1].startsWith("150\r-5\r32767\r-32768\r0\r"));
}
