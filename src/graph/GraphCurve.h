#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/model/RefPtr.h"
#include "data/model/ResultData.h"
#include "data/model/RunAdjust.h"
#include "data/platform/UserMessages.h"
#include "graph/AxisScale.h"
#include "graph/CurveEntry.h"
#include "graph/GraphAnnotation.h"
#include "graph/GraphFont.h"
#include "graph/LogColumns.h"
#include "graph/UndoEntry.h"
#include "graph/canvas/GraphTypes.h"

namespace kurvex {

class PreviousRun;

// The warning shown when a log axis or a formula met points it cannot show.
inline constexpr const char* kInvalidPointsWarning =
    "Warning: Kurvex has encountered invalid points. A Graph will still be drawn but the "
    "portions of graph that contain these invalid points will not be drawn. An example of an "
    "invalid point is a negative value in a log axis.";

// Shows kInvalidPointsWarning with the exclamation icon.
void ShowInvalidPointsWarning(UserMessages& messages);

// How a range change is applied.
struct RangeFlags {
    bool pushUndo = false;          // save the current ranges on the undo stack first
    UndoKind undoKind = kUndoZoom;  // the kind of that entry
    bool setIncrement = false;      // store a positive increment argument
    bool autoIncrement = true;      // choose or adjust the grid step
    bool clamp = false;             // keep the range within the data extent
};

// The zoom limit: the whole data extent drawn at a range's scale must stay
// below this many pixels.
inline constexpr double kZoomLimitPixels = 268435455.0;

// Frequency-display state of a screen; the FFT gives these their meaning.
struct FrequencyState {
    RefPtr<CResultVariable> xColumn;          // the spectrum's X values
    RefPtr<CResultVariable> gridSampleCount;  // one sample: the time grid's sample count
    RefPtr<CResultVariable> logXColumn;       // xColumn on a log axis, built when first asked for
    std::int32_t value = 0;
    std::int32_t state[3] = {1, -1, -1};
    double fftStart = 0.0;
    double fftEnd = 0.0;
};

// Indices first .. last of the samples that drawing an X interval visits
// (one beyond each end where there is one); empty when first > last.
struct IndexWindow {
    std::int32_t first = 0;
    std::int32_t last = -1;

    bool Empty() const { return first > last; }
    bool operator==(const IndexWindow&) const = default;
};

// The samples of a column of `n` rows that drawing [from, to] visits;
// `sorted` (valid, non-decreasing samples) lets it bisect.
IndexWindow WindowOfColumn(const CResultVariable& x, std::int32_t n, bool sorted, double from,
                           double to);

// A point a tool marks on a screen, in the axes' values (not logarithms),
// with the text written beside it.
struct ScreenMark {
    double x = 0.0;
    double y = 0.0;
    std::string label;

    bool operator==(const ScreenMark&) const = default;
};

// The model of one screen: axes, ranges, colours, font, the curves shown, the
// measurement cursors and the zoom undo stack. Copies share sample columns;
// the undo stack, legend rectangles and annotations belong to one screen and
// are never copied (a drag's working copy can be assigned back safely).
class CGraphCurve {
public:
    // A model with the defaults of a new screen of `graphKind`.
    explicit CGraphCurve(std::int32_t graphKind = kScreenOfView);
    // Copies everything but the undo stack, legend rectangles and annotations.
    CGraphCurve(const CGraphCurve& other);
    // As the copy, and leaves this model's undo stack and annotations alone.
    CGraphCurve& operator=(const CGraphCurve& other);
    ~CGraphCurve();

    // The saved ranges, oldest first.
    const std::vector<std::unique_ptr<UndoEntry>>& UndoStack() const { return undo_; }
    // The kind of the newest push.
    UndoKind LastUndoKind() const { return lastUndoKind_; }
    // Saves the current ranges unless this continues a run of scroll or wheel
    // steps of the same kind; true when an entry was pushed.
    bool PushUndo(UndoKind kind);
    // Ends a run of scroll or wheel steps: the next step saves its own entry.
    void EndUndoRun() { lastUndoKind_ = kUndoZoom; }
    // Takes the newest entry off the stack (null when empty).
    std::unique_ptr<UndoEntry> PopUndo();
    // Puts the ranges and scales of `entry` back; a changed scale recomputes
    // the data extents. True when that met invalid points.
    bool RestoreRanges(const UndoEntry& entry);

    // 1 on the view's bottom screen, which shows the X labels and scroll bar.
    std::int32_t BottomScreen() const { return bottomScreen_; }
    void SetBottomScreen(std::int32_t on) { bottomScreen_ = on ? 1 : 0; }
    // Index of the curve the measurement works on, or -1.
    std::int32_t SelectedCurve() const { return selectedCurve_; }
    void SetSelectedCurve(std::int32_t index) { selectedCurve_ = index; }
    // Measurement cursor 0 or 1.
    MeasureCursor& Cursor(int which) { return cursors_[which == 0 ? 0 : 1]; }
    const MeasureCursor& Cursor(int which) const { return cursors_[which == 0 ? 0 : 1]; }

