#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <tuple>

#include "CacheHome.h"
#include "TestSupport.h"
#include "data/cache/CacheConvert.h"
#include "data/cache/CacheMeta.h"
#include "data/cache/CachedFormula.h"
#include "data/cache/CachedResult.h"
#include "data/formats/RawFile.h"
#include "formula/FormulaVariable.h"

namespace kurvex {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kRows = 100000;

// An ngspice binary plot of TIME, VOUT and IL; IL is 0 every 1000 samples, so
// that 1/IL has invalid samples.
std::string Plot() {
    std::string out =
        "Title: deck\nDate: today\nPlotname: tran\nFlags: real\nNo. Variables: 3\nNo. Points: " +
        std::to_string(kRows) +
        "\nVariables:\n\t0\tTIME\ttime\n\t1\tVOUT\tvoltage\n\t2\tIL\tcurrent\nBinary:\n";
    for (std::int64_t p = 0; p < kRows; ++p) {
        const double v[3] = {p * 1e-6, std::sin(p * 0.003), p % 1000 ? std::cos(p * 0.001) : 0.0};
        out.append(reinterpret_cast<const char*>(v), sizeof v);
    }
    return out;
}

// Each file of the entry's own with its size and modification time.
std::map<std::string, std::pair<std::uintmax_t, std::int64_t>> EntryFiles(const fs::path& dir) {
    std::map<std::string, std::pair<std::uintmax_t, std::int64_t>> files;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("formula-", 0) == 0) continue;
        files[name] = {e.file_size(), e.last_write_time().time_since_epoch().count()};
    }
    return files;
}

