#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "BinaryTestSupport.h"
#include "CacheHome.h"
#include "TestSupport.h"
#include "data/cache/CacheMeta.h"
#include "data/cache/CachedResult.h"
#include "data/cache/ColumnCache.h"
#include "data/model/ColumnSummary.h"
#include "data/model/SummaryPyramid.h"

namespace kurvex {
namespace {

namespace fs = std::filesystem;

using test::CacheHome;

fs::path Folder(const CacheHome& home) {
    return home.dir / "cache/kurvex";
}

CacheKey SourceKey(const fs::path& path) {
    CacheKey key;
    std::string error;
    EXPECT_TRUE(KeyOf(path.string(), key, error)) << error;
    return key;
}
// The key of a source file made of `bytes`.
CacheKey NewSource(const fs::path& path, const std::string& bytes = "source") {
    test::Spit(path, bytes);
    return SourceKey(path);
}

// Sample i of variable v in run r, and whether it is valid.
double Sample(int v, int r, int i) {
    return v * 1000.5 + r * 100 + i * 0.25;
}
bool Flag(int v, int r, int i) {
    return (i * 7 + v + r) % 3 != 0;
}

const CacheLayout kLayout{{"time", "V(out)"}, {13, 1, 0}, {"pyramid"}};

// Writes kLayout's samples for `key` in uneven chunks; false with the writer's error.
bool WriteEntry(const CacheKey& key, std::uint64_t limit = 1 << 20) {
    CacheWriter w;
    if (!w.Begin(key, kLayout, limit)) return false;
    for (int v = 0; v < 2; ++v)
        for (int r = 0; r < 3; ++r)
            for (int at = 0, chunk = 5; at < kLayout.rows[r]; at += chunk, chunk = 3) {
                const int n = std::min<int>(chunk, int(kLayout.rows[r]) - at);
                double values[5];
                bool valid[5];
                for (int i = 0; i < n; ++i) {
                    values[i] = Sample(v, r, at + i);
                    valid[i] = Flag(v, r, at + i);
                }
                if (!w.Append(v, r, values, valid, std::size_t(n))) return false;
            }
    return w.WriteExtra("pyramid", "abc", 3) && w.Commit();
}

std::shared_ptr<const CacheEntry> OpenEntry(const CacheKey& key, CacheEntry::Status expect) {
    CacheEntry::Status status;
    std::string error;
    auto entry = CacheEntry::Open(key, status, error);
    EXPECT_EQ(int(status), int(expect)) << error;
    return entry;
}

TEST(ColumnCache, WrittenColumnsReadBackMappedWithTheirFlags) {
    CacheHome home("cache-roundtrip");
    const CacheKey key = NewSource(home.dir / "a.raw");
    ASSERT_TRUE(WriteEntry(key));
    EXPECT_EQ(fs::status(Folder(home)).permissions(), fs::perms::owner_all);
    auto entry = OpenEntry(key, CacheEntry::Status::Found);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->Layout().names, kLayout.names);
    EXPECT_EQ(entry->Layout().rows, kLayout.rows);
    for (int v = 0; v < 2; ++v)
        for (int r = 0; r < 3; ++r) {
            if (kLayout.rows[r]) {
                EXPECT_EQ(std::uintptr_t(entry->Values(v, r)) % 64, 0u);
            }
            for (int i = 0; i < kLayout.rows[r]; ++i) {
                EXPECT_EQ(entry->Values(v, r)[i], Sample(v, r, i)) << v << r << i;
                EXPECT_EQ(entry->Valid(v, r, i), Flag(v, r, i)) << v << r << i;
            }
        }
    std::size_t size = 0;
    const std::uint8_t* extra = entry->Extra("pyramid", size);
    ASSERT_EQ(size, 3u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(extra), 3), "abc");
}

