#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <limits>
#include <optional>
#include <set>
#include <string>

#include "TestSupport.h"
#include "data/formats/IniFile.h"
#include "data/platform/SafeFile.h"

namespace kurvex {
namespace {

namespace fs = std::filesystem;

using test::FreshDir;
using test::Slurp;

// Sections and keys match whatever their case, blanks around a value go, and the
// first of equal sections and keys counts; comments, stray keys and lines of
// neither kind are no keys, and a header without its bracket starts no section.
TEST(IniFile, LookupsFindTheFirstKeyAsWritten) {
    const IniFile ini = IniFile::Parse(
        "orphan=1\n[Main]\r\nFFT Start = 0.25 \r\nXAxis=Time\r\n[screen0]\nCurveCount=2\n"
        "[A]\nk=1\nK=2\n;c=1\n# j=2\nno equals sign\n=empty key\n[broken\nm=3\n"
        "[B]\nk=3\n[a]\nk=4\nj=5\n");
    const struct {
        const char *section, *key, *value;  // null: no such key
    } cases[] = {{"Main", "FFT Start", "0.25"},
                 {"main", "fft start", "0.25"},
                 {"Main", "FFTStart", nullptr},
                 {"Main", "CurveCount", nullptr},
                 {"A", "k", "1"},
                 {"A", "j", nullptr},
                 {"A", "c", nullptr},
                 {"A", "# j", nullptr},
                 {"", "orphan", nullptr},
                 {"A", "m", "3"}};
    for (const auto& c : cases) {
        const std::string* got = ini.Find(c.section, c.key);
        EXPECT_EQ(got ? *got : "(none)", c.value ? c.value : "(none)") << c.section << "/" << c.key;
    }
    EXPECT_EQ(ini.Keys("Main"), (std::vector<std::string>{"FFT Start", "XAxis"}));
    EXPECT_EQ(ini.Keys("A"), (std::vector<std::string>{"k", "m"}));
    EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"Main", "screen0", "A", "B"}));
}

TEST(IniFile, NumbersAreLeadingDecimalsAndEmptyIsAbsent) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    struct Case {
        const char* value;           // null: no such key
        std::int32_t integer;        // GetInt with the default 5
        std::optional<double> real;  // GetDouble
    };
    const Case cases[] = {
        {"-12", -12, -12},
        {"12abc", 12, 12},
        {"abc", 0, 0},
        {"", 5, std::nullopt},
        {nullptr, 5, std::nullopt},
        {"1.5e-3", 1, 1.5e-3},
        {"-2D2", -2, -200},
        {"99999999999", kMax, 99999999999.0},
        {"-99999999999", kMin, -99999999999.0},
        {"-2147483648", kMin, -2147483648.0},
    };
    for (const Case& c : cases) {
        const IniFile ini =
            IniFile::Parse(c.value ? std::string("[S]\nk=") + c.value + "\n" : "[S]\n");
        const char* shown = c.value ? c.value : "(none)";
        EXPECT_EQ(ini.GetInt("S", "k", 5), c.integer) << shown;
        EXPECT_EQ(ini.GetDouble("S", "k"), c.real) << shown;
    }
}

TEST(IniFile, SetUpdatesInPlaceAndLeavesEveryOtherLineAlone) {
    IniFile ini = IniFile::Parse(
        "; layout of buck\r\n[Main]\r\nNumScreen = 1\r\nOwner=someone\r\n\r\n; end of main\r\n"
        "[View]\r\nGrid=1\r\n");
    EXPECT_TRUE(ini.Set("main", "numscreen", "3"));
    EXPECT_TRUE(ini.Set("Main", "FFT Start", ""));
    EXPECT_TRUE(ini.Set("Screen0", "CurveCount", "2"));
    EXPECT_EQ(ini.Text(),
              "; layout of buck\r\n[Main]\r\nNumScreen=3\r\nOwner=someone\r\nFFT Start=\r\n\r\n"
              "; end of main\r\n[View]\r\nGrid=1\r\n[Screen0]\r\nCurveCount=2\r\n");
    // The new key is found, and so is the one after which it went in.
    EXPECT_EQ(ini.GetString("Main", "Owner"), "someone");
    EXPECT_EQ(ini.Find("Main", "FFT Start")->size(), 0u);
}

