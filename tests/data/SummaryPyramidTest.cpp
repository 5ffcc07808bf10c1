#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <span>
#include <tuple>
#include <vector>

#include "TestSupport.h"
#include "analysis/Averages.h"
#include "analysis/Measure.h"
#include "data/BinaryTestSupport.h"
#include "data/cache/CacheMeta.h"
#include "data/model/ColumnSummary.h"
#include "data/model/ResultData.h"
#include "data/model/ResultVariable.h"
#include "data/model/SummaryPyramid.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::int64_t B = kPyramidFan;

struct Column {
    std::vector<double> v;
    std::vector<std::uint8_t> f;
    PyramidColumn Span() const { return {v, f}; }
};

// Runs of positive, negative and mixed samples, so that some buckets have
// one sign; invalid samples of the other sign inside them, missing samples,
// NaNs (when `nans`) and a stretch of nothing valid.
Column MakeColumn(std::int64_t rows, unsigned seed, bool nans) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.5, 3.0), mixed(-1.0, 3.0);
    std::uniform_int_distribution<int> pick(0, 299);
    Column c{std::vector<double>(rows), std::vector<std::uint8_t>(rows, kPointValid)};
    for (std::int64_t i = 0; i < rows; ++i) {
        const int region = static_cast<int>(i / 5000 % 4);
        c.v[i] = region == 2 ? mixed(rng) : region == 3 ? -u(rng) : u(rng);
        const int p = pick(rng);
        if (p < 2) {
            c.f[i] = kPointInvalid;
            c.v[i] = -c.v[i];
        } else if (p == 2) {
            c.f[i] = kPointMissing;
        } else if (p == 3 && nans) {
            c.v[i] = kNan;
        }
    }
    for (std::int64_t i = 3 * B + 5; i < std::min(rows, 7 * B); ++i) c.f[i] = kPointInvalid;
    return c;
}

PyramidExtents Walk(const Column& c, std::int64_t a, std::int64_t b) {
    PyramidExtents r;
    for (std::int64_t i = a; i < b; ++i) {
        if (c.f[i] != kPointValid || std::isnan(c.v[i])) continue;
        if (r.valid == 0 || c.v[i] < r.min) r.min = c.v[i];
        if (r.valid == 0 || c.v[i] > r.max) r.max = c.v[i];
        ++r.valid;
    }
    return r;
}

void ExpectSame(const PyramidExtents& got, const PyramidExtents& want) {
    EXPECT_EQ(got.valid, want.valid);
    if (want.valid) {
        EXPECT_EQ(got.min, want.min);
        EXPECT_EQ(got.max, want.max);
    }
}

// Whole chunks or single samples, one worker or several: the same bits.
TEST(SummaryPyramid, EveryWayOfBuildingGivesTheSameBits) {
    struct Case {
        std::int64_t rows;
        int levels;
    };
    for (const Case& k : {Case{0, 0}, Case{1, 1}, Case{63, 1}, Case{64, 1}, Case{65, 2},
                          Case{4096, 2}, Case{4097, 3}, Case{B * B * B + 5, 4}, Case{300001, 4}}) {
        SCOPED_TRACE(testing::Message() << "rows " << k.rows);
        const Column c = MakeColumn(k.rows, 7, false);
        const auto whole = SummaryPyramid::Build(c.Span(), 1);
        ASSERT_TRUE(whole);
        EXPECT_EQ(whole->View().Levels(), k.levels);
        if (k.rows > 100000) {
            EXPECT_LT(whole->Bytes(), 0.072 * 8 * k.rows);
        }
        std::vector<std::optional<SummaryPyramid>> others;
        others.push_back(SummaryPyramid::Build(c.Span(), 3));
        for (std::int64_t chunk : {1, 7, 64, 1000, 65536}) {
            SummaryPyramidAppender appender;
            for (std::int64_t i = 0; i < k.rows; i += chunk) {
                const std::int64_t n = std::min(chunk, k.rows - i);
                ASSERT_TRUE(appender.Append({c.v.data() + i, static_cast<std::size_t>(n)},
                                            {c.f.data() + i, static_cast<std::size_t>(n)}));
            }
            EXPECT_EQ(appender.Append(c.v, {}), k.rows == 0);
            others.push_back(appender.Finish());
        }
        for (const auto& other : others) {
            ASSERT_TRUE(other);
            ASSERT_EQ(other->Doubles().size(), whole->Doubles().size());
            // Bits, not values: NaN extremes compare unequal as doubles.
            EXPECT_TRUE(std::ranges::equal(std::as_bytes(other->Doubles()),
                                           std::as_bytes(whole->Doubles())));
            EXPECT_TRUE(std::ranges::equal(other->Valid(), whole->Valid()));
        }
        // Built straight into a file's bytes, in pieces, as a converter does.
        const std::vector<std::uint8_t> expected = PyramidBytes(*whole);
        for (std::int64_t announced : {k.rows, k.rows + 1}) {
            std::vector<std::uint8_t> file(expected.size(), 0xee);
            SummaryPyramidAppender appender(
                announced, [&](std::int64_t at, const void* bytes, std::size_t count) {
                    if (at < 0 || at + count > file.size()) return false;
                    std::memcpy(file.data() + at, bytes, count);
                    return true;
                });
            for (std::int64_t i = 0; i < k.rows; i += 1000) {
                const auto n = static_cast<std::size_t>(std::min<std::int64_t>(1000, k.rows - i));
                ASSERT_TRUE(appender.Append({c.v.data() + i, n}, {c.f.data() + i, n}));
            }
            // Rows short of those announced leave the file unfinished.
            EXPECT_EQ(appender.FinishIntoSink(), announced == k.rows);
            if (announced == k.rows) {
                EXPECT_EQ(file, expected);
            }
        }
    }
}

