#include "app/PowerCommands.h"

#include <QDialog>
#include <QInputDialog>

#include "analysis/FftWindow.h"
#include "analysis/FigureRequest.h"
#include "analysis/RunTable.h"
#include "app/FormulaBuildRun.h"
#include "app/GraphDocument.h"
#include "app/GraphView.h"
#include "app/SettingsStore.h"
#include "app/tools/FigureWindow.h"
#include "data/platform/NameText.h"
#include "dialogs/CycleAverageDlg.h"
#include "graph/CurveEdit.h"
#include "graph/RunChoice.h"
#include "graph/StoredOptions.h"
#include "interaction/CommandTable.h"

namespace kurvex {

namespace {

void SetFftWindow(std::int32_t value, SettingsStore& store,
                  const std::vector<CGraphDocument*>& documents) {
    if (!FftWindowFromValue(value) || Options().fftWindow == value) return;
    Options().fftWindow = value;
    SaveFftWindow(store, Options());
    // Spectra on show follow the window at once, in every window.
    for (CGraphDocument* d : documents)
        for (COhmixGraphView* v : d->Views()) v->RecomputeSpectra();
}

// Adds the formula `text` to `screen` as a curve; false when it is shown
// already or cannot be made (`what` begins the message saying why).
bool AddFormulaCurve(COhmixGraphView& view, CGraphCurve& screen, const std::string& text,
                     const char* what) {
    std::vector<CurveEditRecord> records = CurveEditRecordsOf(screen);
    const FormulaAddResult added = AddFormula(records, screen.Data(), text);
    switch (added.outcome) {
        case FormulaAddOutcome::AlreadyShown:
            emit view.statusMessage(QStringLiteral("%1 is shown already.")
                                        .arg(QString::fromStdString(DisplayName(text))));
            return false;
        case FormulaAddOutcome::Rejected:
            view.Document()->Messages().Show(
                what + DisplayName(text) + " cannot be made: " + added.error.message,
                MessageIcon::Exclamation);
            return false;
        case FormulaAddOutcome::Added:
            break;
    }
    FormulaBuildScope building(&view);
    ApplyCurveEdits(screen, records);
    return true;
}

void AddCycleAverage(COhmixGraphView& view) {
    const std::vector<CGraphCurve*> screens = view.Records();
    const std::optional<CurvePlace> target = DefaultReference(screens);
    if (!target) return;
    CGraphCurve& screen = *screens[static_cast<size_t>(target->screen)];
    if (screen.FreqDisplay()) return;
    CCycleAverageDlg dialog(view.ConstRecords(), *target, &view);
    if (dialog.exec() != QDialog::Accepted) return;
    const CurvePlace ref = dialog.Reference();
    if (ref.screen < 0 || ref.screen >= static_cast<std::int32_t>(screens.size())) return;
    const CGraphCurve& refScreen = *screens[static_cast<size_t>(ref.screen)];
    if (ref.curve < 0 || ref.curve >= refScreen.CurveCount()) return;
    const std::string text =
        CycleAverageFormula(screen.Curve(target->curve), refScreen.Curve(ref.curve));
    if (!AddFormulaCurve(view, screen, text, "The cycle average ")) return;
    // A cycle average has no value outside the whole cycles by its nature:
    // those samples are no reason for the invalid-points warning.
    view.AfterCurvesAdded(false);
}

// The difference of the selected curve between a run and the reference run
// (the first shown), on the reference run's X.
void AddCompareRuns(COhmixGraphView& view) {
    const std::vector<CGraphCurve*> screens = view.Records();
    const std::optional<CurvePlace> target = DefaultReference(screens);
    if (!target) return;
    CGraphCurve& screen = *screens[static_cast<size_t>(target->screen)];
    const CCurveEntry& curve = screen.Curve(target->curve);
    const CResultData& data = *screen.Data().Get();
    if (screen.FreqDisplay()) return;
    if (curve.sourceKind != kCurveColumn || curve.columnIndex <= 0 ||
        curve.columnIndex >= data.VariableCount()) {
        view.Document()->Messages().Show(
            "Compare Runs takes a curve of the file's variables: select one.",
            MessageIcon::Exclamation);
        return;
    }
    const std::vector<std::int32_t> shown = ShownRuns(screens);
    const std::vector<std::string> names = view.RunNames();
    if (shown.size() < 2) {
        view.Document()->Messages().Show("Compare Runs needs two shown runs.",
                                         MessageIcon::Exclamation);
        return;
    }
    QStringList choices;
    int current = 0;
    for (size_t i = 1; i < shown.size(); ++i) {
        const auto k = static_cast<size_t>(shown[i]);
        choices << QString::fromStdString(DisplayName(k < names.size() ? names[k] : ""));
        if (shown[i] == screen.MeasuredRun()) current = static_cast<int>(i - 1);
    }
    int chosen = 0;
    if (choices.size() > 1) {
        bool ok = false;
        const QString picked = QInputDialog::getItem(
            &view, QStringLiteral("Compare Runs"),
            QStringLiteral("Run to compare with %1:")
                .arg(QString::fromStdString(DisplayName(names[static_cast<size_t>(shown[0])]))),
            choices, current, false, &ok);
        if (!ok) return;
        chosen = static_cast<int>(choices.indexOf(picked));
    }
    const std::string text = CompareRunsFormula(data.Variable(curve.columnIndex)->Name(),
                                                shown[static_cast<size_t>(chosen) + 1], shown[0]);
    // Outside the X both runs hold the difference has no value, by its nature.
    if (AddFormulaCurve(view, screen, text, "The difference ")) view.AfterCurvesAdded(false);
}

}  // namespace

std::vector<std::pair<int, std::function<void(COhmixGraphView&)>>> PowerCommandHandlers(
    QWidget* frame, SettingsStore& store, const std::vector<CGraphDocument*>& documents) {
    const auto figure = [frame](FigureKind kind) {
        return [kind, frame](COhmixGraphView& view) { CFigureWindow::Open(kind, frame, &view); };
    };
    std::vector<std::pair<int, std::function<void(COhmixGraphView&)>>> handlers = {
        {kCmdCycles, figure(FigureKind::kCycles)},
        {kCmdEdges, figure(FigureKind::kEdges)},
        {kCmdHarmonics, figure(FigureKind::kHarmonics)},
        {kCmdCycleAverage, AddCycleAverage},
        {kCmdCompareRuns, AddCompareRuns},
    };
    for (int id = kCmdFftWindowFirst; id <= kCmdFftWindowLast; ++id) {
        const std::int32_t window = FindCommand(id)->ruleArgument;
        handlers.emplace_back(id, [window, &store, &documents](COhmixGraphView&) {
            SetFftWindow(window, store, documents);
        });
    }
    return handlers;
}

}  // namespace kurvex
