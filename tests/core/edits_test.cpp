// SPDX-License-Identifier: MIT
// The table's rules: a point fills the run it starts; edits that stand for
// many points (a ramp, a pasted column); a read-back held against the table
// it should equal.
#include "waveform/edits.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tables.h"
#include "waveform/compare.h"

using namespace gaspuff;
using test::fromruns;

namespace {

const std::vector<std::pair<int, int>> kPlateau = {{0, 0}, {100, 60}, {400, 0}};

}  // namespace

TEST(PointEntry, EachPointFillsTheRunItStartsUpToTheNextChangeOfLevel) {
    // From the previous row's table: the point, then the table as runs
    // {first index, value}, each lasting until the next starts.
    const std::pair<std::pair<int, int>, std::vector<std::pair<int, int>>> steps[] = {
        {{300, 0}, {{0, 0}}},  // changes nothing on an all-zero table
        {{100, 50}, {{0, 0}, {100, 50}}},
        {{300, 0}, {{0, 0}, {100, 50}, {300, 0}}},
        {{200, 80}, {{0, 0}, {100, 50}, {200, 80}, {300, 0}}},
        {{0, 20}, {{0, 20}, {100, 50}, {200, 80}, {300, 0}}},
        {{200, 0}, {{0, 20}, {100, 50}, {200, 0}}},
        {{250, 30}, {{0, 20}, {100, 50}, {200, 0}, {250, 30}}},
        {{250, 30}, {{0, 20}, {100, 50}, {200, 0}, {250, 30}}},
        {{999, 70}, {{0, 20}, {100, 50}, {200, 0}, {250, 30}, {999, 70}}},
        {{0, 20}, {{0, 20}, {100, 50}, {200, 0}, {250, 30}, {999, 70}}},
    };
    Waveform w{};
    for (const auto& [point, runs] : steps) {
        addpoint(w, point.first, static_cast<int16_t>(point.second));
        EXPECT_EQ(w, fromruns(runs)) << point.first << ", " << point.second;
    }
}

TEST(Ramp, IsTheStaircaseOfPointsAddedInTimeOrder) {
    // Before, and the ramp (t1, a1) to (t2, a2): one point a millisecond from
    // the earlier end, its level the line's rounded half to even.
    const std::tuple<std::vector<std::pair<int, int>>, int, int, int, int> rows[] = {
        {{}, 100, 0, 300, 80},  // the last point fills to the end
        {{}, 10, 3, 16, 0},     // 2.5 and 0.5 go down, 1.5 up
        {{}, 16, 0, 10, 3},     // ends in either order
        {kPlateau, 200, 20, 206, 23},
        {kPlateau, 300, 60, 450, 0},   // the later points fill the run from 400
        {kPlateau, 500, 7, 500, 9},    // one point
        {kPlateau, 900, 0, 1000, 50},  // a time beyond the table: nothing
    };
    for (const auto& [before, t1, a1, t2, a2] : rows) {
        Waveform expected = fromruns(before);
        for (int t = std::min(t1, t2); std::max(t1, t2) <= kMaxTime && t <= std::max(t1, t2); ++t)
            addpoint(expected, t,
                     t1 == t2 ? a2 : std::nearbyint(a1 + (a2 - a1) * double(t - t1) / (t2 - t1)));
        EXPECT_EQ(withramp(fromruns(before), t1, int16_t(a1), t2, int16_t(a2)), expected)
            << t1 << " " << t2;
    }
}

TEST(PasteColumn, ReadsWithLoadsReaderNamingTheClipboard) {
    // Load's rules are the file tests'; here: the clipboard's words, the
    // count, entries from 0 with the rest kept, and nothing on a fault.
    const std::tuple<QByteArray, QString, std::vector<int>> rows[] = {
        {"60\n-5\n150\n\n", "", {60, -5, 150}},  // kept as they are, as Load keeps them
        {"1\nx\n3\n", "Line 2 of the clipboard is not a whole number", {}},
        {QByteArray("7\n").repeated(1001), "The clipboard has more than 1000 entries", {}},
    };
    const Waveform before = test::tableof([](int i) { return i % 50; });
    for (const auto& [text, message, entries] : rows) {
        Waveform table = before, expected = before;
        std::copy(entries.begin(), entries.end(), expected.begin());
        int count = -1;
        EXPECT_EQ(pastecolumn(text, table, count).toStdString(), message.toStdString());
        EXPECT_EQ(table, expected) << text.left(20).constData();
        EXPECT_EQ(count, int(entries.size())) << text.left(20).constData();
    }
}

TEST(Comparison, SaysWhetherTheControllerHoldsTheReferenceAndWhereNot) {
    const Waveform pulse = fromruns({{250, 60}, {251, 0}});
    const Waveform corrupt = fromruns({{500, 1}, {501, 0}, {750, 1}, {751, 0}});
    const Waveform seven = test::tableof([](int i) { return i <= 7 ? i : 0; });
    // Reference, received, when it was sent (empty: not sent), the sentence.
    const std::tuple<Waveform, Waveform, QString, QString> rows[] = {
        {pulse, pulse, "14:51:07", "Controller holds the waveform sent at 14:51:07"},
        {pulse, corrupt, "14:51:07",
         "Controller's waveform differs from the one sent at 14:51:07 in 3 entries: "
         "t=250 sent 60 holds 0, t=500 sent 0 holds 1, t=750 sent 0 holds 1"},
        {Waveform{}, fromruns({{999, 100}}), "09:00:00",
         "Controller's waveform differs from the one sent at 09:00:00 in 1 entry: "
         "t=999 sent 0 holds 100"},
        {Waveform{}, seven, "09:00:00",
         "Controller's waveform differs from the one sent at 09:00:00 in 7 entries: "
         "t=1 sent 0 holds 1, t=2 sent 0 holds 2, t=3 sent 0 holds 3, t=4 sent 0 holds 4, "
         "t=5 sent 0 holds 5, and 2 more"},
        {corrupt, corrupt, "", "Controller's waveform equals the table shown before"},
        {seven, fromruns({{0, 9}, {1, 0}, {5, 5}, {6, 6}, {7, 7}, {8, 0}}), "",
         "Controller's waveform differs from the table shown before in 5 entries: "
         "t=0 shown 0 holds 9, t=1 shown 1 holds 0, t=2 shown 2 holds 0, t=3 shown 3 holds 0, "
         "t=4 shown 4 holds 0"},  // five listed and nothing more: "and 1 more" is not said
    };
    for (const auto& [reference, received, sentat, sentence] : rows)
        EXPECT_EQ(comparisonsentence(reference, received, sentat).toStdString(),
                  sentence.toStdString());
}
