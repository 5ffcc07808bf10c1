#pragma once

// What the reader benchmarks share: a message sink that stops the run on the
// first word, and the cp of the same file each reader is measured against.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "data/platform/UserMessages.h"

namespace benchsupport {

// A benchmark whose file is refused measures nothing: stop at once.
class Loud : public kurvex::UserMessages {
public:
    void Show(const std::string& text, kurvex::MessageIcon) override {
        std::fprintf(stderr, "%s\n", text.c_str());
        std::exit(1);
    }
};

// Copies `from` to `to` with cp each round, then removes the copy.
inline void CopyWithCp(benchmark::State& state, const std::string& from, const std::string& to) {
    const std::string command = "cp '" + from + "' '" + to + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) state.SkipWithError("cp failed");
    }
    std::filesystem::remove(to);
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(from)));
}

}  // namespace benchsupport
