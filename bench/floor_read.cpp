// The floor the text reader is measured against: a plain single-threaded
// program that reads a whitespace-separated text file with a name line and
// converts every token with std::from_chars into one vector per column.
// Prints the seconds it took (whole process: I/O and the first touch of its
// memory included), the rows, and the resident and peak memory in kB.
//
// Usage: kurvex_floor_read FILE
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "BenchSupport.h"

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    std::FILE* f = std::fopen(argv[1], "rb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    std::fseek(f, 0, SEEK_END);
    std::string text(static_cast<size_t>(std::ftell(f)), '\0');
    std::fseek(f, 0, SEEK_SET);
    text.resize(std::fread(text.data(), 1, text.size(), f));
    std::fclose(f);

    const char* p = text.data();
    const char* const end = p + text.size();
    // The name line gives the column count.
    size_t columns = 0;
    while (p < end && *p != '\n') {
        while (p < end && *p != '\n' && IsSpace(*p)) ++p;
        if (p == end || *p == '\n') break;
        ++columns;
        while (p < end && !IsSpace(*p)) ++p;
    }
    std::vector<std::vector<double>> data(columns);
    size_t column = 0;
    while (p < end) {
        while (p < end && IsSpace(*p)) ++p;
        if (p == end) break;
        double v = 0;
        const auto r = std::from_chars(p, end, v);
        if (r.ec != std::errc()) {
            std::fprintf(stderr, "bad token at byte %zu\n", static_cast<size_t>(p - text.data()));
            return 1;
        }
        p = r.ptr;
        data[column].push_back(v);
        if (++column == columns) column = 0;
    }
    text.clear();
    text.shrink_to_fit();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("seconds %.4f rows %zu resident_kb %ld peak_kb %ld\n", seconds,
                columns ? data[0].size() : 0, StatusKb("VmRSS:"), StatusKb("VmHWM:"));
    return 0;
}
