#include "analysis/FftSizeTable.h"

#include <algorithm>
#include <cstddef>

namespace kurvex {
namespace detail {
extern const std::uint8_t kFftSizeTableBytes[];
extern const std::size_t kFftSizeTableByteCount;
}  // namespace detail

FftSizeTable FftSizeTable::FromBytes(std::span<const std::uint8_t> bytes) {
    FftSizeTable table;
    const std::size_t count = bytes.size() / 4;
    table.entries_.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* b = bytes.data() + 4 * i;
        const std::uint32_t v = std::uint32_t{b[0]} | (std::uint32_t{b[1]} << 8) |
                                (std::uint32_t{b[2]} << 16) | (std::uint32_t{b[3]} << 24);
        table.entries_[i] = static_cast<std::int32_t>(v);
    }
    return table;
}

const FftSizeTable& FftSizeTable::Instance() {
    static const FftSizeTable table =
        FromBytes({detail::kFftSizeTableBytes, detail::kFftSizeTableByteCount});
    return table;
}

std::int32_t FftSizeTable::Snap(std::int32_t n) const {
    const auto above = std::upper_bound(entries_.begin(), entries_.end(), n);
    if (above == entries_.end() || above == entries_.begin()) return n;
    const std::int32_t hi = *above;
    const std::int32_t lo = *(above - 1);
    // 64-bit differences: entries and n may both be near the int32 limit.
    const std::int64_t dHi = std::int64_t{hi} - n;
    const std::int64_t dLo = std::int64_t{n} - lo;
    return dHi < dLo ? hi : lo;
}

}  // namespace kurvex
