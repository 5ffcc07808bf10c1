#include "data/model/SummaryPyramid.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "data/model/MinMax.h"
#include "data/model/ResultVariable.h"
#include "data/platform/Workers.h"

namespace kurvex {

namespace {

// Buckets handed to one worker at a time while a level is built.
constexpr std::int64_t kBucketsPerItem = 1 << 12;
constexpr int kFields = 4;  // min, max, sum, sumSquares

// The bucket of samples v[0..n) (n at most kPyramidFan). Both builds summarise
// each bucket here, whole, so that they agree bit for bit. The sums run in
// four lanes (row i in lane i % 4, then (0 + 1) + (2 + 3)), a fixed order
// that does not wait on one add per sample; a clean bucket takes its
// extremes from the vector pass.
PyramidBucket SummariseSamples(const double* v, const std::uint8_t* f, std::int32_t n) {
    PyramidBucket b;
    double s[4] = {0.0, 0.0, 0.0, 0.0}, q[4] = {0.0, 0.0, 0.0, 0.0};
    std::int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        for (int lane = 0; lane < 4; ++lane) {
            s[lane] += v[i + lane];
            q[lane] += v[i + lane] * v[i + lane];
        }
    }
    for (int lane = 0; lane < 3 && i < n; ++i, ++lane) {
        s[lane] += v[i];
        q[lane] += v[i] * v[i];
    }
    b.sum = (s[0] + s[1]) + (s[2] + s[3]);
    b.sumSquares = (q[0] + q[1]) + (q[2] + q[3]);
    b.parts = n;
    std::uint8_t bad = 0;
    for (std::int32_t k = 0; k < n; ++k) bad |= f[k] ^ kPointValid;
    if (!bad && n > 0 && MinMax(v, n, b.min, b.max)) {
        b.valid = static_cast<std::uint32_t>(n);
        return b;
    }
    for (std::int32_t k = 0; k < n; ++k) {
        const double x = v[k];
        if (f[k] != kPointValid || x != x) continue;
        if (b.valid == 0 || x < b.min) b.min = x;
        if (b.valid == 0 || x > b.max) b.max = x;
        ++b.valid;
    }
    return b;
}

// Takes a finished bucket into its parent, in row order.
void TakeBucket(PyramidBucket& p, double mn, double mx, double sum, double sumSquares,
                std::uint32_t valid) {
    p.sum += sum;
    p.sumSquares += sumSquares;
    if (valid) {
        if (p.valid == 0 || mn < p.min) p.min = mn;
        if (p.valid == 0 || mx > p.max) p.max = mx;
        p.valid += valid;
    }
    ++p.parts;
}

}  // namespace

std::vector<std::int64_t> PyramidLayout(std::int64_t rows) {
    std::vector<std::int64_t> layout;
    if (rows <= 0) return layout;
    std::int64_t n = rows;
    do {
        n = (n + kPyramidFan - 1) / kPyramidFan;
        layout.push_back(n);
    } while (n > 1);
    return layout;
}

std::int64_t SummaryPyramidView::BucketRows(int level) {
    return std::int64_t{1} << (6 * level);
}

std::optional<SummaryPyramidView> SummaryPyramidView::Over(std::int64_t rows,
                                                           std::span<const double> doubles,
                                                           std::span<const std::uint32_t> valid) {
    if (rows < 0 || rows > kPyramidMaxRows) return std::nullopt;
    const auto layout = PyramidLayout(rows);
    std::int64_t total = 0;
    for (std::int64_t n : layout) total += n;
    if (static_cast<std::int64_t>(doubles.size()) != kFields * total ||
        static_cast<std::int64_t>(valid.size()) != total)
        return std::nullopt;
    SummaryPyramidView view;
    view.rows_ = rows;
    std::size_t d = 0, c = 0;
    for (std::int64_t n64 : layout) {
        const auto n = static_cast<std::size_t>(n64);
        view.levels_.push_back({doubles.subspan(d, n), doubles.subspan(d + n, n),
                                doubles.subspan(d + 2 * n, n), doubles.subspan(d + 3 * n, n),
                                valid.subspan(c, n)});
        d += kFields * n;
        c += n;
    }
    return view;
}

