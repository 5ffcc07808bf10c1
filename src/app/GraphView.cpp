#include "app/GraphView.h"

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
#include "analysis/FrequencyDisplay.h"
#include "analysis/Measure.h"
#include "analysis/PreviousSpectra.h"
#include "app/ClipboardPicture.h"
#include "app/CommandRouter.h"
#include "app/FftRun.h"
#include "app/FormulaBuildRun.h"
#include "app/GraphDocument.h"
#include "app/GraphWnd.h"
#include "app/ScriptRunner.h"
#include "app/SettingsStore.h"
#include "app/ViewPrinting.h"
#include "controls/QPainterCanvas.h"
#include "dialogs/CurvePropertiesDlg.h"
#include "dialogs/PageSetupDlg.h"
#include "dialogs/SetXAxisDlg.h"
#include "dialogs/TextDlg.h"
#include "graph/CurveEdit.h"
#include "graph/DisplaySettingsFile.h"
#include "graph/PreviousRun.h"
#include "graph/Reload.h"
#include "graph/StoredOptions.h"
#include "graph/ViewLayout.h"
#include "graph/Zoom.h"
#include "graph/render/Renderer.h"
#include "interaction/AnnotationInput.h"
#include "interaction/MouseMode.h"
#include "table/BGridChildFrame.h"

namespace kurvex {

namespace {

// Measures text in a font the way the screens draw it.
class QtTextMeasure : public TextMeasure {
public:
    TextSize Measure(const GraphFont& font, const std::string& text) const override {
        const QFontMetrics m(QPainterCanvas::ToQFont(ToCanvasFont(font, 1)));
        return {m.horizontalAdvance(QString::fromStdString(text)), m.height()};
    }
};

const QtTextMeasure& TextMeasurer() {
    static const QtTextMeasure measure;
    return measure;
}

}  // namespace

COhmixGraphView::COhmixGraphView(CGraphDocument* document, QWidget* parent)
    : QWidget(parent), document_(document) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    setMinimumSize(200, 150);
    document_->AddView(this);
    scripts_ = new CScriptRunner(this);
}

COhmixGraphView::~COhmixGraphView() {
    // The script's measurement under way stops before anything it reads goes.
    delete scripts_;
    // Screens go first: the document may go with its last view.
    for (CGraphWnd* s : screens_) delete s;
    screens_.clear();
    document_->RemoveView(this);
}

CGraphWnd* COhmixGraphView::Screen(int index) const {
    return index >= 0 && index < ScreenCount() ? screens_[static_cast<size_t>(index)] : nullptr;
}

std::vector<CGraphCurve*> COhmixGraphView::Records() const {
    std::vector<CGraphCurve*> out;
    for (CGraphWnd* s : screens_) out.push_back(&s->Record());
    return out;
}

std::vector<const CGraphCurve*> COhmixGraphView::ConstRecords() const {
    std::vector<const CGraphCurve*> out;
    for (CGraphWnd* s : screens_) out.push_back(&s->Record());
    return out;
}

QMdiSubWindow* COhmixGraphView::Window() const {
    for (QWidget* w = parentWidget(); w; w = w->parentWidget())
        if (auto* sub = qobject_cast<QMdiSubWindow*>(w)) return sub;
    return nullptr;
}

void COhmixGraphView::SetActiveScreen(int index) {
    if (index < -1 || index >= ScreenCount()) index = -1;
    if (index == active_) return;
    if (CGraphWnd* old = Screen(active_)) {
        CGraphCurve& r = old->Record();
        r.SetDisplayFlags(r.DisplayFlags() & ~kDisplaySelected);
        old->Redraw();
    }
    active_ = index;
    if (CGraphWnd* now = Screen(active_)) {
        CGraphCurve& r = now->Record();
        r.SetDisplayFlags(r.DisplayFlags() | kDisplaySelected);
        now->Redraw();
    }
    emit stateChanged();
}

