#include "app/PowerCommands.h"

#include <QDialog>

#include "analysis/FftWindow.h"
#include "analysis/FigureRequest.h"
#include "app/FormulaBuildRun.h"
#include "app/GraphDocument.h"
#include "app/GraphView.h"
#include "app/SettingsStore.h"
#include "app/tools/FigureWindow.h"
#include "data/platform/NameText.h"
#include "dialogs/CycleAverageDlg.h"
#include "graph/CurveEdit.h"
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
    std::vector<CurveEditRecord> records = CurveEditRecordsOf(screen);
    const FormulaAddResult added = AddFormula(records, screen.Data(), text);
    switch (added.outcome) {
        case FormulaAddOutcome::AlreadyShown:
            emit view.statusMessage(QStringLiteral("%1 is shown already.")
                                        .arg(QString::fromStdString(DisplayName(text))));
            return;
        case FormulaAddOutcome::Rejected:
            view.Document()->Messages().Show("The cycle average " + DisplayName(text) +
                                                 " cannot be made: " + added.error.message,
                                             MessageIcon::Exclamation);
            return;
        case FormulaAddOutcome::Added:
            break;
    }
    {
        FormulaBuildScope building(&view);
        ApplyCurveEdits(screen, records);
    }
    // A cycle average has no value outside the whole cycles by its nature:
    // those samples are no reason for the invalid-points warning.
    view.AfterCurvesAdded(false);
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
