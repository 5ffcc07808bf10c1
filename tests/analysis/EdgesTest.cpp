#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/Edges.h"

namespace kurvex {
namespace {

// Straight lines between corner points, sampled every `dt` (corners on samples).
struct Shape {
    std::vector<double> x, y;

    Shape(const std::vector<std::pair<double, double>>& corners, double dt) {
        for (std::size_t c = 0; c + 1 < corners.size(); ++c) {
            const auto [x0, y0] = corners[c];
            const auto [x1, y1] = corners[c + 1];
            const auto steps = static_cast<int>(std::lround((x1 - x0) / dt));
            for (int s = 0; s < steps; ++s) {
                x.push_back(x0 + s * dt);
                y.push_back(y0 + (y1 - y0) * s / steps);
            }
        }
        x.push_back(corners.back().first);
        y.push_back(corners.back().second);
    }
    CycleTrace Trace() const {
        return {x.data(), nullptr, y.data(), nullptr, 0, static_cast<std::int32_t>(x.size()) - 1};
    }
};

// Pulses 0 -> 10 of period 1000 (units of ns): up from `on`, down from `off`.
Shape Pulses(double on, double off, double rise, double fall, int periods = 3) {
    std::vector<std::pair<double, double>> corners = {{0, 0}};
    for (int p = 0; p < periods; ++p) {
        const double t = p * 1000.0;
        corners.insert(corners.end(),
                       {{t + on, 0}, {t + on + rise, 10}, {t + off, 10}, {t + off + fall, 0}});
    }
    corners.push_back({corners.back().first + 100.0, 0});
    return Shape(corners, 1.0);
}

TEST(Edges, TrapezoidsGiveTheirTenToNinetyTimes) {
    struct Case {
        double rise, fall;
        std::optional<double> low, high;
        double share;  // of the ramp between the thresholds
    };
    for (const Case& c :
         {Case{40, 100, std::nullopt, std::nullopt, 0.8}, Case{40, 100, -1.0, 11.0, 0.96}}) {
        const Shape s = Pulses(100, 500, c.rise, c.fall);
        const EdgeLevelsResult levels = EdgeLevelsOf(s.Trace(), "V", c.low, c.high);
        ASSERT_TRUE(levels.Ok()) << levels.error;
        const EdgeList e = FindEdges(s.Trace(), levels.levels);
        ASSERT_EQ(e.rise.size(), 3u);
        ASSERT_EQ(e.fall.size(), 3u);
        for (int p = 0; p < 3; ++p) {
            EXPECT_NEAR(e.rise[p].time, c.share * c.rise, 1e-9);
            EXPECT_NEAR(e.fall[p].time, c.share * c.fall, 1e-9);
            // Edges are timed where they cross 50 %.
            EXPECT_NEAR(e.rise[p].at, p * 1000 + 100 + c.rise / 2, 1e-9);
            EXPECT_NEAR(e.fall[p].at, p * 1000 + 500 + c.fall / 2, 1e-9);
        }
        EXPECT_NEAR(MeanEdgeTime(e.rise), c.share * c.rise, 1e-9);
    }
    EXPECT_TRUE(std::isnan(MeanEdgeTime({})));
}

TEST(Edges, OnlyEdgesThatGoAllTheWayCount) {
    // A runt pulse to 60 %, ringing around 90 % at the top and around 10 % at
    // the bottom: one rise and one fall, timed from the last time each left
    // its first threshold.
    // V leaves 10 % at 30.5, comes back, and leaves again at 33.5.
    const std::vector<std::pair<double, double>> corners = {
        {0, 0},    {10, 6},   {20, 0},   {30, 0.5}, {31, 1.5}, {32, 0.5}, {33, 0.5},
        {34, 1.5}, {42, 9.5}, {43, 8.5}, {44, 9.5}, {50, 10},  {60, 10},  {70, 0},
    };
    const Shape s(corners, 0.5);
    const EdgeList e = FindEdges(s.Trace(), {0.0, 10.0});
    ASSERT_EQ(e.rise.size(), 1u);
    ASSERT_EQ(e.fall.size(), 1u);
    // 10 % at 33.5, 90 % first reached at 34 + 8 * 7.5 / 8 = 41.5.
    EXPECT_NEAR(e.rise[0].time, 41.5 - 33.5, 1e-9);
    EXPECT_NEAR(e.fall[0].time, 0.8 * 10, 1e-9);

    // Levels that leave nothing to measure are refused in words.
    const Shape flat({{0, 3}, {10, 3}}, 1.0);
    EdgeLevelsResult r = EdgeLevelsOf(flat.Trace(), "V(sw)");
    EXPECT_EQ(r.error, "The low and high levels of V(sw) are both 3, so it has no edges.");
    r = EdgeLevelsOf(s.Trace(), "V", 5.0, 2.0);
    EXPECT_EQ(r.error, "The low level of V (5) lies above its high level (2).");
    EXPECT_TRUE(FindEdges(flat.Trace(), {3.0, 3.0}).rise.empty());
}

TEST(Edges, DeadTimesBothWaysAndOverlaps) {
    struct Case {
        double bOn, bOff;  // B's pulse; A is on from 100 to 400 of each 1000
        double ab, ba;     // A off -> B on, B off -> A on
    };
    for (const Case& c :
         {Case{500, 900, 100, 200}, Case{350, 1050, -50, 50}, Case{420, 1080, 20, 20}}) {
        const Shape a = Pulses(100, 400, 10, 10, 4);
        const Shape b = Pulses(c.bOn, c.bOff, 10, 10, 4);
        const EdgeList ea = FindEdges(a.Trace(), {0, 10});
        const EdgeList eb = FindEdges(b.Trace(), {0, 10});
        const DeadTimes d = FindDeadTimes(ea, eb);
        ASSERT_EQ(d.ab.size(), 4u);
        for (const Edge& e : d.ab) EXPECT_NEAR(e.time, c.ab, 1e-9);
        EXPECT_NEAR(d.ab[1].at, 1405, 1e-9);  // A's fall at its 50 % crossing
        // B's last fall has no A rise after it in view.
        ASSERT_GE(d.ba.size(), 3u);
        for (const Edge& e : d.ba) EXPECT_NEAR(e.time, c.ba, 1e-9);
    }
}

}  // namespace
}  // namespace kurvex
