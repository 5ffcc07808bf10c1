#include "analysis/Measure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "data/cache/CachedResult.h"
#include "data/model/Runs.h"
#include "graph/AxisScale.h"

namespace kurvex {

namespace {

// Samples flagged invalid are skipped; a NaN X has no side of any X either.
bool UsableX(const CurveSamples& s, std::int32_t i) {
    return s.xFlags[i] != kPointInvalid && !std::isnan(s.x[i]);
}

XLocation Pair(const CurveSamples& s, double x, std::int32_t lower, std::int32_t upper) {
    XLocation at{lower, upper, 0.0, Equal48(s.x[upper], x)};
    const double t = (x - s.x[lower]) / (s.x[upper] - s.x[lower]);
    // Infinite samples leave no fraction; stand on the nearer end instead.
    at.t = std::isfinite(t) ? t : (at.exact ? 1.0 : 0.0);
    return at;
}

std::optional<XLocation> LocateWalk(const CurveSamples& s, double x, std::int32_t i) {
    bool haveSide = false;
    bool below = false;
    std::int32_t last = -1;
    for (; i < s.count; ++i) {
        if (!UsableX(s, i)) {
            haveSide = false;  // a pair never spans a gap: start again after it
            continue;
        }
        const double v = s.x[i];
        if (!haveSide) {
            if (Equal48(v, x)) return XLocation{i, i, 0.0, true};
            below = v < x;
            last = i;
            haveSide = true;
            continue;
        }
        if (Equal48(v, x) || (v < x) != below) return Pair(s, x, last, i);
        last = i;
    }
    return std::nullopt;
}

// On an all-valid, non-decreasing X the walk ends at the first sample not
// below x (or equal to it), which bisection finds at any size.
std::optional<XLocation> LocateSorted(const CurveSamples& s, double x, std::int32_t first) {
    const double* begin = s.x + first;
    const double* end = s.x + s.count;
    const double* p =
        std::partition_point(begin, end, [x](double v) { return v < x && !Equal48(v, x); });
    if (p == end) return std::nullopt;
    const auto i = static_cast<std::int32_t>(p - s.x);
    if (i == first) {
        if (Equal48(*p, x)) return XLocation{i, i, 0.0, true};
        return std::nullopt;
    }
    // A NaN passes the sortedness test but not bisection.
    if (std::isnan(s.x[i]) || std::isnan(s.x[i - 1])) return LocateWalk(s, x, first);
    return Pair(s, x, i - 1, i);
}

template <bool kLargest>
std::optional<std::int32_t> Extremum(const double* y, const std::uint8_t* flags, std::int32_t i,
                                     std::int32_t last) {
    while (i <= last && (flags[i] != kPointValid || std::isnan(y[i]))) ++i;
    if (i > last) return std::nullopt;
    std::int32_t best = i;
    double value = y[i];
    for (++i; i <= last; ++i) {
        if (flags[i] != kPointValid) continue;
        const double v = y[i];
        if (kLargest ? v > value : v < value) {
            value = v;
            best = i;
        }
    }
    return best;
}

// Next Max and Next Min: the cursor's sample, then the next local extremum,
// then the right edge; stored neighbours are compared whatever their flags.
std::optional<std::int32_t> NextExtremum(const CurveSamples& s, std::int32_t i0, std::int32_t i1,
                                         const MeasureCursor& cursor, bool largest) {
    std::int32_t k = -1;
    double v = 0.0;
    if (cursor.shown) {
        if (const auto at = LocateX(s, cursor.x, -1)) {
            k = at->upper;
            if (s.YValid(k)) v = s.y[k];
        }
    }
    const auto beyond = [largest](double from, double to) {
        return largest ? from < to : from > to;
    };
    const std::int32_t start = std::max(i0, k);
    if (start <= i1 && s.YValid(start) && beyond(v, s.y[start])) return start;
    const double* y = s.y;
    for (std::int32_t j = std::max(start + 1, 1); j <= i1 - 1; ++j) {
        if (!s.YValid(j)) continue;
        const bool peak = largest ? (y[j - 1] <= y[j] && y[j] >= y[j + 1])
                                  : (y[j - 1] >= y[j] && y[j] <= y[j + 1]);
        if (peak) return j;
    }
    if (s.YValid(i1) && beyond(v, s.y[i1])) return i1;
    return std::nullopt;
}

bool PointValid(const CurveSamples& s, std::int32_t j) {
    return s.xFlags[j] == kPointValid && !std::isnan(s.x[j]) && s.YValid(j);
}

}  // namespace

CurveSamples SamplesOf(CGraphCurve& screen, std::int32_t curve, std::int32_t run) {
    CurveSamples s;
    if (run < 0 || run >= screen.DrawnRunCount()) return s;
    s.xColumn = screen.RunXColumn(run);
    if (!s.xColumn) return s;
    const CResultData* data = screen.Data()->Run(run);
    // Run 0 counts the samples of the frequency display too.
    const std::int32_t rows = run == 0 ? screen.SampleCount() : data ? data->RowCount() : 0;
    s.count = std::max(0, std::min(rows, s.xColumn->Capacity()));
    s.x = s.xColumn->Values();
    s.xFlags = s.xColumn->Flags();
    s.sortedX = screen.RunXIsSorted(run);
    if (curve >= 0 && curve < screen.CurveCount()) {
        s.yColumn = screen.RunYColumn(run, screen.Curve(curve));
        if (s.yColumn) {
            s.yCount = std::min(s.count, s.yColumn->Capacity());
            s.y = s.yColumn->Values();
            s.yFlags = s.yColumn->Flags();
        }
    }
    return s;
}

std::int32_t MeasuredRunOf(const CGraphCurve& screen, std::int32_t curve) {
    const std::int32_t run = screen.MeasuredRun();
    if (run <= 0 || run >= screen.DrawnRunCount()) return 0;
    // A formula is worked out on the first run only: it is measured there.
    if (curve >= 0 && curve < screen.CurveCount() && screen.Curve(curve).sourceKind != kCurveColumn)
        return 0;
    return run;
}

std::string RunNameOf(const CGraphCurve& screen, std::int32_t run) {
    const std::string& name = screen.Data()->RunName(run);
    return name.empty() ? "run " + std::to_string(run + 1) : name;
}

CurveSamples SamplesOf(CGraphCurve& screen, std::int32_t curve) {
    return SamplesOf(screen, curve, MeasuredRunOf(screen, curve));
}

CurveSamples CursorSamples(CGraphCurve& screen, std::int32_t curve) {
    return CursorSamples(screen, SamplesOf(screen, curve), MeasuredRunOf(screen, curve));
}

CurveSamples CursorSamples(CGraphCurve& screen, CurveSamples s, std::int32_t run) {
    if (screen.CursorAlong().empty() || !s.xColumn) return s;
    CResultData* data = screen.Data()->Run(run);
    const std::int32_t v = data ? RunVariable(*data, screen.CursorAlong()) : -1;
    if (v < 0) return CurveSamples{};
    s.xColumn = RefPtr<CResultVariable>(data->Variable(v));
    s.count = std::min(s.count, s.xColumn->Capacity());
    s.yCount = std::min(s.yCount, s.count);
    s.x = s.xColumn->Values();
    s.xFlags = s.xColumn->Flags();
    s.sortedX = true;
    for (std::int32_t i = 0; i < s.count && s.sortedX; ++i)
        s.sortedX = UsableX(s, i) && (i == 0 || s.x[i] >= s.x[i - 1]);
    return s;
}

double CursorPlace(const CGraphCurve& screen, int which) {
    const MeasureCursor& c = screen.Cursor(which);
    return screen.CursorAlong().empty() ? c.x : c.along;
}

std::optional<double> NearestAlong(CGraphCurve& screen, std::int32_t curve, double x, double y) {
    const CurveSamples along = CursorSamples(screen, curve);
    const CurveSamples xy = SamplesOf(screen, curve);
    const PlotRect& plot = screen.Plot();
    const double xSpan = screen.XRange().to - screen.XRange().from;
    const double ySpan = screen.YRange().to - screen.YRange().from;
    if (!along.x || !xy.y || plot.Empty() || xSpan == 0.0 || ySpan == 0.0) return std::nullopt;
    // Pixels per unit, so that "nearest" is what the eye sees on any scales.
    const double kx = plot.Width() / xSpan, ky = plot.Height() / ySpan;
    const auto usable = [&](std::int32_t i) {
        return UsableX(along, i) && UsableX(xy, i) && xy.YValid(i);
    };
    std::optional<double> best;
    double bestDistance = 0.0;
    const std::int32_t n = std::min(along.count, xy.yCount);
    for (std::int32_t i = 0; i < n; ++i) {
        if (!usable(i)) continue;
        // The segment to the next point, or the lone point where that is unusable.
        const std::int32_t j = i + 1 < n && usable(i + 1) ? i + 1 : i;
        const double ax = (xy.x[i] - x) * kx, ay = (xy.y[i] - y) * ky;
        const double dx = (xy.x[j] - xy.x[i]) * kx, dy = (xy.y[j] - xy.y[i]) * ky;
        const double length = dx * dx + dy * dy;
        const double t = length > 0.0 ? std::clamp(-(ax * dx + ay * dy) / length, 0.0, 1.0) : 0.0;
        const double ex = ax + t * dx, ey = ay + t * dy, distance = ex * ex + ey * ey;
        if (best && distance >= bestDistance) continue;
        bestDistance = distance;
        best = along.x[i] + t * (along.x[j] - along.x[i]);
    }
    return best;
}

std::optional<XLocation> LocateX(const CurveSamples& s, double x, std::int32_t start) {
    const std::int32_t first = std::max(start + 1, 0);
    if (first >= s.count) return std::nullopt;
    return s.sortedX ? LocateSorted(s, x, first) : LocateWalk(s, x, first);
}

std::vector<XLocation> XPlaces(const CurveSamples& s, double x, bool all) {
    std::vector<XLocation> places;
    std::int32_t start = -1;
    while (const auto at = LocateX(s, x, start)) {
        places.push_back(*at);
        if (!all) break;
        start = at->Next();
    }
    return places;
}

std::optional<double> YAt(const CurveSamples& s, const XLocation& at) {
    if (at.lower < 0 || at.upper < 0 || at.lower >= s.yCount || at.upper >= s.yCount)
        return std::nullopt;
    if (s.yFlags[at.lower] == kPointInvalid || s.yFlags[at.upper] == kPointInvalid)
        return std::nullopt;
    if (at.lower == at.upper) return s.y[at.lower];
    return s.y[at.lower] + (s.y[at.upper] - s.y[at.lower]) * at.t;
}

SampleRange VisibleRange(const CurveSamples& s, double from, double to) {
    SampleRange r{0, s.count - 1};
    const auto lo = LocateX(s, from, -1);
    // An edge standing on a sample starts there, not one sample before.
    if (lo) r.first = lo->exact ? lo->upper : lo->lower;
    // The right edge may lie in the same sample step as the left one, so the
    // second search starts at the left sample; after a failed first search
    // (the left edge before the data) it starts at the beginning.
    const auto hi = LocateX(s, to, lo ? lo->lower - 1 : -1);
    if (hi) r.last = hi->upper;
    return r;
}

std::optional<std::int32_t> FindExtremum(const double* y, const std::uint8_t* flags,
                                         std::int32_t first, std::int32_t last, bool largest) {
    first = std::max(first, 0);
    // A cached column's pyramid finds the same first extremum in a few
    // thousand reads, but only over the column's own flags.
    if (last - first >= kPyramidWorthRows) {
        if (const auto p = PyramidAt(y);
            p && flags == p->column.flags.data() && last < p->pyramid.Rows()) {
            // None also from a pyramid that disagrees with its column: walk then.
            if (const auto at =
                    p->pyramid.Extremum(p->column, first, std::int64_t(last) + 1, largest))
                return static_cast<std::int32_t>(*at);
        }
    }
    return largest ? Extremum<true>(y, flags, first, last) : Extremum<false>(y, flags, first, last);
}

std::optional<std::int32_t> SearchSample(const CurveSamples& s, const SampleRange& visible,
                                         const MeasureCursor& cursor1, MeasureSearch search) {
    if (!s.y || s.count < 1) return std::nullopt;
    const std::int32_t i0 = std::max(visible.first, 0);
    const std::int32_t i1 = std::min(visible.last, s.yCount - 1);
    switch (search) {
        case MeasureSearch::Max:
        case MeasureSearch::Min:
            return FindExtremum(s.y, s.yFlags, i0, i1, search == MeasureSearch::Max);
        case MeasureSearch::NextMax:
        case MeasureSearch::NextMin:
            if (i0 > i1) return std::nullopt;
            return NextExtremum(s, i0, i1, cursor1, search == MeasureSearch::NextMax);
        case MeasureSearch::NextPoint: {
            std::int32_t k = -1;
            if (cursor1.shown) {
                if (const auto at = LocateX(s, cursor1.x, -1)) k = at->upper;
            }
            for (std::int32_t j = std::max(k + 1, 0); j < s.count; ++j) {
                if (PointValid(s, j)) return j;
            }
            return std::nullopt;
        }
        case MeasureSearch::PreviousPoint: {
            if (!cursor1.shown) return std::nullopt;
            const auto at = LocateX(s, cursor1.x, -1);
            if (!at) return std::nullopt;
            // A cursor standing on a sample steps to the one before it.
            const std::int32_t k = at->exact ? at->upper : at->lower;
            for (std::int32_t j = std::min(k - 1, s.count - 1); j >= 0; --j) {
                if (PointValid(s, j)) return j;
            }
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<MeasureTarget> FindMeasureTarget(const std::vector<CGraphCurve*>& screens) {
    for (std::size_t i = 0; i < screens.size(); ++i) {
        if (screens[i] && screens[i]->SelectedCurve() != -1)
            return MeasureTarget{static_cast<std::int32_t>(i), screens[i]->SelectedCurve(), false};
    }
    if (screens.empty() || !screens[0] || screens[0]->CurveCount() < 1) return std::nullopt;
    screens[0]->SetSelectedCurve(0);
    return MeasureTarget{0, 0, true};
}

CursorPlacement SetCursorAt(CGraphCurve& screen, std::int32_t curve, int which, double x,
                            MeasureLineStyle style) {
    MeasureCursor& c = screen.Cursor(which);
    CursorPlacement p;
    if (!screen.CursorAlong().empty()) {
        const CurveSamples s = CursorSamples(screen, curve);
        CurveSamples re = s;  // the screen's X read as values along the variable
        const CurveSamples xy = SamplesOf(screen, curve);
        re.y = xy.x;
        re.yFlags = xy.xFlags;
        re.yCount = std::min(s.count, xy.count);
        c.along = x;
        const auto at = LocateX(s, x, -1);
        const auto rx = at ? YAt(re, *at) : std::nullopt;
        const auto ry = at ? YAt(s, *at) : std::nullopt;
        p.found = at.has_value();
        p.valid = rx && ry;
        if (p.valid) c.x = *rx, c.y = *ry;
        c.horizontalLine = p.valid ? 1 : 0;
        return p;
    }
    const CurveSamples s = SamplesOf(screen, curve);
    c.x = x;
    if (const auto at = LocateX(s, x, -1)) {
        p.found = true;
        if (at->lower < s.yCount && at->upper < s.yCount) {
            c.y = at->lower == at->upper
                      ? s.y[at->lower]
                      : s.y[at->lower] + (s.y[at->upper] - s.y[at->lower]) * at->t;
            p.valid = YAt(s, *at).has_value();
        }
    }
    c.horizontalLine = p.valid && style == kMeasureCross ? 1 : 0;
    return p;
}

int ResetShownCursors(CGraphCurve& screen, std::int32_t curve, MeasureLineStyle style) {
    int set = 0;
    for (int which = 0; which < 2; ++which) {
        if (!screen.Cursor(which).shown) continue;
        SetCursorAt(screen, curve, which, CursorPlace(screen, which), style);
        ++set;
    }
    return set;
}

int SelectMeasureCurve(CGraphCurve& screen, std::int32_t curve, MeasureLineStyle style) {
    const int set = curve != screen.SelectedCurve() ? ResetShownCursors(screen, curve, style) : 0;
    screen.SetSelectedCurve(curve);
    return set;
}

std::optional<std::int32_t> RunMeasureSearch(const std::vector<CGraphCurve*>& screens,
                                             MeasureSearch search, MeasureLineStyle style,
                                             MeasureTarget* target) {
    const auto found = FindMeasureTarget(screens);
    if (!found) return std::nullopt;
    if (target) *target = *found;
    CGraphCurve& screen = *screens[static_cast<std::size_t>(found->screen)];
    const CurveSamples s = CursorSamples(screen, found->curve);
    if (!s.yColumn || !s.x) return std::nullopt;
    // Along another variable than X, the visible range is no range of it: search everything.
    const bool ranged = search != MeasureSearch::NextPoint &&
                        search != MeasureSearch::PreviousPoint && screen.CursorAlong().empty();
    const SampleRange visible = ranged ? VisibleRange(s, screen.XRange().from, screen.XRange().to)
                                       : SampleRange{0, s.count - 1};
    MeasureCursor from = screen.Cursor(0);
    from.x = CursorPlace(screen, 0);
    const auto j = SearchSample(s, visible, from, search);
    if (!j) return std::nullopt;
    SetCursorAt(screen, found->curve, 0, s.x[*j], style);
    return j;
}

std::string CursorText(double x, double y, bool xLog, bool yLog) {
    char text[96];
    std::snprintf(text, sizeof text, "[%g , %g]", xLog ? std::pow(10.0, x) : x,
                  yLog ? std::pow(10.0, y) : y);
    return text;
}

namespace {

CGraphCurve* PlaceTextScreen(const std::vector<CGraphCurve*>& screens) {
    for (CGraphCurve* screen : screens) {
        if (screen && screen->SelectedCurve() != -1)
            return screen->Cursor(0).shown ? screen : nullptr;
    }
    return nullptr;
}

}  // namespace

bool PlaceCursorTextEnabled(const std::vector<CGraphCurve*>& screens) {
    return PlaceTextScreen(screens) != nullptr;
}

CGraphText* PlaceCursorText(const std::vector<CGraphCurve*>& screens, const CGraphText& defaults) {
    CGraphCurve* screen = PlaceTextScreen(screens);
    if (!screen) return nullptr;
    const MeasureCursor& c = screen->Cursor(0);
    // A text anchored nowhere could be neither drawn nor saved.
    if (!std::isfinite(c.x) || !std::isfinite(c.y)) return nullptr;
    auto text = std::make_unique<CGraphText>(defaults);
    text->SetTextUtf8(CursorText(c.x, c.y, screen->XLog() != 0, screen->YLog() != 0));
    text->SetAnchor(c.x, c.y);
    text->SetOwner(screen);
    text->SetFlags(0);
    return static_cast<CGraphText*>(screen->AddAnnotation(std::move(text)));
}

}  // namespace kurvex
