#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "CacheHome.h"
#include "TestSupport.h"
#include "analysis/Averages.h"
#include "analysis/Measure.h"
#include "analysis/RunTable.h"
#include "data/cache/CacheMeta.h"
#include "data/cache/CachedResult.h"
#include "data/cache/ColumnCache.h"
#include "data/model/SummaryPyramid.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

constexpr std::int32_t kRows = 70001;  // three levels, a part bucket at the end
constexpr std::int32_t kTopAt = 40000, kSecondAt = 5000;

// A wave with NaNs, invalid samples (one the largest of all), ties of the
// largest and smallest, and something at both ends of every bucket.
struct Samples {
    std::vector<double> v;
    std::vector<std::uint8_t> f;
};
Samples MakeSamples() {
    Samples s;
    for (std::int32_t i = 0; i < kRows; ++i) {
        s.v.push_back(3.0 * std::sin(i * 0.013) + 0.25 + (i % 7) * 1e-3);
        s.f.push_back(i % 97 == 3 ? kPointInvalid : kPointValid);
    }
    s.v[30] = s.v[69990] = NAN;
    s.v[3] = 50.0;  // invalid: no extremum
    s.v[kSecondAt] = 9.0;
    s.v[kTopAt] = s.v[kTopAt + 4000] = 10.0;
    s.v[7000] = s.v[7001] = -10.0;
    return s;
}

// A cache entry of X = row and three columns of the samples: column 1 with
// its true pyramid, column 2 one summed from samples one higher, column 3
// one that takes the largest sample as invalid. Only the pyramid path sees
// the last two differ from their samples.
CResultDataRef OpenEntry(const Samples& s) {
    CacheKey key;
    std::string error;
    test::Spit(test::ProcessDir() / "measured.raw", "source");
    EXPECT_TRUE(KeyOf((test::ProcessDir() / "measured.raw").string(), key, error)) << error;
    CacheLayout layout{{"x", "a", "b", "c"}, {kRows}, {kCacheMetaFile}};
    for (int v = 0; v < 4; ++v) layout.extras.push_back(PyramidFileName(v, 0));
    CacheWriter w;
    EXPECT_TRUE(w.Begin(key, layout, std::uint64_t(1) << 30));
    CachedRunMeta run;
    Samples x{std::vector<double>(kRows), std::vector<std::uint8_t>(kRows, kPointValid)};
    for (std::int32_t i = 0; i < kRows; ++i) x.v[i] = i;
    for (int v = 0; v < 4; ++v) {
        const Samples& column = v == 0 ? x : s;
        std::unique_ptr<bool[]> valid(new bool[kRows]);
        for (std::int32_t i = 0; i < kRows; ++i) valid[i] = column.f[i] == kPointValid;
        EXPECT_TRUE(w.Append(v, 0, column.v.data(), valid.get(), kRows));
        Samples summed = column;
        if (v == 2)
            for (double& y : summed.v) y += 1.0;
        if (v == 3) summed.f[kTopAt] = kPointInvalid;
        const auto bytes = PyramidBytes(*SummaryPyramid::Build({summed.v, summed.f}));
        EXPECT_TRUE(w.WriteExtra(PyramidFileName(v, 0), bytes.data(), bytes.size()));
        run.columns.push_back({-10.0, 10.0});
    }
    const auto meta = MetaBytes(CacheMeta{{run}});
    EXPECT_TRUE(w.WriteExtra(kCacheMetaFile, meta.data(), meta.size()));
    EXPECT_TRUE(w.Commit());
    CacheEntry::Status status;
    CResultDataRef data;
    EXPECT_TRUE(OpenCachedResult(CacheEntry::Open(key, status, error), data, error)) << error;
    return data;
}

void ExpectClose(double got, double want, double scale, const char* what, int a, int b) {
    if (std::isnan(want)) {
        EXPECT_TRUE(std::isnan(got)) << what << " " << a << ".." << b;
        return;
    }
    // The pyramid adds in bucket order, the walk sample by sample.
    EXPECT_NEAR(got, want, 1e-12 * scale) << what << " " << a << ".." << b;
}