template <class Bucket, class Raw>
void SummaryPyramidView::Node(int level, std::int64_t k, std::int64_t a, std::int64_t b,
                              Bucket& bucket, Raw& raw) const {
    const std::int64_t size = BucketRows(level);
    const std::int64_t s = k * size, e = std::min(s + size, rows_);
    if (a <= s && e <= b) {
        bucket(level, k);
        return;
    }
    const std::int64_t from = std::max(s, a), to = std::min(e, b);
    if (level == 1) {
        raw(from, to);
        return;
    }
    const std::int64_t child = size / kPyramidFan;
    for (std::int64_t c = from / child; c <= (to - 1) / child; ++c)
        Node(level - 1, c, a, b, bucket, raw);
}

template <class Bucket, class Raw>
void SummaryPyramidView::Cover(std::int64_t a, std::int64_t b, int top, Bucket&& bucket,
                               Raw&& raw) const {
    a = std::max<std::int64_t>(a, 0);
    b = std::min(b, rows_);
    if (a >= b) return;
    top = std::min(top, Levels());
    if (top <= 0) {
        raw(a, b);
        return;
    }
    const std::int64_t size = BucketRows(top);
    for (std::int64_t k = a / size; k <= (b - 1) / size; ++k) Node(top, k, a, b, bucket, raw);
}

namespace {

void Widen(PyramidExtents& r, double mn, double mx, std::int64_t valid) {
    if (!valid) return;
    if (r.valid == 0 || mn < r.min) r.min = mn;
    if (r.valid == 0 || mx > r.max) r.max = mx;
    r.valid += valid;
}

}  // namespace

PyramidExtents SummaryPyramidView::RangeExtents(const PyramidColumn& column, std::int64_t a,
                                                std::int64_t b, int top) const {
    PyramidExtents r;
    Cover(
        a, b, top,
        [&](int level, std::int64_t k) {
            const PyramidLevel& l = Level(level);
            Widen(r, l.min[k], l.max[k], l.valid[k]);
        },
        [&](std::int64_t from, std::int64_t to) {
            for (std::int64_t i = from; i < to; ++i) {
                const double x = column.values[i];
                if (column.flags[i] == kPointValid && x == x) Widen(r, x, x, 1);
            }
        });
    return r;
}

PyramidExtents SummaryPyramidView::Extents(const PyramidColumn& column, std::int64_t a,
                                           std::int64_t b) const {
    return Fits(column) ? RangeExtents(column, a, b, Levels()) : PyramidExtents{};
}

std::vector<PyramidExtents> SummaryPyramidView::ColumnExtents(const PyramidColumn& column,
                                                              std::span<const std::int32_t> starts,
                                                              int maxLevel) const {
    std::vector<PyramidExtents> out;
    if (starts.size() < 2 || !Fits(column)) return out;
    out.reserve(starts.size() - 1);
    const int cap = std::min(maxLevel, Levels());
    int level = 0;
    for (std::size_t k = 0; k + 1 < starts.size(); ++k) {
        const std::int64_t width = std::int64_t{starts[k + 1]} - starts[k];
        // Neighbouring columns are about as wide: step from the last choice.
        while (level > 0 && BucketRows(level) >= width) --level;
        while (level < cap && BucketRows(level + 1) < width) ++level;
        out.push_back(RangeExtents(column, starts[k], starts[k + 1], level));
    }
    return out;
}

PyramidSums SummaryPyramidView::Sums(const PyramidColumn& column, std::int64_t a, std::int64_t b,
                                     bool withAbs) const {
    PyramidSums r;
    if (!Fits(column)) return r;
    const double* v = column.values.data();
    auto rawAbs = [&](std::int64_t from, std::int64_t to) {
        for (std::int64_t i = from; i < to; ++i) r.sumAbs += std::fabs(v[i]);
    };
    // |x| of a bucket is ± its sum only when every sample is in its extremes:
    // an invalid or NaN sample counts in the sum but not in min and max.
    auto bucketAbs = [&](auto& self, int level, std::int64_t k) -> void {
        const PyramidLevel& l = Level(level);
        const std::int64_t size = BucketRows(level), s = k * size, e = std::min(s + size, rows_);
        if (l.valid[k] == e - s && (l.min[k] >= 0.0 || l.max[k] <= 0.0)) {
            r.sumAbs += l.min[k] >= 0.0 ? l.sum[k] : -l.sum[k];
            return;
        }
        if (level == 1) return rawAbs(s, e);
        const std::int64_t children = static_cast<std::int64_t>(Level(level - 1).valid.size());
        for (std::int64_t c = k * kPyramidFan; c < std::min((k + 1) * kPyramidFan, children); ++c)
            self(self, level - 1, c);
    };
    Cover(
        a, b, Levels(),
        [&](int level, std::int64_t k) {
            const PyramidLevel& l = Level(level);
            r.sum += l.sum[k];
            r.sumSquares += l.sumSquares[k];
            if (withAbs) bucketAbs(bucketAbs, level, k);
        },
        [&](std::int64_t from, std::int64_t to) {
            for (std::int64_t i = from; i < to; ++i) {
                r.sum += v[i];
                r.sumSquares += v[i] * v[i];
            }
            if (withAbs) rawAbs(from, to);
        });
    r.count = std::max<std::int64_t>(0, std::min(b, rows_) - std::max<std::int64_t>(a, 0));
    return r;
}

