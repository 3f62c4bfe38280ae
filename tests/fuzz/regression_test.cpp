// SPDX-License-Identifier: MIT
// Inputs the fuzz targets found to break something, kept under
// tests/fuzz/regressions/<target>/ and run in the normal suite.
#include <gtest/gtest.h>

#include <QFileInfo>

#include "waveform/files.h"

using namespace gaspuff;

// Found by fuzz_wavefile: the reader trimmed a view of its line buffer,
// released the buffer, then parsed the view, so every non-empty line was read
// from freed memory; only a sanitized build sees it fail.
TEST(FuzzRegressions, WaveformFileLinesAreParsedFromLiveMemory) {
    // The source folder as the build gives it: __FILE__ may be relative to a
    // compiler cache's base folder.
    const QString crash =
        QStringLiteral(QT_TESTCASE_SOURCEDIR "/fuzz/regressions/wavefile/line-read-after-release");
    ASSERT_TRUE(QFileInfo::exists(crash));
    Waveform w{};
    w.fill(7);
    EXPECT_EQ(loadwaveform(crash, w), QStringLiteral("Line 2 of %1 is empty").arg(crash));
    EXPECT_EQ(std::count(w.begin(), w.end(), 7), kWaveformLength);
}