CGraphWnd* COhmixGraphView::AppendScreen(std::unique_ptr<CGraphCurve> record) {
    auto* screen = new CGraphWnd(this);
    record->SetMetrics(metrics_);
    ApplyRunChoice(*record);
    screen->SetRecord(std::move(record));
    screen->SetIndex(ScreenCount());
    // A press on a legend label activates the screen as any other left press.
    connect(screen, &CGraphWnd::legendPressed, this, &COhmixGraphView::OnScreenLeftPressed);
    connect(screen, &CGraphWnd::leftPressed, this, &COhmixGraphView::OnScreenLeftPressed);
    connect(screen, &CGraphWnd::doubleClicked, this, &COhmixGraphView::OnScreenDoubleClicked);
    connect(screen, &CGraphWnd::rightPressed, this, &COhmixGraphView::OnScreenRightPressed);
    connect(screen, &CGraphWnd::rangeChanged, this, &COhmixGraphView::OnScreenRangeChanged);
    connect(screen, &CGraphWnd::cursorMoved, this, &COhmixGraphView::OnScreenCursorMoved);
    connect(screen, &CGraphWnd::selectedCurveChanged, this,
            &COhmixGraphView::OnScreenCurveSelected);
    screens_.push_back(screen);
    screen->show();
    return screen;
}

void COhmixGraphView::LayOut() {
    const int n = ScreenCount();
    if (n == 0) return;
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    const std::vector<PlotRect> places =
        LayoutScreens(n, width(), height(), metrics_.textHeight, scrollBar);
    for (int i = 0; i < n; ++i) {
        CGraphWnd* s = screens_[static_cast<size_t>(i)];
        const PlotRect& r = places[static_cast<size_t>(i)];
        s->SetIndex(i);
        const bool bottom = i == n - 1;
        if (s->Record().BottomScreen() != (bottom ? 1 : 0)) s->SetBottom(bottom);
        s->setGeometry(r.left, r.top, r.Width(), r.Height());
    }
}

void COhmixGraphView::resizeEvent(QResizeEvent*) {
    LayOut();
}

void COhmixGraphView::RedrawAll() {
    SyncPreviousRun();
    for (CGraphWnd* s : screens_) {
        s->UpdateScrollBars();
        s->Redraw();
    }
    emit stateChanged();
}

void COhmixGraphView::WarnInvalidPoints() {
    ShowInvalidPointsWarning(document_->Messages());
}

void COhmixGraphView::FirstSetup() {
    if (setupDone_) return;
    setupDone_ = true;
    bool invalid = false;
    if (screens_.empty()) {
        const TextSize digits = TextMeasurer().Measure(GraphFont{}, "0123456789");
        metrics_ = CharMetrics{digits.width, digits.height};
        COhmixGraphDoc& core = document_->Core();
        const std::string settingsPath = SettingsFilePath(document_->Path().toStdString());
        runs_ = LoadRunChoice(settingsPath);
        scripts_->SetText(LoadMeasureScript(settingsPath));
        kurvex::FirstSetup setup;
        {
            // A preview shows the columns; formulas over part of a file would
            // be built in memory, on this thread, and again at every preview.
            FormulaBuildScope building(this, {}, document_->Partial());
            setup = BuildFirstScreens(core.Settings(), settingsPath,
                                      ScreenBasis{Show(core.Data()), metrics_, &TextMeasurer()});
        }
        setupSource_ = setup.source;
        invalid = setup.invalidPoints;
        for (auto& record : setup.screens) AppendScreen(std::move(record));
        if (!screens_.empty()) SetActiveScreen(0);
        LayOut();
        // The user picks the curves of the one empty screen; cancelled, it stays empty.
        if (setupSource_ == SetupSource::ChooseCurves && !document_->Partial()) EditCurves(0);
    }
    LayOut();
    RedrawAll();
    if (invalid && !document_->Partial()) WarnInvalidPoints();
    ReportSelection(FirstSelectionParam(ConstRecords()));
    // A script saved with the settings answers at once, as after a reload.
    if (!document_->Partial() && !scripts_->Text().empty()) scripts_->Run();
}

