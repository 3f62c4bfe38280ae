// SPDX-License-Identifier: MIT
// What a line means: typed and received text as a number, a received line's
// kind and the read-back it drives, and when "get" may go after a read-back
// gave up on its answer.
#include "protocol/interpreter.h"

#include <gtest/gtest.h>

#include <QByteArrayList>

#include "protocol/lateanswer.h"
#include "protocol/number.h"

using namespace gaspuff;
using namespace std::literals;

TEST(NumberConversion, RoundsHalvesToEvenKnowsItsFormsAndRefusesTheRest) {
    const std::pair<std::string_view, int> numbers[] = {
        {"12.5", 12},         {"13.5", 14},     {"100.5", 100},     {"99.5", 100},
        {"-0.5", 0},          {"-1.5", -2},     {"100.6", 101},     {"42", 42},
        {"+42", 42},          {"-7", -7},       {".5", 0},          {"5.", 5},
        {"1e2", 100},         {"2.5E+1", 25},   {"1500e-1", 150},   {"007", 7},
        {"0.000", 0},         {"1e-400", 0},    {"  17\t", 17},     {"\n42", 42},
        {"\t-3 \n", -3},      {"32767", 32767}, {"-32768", -32768}, {"32767.4", 32767},
        {"-32768.5", -32768},
    };
    for (const auto& [text, value] : numbers)
        EXPECT_EQ(std::pair(tonumber(text).status, tonumber(text).value),
                  std::pair(NumberStatus::Ok, int16_t(value)))
            << text;
    for (std::string_view text : std::initializer_list<std::string_view>{
             "", " ", "abc", "1 2", "1,5", "--1", "+-1", "1e", "e5", ".", "-.", "inf", "nan",
             "0x10", "12abc", "1e+", "\r42", "4\0002"sv})
        EXPECT_EQ(tonumber(text).status, NumberStatus::NotNumeric) << text;
    for (std::string_view text : {"32768", "-32769", "40000", "32767.5", "1e5", "1e400",
                                  "99999999999999999999999999", "-1e309"})
        EXPECT_EQ(tonumber(text).status, NumberStatus::Overflow) << text;
}

TEST(Interpreter, SortsLinesIntoStatusPointMessageAndEmpty) {
    // Line, whether a read-back runs, its kind and its three status fields.
    const std::tuple<QByteArray, bool, LineKind, QByteArrayList> cases[] = {
        {"stop|3605|on", false, LineKind::Status, {"stop", "3605", "on"}},
        {"armed|12|off|x", true, LineKind::Status, {"armed", "12|off", "x"}},
        {"ok|1", false, LineKind::Message, {"", "", ""}},
        {"42", false, LineKind::Message, {"", "", ""}},
        {"", false, LineKind::Empty, {"", "", ""}},
        {"42", true, LineKind::Point, {"", "", ""}},
        {"40000", true, LineKind::Overflow, {"", "", ""}},
        {QByteArray("\xff") + "7", true, LineKind::Message, {"", "", ""}}};
    for (const auto& [line, getting, kind, fields] : cases) {
        Reception rx;
        Waveform table{};
        if (getting) rx.start();
        const LineMeaning m = interpretline(line, rx, table);
        EXPECT_EQ(std::tuple(m.kind, QByteArrayList{m.state, m.uptime, m.autoarm}, rx.pointcount),
                  std::tuple(kind, fields, int16_t(kind == LineKind::Point)))
            << line.constData();
        EXPECT_EQ(table, Waveform{});
    }
}

TEST(Interpreter, AReadBackStagesAcceptedPointsCountsBogusOnesAndCompletesAtTheThousandth) {
    Reception rx;
    Waveform table{}, expected{};
    const auto in = [&](const QByteArray& line) { return interpretline(line, rx, table); };
    const auto counts = [&] { return std::pair<int, int>(rx.pointcount, rx.boguscount); };
    rx.start();
    const std::pair<QByteArray, PointResult> first[] = {
        {"100", PointResult::Stored},   {"101", PointResult::Bogus},
        {"0", PointResult::Stored},     {"-1", PointResult::Bogus},
        {"100.4", PointResult::Stored}, {"99.6", PointResult::Stored}};
    for (const auto& [line, result] : first) EXPECT_EQ(in(line).point, result) << line.constData();
    in("armed|1|on");  // a status line leaves the read-back alone
    EXPECT_EQ(counts(), std::pair(4, 2));
    expected[0] = expected[2] = expected[3] = 100;
    for (int i = 4; i < kWaveformLength; ++i) {
        expected[i] = static_cast<int16_t>(i % 101);
        if (i % 7 == 0) in("250");
        ASSERT_EQ(in(QByteArray::number(expected[i])).point,
                  i + 1 == kWaveformLength ? PointResult::Completed : PointResult::Stored);
    }
    EXPECT_EQ(table, expected);
    EXPECT_EQ(std::pair(rx.getting, counts()), std::pair(false, std::pair(0, 0)));
    EXPECT_EQ(in("7").kind, LineKind::Message);

    rx.start();  // a thousand lines of which some are bogus do not complete it
    for (int i = 0; i < kWaveformLength; ++i) in(i % 100 == 0 ? "-5" : "50");
    EXPECT_EQ(counts(), std::pair(990, 10));
    rx.boguscount = INT16_MAX;
    in("500");
    EXPECT_EQ(rx.boguscount, INT16_MAX);  // never wraps
    rx.end();
    EXPECT_EQ(in("1").kind, LineKind::Message);
    EXPECT_EQ(table, expected);
}

TEST(LateAnswer, GetWaitsUntilTheLineCarriedNoPointForTheDeadlineSinceAnAbandonedAnswer) {
    // Abandoned at, last point at, now: how long "get" must still wait.
    const std::tuple<qint64, qint64, qint64, qint64> cases[] = {
        {-1, -1, 5000, 0},         // none on record: no cost
        {-1, 4900, 5000, 0},       // numbers without an abandoned answer: no cost either
        {5000, -1, 5000, 2000},    // just given up
        {5000, -1, 7000, 0},       // quiet for the deadline since
        {5000, 4500, 6000, 1000},  // its own points before count for nothing
        {5000, 6000, 6500, 1500},  // a late point: quiet from then on
        {5000, 8000, 9000, 1000},  // the rest came after a 3 s stall
        {9000, -1, 5000, 2000},    // a clock set back: as if just now
    };
    for (const auto& [abandoned, lastpoint, now, wait] : cases)
        EXPECT_EQ(getdelay(abandoned, lastpoint, now), wait)
            << abandoned << " " << lastpoint << " " << now;
}