// Ranges, pixel columns at every level and extremum searches over random
// data with invalid points and NaNs answer like the pass over the samples.
TEST(SummaryPyramid, RangesAndColumnsAnswerLikeTheWalk) {
    const std::int64_t rows = B * B * B + 777;
    const Column c = MakeColumn(rows, 11, true);
    const auto p = SummaryPyramid::Build(c.Span(), 2);
    ASSERT_TRUE(p);
    const SummaryPyramidView& view = p->View();
    ASSERT_EQ(view.Levels(), 4);
    const PyramidColumn shorter{std::span(c.v).first(rows - 1), c.f};
    EXPECT_EQ(view.Extents(shorter, 0, rows).valid, 0);
    EXPECT_FALSE(view.Extremum(shorter, 0, rows, true));
    std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
    const std::vector<std::int64_t> edges{0,         1,        B - 1,     B,     B + 1,
                                          3 * B + 5, 7 * B,    B * B - 1, B * B, B * B + 1,
                                          5 * B * B, rows - B, rows - 1,  rows};
    for (std::int64_t a : edges)
        for (std::int64_t b : edges) ranges.emplace_back(a, b);
    std::mt19937 rng(3);
    std::uniform_int_distribution<std::int64_t> any(0, rows);
    for (int i = 0; i < 300; ++i) ranges.emplace_back(any(rng), any(rng));
    for (auto [a, b] : ranges) {
        SCOPED_TRACE(testing::Message() << "rows " << a << ".." << b);
        ExpectSame(view.Extents(c.Span(), a, b), Walk(c, a, b));
        for (bool largest : {true, false}) {
            const auto want = FindExtremum(c.v.data(), c.f.data(), static_cast<std::int32_t>(a),
                                           static_cast<std::int32_t>(b - 1), largest);
            const auto got = view.Extremum(c.Span(), a, b, largest);
            ASSERT_EQ(got.has_value(), want.has_value());
            if (want) {
                EXPECT_EQ(*got, *want);
            }
        }
    }
    for (std::int64_t width : {1, 3, 63, 64, 65, 200, 4095, 5000, 70000}) {
        std::vector<std::int32_t> starts{static_cast<std::int32_t>(width / 3)};
        std::uniform_int_distribution<std::int64_t> jitter(0, width / 4);
        while (starts.back() + 2 * width < rows && starts.size() < 2000)
            starts.push_back(static_cast<std::int32_t>(starts.back() + width + jitter(rng)));
        for (int level = 0; level <= view.Levels(); ++level) {
            SCOPED_TRACE(testing::Message() << "width " << width << ", level " << level);
            const auto got = view.ColumnExtents(c.Span(), starts, level);
            ASSERT_EQ(got.size(), starts.size() - 1);
            for (std::size_t k = 0; k < got.size(); ++k)
                ExpectSame(got[k], Walk(c, starts[k], starts[k + 1]));
        }
    }
}

