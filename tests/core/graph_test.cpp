#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "waveform/graph.h"

using namespace gaspuff;

namespace {

constexpr double W = 357, H = 117;

struct RecordingSurface : GraphSurface {
    struct Line { int x1, y1, x2, y2; };
    std::vector<Line> lines;
    std::vector<std::pair<int, int>> dots;
    int clears = 0, dones = 0;
    double scalewidth() const override { return W; }
    double scaleheight() const override { return H; }
    void cls() override {
        ++clears;
        lines.clear();
        dots.clear();
    }
    void gridline(int x1, int y1, int x2, int y2) override { lines.push_back({x1, y1, x2, y2}); }
    void dot(int x, int y) override { dots.emplace_back(x, y); }
    void done() override { ++dones; }

    int dotsat(int x) const {
        int n = 0;
        for (auto [dx, dy] : dots) n += dx == x;
        return n;
    }
};

int x(int t) { return scalegraphx(t, W); }
int y(int v) { return scalegraphy(v, H); }

}  // namespace

TEST(GraphMapping, MatchesTheExamplesOnA357By117Surface) {
    EXPECT_EQ(x(1), 0);
    EXPECT_EQ(x(2), 1);
    EXPECT_EQ(x(125), 44);  // 44.5, half to even
    EXPECT_EQ(x(500), 178);
    EXPECT_EQ(x(999), 356);
    EXPECT_EQ(x(1000), 356);
    EXPECT_EQ(y(0), 116);
    EXPECT_EQ(y(1), 115);
    EXPECT_EQ(y(25), 87);
    EXPECT_EQ(y(50), 58);
    EXPECT_EQ(y(100), 0);
}

TEST(GraphMapping, NeverOverflowsForAny16BitValue) {
    EXPECT_EQ(y(32767), static_cast<int>(std::nearbyint(116 - 116 * 327.67)));
    EXPECT_EQ(y(-32768), static_cast<int>(std::nearbyint(116 + 116 * 327.68)));
}

TEST(DrawGraph, AllZeroTableDrawsTheGridAndOneRowOfDots) {
    RecordingSurface s;
    Waveform w{};
    drawgraph(w, s);
    EXPECT_EQ(s.clears, 1);
    EXPECT_EQ(s.dones, 1);
    ASSERT_EQ(s.lines.size(), 16u);
    // Five horizontal lines from 0 % up, then eleven vertical ones.
    const int levels[] = {116, 87, 58, 29, 0};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(s.lines[i].y1, levels[i]);
        EXPECT_EQ(s.lines[i].y2, levels[i]);
        EXPECT_EQ(s.lines[i].x1, 0);
        EXPECT_EQ(s.lines[i].x2, 357);
    }
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(s.lines[5 + i].x1, x(i * 100));
        EXPECT_EQ(s.lines[5 + i].y2, 117);
    }
    ASSERT_EQ(s.dots.size(), 1000u);
    for (int i = 0; i < 1000; ++i) EXPECT_EQ(s.dots[i], std::make_pair(x(i), 116));
}

TEST(DrawGraph, StepUpDrawsAColumnAtTheFirstEntryOfTheNewLevel) {
    RecordingSurface s;
    Waveform w{};
    for (int i = 100; i < 1000; ++i) w[i] = 50;
    drawgraph(w, s);
    EXPECT_EQ(s.dots.size(), 1000u + 51u);
    // The column comes first at its time, bottom to top, then the level dot.
    auto it = std::find(s.dots.begin(), s.dots.end(), std::make_pair(x(100), y(0)));
    ASSERT_NE(it, s.dots.end());
    for (int j = 0; j <= 50; ++j, ++it) EXPECT_EQ(*it, std::make_pair(x(100), y(j)));
    EXPECT_EQ(*it, std::make_pair(x(100), y(50)));
}

TEST(DrawGraph, StepDownColumnRunsFromTheLowerLevelUp) {
    RecordingSurface s;
    Waveform w{};
    for (int i = 0; i < 300; ++i) w[i] = 80;
    drawgraph(w, s);
    EXPECT_EQ(s.dots.size(), 1000u + 81u);
    std::vector<int> column;
    for (size_t k = 0; k + 1 < s.dots.size(); ++k)
        if (s.dots[k].first == x(300) && s.dots[k + 1].first == x(300)) column.push_back(s.dots[k].second);
    ASSERT_GE(column.size(), 81u);
    EXPECT_EQ(column.front(), y(0));
    EXPECT_EQ(column[80], y(80));
}

TEST(DrawGraph, NoColumnBetweenEntriesZeroAndOne) {
    RecordingSurface a;
    Waveform w{};
    w[0] = 90;
    drawgraph(w, a);
    EXPECT_EQ(a.dots.size(), 1000u);

    RecordingSurface b;
    Waveform v{};
    v[0] = v[1] = 90;  // the change now lies between entries 1 and 2
    drawgraph(v, b);
    EXPECT_EQ(b.dots.size(), 1000u + 91u);
    // The column and the level dots of every entry that maps to its x.
    int sharing = 0;
    for (int i = 0; i < kWaveformLength; ++i) sharing += x(i) == x(2);
    EXPECT_EQ(b.dotsat(x(2)), 91 + sharing);
}

TEST(DrawGraph, DotCountFollowsTheStepSizes) {
    RecordingSurface s;
    Waveform w{};
    size_t expected = 1000;
    for (int i = 0; i < 1000; ++i) w[i] = static_cast<int16_t>((i / 37) * 13 % 101);
    for (int i = 2; i < 1000; ++i)
        if (w[i] != w[i - 1]) expected += std::abs(w[i] - w[i - 1]) + 1;
    drawgraph(w, s);
    EXPECT_EQ(s.dots.size(), expected);
}

TEST(DrawGraph, SameTableGivesTheSameDrawingEveryTime) {
    RecordingSurface s;
    Waveform w{};
    for (int i = 0; i < 1000; ++i) w[i] = static_cast<int16_t>(i % 50);
    drawgraph(w, s);
    const auto first = s.dots;
    drawgraph(w, s);
    EXPECT_EQ(s.dots, first);
    EXPECT_EQ(s.clears, 2);
}

TEST(DrawGraph, ExtremeValuesOnlyHandOverDotsThatCanTouchTheSurface) {
    RecordingSurface s;
    Waveform w{};
    for (int i = 0; i < 1000; ++i) w[i] = i % 2 ? INT16_MAX : INT16_MIN;
    drawgraph(w, s);
    // Every column crosses the whole surface, but only the levels near it
    // are visited: about 100 dots a column, not 65536.
    EXPECT_GT(s.dots.size(), 998u * 100u);
    EXPECT_LT(s.dots.size(), 998u * 120u);
    for (auto [dx, dy] : s.dots) {
        EXPECT_GE(dy, -kDotRadius - 1);
        EXPECT_LE(dy, 116 + kDotRadius + 1);
    }
}
