#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "cli/CliCommands.h"
#include "data/LtspiceRawWriter.h"

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

// Whether `text` holds `part`; a failure shows both.
inline testing::AssertionResult Has(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "no \"" << part << "\" in:\n" << text;
}

// Runs `args`, expecting `status`; a failure shows the command line and standard error.
inline CliRun Expect(const std::vector<std::string>& args, int status = 0) {
    CliRun r = Cli(args);
    std::string line;
    for (const std::string& a : args) line += a + " ";
    EXPECT_EQ(r.status, status) << line << "\n" << r.err;
    return r;
}

// A refusal: `status`, nothing on standard output and `says` in standard error, or
// all of it when `says` ends a line.
inline void ExpectRefused(const std::vector<std::string>& args, int status,
                          const std::string& says) {
    const CliRun r = Expect(args, status);
    EXPECT_EQ(r.out, "") << args[0];
    if (!says.empty() && says.back() == '\n') {
        EXPECT_EQ(r.err, says);
    } else {
        EXPECT_TRUE(Has(r.err, says));
    }
}

// A file of `text` in the scratch folder of the command-line tests.
inline std::filesystem::path Scratch(const std::string& name, const std::string& text) {
    const std::filesystem::path dir = test::ProcessDir() / "cli";
    std::filesystem::create_directories(dir);
    test::Spit(dir / name, text);
    return dir / name;
}

// A stepped LTspice file of two runs of two rows: in run K, V = 10 K + time over time 0 and 1.
inline std::string TwoRuns() {
    const test::LtspiceLayout layout{{"time", "V"}, 4, false, true, false, true};
    return Scratch("two-runs.raw",
                   test::LtspiceRaw(layout,
                                    [](auto v, auto p) {
                                        return std::complex<double>(v ? 10.0 * (p / 2 + 1) + p % 2
                                                                      : double(p % 2));
                                    }))
        .string();
}

// The number after "key": in a JSON text; NaN, and a failure, when it is missing.
inline double Field(const std::string& json, const std::string& key) {
    const size_t at = json.find("\"" + key + "\": ");
    EXPECT_NE(at, std::string::npos) << key << " in " << json;
    return at == std::string::npos ? NAN : std::strtod(json.c_str() + at + key.size() + 4, nullptr);
}

}  // namespace kurvex::cli::clitest