TEST(IniFile, ValuesCannotBreakTheLineAndBadNamesAreRefused) {
    IniFile ini;
    EXPECT_TRUE(ini.Set("S", "Curve_0_Label", "V out\r\n[Main]\nNumScreen=9"));
    const IniFile back = IniFile::Parse(ini.Text());
    EXPECT_EQ(back.GetString("S", "Curve_0_Label"), "V out  [Main] NumScreen=9");
    EXPECT_FALSE(back.HasSection("Main"));
    for (const char* key : {"", "a=b", " lead", "trail ", "[x", ";x", "#x", "a\nb"})
        EXPECT_FALSE(ini.Set("S", key, "1")) << key;
    for (const char* section : {"a]b", " lead", "a\rb"})
        EXPECT_FALSE(ini.Set(section, "k", "1")) << section;
    EXPECT_EQ(ini.Keys("S"), (std::vector<std::string>{"Curve_0_Label"}));
}

TEST(IniFile, TextReadsBackToTheSameFileWhateverTheBytes) {
    std::string nasty = "[S]\nk=a";
    nasty += '\0';
    nasty += "b\n\r\n\r\r\nstray\rline\n[";
    nasty += std::string(1 << 20, 'x');
    nasty += "]\nbig=";
    nasty += std::string(1 << 20, 'y');
    const IniFile ini = IniFile::Parse(nasty);
    EXPECT_EQ(ini.GetString("S", "k"), std::string("a\0b", 3));
    EXPECT_EQ(ini.GetString(std::string(1 << 20, 'x'), "big").size(), size_t{1} << 20);
    const std::string text = ini.Text();
    EXPECT_EQ(IniFile::Parse(text).Text(), text);
}

TEST(IniFile, SaveKeepsForeignKeysAndLoadTellsMissingFromUnreadable) {
    const fs::path dir = FreshDir("inifile-test");
    const std::string path = (dir / "buck.ini").string();
    std::string error;
    IniFile ini;
    EXPECT_EQ(ini.Load(path, error), IniReadStatus::Missing);

    test::Spit(path, "[Main]\nNumScreen=1\nMine=kept\n[Other]\nx=1\n");
    ASSERT_EQ(ini.Load(path, error), IniReadStatus::Ok);
    ini.Set("Main", "NumScreen", "2");
    ASSERT_TRUE(ini.Save(path, error)) << error;
    EXPECT_EQ(Slurp(path), "[Main]\r\nNumScreen=2\r\nMine=kept\r\n[Other]\r\nx=1\r\n");

    // A save that cannot complete leaves the old file as it was.
    const std::string blocked = (dir / "sub").string();
    fs::create_directories(blocked);
    EXPECT_FALSE(ini.Save(blocked, error));
    EXPECT_NE(error.find("sub"), std::string::npos);
    EXPECT_EQ(ini.Load(blocked, error), IniReadStatus::Failed);
    EXPECT_TRUE(ini.Sections().empty());

    const fs::path huge = dir / "huge.ini";
    test::Spit(huge, "");
    fs::resize_file(huge, IniFile::kMaxFileBytes + 1);  // sparse: costs no disk
    EXPECT_EQ(ini.Load(huge.string(), error), IniReadStatus::Failed);
    EXPECT_NE(error.find("larger"), std::string::npos);
}

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
    EXPECT_TRUE(fs::is_symlink(dir / "link2.txt"));
    EXPECT_EQ(Slurp(dir / "real" / "data.txt"), "new");
    EXPECT_EQ(Entries(dir / "real"), std::set<std::string>{"data.txt"});
    // A dangling link gets the file it names.
    fs::create_symlink("real/later.txt", dir / "dangling.txt");
    ASSERT_TRUE(Save(dir / "dangling.txt", "made"));
    EXPECT_EQ(Slurp(dir / "real" / "later.txt"), "made");
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
