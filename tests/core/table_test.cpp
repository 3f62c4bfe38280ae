// Point entry: a point gives its level to the run of equal entries it starts.
#include "waveform/table.h"

#include <gtest/gtest.h>

#include "tables.h"

using namespace gaspuff;

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
        EXPECT_EQ(w, test::fromruns(runs)) << point.first << ", " << point.second;
    }
}

TEST(PointEntry, TheRunAtAnEntryReachesBothWaysToTheNextChangeOfLevel) {
    const Waveform w = test::fromruns({{100, 60}, {400, 0}, {999, 5}});
    // Entry, first and last of its run.
    const std::tuple<int, int, int> cases[] = {{0, 0, 99},      {99, 0, 99},     {100, 100, 399},
                                               {250, 100, 399}, {400, 400, 998}, {999, 999, 999}};
    for (const auto& [t, first, last] : cases)
        EXPECT_EQ(std::pair(runat(w, t).first, runat(w, t).last), std::pair(first, last)) << t;
}
