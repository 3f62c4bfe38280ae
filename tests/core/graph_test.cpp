// SPDX-License-Identifier: MIT
// The graph: mapping, what drawgraph hands a surface, and the fast surface's
// pixels against drawing every dot with QPainter.
#include <gtest/gtest.h>

#include <QRandomGenerator>

#include "tables.h"
#include "waveform/imagesurface.h"

using namespace gaspuff;
using test::fromruns;
using test::tableof;

namespace {

struct RecordingSurface : GraphSurface {
    std::vector<std::array<int, 4>> lines;
    std::vector<std::pair<int, int>> dots;
    int dones = 0;
    double scalewidth() const override { return 357; }
    double scaleheight() const override { return 117; }
    void cls() override { lines.clear(), dots.clear(); }
    void gridline(int x1, int y1, int x2, int y2) override { lines.push_back({x1, y1, x2, y2}); }
    void dot(int x, int y) override { dots.emplace_back(x, y); }
    void done() override { ++dones; }
};

}  // namespace

TEST(GraphMapping, RoundsHalvesToEvenOnEverySurfaceSize) {
    // Width and height of the interior, value, mapped coordinate.
    const std::tuple<double, int, int> xs[] = {
        {357, 1, 0},      {357, 2, 1}, {357, 125, 44}, {357, 500, 178}, {357, 999, 356},
        {357, 1000, 356}, {101, 5, 0}, {101, 15, 2},   {101, 25, 2},    {101, 1000, 100},
    };
    for (const auto& [w, x, expected] : xs) EXPECT_EQ(scalegraphx(x, w), expected) << w << " " << x;
    const std::tuple<double, int, int> ys[] = {
        {117, 0, 116}, {117, 1, 115}, {117, 25, 87}, {117, 50, 58},        {117, 100, 0},
        {51, 1, 50},   {51, 3, 48},   {51, 100, 0},  {117, 32767, -37894}, {117, -32768, 38127},
    };
    for (const auto& [h, y, expected] : ys) EXPECT_EQ(scalegraphy(y, h), expected) << h << " " << y;
}

TEST(DrawGraph, GridThenOneDotAnEntryAndAColumnAtEachChangeFromTheSecondEntryOn) {
    RecordingSurface s;
    drawgraph(Waveform{}, s);
    // Every 25 %, then every 100 ms: 356 * t / 1000 to the nearest pixel.
    std::vector<std::array<int, 4>> grid;
    for (int y : {116, 87, 58, 29, 0}) grid.push_back({0, y, 357, y});
    for (int x : {0, 36, 71, 107, 142, 178, 214, 249, 285, 320, 356})
        grid.push_back({x, 0, x, 117});
    EXPECT_EQ(s.lines, grid);
    ASSERT_EQ(s.dots.size(), 1000u);
    // Entry, and its pixel column: 356 * entry / 1000 to the nearest pixel.
    const std::pair<int, int> entries[] = {{0, 0},     {1, 0},     {2, 1},
                                           {500, 178}, {998, 355}, {999, 356}};
    for (const auto& [i, x] : entries) EXPECT_EQ(s.dots[i], std::pair(x, 116)) << i;

    // Table, its column's pixel column and top, how many dots it has and how
    // many dots the whole trace has.
    const std::tuple<Waveform, int, int, int, size_t> cases[] = {
        {fromruns({{100, 50}}), 36, 58, 51, 1051},
        {fromruns({{0, 80}, {300, 0}}), 107, 23, 81, 1081},
        {fromruns({{0, 90}, {1, 0}}), -1, 0, 0, 1000},  // none between 0 and 1
        {fromruns({{0, 90}, {2, 0}}), 1, 12, 91, 1091},
    };
    for (const auto& [w, x, top, column, total] : cases) {
        drawgraph(w, s);
        EXPECT_EQ(s.dots.size(), total) << x;
        if (x < 0) continue;
        // The column comes first at its time, bottom to top.
        const auto first = std::find(s.dots.begin(), s.dots.end(), std::pair(x, 116));
        ASSERT_LT(first + column, s.dots.end());
        EXPECT_EQ(first[column - 1], std::pair(x, top));
        EXPECT_TRUE(std::is_sorted(first, first + column, std::greater{}) &&
                    first[0].first == first[column - 1].first)
            << x;
    }
    EXPECT_EQ(s.dones, 5);
}

TEST(GraphPixels, TheFastSurfacePaintsWhatDrawingEveryDotPaints) {
    QRandomGenerator rng(12345);
    int level = 0;
    const std::pair<const char*, Waveform> cases[] = {
        {"all zero", Waveform{}},
        {"alternating 0 and 100", tableof([](int i) { return i % 2 ? 100 : 0; })},
        {"random steps",
         tableof([&](int) { return rng.bounded(40) ? level : level = rng.bounded(101); })},
        {"far outside 0..100", tableof([&](int) { return rng.bounded(-400, 500); })},
        {"just beyond the edges", tableof([](int i) { return i % 3 ? 100 + i % 3 : -1; })},
        {"the 16-bit extremes", tableof([](int i) { return i % 2 ? INT16_MAX : INT16_MIN; })},
        {"a step at the right edge", fromruns({{990, 50}})},
    };
    ImageSurface fast(QSize(357, 117));  // one for all: a redraw leaves nothing of the last
    for (const auto& [what, w] : cases) {
        PainterSurface naive(QSize(357, 117));
        drawgraph(w, fast);
        drawgraph(w, naive);
        EXPECT_TRUE(fast.image() == naive.image()) << what;
    }
}
