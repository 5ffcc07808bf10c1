#pragma once

#include <QFont>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "analysis/FrequencyDisplay.h"
#include "analysis/Measure.h"
#include "analysis/MeasureTables.h"
#include "app/DocumentView.h"
#include "data/model/ResultData.h"
#include "graph/GraphCurve.h"
#include "graph/RunChoice.h"
#include "graph/ViewCommands.h"
#include "interaction/CommandTable.h"

class QMdiSubWindow;

namespace kurvex {
struct PrintJob;
}

namespace kurvex {

class CGraphDocument;
class CGraphWnd;
class CommandRouter;
class CBGridChildFrame;
class CScriptRunner;
class SettingsStore;
class FftRun;

// The graph view of a document window: a stack of screens sharing one X axis,
// the commands that act on them and the reactions to what the screens report.
class COhmixGraphView : public QWidget, public DocumentView {
    Q_OBJECT
public:
    explicit COhmixGraphView(CGraphDocument* document, QWidget* parent = nullptr);
    ~COhmixGraphView() override;

    CGraphDocument* Document() const { return document_; }

    // The screens, top first.
    int ScreenCount() const { return static_cast<int>(screens_.size()); }
    CGraphWnd* Screen(int index) const;
    std::vector<CGraphCurve*> Records() const;
    std::vector<const CGraphCurve*> ConstRecords() const override;
    // The screen that screen commands act on, or -1.
    int ActiveScreen() const { return active_; }
    void SetActiveScreen(int index);
    // The label width and text height every screen is laid out with.
    const CharMetrics& LayoutNumbers() const { return metrics_; }

    // Builds the screens when the window first shows its document: a saved
    // layout, the frequency-response or one-curve layout, else one screen
    // whose curves the user picks.
    void FirstSetup();
    // What the last first set-up found.
    SetupSource SetupSourceUsed() const { return setupSource_; }

    // Registers the view and document commands; each acts on the view the router finds active.
    static void RegisterCommands(CommandRouter& router);
    // Carries out a command on this view unless a transform runs; the previous run follows.
    void RunCommand(const std::function<void(COhmixGraphView&)>& body);
    // Adds what the command rules need to know about this view.
    void FillContext(CommandContext& context) const;

    // The curve list's choice (screen and curve in one parameter).
    void SelectCurveFromList(std::int32_t param);
    // Shows cursor 1 on every screen, or hides every cursor.
    void ShowMeasureCursors(bool on);

    // After a reload: re-binds the screens to `fresh`; false when the view
    // lost its X variable and must close.
    bool Rebind(const CResultDataRef& fresh, bool* invalidPoints) override;
    // After a requested reload: both axes fitted, or Y only with X kept.
    void RescaleAfterRequest(bool redrawX) override;
    // After a merge: the screens show `merged`; true on invalid points.
    bool TakeMergedData(const CResultDataRef& merged) override;
    // After a merge: lets the user pick curves among the merged variables.
    void OfferCurvesAfterMerge() override;
    // Tells the main frame that no curve of this view is selected.
    void ForgetCurveSelection() override;

    // Which runs the screens draw and which one they measure, by run name.
    const RunChoice& Runs() const { return runs_; }
    // The view's measurement script and its results.
    CScriptRunner* Scripts() const { return scripts_; }
    // Applies `choice` to every screen and redraws; the ranges stay as they are.
    void SetRunChoice(RunChoice choice);
    // The names the choice knows the runs of the document by.
    std::vector<std::string> RunNames() const;
    // The document's data as the screens show it: runs shifted, scaled and
    // mapped as the run choice says.
    const CResultDataRef& ShownData() const { return shown_; }

    // Whether the window draws the run before the last reload under its curves.
    bool PreviousRunShown() const { return showPrevious_; }
    void SetShowPreviousRun(bool on);

    // Where option changes made in this view are stored (none: they are not stored).
    void SetOptionStore(SettingsStore* store) { store_ = store; }
    // Re-sets the shown cursors of every screen to the measure-line style in force; `report`:
    // the measure window lists the values again.
    void ApplyMeasureLineStyle(bool report);

    // True while the view runs a transform; the window may not go meanwhile.
    bool Busy() const { return fftRun_ != nullptr; }
    // Closes the window as soon as the running work allows.
    void CloseWindow() override;
    QWidget* DialogParent() override { return this; }
    // The document window holding the view, or null.
    QMdiSubWindow* Window() const;