void COhmixGraphView::RegisterCommands(CommandRouter& router) {
    using View = COhmixGraphView;
    const auto add = [&router](int id, std::function<void(View&)> body) {
        router.AddViewCommand(id, [body = std::move(body)](View& v) { v.RunCommand(body); });
    };
    const auto member = [&add](int id, void (View::*method)()) {
        add(id, [method](View& v) { (v.*method)(); });
    };
    member(kCmdMerge, &View::MergeFile);
    member(kCmdAddRun, &View::AddRun);
    member(kCmdReload, &View::ReloadData);
    member(kCmdSaveSettings, &View::SaveSettings);
    member(kCmdSaveAs, &View::SaveAs);
    member(kCmdSaveBinary, &View::SaveBinary);
    member(kCmdUndo, &View::UndoRanges);
    member(kCmdDeleteScreen, &View::DeleteScreen);
    member(kCmdAddScreen, &View::AddScreen);
    add(kCmdAddDeleteCurves, [](View& v) { v.EditCurves(v.active_); });
    member(kCmdXAxis, &View::EditXAxis);
    member(kCmdYAxis, &View::EditYAxis);
    member(kCmdChooseXVariable, &View::ChooseXVariable);
    add(kCmdPrint, [](View& v) { PrintWithDialog(&v, v.PrintJobOf()); });
    add(kCmdPrintPreview, [](View& v) { PrintPreview(&v, v.PrintJobOf()); });
    member(kCmdPrintPageSetup, &View::PageSetup);
    add(kCmdCopyBitmap, [](View& v) {
        CopyBitmap(v.Records(), v.size(),
                   v.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &v),
                   v.metrics_.textHeight, QGuiApplication::clipboard());
    });
    add(kCmdCopyMetafile, [](View& v) {
        CopyMetafile(v.Records(), v.size(), v.metrics_.textHeight, QGuiApplication::clipboard());
    });
    member(kCmdViewDataPoints, &View::ViewDataPoints);
    member(kCmdMeasure, &View::EnterMeasureMode);
    for (const auto& [id, search] : {std::pair{kCmdMax, MeasureSearch::Max},
                                     {kCmdMin, MeasureSearch::Min},
                                     {kCmdNextMax, MeasureSearch::NextMax},
                                     {kCmdNextMin, MeasureSearch::NextMin},
                                     {kCmdNextPoint, MeasureSearch::NextPoint},
                                     {kCmdPreviousPoint, MeasureSearch::PreviousPoint}})
        add(id, [search](View& v) { v.RunSearch(search); });
    for (const auto& [id, kind] : {std::pair{kCmdAverage, AverageKind::Mean},
                                   {kCmdAverageAbs, AverageKind::MeanAbs},
                                   {kCmdRms, AverageKind::Rms}})
        add(id, [kind](View& v) { v.RunAverage(kind); });
    add(kCmdPlaceText, [](View& v) {
        if (CGraphText* t = PlaceCursorText(v.Records(), ProgramTemplates().Text())) {
            for (CGraphWnd* s : v.screens_)
                if (&s->Record() == t->Owner()) s->Redraw();
        }
    });
    add(kCmdCross, [](View& v) { v.SetMeasureLineStyle(kMeasureCross); });
    add(kCmdVerticalBar, [](View& v) { v.SetMeasureLineStyle(kMeasureVerticalBar); });
    member(kCmdPerformFft, &View::ToggleDomain);
    member(kCmdTimeDomain, &View::ToggleDomain);
    for (const auto& [id, mode] : {std::pair{kCmdZoomBox, kModeZoomBox},
                                   {kCmdEscape, kModeEscape},
                                   {kCmdPan, kModePan},
                                   {kCmdZoomPoint, kModeZoomPoint},
                                   {kCmdZoomAxisEnd, kModeZoomAxisEnd}})
        add(id, [mode](View&) { SetMouseMode(mode); });
    add(kCmdZoomIn, [](View& v) {
        if (CGraphWnd* s = CGraphWnd::ZoomTarget(v.screens_)) s->ZoomIn();
    });
    add(kCmdZoomOut, [](View& v) {
        if (CGraphWnd* s = CGraphWnd::ZoomTarget(v.screens_)) s->ZoomOut();
    });
    member(kCmdRedraw, &View::Redraw);
    add(kCmdColour, [](View& v) {
        if (ToggleBlackWhite(v.Records())) v.RedrawAll();
    });
    add(kCmdGrid, [](View& v) {
        if (ToggleGrid(v.Records())) v.RedrawAll();
    });
    for (const auto& [id, action] : {std::pair{kCmdRightPan, kRightMousePan},
                                     {kCmdRightZoom, kRightMouseZoom},
                                     {kCmdRightMenu, kRightMouseShowMenu}})
        add(id, [action](View& v) { v.SetRightMouseAction(action); });
    add(kCmdNextPane, [](View& v) { v.NextPane(1); });
    add(kCmdPreviousPane, [](View& v) { v.NextPane(-1); });
    add(kCmdText, [](View& v) {
        // The window may close while the dialog is open; RunCommand sees to that.
        const QPointer<View> self(&v);
        const bool accepted = RunTextCommand(&v, ProgramTemplates().Text());
        if (self && accepted) SetMouseMode(kModeText);
    });
    for (const int id : {kCmdLine, kCmdDottedLine, kCmdArrow})
        add(id, [id](View&) { StartLineTool(ProgramTemplates(), id); });
    add(kCmdShowPreviousRun, [](View& v) { v.SetShowPreviousRun(!v.showPrevious_); });
}

