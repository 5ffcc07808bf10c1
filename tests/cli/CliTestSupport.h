#pragma once

#include <cstdio>
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

}  // namespace kurvex::cli::clitest
