#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "data/model/Extents.h"
#include "data/model/ResultData.h"

namespace kurvex {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The walk that extents are defined by, written out plainly.
Extents Walk(const std::vector<double>& v, const std::vector<std::uint8_t>& f) {
    Extents e;
    for (size_t i = 0; i < v.size(); ++i) {
        if (f[i] != kPointValid) continue;
        if (!e.found) {
            e.found = true;
            e.min = e.max = v[i];
        } else {
            if (v[i] < e.min) e.min = v[i];
            if (v[i] > e.max) e.max = v[i];
        }
    }
    return e;
}

void ExpectLikeTheWalk(const std::vector<double>& v, const std::vector<std::uint8_t>& f) {
    const Extents want = Walk(v, f);
    for (int workers : {1, 3}) {
        const Extents got =
            ValidExtents(v.data(), f.data(), static_cast<std::int64_t>(v.size()), workers);
        ASSERT_EQ(got.found, want.found);
        EXPECT_TRUE(SameBits(got.min, want.min)) << got.min << " vs " << want.min;
        EXPECT_TRUE(SameBits(got.max, want.max)) << got.max << " vs " << want.max;
    }
}

// Places `sample` at `at` in a run like the first sample: in every lane of
// the eight-wide pass, in the tail, where the threads' shares meet, and beside
// a sample that is not valid (which sends its eight rows the slow way).
TEST(Extents, AgreeWithTheWalkAtEveryKindOfPlace) {
    // A short run for every lane and the tail; a long one for the threads.
    const std::int64_t shortRun = 1013, longRun = (2 << 20) + 13;
    std::vector<std::pair<std::int64_t, std::int64_t>> places;  // (run, place)
    for (std::int64_t at : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 1000, 1011, 1012})
        places.emplace_back(shortRun, at);
    for (std::int64_t at : {std::int64_t{1} << 20, (std::int64_t{1} << 20) + 1, longRun - 2})
        places.emplace_back(longRun, at);
    struct Case {
        double first;   // sample 0, and all others but those placed
        double sample;  // at the place
        std::uint8_t flag;
    };
    const Case cases[] = {
        {1.0, 5.0, kPointValid},     {1.0, -5.0, kPointValid},
        {1.0, 1e300, kPointInvalid}, {1.0, kNan, kPointValid},  // a later NaN is passed over
        {kNan, 5.0, kPointValid},                               // a first NaN stays
        {0.0, -0.0, kPointValid},    {-0.0, 0.0, kPointValid},  // the earlier zero stays
        {3.0, -0.0, kPointValid},    {-3.0, 0.0, kPointValid},
        {-3.0, -0.0, kPointValid},   {1.0, -HUGE_VAL, kPointValid},
    };
    for (const Case& c : cases) {
        for (const auto& [n, at] : places) {
            std::vector<double> v(static_cast<size_t>(n), c.first);
            std::vector<std::uint8_t> f(static_cast<size_t>(n), kPointValid);
            for (int pass = 0; pass < 2; ++pass) {
                const bool neighbourMissing = pass == 1;
                SCOPED_TRACE(testing::Message() << c.first << ", " << c.sample << " at " << at
                                                << (neighbourMissing ? " beside a gap" : ""));
                std::vector<std::int64_t> touched = {at};
                v[static_cast<size_t>(at)] = c.sample;
                f[static_cast<size_t>(at)] = c.flag;
                if (neighbourMissing && at + 1 < n) {
                    f[static_cast<size_t>(at + 1)] = kPointMissing;
                    touched.push_back(at + 1);
                }
                // A zero of the other sign after it must not win, neither in a
                // lane taken before its own nor in the tail.
                if (c.sample == 0.0) {
                    for (std::int64_t later : {at + 4, n - 2}) {
                        if (later <= at + 1 || later >= n) continue;
                        v[static_cast<size_t>(later)] = -c.sample;
                        touched.push_back(later);
                    }
                }
                ExpectLikeTheWalk(v, f);
                for (std::int64_t t : touched) {
                    v[static_cast<size_t>(t)] = c.first;
                    f[static_cast<size_t>(t)] = kPointValid;
                }
            }
        }
    }
}

TEST(Extents, MixedFlagsAndNothingValid) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> value(-1, 1);
    std::vector<double> v(100003);
    std::vector<std::uint8_t> f(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        v[i] = value(rng);
        f[i] = static_cast<std::uint8_t>(rng() % 3);
    }
    ExpectLikeTheWalk(v, f);
    std::fill(f.begin(), f.end(), kPointMissing);
    EXPECT_FALSE(ValidExtents(v.data(), f.data(), static_cast<std::int64_t>(v.size()), 2).found);
    EXPECT_FALSE(ValidExtents(v.data(), f.data(), 0).found);
}

// Threads share the steps in runs; one step off anywhere, in the first run,
// across two runs or in the last step, makes X unequally spaced.
TEST(Extents, EqualSpacingFoundAlikeOnThreads) {
    const std::int32_t n = (1 << 18) + 5;
    std::vector<double> x(static_cast<size_t>(n));
    for (std::int32_t i = 0; i < n; ++i) x[static_cast<size_t>(i)] = i * 0.25;
    EXPECT_EQ(CResultDataRef::UniformTest(x.data(), 0, n - 1, 3), 1);
    for (std::int32_t at : {1, 2, 1 << 16, (1 << 16) + 1, n - 1}) {
        std::vector<double> bent = x;
        bent[static_cast<size_t>(at)] += 0.01;
        EXPECT_EQ(CResultDataRef::UniformTest(bent.data(), 0, n - 1, 3), 0) << at;
    }
}

}  // namespace
}  // namespace kurvex