void COhmixGraphView::RunCommand(const std::function<void(COhmixGraphView&)>& body) {
    if (Busy()) return;
    const QPointer<COhmixGraphView> self(this);
    body(*this);
    if (!self) return;  // the command closed the window
    // Whatever changed what the screens show, the previous run shows it too.
    PreparePreviousSpectra();
    emit stateChanged();
}

void COhmixGraphView::SetRightMouseAction(std::int32_t action) {
    Options().rightMouseAction = action;
    if (store_) SaveRightMouseAction(*store_, Options());
}

void COhmixGraphView::SetShowPreviousRun(bool on) {
    showPrevious_ = on;
    if (on && !document_->Core().Previous())
        emit statusMessage(QStringLiteral("The previous run appears with the next reload."));
    RedrawAll();
    PreparePreviousSpectra();
    RefreshMeasureWindow();
}

void COhmixGraphView::SyncPreviousRun() {
    const CResultDataRef* previous = showPrevious_ ? document_->Core().Previous() : nullptr;
    for (CGraphWnd* s : screens_) {
        CGraphCurve& r = s->Record();
        if (!previous) {
            r.ShowPreviousRun(nullptr);
            continue;
        }
        const PreviousRun* run = r.PreviousRunShown();
        if (!run || run->Data().Get() != previous->Get())
            r.ShowPreviousRun(std::make_shared<PreviousRun>(*previous));
    }
}

void COhmixGraphView::PreparePreviousSpectra() {
    if (!showPrevious_ || fftRun_ || preparingSpectra_) return;
    preparingSpectra_ = true;
    bool computed = false;
    for (CGraphWnd* s : std::vector<CGraphWnd*>(screens_)) {
        CGraphCurve& r = s->Record();
        if (!PreviousSpectraWanted(r)) continue;
        const bool closed = RunTransform(
            {&r}, [&r](FftSession session) { ComputePreviousSpectra(r, std::move(session)); });
        if (closed) {
            preparingSpectra_ = false;
            return;
        }
        computed = true;
    }
    preparingSpectra_ = false;
    if (computed) RedrawAll();
}

void COhmixGraphView::FillContext(CommandContext& c) const {
    c.viewActive = true;
    c.previousRunShown = showPrevious_;
    c.screens = Records();
    c.activeScreen = active_;
    c.documentHasData = document_->HasData();
    c.documentFromFile = !document_->Core().Files().empty();
}

int COhmixGraphView::FocusedScreen() const {
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget()) {
        for (int i = 0; i < ScreenCount(); ++i)
            if (screens_[static_cast<size_t>(i)] == w) return i;
    }
    return ScreenCount() > 0 ? 0 : -1;
}

void COhmixGraphView::NextPane(int step) {
    const int n = ScreenCount();
    if (n == 0) return;
    const int next = ((FocusedScreen() + step) % n + n) % n;
    screens_[static_cast<size_t>(next)]->setFocus(Qt::OtherFocusReason);
    SetActiveScreen(next);
}

