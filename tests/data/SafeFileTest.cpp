#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TestSupport.h"
#include "data/SafeFile.h"

namespace kurvex {
namespace {

namespace fs = std::filesystem;

using test::Slurp;

TEST(SafeFile, ReplacesTargetOnlyOnCommit) {
    const fs::path dir = test::FreshDir("kurvex-safefile-test");
    const fs::path target = dir / "out.txt";
    test::Spit(target, "old");
    {
        SafeFile f;
        ASSERT_TRUE(f.Open(target.string()));
        std::fputs("new", f.Stream());
        // Abandoned: the old file stays and no temporary is left.
    }
    EXPECT_EQ(Slurp(target), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    SafeFile f;
    ASSERT_TRUE(f.Open(target.string()));
    std::fputs("new", f.Stream());
    ASSERT_TRUE(f.Commit());
    EXPECT_EQ(Slurp(target), "new");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    SafeFile bad;
    EXPECT_FALSE(bad.Open((dir / "no" / "such" / "dir.txt").string()));
    EXPECT_NE(bad.Error().find("No such file"), std::string::npos);
    SafeFile onDir;
    EXPECT_FALSE(onDir.Open(dir.string()));
    EXPECT_NE(onDir.Error().find("Is a directory"), std::string::npos);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace kurvex