TEST(ColumnCache, ChangedSourceGetsANewKeyAndNotTheOldEntry) {
    const std::vector<std::pair<const char*, std::function<void(const fs::path&)>>> changes = {
        {"touched",
         [](const fs::path& p) {
             const timespec times[2] = {{0, UTIME_OMIT}, {1000, 5}};
             ::utimensat(AT_FDCWD, p.c_str(), times, 0);
         }},
        {"replaced",
         [](const fs::path& p) {
             test::Spit(p.string() + ".new", "source");
             fs::rename(p.string() + ".new", p);
         }},
        {"rewritten in place, its times kept",
         [](const fs::path& p) { test::RewriteKeepingTimes(p, "SOURCE"); }},
    };
    for (const auto& [name, change] : changes) {
        CacheHome home(std::string("cache-key-") + name);
        const fs::path source = home.dir / "a.raw";
        const CacheKey before = NewSource(source);
        EXPECT_EQ(SourceKey(source).Hash(), before.Hash());
        ASSERT_TRUE(WriteEntry(before));
        change(source);
        const CacheKey after = SourceKey(source);
        EXPECT_FALSE(OpenEntry(after, CacheEntry::Status::Missing)) << name;
        // Equal hashes alone never give another source's entry.
        CacheKey other = before;
        other.path += "x";
        EXPECT_NE(other.Hash(), before.Hash());
    }
}

TEST(ColumnCache, UnfinishedWritesLeaveNothing) {
    const std::vector<std::pair<const char*, std::function<void(CacheWriter&)>>> ends = {
        {"aborted", [](CacheWriter& w) { w.Abort(); }},
        {"thrown", [](CacheWriter&) { throw std::runtime_error("cancelled"); }},
        {"incomplete", [](CacheWriter& w) { EXPECT_FALSE(w.Commit()); }},
        {"too many rows", [](CacheWriter& w) {
             const double x[14] = {};
             EXPECT_FALSE(w.Append(0, 0, x, nullptr, 14));
             EXPECT_NE(w.Error().find("more samples than rows"), std::string::npos);
         }}};
    for (const auto& [name, end] : ends) {
        CacheHome home(std::string("cache-unfinished-") + name);
        const CacheKey key = NewSource(home.dir / "a.raw");
        try {
            CacheWriter w;
            ASSERT_TRUE(w.Begin(key, kLayout, 1 << 20)) << w.Error();
            const double x[5] = {1, 2, 3, 4, 5};
            ASSERT_TRUE(w.Append(0, 0, x, nullptr, 5));
            end(w);
        } catch (const std::runtime_error&) {
        }
        EXPECT_EQ(home.Entries(), 0u) << name;
        OpenEntry(key, CacheEntry::Status::Missing);
    }
}

TEST(ColumnCache, DamagedEntryIsReportedAndRemoved) {
    const std::vector<std::pair<const char*, std::function<void(const fs::path&)>>> damages = {
        {"truncated column", [](const fs::path& e) { fs::resize_file(e / "v1r0.f64", 96); }},
        {"lost flags", [](const fs::path& e) { fs::remove(e / "v0r1.bits"); }},
        {"flipped header byte",
         [](const fs::path& e) {
             std::string h = test::Slurp(e / "header");
             h[h.find("V(out)")] ^= 0x10;  // a byte that nothing but the checksum covers
             test::Spit(e / "header", h);
         }},
    };
    for (const auto& [name, damage] : damages) {
        CacheHome home(std::string("cache-damage-") + name);
        const CacheKey key = NewSource(home.dir / "a.raw");
        ASSERT_TRUE(WriteEntry(key));
        damage(Folder(home) / key.Hash());
        EXPECT_FALSE(OpenEntry(key, CacheEntry::Status::Damaged)) << name;
        EXPECT_FALSE(fs::exists(Folder(home) / key.Hash())) << name;
        EXPECT_TRUE(WriteEntry(key)) << name;
        EXPECT_TRUE(OpenEntry(key, CacheEntry::Status::Found)) << name;
    }
}

