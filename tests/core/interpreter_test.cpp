// What a line from the controller means, and the read-back it drives.
#include "protocol/interpreter.h"

#include <gtest/gtest.h>

#include <QByteArrayList>

using namespace gaspuff;

namespace {

struct Interpreter {
    Reception rx;
    Waveform waveform{};
    LineMeaning operator()(const QByteArray& line) { return interpretline(line, rx, waveform); }
    std::pair<int, int> counts() const { return {rx.pointcount, rx.boguscount}; }
};

}  // namespace

TEST(Interpreter, SortsLinesIntoStatusPointMessageAndEmpty) {
    // Line, whether a read-back runs, its kind and, for a status line, its
    // three fields.
    const std::tuple<QByteArray, bool, LineKind, QByteArrayList> cases[] = {
        {"stop|3605|on", false, LineKind::Status, {"stop", "3605", "on"}},
        {"armed|12|off|x", true, LineKind::Status, {"armed", "12|off", "x"}},
        {"|x|", false, LineKind::Status, {"", "x", ""}},
        {"ok|1", false, LineKind::Message, {}},
        {"42", false, LineKind::Message, {}},
        {"hello", true, LineKind::Message, {}},
        {"", false, LineKind::Empty, {}},
        {"42", true, LineKind::Point, {}},
        {"40000", true, LineKind::Overflow, {}},
        {QByteArray("5\0", 2), true, LineKind::Message, {}},
        {QByteArray("\xff") + "7", true, LineKind::Message, {}}};
    for (const auto& [line, getting, kind, fields] : cases) {
        Interpreter in;
        if (getting) in.rx.start();
        const LineMeaning m = in(line);
        EXPECT_EQ(m.kind, kind) << line.constData();
        if (kind == LineKind::Status) {
            EXPECT_EQ((QByteArrayList{m.state, m.uptime, m.autoarm}), fields) << line.constData();
        }
        EXPECT_EQ(in.rx.pointcount, kind == LineKind::Point) << line.constData();
        EXPECT_EQ(in.waveform, Waveform{});
    }
}

TEST(Interpreter, AReadBackStagesAcceptedPointsCountsBogusOnesAndCompletesAtTheThousandth) {
    Interpreter in;
    in.rx.start();
    const std::pair<QByteArray, PointResult> first[] = {
        {"100", PointResult::Stored},   {"101", PointResult::Bogus},
        {"0", PointResult::Stored},     {"-1", PointResult::Bogus},
        {"100.4", PointResult::Stored}, {"99.6", PointResult::Stored}};
    for (const auto& [line, result] : first) EXPECT_EQ(in(line).point, result) << line.constData();
    in("armed|1|on");  // a status line leaves the read-back alone
    EXPECT_EQ(in.counts(), std::pair(4, 2));
    Waveform expected{};
    expected[0] = expected[2] = expected[3] = 100;
    for (int i = 4; i < kWaveformLength; ++i) {
        expected[i] = static_cast<int16_t>(i % 101);
        if (i % 7 == 0) in("250");
        const LineMeaning m = in(QByteArray::number(expected[i]));
        ASSERT_EQ(m.point, i + 1 == kWaveformLength ? PointResult::Completed : PointResult::Stored);
    }
    EXPECT_EQ(in.waveform, expected);
    EXPECT_FALSE(in.rx.getting);
    EXPECT_EQ(in.counts(), std::pair(0, 0));
    EXPECT_EQ(in("7").kind, LineKind::Message);

    in.rx.start();  // a thousand lines of which some are bogus do not complete it
    for (int i = 0; i < kWaveformLength; ++i) in(i % 100 == 0 ? "-5" : "50");
    EXPECT_EQ(in.counts(), std::pair(990, 10));
    in.rx.boguscount = INT16_MAX;
    in("500");
    EXPECT_EQ(in.rx.boguscount, INT16_MAX);  // never wraps
    in.rx.end();
    EXPECT_EQ(in("1").kind, LineKind::Message);
    EXPECT_EQ(in.waveform, expected);
}
