#include "data/cache/CachedResult.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <span>
#include <unordered_map>
#include <vector>

#include "data/cache/CacheMeta.h"
#include "data/cache/ColumnCache.h"

namespace kurvex {

namespace {

// The block of valid flags every all-valid column maps over and over. Each
// mapping of it is one kernel map area, and a process may have some 65,000:
// 16 MiB keeps a column of 2^31 rows to 128 of them.
constexpr std::size_t kValidBlock = std::size_t(16) << 20;

// Written, not mapped and filled: page faults would cost more than the copies.
int MakeValidBlock() {
    const int fd = ::memfd_create("kurvex-valid-flags", MFD_CLOEXEC);
    if (fd < 0) return -1;
    std::vector<std::uint8_t> chunk(std::size_t(1) << 20, kPointValid);
    for (std::size_t at = 0; at < kValidBlock;) {
        const ssize_t n =
            ::pwrite(fd, chunk.data(), std::min(chunk.size(), kValidBlock - at), off_t(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(fd);
            return -1;
        }
        at += std::size_t(n);
    }
    return fd;
}

int ValidBlock() {
    static const int fd = MakeValidBlock();
    return fd;
}

// Pieces of mapped files a pass is about to read here and there, asked for
// at once: the reads go out together rather than one fault at a time, and a
// fault on a page already asked for reads no megabytes around it.
class ReadAhead {
public:
    template <class T>
    void Add(std::span<const T> array, std::int64_t from, std::int64_t to) {
        from = std::max<std::int64_t>(from, 0);
        to = std::min<std::int64_t>(to, std::int64_t(array.size()));
        if (from < to)
            ranges_.push_back({reinterpret_cast<std::uintptr_t>(array.data() + from),
                               reinterpret_cast<std::uintptr_t>(array.data() + to)});
    }
    void Start() {
        static const auto page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
        constexpr std::uintptr_t kPiece = std::uintptr_t(1) << 20;
        // Pages this close are read as one piece: one read more costs about
        // what that many pages' bytes do.
        const std::uintptr_t gap = 2 * page;
        for (auto& [a, b] : ranges_) {
            a -= a % page;
            b += (page - b % page) % page;
        }
        std::sort(ranges_.begin(), ranges_.end());
        for (std::size_t i = 0; i < ranges_.size();) {
            auto [a, b] = ranges_[i];
            for (++i; i < ranges_.size() && ranges_[i].first <= b + gap; ++i)
                b = std::max(b, ranges_[i].second);
            // The system reads no more than its read-ahead window at one
            // request and drops the rest: longer ranges go in pieces. Only a
            // hint: a refusal leaves the reads to the faults.
            for (; a < b; a += std::min(b - a, kPiece))
                ::madvise(reinterpret_cast<void*>(a), std::min(b - a, kPiece), MADV_WILLNEED);
        }
        ranges_.clear();
    }

private:
    std::vector<std::pair<std::uintptr_t, std::uintptr_t>> ranges_;
};

// Where OpenCachedResult put a column, by its samples' address: while the entry
// lives its mapping holds that address, so a live entry whose column is still
// there proves the record current.
struct Placed {
    std::weak_ptr<const CacheEntry> entry;
    std::int32_t v = 0, r = 0;
    std::weak_ptr<std::uint8_t> flags;
    // Over the entry's mapped bytes: found once, not by name at every query.
    std::optional<SummaryPyramidView> pyramid;
    std::optional<EvenSteps> even;  // of a run's X that its meta found evenly spaced
};

std::mutex& PlacedLock() {
    static std::mutex lock;
    return lock;
}
std::unordered_map<const double*, Placed>& PlacedColumns() {
    // From the first placed column on, data sets take its summary from here.
    static const bool found = (SetBorrowedSummaryFinder(&CachedSummary), true);
    (void)found;
    static std::unordered_map<const double*, Placed> placed;
    return placed;
}

// What keeps a variable's arrays: the entry, and flags of its own or shared.
struct ColumnHold {
    std::shared_ptr<const CacheEntry> entry;
    std::shared_ptr<std::uint8_t> flags;
};

// Only for building: a data set whose arrays are given, not made.
class MappedRun : public CResultData {
public:
    void Adopt(CResultVariable* v) {
        v->AddRef();
        vars_.push_back(v);
    }
    void SetRows(std::int32_t rows) { rowCapacity_ = rowCount_ = rows; }
};

bool AllSet(const std::uint8_t* bits, std::int64_t rows) {
    const std::int64_t full = rows / 8;
    std::uint8_t all = 0xff;
    for (std::int64_t i = 0; i < full; ++i) all &= bits[i];
    if (rows % 8) all &= std::uint8_t(bits[full] | (0xff << (rows % 8)));
    return all == 0xff;
}

std::shared_ptr<std::uint8_t> ExpandedFlags(const std::uint8_t* bits, std::int64_t rows) {
    auto* bytes =
        static_cast<std::uint8_t*>(std::malloc(std::size_t(std::max<std::int64_t>(rows, 1))));
    if (!bytes) return nullptr;
    for (std::int64_t i = 0; i < rows; ++i)
        bytes[i] = (bits[i >> 3] >> (i & 7)) & 1 ? kPointValid : kPointInvalid;
    return std::shared_ptr<std::uint8_t>(bytes, [](std::uint8_t* p) { std::free(p); });
}

std::optional<SummaryPyramidView> PyramidOf(const CacheEntry& entry, std::int32_t v, std::int32_t r,
                                            bool& damaged) {
    const std::string name = PyramidFileName(v, r);
    const auto& extras = entry.Layout().extras;
    damaged = false;
    if (std::find(extras.begin(), extras.end(), name) == extras.end()) return std::nullopt;
    std::size_t size = 0;
    const std::uint8_t* bytes = entry.Extra(name, size);
    auto view = PyramidFromBytes(entry.Layout().rows[std::size_t(r)], {bytes, size});
    damaged = !view;
    // A query reads a few buckets of each level: the megabytes a fault reads
    // around them by default would cost more than the query. Passes over a
    // level ask for its pages beforehand (ReadAhead).
    if (view && size > 0) ::madvise(const_cast<std::uint8_t*>(bytes), size, MADV_RANDOM);
    return view;
}

// What the meta says of the columns' order spares IsSorted its pass; a
// column it does not call sorted is left to be found out.
void KnowSorted(CResultData& run, const CachedRunMeta& meta) {
    std::lock_guard<std::recursive_mutex> hold(run.Lock());
    DerivedColumns& derived = run.Derived();
    derived.Follow(run.ChangeCount(), run.RowCount());
    derived.sorted.assign(std::size_t(run.VariableCount()), -1);
    for (std::size_t v = 0; v < derived.sorted.size() && v < meta.columns.size(); ++v)
        if (meta.columns[v].sorted && run.RowCount() > 0) derived.sorted[v] = 1;
}

// The record of the column at `values`, when its entry lives and the
// address is still that column's.
std::optional<std::pair<Placed, std::shared_ptr<const CacheEntry>>> Find(const double* values) {
    Placed where;
    {
        std::lock_guard<std::mutex> hold(PlacedLock());
        const auto& all = PlacedColumns();
        const auto at = all.find(values);
        if (at == all.end()) return std::nullopt;
        where = at->second;
    }
    auto entry = where.entry.lock();
    // A derived column (v < 0) is its own while its mappings live.
    if (!entry ||
        (where.v >= 0 ? entry->Values(where.v, where.r) != values : where.flags.expired()))
        return std::nullopt;
    return std::pair{std::move(where), std::move(entry)};
}

}  // namespace

std::shared_ptr<std::uint8_t> SharedValidFlags(std::int64_t count) {
    const int fd = ValidBlock();
    if (fd < 0 || count < 0) return nullptr;
    const auto page = std::size_t(::sysconf(_SC_PAGESIZE));
    const std::size_t total =
        std::max<std::size_t>((std::size_t(count) + page - 1) / page * page, page);
    // The range is reserved whole, then the block mapped over it piece by piece.
    void* base =
        ::mmap(nullptr, total, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (base == MAP_FAILED) return nullptr;
    auto* p = static_cast<std::uint8_t*>(base);
    for (std::size_t at = 0; at < total; at += kValidBlock) {
        const std::size_t n = std::min(kValidBlock, total - at);
        // Private and writable, as the samples are: a write stays in this column.
        if (::mmap(p + at, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_FIXED | MAP_NORESERVE, fd,
                   0) == MAP_FAILED) {
            ::munmap(base, total);
            return nullptr;
        }
    }
    return std::shared_ptr<std::uint8_t>(p, [total](std::uint8_t* q) { ::munmap(q, total); });
}

bool OpenCachedResult(std::shared_ptr<const CacheEntry> entry, CResultDataRef& data,
                      std::string& error, const std::vector<std::string>& givenNames) {
    if (!entry) {
        error = "No cache entry to open";
        return false;
    }
    const CacheLayout& layout = entry->Layout();
    const std::string& source = entry->Key().path;
    const auto variables = static_cast<std::int32_t>(layout.names.size());
    const auto runs = static_cast<std::int32_t>(layout.rows.size());
    for (std::int32_t r = 0; r < runs; ++r)
        if (layout.rows[std::size_t(r)] > INT32_MAX) {
            error = "Cannot open the cached " + source + ": run " + std::to_string(r + 1) +
                    " has " + std::to_string(layout.rows[std::size_t(r)]) +
                    " rows, more than a data set holds (" + std::to_string(INT32_MAX) + ")";
            return false;
        }
    if (runs == 0) {
        error = "Cannot open the cached " + source + ": it holds no run";
        return false;
    }
    std::size_t metaSize = 0;
    const std::uint8_t* metaBytes = nullptr;
    const auto& extras = layout.extras;
    if (std::find(extras.begin(), extras.end(), kCacheMetaFile) != extras.end())
        metaBytes = entry->Extra(kCacheMetaFile, metaSize);
    const std::optional<CacheMeta> meta =
        metaBytes ? MetaFromBytes({metaBytes, metaSize}, layout.rows.size(), layout.names.size())
                  : std::nullopt;
    if (!meta) {
        error = "Cannot open the cached " + source + ": its meta file is missing or damaged";
        return false;
    }
    std::vector<std::string> runNames(layout.rows.size());
    if (std::find(extras.begin(), extras.end(), kCacheRunNamesFile) != extras.end()) {
        std::size_t size = 0;
        const std::uint8_t* bytes = entry->Extra(kCacheRunNamesFile, size);
        auto names = RunNamesFromBytes({bytes, size}, layout.rows.size());
        if (!names) {
            error = "Cannot open the cached " + source + ": its run names are damaged";
            return false;
        }
        runNames = std::move(*names);
    }
    if (givenNames.size() == layout.rows.size()) runNames = givenNames;

    std::vector<std::pair<const double*, Placed>> placed;
    CResultDataRef result;
    for (std::int32_t r = 0; r < runs; ++r) {
        const auto rows = static_cast<std::int32_t>(layout.rows[std::size_t(r)]);
        const CachedRunMeta& runMeta = meta->runs[std::size_t(r)];
        MappedRun run;
        bool bad = false;
        for (std::int32_t v = 0; v < variables; ++v) {
            bool damaged = false;
            const auto pyramid = PyramidOf(*entry, v, r, damaged);
            if (damaged) {
                error = "Cannot open the cached " + source + ": the summary of " +
                        layout.names[std::size_t(v)] + " is damaged";
                return false;
            }
            const std::uint8_t* bits = entry->Flags(v, r);
            // The pyramid counts valid samples that are not NaN: when that is all of
            // them, no bit needs reading.
            const bool allValid =
                rows == 0 ||
                (pyramid && pyramid->Level(pyramid->Levels()).valid[0] == std::uint32_t(rows)) ||
                AllSet(bits, rows);
            auto hold = std::make_shared<ColumnHold>();
            hold->entry = entry;
            if (allValid && rows > 0) hold->flags = SharedValidFlags(rows);
            // A column with invalid samples takes a byte a sample of its own: such
            // columns are rare, and a flag array must be bytes.
            if (!hold->flags && rows > 0) hold->flags = ExpandedFlags(bits, rows);
            if (!hold->flags && rows > 0) {
                error = "Cannot open the cached " + source + ": out of memory for the flags of " +
                        layout.names[std::size_t(v)];
                return false;
            }
            bad = bad || !allValid;
            // The samples are mapped writable and private (see CacheEntry::Open).
            auto* values = const_cast<double*>(entry->Values(v, r));
            CResultVariable* var = CResultVariable::Over(values, hold->flags.get(), rows, hold);
            var->SetName(layout.names[std::size_t(v)]);
            const CachedColumnMeta& c = runMeta.columns[std::size_t(v)];
            if (!std::isnan(c.min) && !std::isnan(c.max)) var->SetExtents(c.min, c.max);
            run.Adopt(var);
            std::optional<EvenSteps> even;
            if (v == 0 && runMeta.equalSpacing && rows > 1 && c.sorted && !std::isnan(c.min))
                even = EvenSteps{c.min, runMeta.step, rows};  // sorted: the first is the least
            if (values) placed.push_back({values, Placed{entry, v, r, hold->flags, pyramid, even}});
        }
        run.SetRows(rows);
        run.SetBadPoints(bad);
        run.SetUniformX(runMeta.equalSpacing && rows > 1 && variables > 0);
        if (r == 0) {
            result.ShareColumnsOf(run);
            KnowSorted(*result.Get(), runMeta);
            if (!runNames[0].empty()) result->SetRunName(0, runNames[0]);
        } else {
            CResultDataRef more;
            more.ShareColumnsOf(run);
            KnowSorted(*more.Get(), runMeta);
            result->AddRun(more.Get(), runNames[std::size_t(r)]);
        }
    }
    {
        std::lock_guard<std::mutex> hold(PlacedLock());
        auto& all = PlacedColumns();
        std::erase_if(all, [](const auto& p) { return p.second.entry.expired(); });
        for (auto& [values, where] : placed) all[values] = std::move(where);
    }
    data = result;
    return true;
}

std::optional<SummaryPyramidView> CachedPyramid(const CResultData& data, std::int32_t v,
                                                std::int32_t run) {
    const CResultData* set = data.Run(run);
    if (!set || v < 0 || v >= set->VariableCount()) return std::nullopt;
    const CResultVariable* var = set->Variable(v);
    if (!var->Borrowed() || !var->Values()) return std::nullopt;
    const auto found = Find(var->Values());
    if (!found) return std::nullopt;
    return found->first.pyramid;
}

std::optional<PyramidColumnView> PyramidAt(const double* values) {
    if (!values) return std::nullopt;
    auto found = Find(values);
    if (!found) return std::nullopt;
    auto& [where, entry] = *found;
    auto flags = where.flags.lock();
    if (!flags || !where.pyramid) return std::nullopt;
    const auto rows = std::size_t(where.pyramid->Rows());
    PyramidColumn column{{values, rows}, {flags.get(), rows}};
    return PyramidColumnView{std::move(*where.pyramid), column, std::move(entry), std::move(flags)};
}

namespace {

// True when the sum of |x| over bucket k of `level` is ± its sum: every
// sample in its extremes (an invalid or NaN one is only in the sum) and all
// of one sign.
bool OneSigned(const SummaryPyramidView& p, int level, std::int64_t k) {
    const PyramidLevel& l = p.Level(level);
    const std::int64_t size = SummaryPyramidView::BucketRows(level), s = k * size;
    return l.valid[k] == std::min(s + size, p.Rows()) - s && (l.min[k] >= 0.0 || l.max[k] <= 0.0);
}

// Asks for what the sums of |x| over rows [a, b) read beyond the levels' few
// top buckets: the part buckets' samples at the ends, the first level under
// each bucket of the second that holds both signs, and the samples of each
// such bucket of the first, which are all a column that never crosses zero
// spares. Each step's pages are asked for before the next step reads them.
void PrefetchAbsSums(const PyramidColumnView& p, std::int64_t a, std::int64_t b) {
    const SummaryPyramidView& py = p.pyramid;
    ReadAhead ahead;
    ahead.Add(p.column.values, a, (a + kPyramidFan - 1) / kPyramidFan * kPyramidFan);
    ahead.Add(p.column.values, b / kPyramidFan * kPyramidFan, b);
    // Buckets of the first level under the mixed ones above (all, with no level above).
    std::vector<std::pair<std::int64_t, std::int64_t>> firsts;
    if (py.Levels() < 2) {
        firsts.push_back({0, std::int64_t(py.Level(1).valid.size())});
    } else {
        for (int level = 2; level <= py.Levels(); ++level) {
            const PyramidLevel& l = py.Level(level);
            const std::int64_t size = SummaryPyramidView::BucketRows(level);
            for (const auto& array : {l.min, l.max, l.sum})
                ahead.Add(array, a / size, b / size + 1);
            ahead.Add(l.valid, a / size, b / size + 1);
        }
        ahead.Start();
        const std::int64_t size = SummaryPyramidView::BucketRows(2);
        for (std::int64_t k = a / size; k <= (b - 1) / size; ++k)
            if (!OneSigned(py, 2, k)) firsts.push_back({k * kPyramidFan, (k + 1) * kPyramidFan});
    }
    const PyramidLevel& l1 = py.Level(1);
    for (const auto& [from, to] : firsts) {
        for (const auto& array : {l1.min, l1.max, l1.sum}) ahead.Add(array, from, to);
        ahead.Add(l1.valid, from, to);
    }
    ahead.Start();
    for (const auto& [from, to] : firsts)
        for (std::int64_t k = std::max(from, a / kPyramidFan);
             k < std::min({to, (b - 1) / kPyramidFan + 1, std::int64_t(l1.valid.size())}); ++k)
            if (!OneSigned(py, 1, k))
                ahead.Add(p.column.values, k * kPyramidFan, (k + 1) * kPyramidFan);
    ahead.Start();
}

}  // namespace

std::optional<PyramidSums> CachedSums(const double* values, std::int64_t a, std::int64_t b,
                                      bool withAbs) {
    if (a < 0 || b - a < kPyramidWorthRows) return std::nullopt;
    const auto p = PyramidAt(values);
    if (!p || b > p->pyramid.Rows()) return std::nullopt;
    if (withAbs) PrefetchAbsSums(*p, a, b);
    const PyramidSums sums = p->pyramid.Sums(p->column, a, b, withAbs);
    if (sums.count != b - a) return std::nullopt;
    return sums;
}

void PrefetchColumnEnds(const double* values, std::span<const std::int32_t> starts, bool summary) {
    const auto p = PyramidAt(values);
    if (!p) return;
    const SummaryPyramidView& py = p->pyramid;
    ReadAhead ahead;
    for (const std::int64_t s : starts) {
        const std::int64_t before = std::max<std::int64_t>(s - 1, 0);
        // The samples of the buckets on both sides: the columns' first and
        // last samples and the part buckets the summary may walk.
        ahead.Add(p->column.values, before / kPyramidFan * kPyramidFan,
                  (s / kPyramidFan + 1) * kPyramidFan);
        if (!summary) continue;
        // A range's buckets of each level reach from its ends to the edges
        // of their parents: the group of kPyramidFan around the end.
        for (int level = 1; level <= py.Levels(); ++level) {
            const PyramidLevel& l = py.Level(level);
            const std::int64_t group = SummaryPyramidView::BucketRows(level + 1);
            const std::int64_t from = before / group * kPyramidFan,
                               to = (s / group + 1) * kPyramidFan;
            ahead.Add(l.min, from, to);
            ahead.Add(l.max, from, to);
            ahead.Add(l.valid, from, to);
        }
    }
    ahead.Start();
}

std::optional<std::vector<std::int32_t>> CachedPartitionPoints(
    const double* values, std::int32_t first, std::int32_t end, std::int32_t count,
    const std::function<bool(std::int32_t k, double sample)>& before) {
    const auto p = PyramidAt(values);
    if (!p || count < 0 || first < 0 || end < first || end > p->pyramid.Rows()) return std::nullopt;
    const SummaryPyramidView& py = p->pyramid;
    const std::int64_t rows = py.Rows();
    // Per test, the bucket of the level at hand that holds the answer, or -1
    // when the answer lies past the column.
    std::vector<std::int64_t> at(std::size_t(count), 0);
    ReadAhead ahead;
    for (int level = py.Levels(); level >= 1; --level) {
        const std::span<const double> max = py.Level(level).max;
        const auto n = std::int64_t(max.size());
        // The top level is searched whole, each level below within the
        // children of the bucket found above.
        const auto group = [&](std::int64_t bucket) {
            const std::int64_t from = level == py.Levels() ? 0 : bucket * kPyramidFan;
            return std::pair{from, level == py.Levels() ? n : std::min(from + kPyramidFan, n)};
        };
        for (const std::int64_t bucket : at)
            if (bucket >= 0) ahead.Add(max, group(bucket).first, group(bucket).second);
        ahead.Start();
        for (std::int32_t k = 0; k < count; ++k) {
            std::int64_t& bucket = at[std::size_t(k)];
            if (bucket < 0) continue;
            const auto [lo, hi] = group(bucket);
            std::int64_t from = lo, to = hi;
            while (from < to) {
                const std::int64_t mid = from + (to - from) / 2;
                if (before(k, max[std::size_t(mid)]))
                    from = mid + 1;
                else
                    to = mid;
            }
            bucket = from < hi ? from : -1;
        }
    }
    for (const std::int64_t bucket : at)
        if (bucket >= 0)
            ahead.Add(p->column.values, bucket * kPyramidFan, (bucket + 1) * kPyramidFan);
    ahead.Start();
    std::vector<std::int32_t> points(static_cast<std::size_t>(count));
    for (std::int32_t k = 0; k < count; ++k) {
        const std::int64_t bucket = at[std::size_t(k)];
        std::int64_t from = bucket < 0 ? rows : bucket * kPyramidFan;
        std::int64_t to = bucket < 0 ? rows : std::min((bucket + 1) * kPyramidFan, rows);
        while (from < to) {
            const std::int64_t mid = from + (to - from) / 2;
            if (before(k, p->column.values[std::size_t(mid)]))
                from = mid + 1;
            else
                to = mid;
        }
        points[std::size_t(k)] = std::int32_t(std::clamp<std::int64_t>(from, first, end));
    }
    return points;
}

std::optional<EvenSteps> CachedEvenSteps(const double* values) {
    if (!values) return std::nullopt;
    const auto found = Find(values);
    return found ? found->first.even : std::nullopt;
}

void PlaceDerivedColumn(const std::shared_ptr<const CacheEntry>& entry, const double* values,
                        const std::uint8_t* flags, const SummaryPyramidView& pyramid,
                        const std::shared_ptr<const void>& keep) {
    if (!entry || !values || !flags || !keep) return;
    // The flags' pointer shares the mappings' life, so that the record dies with them.
    const std::shared_ptr<std::uint8_t> held(keep, const_cast<std::uint8_t*>(flags));
    std::lock_guard<std::mutex> hold(PlacedLock());
    auto& all = PlacedColumns();
    std::erase_if(all, [](const auto& p) {
        return p.second.entry.expired() || (p.second.v < 0 && p.second.flags.expired());
    });
    all[values] = Placed{entry, -1, -1, held, pyramid, std::nullopt};
}

std::shared_ptr<const ColumnSummary> CachedSummary(const CResultData& run, std::int32_t v,
                                                   std::int32_t rows) {
    if (v < 0 || v >= run.VariableCount() || !run.Variable(v)->Borrowed()) return nullptr;
    const double* values = run.Variable(v)->Values();
    auto found = PyramidAt(values);
    if (!found) return nullptr;
    // The summary borrows the mapped pyramid: it keeps what holds it, which may
    // outlive the variable in a caller's hands.
    auto hold = std::make_shared<const PyramidColumnView>(std::move(*found));
    return ColumnSummary::Over(values, hold->pyramid, rows, hold);
}

}  // namespace kurvex