    // Screen colours: background, foreground (axes, text, cursors) and grid.
    Rgb Background() const { return background_; }
    void SetBackground(Rgb c) { background_ = c; }
    Rgb Foreground() const { return foreground_; }
    void SetForeground(Rgb c) { foreground_ = c; }
    Rgb GridColour() const { return gridColour_; }
    void SetGridColour(Rgb c) { gridColour_ = c; }

    // The plot area in window pixels, as the last draw computed it.
    const PlotRect& Plot() const { return plot_; }
    void SetPlot(const PlotRect& r) { plot_ = r; }
    // Legend label rectangles in curve order, recorded by the last draw.
    std::vector<PlotRect>& LegendRects() { return legendRects_; }
    const std::vector<PlotRect>& LegendRects() const { return legendRects_; }

    // 1 when grid lines are drawn.
    std::int32_t GridShown() const { return gridShown_; }
    void SetGridShown(std::int32_t on) { gridShown_ = on ? 1 : 0; }
    // 1 when labels, titles and legend are left out.
    std::int32_t HideAxisText() const { return hideAxisText_; }
    void SetHideAxisText(std::int32_t on) { hideAxisText_ = on ? 1 : 0; }
    // The reserved number the display record carries.
    std::int32_t Reserved() const { return reserved_; }
    void SetReserved(std::int32_t v) { reserved_ = v; }
    // Bits of DisplayFlag.
    std::uint32_t DisplayFlags() const { return displayFlags_; }
    void SetDisplayFlags(std::uint32_t flags) { displayFlags_ = flags; }
    // True in black-and-white mode.
    bool BlackWhite() const { return (displayFlags_ & kDisplayBlackWhite) != 0; }

    // The annotations in creation order.
    const std::vector<std::unique_ptr<CGraphAnnotation>>& Annotations() const {
        return annotations_;
    }
    // Appends an annotation; the screen owns it from now on.
    CGraphAnnotation* AddAnnotation(std::unique_ptr<CGraphAnnotation> a);
    // Deletes annotation `index` and drops it from the selection.
    void RemoveAnnotation(std::size_t index);
    // Deletes all annotations.
    void ClearAnnotations();
    // Selected annotations; they stay owned by the list.
    std::vector<CGraphAnnotation*>& AnnotationSelection() { return selection_; }

    // Points a tool window marks, drawn over the curves; they belong to this
    // screen and are not copied.
    const std::vector<ScreenMark>& Marks() const { return marks_; }
    void SetMarks(std::vector<ScreenMark> marks) { marks_ = std::move(marks); }

    // The log-column accessor of this screen.
    const LogColumns& LogColumnAccess() const { return logColumns_; }
    // The data set the curves read; shared with the document.
    const CResultDataRef& Data() const { return data_; }
    // Shows `data` from now on; the extents are recomputed by the caller.
    void SetData(const CResultDataRef& data);

    // Width of "0123456789" and text height in the axis font.
    const CharMetrics& Metrics() const { return metrics_; }
    void SetMetrics(const CharMetrics& m) { metrics_ = m; }
    // The axis font's description.
    const GraphFont& Font() const { return font_; }
    // Replaces the axis font; with `measure` also takes its metrics from
    // "0123456789" written in it.
    void SetFont(const GraphFont& font, const TextMeasure* measure);

    // Axis settings: auto-grid, auto-scale (Y) and number of divisions.
    std::int32_t XAutoGrid() const { return xAutoGrid_; }
    void SetXAutoGrid(std::int32_t on) { xAutoGrid_ = on ? 1 : 0; }
    std::int32_t XDivisions() const { return xDivisions_; }
    void SetXDivisions(std::int32_t n) { xDivisions_ = n; }
    std::int32_t YAutoScale() const { return yAutoScale_; }
    void SetYAutoScale(std::int32_t on) { yAutoScale_ = on ? 1 : 0; }
    std::int32_t YAutoGrid() const { return yAutoGrid_; }
    void SetYAutoGrid(std::int32_t on) { yAutoGrid_ = on ? 1 : 0; }
    std::int32_t YDivisions() const { return yDivisions_; }
    void SetYDivisions(std::int32_t n) { yDivisions_ = n; }

