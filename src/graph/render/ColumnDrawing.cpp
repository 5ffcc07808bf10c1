#include <algorithm>

#include "data/model/ColumnSummary.h"
#include "graph/render/CurveDrawing.h"

namespace kurvex {
namespace {

constexpr std::int32_t kBucket = ColumnSummary::kBucket;

// The column strategy's view of one draw: the stroke, the summary and the
// plot's rows in the units of the Y axis.
class ColumnPainter {
public:
    ColumnPainter(CurveStroke& s, const ColumnSummary* summary, bool merge)
        : s_(s),
          p_(s.p),
          summary_(summary),
          merge_(merge),
          ky_(s.map.Ky()),
          yFrom_(s.map.YFrom()),
          rLimit_(static_cast<double>(s.p.Height()) + 1.0) {}

    void Draw(const PixelColumns& columns);

private:
    int Rank(double v) const { return ToPixelInt((v - yFrom_) * ky_); }
    int RowOf(std::int32_t j) const { return s_.map.PixelY(s_.yv[j]); }
    bool Extents(std::int32_t a, std::int32_t b, double& mn, double& mx) const;
    void WalkColumn(std::int32_t from, std::int32_t to);
    void MergeColumn(int column, std::int32_t a, std::int32_t b, double rMin, double rMax);
    void Prefetch(const PixelColumns& columns, std::int32_t k, std::int32_t width) const;

