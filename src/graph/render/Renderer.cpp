#include "graph/render/Renderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <string>

#include "data/cache/CachedResult.h"
#include "data/model/ColumnSummary.h"
#include "data/platform/NameText.h"
#include "graph/Annotations.h"
#include "graph/AxisTicks.h"
#include "graph/PreviousRun.h"
#include "graph/RunChoice.h"
#include "graph/RunColours.h"
#include "graph/canvas/DashedCanvas.h"
#include "graph/render/CurveDrawing.h"

namespace kurvex {

namespace {

bool Inside(const PlotRect& r, int x, int y) {
    return r.Contains(x, y);
}

// Where an axis's grid lines go (in the axis's own scale), which values carry
// labels (as values: on a log axis not their logarithms) and their prefix.
struct AxisTickSet {
    std::vector<double> grid;
    std::vector<double> labelled;
    AxisPrefix prefix;
};

AxisTickSet TicksOf(const AxisRange& r, bool log) {
    AxisTickSet t;
    if (log) {
        const double lo = std::pow(10.0, r.from), hi = std::pow(10.0, r.to);
        LogTickLists lists = LogTicks(lo, hi);
        for (double v : lists.grid) t.grid.push_back(std::log10(v));
        t.labelled = std::move(lists.labelled);
        t.prefix = EngineeringPrefix(hi - lo);
    } else {
        t.grid = LinearTicks(r.from, r.to, r.increment);
        t.labelled = t.grid;
        t.prefix = EngineeringPrefix(r.to - r.from);
    }
    return t;
}

}  // namespace

std::string XAxisTitle(const std::string& name, const std::string& prefix,
                       const std::string& fileUnit) {
    const std::string unit = fileUnit.empty() ? XUnit(name) : fileUnit;
    if (unit.empty() && prefix.empty()) return name;
    return name + " (" + prefix + (unit.empty() ? " " : unit) + ")";
}

std::string LegendText(const CCurveEntry& curve, const CResultData* data) {
    const std::string label = DisplayName(curve.label);
    if (label.empty() || curve.sourceKind != kCurveColumn || !data || curve.columnIndex < 0 ||
        curve.columnIndex >= data->VariableCount())
        return label;
    const std::string& unit = data->Variable(curve.columnIndex)->Unit();
    return unit.empty() ? label : label + " [" + DisplayName(unit) + "]";
}

namespace {

// Draws one screen; the steps follow the order in which a screen is built up.
class ScreenPainter {
public:
    ScreenPainter(CGraphCurve& model, Canvas& canvas, const DrawOptions& options)
        : model_(model), canvas_(canvas), options_(options), blackWhite_(model.BlackWhite()) {
        digitWidth_ = model_.Metrics().digitsWidth;
        textHeight_ = model_.Metrics().textHeight;
        scale_ = std::max(1, options_.scale);
    }

    Colour Fore() const { return blackWhite_ ? kRgbBlack : model_.Foreground(); }
    Colour Back() const { return blackWhite_ ? kRgbWhite : model_.Background(); }
    Colour Ink(Colour c) const { return blackWhite_ ? kRgbBlack : c; }

    void Frame(const PlotRect& p);
    void XAxis(const PlotRect& p);
    void YAxis(const PlotRect& p);
    void Legend(const PlotRect& p);
    void Curves(const PlotRect& p);
    void Cursors(const PlotRect& p);
    void Marks(const PlotRect& p);
    void CentredText(const PlotRect& target, const std::string& text);
    // Whether a dense column that leaves the plot may be drawn as the one
    // line its pixels come to (off where dashes would change their phase).
    void SetMergeColumns(bool on) { mergeColumns_ = on; }

private:
    // The curves of run k.
    void RunCurves(const PlotRect& p, const PixelMap& map, std::int32_t k);
    void Curve(CCurveEntry& curve, std::int32_t run, const PlotRect& p, const PixelMap& map,
               const IndexWindow& win, bool dense, const CResultVariable& x, bool sortedColumn,
               const PixelColumns& columns);
    // How run k of a curve of `colour` is drawn on this screen.
    RunLook LookOf(Rgb colour, std::int32_t k) const {
        return RunAppearance(colour, k, model_.DrawnRunCount(), model_.CurveCount(), blackWhite_);
    }
    // The runs after the curve labels: a line sample and the name of each shown run.
    void RunLegend(int x, int y, const PlotRect& p);

