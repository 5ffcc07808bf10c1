#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "TestSupport.h"
#include "cli/CliTestSupport.h"
#include "data/ColumnCache.h"

namespace kurvex::cli {
namespace {

using clitest::Cli;
using clitest::CliRun;

TEST(CacheCli, ListsAndClearsWhatTheWriterMade) {
    const auto dir = test::FreshDir("cache-cli");
    ::setenv("XDG_CACHE_HOME", dir.c_str(), 1);
    for (const char* name : {"a.raw", "b.raw"}) {
        test::Spit(dir / name, name);
        CacheKey key;
        std::string error;
        ASSERT_TRUE(KeyOf((dir / name).string(), key, error)) << error;
        CacheWriter w;
        ASSERT_TRUE(w.Begin(key, {{"x"}, {200000}, {}}, 1 << 24)) << w.Error();
        const std::vector<double> x(200000, 1.0);
        ASSERT_TRUE(w.Append(0, 0, x.data(), nullptr, x.size()) && w.Commit()) << w.Error();
    }
    CliRun list = Cli({"cache", "--list"});
    EXPECT_EQ(list.status, 0) << list.err;
    for (const char* name : {"a.raw", "b.raw"})
        EXPECT_NE(list.out.find((dir / name).string() + "\t1.6 MB\t"), std::string::npos)
            << list.out;
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 2);
    CliRun json = Cli({"cache", "--list", "--json"});
    EXPECT_NE(json.out.find("{\"source\": \"" + (dir / "a.raw").string() + "\", \"bytes\": 1625"),
              std::string::npos)
        << json.out;

    CliRun clear = Cli({"cache", "--clear"});
    EXPECT_EQ(clear.status, 0);
    EXPECT_NE(clear.out.find("removed 2 entries, 3.3 MB"), std::string::npos) << clear.out;
    EXPECT_EQ(Cli({"cache", "--list", "--json"}).out, "{\"entries\": []}\n");
    EXPECT_EQ(Cli({"cache", "--clear", "--json"}).out, "{\"removed\": 0, \"bytes\": 0}\n");

    EXPECT_EQ(Cli({"cache"}).status, 2);
    EXPECT_EQ(Cli({"cache", "--list", "--clear"}).status, 2);
    test::Spit(dir / "kurvex-file", "");
    ::setenv("XDG_CACHE_HOME", (dir / "kurvex-file").c_str(), 1);
    CliRun refused = Cli({"cache", "--list"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("Cannot"), std::string::npos) << refused.err;
    ::unsetenv("XDG_CACHE_HOME");
}

}  // namespace
}  // namespace kurvex::cli
