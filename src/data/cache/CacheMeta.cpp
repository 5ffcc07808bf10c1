#include "data/cache/CacheMeta.h"

#include <bit>
#include <cstring>

namespace kurvex {

namespace {

static_assert(std::endian::native == std::endian::little, "cache entries are little-endian");

template <class T>
void Put(std::vector<std::uint8_t>& out, T v) {
    const std::size_t at = out.size();
    out.resize(at + sizeof v);
    std::memcpy(out.data() + at, &v, sizeof v);
}

template <class T>
bool Take(std::span<const std::uint8_t>& in, T& v) {
    if (in.size() < sizeof v) return false;
    std::memcpy(&v, in.data(), sizeof v);
    in = in.subspan(sizeof v);
    return true;
}

// Leads the meta file; raised whenever its layout changes.
constexpr std::uint32_t kMetaMagic = 0x4d54584b;  // "KXTM"
constexpr std::uint32_t kMetaFormat = 2;

}  // namespace

void SortedTracker::Append(const double* values, const bool* valid, std::size_t n) {
    for (std::size_t i = 0; i < n && sorted_; ++i) {
        const double x = values[i];
        // A NaN is in no order: x >= NaN is false, and so is NaN >= x.
        sorted_ = valid[i] && x == x && (!any_ || x >= last_);
        last_ = x;
        any_ = true;
    }
}

std::vector<std::uint8_t> MetaBytes(const CacheMeta& meta) {
    std::vector<std::uint8_t> out;
    Put(out, kMetaMagic);
    Put(out, kMetaFormat);
    for (const CachedRunMeta& run : meta.runs) {
        Put<std::uint8_t>(out, run.equalSpacing ? 1 : 0);
        Put(out, run.step);
        for (const CachedColumnMeta& c : run.columns) {
            Put(out, c.min);
            Put(out, c.max);
            Put<std::uint8_t>(out, c.sorted ? 1 : 0);
        }
    }
    return out;
}

std::optional<CacheMeta> MetaFromBytes(std::span<const std::uint8_t> bytes, std::size_t runs,
                                       std::size_t variables) {
    const std::size_t perRun = 1 + sizeof(double) + variables * (2 * sizeof(double) + 1);
    constexpr std::size_t kHead = 2 * sizeof(std::uint32_t);
    std::uint32_t magic = 0, format = 0;
    if (variables > bytes.size() || runs > bytes.size() || bytes.size() != kHead + runs * perRun ||
        !Take(bytes, magic) || !Take(bytes, format) || magic != kMetaMagic || format != kMetaFormat)
        return std::nullopt;
    CacheMeta meta;
    meta.runs.resize(runs);
    for (CachedRunMeta& run : meta.runs) {
        std::uint8_t even = 0;
        Take(bytes, even);
        Take(bytes, run.step);
        run.equalSpacing = even != 0;
        run.columns.resize(variables);
        for (CachedColumnMeta& c : run.columns) {
            std::uint8_t sorted = 0;
            Take(bytes, c.min), Take(bytes, c.max), Take(bytes, sorted);
            c.sorted = sorted != 0;
        }
    }
    return meta;
}

std::vector<std::uint8_t> RunNamesBytes(const std::vector<std::string>& names) {
    std::vector<std::uint8_t> out;
    for (const std::string& name : names) {
        for (const char c : name) out.push_back(static_cast<std::uint8_t>(c));
        out.push_back('\n');
    }
    return out;
}

std::optional<std::vector<std::string>> RunNamesFromBytes(std::span<const std::uint8_t> bytes,
                                                          std::size_t runs) {
    std::vector<std::string> names;
    std::string name;
    for (const std::uint8_t b : bytes) {
        if (b != '\n') {
            name += static_cast<char>(b);
            continue;
        }
        if (names.size() == runs) return std::nullopt;
        names.push_back(std::move(name));
        name.clear();
    }
    if (!name.empty() || names.size() != runs) return std::nullopt;
    return names;
}

std::string PyramidFileName(std::int32_t v, std::int32_t r) {
    return "pyramid-" + std::to_string(v) + "-" + std::to_string(r);
}

std::vector<std::uint8_t> PyramidBytes(const SummaryPyramid& pyramid) {
    const auto d = std::as_bytes(pyramid.Doubles());
    const auto c = std::as_bytes(pyramid.Valid());
    std::vector<std::uint8_t> out(d.size() + c.size());
    if (!d.empty()) std::memcpy(out.data(), d.data(), d.size());
    if (!c.empty()) std::memcpy(out.data() + d.size(), c.data(), c.size());
    return out;
}

std::optional<SummaryPyramidView> PyramidFromBytes(std::int64_t rows,
                                                   std::span<const std::uint8_t> bytes) {
    std::int64_t buckets = 0;
    for (std::int64_t n : PyramidLayout(rows)) buckets += n;
    const std::size_t doubles = static_cast<std::size_t>(buckets) * 4;
    const std::size_t counts = static_cast<std::size_t>(buckets);
    if (bytes.size() != doubles * sizeof(double) + counts * sizeof(std::uint32_t) ||
        reinterpret_cast<std::uintptr_t>(bytes.data()) % alignof(double) != 0)
        return std::nullopt;
    const auto* d = reinterpret_cast<const double*>(bytes.data());
    const auto* c = reinterpret_cast<const std::uint32_t*>(bytes.data() + doubles * sizeof(double));
    return SummaryPyramidView::Over(rows, {d, doubles}, {c, counts});
}

}  // namespace kurvex