std::optional<std::int64_t> SummaryPyramidView::Extremum(const PyramidColumn& column,
                                                         std::int64_t a, std::int64_t b,
                                                         bool largest) const {
    const auto better = [largest](double x, double best) { return largest ? x > best : x < best; };
    if (!Fits(column)) return std::nullopt;
    bool found = false;
    double best = 0.0;
    int atLevel = 0;
    std::int64_t at = 0;
    Cover(
        a, b, Levels(),
        [&](int level, std::int64_t k) {
            const PyramidLevel& l = Level(level);
            if (!l.valid[k]) return;
            const double x = largest ? l.max[k] : l.min[k];
            if (found && !better(x, best)) return;
            found = true;
            best = x;
            atLevel = level;
            at = k;
        },
        [&](std::int64_t from, std::int64_t to) {
            for (std::int64_t i = from; i < to; ++i) {
                const double x = column.values[i];
                if (column.flags[i] != kPointValid || x != x || (found && !better(x, best)))
                    continue;
                found = true;
                best = x;
                atLevel = 0;
                at = i;
            }
        });
    if (!found) return std::nullopt;
    // The first part holding the best value holds its first sample: the parts
    // before it hold nothing as good.
    for (; atLevel > 1; --atLevel) {
        const PyramidLevel& l = Level(atLevel - 1);
        const auto end = std::min<std::int64_t>((at + 1) * kPyramidFan, l.valid.size());
        std::int64_t c = at * kPyramidFan;
        while (c < end && !(l.valid[c] && (largest ? l.max[c] : l.min[c]) == best)) ++c;
        if (c == end) return std::nullopt;  // a summary that is not of this column
        at = c;
    }
    if (atLevel == 1) {
        const std::int64_t end = std::min((at + 1) * kPyramidFan, rows_);
        std::int64_t i = at * kPyramidFan;
        while (i < end && !(column.flags[i] == kPointValid && column.values[i] == best)) ++i;
        if (i == end) return std::nullopt;
        at = i;
    }
    return at;
}

