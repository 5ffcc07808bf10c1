#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "data/platform/UserMessages.h"

namespace kurvex::test {

// Records what the core would have shown the user.
class RecordingMessages : public UserMessages {
public:
    void Show(const std::string& text, MessageIcon icon) override {
        shown.emplace_back(text, icon);
    }
    std::vector<std::pair<std::string, MessageIcon>> shown;
};

// What `write` wrote to the file it was given; a failure when it returned false.
template <class Fn>
std::string Written(Fn write) {
    std::FILE* f = std::tmpfile();
    EXPECT_TRUE(write(f));
    std::rewind(f);
    std::string out;
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) out.append(chunk, n);
    std::fclose(f);
    return out;
}

// The bytes of a file; empty when it cannot be read.
inline std::string Slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Makes `bytes` the whole of the file at `path`; a failed write fails the test.
inline void Spit(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    if (!out) ADD_FAILURE() << "cannot write the test file " << path;
}

// This process's own folder in the temporary folder, made on first use and removed at exit,
// so that test processes run in parallel, or from two checkouts, never share a file.
inline const std::filesystem::path& ProcessDir() {
    struct Owned {
        std::filesystem::path path;
        pid_t owner = ::getpid();
        Owned() {
            std::string pattern =
                (std::filesystem::temp_directory_path() / "kurvex-test-XXXXXX").string();
            if (!::mkdtemp(pattern.data())) {
                std::perror("mkdtemp");
                std::abort();
            }
            path = pattern;
        }
        ~Owned() {
            std::error_code ignored;
            // A forked child leaving must not take its parent's folder.
            if (::getpid() == owner) std::filesystem::remove_all(path, ignored);
        }
    };
    static const Owned dir;
    return dir.path;
}

// A folder of this process's own folder, emptied.
inline std::filesystem::path FreshDir(const std::string& name) {
    const std::filesystem::path dir = ProcessDir() / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// The folder of result files that other programs wrote, kept beside the repository and never
// in it; empty (with `why` set) when this checkout has none, so that its tests skip.
inline std::filesystem::path PeerData(const std::string& sub, std::string& why) {
    const std::filesystem::path dir = std::filesystem::path(KURVEX_PEER_DATA_DIR) / sub;
    std::error_code ec;
    if (std::filesystem::is_directory(dir, ec)) return dir;
    why = "no peer files at " + dir.string() + " (they live beside the repository)";
    return {};
}

// A test with an empty folder of its own, removed afterwards.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = FreshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    // The number of entries in the folder.
    std::ptrdiff_t Entries() const {
        return std::distance(std::filesystem::directory_iterator(dir_),
                             std::filesystem::directory_iterator());
    }
    std::filesystem::path dir_;
};

}  // namespace kurvex::test
