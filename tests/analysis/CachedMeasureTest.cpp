#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "TestSupport.h"
#include "analysis/Averages.h"
#include "analysis/Measure.h"
#include "data/CacheMeta.h"
#include "data/CachedResult.h"
#include "data/ColumnCache.h"
#include "data/SummaryPyramid.h"

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

// A cache entry whose column 0 has its true pyramid; column 1 one summed
// from samples one higher; column 2 one that takes the largest sample as
// invalid. Only the pyramid path sees the last two differ from their samples.
CResultDataRef OpenEntry(const Samples& s) {
    CacheKey key;
    std::string error;
    test::Spit(test::ProcessDir() / "measured.raw", "source");
    EXPECT_TRUE(KeyOf((test::ProcessDir() / "measured.raw").string(), key, error)) << error;
    CacheLayout layout{{"a", "b", "c"}, {kRows}, {kCacheMetaFile}};
    for (int v = 0; v < 3; ++v) layout.extras.push_back(PyramidFileName(v, 0));
    CacheWriter w;
    EXPECT_TRUE(w.Begin(key, layout, std::uint64_t(1) << 30));
    std::unique_ptr<bool[]> valid(new bool[kRows]);
    for (std::int32_t i = 0; i < kRows; ++i) valid[i] = s.f[i] == kPointValid;
    CachedRunMeta run;
    for (int v = 0; v < 3; ++v) {
        EXPECT_TRUE(w.Append(v, 0, s.v.data(), valid.get(), kRows));
        Samples summed = s;
        if (v == 1)
            for (double& x : summed.v) x += 1.0;
        if (v == 2) summed.f[kTopAt] = kPointInvalid;
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

struct CacheHome {
    CacheHome() { ::setenv("XDG_CACHE_HOME", test::FreshDir("cached-measure").c_str(), 1); }
    ~CacheHome() { ::unsetenv("XDG_CACHE_HOME"); }
};

void ExpectClose(double got, double want, double scale, const char* what, int a, int b) {
    if (std::isnan(want)) {
        EXPECT_TRUE(std::isnan(got)) << what << " " << a << ".." << b;
        return;
    }
    // The pyramid adds in bucket order, the walk sample by sample.
    EXPECT_NEAR(got, want, 1e-12 * scale) << what << " " << a << ".." << b;
}

TEST(CachedMeasure, FiguresOfACachedColumnAreTheWalks) {
    CacheHome home;
    const Samples s = MakeSamples();
    CResultDataRef data = OpenEntry(s);
    ASSERT_EQ(data->RowCount(), kRows);
    const double* y = data->Variable(0)->Values();
    const std::uint8_t* f = data->Variable(0)->Flags();
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
    const auto summed = AveragesOver(data->Variable(1)->Values(), 100, 69989);
    ASSERT_TRUE(walked && summed);
    // All but the samples of the ends' part buckets are summed one higher.
    EXPECT_GT(summed->mean - walked->mean, 0.99);
    const CResultVariable& c = *data->Variable(2);
    EXPECT_EQ(FindExtremum(c.Values(), c.Flags(), 0, kRows - 1, true), kTopAt + 4000);
    EXPECT_EQ(FindExtremum(c.Values(), c.Flags(), 0, kRows - 1, false), 7000);
    // Other flags than the column's own, or a short window, are walked.
    EXPECT_EQ(FindExtremum(c.Values(), s.f.data(), 0, kRows - 1, true), kTopAt);
    EXPECT_EQ(FindExtremum(c.Values(), c.Flags(), kTopAt - 100, kTopAt + 100, true), kTopAt);
    const auto shortWindow = AveragesOver(data->Variable(1)->Values(), 31, 1000);
    EXPECT_EQ(shortWindow->mean, AveragesOver(s.v.data(), 31, 1000)->mean);
}

}  // namespace
}  // namespace kurvex