bool SummaryPyramid::Allocate(std::int64_t rows) {
    const auto layout = PyramidLayout(rows);
    doubleStart_.clear();
    validStart_.clear();
    std::int64_t total = 0;
    for (std::int64_t n : layout) {
        doubleStart_.push_back(kFields * total);
        validStart_.push_back(total);
        total += n;
    }
    try {
        doubles_.assign(static_cast<std::size_t>(kFields * total), 0.0);
        valid_.assign(static_cast<std::size_t>(total), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    view_ = *SummaryPyramidView::Over(rows, doubles_, valid_);
    return true;
}

double* SummaryPyramid::Field(int level, int field) {
    const auto n = static_cast<std::int64_t>(view_.Level(level).valid.size());
    return doubles_.data() + doubleStart_[level - 1] + field * n;
}

std::uint32_t* SummaryPyramid::ValidOf(int level) {
    return valid_.data() + validStart_[level - 1];
}

namespace {

// Writes bucket k of a level: extremes NaN when it has no valid sample.
void Store(double* mn, double* mx, double* sum, double* sumSquares, std::uint32_t* valid,
           std::int64_t k, const PyramidBucket& b) {
    constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
    mn[k] = b.valid ? b.min : kNan;
    mx[k] = b.valid ? b.max : kNan;
    sum[k] = b.sum;
    sumSquares[k] = b.sumSquares;
    valid[k] = b.valid;
}

}  // namespace

std::optional<SummaryPyramid> SummaryPyramid::Build(const PyramidColumn& column, int workers) {
    const auto rows = static_cast<std::int64_t>(column.values.size());
    if (static_cast<std::int64_t>(column.flags.size()) < rows || rows > kPyramidMaxRows)
        return std::nullopt;
    SummaryPyramid p;
    if (!p.Allocate(rows)) return std::nullopt;
    const double* v = column.values.data();
    const std::uint8_t* f = column.flags.data();
    for (int level = 1; level <= p.view_.Levels(); ++level) {
        const auto n = static_cast<std::int64_t>(p.view_.Level(level).valid.size());
        double *mn = p.Field(level, 0), *mx = p.Field(level, 1), *sum = p.Field(level, 2),
               *sq = p.Field(level, 3);
        std::uint32_t* valid = p.ValidOf(level);
        const double *cmn = nullptr, *cmx = nullptr, *csum = nullptr, *csq = nullptr;
        const std::uint32_t* cvalid = nullptr;
        std::int64_t children = 0;
        if (level > 1) {
            cmn = p.Field(level - 1, 0);
            cmx = p.Field(level - 1, 1);
            csum = p.Field(level - 1, 2);
            csq = p.Field(level - 1, 3);
            cvalid = p.ValidOf(level - 1);
            children = static_cast<std::int64_t>(p.view_.Level(level - 1).valid.size());
        }
        const std::int64_t items = (n + kBucketsPerItem - 1) / kBucketsPerItem;
        ItemCounter counter(items);
        RunWorkers(static_cast<int>(std::clamp<std::int64_t>(workers, 1, items)), [&](int) {
            for (std::int64_t item = counter.Next(); item >= 0; item = counter.Next()) {
                const std::int64_t end = std::min(n, (item + 1) * kBucketsPerItem);
                for (std::int64_t k = item * kBucketsPerItem; k < end; ++k) {
                    PyramidBucket b;
                    const std::int64_t s = k * kPyramidFan;
                    if (level == 1) {
                        b = SummariseSamples(v + s, f + s,
                                             static_cast<std::int32_t>(
                                                 std::min<std::int64_t>(kPyramidFan, rows - s)));
                    } else {
                        for (std::int64_t c = s; c < std::min(s + kPyramidFan, children); ++c)
                            TakeBucket(b, cmn[c], cmx[c], csum[c], csq[c], cvalid[c]);
                    }
                    Store(mn, mx, sum, sq, valid, k, b);
                }
            }
        });
    }
    return p;
}

bool SummaryPyramidAppender::Append(std::span<const double> values,
                                    std::span<const std::uint8_t> flags) {
    const auto n = static_cast<std::int64_t>(values.size());
    if (flags.size() != values.size() || n > kPyramidMaxRows - rows_) return false;
    if (open_.empty()) {
        open_.resize(1);
        done_.resize(1);
    }
    for (std::int64_t i = 0; i < n;) {
        if (waiting_ == 0 && n - i >= kPyramidFan) {
            // A whole bucket of the piece needs no copy.
            open_[0] = SummariseSamples(values.data() + i, flags.data() + i, kPyramidFan);
            Close(0);
            i += kPyramidFan;
            continue;
        }
        const std::int64_t take = std::min<std::int64_t>(n - i, kPyramidFan - waiting_);
        std::copy_n(values.data() + i, take, values_ + waiting_);
        std::copy_n(flags.data() + i, take, flags_ + waiting_);
        waiting_ += static_cast<std::int32_t>(take);
        i += take;
        if (waiting_ == kPyramidFan) TakeWaiting();
    }
    rows_ += n;
    return !failed_;
}

void SummaryPyramidAppender::TakeWaiting() {
    open_[0] = SummariseSamples(values_, flags_, waiting_);
    waiting_ = 0;
    Close(0);
}

// Buckets of the first level a streaming build holds before it writes them.
constexpr std::size_t kHeldBuckets = 4096;

SummaryPyramidAppender::SummaryPyramidAppender(std::int64_t rows, PyramidSink sink)
    : sink_(std::move(sink)), layout_(PyramidLayout(rows)), expected_(rows) {}

bool SummaryPyramidAppender::Put(std::size_t level, std::int64_t first,
                                 const PyramidBucket* buckets, std::size_t n) {
    std::int64_t before = 0, total = 0;
    for (std::size_t l = 0; l < layout_.size(); ++l) {
        if (l < level) before += layout_[l];
        total += layout_[l];
    }
    const std::int64_t size = layout_[level];
    if (first < 0 || first + std::int64_t(n) > size) return false;
    std::vector<double> field(n);
    for (int f = 0; f < kFields; ++f) {
        for (std::size_t k = 0; k < n; ++k) {
            const PyramidBucket& b = buckets[k];
            constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
            field[k] = f == 0   ? (b.valid ? b.min : kNan)
                       : f == 1 ? (b.valid ? b.max : kNan)
                       : f == 2 ? b.sum
                                : b.sumSquares;
        }
        const std::int64_t at =
            (kFields * before + f * size + first) * std::int64_t(sizeof(double));
        if (!sink_(at, field.data(), n * sizeof(double))) return false;
    }
    std::vector<std::uint32_t> valid(n);
    for (std::size_t k = 0; k < n; ++k) valid[k] = buckets[k].valid;
    const std::int64_t at = kFields * total * std::int64_t(sizeof(double)) +
                            (before + first) * std::int64_t(sizeof(std::uint32_t));
    return sink_(at, valid.data(), n * sizeof(std::uint32_t));
}

bool SummaryPyramidAppender::PutFirstLevel() {
    std::vector<PyramidBucket>& held = done_[0];
    if (held.empty()) return true;
    const bool ok = Put(0, firstPut_, held.data(), held.size());
    firstPut_ += std::int64_t(held.size());
    held.clear();
    return ok;
}

void SummaryPyramidAppender::Close(std::size_t level) {
    if (open_.size() <= level + 1) {
        open_.resize(level + 2);
        done_.resize(level + 2);
    }
    const PyramidBucket& b = open_[level];
    done_[level].push_back(b);
    if (level == 0 && sink_ && done_[0].size() >= kHeldBuckets && !failed_)
        failed_ = !PutFirstLevel();
    TakeBucket(open_[level + 1], b.min, b.max, b.sum, b.sumSquares, b.valid);
    open_[level] = {};
    if (open_[level + 1].parts == kPyramidFan) Close(level + 1);
}

std::optional<SummaryPyramid> SummaryPyramidAppender::Finish() {
    const auto layout = PyramidLayout(rows_);
    std::optional<SummaryPyramid> p;
    if (sink_) return std::nullopt;
    try {
        CloseLast(layout.size());
        p.emplace();
        if (!p->Allocate(rows_)) p.reset();
    } catch (const std::bad_alloc&) {
        p.reset();
    }
    for (std::size_t level = 0; p && level < layout.size(); ++level) {
        const int l = static_cast<int>(level) + 1;
        const auto& buckets = done_[level];
        if (static_cast<std::int64_t>(buckets.size()) != layout[level]) {
            p.reset();
            break;
        }
        for (std::size_t k = 0; k < buckets.size(); ++k)
            Store(p->Field(l, 0), p->Field(l, 1), p->Field(l, 2), p->Field(l, 3), p->ValidOf(l),
                  static_cast<std::int64_t>(k), buckets[k]);
    }
    *this = SummaryPyramidAppender();
    return p;
}

void SummaryPyramidAppender::CloseLast(std::size_t levels) {
    // The open buckets of each level are its last, partly filled ones.
    if (waiting_ > 0) {
        open_[0] = SummariseSamples(values_, flags_, waiting_);
        waiting_ = 0;
    }
    for (std::size_t level = 0; level < levels; ++level) {
        if (level < open_.size() && open_[level].parts > 0) {
            if (level + 1 < levels) {
                Close(level);
            } else {
                done_[level].push_back(open_[level]);
            }
        }
    }
}

bool SummaryPyramidAppender::FinishIntoSink() {
    bool ok = sink_ && !failed_ && rows_ == expected_;
    if (ok) {
        try {
            CloseLast(layout_.size());
            ok = !failed_ && (layout_.empty() || PutFirstLevel());
            ok = ok && (layout_.empty() || firstPut_ == layout_[0]);
            for (std::size_t level = 1; ok && level < layout_.size(); ++level)
                ok = done_[level].size() == std::size_t(layout_[level]) &&
                     Put(level, 0, done_[level].data(), done_[level].size());
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    *this = SummaryPyramidAppender();
    return ok;
}

}  // namespace kurvex