// Sums of whole buckets and of samples give AveragesOver's figures; a bucket
// of one sign that holds an invalid sample of the other must be descended.
TEST(SummaryPyramid, SumsGiveTheAveragesOfAPlainPass) {
    const std::int64_t rows = 1'000'003;
    const Column c = MakeColumn(rows, 5, false);
    const auto p = SummaryPyramid::Build(c.Span(), 2);
    ASSERT_TRUE(p);
    std::vector<std::pair<std::int64_t, std::int64_t>> ranges{
        {0, rows},      {0, 1},        {rows - 1, rows},  {5, 6},
        {B - 1, B + 1}, {B, 2 * B},    {3 * B, 20000},    {10000, 15000},
        {15000, 20000}, {1, rows - 1}, {B * B, B * B * B}};
    std::mt19937 rng(9);
    std::uniform_int_distribution<std::int64_t> any(0, rows - 1), shortLength(1, 3 * B);
    for (int i = 0; i < 200; ++i) {
        const std::int64_t a = any(rng), b = i % 2 ? any(rng) + 1 : a + shortLength(rng);
        if (a < b && b <= rows) ranges.emplace_back(a, b);
    }
    for (auto [a, b] : ranges) {
        SCOPED_TRACE(testing::Message() << "rows " << a << ".." << b);
        const PyramidSums s = p->View().Sums(c.Span(), a, b);
        const auto want = AveragesOver(c.v.data(), static_cast<std::int32_t>(a),
                                       static_cast<std::int32_t>(b - 1));
        ASSERT_TRUE(want);
        ASSERT_EQ(s.count, want->samples);
        const double n = static_cast<double>(s.count);
        // The mean of samples of both signs is measured against their size.
        EXPECT_NEAR(s.sum / n, want->mean, 1e-12 * want->meanAbs);
        EXPECT_NEAR(s.sumAbs / n, want->meanAbs, 1e-12 * want->meanAbs);
        EXPECT_NEAR(std::sqrt(s.sumSquares / n), want->rms, 1e-12 * want->rms);
    }
}

// The first of equal values, whatever level it is found on; samples that are
// invalid or NaN never count.
TEST(SummaryPyramid, ExtremumFindsTheFirstOfTheValidSamples) {
    struct Plant {
        std::int64_t at;
        double value;
        std::uint8_t flag = kPointValid;
    };
    struct Case {
        const char* name;
        std::vector<Plant> plants;
        std::int64_t a, b;
        bool largest;
        std::optional<std::int64_t> want;
    };
    const std::int64_t rows = 3 * B * B + 10;
    const std::vector<Case> cases{
        {"equal maxima far apart", {{100, 5}, {5000, 5}}, 0, rows, true, 100},
        {"equal maxima in one bucket", {{B * B + 9, 5}, {B * B + 8, 5}}, 0, rows, true, B * B + 8},
        {"range starts after the first", {{100, 5}, {5000, 5}}, 101, rows, true, 5000},
        {"larger invalid sample", {{50, 9, kPointInvalid}, {3000, 5}}, 0, rows, true, 3000},
        {"valid NaN", {{10, kNan}, {12000, 1}}, 0, rows, true, 12000},
        {"infinity", {{7000, kInf}, {8000, 1e300}}, 0, rows, true, 7000},
        {"equal minima", {{9000, -1}, {9001, -1}}, 0, rows, false, 9000},
        {"minimum at the very end", {{rows - 1, -1}}, 0, rows, false, rows - 1},
        {"flat: the range's first sample", {}, 333, rows, false, 333},
        {"zero of either sign", {{40, -0.0}}, 40, 41 + 2 * B, true, 40},
        {"nothing valid", {{0, 1, kPointInvalid}, {1, kNan}}, 0, 2, true, std::nullopt},
        {"empty range", {}, 5, 5, true, std::nullopt},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Column c{std::vector<double>(rows, 0.0), std::vector<std::uint8_t>(rows, kPointValid)};
        for (const Plant& p : k.plants) {
            c.v[p.at] = p.value;
            c.f[p.at] = p.flag;
        }
        const auto p = SummaryPyramid::Build(c.Span());
        ASSERT_TRUE(p);
        EXPECT_EQ(p->View().Extremum(c.Span(), k.a, k.b, k.largest), k.want);
        const auto plain = FindExtremum(c.v.data(), c.f.data(), static_cast<std::int32_t>(k.a),
                                        static_cast<std::int32_t>(k.b - 1), k.largest);
        EXPECT_EQ(plain ? std::optional<std::int64_t>(*plain) : std::nullopt, k.want);
    }
}

