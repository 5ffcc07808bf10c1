#include "app/PowerCommands.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>

#include "analysis/CommandTable.h"
#include "analysis/FftWindow.h"
#include "analysis/FigureRequest.h"
#include "app/FigureWindow.h"
#include "app/GraphDocument.h"
#include "app/GraphView.h"
#include "app/KurvexApp.h"
#include "data/NameText.h"
#include "graph/CurveEdit.h"
#include "graph/StoredOptions.h"
#include "graph/ViewCommands.h"

namespace kurvex {

namespace {

void SetFftWindow(std::int32_t value) {
    if (!FftWindowFromValue(value) || Options().fftWindow == value) return;
    Options().fftWindow = value;
    CKurvexApp* app = CKurvexApp::Instance();
    if (!app) return;
    SaveFftWindow(app->Store(), Options());
    // Spectra on show follow the window at once, in every window.
    for (CGraphDocument* d : app->Documents())
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
    ApplyCurveEdits(screen, records);
    // A cycle average has no value outside the whole cycles by its nature:
    // those samples are no reason for the invalid-points warning.
    view.AfterCurvesAdded(false);
}

}  // namespace

std::vector<std::pair<int, std::function<void(COhmixGraphView&)>>> PowerCommandHandlers() {
    const auto figure = [](FigureKind kind) {
        return [kind](COhmixGraphView& view) {
            CMainFrame* frame = CKurvexApp::Instance() ? CKurvexApp::Instance()->Frame() : nullptr;
            CFigureWindow::Open(kind, frame, &view);
        };
    };
    std::vector<std::pair<int, std::function<void(COhmixGraphView&)>>> handlers = {
        {kCmdCycles, figure(FigureKind::kCycles)},
        {kCmdEdges, figure(FigureKind::kEdges)},
        {kCmdHarmonics, figure(FigureKind::kHarmonics)},
        {kCmdCycleAverage, AddCycleAverage},
    };
    for (int id = kCmdFftWindowFirst; id <= kCmdFftWindowLast; ++id) {
        const std::int32_t window = FindCommand(id)->ruleArgument;
        handlers.emplace_back(id, [window](COhmixGraphView&) { SetFftWindow(window); });
    }
    return handlers;
}

CCycleAverageDlg::CCycleAverageDlg(const std::vector<const CGraphCurve*>& screens, CurvePlace curve,
                                   QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Cycle Average"));
    auto* form = new QFormLayout(this);
    const CGraphCurve* s = curve.screen >= 0 && curve.screen < static_cast<int>(screens.size())
                               ? screens[static_cast<size_t>(curve.screen)]
                               : nullptr;
    const QString label = s && curve.curve >= 0 && curve.curve < s->CurveCount()
                              ? QString::fromStdString(DisplayName(s->Curve(curve.curve).label))
                              : QString();
    auto* averaged = new QLabel(label, this);
    averaged->setAccessibleName(QStringLiteral("Curve"));
    form->addRow(QStringLiteral("Curve:"), averaged);
    reference_ = new QComboBox(this);
    reference_->setAccessibleName(QStringLiteral("Reference"));
    for (const CurveListEntry& e : CurveListEntries(screens))
        reference_->addItem(QString::fromStdString(DisplayName(e.text)), static_cast<int>(e.data));
    reference_->setCurrentIndex(
        std::max(0, reference_->findData(CurveSelectionParam(curve.screen, curve.curve))));
    form->addRow(QStringLiteral("&Reference:"), reference_);
    auto* note = new QLabel(
        QStringLiteral("The curve is averaged over each cycle of the reference, from one rising "
                       "crossing of its mid level to the next."),
        this);
    note->setWordWrap(true);
    form->addRow(note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

CurvePlace CCycleAverageDlg::Reference() const {
    const int param = reference_->currentData().toInt();
    return CurvePlace{ScreenOfParam(param), CurveOfParam(param)};
}

}  // namespace kurvex
