#include <gtest/gtest.h>

#include "waveform/table.h"

using namespace gaspuff;

namespace {

// Checks the table is made of the given runs: {first index, value}, each run
// lasting until the next one starts.
void expectruns(const Waveform& w, std::vector<std::pair<int, int>> runs) {
    for (size_t r = 0; r < runs.size(); ++r) {
        const int end = r + 1 < runs.size() ? runs[r + 1].first : kWaveformLength;
        for (int i = runs[r].first; i < end; ++i)
            ASSERT_EQ(w[i], runs[r].second) << "entry " << i;
    }
}

}  // namespace

TEST(PointEntry, FollowsTheWorkedExampleStepByStep) {
    Waveform w{};
    addpoint(w, 100, 50);
    expectruns(w, {{0, 0}, {100, 50}});
    addpoint(w, 300, 0);
    expectruns(w, {{0, 0}, {100, 50}, {300, 0}});
    addpoint(w, 200, 80);
    expectruns(w, {{0, 0}, {100, 50}, {200, 80}, {300, 0}});
    addpoint(w, 0, 20);
    expectruns(w, {{0, 20}, {100, 50}, {200, 80}, {300, 0}});
    addpoint(w, 200, 0);
    expectruns(w, {{0, 20}, {100, 50}, {200, 0}});
    addpoint(w, 250, 30);
    expectruns(w, {{0, 20}, {100, 50}, {200, 0}, {250, 30}});
}

TEST(PointEntry, OrderOfPointsMatters) {
    Waveform w{};
    addpoint(w, 300, 0);  // changes nothing on an all-zero table
    addpoint(w, 100, 50);
    expectruns(w, {{0, 0}, {100, 50}});
}

TEST(PointEntry, EdgesOfTheTable) {
    Waveform w{};
    addpoint(w, 999, 70);
    expectruns(w, {{0, 0}, {999, 70}});
    Waveform all{};
    all.fill(33);
    addpoint(all, 0, 5);
    expectruns(all, {{0, 5}});
}

TEST(PointEntry, SamePointTwiceOrSameLevelChangesNothingMore) {
    Waveform w{};
    addpoint(w, 400, 60);
    const Waveform once = w;
    addpoint(w, 400, 60);
    EXPECT_EQ(w, once);
    addpoint(w, 500, 60);
    EXPECT_EQ(w, once);
}