    // Extents, ranges and scale flags, in each axis's own scale.
    const DataExtent& XExtent() const { return xExtent_; }
    const AxisRange& XRange() const { return xRange_; }
    const DataExtent& YExtent() const { return yExtent_; }
    const AxisRange& YRange() const { return yRange_; }
    std::int32_t XLog() const { return xLog_; }
    std::int32_t YLog() const { return yLog_; }
    std::int32_t FreqDisplay() const { return freqDisplay_; }
    // Stores extent and range as they are, for loading saved settings.
    void StoreX(const DataExtent& extent, const AxisRange& range);
    void StoreY(const DataExtent& extent, const AxisRange& range);
    // Stores the scale flags as they are, for loading saved settings.
    void StoreScales(std::int32_t xLog, std::int32_t yLog, std::int32_t freqDisplay);

    // Sets the X scale and recomputes the X data extent; true when a log
    // column met invalid points.
    bool SetXScale(std::int32_t log);
    // Sets the Y scale and recomputes the Y data extent over all curves; true
    // when a log column met invalid points.
    bool SetYScale(std::int32_t log);
    // Both data extents with the current scales; true on invalid points.
    bool UpdateExtents();

    // Validates, widens and stores an X range and fits its grid; false (and
    // nothing changed) when the range is not finite or beyond the zoom limit.
    bool SetXRange(double from, double to, double increment, const RangeFlags& flags);
    // SetXRange for the Y axis.
    bool SetYRange(double from, double to, double increment, const RangeFlags& flags);
    // Both ranges under one undo entry; true when either was taken. When
    // neither was, the entry this call pushed is taken back.
    bool SetXYRange(double xFrom, double xTo, double xIncrement, double yFrom, double yTo,
                    double yIncrement, const RangeFlags& flags);

    // The grid step of an axis from its auto-grid flag and number of
    // divisions; with auto-grid the nice step also aligns from and to.
    double IncrementFor(Axis axis, double& from, double& to) const;

    // Makes the log columns the log axes need; true when invalid points were met.
    bool EnsureLogColumns();
    // The X column in the X axis's scale (spectrum X in the frequency display),
    // or null.
    RefPtr<CResultVariable> XColumn(bool* invalidFound = nullptr);
    // The Y column of `curve` in the Y axis's scale, or null.
    RefPtr<CResultVariable> YColumn(CCurveEntry& curve, bool* invalidFound = nullptr);
    // The min/max summary of the column YColumn gives for `curve`, when that
    // is a data-set column or its log column of enough rows; else null.
    std::shared_ptr<const ColumnSummary> YSummary(const CCurveEntry& curve) const;
    // Number of samples the columns hold.
    std::int32_t SampleCount() const;
    // True when the X column is a data-set column of valid, non-decreasing samples.
    bool XIsSortedColumn() const;
    // The samples drawing the X interval [from, to] visits.
    IndexWindow VisibleIndexWindow(double from, double to);
    // Smallest and largest Y of all curves over the samples of [from, to],
    // in the Y axis's scale; none when no sample is valid.
    std::optional<DataExtent> YExtentOver(double from, double to);

    // Runs: run 0 is Data() itself, later runs are Data()->Run(k).
    // Whether run k is drawn; all runs are until one is hidden.
    bool RunShown(std::int32_t k) const {
        return k < 0 || static_cast<size_t>(k) >= hiddenRuns_.size() ||
               !hiddenRuns_[static_cast<size_t>(k)];
    }
    void SetRunShown(std::int32_t k, bool shown);
    // Per run, true where hidden; empty when every run is shown.
    const std::vector<bool>& HiddenRuns() const { return hiddenRuns_; }
    // How each run is lined up, for the legend to say; empty when none is.
    const std::vector<RunAdjust>& RunAdjustments() const { return runAdjust_; }
    void SetRunAdjustments(std::vector<RunAdjust> adjust) { runAdjust_ = std::move(adjust); }
    // Variables of the data set whose values at the cursors the measure window
    // lists after the curves: what a curve over another X was drawn along.
    const std::vector<std::string>& CursorCompanions() const { return companions_; }
    void SetCursorCompanions(std::vector<std::string> names) { companions_ = std::move(names); }
    // The variable the cursors move along instead of X (a Nyquist curve's
    // frequency, where X passes a value many times); empty for X.
    const std::string& CursorAlong() const { return cursorAlong_; }
    void SetCursorAlong(std::string name) { cursorAlong_ = std::move(name); }
    // The run that cursors, searches and averages work on; 0 until one is chosen.
    std::int32_t MeasuredRun() const { return measuredRun_; }
    void SetMeasuredRun(std::int32_t k) { measuredRun_ = k > 0 ? k : 0; }
    // The runs drawing visits: one in the frequency display, which shows run 0's spectra.
    std::int32_t DrawnRunCount() const;
    // XColumn for run k: the run's column of the X variable's name, null when
    // the run lacks it.
    RefPtr<CResultVariable> RunXColumn(std::int32_t k);
    // YColumn for run k: the run's column of a column curve's name, or a formula
    // curve's result over the run; null for spectra beyond run 0, and where the
    // run lacks it.
    RefPtr<CResultVariable> RunYColumn(std::int32_t k, CCurveEntry& curve);
    // YSummary for run k.
    std::shared_ptr<const ColumnSummary> RunYSummary(std::int32_t k, const CCurveEntry& curve);
    // XIsSortedColumn for run k.
    bool RunXIsSorted(std::int32_t k);
    // VisibleIndexWindow for run k.
    IndexWindow RunIndexWindow(std::int32_t k, double from, double to);

