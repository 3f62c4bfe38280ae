#include <gtest/gtest.h>

#include "protocol/interpreter.h"

using namespace gaspuff;

namespace {

struct Interpreter {
    Reception rx;
    Waveform waveform{};
    LineMeaning operator()(const QByteArray& line) { return interpretline(line, rx, waveform); }
    void startreadback() { rx.start(); }
};

}  // namespace

TEST(StatusLines, SplitAtTheFirstAndLastBar) {
    Interpreter in;
    LineMeaning m = in("stop|3605|on");
    EXPECT_EQ(m.kind, LineKind::Status);
    EXPECT_EQ(m.state, "stop");
    EXPECT_EQ(m.uptime, "3605");
    EXPECT_EQ(m.autoarm, "on");

    m = in("armed|12|off|x");
    EXPECT_EQ(m.state, "armed");
    EXPECT_EQ(m.uptime, "12|off");
    EXPECT_EQ(m.autoarm, "x");

    m = in("|x|");
    EXPECT_EQ(m.kind, LineKind::Status);
    EXPECT_EQ(m.state, "");
    EXPECT_EQ(m.uptime, "x");
    EXPECT_EQ(m.autoarm, "");
}

TEST(MessageLines, SingleBarNumbersWhileIdleAndEmptyLines) {
    Interpreter in;
    EXPECT_EQ(in("ok|1").kind, LineKind::Message);
    EXPECT_EQ(in("42").kind, LineKind::Message);
    EXPECT_EQ(in("").kind, LineKind::Empty);
    EXPECT_EQ(in("40000").kind, LineKind::Message);  // no read-back: no conversion
    EXPECT_EQ(in.waveform, Waveform{});
}

TEST(ReadBack, StoresCountsBogusAndRejectsOverflow) {
    Interpreter in;
    in.startreadback();
    EXPECT_EQ(in("100").point, PointResult::Stored);
    EXPECT_EQ(in("0").point, PointResult::Stored);
    EXPECT_EQ(in("101").point, PointResult::Bogus);
    EXPECT_EQ(in("-1").point, PointResult::Bogus);
    EXPECT_EQ(in("40000").kind, LineKind::Overflow);
    EXPECT_EQ(in("100.5").kind, LineKind::Point);
    EXPECT_EQ(in("99.5").kind, LineKind::Point);
    EXPECT_EQ(in("\n42").kind, LineKind::Point);
    EXPECT_EQ(in("hello").kind, LineKind::Message);
    EXPECT_EQ(in.rx.pointcount, 5);
    EXPECT_EQ(in.rx.boguscount, 2);
    EXPECT_EQ(in.rx.staging[0], 100);
    EXPECT_EQ(in.rx.staging[1], 0);
    EXPECT_EQ(in.rx.staging[2], 100);
    EXPECT_EQ(in.rx.staging[3], 100);
    EXPECT_EQ(in.rx.staging[4], 42);
    // Nothing reaches the table before the read-back completes.
    EXPECT_EQ(in.waveform, Waveform{});
}

TEST(ReadBack, StatusLineInTheMiddleLeavesTheCountersAlone) {
    Interpreter in;
    in.startreadback();
    in("5");
    in("500");
    EXPECT_EQ(in("armed|1|on").kind, LineKind::Status);
    EXPECT_EQ(in.rx.pointcount, 1);
    EXPECT_EQ(in.rx.boguscount, 1);
    EXPECT_TRUE(in.rx.getting);
}

TEST(ReadBack, ThousandAcceptedPointsCompleteItWhateverBogusIsMixedIn) {
    Interpreter in;
    in.startreadback();
    Waveform expected{};
    for (int i = 0; i < kWaveformLength; ++i) {
        expected[i] = static_cast<int16_t>(i % 101);
        if (i % 7 == 0) {
            EXPECT_EQ(in("250").point, PointResult::Bogus);
        }
        const LineMeaning m = in(QByteArray::number(expected[i]));
        EXPECT_EQ(m.point, i + 1 == kWaveformLength ? PointResult::Completed : PointResult::Stored);
    }
    EXPECT_EQ(in.waveform, expected);
    EXPECT_FALSE(in.rx.getting);
    EXPECT_EQ(in.rx.pointcount, 0);
    EXPECT_EQ(in.rx.boguscount, 0);
    // After completion a number is a message again.
    EXPECT_EQ(in("7").kind, LineKind::Message);
}

TEST(ReadBack, ThousandLinesWithSomeBogusDoNotComplete) {
    Interpreter in;
    in.startreadback();
    for (int i = 0; i < kWaveformLength; ++i) in(i % 100 == 0 ? "-5" : "50");
    EXPECT_TRUE(in.rx.getting);
    EXPECT_EQ(in.rx.pointcount, 990);
    EXPECT_EQ(in.rx.boguscount, 10);
    EXPECT_EQ(in.waveform, Waveform{});
}

TEST(ReadBack, BogusCounterNeverWrapsAround) {
    Interpreter in;
    in.startreadback();
    in.rx.boguscount = INT16_MAX;
    in("500");
    EXPECT_EQ(in.rx.boguscount, INT16_MAX);
}