TEST(ColumnCache, LeastRecentlyUsedGoFirstAndTooLargeIsRefused) {
    CacheHome home("cache-evict");
    std::vector<CacheKey> keys;
    for (int k = 0; k < 4; ++k) {
        keys.push_back(NewSource(home.dir / std::to_string(k), std::string(size_t(k + 1), 'x')));
    }
    for (int k = 0; k < 3; ++k) ASSERT_TRUE(WriteEntry(keys[k]));
    // Used in the order 1, 0, 2, whatever the clock's grain.
    for (const auto& [k, when] : std::vector<std::pair<int, int>>{{1, 10}, {0, 20}, {2, 30}}) {
        const timespec times[2] = {{when, 0}, {when, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (Folder(home) / keys[k].Hash() / "used").c_str(), times, 0),
                  0);
    }
    std::vector<CacheListing> list;
    std::string error;
    ASSERT_TRUE(ListCache(list, error));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].source, keys[1].path);
    const std::uint64_t each = list[0].bytes;
    // Opened, the least recently used is the most.
    EXPECT_TRUE(OpenEntry(keys[1], CacheEntry::Status::Found));
    ASSERT_TRUE(WriteEntry(keys[3], 3 * each));
    OpenEntry(keys[0], CacheEntry::Status::Missing);
    for (int k : {1, 2, 3}) EXPECT_TRUE(OpenEntry(keys[k], CacheEntry::Status::Found)) << k;

    CacheWriter w;
    EXPECT_FALSE(w.Begin(keys[1], kLayout, 200));
    EXPECT_NE(w.Error().find("would not fit in the cache's limit"), std::string::npos);
    ASSERT_TRUE(ListCache(list, error));
    EXPECT_EQ(list.size(), 3u);  // nothing evicted for an entry that never comes
}

// What a writer leaves unfinished counts in the limit; a killed writer's is swept away.
TEST(ColumnCache, UnfinishedFoldersCountAndAKilledWritersGo) {
    CacheHome home("cache-partial");
    std::vector<CacheKey> keys;
    for (const char* name : {"live", "dead", "kept", "made"}) {
        keys.push_back(NewSource(home.dir / name));
    }
    ASSERT_TRUE(WriteEntry(keys[2]));
    CacheWriter live;
    ASSERT_TRUE(live.Begin(keys[0], {{"x"}, {1000}, {}}, 1 << 20)) << live.Error();
    const std::vector<double> x(600, 1.0);
    ASSERT_TRUE(live.Append(0, 0, x.data(), nullptr, x.size()));
    const fs::path dead = Folder(home) / (keys[1].Hash() + ".tmp-Xk1ll3");
    fs::create_directories(dead);
    test::Spit(dead / "v0r0.f64", std::string(3000, 'x'));
    std::vector<CacheListing> list;
    CachePartial partial;
    std::string error;
    ASSERT_TRUE(ListCache(list, error, &partial));
    ASSERT_EQ(list.size(), 1u);
    const std::uint64_t each = list[0].bytes;
    EXPECT_EQ(partial.count, 2u);
    const std::uint64_t liveBytes = partial.bytes - 3000;
    EXPECT_GE(liveBytes, 4800u);
    // Two entries and the live writer's folder are one byte too many: the older entry goes.
    ASSERT_TRUE(WriteEntry(keys[3], 2 * each + liveBytes - 1));
    EXPECT_FALSE(fs::exists(dead));
    ASSERT_TRUE(ListCache(list, error, &partial));
    EXPECT_EQ(partial.count, 1u);
    OpenEntry(keys[2], CacheEntry::Status::Missing);
    EXPECT_TRUE(OpenEntry(keys[3], CacheEntry::Status::Found));
}

// Makes the cache folder in a folder of `mode`.
std::function<void(const fs::path&)> InWritableFolder(mode_t mode) {
    return [mode](const fs::path& f) {
        fs::create_directories(f);
        ASSERT_EQ(::chmod(f.parent_path().c_str(), mode), 0);
    };
}

