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
        : stroke_(s),
          plot_(s.plot),
          summary_(summary),
          merge_(merge),
          ky_(s.map.Ky()),
          yFrom_(s.map.YFrom()),
          rLimit_(static_cast<double>(s.plot.Height()) + 1.0) {}

    void Draw(const PixelColumns& columns);

private:
    int Rank(double v) const { return ToPixelInt((v - yFrom_) * ky_); }
    int RowOf(std::int32_t j) const { return stroke_.map.PixelY(stroke_.yValues[j]); }
    bool Extents(std::int32_t a, std::int32_t b, double& mn, double& mx) const;
    void WalkColumn(std::int32_t from, std::int32_t to, int column);
    void MergeColumn(int column, std::int32_t a, std::int32_t b, double rMin, double rMax);
    void Prefetch(const PixelColumns& columns, std::int32_t k, std::int32_t width) const;

    CurveStroke& stroke_;
    const PlotRect& plot_;
    const ColumnSummary* summary_;
    const bool merge_;
    const double ky_, yFrom_, rLimit_;
};

// What is drawn of a column depends on the rows of its extremes only: an end
// of it in a bucket whose extremes fall in the rows of the rest of the column
// need not be read.
bool ColumnPainter::Extents(std::int32_t a, std::int32_t b, double& mn, double& mx) const {
    if (!summary_) return CleanExtents(stroke_.yValues, stroke_.yFlags, a, b, mn, mx);
    return summary_->CleanExtents(stroke_.yValues, stroke_.yFlags, a, b, mn, mx,
                                  [this](double lo, double hi, double mn, double mx) {
                                      return Rank(lo) >= Rank(mn) && Rank(hi) <= Rank(mx);
                                  });
}