    CGraphCurve& model_;
    Canvas& canvas_;
    const DrawOptions& options_;
    bool blackWhite_;
    bool mergeColumns_ = true;
    int digitWidth_ = 75, textHeight_ = 15, scale_ = 1;
};

void ScreenPainter::Frame(const PlotRect& p) {
    canvas_.SetPen(PenStyle::Solid, scale_, Fore());
    canvas_.MoveTo(p.left, p.top);
    canvas_.LineTo(p.right, p.top);
    canvas_.LineTo(p.right, p.bottom);
    canvas_.LineTo(p.left, p.bottom);
    canvas_.LineTo(p.left, p.top);
    if (model_.GraphKind() == kScreenBanded && !model_.XLog() && !model_.YLog()) {
        const int cx = p.left + p.Width() / 2, cy = p.top + p.Height() / 2;
        canvas_.MoveTo(cx, p.top);
        canvas_.LineTo(cx, p.bottom);
        canvas_.MoveTo(p.left, cy);
        canvas_.LineTo(p.right, cy);
    }
}

void ScreenPainter::XAxis(const PlotRect& p) {
    const AxisRange r = model_.XRange();
    if (!(r.to > r.from) || p.Width() <= 0) return;
    const bool labels = !model_.HideAxisText() && model_.BottomScreen();
    const double kx = p.Width() / (r.to - r.from);
    auto pixel = [&](double v) { return p.left + ToPixelInt((v - r.from) * kx); };
    // A zero X step found at drawing time counts as 1.
    const AxisTickSet t =
        TicksOf({r.from, r.to, r.increment == 0.0 ? 1.0 : r.increment}, model_.XLog());
    const std::vector<double>& grid = t.grid;
    const std::vector<double>& labelled = t.labelled;
    const AxisPrefix& prefix = t.prefix;
    if (options_.drawGrid) {
        canvas_.SetPen(PenStyle::Dot, 1, Ink(model_.GridColour()));
        for (double v : grid) {
            const int px = pixel(v);
            canvas_.MoveTo(px, p.top);
            canvas_.LineTo(px, p.bottom);
        }
    }
    if (!labels) return;
    canvas_.SetTextColour(Fore());
    canvas_.SetTransparentText(true);
    const int y = p.bottom + textHeight_ / 2;
    // A label that would run into the one drawn before it is left out (its
    // grid line stays), with a digit's width kept free between two labels.
    const int gap = digitWidth_ / 10;
    bool drawn = false;
    int lastRight = 0;
    for (double v : labelled) {
        const double at = model_.XLog() ? std::log10(v) : v;
        const std::string text = TickLabel(v, prefix);
        const Size s = canvas_.TextExtent(text);
        const int left = pixel(at) - s.cx / 2;
        if (drawn && left < lastRight + gap) continue;
        canvas_.TextOut(left, y, text);
        drawn = true;
        lastRight = left + s.cx;
    }
    const std::string name =
        DisplayName(model_.XTitle().empty() ? model_.XVariableName() : model_.XTitle());
    const RefPtr<CResultVariable> xColumn = model_.XColumn();
    const std::string title =
        XAxisTitle(name, prefix.prefix, xColumn && model_.XTitle().empty() ? xColumn->Unit() : "");
    const Size s = canvas_.TextExtent(title);
    canvas_.TextOut(p.left + (p.Width() - s.cx) / 2, p.bottom + 2 * textHeight_, title);
}

void ScreenPainter::YAxis(const PlotRect& p) {
    const AxisRange r = model_.YRange();
    if (!(r.to > r.from) || p.Height() <= 0) return;
    const double ky = p.Height() / (r.to - r.from);
    auto pixel = [&](double v) { return p.bottom - ToPixelInt((v - r.from) * ky); };
    const AxisTickSet t = TicksOf(r, model_.YLog());
    const std::vector<double>& grid = t.grid;
    const std::vector<double>& labelled = t.labelled;
    const AxisPrefix& prefix = t.prefix;
    if (options_.drawGrid) {
        canvas_.SetPen(PenStyle::Dot, 1, Ink(model_.GridColour()));
        for (double v : grid) {
            const int py = pixel(v);
            canvas_.MoveTo(p.left, py);
            canvas_.LineTo(p.right, py);
        }
    }
    if (model_.HideAxisText()) return;
    canvas_.SetTextColour(Fore());
    canvas_.SetTransparentText(true);
    // Labels go upward from the lowest; one that would cover the one drawn
    // before it is left out, its grid line stays.
    bool drawn = false;
    int lastTop = 0, lastBottom = 0;
    for (double v : labelled) {
        const double at = model_.YLog() ? std::log10(v) : v;
        const std::string text = TickLabel(v, prefix);
        const Size s = canvas_.TextExtent(text);
        const int top = pixel(at) - s.cy / 2;
        if (drawn && top < lastBottom && top + s.cy > lastTop) continue;
        canvas_.TextOut(p.left - digitWidth_ / 5 - s.cx, top, text);
        drawn = true;
        lastTop = top;
        lastBottom = top + s.cy;
    }
}

void ScreenPainter::Legend(const PlotRect& p) {
    if (options_.recordLegend) model_.LegendRects().clear();
    if (model_.HideAxisText()) return;
    canvas_.SetTransparentText(true);
    int x = p.left;
    const int y = p.top - static_cast<int>(1.5 * textHeight_);
    for (std::int32_t i = 0; i < model_.CurveCount(); ++i) {
        const CCurveEntry& curve = model_.Curve(i);
        canvas_.SetTextColour(Ink(curve.colour));
        const std::string label = LegendText(curve, model_.Data().Get());
        canvas_.TextOut(x, y, label);
        const Size s = canvas_.TextExtent(label);
        if (options_.recordLegend) model_.LegendRects().push_back({x, y, x + s.cx, y + s.cy});
        x += s.cx + digitWidth_ / 2;
    }
    if (model_.DrawnRunCount() > 1 && model_.CurveCount() > 0) RunLegend(x, y, p);
}

void ScreenPainter::RunLegend(int x, int y, const PlotRect& p) {
    // With one curve the runs differ in colour and each name takes its run's
    // colour; otherwise the sample shows the first curve's step for the run.
    const bool oneCurve = model_.CurveCount() == 1;
    const Rgb base = model_.Curve(0).colour;
    const int sample = std::max(4, digitWidth_ / 3);
    for (std::int32_t k = 0; k < model_.DrawnRunCount() && x < p.right; ++k) {
        if (!model_.RunShown(k)) continue;
        const RunLook look = LookOf(base, k);
        const int ly = y + textHeight_ / 2;
        {
            std::optional<DashedCanvas> dashed;
            if (look.dash > 0) dashed.emplace(canvas_, look.dash * scale_, look.gap * scale_);
            Canvas& target = dashed ? static_cast<Canvas&>(*dashed) : canvas_;
            target.SetPen(PenStyle::Solid, scale_, look.colour);
            target.MoveTo(x, ly);
            target.LineTo(x + sample, ly);
        }
        x += sample + digitWidth_ / 10;
        std::string name = model_.Data()->RunName(k);
        if (name.empty()) name = "run " + std::to_string(k + 1);
        const auto& adjust = model_.RunAdjustments();
        if (static_cast<size_t>(k) < adjust.size()) {
            const CCurveEntry& first = model_.Curve(0);
            const CResultData& data = *model_.Data().Get();
            const bool column = oneCurve && first.sourceKind == kCurveColumn &&
                                first.columnIndex > 0 && first.columnIndex < data.VariableCount();
            name = RunLegendText(name, adjust[static_cast<size_t>(k)],
                                 column ? data.Variable(first.columnIndex)->Name() : "",
                                 data.Variable(0)->Name());
        }
        canvas_.SetTextColour(oneCurve ? look.colour : Fore());
        canvas_.TextOut(x, y, name);
        x += canvas_.TextExtent(name).cx + digitWidth_ / 2;
    }
}

void ScreenPainter::Curves(const PlotRect& p) {
    const PixelMap map(p, model_.XRange(), model_.YRange());
    if (!map.Valid() || model_.CurveCount() == 0) return;
    // Later runs first, so the primary run lies on top.
    for (std::int32_t k = model_.DrawnRunCount() - 1; k >= 0; --k) {
        if (model_.RunShown(k)) RunCurves(p, map, k);
    }
}

void ScreenPainter::RunCurves(const PlotRect& p, const PixelMap& map, std::int32_t k) {
    const RefPtr<CResultVariable> x = model_.RunXColumn(k);
    if (!x) return;
    const IndexWindow win = model_.RunIndexWindow(k, model_.XRange().from, model_.XRange().to);
    if (win.Empty()) return;
    const std::int64_t count = static_cast<std::int64_t>(win.last) - win.first;
    const bool dense = count > 1000 && p.Width() > 0 && count / p.Width() > 5;
    canvas_.SetClip(nullptr);
    const bool sorted = model_.RunXIsSorted(k);
    // In a sorted X column each pixel column is one run of indices, the same
    // for every curve.
    PixelColumns columns;
    if (dense && sorted && model_.GraphKind() != kScreenBanded) {
        const std::int32_t end = std::min(win.last, x->Capacity() - 1) + 1;
        // An evenly stepping cached X need not be searched, nor read at all;
        // any other cached X is searched through its pyramid.
        const auto before = [&](std::int32_t k, double v) { return map.PixelX(v) < p.left + k; };
        if (const auto even = CachedEvenSteps(x->Values())) {
            columns =
                FindEvenPixelColumns(map, p, x->Values(), win.first, end, even->first, even->step);
        } else if (auto starts =
                       CachedPartitionPoints(x->Values(), win.first, end, p.Width() + 1, before)) {
            columns.left = p.left;
            columns.starts = std::move(*starts);
        } else {
            columns = FindPixelColumns(map, p, x->Values(), win.first, end);
        }
    }
    for (std::int32_t i = 0; i < model_.CurveCount(); ++i) {
        CCurveEntry& curve = model_.Curve(i);
        Curve(curve, k, p, map, win, dense, *x, sorted, columns);
    }
}

void ScreenPainter::Curve(CCurveEntry& curve, std::int32_t run, const PlotRect& p,
                          const PixelMap& map, const IndexWindow& win, bool dense,
                          const CResultVariable& xcol, bool sortedColumn,
                          const PixelColumns& columns) {
    const RefPtr<CResultVariable> ycol = model_.RunYColumn(run, curve);
    if (!ycol) return;
    const RunLook look = LookOf(curve.colour, run);
    // Declared before the stroke, so the stroke's last lines reach it first.
    std::optional<DashedCanvas> dashed;
    if (look.dash > 0) dashed.emplace(canvas_, look.dash * scale_, look.gap * scale_);
    Canvas& target = dashed ? static_cast<Canvas&>(*dashed) : canvas_;
    const Colour colour = look.colour;
    const int thickness = std::clamp(curve.thickness, 0, 100);
    target.SetPen(PenStyle::Solid, thickness > 1 ? thickness * scale_ : thickness, colour);
    target.SetBrush(colour);
    CurveStroke s(target, p, map);
    s.xValues = xcol.Values();
    s.xFlags = xcol.Flags();
    s.yValues = ycol->Values();
    s.yFlags = ycol->Flags();
    s.first = win.first;
    s.last = std::min({win.last, xcol.Capacity() - 1, ycol->Capacity() - 1});
    s.dense = dense;
    s.connect = curve.connect != 0;
    s.symbol = curve.markerSymbol;
    s.scale = scale_;
    // The banded kind gives every curve a strip of its own.
    s.band = model_.GraphKind() == kScreenBanded;
    const double bandScale = curve.bandScale == 0.0 ? 1.0 : curve.bandScale;
    s.bandK = p.Height() / (bandScale * 8.0);
    s.bandOffset = curve.bandOffset;
    s.yFrom = model_.YRange().from;

    if (!dense || !s.connect || s.band) {
        WalkSamples(s);
    } else if (!columns.starts.empty()) {
        std::shared_ptr<const ColumnSummary> summary;
        if (options_.summaries) summary = model_.RunYSummary(run, curve);
        if (summary && summary->Source() != s.yValues) summary.reset();
        // A cached column is read at the columns' ends only: asked for at once.
        PrefetchColumnEnds(s.yValues, columns.starts, summary != nullptr);
        // Merged columns would shift a dash pattern's phase.
        const bool merge = mergeColumns_ && !dashed && thickness <= 1 && s.symbol == kMarkerNone;
        DrawByColumns(s, columns, summary.get(), merge);
    } else {
        DrawAbsorbingRuns(s, sortedColumn);
    }
}

void ScreenPainter::Cursors(const PlotRect& p) {
    const PixelMap map(p, model_.XRange(), model_.YRange());
    if (!map.Valid()) return;
    for (int which = 0; which < 2; ++which) {
        const MeasureCursor& cur = model_.Cursor(which);
        if (!cur.shown) continue;
        const Point pt = map.ToPixel(cur.x, cur.y);
        if (!(pt.x > p.left && pt.x < p.right)) continue;
        canvas_.SetPen(PenStyle::DashDot, 1, Fore());
        canvas_.MoveTo(pt.x, p.top);
        canvas_.LineTo(pt.x, p.bottom);
        if (model_.SelectedCurve() >= 0 && cur.horizontalLine && pt.y > p.top && pt.y < p.bottom) {
            canvas_.MoveTo(p.left, pt.y);
            canvas_.LineTo(p.right, pt.y);
        }
    }
}

void ScreenPainter::Marks(const PlotRect& p) {
    const PixelMap map(p, model_.XRange(), model_.YRange());
    if (!map.Valid()) return;
    const int r = std::max(2, textHeight_ / 4) * scale_;
    for (const ScreenMark& mark : model_.Marks()) {
        const double x = model_.XLog() ? std::log10(mark.x) : mark.x;
        const double y = model_.YLog() ? std::log10(mark.y) : mark.y;
        if (!std::isfinite(x) || !std::isfinite(y)) continue;
        const Point pt = map.ToPixel(x, y);
        if (!Inside(p, pt.x, pt.y)) continue;
        canvas_.SetPen(PenStyle::Solid, scale_, Fore());
        canvas_.SetBrush(Back());
        canvas_.MoveTo(pt.x, pt.y - 2 * r);
        canvas_.LineTo(pt.x, pt.y + 2 * r);
        canvas_.Ellipse({pt.x - r, pt.y - r, pt.x + r + 1, pt.y + r + 1});
        if (mark.label.empty()) continue;
        canvas_.SetTextColour(Fore());
        canvas_.SetTransparentText(true);
        // Left of the point where the text would run out of the plot.
        const int width = canvas_.TextExtent(mark.label).cx;
        const int tx = pt.x + 2 * r + width < p.right ? pt.x + 2 * r : pt.x - 2 * r - width;
        canvas_.TextOut(tx, std::max(p.top, pt.y - 2 * r - textHeight_ * scale_), mark.label);
    }
}

void ScreenPainter::CentredText(const PlotRect& target, const std::string& text) {
    canvas_.SetTextColour(Fore());
    canvas_.SetTransparentText(true);
    Rect r = target;
    const int height = canvas_.DrawWrappedText(r, text, true);
    if (height < r.Height()) r.top += (r.Height() - height) / 2;
    canvas_.DrawWrappedText(r, text, false);
}

// The run before the last reload, faded and dashed, under the curves.
void DrawPreviousRun(CGraphCurve& model, Canvas& canvas, const PlotRect& plot,
                     const DrawOptions& o) {
    CGraphCurve* shadow = model.PreviousRunShown()->Follow(model);
    if (!shadow) return;
    std::lock_guard<std::recursive_mutex> hold(shadow->Data()->Lock());
    shadow->EnsureLogColumns();
    const int s = std::max(1, o.scale);
    DashedCanvas dashed(canvas, 6 * s, 4 * s);
    ScreenPainter shadowPainter(*shadow, dashed, o);
    shadowPainter.SetMergeColumns(false);
    shadowPainter.Curves(plot);
}

}  // namespace

PlotRect DrawScreen(CGraphCurve& model, Canvas& canvas, const DrawOptions& options,
                    DrawMemory& memory) {
    const PlotRect plot = PlotRectangle(model.GraphKind(), !model.HideAxisText(),
                                        model.BottomScreen() != 0, options.target, model.Metrics());
    if (model.BusyCount() > 0) return plot;
    model.SetPlot(plot);
    model.EnsureLogColumns();
    ScreenPainter painter(model, canvas, options);
    canvas.SelectFont(ToCanvasFont(model.Font(), options.printing ? options.scale : 1));

    if (model.GraphKind() == kScreenBanded && model.CurveCount() == 0) {
        canvas.FillRect(options.target, painter.Back());
        painter.Frame(plot);
        painter.CentredText(plot, "No Data");
        return plot;
    }

    CResultData* data = model.Data().Get();
    std::lock_guard<std::recursive_mutex> hold(data->Lock());
    DrawOptions o = options;
    if (data->ChangeCount() != memory.changeCount) {
        memory.changeCount = data->ChangeCount();
        o.force = true;
    }
    if (o.force) {
        memory.lastRow = 0;
        o.fullRedraw = true;
    }
    const std::int32_t n = model.SampleCount();
    if (memory.lastRow >= 1 && memory.lastRow >= n - 1) return plot;
    memory.lastRow = n - 1;

    canvas.SetInchMapping(o.printing);
    // A band screen is built up off screen and shown in one step.
    std::unique_ptr<Canvas> offscreen;
    if (model.GraphKind() == kScreenBanded && o.target.right > 0 && o.target.bottom > 0)
        offscreen = canvas.MakeOffscreen({o.target.right, o.target.bottom});
    Canvas& surface = offscreen ? *offscreen : canvas;
    if (offscreen) surface.SelectFont(ToCanvasFont(model.Font(), 1));
    ScreenPainter p(model, surface, o);
    if (o.force) surface.FillRect(o.target, p.Back());
    if (o.fullRedraw) {
        surface.SetTextColour(p.Fore());
        p.Frame(plot);
        p.XAxis(plot);
        p.YAxis(plot);
        p.Legend(plot);
    }
    if (o.force && model.PreviousRunShown()) DrawPreviousRun(model, surface, plot, o);
    p.Curves(plot);
    DrawAnnotations(model, surface, plot, o);
    if (!model.Marks().empty()) p.Marks(plot);
    if (o.recordLegend) p.Cursors(plot);
    if (offscreen) {
        canvas.SetClip(&o.target);
        canvas.Blit(*offscreen, 0, 0);
        canvas.SetClip(nullptr);
    }
    if (o.showSelectionMark && (model.DisplayFlags() & kDisplaySelected) &&
        model.GraphKind() == kScreenOfView && !canvas.IsPrinter()) {
        const int s = model.Metrics().textHeight / 2;
        canvas.FillRect({plot.right - s, plot.top - 2 * s, plot.right, plot.top - s},
                        MakeColour(255, 0, 0));
    }
    return plot;
}

}  // namespace kurvex
