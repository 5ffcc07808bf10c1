#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "CacheHome.h"
#include "TestSupport.h"
#include "cli/CliTestSupport.h"
#include "data/cache/ColumnCache.h"

namespace kurvex::cli {
namespace {

using clitest::Cli;
using clitest::CliRun;
using clitest::Expect;
using clitest::Has;

TEST(CacheCli, ListsAndClearsWhatTheWriterMade) {
    const test::CacheHome home("cache-cli");
    for (const char* name : {"a.raw", "b.raw"}) {
        test::Spit(home.dir / name, name);
        CacheKey key;
        std::string error;
        ASSERT_TRUE(KeyOf((home.dir / name).string(), key, error)) << error;
        CacheWriter w;
        ASSERT_TRUE(w.Begin(key, {{"x"}, {200000}, {}}, 1 << 24)) << w.Error();
        const std::vector<double> x(200000, 1.0);
        ASSERT_TRUE(w.Append(0, 0, x.data(), nullptr, x.size()) && w.Commit()) << w.Error();
    }
    const CliRun list = Expect({"cache", "--list"});
    for (const char* name : {"a.raw", "b.raw"})
        EXPECT_TRUE(Has(list.out, (home.dir / name).string() + "\t1.6 MB\t"));
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 2);
    CliRun json = Cli({"cache", "--list", "--json"});
    EXPECT_TRUE(
        Has(json.out, "{\"source\": \"" + (home.dir / "a.raw").string() + "\", \"bytes\": 1625"));

    const CliRun clear = Expect({"cache", "--clear"});
    EXPECT_TRUE(Has(clear.out, "removed 2 entries, 3.3 MB"));
    EXPECT_EQ(Cli({"cache", "--list", "--json"}).out,
              "{\"entries\": [], \"partial\": {\"count\": 0, \"bytes\": 0}}\n");
    EXPECT_EQ(Cli({"cache", "--clear", "--json"}).out, "{\"removed\": 0, \"bytes\": 0}\n");

    Expect({"cache", "--list", "--clear"}, 2);
    test::Spit(home.dir / "kurvex-file", "");
    ::setenv("XDG_CACHE_HOME", (home.dir / "kurvex-file").c_str(), 1);
    clitest::ExpectRefused({"cache", "--list"}, 1, "Cannot");
}

// A binary ngspice plot of time and v(out), v(out) being `level` throughout.
std::string LevelPlot(double level, int points) {
    std::string out =
        "Title: t\nDate: d\nPlotname: Transient Analysis\nFlags: real\n"
        "No. Variables: 2\nNo. Points: " +
        std::to_string(points) + "\nVariables:\n\t0\ttime\ttime\n\t1\tv(out)\tvoltage\nBinary:\n";
    for (int p = 0; p < points; ++p)
        for (const double v : {p * 1e-6, level}) out.append(reinterpret_cast<const char*>(&v), 8);
    return out;
}

// What info says of a file read through the cache is what it says read the ordinary way.
TEST(CacheCli, InfoThroughTheCacheSaysWhatTheFileHolds) {
    test::CacheHome home("cache-cli-info");
    const std::string two = (home.dir / "two.raw").string();
    test::Spit(two, LevelPlot(1, 70000) + LevelPlot(2, 70000));
    auto infoBoth = [](const std::vector<std::string>& args) {
        ::setenv("KURVEX_CACHE_ABOVE_MB", "0", 1);
        const CliRun plain = Cli(args);
        ::setenv("KURVEX_CACHE_ABOVE_MB", "1", 1);
        const CliRun cached = Expect(args);
        ::unsetenv("KURVEX_CACHE_ABOVE_MB");
        EXPECT_EQ(cached.out, plain.out);
    };
    infoBoth({"info", two});
    infoBoth({"info", two, "--plot", "2"});

    // A conversion killed part-way is counted.
    const auto dead = home.dir / "cache/kurvex/0123456789abcdef.tmp-k1ll3d";
    std::filesystem::create_directories(dead);
    test::Spit(dead / "v0r0.f64", std::string(300000, 'x'));
    const CliRun list = Cli({"cache", "--list"});
    EXPECT_EQ(list.out.substr(list.out.rfind('\n', list.out.size() - 2) + 1),
              "partial: 1, 0.3 MB\n")
        << list.out;
    EXPECT_TRUE(Has(Cli({"cache", "--list", "--json"}).out,
                    "], \"partial\": {\"count\": 1, \"bytes\": 300000}}"));
}

}  // namespace
}  // namespace kurvex::cli
