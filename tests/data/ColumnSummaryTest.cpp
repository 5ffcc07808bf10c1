#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <span>
#include <vector>

#include "TestSupport.h"
#include "data/BinaryTestSupport.h"
#include "data/cache/CacheConvert.h"
#include "data/cache/CachedResult.h"
#include "data/model/ColumnSummary.h"
#include "data/model/ResultData.h"
#include "data/model/ResultVariable.h"
#include "data/model/SummaryPyramid.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The pass over every sample that the summary must answer like.
bool Plain(const std::vector<double>& v, const std::vector<std::uint8_t>& f, std::int32_t a,
           std::int32_t b, double& mn, double& mx) {
    for (std::int32_t i = a; i < b; ++i) {
        if (f[i] != kPointValid || std::isnan(v[i])) return false;
        if (i == a || v[i] < mn) mn = v[i];
        if (i == a || v[i] > mx) mx = v[i];
    }
    return true;
}

// Exactly, and for a caller that tells values apart more coarsely, as exactly
// as it can tell.
TEST(ColumnSummary, RangesGiveWhatThePassOverEverySampleGives) {
    constexpr std::int32_t B = ColumnSummary::kBucket;
    enum Kind { Clean, Invalid, Missing, NaNs, Infinite };
    // Over a million rows, so that several workers share the building; the
    // summary covers fewer rows than the arrays hold, and its last bucket
    // is not whole.
    const std::int32_t rows = (1 << 20) + 3 * B + 17, summarised = rows - 2 * B - 5;
    for (Kind kind : {Clean, Invalid, Missing, NaNs, Infinite}) {
        for (int workers : {1, 3}) {
            SCOPED_TRACE(testing::Message() << "kind " << kind << ", workers " << workers);
            std::mt19937 rng(kind * 10 + workers);
            std::uniform_real_distribution<double> noise(-1.0, 1.0);
            std::vector<double> v(static_cast<size_t>(rows));
            std::vector<std::uint8_t> f(v.size(), kPointValid);
            for (double& x : v) x = noise(rng);
            // A few marks near the start and two far on: some buckets of
            // every level are clean, some not.
            std::vector<std::int32_t> marks = {5 * B + 3, 12 * B + 14, 19 * B + 25, 600011, 900007};
            for (std::int32_t i : marks) {
                if (kind == Invalid) f[i] = kPointInvalid;
                if (kind == Missing) f[i] = kPointMissing;
                if (kind == NaNs) v[i] = kNan;
                if (kind == Infinite) v[i] = i % 2 ? kInf : -kInf;
            }
            const auto s = ColumnSummary::Build(v.data(), f.data(), summarised, workers);
            ASSERT_TRUE(s);
            EXPECT_EQ(s->Source(), v.data());
            EXPECT_EQ(s->Rows(), summarised / B * B);
            // A cached column's pyramid gives the same summary without a pass
            // or a copy, and keeps what owns the pyramid alive.
            const auto n = static_cast<std::size_t>(summarised);
            auto pyramid = std::make_shared<SummaryPyramid>(
                *SummaryPyramid::Build({std::span(v).first(n), std::span(f).first(n)}));
            const std::weak_ptr<SummaryPyramid> owner = pyramid;
            const SummaryPyramidView view = pyramid->View();
            const auto taken = ColumnSummary::Over(v.data(), view, summarised, std::move(pyramid));
            ASSERT_TRUE(taken);
            EXPECT_FALSE(owner.expired());
            EXPECT_EQ(taken->Rows(), s->Rows());
            EXPECT_LT(taken->Bytes(), 1024u);
            EXPECT_GT(s->Bytes(), static_cast<std::size_t>(summarised / B) * 2 * sizeof(double));
            for (std::int32_t k = 0; k < s->Rows() / B; ++k) {
                double a0 = 0, a1 = 0, b0 = 0, b1 = 0;
                ASSERT_EQ(taken->Bucket(k, a0, a1), s->Bucket(k, b0, b1)) << k;
                EXPECT_TRUE(a0 == b0 && a1 == b1) << k;
            }
            EXPECT_FALSE(ColumnSummary::Over(v.data(), view, summarised + B, nullptr));
            std::vector<std::pair<std::int32_t, std::int32_t>> ranges;
            // Bucket edges and the ends of the summary and of the arrays.
            std::vector<std::int32_t> edges;
            for (std::int32_t e : {0, 1, B - 1, B, B + 1, 2 * B, 3 * B - 1, 5 * B + 3, 5 * B + 4,
                                   12 * B + 14, summarised - B - 1, summarised, rows - 1, rows})
                edges.push_back(e);
            // And those of the levels above, and the marks far on.
            for (std::int32_t e : {B * B - 1, B * B, 3 * B * B + 1, B * B * B - B, B * B * B,
                                   B * B * B + 1, 2 * B * B * B + 3, 600011, 600012, 900007})
                edges.push_back(e);
            for (std::int32_t a : edges)
                for (std::int32_t b : edges)
                    if (a < b) ranges.push_back({a, b});
            // Lengths of every scale, so that each level of the summary is met.
            std::uniform_int_distribution<std::int32_t> start(0, rows - 2);
            std::uniform_real_distribution<double> scale(0.0, std::log(double(rows)));
            for (int k = 0; k < 3000; ++k) {
                const std::int32_t a = start(rng);
                const auto length = static_cast<std::int32_t>(std::exp(scale(rng)));
                ranges.push_back({a, std::min(rows, a + std::max(length, 1))});
            }
            // A caller that only tells values apart by their tenths.
            auto tenth = [](double x) { return std::floor(x * 10); };
            auto sameTenths = [&](double lo, double hi, double mn, double mx) {
                return tenth(lo) >= tenth(mn) && tenth(hi) <= tenth(mx);
            };
            for (const auto& [a, b] : ranges) {
                double wantMin = 0, wantMax = 0, gotMin = 0, gotMax = 0;
                const bool want = Plain(v, f, a, b, wantMin, wantMax);
                const bool borrowed = taken->CleanExtents(v.data(), f.data(), a, b, gotMin, gotMax);
                ASSERT_EQ(borrowed, want) << a << " .. " << b;
                if (want) {
                    ASSERT_TRUE(gotMin == wantMin && gotMax == wantMax) << a << " .. " << b;
                }
                const bool got = s->CleanExtents(v.data(), f.data(), a, b, gotMin, gotMax);
                ASSERT_EQ(got, want) << a << " .. " << b;
                if (want) {
                    ASSERT_EQ(gotMin, wantMin) << a << " .. " << b;
                    ASSERT_EQ(gotMax, wantMax) << a << " .. " << b;
                }
                const bool coarse =
                    s->CleanExtents(v.data(), f.data(), a, b, gotMin, gotMax, sameTenths);
                ASSERT_EQ(coarse, want) << a << " .. " << b;
                if (want) {
                    ASSERT_EQ(tenth(gotMin), tenth(wantMin)) << a << " .. " << b;
                    ASSERT_EQ(tenth(gotMax), tenth(wantMax)) << a << " .. " << b;
                }
            }
        }
    }
}