void COhmixGraphView::ReportSelection(std::int32_t param) {
    listParam_ = param;
    emit curveSelection(param);
}

void COhmixGraphView::ForgetCurveSelection() {
    emit curveSelection(kNoCurveSelection);
}

void COhmixGraphView::OnScreenLeftPressed(int screen) {
    if (screen < 0 || screen >= ScreenCount()) return;
    SetActiveScreen(screen);
    emit stateChanged();
}

void COhmixGraphView::OnScreenDoubleClicked(int screen) {
    if (screen < 0 || screen >= ScreenCount()) return;
    SetActiveScreen(screen);
    EditCurves(screen);
    PreparePreviousSpectra();
    emit stateChanged();
}

void COhmixGraphView::OnScreenRightPressed(int screen, Qt::KeyboardModifiers, QPoint globalPoint) {
    if (screen < 0 || screen >= ScreenCount()) return;
    SetActiveScreen(screen);
    RunRightMouseAction(screen, globalPoint);
    emit stateChanged();
}

void COhmixGraphView::OnScreenRangeChanged(int screen, bool xChanged) {
    if (screen < 0 || screen >= ScreenCount()) return;
    if (SyncXAxis(Records(), static_cast<size_t>(screen), metrics_)) WarnInvalidPoints();
    for (int i = 0; i < ScreenCount(); ++i)
        if (i != screen) screens_[static_cast<size_t>(i)]->UpdateScrollBars();
    if (xChanged) RedrawAll();
    emit stateChanged();
}

void COhmixGraphView::OnScreenCursorMoved(int screen, int which) {
    if (screen < 0 || screen >= ScreenCount()) return;
    OnCursorMoved(screen, which);
    emit stateChanged();
}

void COhmixGraphView::OnScreenCurveSelected(int screen) {
    if (screen < 0 || screen >= ScreenCount()) return;
    OnCursorMoved(screen, kNoCurveSelection);
    emit stateChanged();
}

void COhmixGraphView::RunRightMouseAction(int screen, QPoint global) {
    CGraphWnd* s = Screen(screen);
    if (!s) return;
    switch (Options().rightMouseAction) {
        case kRightMouseShowMenu:
            emit screenMenuWanted(global);
            break;
        case kRightMousePan:
            s->BeginRightPan(s->mapFromGlobal(global));
            break;
        case kRightMouseZoom:
            s->BeginRightZoom(s->mapFromGlobal(global));
            break;
        default:
            break;  // an action this program does not know
    }
}

void COhmixGraphView::CancelDrags() {
    for (CGraphWnd* s : screens_) s->CancelDrag();
}

void COhmixGraphView::ToggleDomain() {
    DomainSwitchResult r;
    RunTransform(
        Records(),
        [&](FftSession session) {
            r = ToggleFrequencyDisplay(Records(), document_->Messages(), std::move(session));
        },
        [&] {
            if (r.did == DomainSwitch::kBusy)
                emit statusMessage(QStringLiteral("Another FFT analysis is running."));
            RedrawAll();
        });
}

bool COhmixGraphView::RunTransform(const std::vector<CGraphCurve*>& screens,
                                   const std::function<void(FftSession)>& work,
                                   const std::function<void()>& after) {
    FftRun run(this, screens);
    fftRun_ = &run;
    work(run.Session());
    fftRun_ = nullptr;
    if (after) after();
    if (!closeWhenIdle_) return false;
    CloseWindow();
    return true;
}

void COhmixGraphView::RecomputeSpectra() {
    if (Busy()) return;
    bool invalid = false;
    DomainSwitch did{};
    RunTransform(
        Records(),
        [&](FftSession session) {
            did = kurvex::RecomputeSpectra(Records(), std::move(session), &invalid);
        },
        [&] {
            if (did == DomainSwitch::kBusy)
                emit statusMessage(QStringLiteral("Another FFT analysis is running."));
            if (did == DomainSwitch::kToFrequency && !closeWhenIdle_) {
                // The previous run's spectra follow under the same window.
                for (CGraphWnd* s : screens_)
                    if (PreviousRun* p = s->Record().PreviousRunShown()) p->ForgetSpectra();
                RedrawAll();
                PreparePreviousSpectra();
            }
            if (invalid) WarnInvalidPoints();
        });
}

