// The view's axis commands: the X and Y axis dialogs, the X variable, undo and re-draw.
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

#include "analysis/FrequencyDisplay.h"
#include "app/CommandRouter.h"
#include "app/GraphDocument.h"
#include "app/GraphView.h"
#include "app/GraphWnd.h"
#include "dialogs/CurvePropertiesDlg.h"
#include "dialogs/PageSetupDlg.h"
#include "dialogs/SetXAxisDlg.h"
#include "dialogs/TextDlg.h"
#include "dialogs/XAxisDlg.h"
#include "dialogs/YAxisDlg.h"
#include "graph/Zoom.h"

namespace kurvex {

void COhmixGraphView::EditXAxis() {
    CGraphWnd* s = Screen(active_);
    if (!s) return;
    CXAxis_2_Page dialog(s->Record(), this);
    if (dialog.exec() != QDialog::Accepted || !dialog.Changed()) return;
    const bool invalid = SyncXAxis(Records(), static_cast<size_t>(active_), metrics_);
    RedrawAll();
    if (invalid || dialog.InvalidPoints()) WarnInvalidPoints();
}

void COhmixGraphView::EditYAxis() {
    CGraphWnd* s = Screen(active_);
    if (!s) return;
    CYAxis_2_Page dialog(s->Record(), this);
    if (dialog.exec() != QDialog::Accepted || !dialog.Changed()) return;
    s->UpdateScrollBars();
    s->Redraw();
    if (dialog.InvalidPoints()) WarnInvalidPoints();
}

void COhmixGraphView::ChooseXVariable() {
    CGraphWnd* s = Screen(active_);
    if (!s || s->Record().FreqDisplay()) return;
    CSet_XAxis_2_Page dialog(s->Record(), this);
    if (dialog.exec() != QDialog::Accepted || !dialog.Changed()) return;
    bool invalid = ApplyXVariable(s->Record(), dialog.SelectedIndex());
    invalid = SyncXAxis(Records(), static_cast<size_t>(active_), metrics_) || invalid;
    RedrawAll();
    if (invalid) WarnInvalidPoints();
}

void COhmixGraphView::UndoRanges() {
    // A drag released after the undo would put back the ranges the undo took away.
    CancelDrags();
    UndoResult r;
    RunTransform(
        Records(),
        [&](FftSession session) {
            r = UndoWithDisplay(Records(), document_->Messages(), std::move(session));
        },
        [&] {
            if (r.invalidPoints) WarnInvalidPoints();
            if (r.done) RedrawAll();
        });
}

void COhmixGraphView::Redraw() {
    if (FitAll(Records())) RedrawAll();
}

}  // namespace kurvex