    // Redraws every screen.
    void RedrawAll();
    // Computes the spectra shown again with the FFT window in force.
    void RecomputeSpectra();
    // After curves were added to a screen from outside the curve dialog.
    void AfterCurvesAdded(bool invalidPoints);

signals:
    // The curve list should show this view's curves with `param` selected
    // (kNoCurveSelection: this view no longer has a selection to show).
    void curveSelection(int param);
    // Something the command rules look at changed.
    void stateChanged();
    // A line for the status bar.
    void statusMessage(const QString& text);
    // A cursor moved (`which`: 0 or 1); the measure window lists the values at x1 and x2.
    void cursorsMoved(const std::vector<CGraphCurve*>& screens, double x1, double x2, int which);
    // The screens' values changed under the cursors (a reload); a measure window listing
    // `screens` lists them again.
    void measureValuesStale(const std::vector<CGraphCurve*>& screens);
    // Measuring began: the measure window should be open.
    void measureWindowWanted();
    // An average or RMS for the measure window.
    void averageMeasured(const MeasureResult& result);
    // The program's measure-line style changed here; every view draws its cursors anew.
    void measureLineStyleChanged();
    // A screen is about to go; nothing may keep listing `record`.
    void screenRemoved(const CGraphCurve* record);
    // The right-click menu of a screen is wanted at `global`.
    void screenMenuWanted(QPoint global);
    // A point table of this view was made and wants a window.
    void tableWindowMade(CBGridChildFrame* table);

protected:
    void resizeEvent(QResizeEvent* event) override;

private slots:
    // What a screen tells its view; each leaves the command rules to look again.
    void OnScreenLeftPressed(int screen);
    void OnScreenDoubleClicked(int screen);
    void OnScreenRightPressed(int screen, Qt::KeyboardModifiers modifiers, QPoint globalPoint);
    void OnScreenRangeChanged(int screen, bool xChanged);
    void OnScreenCursorMoved(int screen, int which);
    void OnScreenCurveSelected(int screen);

private:
    friend class FftRun;

    void LayOut();
    CGraphWnd* AppendScreen(std::unique_ptr<CGraphCurve> record);
    void DeleteScreen();
    void RemoveScreen(int index);
    // Opens the curve dialog on screen `index`; true when it was accepted.
    bool EditCurves(int index);
    void AddScreen();
    void EditXAxis();
    void EditYAxis();
    void ChooseXVariable();
    void PageSetup();
    void ViewDataPoints();
    // What a printed page of this view shows.
    PrintJob PrintJobOf() const;
    void ReportSelection(std::int32_t param);
    void OnCursorMoved(int screen, int which);
    void RunRightMouseAction(int screen, QPoint global);
    int FocusedScreen() const;
    void EnterMeasureMode();
    void RunSearch(MeasureSearch search);
    void RunAverage(AverageKind kind);
    void SetRightMouseAction(std::int32_t action);
    void SetMeasureLineStyle(std::int32_t style);
    // Drops the drags in progress on the screens (before their model changes under them).
    void CancelDrags();
    // Runs `work` as the view's transform over `screens` (the window cannot go meanwhile), then
    // `after`; a close asked for meanwhile happens once both are done, and then true.
    bool RunTransform(const std::vector<CGraphCurve*>& screens,
                      const std::function<void(FftSession)>& work,
                      const std::function<void()>& after = {});
    void ToggleDomain();
    void UndoRanges();
    void Redraw();
    void SaveSettings();
    void SaveAs();
    void SaveBinary();
    void MergeFile();
    void AddRun();
    void ReloadData();
    void NextPane(int step);
    void WarnInvalidPoints();
    // Gives every screen the document's previous run while the window shows it.
    void SyncPreviousRun();
    // Computes the spectra of the previous run where screens show spectra.
    void PreparePreviousSpectra();
    // The measure window lists this view's values again (after a reload).
    void RefreshMeasureWindow();
    // Gives `screen` the shown and measured runs of the choice for the document's runs.
    void ApplyRunChoice(CGraphCurve& screen) const;
    void ApplyRunChoice();
    // Makes ShownData() the document's `data` under the run choice.
    const CResultDataRef& Show(const CResultDataRef& data);

    CGraphDocument* document_;
    std::vector<CGraphWnd*> screens_;
    int active_ = -1;
    CharMetrics metrics_;
    std::int32_t listParam_ = kNoCurveSelection;
    SetupSource setupSource_ = SetupSource::None;
    bool setupDone_ = false;
    FftRun* fftRun_ = nullptr;
    bool closeWhenIdle_ = false;
    bool showPrevious_ = false;
    bool preparingSpectra_ = false;
    SettingsStore* store_ = nullptr;
    RunChoice runs_;
    CResultDataRef shown_;
    CScriptRunner* scripts_ = nullptr;  // a child of the view
};

}  // namespace kurvex