TEST(CachedMeasure, FiguresOfACachedColumnAreTheWalks) {
    test::CacheHome home("cached-measure");
    const Samples s = MakeSamples();
    CResultDataRef data = OpenEntry(s);
    const double* y = data->Variable(1)->Values();
    const std::uint8_t* f = data->Variable(1)->Flags();
    ASSERT_TRUE(PyramidAt(y));
    const std::vector<std::pair<int, int>> ranges = {
        {0, 0},       {5, 70},         {31, 4200},     {64, 4159},
        {4096, 8191}, {4095, 65600},   {63, 4160},     {6999, 7001},
        {100, 69989}, {31, kRows - 1}, {0, kRows - 1}, {kRows - 4200, kRows - 1},
    };
    for (const auto& [a, b] : ranges) {
        const auto got = AveragesOver(y, a, b);
        const auto want = AveragesOver(s.v.data(), a, b);
        ASSERT_TRUE(got && want);
        EXPECT_EQ(got->samples, want->samples);
        ExpectClose(got->mean, want->mean, want->meanAbs, "mean", a, b);
        ExpectClose(got->meanAbs, want->meanAbs, want->meanAbs, "mean |x|", a, b);
        ExpectClose(got->rms, want->rms, want->rms, "rms", a, b);
        for (const bool largest : {true, false})
            EXPECT_EQ(FindExtremum(y, f, a, b, largest),
                      FindExtremum(s.v.data(), s.f.data(), a, b, largest))
                << a << ".." << b << (largest ? " max" : " min");
    }

    // Pyramids that disagree with their samples show which path answered.
    const auto walked = AveragesOver(s.v.data(), 100, 69989);
    const auto summed = AveragesOver(data->Variable(2)->Values(), 100, 69989);
    ASSERT_TRUE(walked && summed);
    // All but the samples of the ends' part buckets are summed one higher.
    EXPECT_GT(summed->mean - walked->mean, 0.99);
    const auto noAbs = CachedSums(data->Variable(2)->Values(), 100, 69990, false);
    ASSERT_TRUE(noAbs);
    EXPECT_DOUBLE_EQ(noAbs->sum / double(noAbs->count), summed->mean);
    EXPECT_FALSE(CachedSums(s.v.data(), 100, 69990, false)) << "no cached column";

    // The runs table and the measure window take the same path.
    CGraphCurve screen = test::ScreenOver(data, 100, 69989);
    const std::vector<RunTableColumn> columns{
        {0, 0, RunMeasure::Avg, 0}, {0, 1, RunMeasure::Avg, 0}, {0, 1, RunMeasure::Rms, 0}};
    const auto rows = RunTableRows({&screen}, columns, 100, 69989, std::nullopt, std::nullopt);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_NEAR(rows[0].values[0].value_or(NAN), walked->mean, 1e-12 * walked->meanAbs);
    EXPECT_DOUBLE_EQ(rows[0].values[1].value_or(NAN), summed->mean);
    EXPECT_DOUBLE_EQ(rows[0].values[2].value_or(NAN), summed->rms);
    const CResultVariable& c = *data->Variable(3);
    EXPECT_EQ(FindExtremum(c.Values(), c.Flags(), 0, kRows - 1, true), kTopAt + 4000);
    EXPECT_EQ(FindExtremum(c.Values(), c.Flags(), 0, kRows - 1, false), 7000);
    // Other flags than the column's own, or a short window, are walked.
    EXPECT_EQ(FindExtremum(c.Values(), s.f.data(), 0, kRows - 1, true), kTopAt);
    EXPECT_EQ(FindExtremum(c.Values(), c.Flags(), kTopAt - 100, kTopAt + 100, true), kTopAt);
    const auto shortWindow = AveragesOver(data->Variable(2)->Values(), 31, 1000);
    EXPECT_EQ(shortWindow->mean, AveragesOver(s.v.data(), 31, 1000)->mean);
}

}  // namespace
}  // namespace kurvex
