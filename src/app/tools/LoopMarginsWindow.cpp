#include "app/tools/LoopMarginsWindow.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

#include "analysis/Cycles.h"
#include "app/GraphView.h"
#include "app/GraphWnd.h"
#include "app/tools/ToolFollower.h"

namespace kurvex {

namespace {

// Changes that come within this pause are computed once.
constexpr int kPauseMs = 40;

ToolSlot<CLoopMarginsWindow> slot;

QString Text(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

void AddRow(QListWidget* list, const QString& text) {
    auto* item = new QListWidgetItem(text, list);
    item->setData(Qt::AccessibleTextRole, text);
}

// Puts `marks` on the screens of `view` (null: none), redrawing only those that change.
void SetMarks(COhmixGraphView* view, const std::vector<std::vector<ScreenMark>>& marks) {
    if (!view) return;
    const std::vector<CGraphCurve*> screens = view->Records();
    for (size_t i = 0; i < screens.size(); ++i) {
        if (!screens[i]) continue;
        const std::vector<ScreenMark> wanted =
            i < marks.size() ? marks[i] : std::vector<ScreenMark>{};
        // Unchanged marks leave the screen alone: a redraw would come back here.
        if (screens[i]->Marks() == wanted) continue;
        screens[i]->SetMarks(wanted);
        if (CGraphWnd* w = view->Screen(static_cast<int>(i))) w->Redraw();
    }
}

}  // namespace

CLoopMarginsWindow::CLoopMarginsWindow(QWidget* frame)
    : QWidget(frame, Qt::Tool), follow_(new ToolFollower(this, frame, kPauseMs)) {
    const QString title = QStringLiteral("Loop Margins");
    setWindowTitle(title);
    setAccessibleName(title);
    setAttribute(Qt::WA_DeleteOnClose);

    auto* bar = new QHBoxLayout;
    auto* phaseLabel = new QLabel(QStringLiteral("&Phase:"), this);
    phase_ = new QComboBox(this);
    phase_->setAccessibleName(QStringLiteral("Phase"));
    phaseLabel->setBuddy(phase_);
    connect(phase_, &QComboBox::currentIndexChanged, this, &CLoopMarginsWindow::Recompute);
    bar->addWidget(phaseLabel);
    bar->addWidget(phase_, 1);
    auto* copy = new QPushButton(QStringLiteral("&Copy"), this);
    copy->setAccessibleName(QStringLiteral("Copy"));
    copy->setToolTip(QStringLiteral("Copy the margins as text"));
    connect(copy, &QPushButton::clicked, this, &CLoopMarginsWindow::Copy);
    bar->addWidget(copy);

    title_ = new QLabel(this);
    title_->setTextFormat(Qt::PlainText);
    title_->setWordWrap(true);
    rows_ = new QListWidget(this);
    rows_->setAccessibleName(QStringLiteral("Loop Margins rows"));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(title_);
    layout->addWidget(rows_, 1);

    connect(follow_, &ToolFollower::followed, this,
            [](COhmixGraphView* before, COhmixGraphView*) { SetMarks(before, {}); });
    connect(follow_, &ToolFollower::due, this, &CLoopMarginsWindow::Recompute);
    resize(380, 320);
}

CLoopMarginsWindow::~CLoopMarginsWindow() = default;

CLoopMarginsWindow* CLoopMarginsWindow::Instance() {
    return slot.Get();
}

CLoopMarginsWindow* CLoopMarginsWindow::Open(QWidget* frame, COhmixGraphView* view) {
    CLoopMarginsWindow* w = slot.Take([frame] { return new CLoopMarginsWindow(frame); });
    w->follow_->Present(view);
    return w;
}

void CLoopMarginsWindow::closeEvent(QCloseEvent* event) {
    // The marks belong to the open window.
    Follow(nullptr);
    QWidget::closeEvent(event);
}

void CLoopMarginsWindow::Follow(COhmixGraphView* view) {
    follow_->Follow(view);
}

COhmixGraphView* CLoopMarginsWindow::Followed() const {
    return follow_->View();
}

void CLoopMarginsWindow::FillPhaseChoice(const CGraphCurve* screen) {
    std::vector<std::int32_t> columns;
    if (screen) columns = PhaseColumns(*screen);
    QList<int> now;
    for (std::int32_t c : columns) now << c;
    QList<int> shown;
    for (int i = 1; i < phase_->count(); ++i) shown << phase_->itemData(i).toInt();
    if (phase_->count() > 0 && now == shown) return;
    const int wanted = phase_->currentData().isValid() ? phase_->currentData().toInt() : -1;
    const QSignalBlocker quiet(phase_);
    phase_->clear();
    phase_->addItem(QStringLiteral("Paired with the curve"), -1);
    const CResultData* d = screen ? screen->Data().Get() : nullptr;
    for (std::int32_t c : columns) phase_->addItem(Text(d->Variable(c)->Name()), c);
    phase_->setCurrentIndex(std::max(0, phase_->findData(wanted)));
}

void CLoopMarginsWindow::Recompute() {
    report_ = LoopMarginsReport{};
    COhmixGraphView* view = Followed();
    std::vector<CGraphCurve*> screens;
    if (view) screens = view->Records();
    const std::optional<CurvePlace> place = DefaultReference(screens);
    const CGraphCurve* home = place ? screens[static_cast<size_t>(place->screen)] : nullptr;
    FillPhaseChoice(home);
    if (place) {
        report_ =
            LoopMarginsOf(screens, place->screen, place->curve,
                          phase_->currentData().isValid() ? phase_->currentData().toInt() : -1);
    } else {
        report_.error = "No curve is selected.";
    }
    title_->setText(Text(report_.title));
    rows_->clear();
    if (!report_.Ok()) {
        AddRow(rows_, Text(report_.error));
    } else {
        for (const LoopMarginsRow& row : report_.rows)
            AddRow(rows_, Text(row.label + ": " + row.value));
        const auto list = [this](const QString& heading, const std::vector<std::string>& items) {
            AddRow(rows_, heading + (items.empty() ? QStringLiteral(": none") : QString()));
            for (const std::string& item : items)
                AddRow(rows_, QStringLiteral("    ") + Text(item));
        };
        list(QStringLiteral("All gain crossings"), report_.gainCrossings);
        list(QStringLiteral("All phase crossings"), report_.phaseCrossings);
    }
    if (isVisible()) SetMarks(view, LoopMarginsMarks(screens, report_));
    // What a screen reader reads: the rows as the clipboard gets them.
    setAccessibleDescription(CopyText());
}

QString CLoopMarginsWindow::CopyText() const {
    return Text(LoopMarginsText(report_));
}

void CLoopMarginsWindow::Copy() {
    QGuiApplication::clipboard()->setText(CopyText());
}

}  // namespace kurvex