TEST(ColumnCache, FolderNotOursIsRefused) {
    const std::vector<std::pair<const char*, std::function<void(const fs::path&)>>> folders = {
        {"not writable",
         [](const fs::path& f) {
             fs::create_directories(f);
             // Permission bits do not stop root; another owner does.
             ASSERT_EQ(
                 ::geteuid() == 0 ? ::chown(f.c_str(), 65534, 65534) : ::chmod(f.c_str(), 0500), 0);
         }},
        {"a file", [](const fs::path& f) { test::Spit(f, ""); }},
        {"a link to a folder others can write to",
         [](const fs::path& f) {
             fs::create_directories(f.parent_path() / "shared");
             ASSERT_EQ(::chmod((f.parent_path() / "shared").c_str(), 0777), 0);
             fs::create_directory_symlink(f.parent_path() / "shared", f);
         }},
        // Each write bit alone refuses the folder it is in.
        {"in a folder its group can write to", InWritableFolder(0770)},
        {"in a folder others can write to", InWritableFolder(0707)},
    };
    for (const auto& [name, make] : folders) {
        CacheHome home(std::string("cache-refused-") + name);
        fs::create_directories(Folder(home).parent_path());
        make(Folder(home));
        std::string folder, error;
        EXPECT_FALSE(CacheFolder(folder, error)) << name;
        EXPECT_NE(error.find("Cannot use the cache folder"), std::string::npos) << error;
        CacheKey nowhere;
        nowhere.path = "/x";
        CacheWriter w;
        EXPECT_FALSE(w.Begin(nowhere, kLayout, 1 << 20)) << name;
        OpenEntry(nowhere, CacheEntry::Status::Refused);
        ::chmod(Folder(home).c_str(), 0700);
        ::chmod(Folder(home).parent_path().c_str(), 0700);
    }
    // A user's own link to a folder elsewhere (a larger disk) is followed, and so is a
    // sticky folder others can write to.
    CacheHome home("cache-linked");
    fs::create_directories(home.dir / "disk/mine");
    fs::create_directories(Folder(home).parent_path());
    ASSERT_EQ(::chmod((home.dir / "disk").c_str(), 01777), 0);
    ASSERT_EQ(::chmod((home.dir / "disk/mine").c_str(), 0700), 0);
    fs::create_directory_symlink(home.dir / "disk/mine", Folder(home));
    std::string folder, error;
    EXPECT_TRUE(CacheFolder(folder, error)) << error;
    EXPECT_EQ(folder, fs::canonical(home.dir / "disk/mine").string());
}

