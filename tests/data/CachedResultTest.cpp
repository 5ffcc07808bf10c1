#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "BinaryTestSupport.h"
#include "CacheHome.h"
#include "TestSupport.h"
#include "data/cache/CacheMeta.h"
#include "data/cache/CachedResult.h"
#include "data/cache/ColumnCache.h"
#include "data/model/SummaryPyramid.h"

namespace kurvex {
namespace {

namespace fs = std::filesystem;

// Every test keeps its cache in a fresh folder of its own, with one source.
struct CacheHome : test::CacheHome {
    explicit CacheHome(const std::string& name) : test::CacheHome(name) {
        test::Spit(dir / "a.raw", "source");
        std::string error;
        EXPECT_TRUE(KeyOf((dir / "a.raw").string(), key, error)) << error;
    }
    CacheKey key;
};

const std::vector<std::string> kNames = {"time", "V(out)", "I(L1)"};
const std::vector<std::int64_t> kRows = {40, 7};

double Sample(int v, int r, int i) {
    return v == 0 ? (r == 0 ? i * 0.5 : i * i * 0.1) : v * 10.0 + r + std::sin(i);
}
// I(L1) in the first run has a few invalid samples; everything else is valid.
bool Valid(int v, int r, int i) {
    return !(v == 2 && r == 0 && i % 13 == 5);
}

// Writes the entry with `extras` replaced as `damage` says (none: as written).
bool WriteEntry(const CacheKey& key, const std::function<void(CacheLayout&)>& damage = {},
                const std::string& badExtra = {}) {
    CacheLayout layout{kNames, kRows, {kCacheMetaFile}};
    for (int v = 0; v < 3; ++v)
        for (int r = 0; r < 2; ++r) layout.extras.push_back(PyramidFileName(v, r));
    if (damage) damage(layout);
    CacheWriter w;
    if (!w.Begin(key, layout, 1 << 20)) return false;
    CacheMeta meta;
    for (int r = 0; r < 2; ++r) {
        CachedRunMeta run{r == 0, 0.5, {}};
        for (int v = 0; v < 3; ++v) {
            std::vector<double> values;
            std::vector<std::uint8_t> flags;
            std::unique_ptr<bool[]> valid(new bool[std::size_t(kRows[r])]);
            for (int i = 0; i < kRows[r]; ++i) {
                values.push_back(Sample(v, r, i));
                valid[i] = Valid(v, r, i);
                flags.push_back(valid[i] ? kPointValid : kPointInvalid);
            }
            if (!w.Append(v, r, values.data(), valid.get(), values.size())) return false;
            // V(out) is said to be sorted, which it is not: only the meta can say so.
            run.columns.push_back({-1.0 - v, 100.0 + v + r, v < 2 && r == 0});
            const auto pyramid = SummaryPyramid::Build({values, flags});
            const auto bytes = PyramidBytes(*pyramid);
            const std::string name = PyramidFileName(v, r);
            if (std::count(layout.extras.begin(), layout.extras.end(), name) &&
                !w.WriteExtra(name, bytes.data(), name == badExtra ? 12 : bytes.size()))
                return false;
        }
        meta.runs.push_back(run);
    }
    const auto bytes = MetaBytes(meta);
    const bool hasMeta =
        std::count(layout.extras.begin(), layout.extras.end(), std::string(kCacheMetaFile));
    if (hasMeta && !w.WriteExtra(kCacheMetaFile, bytes.data(),
                                 badExtra == kCacheMetaFile ? bytes.size() - 3 : bytes.size()))
        return false;
    return w.Commit();
}

std::shared_ptr<const CacheEntry> Open(const CacheKey& key) {
    CacheEntry::Status status;
    std::string error;
    auto entry = CacheEntry::Open(key, status, error);
    EXPECT_TRUE(entry) << error;
    return entry;
}

// The inode of the block of valid flags that `p` lies in; "" when it lies elsewhere.
std::string ValidBlockInode(const std::uint8_t* p) {
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        std::uintptr_t from = 0, to = 0;
        std::istringstream in(line);
        char dash;
        std::string perms, offset, dev, inode;
        in >> std::hex >> from >> dash >> to >> perms >> offset >> dev >> inode;
        const auto at = std::uintptr_t(p);
        if (at >= from && at < to)
            return line.find("memfd:kurvex-valid-flags") != std::string::npos ? inode : "";
    }
    return "";
}

TEST(CachedResult, OpensTheEntryOverItsMappedColumns) {
    CacheHome home("cached-open");
    ASSERT_TRUE(WriteEntry(home.key));
    auto entry = Open(home.key);
    ASSERT_TRUE(entry);
    CResultDataRef data;
    std::string error;
    ASSERT_TRUE(OpenCachedResult(entry, data, error)) << error;
    ASSERT_EQ(data->RunCount(), 2);
    EXPECT_TRUE(data.IsSorted(0));
    EXPECT_TRUE(data.IsSorted(1)) << "answered from the meta, with no pass";
    EXPECT_FALSE(data.IsSorted(2));
    for (int r = 0; r < 2; ++r) {
        const CResultData& run = *data->Run(r);
        ASSERT_EQ(run.VariableCount(), 3);
        ASSERT_EQ(run.RowCount(), kRows[r]);
        EXPECT_EQ(run.UniformX(), r == 0);
        EXPECT_EQ(run.BadPoints(), r == 0);
        for (int v = 0; v < 3; ++v) {
            const CResultVariable& var = *run.Variable(v);
            EXPECT_EQ(var.Name(), kNames[v]);
            EXPECT_EQ(var.Values(), entry->Values(v, r)) << "samples are not copied";
            EXPECT_EQ(var.Min(), -1.0 - v);
            EXPECT_EQ(var.Max(), 100.0 + v + r);
            for (int i = 0; i < kRows[r]; ++i) {
                EXPECT_EQ(var.Values()[i], Sample(v, r, i));
                EXPECT_EQ(var.Flags()[i], Valid(v, r, i) ? kPointValid : kPointInvalid);
            }
            const auto pyramid = CachedPyramid(*data.Get(), v, r);
            ASSERT_TRUE(pyramid);
            EXPECT_EQ(pyramid->Rows(), kRows[r]);
        }
    }

    EXPECT_NE(ValidBlockInode(data->Variable(1)->Flags()), "") << "all valid: shared";
    EXPECT_EQ(ValidBlockInode(data->Variable(2)->Flags()), "") << "some invalid: own bytes";

    // A write stays in memory; the cache and the other columns keep what they had.
    const fs::path file = home.dir / "cache/kurvex" / home.key.Hash() / "v1r0.f64";
    const std::string before = test::Slurp(file);
    data->Variable(1)->Values()[3] = 1e9;
    data->Variable(1)->Flags()[4] = kPointInvalid;
    EXPECT_EQ(data->Variable(0)->Flags()[4], kPointValid);
    EXPECT_EQ(test::Slurp(file), before);
    EXPECT_EQ(Open(home.key)->Values(1, 0)[3], Sample(1, 0, 3));

    // The data set outlives both the handle and the entry's removal.
    entry.reset();
    std::size_t removed = 0;
    std::uint64_t bytes = 0;
    ASSERT_TRUE(ClearCache(removed, bytes, error));
    EXPECT_EQ(data->Run(1)->Variable(2)->Values()[6], Sample(2, 1, 6));

    // Growing copies the samples into memory of the data set's own.
    ASSERT_TRUE(data->ResizeRows(100));
    EXPECT_FALSE(data->Variable(1)->Borrowed());
    EXPECT_EQ(data->Variable(1)->Values()[3], 1e9);
    EXPECT_EQ(data->Variable(1)->Values()[39], Sample(1, 0, 39));
    EXPECT_EQ(data->Variable(1)->Flags()[4], kPointInvalid);
    EXPECT_EQ(data->Variable(2)->Flags()[5], kPointInvalid);
    EXPECT_EQ(data->Variable(2)->Flags()[99], kPointMissing);
    EXPECT_FALSE(CachedPyramid(*data.Get(), 1, 0));
}

TEST(CachedResult, EntriesWithoutTrustworthyExtrasAreRefused) {
    const std::vector<std::tuple<const char*, std::function<void(CacheLayout&)>, std::string>>
        cases = {
            {"no meta", [](CacheLayout& l) { l.extras.erase(l.extras.begin()); }, ""},
            {"short meta", {}, kCacheMetaFile},
            {"short pyramid", {}, PyramidFileName(2, 1)},
        };
    for (const auto& [name, damage, badExtra] : cases) {
        CacheHome home(std::string("cached-refused-") + name);
        ASSERT_TRUE(WriteEntry(home.key, damage, badExtra)) << name;
        CResultDataRef data;
        const CResultData* before = data.Get();
        std::string error;
        EXPECT_FALSE(OpenCachedResult(Open(home.key), data, error)) << name;
        EXPECT_NE(error.find("damaged"), std::string::npos) << name << ": " << error;
        EXPECT_EQ(data.Get(), before) << name;
    }
}

TEST(CachedResult, AllValidFlagsShareOneBlockAndKeepWritesPrivate) {
    const std::int64_t count = (std::int64_t(48) << 20) + 5;  // spans several blocks
    const auto a = SharedValidFlags(count);
    const auto b = SharedValidFlags(count);
    ASSERT_TRUE(a && b);
    std::int64_t valid = 0;
    for (std::int64_t i = 0; i < count; ++i) valid += a.get()[i] == kPointValid;
    EXPECT_EQ(valid, count);
    const std::string inode = ValidBlockInode(a.get());
    EXPECT_NE(inode, "");
    for (const std::uint8_t* p : {a.get() + count / 2, a.get() + count - 1, b.get()})
        EXPECT_EQ(ValidBlockInode(p), inode);
    a.get()[count - 1] = kPointInvalid;
    EXPECT_EQ(b.get()[count - 1], kPointValid);
    EXPECT_EQ(SharedValidFlags(count).get()[count - 1], kPointValid);
}

// Partition points of a sorted cached column found through its pyramid are
// the search's over its samples: runs of equal samples across buckets, tests
// below, between, on and above the samples, and windows that cut them off.
TEST(CachedResult, PartitionPointsThroughThePyramidAreTheSearchesOnes) {
    test::CacheHome home("partition-points");
    constexpr std::int64_t kPoints = 3 * 64 * 64 + 17;  // three levels and a part bucket
    const auto time = [](std::int64_t p) { return double(p / 100); };
    test::Spit(home.dir / "a.raw",
               test::NgspicePlot("Transient Analysis", kPoints, [&](int v, std::int64_t p) {
                   return v == 0 ? time(p) : std::sin(double(p));
               }));
    CacheConvertOptions options;
    options.limit = UINT64_MAX;
    const CacheConversion c = ConvertToCache((home.dir / "a.raw").string(), options);
    CResultDataRef data;
    std::string error;
    ASSERT_TRUE(c.entry && OpenCachedResult(c.entry, data, error)) << c.error << error;
    const double* x = data->Variable(0)->Values();
    const double tests[] = {-1.0, 0.0, 0.5, 40.0, 40.5, 122.0, 123.0};
    const auto before = [&](std::int32_t k, double s) {
        return k % 2 ? s <= tests[k / 2] : s < tests[k / 2];
    };
    constexpr auto n = std::int32_t(kPoints);
    for (const auto& [first, end] : {std::pair{0, n}, std::pair{4000, n - 50}, std::pair{70, 70}}) {
        const auto got = CachedPartitionPoints(x, first, end, 14, before);
        ASSERT_TRUE(got);
        for (std::int32_t k = 0; k < 14; ++k)
            EXPECT_EQ((*got)[k], std::partition_point(x + first, x + end,
                                                      [&](double s) { return before(k, s); }) -
                                     x)
                << first << ".." << end << " test " << k;
    }
    std::vector<double> copy(x, x + kPoints);
    EXPECT_FALSE(CachedPartitionPoints(copy.data(), 0, n, 1, before)) << "no cached column";
}

}  // namespace
}  // namespace kurvex
