#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <ctime>
#include <filesystem>
#include <set>

#include "TestSupport.h"
#include "data/platform/SafeFile.h"

namespace kurvex {
namespace {

namespace fs = std::filesystem;

using test::Slurp;
using test::Spit;

std::set<std::string> Entries(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

bool Save(const fs::path& path, const char* text) {
    SafeFile f;
    if (!f.Open(path.string())) return false;
    std::fputs(text, f.Stream());
    return f.Commit();
}

mode_t ModeOf(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST(SafeFile, ReplacesTargetOnlyOnCommit) {
    const fs::path dir = test::FreshDir("safefile");
    const fs::path target = dir / "out.txt";
    Spit(target, "old");
    {
        SafeFile f;
        ASSERT_TRUE(f.Open(target.string()));
        std::fputs("new", f.Stream());
        // Abandoned: the old file stays and no temporary is left.
    }
    EXPECT_EQ(Slurp(target), "old");
    EXPECT_EQ(Entries(dir).size(), 1u);

    ASSERT_TRUE(Save(target, "new"));
    EXPECT_EQ(Slurp(target), "new");
    EXPECT_EQ(Entries(dir).size(), 1u);

    SafeFile bad;
    EXPECT_FALSE(bad.Open((dir / "no" / "such" / "dir.txt").string()));
    EXPECT_NE(bad.Error().find("No such file"), std::string::npos);
    SafeFile onDir;
    EXPECT_FALSE(onDir.Open(dir.string()));
    EXPECT_NE(onDir.Error().find("Is a directory"), std::string::npos);
}

TEST(SafeFile, KeepsTheModeOfWhatItReplacesAndFollowsLinks) {
    const fs::path dir = test::FreshDir("safefile-mode");
    const mode_t mask = ::umask(0);
    ::umask(mask);
    for (const mode_t mode : {0600, 0640, 0755}) {
        const fs::path target = dir / ("m" + std::to_string(mode));
        Spit(target, "old");
        ASSERT_EQ(::chmod(target.c_str(), mode), 0);
        ASSERT_TRUE(Save(target, "new"));
        EXPECT_EQ(ModeOf(target), mode);
    }
    ASSERT_TRUE(Save(dir / "fresh.txt", "new"));
    EXPECT_EQ(ModeOf(dir / "fresh.txt"), 0666 & ~mask);

    // Through a relative link and a link to that link: the file at the end is replaced.
    fs::create_directories(dir / "real");
    Spit(dir / "real" / "data.txt", "old");
    fs::create_symlink("real/data.txt", dir / "link.txt");
    fs::create_symlink(dir / "link.txt", dir / "link2.txt");
    ASSERT_TRUE(Save(dir / "link2.txt", "new"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
    EXPECT_TRUE(fs::is_symlink(dir / "link2.txt"));
    EXPECT_EQ(Slurp(dir / "real" / "data.txt"), "new");
    EXPECT_EQ(Entries(dir / "real"), std::set<std::string>{"data.txt"});
    // A dangling link gets the file it names.
    fs::create_symlink("real/later.txt", dir / "dangling.txt");
    ASSERT_TRUE(Save(dir / "dangling.txt", "made"));
    EXPECT_EQ(Slurp(dir / "real" / "later.txt"), "made");
    EXPECT_TRUE(fs::is_symlink(dir / "dangling.txt"));
}

TEST(SafeFile, AKilledSaveLeavesTheOldFileWholeAndItsTemporaryGoesOnceStale) {
    const fs::path dir = test::FreshDir("safefile-killed");
    const fs::path target = dir / "run.txt";
    Spit(target, "old");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SafeFile f;
        if (f.Open(target.string())) std::fputs("half", f.Stream()), std::fflush(f.Stream());
        ::raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(Slurp(target), "old");
    std::set<std::string> left = Entries(dir);
    ASSERT_EQ(left.size(), 2u);
    left.erase("run.txt");
    const std::string temp = *left.begin();
    EXPECT_EQ(temp.rfind(std::string("run.txt") + SafeFile::kTempMark, 0), 0u) << temp;

    // Only our own stale temporaries go; a young one may be a save running now.
    const std::string young = "other.txt" + std::string(SafeFile::kTempMark) + "Abc123";
    const std::string lookalike = "notes.kurvex-save-draft.txt";
    const std::string olderScheme = "run.txt.tmp-Abc123";
    for (const std::string& name : {young, lookalike, olderScheme}) Spit(dir / name, "x");
    const auto aged = [&](const std::string& name) {
        const timespec back[2] = {{std::time(nullptr) - SafeFile::kStaleSeconds - 60, 0},
                                  {std::time(nullptr) - SafeFile::kStaleSeconds - 60, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (dir / name).c_str(), back, 0), 0);
    };
    for (const std::string& name : {temp, lookalike, olderScheme}) aged(name);
    ASSERT_TRUE(Save(dir / "another.txt", "new"));
    EXPECT_EQ(Entries(dir),
              (std::set<std::string>{"another.txt", "run.txt", young, lookalike, olderScheme}));
}

}  // namespace
}  // namespace kurvex