TEST(ColumnCache, SecondWriterOfOneKeyWaitsAndFindsTheEntry) {
    CacheHome home("cache-two-writers");
    const CacheKey key = NewSource(home.dir / "a.raw");
    CacheLayout one{{"x"}, {1}, {}};
    CacheWriter first;
    ASSERT_TRUE(first.Begin(key, one, 1 << 20));
    std::atomic<bool> begun{false};
    CacheWriter second;
    bool secondOk = false;
    std::thread other([&] {
        secondOk = second.Begin(key, one, 1 << 20);
        begun = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(begun);
    const double x = 4.5;
    const bool committed = first.Append(0, 0, &x, nullptr, 1) && first.Commit();
    other.join();
    EXPECT_TRUE(committed) << first.Error();
    EXPECT_TRUE(secondOk) << second.Error();
    EXPECT_TRUE(second.Finished());
    EXPECT_EQ(home.Entries(), 1u);  // no lock file or temporary folder left
}

const std::vector<std::string> kNames = {"time", "V(out)", "I(L1)"};
const std::vector<std::int64_t> kRows = {40, 7};

double RunSample(int v, int r, int i) {
    return v == 0 ? (r == 0 ? i * 0.5 : i * i * 0.1) : v * 10.0 + r + std::sin(i);
}
// I(L1) in the first run has a few invalid samples; everything else is valid.
bool RunValid(int v, int r, int i) {
    return !(v == 2 && r == 0 && i % 13 == 5);
}

// Writes the entry with `extras` replaced as `damage` says (none: as written).
bool WriteWithExtras(const CacheKey& key, const std::function<void(CacheLayout&)>& damage = {},
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
                values.push_back(RunSample(v, r, i));
                valid[i] = RunValid(v, r, i);
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
    const CacheKey key = NewSource(home.dir / "a.raw");
    ASSERT_TRUE(WriteWithExtras(key));
    auto entry = OpenEntry(key, CacheEntry::Status::Found);
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
                EXPECT_EQ(var.Flags()[i], RunValid(v, r, i) ? kPointValid : kPointInvalid);
            }
            const auto pyramid = CachedPyramid(*data.Get(), v, r);
            ASSERT_TRUE(pyramid);
            EXPECT_EQ(pyramid->Rows(), kRows[r]);
        }
    }

    EXPECT_NE(ValidBlockInode(data->Variable(1)->Flags()), "") << "all valid: shared";
    EXPECT_EQ(ValidBlockInode(data->Variable(2)->Flags()), "") << "some invalid: own bytes";

    // A write stays in memory; the cache and the other columns keep what they had.
    const fs::path file = home.dir / "cache/kurvex" / key.Hash() / "v1r0.f64";
    const std::string before = test::Slurp(file);
    data->Variable(1)->Values()[3] = 1e9;
    data->Variable(1)->Flags()[4] = kPointInvalid;
    EXPECT_EQ(data->Variable(0)->Flags()[4], kPointValid);
    EXPECT_EQ(test::Slurp(file), before);

    // The data set outlives both the handle and the entry's removal.
    entry.reset();
    std::size_t removed = 0;
    std::uint64_t bytes = 0;
    ASSERT_TRUE(ClearCache(removed, bytes, error));
    EXPECT_EQ(removed, 1u);
    OpenEntry(key, CacheEntry::Status::Missing);
    EXPECT_EQ(data->Run(1)->Variable(2)->Values()[6], RunSample(2, 1, 6));

    // Growing copies the samples into memory of the data set's own.
    ASSERT_TRUE(data->ResizeRows(100));
    EXPECT_FALSE(data->Variable(1)->Borrowed());
    EXPECT_EQ(data->Variable(1)->Values()[3], 1e9);
    EXPECT_EQ(data->Variable(1)->Values()[39], RunSample(1, 0, 39));
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
        const CacheKey key = NewSource(home.dir / "a.raw");
        ASSERT_TRUE(WriteWithExtras(key, damage, badExtra)) << name;
        CResultDataRef data;
        const CResultData* before = data.Get();
        std::string error;
        EXPECT_FALSE(OpenCachedResult(OpenEntry(key, CacheEntry::Status::Found), data, error))
            << name;
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
}

// Partition points of a sorted cached column found through its pyramid are
// the search's over its samples: runs of equal samples across buckets, tests
// below, between, on and above the samples, and windows that cut them off.
TEST(CachedResult, PartitionPointsThroughThePyramidAreTheSearchesOnes) {
    CacheHome home("partition-points");
    constexpr std::int64_t kPoints = 3 * 64 * 64 + 17;  // three levels and a part bucket
    const auto time = [](std::int64_t p) { return double(p / 100); };
    test::CachedAndPlain made;
    ASSERT_NO_FATAL_FAILURE(test::ConvertAndRead(
        home,
        test::NgspicePlot(
            "Transient Analysis", kPoints,
            [&](int v, std::int64_t p) { return v == 0 ? time(p) : std::sin(double(p)); }),
        made));
    CResultDataRef& data = made.cached;
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

    // The column's summary borrows the mapped pyramid rather than copying a
    // level of it, and keeps the mapping after the data set is gone.
    const auto s = data.Summary(1);
    ASSERT_TRUE(s);
    EXPECT_LT(s->Bytes(), 1024u);
    const double* v = data->Variable(1)->Values();
    const std::vector<std::uint8_t> f(kPoints, kPointValid);
    double wantMin = 0, wantMax = 0, mn = 0, mx = 0;
    ASSERT_TRUE(CleanExtents(v, f.data(), 1, n, wantMin, wantMax));
    made.entry.reset();
    data = CResultDataRef();
    ASSERT_TRUE(s->CleanExtents(v, f.data(), 1, n, mn, mx));
    EXPECT_TRUE(mn == wantMin && mx == wantMax) << mn << " " << mx;
}

}  // namespace
}  // namespace kurvex