// A pyramid and the result's extents go into a cache entry as bytes and
// come back as the same answers; bytes of another shape are refused.
TEST(SummaryPyramid, BytesOfACacheEntryReadBackAlike) {
    const Column c = MakeColumn(70000, 7, true);
    const auto built = SummaryPyramid::Build(c.Span());
    ASSERT_TRUE(built);
    const std::vector<std::uint8_t> bytes = PyramidBytes(*built);
    const auto view = PyramidFromBytes(70000, bytes);
    ASSERT_TRUE(view);
    ExpectSame(view->Extents(c.Span(), 17, 69000), Walk(c, 17, 69000));
    EXPECT_FALSE(PyramidFromBytes(70000 + B, bytes));
    EXPECT_FALSE(PyramidFromBytes(70000, std::span(bytes).first(bytes.size() - 4)));

    CacheMeta meta;
    meta.runs = {{true, 1e-9, {{0, 1, true}, {kNan, kNan}}}, {false, 0, {{-2, 5}, {3, 3, true}}}};
    std::vector<std::uint8_t> m = MetaBytes(meta);
    const auto back = MetaFromBytes(m, 2, 2);
    ASSERT_TRUE(back);
    EXPECT_EQ(MetaBytes(*back), m);
    EXPECT_FALSE(MetaFromBytes(m, 1, 2));  // bytes left over
    // A meta of the first format (no head, no order) is refused, as is another format.
    EXPECT_FALSE(MetaFromBytes(std::vector<std::uint8_t>(2 * (9 + 2 * 16)), 2, 2));
    m[4] = 1;
    EXPECT_FALSE(MetaFromBytes(m, 2, 2));
}

// Sorted: every sample valid, not NaN and not below the one before, across
// the pieces a converter hands over.
TEST(SummaryPyramid, SortedTrackerFollowsTheOrderAcrossPieces) {
    const double n = kNan;
    const std::vector<std::tuple<std::vector<std::vector<double>>, std::vector<bool>, bool>> cases =
        {
            {{}, {}, false},
            {{{1, 2, 2}, {2, 3}}, {}, true},
            {{{1, 2}, {1.5}}, {}, false},
            {{{1, 2, 3}}, {true, false, true}, false},
            {{{1, n, 3}}, {}, false},
            {{{n}}, {}, false},
            {{{-0.0, 0.0, 1}}, {}, true},
        };
    for (const auto& [pieces, validity, want] : cases) {
        SortedTracker t;
        std::size_t at = 0;
        for (const auto& piece : pieces) {
            std::unique_ptr<bool[]> valid(new bool[piece.size() + 1]);
            for (std::size_t i = 0; i < piece.size(); ++i, ++at)
                valid[i] = validity.empty() || validity[at];
            t.Append(piece.data(), valid.get(), piece.size());
        }
        EXPECT_EQ(t.Sorted(), want) << pieces.size() << " pieces, " << at << " samples";
    }
}

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
    enum Kind { Clean, Invalid, NaNs, Infinite };
    // Over a million rows, so that several workers share the building; the
    // summary covers fewer rows than the arrays hold, and its last bucket
    // is not whole.
    const std::int32_t rows = (1 << 20) + 3 * B + 17, summarised = rows - 2 * B - 5;
    for (Kind kind : {Clean, Invalid, NaNs, Infinite}) {
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
                if (kind == NaNs) v[i] = kNan;
                if (kind == Infinite) v[i] = i % 2 ? kInf : -kInf;
            }
            const auto s = ColumnSummary::Build(v.data(), f.data(), summarised, workers);
            ASSERT_TRUE(s);
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
                double wantMin = 0, wantMax = 0;
                const bool want = Plain(v, f, a, b, wantMin, wantMax);
                // Over the borrowed pyramid, over the built summary, and coarsely.
                for (int way = 0; way < 3; ++way) {
                    double mn = 0, mx = 0;
                    const ColumnSummary& over = way == 0 ? *taken : *s;
                    const bool got =
                        way < 2 ? over.CleanExtents(v.data(), f.data(), a, b, mn, mx)
                                : over.CleanExtents(v.data(), f.data(), a, b, mn, mx, sameTenths);
                    ASSERT_EQ(got, want) << way << ": " << a << " .. " << b;
                    if (want && way == 2) {
                        ASSERT_TRUE(tenth(mn) == tenth(wantMin) && tenth(mx) == tenth(wantMax));
                    } else if (want) {
                        ASSERT_TRUE(mn == wantMin && mx == wantMax)
                            << way << ": " << a << " .. " << b;
                    }
                }
            }
        }
    }
}

TEST(ColumnSummary, DataSetKeepsOneSummaryPerStateOfItsRows) {
    std::vector<double> y(1000);
    for (size_t i = 0; i < y.size(); ++i) y[i] = std::sin(static_cast<double>(i));
    CResultDataRef d = test::MakeData({"Time", "V"}, {test::Ramp(1000, 1.0), y});
    const auto first = d.Summary(1);
    ASSERT_TRUE(first);
    EXPECT_EQ(d.Summary(1), first);  // built once
    EXPECT_FALSE(d.Summary(2));
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

}  // namespace
}  // namespace kurvex
