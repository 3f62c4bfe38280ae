// SPDX-License-Identifier: MIT
// The window's side of the waveform files: Save and Load, and what they say.
#include "panel.h"

using namespace gaspuff;
using WaveformPanel = test::Panel;

TEST_F(WaveformPanel, SaveAndLoadThroughTheWindowKeepTheTableOnFailure) {
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
    const QString bad = writefile("bad.txt", "150\r\nabc\r\n");
    form.filenametext->setText(bad);
    form.cmdLoad_Click();
    EXPECT_EQ(status(), "Line 2 of " + bad + " is not a whole number");
    EXPECT_EQ(std::tuple(form.waveform[0], form.waveform[250]), std::tuple(0, 40));
    EXPECT_EQ(form.wavegraph->image(), graph);
}