    CurveStroke& s_;
    const PlotRect& p_;
    const ColumnSummary* summary_;
    const bool merge_;
    const double ky_, yFrom_, rLimit_;
};

// What is drawn of a column depends on the rows of its extremes only: an end
// of it in a bucket whose extremes fall in the rows of the rest of the column
// need not be read.
bool ColumnPainter::Extents(std::int32_t a, std::int32_t b, double& mn, double& mx) const {
    if (!summary_) return CleanExtents(s_.yv, s_.yf, a, b, mn, mx);
    return summary_->CleanExtents(s_.yv, s_.yf, a, b, mn, mx,
                                  [this](double lo, double hi, double mn, double mx) {
                                      return Rank(lo) >= Rank(mn) && Rank(hi) <= Rank(mx);
                                  });
}

// Walks samples from .. to - 1 of a column whose sample from - 1 has been
// walked. A column that leaves the plot or holds a gap is walked, but whole
// buckets that only lengthen the open run, or that stay beyond the edge the
// previous sample is beyond, change nothing but the previous point: they are
// taken from the summary.
void ColumnPainter::WalkColumn(std::int32_t from, std::int32_t to) {
    std::int32_t j = from;
    while (j < to) {
        double bMin, bMax;
        if (j % kBucket == 0 && to - j >= kBucket && s_.havePrev &&
            summary_->Bucket(j / kBucket, bMin, bMax)) {
            const double rMin = (bMin - yFrom_) * ky_, rMax = (bMax - yFrom_) * ky_;
            const bool lengthensRun = s_.inRun && rMin >= 1.0 && rMax < rLimit_;
            const bool staysBeyond = !s_.prevIn && ((rMin >= rLimit_ && s_.prev.y < p_.top) ||
                                                    (rMax < 1.0 && s_.prev.y >= p_.bottom));
            if (lengthensRun) {
                s_.runMin = std::min(s_.runMin, p_.bottom - ToPixelInt(rMax));
                s_.runMax = std::max(s_.runMax, p_.bottom - ToPixelInt(rMin));
            }
            if (lengthensRun || staysBeyond) {
                j += kBucket;
                s_.prev = {s_.prev.x, s_.map.PixelY(s_.yv[j - 1])};
                continue;
            }
        }
        s_.Step(j++);
    }
}

// A clean column that leaves the plot, drawn by a thin plain pen, paints one
// unbroken stretch of its pixel column: every line the walk draws in it runs
// between two of its samples clamped to the plot (a run from its smallest row
// to one past its largest), and each such line meets the next at a sample. So
// its rows run from the smallest clamped row to the largest end of those
// lines: the bottom clamp when a sample lies below the plot, else the lowest
// sample's row, one further when that sample lies in a run. The lines into and
// out of the column are walked as ever.
void ColumnPainter::MergeColumn(int column, std::int32_t a, std::int32_t b, double rMin,
                                double rMax) {
    const int top = p_.top + 1, bottom = p_.bottom - 1;
    const int lowRow = p_.bottom - ToPixelInt(rMax), highRow = p_.bottom - ToPixelInt(rMin);
    const int from = std::clamp(lowRow, top, bottom);
    int to = bottom;
    if (highRow < p_.top) {
        to = from;  // all above: every line clamps to a point
    } else if (highRow < bottom) {
        // Inside at its lowest: one row further when a sample of that row has
        // an inside neighbour in the column.
        auto inside = [&](std::int32_t j) {
            const int y = RowOf(j);
            return y >= p_.top && y < p_.bottom;
        };
        auto inRunAt = [&](std::int32_t j) {
            return RowOf(j) == highRow &&
                   ((j > a && inside(j - 1)) || (j + 1 < b && inside(j + 1)));
        };
        bool run = false;
        for (std::int32_t j = a; j < b && !run;) {
            double bMin, bMax;
            if (j % kBucket == 0 && b - j >= kBucket && summary_->Bucket(j / kBucket, bMin, bMax) &&
                p_.bottom - ToPixelInt((bMin - yFrom_) * ky_) < highRow) {
                j += kBucket;  // no sample of the bucket reaches that row
                continue;
            }
            run = inRunAt(j++);
        }
        to = highRow + (run ? 1 : 0);
    }
    if (from < to) {
        s_.path.Move({column, from});
        s_.path.Line({column, to});
    }
    s_.prev = {column, RowOf(b - 1)};
    s_.prevIn = s_.prev.y >= p_.top && s_.prev.y < p_.bottom;
    s_.havePrev = true;
    s_.inRun = false;
    s_.path.Move(s_.prev);
}

// With a summary a column costs little but the wait for the samples at its
// ends, in the bucket it shares with the column before: ask for those of a
// column a few ahead now. Inlined by force: on its own the compiler sees a
// function without effects and drops its calls.
[[gnu::always_inline]] inline void ColumnPainter::Prefetch(const PixelColumns& columns,
                                                           std::int32_t k,
                                                           std::int32_t width) const {
    constexpr std::int32_t kAhead = 4;
    if (!summary_ || k + kAhead >= width) return;
    const std::int32_t c = columns.starts[static_cast<size_t>(k + kAhead)];
    const std::int32_t from = c - c % kBucket;
    const std::int32_t to = std::min(from + kBucket, s_.last + 1);
    for (std::int32_t j = from; j < to; j += 8) __builtin_prefetch(s_.yv + j);
    __builtin_prefetch(s_.yf + from);
    __builtin_prefetch(s_.xv + c);
    __builtin_prefetch(s_.xf + c);
}

// A column of two or more samples, all valid and inside the plot, is one
// vertical run from its first sample on; the walk takes that first sample and
// whatever is not so plain.
void ColumnPainter::Draw(const PixelColumns& columns) {
    const auto width = static_cast<std::int32_t>(columns.starts.size()) - 1;
    std::int32_t k = 0;
    for (std::int32_t i = s_.first; i <= s_.last; ++i) {
        while (k < width && columns.starts[static_cast<size_t>(k) + 1] <= i) ++k;
        const std::int32_t a = columns.starts[static_cast<size_t>(k)];
        const std::int32_t b =
            k < width ? std::min(columns.starts[static_cast<size_t>(k) + 1], s_.last + 1) : a;
        if (i != a || b - a < 2) {
            s_.Step(i);
            continue;
        }
        Prefetch(columns, k, width);
        double yMin = 0.0, yMax = 0.0;
        const bool clean = Extents(a, b, yMin, yMax);
        const double rMin = (yMin - yFrom_) * ky_, rMax = (yMax - yFrom_) * ky_;
        if (!clean || !(rMin >= 1.0 && rMax < rLimit_)) {
            if (!summary_) {
                s_.Step(i);
                continue;
            }
            s_.Step(a);  // the line into the column
            const int column = columns.left + k;
            if (clean && merge_ && column > p_.left && column < p_.right - 1)
                MergeColumn(column, a, b, rMin, rMax);
            else
                WalkColumn(a + 1, b);
            i = b - 1;
            continue;
        }
        s_.Step(i);
        s_.inRun = true;
        s_.runX = columns.left + k;
        s_.runMin = p_.bottom - ToPixelInt(rMax);
        s_.runMax = p_.bottom - ToPixelInt(rMin);
        s_.prev = {s_.runX, s_.map.PixelY(s_.yv[b - 1])};
        s_.prevIn = true;
        s_.havePrev = true;
        i = b - 1;
    }
    s_.FlushRun();
    s_.path.Flush();
}

}  // namespace

void DrawByColumns(CurveStroke& s, const PixelColumns& columns, const ColumnSummary* summary,
                   bool mergeColumns) {
    const bool merge = mergeColumns && s.p.Height() > 2;
    ColumnPainter(s, summary, merge).Draw(columns);
}

}  // namespace kurvex
