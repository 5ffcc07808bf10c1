#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "cli/CliCommands.h"

namespace kurvex::cli::clitest {

// What one in-process run of kurvex-cli printed and returned.
struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Reads a temporary stream from its start and closes it.
inline std::string Drain(std::FILE* f) {
    std::rewind(f);
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    std::fclose(f);
    return s;
}

// Runs kurvex-cli with `args` (the command first), capturing both streams.
inline CliRun Cli(const std::vector<std::string>& args) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    CliRun r;
    r.status = RunCli(args, out, err);
    r.out = Drain(out);
    r.err = Drain(err);
    return r;
}

// A file of `text` in the scratch folder of the command-line tests.
inline std::filesystem::path Scratch(const std::string& name, const std::string& text) {
    const std::filesystem::path dir = test::ProcessDir() / "cli";
    std::filesystem::create_directories(dir);
    test::Spit(dir / name, text);
    return dir / name;
}

// The number after "key": in a JSON text; NaN, and a failure, when it is missing.
inline double Field(const std::string& json, const std::string& key) {
    const size_t at = json.find("\"" + key + "\": ");
    EXPECT_NE(at, std::string::npos) << key << " in " << json;
    return at == std::string::npos ? NAN : std::strtod(json.c_str() + at + key.size() + 4, nullptr);
}

}  // namespace kurvex::cli::clitest
