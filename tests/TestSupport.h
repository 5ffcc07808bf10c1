#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "data/UserMessages.h"

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

// Makes `bytes` the whole of the file at `path`.
inline void Spit(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// A folder of the temporary folder, emptied.
inline std::filesystem::path FreshDir(const std::string& name) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// A test with an empty folder of its own, removed afterwards.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = FreshDir("kurvex-" + std::to_string(::getpid()) + "-" +
                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
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