void COhmixGraphView::AfterCurvesAdded(bool invalidPoints) {
    RedrawAll();
    ReportSelection(FirstSelectionParam(ConstRecords()));
    if (invalidPoints) WarnInvalidPoints();
}

void COhmixGraphView::RemoveScreen(int index) {
    if (index < 0 || index >= ScreenCount()) return;
    if (index == active_) SetActiveScreen(-1);
    CGraphWnd* s = screens_[static_cast<size_t>(index)];
    emit screenRemoved(&s->Record());
    screens_.erase(screens_.begin() + index);
    delete s;
    if (active_ > index) --active_;
    LayOut();
}

bool COhmixGraphView::EditCurves(int index) {
    CGraphWnd* s = Screen(index);
    if (!s) return false;
    CGraphCurve& record = s->Record();
    COhmixGraphDoc& core = document_->Core();
    core.propertyDialogOpen = true;
    CCurvePropertiesDlg dialog(record, this);
    const int result = dialog.exec();
    core.propertyDialogOpen = false;
    if (result != QDialog::Accepted) return false;
    const bool wasEmpty = record.CurveCount() == 0;
    bool invalid = false;
    {
        FormulaBuildScope building(this);
        invalid = ApplyCurveEdits(record, dialog.Curves());
    }
    for (CGraphCurve* r : Records()) {
        ApplySharedDisplay(*r, dialog.Display(), &TextMeasurer());
        r->SetMetrics(metrics_);
    }
    // A screen that showed nothing gets ranges for what it shows now: its
    // own X when it has no X range yet, else Y under the shared X.
    if (wasEmpty && record.CurveCount() > 0) {
        const bool ownX = !(record.XRange().to > record.XRange().from);
        invalid = (ownX ? ScaleToData(record) : FitYToCurves(record)) || invalid;
        if (ownX && SyncXAxis(Records(), static_cast<size_t>(index), metrics_)) invalid = true;
    }
    RedrawAll();
    ReportSelection(FirstSelectionParam(ConstRecords()));
    if (invalid) WarnInvalidPoints();
    return true;
}

void COhmixGraphView::AddScreen() {
    if (!document_->HasData()) return;
    auto record = std::make_unique<CGraphCurve>(kScreenOfView);
    record->SetData(shown_);
    if (!screens_.empty()) {
        CopySharedDisplay(screens_.back()->Record(), *record);
    } else {
        record->SetXTitle(record->XVariableName());
        record->UpdateExtents();
    }
    const int previous = active_;
    AppendScreen(std::move(record));
    const int added = ScreenCount() - 1;
    LayOut();
    SetActiveScreen(added);
    if (!EditCurves(added) || Screen(added)->Record().CurveCount() == 0) {
        RemoveScreen(added);
        SetActiveScreen(previous);
    }
    LayOut();
    RedrawAll();
}

void COhmixGraphView::ViewDataPoints() {
    if (screens_.empty()) return;
    auto* table = new CBGridChildFrame(ConstRecords(), document_->Title().toStdString(),
                                       document_->NextTableNumber(), nullptr);
    emit tableWindowMade(table);
}

void COhmixGraphView::DeleteScreen() {
    const int n = ScreenCount();
    if (n < 2 || active_ < 0 || active_ >= n) return;
    const int doomed = active_;
    RemoveScreen(doomed);
    SetActiveScreen(ActiveAfterDelete(doomed));
    LayOut();
    RedrawAll();
    ReportSelection(FirstSelectionParam(ConstRecords()));
}

