// Build-time host program: writes the admissible FFT lengths as a C++ source
// holding their little-endian 32-bit bytes, so the core embeds the table
// without a resource system.
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr std::uint32_t kLimit = 2000000;
constexpr std::uint32_t kPrimes[] = {3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41};

bool IsSmooth(std::uint32_t n) {
    for (std::uint32_t p : kPrimes)
        while (n % p == 0) n /= p;
    return n == 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.cpp\n", argv[0]);
        return 2;
    }
    std::vector<std::uint32_t> sizes;
    for (std::uint32_t n = 3; n < kLimit; n += 2)
        if (IsSmooth(n)) sizes.push_back(n);

    std::FILE* out = std::fopen(argv[1], "w");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(out,
                 "// Generated at build time by FftTableGen; edits are lost.\n"
                 "#include <cstddef>\n#include <cstdint>\n\n"
                 "namespace kurvex::detail {\n\n"
                 "extern const std::uint8_t kFftSizeTableBytes[] = {\n");
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::uint32_t v = sizes[i];
        std::fprintf(out, "0x%02x,0x%02x,0x%02x,0x%02x,%s", v & 0xffu, (v >> 8) & 0xffu,
                     (v >> 16) & 0xffu, (v >> 24) & 0xffu, (i % 4 == 3) ? "\n" : "");
    }
    std::fprintf(out,
                 "};\nextern const std::size_t kFftSizeTableByteCount = "
                 "sizeof(kFftSizeTableBytes);\n\n}  // namespace kurvex::detail\n");
    return std::fclose(out) == 0 ? 0 : 1;
}
