#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "data/BinaryTestSupport.h"
#include "data/model/Extents.h"
#include "data/model/ResultData.h"
#include "data/platform/SampleMemory.h"
#include "data/platform/Workers.h"

namespace kurvex {
namespace {

CResultDataRef MakeColumn(const std::vector<double>& x) {
    return test::MakeColumns({{nullptr, x, {}}}, false, false);
}

TEST(ResultData, SetRowWritesCountedVariablesAndRaisesRowCount) {
    CResultDataRef d;
    ASSERT_TRUE(d.Initialise(kDataSetPlain, 3, 10, 100));
    const double v[3] = {1, 2, 3};
    const std::uint8_t f[3] = {1, 1, 2};
    ASSERT_TRUE(d.SetRow(0, v, f, 0, -1));
    EXPECT_EQ(d->RowCount(), 1);
    EXPECT_EQ(d->Variable(2)->Values()[0], 3.0);
    EXPECT_EQ(d->Variable(2)->Flags()[0], kPointInvalid);

    // A count that runs past the last variable is cut there.
    ASSERT_TRUE(d.SetRow(1, v, f, 2, 5));
    EXPECT_EQ(d->Variable(2)->Values()[1], 1.0);
    EXPECT_EQ(d->Variable(0)->Flags()[1], kPointMissing);

    // Bad first variable or row: nothing written.
    EXPECT_FALSE(d.SetRow(2, v, f, 3, 1));
    EXPECT_FALSE(d.SetRow(2, v, f, -1, 1));
    EXPECT_FALSE(d.SetRow(-1, v, f, 0, 1));
    EXPECT_EQ(d->RowCount(), 2);
}

TEST(ResultData, CapacityGrowsToNextMultipleOfGrowBy) {
    CResultDataRef d;
    d.Initialise(kDataSetPlain, 2, 10, 100);
    const double v[2] = {4, 5};
    const std::uint8_t f[2] = {1, 1};
    ASSERT_TRUE(d.SetRow(10, v, f, 0, 2));
    EXPECT_EQ(d->RowCapacity(), 100);
    ASSERT_TRUE(d.SetRow(100, v, f, 0, 2));
    EXPECT_EQ(d->RowCapacity(), 200);
    // Rows skipped over stay missing and 0.
    EXPECT_EQ(d->Variable(1)->Flags()[50], kPointMissing);
    EXPECT_EQ(d->Variable(1)->Values()[50], 0.0);

    // Capacity never shrinks for a plain data set.
    EXPECT_TRUE(d->ResizeRows(50));
    EXPECT_EQ(d->RowCapacity(), 200);

    // A grow-by that is not positive counts as 100.
    CResultDataRef z;
    z.Initialise(kDataSetPlain, 1, -5, 0);
    EXPECT_EQ(z->RowCapacity(), 0);
    ASSERT_TRUE(z.SetRow(0, v, f, 0, 1));
    EXPECT_EQ(z->RowCapacity(), 100);

    // A row whose capacity would overflow 32 bits is refused.
    EXPECT_FALSE(z.SetRow(2147483647, v, f, 0, 1));
}

TEST(ResultData, ExtentsSkipInvalidAndKeepZeroWhenNothingValid) {
    // Column 1 has only one valid sample: -3 (the helper updates the extents).
    CResultDataRef d = test::MakeColumns(
        {{"X", {0, 1, 2, 3}, {}}, {"Y", {7, -3, 100, 2}, {0, 1, 2, 0}}}, false, true);
    auto extents = [](const CResultDataRef& r, std::int32_t v) {
        return std::pair{r->Variable(v)->Min(), r->Variable(v)->Max()};
    };
    EXPECT_EQ(extents(d, 1), std::pair(-3.0, -3.0));

    EXPECT_EQ(extents(test::MakeColumns({{"m", {5, 5}, {0, 0}}}, false, true), 0),
              std::pair(0.0, 0.0));

    auto scan = d.ScanExtents(1, 0, 3);
    EXPECT_TRUE(scan.sawBad);
    EXPECT_EQ(scan.min, -3.0);
    EXPECT_FALSE(d.ScanExtents(1, 2, 3).found);
    auto clean = d.ScanExtents(0, 1, 2);
    EXPECT_TRUE(!clean.sawBad && clean.min == 1.0 && clean.max == 2.0);
}

TEST(ResultData, UniformTestComparesUpper48BitsOfEveryStep) {
    struct Case {
        std::vector<double> x;
        std::int32_t first, last, uniform;
    };
    const Case cases[] = {
        {{0, 1, 2, 3}, 0, 3, 1}, {{0, 1}, 0, 1, 1},       {{0, 1, 2, 3, 3}, 0, 4, 0},
        {{0, 1, 2, 4}, 0, 3, 0}, {{0, 2, 3, 4}, 0, 3, 0},  // the last or the first step
        {{5, 5, 5}, 0, 2, 0},    {{0, 1, 2, 3}, 2, 2, 0},  // no mean step; one sample
        {{9, 0, 1, 2}, 1, 3, 1},                           // only the rows asked for
    };
    for (const Case& c : cases)
        EXPECT_EQ(CResultDataRef::UniformTest(c.x.data(), c.first, c.last), c.uniform)
            << c.x.size() << " rows " << c.first << ".." << c.last;

    // Steps a hair above the mean, too little to count, leave the whole
    // difference to one end step, which then breaks the spacing alone.
    std::vector<double> lastOff(34), firstOff(34);
    for (int i = 0; i < 33; ++i) lastOff[static_cast<size_t>(i)] = i * (1 + 0x1p-40);
    lastOff[33] = 33;
    firstOff[1] = 1 - 32 * 0x1p-40;
    for (int i = 2; i < 34; ++i)
        firstOff[static_cast<size_t>(i)] = firstOff[1] + (i - 1) * (1 + 0x1p-40);
    EXPECT_EQ(firstOff[33], 33.0);
    EXPECT_EQ(CResultDataRef::UniformTest(lastOff.data(), 0, 32), 1);
    EXPECT_EQ(CResultDataRef::UniformTest(lastOff.data(), 0, 33), 0);
    EXPECT_EQ(CResultDataRef::UniformTest(firstOff.data(), 1, 33), 1);
    EXPECT_EQ(CResultDataRef::UniformTest(firstOff.data(), 0, 33), 0);

    // A time base accumulated in floating point is still uniform: the steps
    // differ only in their last bits.
    std::vector<double> t(1000);
    for (size_t i = 0; i < t.size(); ++i) t[i] = static_cast<double>(i) * 1e-6;
    EXPECT_EQ(CResultDataRef::UniformTest(t.data(), 0, 999), 1);
    t[500] += 1e-9;
    EXPECT_EQ(CResultDataRef::UniformTest(t.data(), 0, 999), 0);
}

TEST(ResultData, LocateBeforeAndAfterScanOrCompute) {
    const CResultDataRef scan = MakeColumn({0, 1, 2, 4, 8});
    const CResultDataRef even = MakeColumn({10, 12, 14, 16, 18});
    const CResultDataRef flat = MakeColumn({3, 3});
    struct Case {
        const CResultDataRef* d;
        bool uniform, before;
        double x;
        std::int32_t last;
        std::optional<std::int32_t> want;
    };
    const Case cases[] = {
        // Scans step one sample outwards so that drawing starts off-screen.
        {&scan, false, true, -5, 4, 0},
        {&scan, false, true, 3, 4, 2},
        {&scan, false, true, 4, 4, 2},
        {&scan, false, true, 9, 4, {}},
        {&scan, false, false, 3, 4, 3},
        {&scan, false, false, 4, 4, 4},
        {&scan, false, false, 100, 4, 4},
        {&scan, false, false, -1, 4, {}},
        // Uniform X: one division; a quarter step in picks the sample below
        // (before) or above (after).
        {&even, true, true, 13.5, 4, 1},
        {&even, true, true, 18, 4, 4},
        {&even, true, false, 12.5, 4, 2},
        {&even, true, false, 10, 4, 0},
        {&even, true, true, 9.9, 4, {}},
        {&even, true, false, 18.1, 4, {}},
        {&even, true, true, std::nan(""), 4, {}},
        {&flat, true, true, 3, 1, 0},
        {&flat, true, false, 3, 1, 1},
        {&flat, true, true, 2, 1, {}},
    };
    for (const Case& c : cases) {
        const auto got = c.before ? c.d->LocateBefore(0, c.x, c.uniform, 0, c.last)
                                  : c.d->LocateAfter(0, c.x, c.uniform, 0, c.last);
        EXPECT_EQ(got, c.want) << (c.before ? "before " : "after ") << c.x
                               << (c.uniform ? " uniform" : " scan");
    }
}

TEST(ResultData, SortednessIsKnownOncePerStateOfTheRows) {
    CResultDataRef d = MakeColumn({0, 1, 1, 4});
    EXPECT_TRUE(d.IsSorted(0));
    EXPECT_FALSE(MakeColumn({0, 2, 1}).IsSorted(0));
    EXPECT_FALSE(d.IsSorted(1));
    // A new row out of order is seen: the answer follows the change counter.
    const double back = 3;
    const std::uint8_t valid = kPointValid;
    d.SetRow(4, &back, &valid, 0, 1);
    EXPECT_FALSE(d.IsSorted(0));
    // An invalid sample makes a column unfit for bisection.
    CResultDataRef gap = MakeColumn({0, 1, 2});
    gap->Variable(0)->Flags()[1] = kPointInvalid;
    EXPECT_FALSE(gap.IsSorted(0));
}

TEST(ResultData, FindVariableMatchesTheTextIgnoringAsciiCase) {
    // The third name is in Windows-1252; it is asked for in UTF-8.
    CResultDataRef d =
        test::MakeColumns({{"Time", {0}, {}}, {"Vout", {0}, {}}, {"I\xB5", {0}, {}}}, false, false);
    const std::pair<const char*, std::int32_t> cases[] = {
        {"VOUT", 1}, {"Vou", -1}, {nullptr, -1}, {"i\xC2\xB5", 2}};
    for (const auto& [name, want] : cases)
        EXPECT_EQ(d.FindVariable(name), want) << (name ? name : "(null)");
}

TEST(ResultData, HandlesShareAndInitialiseLeavesOtherHoldersAlone) {
    CResultDataRef a = MakeColumn({1, 2, 3});
    CResultDataRef b(a);
    EXPECT_EQ(a->RefCount(), 2);
    a.Initialise(kDataSetPlain, 1, 1, 100);
    EXPECT_NE(a.Get(), b.Get());
    EXPECT_EQ(b->RefCount(), 1);
    EXPECT_EQ(test::Samples(b, 0), (std::vector<double>{1, 2, 3}));
}

TEST(ResultData, ResizeKeepsVariablesOthersHold) {
    CResultDataRef d = MakeColumn({1, 2, 3});
    RefPtr<CResultVariable> held(d->Variable(0));
    const double* before = held->Values();
    ASSERT_TRUE(d->ResizeRows(1000));
    // The holder keeps its own samples; the data set works on a copy.
    EXPECT_NE(d->Variable(0), held.get());
    EXPECT_EQ(held->Values(), before);
    EXPECT_EQ(d->Variable(0)->Values()[2], 3.0);
    EXPECT_EQ(d->Variable(0)->Flags()[999], kPointMissing);

    ASSERT_TRUE(d->ResizeVariables(3));
    EXPECT_EQ(d->VariableCount(), 3);
    EXPECT_EQ(d->Variable(2)->Capacity(), 1000);
    EXPECT_EQ(d->Variable(0)->Values()[1], 2.0);
    EXPECT_TRUE(d->ResizeVariables(2));  // never shrinks
    EXPECT_EQ(d->VariableCount(), 3);
}

TEST(Workers, ADefaultCountStandsInForTheCores) {
    const int cores = WorkerCount();
    SetDefaultWorkerCount(1);
    EXPECT_EQ(WorkerCount(), 1);
    EXPECT_EQ(WorkerCount(3), 3);  // asked for: as asked
    SetDefaultWorkerCount(-4);
    EXPECT_EQ(WorkerCount(), cores);
}

TEST(ResultData, WorkerThreadsMayHoldAndReleaseHandles) {
    CResultDataRef d = MakeColumn({1, 2, 3});
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([copy = d]() mutable {
            for (int i = 0; i < 10000; ++i) {
                CResultDataRef again(copy);
                RefPtr<CResultVariable> v(again->Variable(0));
            }
        });
    }
    for (auto& w : workers) w.join();
    EXPECT_EQ(d->RefCount(), 1);
    EXPECT_EQ(d->Variable(0)->RefCount(), 1);
}

TEST(ResultData, HighPassKindKeepsFurtherArraysInStep) {
    CResultDataRef d(kDataSetHighPass);
    ASSERT_TRUE(d.Initialise(kDataSetHighPass, 3, 10, 100));
    auto* hp = static_cast<HighPassResultData*>(d->Extension());
    ASSERT_NE(hp, nullptr);
    EXPECT_EQ(hp->Values().size(), 2u);
    d.SetName(1, "Va");
    for (int a = 0; a < 3; ++a) EXPECT_EQ(hp->Extra(a, 1)->Name(), "Va");
    ASSERT_TRUE(d->ResizeVariables(5));
    EXPECT_EQ(hp->Values().size(), 4u);
    EXPECT_EQ(hp->Extra(2, 4)->Capacity(), 10);
    // This kind follows the capacity down.
    ASSERT_TRUE(d->ResizeRows(4));
    EXPECT_EQ(d->RowCapacity(), 4);
    EXPECT_EQ(hp->Extra(0, 0)->Capacity(), 4);
}

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

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
        EXPECT_TRUE(test::SameBits(got.min, want.min)) << got.min << " vs " << want.min;
        EXPECT_TRUE(test::SameBits(got.max, want.max)) << got.max << " vs " << want.max;
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
        {1.0, 5.0, kPointValid},  {1.0, -5.0, kPointValid}, {1.0, 1e300, kPointInvalid},
        {1.0, kNan, kPointValid},                            // a later NaN is passed over
        {kNan, 5.0, kPointValid},                            // a first NaN stays
        {0.0, -0.0, kPointValid}, {-0.0, 0.0, kPointValid},  // the earlier zero stays
        {3.0, -0.0, kPointValid}, {-3.0, 0.0, kPointValid}, {1.0, -HUGE_VAL, kPointValid},
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

// The smallest bound wins, whichever it is: a reader under ulimit -v or a cgroup's
// memory.max must not take MemAvailable for what it may fill.
TEST(SampleMemory, TheTightestOfTheSystemTheAddressLimitAndTheCgroup) {
    const auto dir = test::FreshDir("sample-memory");
    for (const char* cgroup : {"a/b/c", "full"}) std::filesystem::create_directories(dir / cgroup);
    test::Spit(dir / "a/memory.max", "max\n");
    test::Spit(dir / "a/b/memory.max", "1000000\n");
    test::Spit(dir / "a/b/memory.current", "700000\n");
    test::Spit(dir / "a/b/memory.stat", "anon 500000\nfile 300000\n");
    test::Spit(dir / "a/b/c/memory.max", "max\n");
    test::Spit(dir / "full/memory.max", "1000\n");
    test::Spit(dir / "full/memory.current", "5000\n");
    const std::string root = dir.string();
    struct Case {
        const char* name;
        MemoryBounds bounds;
        std::uint64_t headroom;
    } cases[] = {
        {"MemAvailable alone", {8000, UINT64_MAX, 0, UINT64_MAX}, 8000},
        {"under ulimit -v", {8000, 5000, 3000, UINT64_MAX}, 2000},
        {"address space beyond the limit", {8000, 5000, 6000, UINT64_MAX}, 0},
        {"cgroup, file pages given back",
         {1u << 30, UINT64_MAX, 0, CgroupHeadroom(root, "0::/a/b/c\n")},
         600000},
        {"cgroup over its limit", {1u << 30, UINT64_MAX, 0, CgroupHeadroom(root, "0::/full\n")}, 0},
        {"no unified cgroup", {8000, UINT64_MAX, 0, CgroupHeadroom(root, "1:memory:/a/b\n")}, 8000},
    };
    for (const Case& c : cases) EXPECT_EQ(Headroom(c.bounds), c.headroom) << c.name;
}

}  // namespace
}  // namespace kurvex
