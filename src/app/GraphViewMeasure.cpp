// The view's measure commands: cursors, searches, averages and the measure-line style.
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <QStyle>
#include <algorithm>
#include <cmath>

#include "analysis/Averages.h"
#include "analysis/Measure.h"
#include "app/CommandRouter.h"
#include "app/GraphDocument.h"
#include "app/GraphView.h"
#include "app/GraphWnd.h"
#include "graph/PreviousRun.h"
#include "interaction/MouseMode.h"

namespace kurvex {

namespace {

MeasureLineStyle CurrentLineStyle() {
    return MeasureLineStyleSetting() == kMeasureCross ? kMeasureCross : kMeasureVerticalBar;
}

}  // namespace

void COhmixGraphView::EnterMeasureMode() {
    SetMouseMode(kModeMeasure);
    emit measureWindowWanted();
    // The measure window belongs to the active document's first view.
    const auto& views = document_->Views();
    COhmixGraphView* first = views.empty() ? this : views.front();
    first->ShowMeasureCursors(true);
}

void COhmixGraphView::RunSearch(MeasureSearch search) {
    EnterMeasureMode();
    MeasureTarget target;
    const auto moved = RunMeasureSearch(Records(), search, CurrentLineStyle(), &target);
    if (target.newlySelected) ReportSelection(target.SelectionParam());
    if (moved) OnCursorMoved(target.screen, 0);
}

void COhmixGraphView::RunAverage(AverageKind kind) {
    EnterMeasureMode();
    const std::vector<CGraphCurve*> records = Records();
    const auto target = FindMeasureTarget(records);
    if (!target) return;
    if (target->newlySelected) ReportSelection(target->SelectionParam());
    const auto result = AverageCommand(records, kind);
    if (result) emit averageMeasured(*result);
}

void COhmixGraphView::SetMeasureLineStyle(std::int32_t style) {
    SetMeasureLineStyleSetting(style);
    emit measureLineStyleChanged();
}

void COhmixGraphView::ApplyMeasureLineStyle(bool report) {
    const int selected = listParam_ == kNoCurveSelection ? -1 : ScreenOfParam(listParam_);
    for (int i = 0; i < ScreenCount(); ++i) {
        CGraphCurve& r = Screen(i)->Record();
        if (r.CurveCount() < 1) continue;
        const int curve = i == selected ? CurveOfParam(listParam_) : r.SelectedCurve();
        ResetShownCursors(r, std::clamp(curve, 0, r.CurveCount() - 1), CurrentLineStyle());
    }
    RedrawAll();
    // The measure window lists the active view; the others only draw the new lines.
    if (!report || !Screen(selected)) return;
    for (int which = 0; which < 2; ++which)
        if (Screen(selected)->Record().Cursor(which).shown) OnCursorMoved(selected, which);
}

void COhmixGraphView::OnCursorMoved(int screen, int which) {
    CGraphWnd* from = Screen(screen);
    if (!from) return;
    const CGraphCurve& source = from->Record();
    if (which == 0 || which == 1) {
        const MeasureCursor& c = source.Cursor(which);
        for (CGraphWnd* s : screens_) {
            if (s == from) continue;
            CGraphCurve& r = s->Record();
            // Each screen finds its own Y under the shared X.
            r.Cursor(which).shown = c.shown;
            if (r.CurveCount() > 0)
                SetCursorAt(r, std::max(r.SelectedCurve(), 0), which, c.x, CurrentLineStyle());
            else
                r.Cursor(which) = c;
            s->Redraw();
        }
        from->Redraw();
        emit cursorsMoved(Records(), source.Cursor(0).x, source.Cursor(1).x, which);
    }
    ReportSelection(CurveSelectionParam(screen, std::max(source.SelectedCurve(), 0)));
}

void COhmixGraphView::SelectCurveFromList(std::int32_t param) {
    const int screen = ScreenOfParam(param);
    const int curve = CurveOfParam(param);
    CGraphWnd* s = Screen(screen);
    if (!s || curve < 0 || curve >= s->Record().CurveCount()) return;
    SetActiveScreen(screen);
    CGraphCurve& r = s->Record();
    const bool was0 = r.Cursor(0).shown != 0, was1 = r.Cursor(1).shown != 0;
    const int reset = SelectMeasureCurve(r, curve, CurrentLineStyle());
    listParam_ = param;
    s->Redraw();
    if (reset == 0) {
        OnCursorMoved(screen, kNoCurveSelection);
        return;
    }
    if (was0) OnCursorMoved(screen, 0);
    if (was1) OnCursorMoved(screen, 1);
}

void COhmixGraphView::ShowMeasureCursors(bool on) {
    bool changed = false;
    for (CGraphWnd* s : screens_) {
        CGraphCurve& r = s->Record();
        if (on) {
            changed = changed || !r.Cursor(0).shown;
            r.Cursor(0).shown = 1;
        } else {
            for (int which = 0; which < 2; ++which) {
                changed = changed || r.Cursor(which).shown || r.Cursor(which).horizontalLine;
                r.Cursor(which).shown = 0;
                r.Cursor(which).horizontalLine = 0;
            }
        }
    }
    if (changed || on) RedrawAll();
}

void COhmixGraphView::RefreshMeasureWindow() {
    emit measureValuesStale(Records());
}

}  // namespace kurvex