bool COhmixGraphView::Rebind(const CResultDataRef& fresh, bool* invalidPoints) {
    // The ranges a drag worked out belong to the data before the reload.
    CancelDrags();
    const RebindResult r = RebindView(Records(), Show(fresh));
    if (r.closeView) return false;
    // The runs are found by name again: a run added or gone moves the others.
    ApplyRunChoice();
    bool invalid = r.invalidPoints;
    // Spectra shown are of the new samples now, over the range analysed before.
    const std::vector<CGraphCurve*> records = Records();
    if (std::any_of(records.begin(), records.end(),
                    [](const CGraphCurve* s) { return s->FreqDisplay() != 0; })) {
        // The screens keep their last picture until their spectra are there.
        for (CGraphCurve* s : records) s->EnterBusy();
        RunTransform(
            records,
            [&](FftSession session) {
                invalid = RefreshSpectra(records, std::move(session)) || invalid;
            },
            [&] {
                for (CGraphCurve* s : records) s->LeaveBusy();
            });
    }
    if (invalidPoints) *invalidPoints = invalid;
    if (active_ >= ScreenCount()) SetActiveScreen(ScreenCount() - 1);
    RedrawAll();
    PreparePreviousSpectra();
    RefreshMeasureWindow();
    ReportSelection(FirstSelectionParam(ConstRecords()));
    return true;
}

void COhmixGraphView::RescaleAfterRequest(bool redrawX) {
    if (redrawX)
        FitAll(Records());
    else
        FitYToVisibleX(Records());
    RedrawAll();
    // Both runs in view, so that they can be compared.
    if (showPrevious_ && FitYToPreviousRun(Records())) RedrawAll();
}

bool COhmixGraphView::TakeMergedData(const CResultDataRef& merged) {
    CancelDrags();
    bool invalid = false;
    Show(merged);
    for (CGraphCurve* r : Records()) {
        r->SetData(shown_);
        ApplyRunChoice(*r);
        invalid = r->UpdateExtents() || invalid;
    }
    RedrawAll();
    return invalid;
}

std::vector<std::string> COhmixGraphView::RunNames() const {
    const CResultData* data = document_->Core().Data().Get();
    return data ? RunChoiceNames(*data) : std::vector<std::string>{};
}

void COhmixGraphView::ApplyRunChoice(CGraphCurve& screen) const {
    const std::vector<std::string> names = RunNames();
    const std::vector<bool> hidden = HiddenRunFlags(runs_, names);
    // Flags past the runs there are would hide a run a later reload brings.
    for (std::int32_t k = 0; k < static_cast<std::int32_t>(screen.HiddenRuns().size()); ++k)
        screen.SetRunShown(k, true);
    for (size_t k = 0; k < hidden.size(); ++k)
        if (hidden[k]) screen.SetRunShown(static_cast<std::int32_t>(k), false);
    screen.SetMeasuredRun(MeasuredRunIndex(runs_, names));
    screen.SetRunAdjustments(AdjustmentsByRun(runs_, names));
}

const CResultDataRef& COhmixGraphView::Show(const CResultDataRef& data) {
    const CResultData* d = data.Get();
    bool failed = false;
    shown_ = d ? AdjustRuns(data, AdjustmentsByRun(runs_, RunChoiceNames(*d)), &failed) : data;
    if (failed)
        document_->Messages().Show(
            "Not enough memory to shift or scale the runs: they are shown "
            "as the files hold them.",
            MessageIcon::Exclamation);
    return shown_;
}

void COhmixGraphView::ApplyRunChoice() {
    for (CGraphCurve* r : Records()) ApplyRunChoice(*r);
}

void COhmixGraphView::SetRunChoice(RunChoice choice) {
    const bool relined = choice.adjusted != runs_.adjusted;
    runs_ = std::move(choice);
    // Shifted, scaled or mapped runs are other samples: the screens take them
    // as after a reload.
    if (relined && document_->HasData() && Rebind(document_->Core().Data(), nullptr)) {
        ApplyMeasureLineStyle(true);
        return;
    }
    CancelDrags();
    ApplyRunChoice();
    // Shown cursors move onto the measured run's samples; this redraws too.
    ApplyMeasureLineStyle(true);
    RefreshMeasureWindow();
}

void COhmixGraphView::OfferCurvesAfterMerge() {
    if (active_ < 0 && !screens_.empty()) SetActiveScreen(0);
    EditCurves(active_);
}

void COhmixGraphView::CloseWindow() {
    if (fftRun_) {
        // The worker must end before the screens it fills can go.
        closeWhenIdle_ = true;
        fftRun_->CancelAll();
        return;
    }
    closeWhenIdle_ = false;
    if (QMdiSubWindow* w = Window()) w->close();
}

}  // namespace kurvex
