// Loads one result file as kurvex-cli does and prints what that cost the
// whole process, in the same form as kurvex_floor_read: seconds from start
// to loaded, rows, and the resident and peak memory in kB.
//
// Usage: kurvex_read_probe FILE
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "BenchSupport.h"
#include "data/document/ResultFile.h"

namespace {

class ToStderr : public kurvex::UserMessages {
public:
    void Show(const std::string& text, kurvex::MessageIcon) override {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    kurvex::CResultDataRef data;
    ToStderr messages;
    kurvex::LoadOptions options;
    options.showWarnings = false;
    if (!kurvex::LoadResultFile(argv[1], data, nullptr, messages, options)) return 1;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("seconds %.4f rows %d variables %d resident_kb %ld peak_kb %ld\n", seconds,
                data->RowCount(), data->VariableCount(), StatusKb("VmRSS:"), StatusKb("VmHWM:"));
    return 0;
}
