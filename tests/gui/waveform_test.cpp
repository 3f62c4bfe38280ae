// The window's side of the waveform: point entry, Reset, Save and Load.
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include "capabilities.h"
#include "panel.h"

using namespace gaspuff;
using WaveformPanel = test::Panel;

namespace {

const QString kAmplitude = "Amplitude must be between 0% and 100%";
const QString kTime = "Time must be between 0ms and 999ms";

}  // namespace

TEST_F(WaveformPanel, AddPointTakesRoundedNumbersInRangeAndRefusesTheRestWithAMessage) {
    // Amplitude, time, the message box (none: accepted); for an accepted
    // point, the first entry changed and the value it takes.
    const std::tuple<const char*, const char*, QString, int, int> cases[] = {
        {"100", "500", "", 500, 100},
        {"0", "0", "", 0, 0},
        {"100.4", "999", "", 999, 100},
        {"-0.4", "998.4", "", 998, 0},
        {" 7 ", "7", "", 7, 7},
        {"101", "5", kAmplitude, 0, 0},
        {"-1", "5", kAmplitude, 0, 0},
        {"100.6", "5", kAmplitude, 0, 0},
        {"", "5", kAmplitude, 0, 0},
        {"1,5", "5", kAmplitude, 0, 0},
        {"200", "2000", kAmplitude, 0, 0},
        {"60", "1000", kTime, 0, 0},
        {"60", "999.6", kTime, 0, 0},
        {"60", "-1", kTime, 0, 0}};
    for (const auto& [amplitude, time, message, entry, value] : cases) {
        boxes.clear();
        form.waveform.fill(9);
        form.drawgraph();
        const QImage before = form.wavegraph->image();
        form.amptxt->setText(amplitude);
        form.timepttxt->setText(time);
        form.cmdAddPoint_Click();
        const std::string row = QString("%1 at %2").arg(amplitude, time).toStdString();
        if (message.isEmpty()) {
            EXPECT_TRUE(boxes.isEmpty()) << row;
            EXPECT_EQ(form.waveform[entry], value) << row;
            EXPECT_EQ(form.waveform[std::max(entry - 1, 0)], entry ? 9 : value) << row;
            EXPECT_NE(form.wavegraph->image(), before) << row;
        } else {
            EXPECT_EQ(boxes, QStringList{message}) << row;
            EXPECT_EQ(form.waveform[0], 9) << row;
            EXPECT_EQ(form.wavegraph->image(), before) << row;
        }
    }
    EXPECT_EQ(form.amptxt->text(), "60");  // the boxes are not cleared
    EXPECT_EQ(status(), "");
}

TEST_F(WaveformPanel, AddPointTakesTheLocalesDecimalComma) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    form.amptxt->setText("2,4");
    form.timepttxt->setText("3.6");
    form.cmdAddPoint_Click();
    QLocale::setDefault(QLocale::c());
    EXPECT_TRUE(boxes.isEmpty());
    EXPECT_EQ((std::array{form.waveform[3], form.waveform[4]}), (std::array<int16_t, 2>{0, 2}));
}

TEST_F(WaveformPanel, ResetClearsTableListStatusAndReceptionOnly) {
    connect();
    port->feed("hello\rarmed|5|on\rpartial");
    form.cmdGet_Click();
    form.waveform[0] = 70;
    form.amptxt->setText("33");
    form.cmdReset_Click();
    EXPECT_EQ(form.waveform, Waveform{});
    EXPECT_EQ(form.wavegraph->image(), Form1(new test::FakePort).wavegraph->image());
    EXPECT_EQ(std::tuple(form.rxbuffer.text, form.rx.getting, messages(), status(), port->isopen()),
              std::tuple(QByteArray(), false, QStringList(), QString(), true));
    EXPECT_EQ((QStringList{form.amptxt->text(), form.lblState->text()}),
              (QStringList{"33", "armed"}));  // untouched
}

TEST_F(WaveformPanel, SaveAndLoadThroughTheWindowKeepTheTableOnFailure) {
    QTemporaryDir dir;
    const QString name = dir.filePath("waveform1.txt");
    for (const QString& missing : {dir.path(), name}) {  // a folder is no file to load
        form.filenametext->setText(missing);
        form.cmdLoad_Click();
        EXPECT_EQ(status(), "File " + missing + " does not exist");
    }
    form.waveform[250] = 40;
    form.cmdSave_Click();
    EXPECT_EQ(status(), "Waveform saved to " + name);
    form.cmdReset_Click();
    form.cmdLoad_Click();
    EXPECT_EQ(status(), "Waveform loaded from " + name);
    EXPECT_EQ(form.waveform[250], 40);
    const QImage graph = form.wavegraph->image();
    EXPECT_NE(graph, Form1(new test::FakePort).wavegraph->image());

    QFile bad(dir.filePath("bad.txt"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly) && bad.write("150\r\nabc\r\n") && bad.flush());
    form.filenametext->setText(bad.fileName());
    form.cmdLoad_Click();
    EXPECT_EQ(status(), "Line 2 of " + bad.fileName() + " is not a whole number");
    EXPECT_EQ(form.waveform[0], 0);
    EXPECT_EQ(form.wavegraph->image(), graph);
}

TEST_F(WaveformPanel, SaveSaysWhatOfTheReplacedFileItCouldNotKeep) {
    if (::geteuid() != 0) GTEST_SKIP() << "a file of another user's needs root to make";
    QTemporaryDir dir;
    const QString name = dir.filePath("keep.txt");
    QFile kept(name);
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly) && kept.write("1\r\n") == 3);
    ASSERT_EQ(::chown(QFile::encodeName(name).constData(), 65534, 0), 0);
    form.filenametext->setText(name);
    {
        test::WithoutCapabilities without({CAP_CHOWN});
        form.cmdSave_Click();
    }
    EXPECT_TRUE(status().startsWith("Waveform saved to " + name + "; could not keep its owner "))
        << status().toStdString();
}