void ExpectSame(const FormulaBuild& a, const FormulaBuild& b) {
    ASSERT_TRUE(a.variable && b.variable);
    EXPECT_EQ(std::memcmp(a.variable->Values(), b.variable->Values(), kRows * sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(a.variable->Flags(), b.variable->Flags(), kRows), 0);
    EXPECT_EQ(a.anyInvalid, b.anyInvalid);
    EXPECT_EQ(a.variable->Min(), b.variable->Min());
    EXPECT_EQ(a.variable->Max(), b.variable->Max());
    EXPECT_EQ(b.variable->Name(), a.variable->Name());
}

TEST(CachedFormula, WritesBesideTheEntryWhatMemoryHolds) {
    const test::CacheHome home("CachedFormula");
    test::CachedAndPlain made;
    ASSERT_NO_FATAL_FAILURE(test::ConvertAndRead(home, Plot(), made));
    const CResultDataRef &cached = made.cached, &plain = made.plain;
    const fs::path& entryDir = made.entryDir;
    const auto before = EntryFiles(entryDir);

    FormulaBuildOptions blocks;  // many blocks, of a size no engine block divides
    blocks.cachedRows = 1000;
    blocks.blockRows = 4099;
    blocks.workers = 3;
    const char* const texts[] = {
        "VOUT*2+IL",
        "INT(VOUT)+HIPASS(IL)",           // running functions carried across blocks
        "1/IL+EXP(VOUT*800)+SQRT(VOUT)",  // invalid samples
        "CYCAVG(IL,VOUT)",                // missing samples outside whole cycles
        "GD(VOUT*90)+1",                  // needs the sample after each block's last
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        const FormulaBuild memory = BuildFormulaVariable(plain, text);
        const FormulaBuild mapped = BuildFormulaVariable(cached, text, blocks);
        ExpectSame(memory, mapped);
        EXPECT_TRUE(mapped.variable->Borrowed());
        // A second build maps the same files rather than writing them again.
        const std::string name =
            DerivedColumnName({text, std::to_string(kRows), "TIME", "VOUT", "IL"});
        const auto file = entryDir / (name + ".f64");
        ASSERT_TRUE(fs::exists(file));
        // Its pyramid is the one built from the samples in memory.
        const auto pyramid = SummaryPyramid::Build(
            {{memory.variable->Values(), kRows}, {memory.variable->Flags(), kRows}});
        ASSERT_TRUE(pyramid);
        const std::vector<std::uint8_t> bytes = PyramidBytes(*pyramid);
        EXPECT_TRUE(test::Slurp(entryDir / (name + ".pyramid")) ==
                    std::string(bytes.begin(), bytes.end()));
        // Drawing and measuring find that pyramid through the samples' address.
        const auto placed = PyramidAt(mapped.variable->Values());
        ASSERT_TRUE(placed);
        const PyramidColumn inMemory{{memory.variable->Values(), kRows},
                                     {memory.variable->Flags(), kRows}};
        const PyramidExtents got = placed->pyramid.Extents(placed->column, 0, kRows);
        const PyramidExtents want = pyramid->View().Extents(inMemory, 0, kRows);
        EXPECT_EQ(std::tuple(got.valid, got.min, got.max),
                  std::tuple(want.valid, want.min, want.max));
        const auto written = fs::last_write_time(file);
        ExpectSame(memory, BuildFormulaVariable(cached, text, blocks));
        EXPECT_EQ(fs::last_write_time(file), written);
    }
    EXPECT_EQ(EntryFiles(entryDir), before);
    CacheEntry::Status status;  // the files beside its own are no damage to the entry
    std::string error;
    EXPECT_TRUE(CacheEntry::Open(made.entry->Key(), status, error)) << error;

    // Each run of a cached result has files of its own, however alike the runs;
    // NAME@K over it would resample into memory: refused, saying why.
    CResultDataRef twice, again;
    twice.ShareColumnsOf(*cached.Get());
    again.ShareColumnsOf(*cached.Get());
    twice->AddRun(again.Get(), "b");
    FormulaBuildOptions second = blocks;
    second.run = 1;
    const auto f64 = [&] {
        return std::count_if(fs::directory_iterator(entryDir), {},
                             [](const auto& e) { return e.path().extension() == ".f64"; });
    };
    const auto before64 = f64();
    const FormulaBuild two = BuildFormulaVariable(twice, "VOUT*5", second);
    ExpectSame(BuildFormulaVariable(twice, "VOUT*5", blocks), two);
    EXPECT_TRUE(two.variable->Borrowed());
    EXPECT_EQ(f64(), before64 + 2);
    EXPECT_NE(BuildFormulaVariable(twice, "VOUT@2-VOUT", blocks).error.message.find("100000 rows"),
              std::string::npos);
    EXPECT_TRUE(BuildFormulaVariable(twice, "VOUT@2-VOUT").variable);

    // With the entry's folder gone, the samples go into memory.
    fs::remove_all(entryDir);
    const FormulaBuild fallback = BuildFormulaVariable(cached, "VOUT*3", blocks);
    ExpectSame(BuildFormulaVariable(plain, "VOUT*3"), fallback);
    EXPECT_FALSE(fallback.variable->Borrowed());
}

TEST(CachedFormula, CancelBetweenBlocksLeavesNoFilesAndNoMemoryFallback) {
    const test::CacheHome home("CachedFormulaCancel");
    test::CachedAndPlain made;
    ASSERT_NO_FATAL_FAILURE(test::ConvertAndRead(home, Plot(), made));
    const CResultDataRef &cached = made.cached, &plain = made.plain;
    const fs::path& entryDir = made.entryDir;
    const auto derived = [&] {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(entryDir))
            if (e.path().filename().string().rfind("formula-", 0) == 0)
                names.push_back(e.path().filename().string());
        return names;
    };

    FormulaBuildOptions options;
    options.cachedRows = 1000;
    options.blockRows = 4099;
    // The one decision both the build and the shell go by.
    EXPECT_TRUE(FormulaGoesToCache(cached, "VOUT*2", options));
    EXPECT_FALSE(FormulaGoesToCache(plain, "VOUT*2", options));
    EXPECT_FALSE(FormulaGoesToCache(cached, "VOUT*", options));
    EXPECT_FALSE(FormulaGoesToCache(cached, "VOUT*2"));  // fewer rows than by default
    struct Case {
        const char* text;
        int workers;
        int cancelAfter;  // progress reports heard before the cancel; -1: never
    };
    const Case cases[] = {
        {"INT(VOUT)", 1, 5},  // a running function, in order
        {"VOUT+IL", 3, 2},    // waves of blocks on several workers
        {"VOUT-IL", 3, 0},    // before any block
        {"VOUT*IL", 2, -1},   // not cancelled: monotone up to 1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        options.workers = c.workers;
        std::vector<double> heard;
        options.progress = [&](double share) { heard.push_back(share); };
        options.cancelled = [&] {
            return c.cancelAfter >= 0 && int(heard.size()) >= c.cancelAfter;
        };
        const FormulaBuild build = BuildFormulaVariable(cached, c.text, options);
        EXPECT_TRUE(std::is_sorted(heard.begin(), heard.end()));
        if (c.cancelAfter < 0) {
            ASSERT_TRUE(build.variable);
            EXPECT_FALSE(build.cancelled);
            EXPECT_TRUE(build.variable->Borrowed());
            ASSERT_FALSE(heard.empty());
            EXPECT_EQ(heard.back(), 1.0);
            EXPECT_EQ(derived().size(), 4u);
            continue;
        }
        EXPECT_TRUE(build.cancelled);
        EXPECT_FALSE(build.variable);  // no slow build in memory after a cancel
        EXPECT_EQ(int(heard.size()), c.cancelAfter);
        EXPECT_TRUE(derived().empty());
    }
}

}  // namespace
}  // namespace kurvex