    // The columns and state of the frequency display.
    FrequencyState& Frequency() { return freq_; }
    const FrequencyState& Frequency() const { return freq_; }

    // The curves in drawing order.
    std::int32_t CurveCount() const { return static_cast<std::int32_t>(curves_.size()); }
    CCurveEntry& Curve(std::int32_t i) { return *curves_[static_cast<std::size_t>(i)]; }
    const CCurveEntry& Curve(std::int32_t i) const { return *curves_[static_cast<std::size_t>(i)]; }
    // Appends a curve; returns its index.
    std::int32_t AddCurve(const CCurveEntry& curve);
    // Deletes curve `i`; a selection that no longer names a curve is cleared.
    void RemoveCurve(std::int32_t i);
    // Deletes all curves.
    void ClearCurves();
    // Empties the model before saved settings are loaded into it: curves,
    // annotations, cursors and the curve selection.
    void ClearForLoad();

    // The X axis title.
    const std::string& XTitle() const { return xTitle_; }
    void SetXTitle(const std::string& title) { xTitle_ = title; }
    // Index of the X variable in the data set.
    std::int32_t XIndex() const { return xIndex_; }
    void SetXIndex(std::int32_t index) { xIndex_ = index; }
    // The X variable's name, empty when the index names no column.
    std::string XVariableName() const;

    // The graph kind given at construction.
    std::int32_t GraphKind() const { return graphKind_; }

    // The run before the last reload, drawn under the curves; null while not shown.
    PreviousRun* PreviousRunShown() const { return previous_.get(); }
    const std::shared_ptr<PreviousRun>& PreviousRunHandle() const { return previous_; }
    void ShowPreviousRun(std::shared_ptr<PreviousRun> run) { previous_ = std::move(run); }

    // While above 0 the screen is not drawn.
    std::int32_t BusyCount() const { return busy_; }
    void EnterBusy() { ++busy_; }
    void LeaveBusy() {
        if (busy_ > 0) --busy_;
    }

private:
    void CopyFrom(const CGraphCurve& other);
    bool SetRange(Axis axis, double from, double to, double increment, const RangeFlags& flags);
    UndoEntry CurrentState() const;

    // Fields in the order the model defines them.
    std::vector<std::unique_ptr<UndoEntry>> undo_;
    UndoKind lastUndoKind_ = kUndoZoom;
    std::int32_t bottomScreen_ = 1;
    std::int32_t selectedCurve_ = -1;
    MeasureCursor cursors_[2];
    Rgb background_ = kRgbWhite;
    Rgb foreground_ = kRgbBlack;
    Rgb gridColour_ = kRgbGrey;
    PlotRect plot_;
    std::vector<PlotRect> legendRects_;
    std::int32_t gridShown_ = 1;
    std::int32_t hideAxisText_ = 0;
    std::int32_t reserved_ = 0;
    std::uint32_t displayFlags_ = 0;
    std::vector<std::unique_ptr<CGraphAnnotation>> annotations_;
    std::vector<CGraphAnnotation*> selection_;
    std::vector<ScreenMark> marks_;
    LogColumns logColumns_;
    CResultDataRef data_;
    CharMetrics metrics_;
    GraphFont font_;
    std::int32_t xAutoGrid_ = 1;
    std::int32_t xDivisions_ = 5;
    std::int32_t yAutoScale_ = 1;
    std::int32_t yAutoGrid_ = 1;
    std::int32_t yDivisions_ = 5;
    DataExtent xExtent_;
    AxisRange xRange_;
    DataExtent yExtent_;
    AxisRange yRange_;
    std::int32_t xLog_ = 0;
    std::int32_t yLog_ = 0;
    std::int32_t freqDisplay_ = 0;
    FrequencyState freq_;
    std::vector<std::unique_ptr<CCurveEntry>> curves_;
    std::string xTitle_;
    std::int32_t xIndex_ = 0;
    std::int32_t graphKind_;
    std::int32_t busy_ = 0;
    std::shared_ptr<PreviousRun> previous_;
    std::vector<bool> hiddenRuns_;
    std::vector<RunAdjust> runAdjust_;
    std::int32_t measuredRun_ = 0;
    std::vector<std::string> companions_;
    std::string cursorAlong_;
};

}  // namespace kurvex
