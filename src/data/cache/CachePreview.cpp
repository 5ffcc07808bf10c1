#include "data/cache/CachePreview.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "data/cache/CachedResult.h"
#include "data/cache/ColumnCache.h"
#include "data/model/ResultVariable.h"

namespace kurvex {

namespace {

// Only for building: a data set whose arrays are given, not made.
class PartialRun : public CResultData {
public:
    void Adopt(CResultVariable* v) {
        v->AddRef();
        vars_.push_back(v);
    }
    void SetRows(std::int32_t rows) { rowCapacity_ = rowCount_ = rows; }
};

struct Mapping {
    void* base = MAP_FAILED;
    std::size_t size = 0;
    ~Mapping() {
        if (base != MAP_FAILED) ::munmap(base, size);
    }
};

// The first `bytes` of `path`, private and writable as the entry's columns are:
// a write costs a page of this process and never reaches the file.
std::shared_ptr<Mapping> MapFront(const std::string& path, std::size_t bytes, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "Cannot read " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    auto m = std::make_shared<Mapping>();
    m->size = bytes;
    m->base = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_NORESERVE, fd, 0);
    const int err = errno;
    ::close(fd);
    if (m->base == MAP_FAILED) {
        error = "Cannot map " + path + ": " + std::strerror(err);
        return nullptr;
    }
    return m;
}

// Flags of `rows` samples from the bits written to `path`.
std::shared_ptr<std::uint8_t> FlagsFromBits(const std::string& path, std::int32_t rows,
                                            std::string& error) {
    auto map = MapFront(path, std::size_t(rows) / 8, error);
    if (!map) return nullptr;
    std::shared_ptr<std::uint8_t> flags(new (std::nothrow) std::uint8_t[std::size_t(rows)],
                                        std::default_delete<std::uint8_t[]>());
    if (!flags) {
        error = "There is not enough memory for the flags of " + path + ".";
        return nullptr;
    }
    const auto* bits = static_cast<const std::uint8_t*>(map->base);
    for (std::int32_t i = 0; i < rows; ++i)
        flags.get()[i] = (bits[i >> 3] >> (i & 7)) & 1 ? kPointValid : kPointInvalid;
    return flags;
}

struct PartialHold {
    std::shared_ptr<Mapping> values;
    std::shared_ptr<std::uint8_t> flags;
};

}  // namespace

bool PreviewDue(std::int64_t shown, std::int64_t done, std::int64_t total) {
    if (done <= shown || done >= total) return false;
    return shown == 0 ? done >= total / 64 : done >= 2 * shown;
}

bool PartialResult(const CacheWriter& writer, const std::vector<std::string>& names,
                   const std::vector<PartialColumn>& columns, std::int32_t rows, bool equalSpacing,
                   CResultDataRef& data, std::string& error) {
    if (rows <= 0 || rows % 8 != 0 || columns.size() != names.size()) {
        error = "Nothing whole to show yet.";
        return false;
    }
    PartialRun run;
    std::vector<std::shared_ptr<Mapping>> maps;
    bool bad = false;
    for (std::size_t v = 0; v < names.size(); ++v) {
        const auto var = static_cast<std::int32_t>(v);
        auto hold = std::make_shared<PartialHold>();
        hold->values = MapFront(writer.PartialValues(var, 0), std::size_t(rows) * 8, error);
        if (!hold->values) return false;
        maps.push_back(hold->values);
        hold->flags = columns[v].invalid ? FlagsFromBits(writer.PartialFlags(var, 0), rows, error)
                                         : SharedValidFlags(rows);
        if (!hold->flags) {
            if (error.empty()) error = "The flags of " + names[v] + " cannot be mapped.";
            return false;
        }
        bad = bad || columns[v].invalid;
        CResultVariable* variable = CResultVariable::Over(static_cast<double*>(hold->values->base),
                                                          hold->flags.get(), rows, hold);
        variable->SetName(names[v]);
        if (columns[v].extents.found)
            variable->SetExtents(columns[v].extents.min, columns[v].extents.max);
        run.Adopt(variable);
    }
    run.SetRows(rows);
    run.SetBadPoints(bad);
    run.SetUniformX(equalSpacing && rows > 1 && !names.empty());
    CResultDataRef made;
    made.ShareColumnsOf(run);
    if (!names.empty()) made.IsSorted(0);
    for (std::int32_t v = 1; v < static_cast<std::int32_t>(names.size()); ++v) made.Summary(v);
    // Those passes leave every page mapped; the picture needs few of them again, and
    // the page cache keeps them, so the process lets go of them.
    for (const auto& mapping : maps) ::madvise(mapping->base, mapping->size, MADV_DONTNEED);
    data = made;
    return true;
}

}  // namespace kurvex