// Walks samples from .. to - 1 of a column whose sample from - 1 has been
// walked. A column that leaves the plot or holds a gap is walked, but whole
// buckets that only lengthen the open run, or that stay beyond the edge the
// previous sample is beyond, change nothing but the previous point: they are
// taken from the summary. Every sample lies in pixel column `column`.
void ColumnPainter::WalkColumn(std::int32_t from, std::int32_t to, int column) {
    std::int32_t j = from;
    while (j < to) {
        double bMin, bMax;
        if (j % kBucket == 0 && to - j >= kBucket && stroke_.havePrev &&
            summary_->Bucket(j / kBucket, bMin, bMax)) {
            const double rMin = (bMin - yFrom_) * ky_, rMax = (bMax - yFrom_) * ky_;
            const bool lengthensRun = stroke_.inRun && rMin >= 1.0 && rMax < rLimit_;
            const bool staysBeyond =
                !stroke_.prevIn && ((rMin >= rLimit_ && stroke_.prev.y < plot_.top) ||
                                    (rMax < 1.0 && stroke_.prev.y >= plot_.bottom));
            if (lengthensRun) {
                stroke_.runMin = std::min(stroke_.runMin, plot_.bottom - ToPixelInt(rMax));
                stroke_.runMax = std::max(stroke_.runMax, plot_.bottom - ToPixelInt(rMin));
            }
            if (lengthensRun || staysBeyond) {
                j += kBucket;
                stroke_.prev = {stroke_.prev.x, stroke_.map.PixelY(stroke_.yValues[j - 1])};
                continue;
            }
        }
        stroke_.StepIn(j++, column);
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
    const int top = plot_.top + 1, bottom = plot_.bottom - 1;
    const int lowRow = plot_.bottom - ToPixelInt(rMax), highRow = plot_.bottom - ToPixelInt(rMin);
    const int from = std::clamp(lowRow, top, bottom);
    int to = bottom;
    if (highRow < plot_.top) {
        to = from;  // all above: every line clamps to a point
    } else if (highRow < bottom) {
        // Inside at its lowest: one row further when a sample of that row has
        // an inside neighbour in the column.
        auto inside = [&](std::int32_t j) {
            const int y = RowOf(j);
            return y >= plot_.top && y < plot_.bottom;
        };
        auto inRunAt = [&](std::int32_t j) {
            return RowOf(j) == highRow &&
                   ((j > a && inside(j - 1)) || (j + 1 < b && inside(j + 1)));
        };
        bool run = false;
        for (std::int32_t j = a; j < b && !run;) {
            double bMin, bMax;
            if (j % kBucket == 0 && b - j >= kBucket && summary_->Bucket(j / kBucket, bMin, bMax) &&
                plot_.bottom - ToPixelInt((bMin - yFrom_) * ky_) < highRow) {
                j += kBucket;  // no sample of the bucket reaches that row
                continue;
            }
            run = inRunAt(j++);
        }
        to = highRow + (run ? 1 : 0);
    }
    if (from < to) {
        stroke_.path.Move({column, from});
        stroke_.path.Line({column, to});
    }
    stroke_.prev = {column, RowOf(b - 1)};
    stroke_.prevIn = stroke_.prev.y >= plot_.top && stroke_.prev.y < plot_.bottom;
    stroke_.havePrev = true;
    stroke_.inRun = false;
    stroke_.path.Move(stroke_.prev);
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
    const std::int32_t to = std::min(from + kBucket, stroke_.last + 1);
    for (std::int32_t j = from; j < to; j += 8) __builtin_prefetch(stroke_.yValues + j);
    __builtin_prefetch(stroke_.yFlags + from);
    __builtin_prefetch(stroke_.xFlags + c);
}

// A column of two or more samples, all valid and inside the plot, is one
// vertical run from its first sample on; the walk takes that first sample and
// whatever is not so plain. A sample of a column is in its pixel column: its
// X is never read.
void ColumnPainter::Draw(const PixelColumns& columns) {
    const auto width = static_cast<std::int32_t>(columns.starts.size()) - 1;
    std::int32_t k = 0;
    for (std::int32_t i = stroke_.first; i <= stroke_.last; ++i) {
        while (k < width && columns.starts[static_cast<size_t>(k) + 1] <= i) ++k;
        const std::int32_t a = columns.starts[static_cast<size_t>(k)];
        const std::int32_t b =
            k < width ? std::min(columns.starts[static_cast<size_t>(k) + 1], stroke_.last + 1) : a;
        const int column = columns.left + k;
        if (i != a || b - a < 2) {
            if (i >= a && i < b)
                stroke_.StepIn(i, column);
            else
                stroke_.Step(i);
            continue;
        }
        Prefetch(columns, k, width);
        double yMin = 0.0, yMax = 0.0;
        const bool clean = Extents(a, b, yMin, yMax);
        const double rMin = (yMin - yFrom_) * ky_, rMax = (yMax - yFrom_) * ky_;
        if (!clean || !(rMin >= 1.0 && rMax < rLimit_)) {
            if (!summary_) {
                stroke_.StepIn(i, column);
                continue;
            }
            stroke_.StepIn(a, column);  // the line into the column
            if (clean && merge_ && column > plot_.left && column < plot_.right - 1)
                MergeColumn(column, a, b, rMin, rMax);
            else
                WalkColumn(a + 1, b, column);
            i = b - 1;
            continue;
        }
        stroke_.StepIn(i, column);
        stroke_.inRun = true;
        stroke_.runX = column;
        stroke_.runMin = plot_.bottom - ToPixelInt(rMax);
        stroke_.runMax = plot_.bottom - ToPixelInt(rMin);
        stroke_.prev = {stroke_.runX, stroke_.map.PixelY(stroke_.yValues[b - 1])};
        stroke_.prevIn = true;
        stroke_.havePrev = true;
        i = b - 1;
    }
    stroke_.FlushRun();
    stroke_.path.Flush();
}

}  // namespace

void DrawByColumns(CurveStroke& s, const PixelColumns& columns, const ColumnSummary* summary,
                   bool mergeColumns) {
    const bool merge = mergeColumns && s.plot.Height() > 2;
    ColumnPainter(s, summary, merge).Draw(columns);
}

}  // namespace kurvex