TEST(ColumnSummary, DataSetKeepsOneSummaryPerStateOfItsRows) {
    std::vector<double> x(1000), y(1000);
    for (size_t i = 0; i < x.size(); ++i) {
        x[i] = static_cast<double>(i);
        y[i] = std::sin(static_cast<double>(i));
    }
    CResultDataRef d = test::MakeData({"Time", "V"}, {x, y});
    const auto first = d.Summary(1);
    ASSERT_TRUE(first);
    EXPECT_EQ(d.Summary(1), first);  // built once
    EXPECT_FALSE(d.Summary(2));
    EXPECT_FALSE(d.Summary(-1));
    double mn = 0, mx = 0;
    ASSERT_TRUE(
        first->CleanExtents(d->Variable(1)->Values(), d->Variable(1)->Flags(), 0, 1000, mn, mx));
    EXPECT_LT(mx, 1.0);
    // A written row is seen at the next ask.
    const double row[] = {500.0, 7.0};
    const std::uint8_t flags[] = {kPointValid, kPointValid};
    d.SetRow(500, row, flags, 0, -1);
    const auto second = d.Summary(1);
    ASSERT_TRUE(second);
    EXPECT_NE(second, first);
    ASSERT_TRUE(
        second->CleanExtents(d->Variable(1)->Values(), d->Variable(1)->Flags(), 0, 1000, mn, mx));
    EXPECT_EQ(mx, 7.0);
    // A short column is always walked: no summary.
    EXPECT_FALSE(test::MakeData({"Time", "V"}, {{0, 1, 2}, {1, 2, 3}}).Summary(1));
}

// A cached column's summary borrows its mapped pyramid rather than copying a
// level of it, and keeps the mapping after the data set is gone.
TEST(ColumnSummary, CachedColumnBorrowsItsPyramid) {
    const auto dir = test::FreshDir("summary-cached");
    ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
    constexpr std::int64_t kPoints = 3 * 64 * 64 + 5;
    const std::string raw = test::NgspicePlot(
        "Transient Analysis", kPoints,
        [](int v, std::int64_t r) { return v == 0 ? r * 1e-3 : std::sin(r * 0.01); });
    test::Spit(dir / "a.raw", raw);
    CacheConvertOptions options;
    options.limit = UINT64_MAX;
    CacheConversion c = ConvertToCache((dir / "a.raw").string(), options);
    CResultDataRef data;
    std::string error;
    ASSERT_TRUE(c.entry && OpenCachedResult(c.entry, data, error)) << c.error << error;
    const auto s = data.Summary(1);
    ASSERT_TRUE(s);
    EXPECT_LT(s->Bytes(), 1024u);
    const double* v = data->Variable(1)->Values();
    const std::vector<std::uint8_t> f(kPoints, kPointValid);
    double wantMin = 0, wantMax = 0, mn = 0, mx = 0;
    ASSERT_TRUE(CleanExtents(v, f.data(), 1, kPoints, wantMin, wantMax));
    c.entry.reset();
    data = CResultDataRef();
    ASSERT_TRUE(s->CleanExtents(v, f.data(), 1, kPoints, mn, mx));
    EXPECT_TRUE(mn == wantMin && mx == wantMax) << mn << " " << mx;
    ::unsetenv("XDG_CACHE_HOME");
}

}  // namespace
}  // namespace kurvex
