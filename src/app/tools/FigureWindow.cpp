#include "app/tools/FigureWindow.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <functional>

#include "app/GraphView.h"
#include "app/GraphWnd.h"
#include "app/tools/ToolFollower.h"
#include "app/tools/ToolJobs.h"
#include "data/platform/NameText.h"
#include "graph/ViewCommands.h"

namespace kurvex {

namespace {

// The space around the controls and the tables, as the measure window keeps it.
constexpr int kStep = 5;
constexpr int kInset = 10;
// Changes that come within this pause are computed once.
constexpr int kPauseMs = 40;
// The measure window's width and the gap kept from it and the frame's bottom.
constexpr int kMeasureRoom = 290;
constexpr int kBottomGap = 20;
// How far each further kind of window is moved up and left, so that all can be seen.
constexpr int kCascade = 60;

ToolSlot<CFigureWindow> kindSlots[3];

const char* KindTitle(FigureKind kind) {
    switch (kind) {
        case FigureKind::kCycles:
            return "Cycles";
        case FigureKind::kEdges:
            return "Edges";
        case FigureKind::kHarmonics:
            return "Harmonics";
    }
    return "";
}

// Names and formulas come from files in whatever encoding they had.
void Decode(FigureTable& t) {
    t.title = DisplayName(t.title);
    t.message = DisplayName(t.message);
    for (FigureRow& r : t.rows) r.label = DisplayName(r.label);
}

std::optional<CurvePlace> PlaceOf(const QComboBox* box) {
    const QVariant data = box->currentData();
    if (!data.isValid()) return std::nullopt;
    const int param = data.toInt();
    return CurvePlace{ScreenOfParam(param), CurveOfParam(param)};
}

// Fills `box` with the view's curves after `first` (an entry without a
// curve), keeping the chosen curve when it is still there.
void FillCurveChoice(QComboBox* box, const QString& first,
                     const std::vector<CurveListEntry>& entries) {
    QStringList wanted{first};
    for (const CurveListEntry& e : entries) wanted << QString::fromStdString(DisplayName(e.text));
    QStringList have;
    for (int i = 0; i < box->count(); ++i) have << box->itemText(i);
    if (have == wanted) {
        bool same = true;
        for (int i = 1; i < box->count() && same; ++i)
            same = box->itemData(i).toInt() == entries[static_cast<size_t>(i - 1)].data;
        if (same) return;
    }
    const QVariant chosen = box->currentData();
    box->blockSignals(true);
    box->clear();
    box->addItem(first);
    for (int i = 1; i < wanted.size(); ++i)
        box->addItem(wanted[i], static_cast<int>(entries[static_cast<size_t>(i - 1)].data));
    const int index = chosen.isValid() ? box->findData(chosen) : 0;
    box->setCurrentIndex(std::max(index, 0));
    box->blockSignals(false);
}

}  // namespace

CFigureWindow::CFigureWindow(FigureKind kind, QWidget* frame)
    : QWidget(frame, Qt::Tool), kind_(kind), follow_(new ToolFollower(this, frame, kPauseMs)) {
    const QString title = QString::fromLatin1(KindTitle(kind));
    setWindowTitle(title);
    setAccessibleName(title);
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(FigureFont());

    auto* bar = new QWidget(this);
    BuildControls(bar);

    auto* page = new QWidget;
    page->setAutoFillBackground(true);
    QPalette white = page->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    page->setPalette(white);
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(kInset, kStep, kInset, kStep);
    title_ = new QLabel(page);
    title_->setWordWrap(true);
    title_->setTextFormat(Qt::PlainText);
    title_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    message_ = new QLabel(page);
    message_->setWordWrap(true);
    message_->setTextFormat(Qt::PlainText);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    table_ = new CFigureView(page);
    table_->setAccessibleName(title + QStringLiteral(" table"));
    column->addWidget(title_);
    column->addWidget(message_);
    column->addWidget(table_);
    if (kind == FigureKind::kEdges) {
        deadTitle_ = new QLabel(page);
        deadTitle_->setWordWrap(true);
        deadTitle_->setTextFormat(Qt::PlainText);
        dead_ = new CFigureView(page);
        dead_->setAccessibleName(QStringLiteral("Dead times table"));
        column->addWidget(deadTitle_);
        column->addWidget(dead_);
    }
    column->addStretch(1);

    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(page);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(scroll, 1);

    jobs_ = std::make_unique<ToolJobs<FigureResult>>(
        this, [this](FigureResult r) { ShowResult(std::move(r)); },
        [](const std::string& what) {
            FigureResult failed;
            failed.table.message = "The figures could not be computed: " + what;
            return failed;
        });
    connect(follow_, &ToolFollower::followed, this,
            [this](COhmixGraphView* before, COhmixGraphView*) {
                if (before)
                    for (int i = 0; i < before->ScreenCount(); ++i)
                        before->Screen(i)->disconnect(this);
                dragRange_.reset();
                WatchScreens();
            });
    connect(follow_, &ToolFollower::changed, this, [this](ViewChanges what) {
        if (what & ViewChange::State) WatchScreens();
    });
    connect(follow_, &ToolFollower::due, this, &CFigureWindow::Compute);
    resize(kind == FigureKind::kHarmonics ? 420 : 600, kind == FigureKind::kEdges ? 320 : 280);
}

CFigureWindow::~CFigureWindow() {
    jobs_.reset();  // waits for a computation in progress
}

void CFigureWindow::BuildControls(QWidget* bar) {
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(kInset, kStep, kInset, kStep);
    const auto labelled = [&](const QString& text, QWidget* control) {
        auto* label = new QLabel(text, bar);
        label->setBuddy(control);
        QString name = text;
        control->setAccessibleName(name.remove('&').remove(':'));
        row->addWidget(label);
        row->addWidget(control);
    };
    const auto entry = [&](const QString& text, const QString& hint) {
        auto* e = new QLineEdit(bar);
        e->setPlaceholderText(hint);
        e->setMaximumWidth(90);
        labelled(text, e);
        connect(e, &QLineEdit::textChanged, this, &CFigureWindow::Schedule);
        return e;
    };
    const auto choice = [&](const QString& text) {
        auto* box = new QComboBox(bar);
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        box->setMinimumContentsLength(8);
        labelled(text, box);
        connect(box, &QComboBox::currentIndexChanged, this, &CFigureWindow::Schedule);
        return box;
    };
    switch (kind_) {
        case FigureKind::kCycles:
            reference_ = choice(QStringLiteral("&Reference:"));
            level_ = entry(QStringLiteral("&Level:"), QStringLiteral("midpoint"));
            hysteresis_ = entry(QStringLiteral("&Hysteresis:"), QStringLiteral("10 %"));
            break;
        case FigureKind::kEdges:
            deadFrom_ = choice(QStringLiteral("&Dead time from:"));
            deadTo_ = choice(QStringLiteral("&to:"));
            break;
        case FigureKind::kHarmonics:
            fundamental_ = entry(QStringLiteral("&Fundamental (Hz):"), QStringLiteral("strongest"));
            break;
    }
    row->addStretch(1);
    copy_ = new QPushButton(QStringLiteral("&Copy"), bar);
    copy_->setAccessibleName(QStringLiteral("Copy"));
    copy_->setToolTip(QStringLiteral("Copy the table as text"));
    connect(copy_, &QPushButton::clicked, this, &CFigureWindow::Copy);
    row->addWidget(copy_);
}

CFigureWindow* CFigureWindow::Instance(FigureKind kind) {
    return kindSlots[static_cast<int>(kind)].Get();
}

CFigureWindow* CFigureWindow::Open(FigureKind kind, QWidget* frame, COhmixGraphView* view) {
    ToolSlot<CFigureWindow>& slot = kindSlots[static_cast<int>(kind)];
    const bool fresh = !slot.Get();
    CFigureWindow* w = slot.Take([kind, frame] { return new CFigureWindow(kind, frame); });
    if (fresh && frame) {
        w->show();
        // Left of the measure window's place, the kinds cascaded.
        const QRect main = frame->frameGeometry();
        const QSize size = w->frameGeometry().size();
        const int step = kCascade * static_cast<int>(kind);
        w->move(std::max(main.left(), main.right() + 1 - kMeasureRoom - size.width() - step),
                std::max(main.top(), main.bottom() + 1 - kBottomGap - size.height() - step));
    }
    w->follow_->Present(view);
    return w;
}

void CFigureWindow::Follow(COhmixGraphView* view) {
    follow_->Follow(view);
}

COhmixGraphView* CFigureWindow::Followed() const {
    return follow_->View();
}

void CFigureWindow::WatchScreens() {
    COhmixGraphView* view = Followed();
    if (!view) return;
    // A unique connection is never doubled when the screens are watched again.
    for (int i = 0; i < view->ScreenCount(); ++i) {
        connect(view->Screen(i), &CGraphWnd::dragXRange, this, &CFigureWindow::FollowDrag,
                Qt::UniqueConnection);
    }
}

void CFigureWindow::FollowDrag(int, bool active, AxisRange range) {
    if (active)
        dragRange_ = range;
    else
        dragRange_.reset();
    Schedule();
}

void CFigureWindow::Schedule() {
    follow_->Schedule();
}

void CFigureWindow::FillChoices() {
    const std::vector<CurveListEntry> entries =
        Followed() ? CurveListEntries(Followed()->ConstRecords()) : std::vector<CurveListEntry>{};
    if (reference_) FillCurveChoice(reference_, QStringLiteral("Selected curve"), entries);
    if (deadFrom_) FillCurveChoice(deadFrom_, QStringLiteral("(none)"), entries);
    if (deadTo_) FillCurveChoice(deadTo_, QStringLiteral("(none)"), entries);
}

FigureRequest CFigureWindow::RequestFromControls(std::string* problem) const {
    FigureRequest r;
    r.kind = kind_;
    const auto number = [&](const QLineEdit* e, const char* what) -> std::optional<double> {
        const NumberEntry n = ParseNumberEntry(e->text().toStdString());
        if (!n.ok) *problem += std::string(what) + " is not a number: the default is used. ";
        return n.value;
    };
    switch (kind_) {
        case FigureKind::kCycles:
            r.reference = PlaceOf(reference_);
            r.cycles.level = number(level_, "The level");
            r.cycles.hysteresis = number(hysteresis_, "The hysteresis");
            break;
        case FigureKind::kEdges:
            r.deadFrom = PlaceOf(deadFrom_);
            r.deadTo = PlaceOf(deadTo_);
            break;
        case FigureKind::kHarmonics:
            r.fundamental = number(fundamental_, "The fundamental");
            break;
    }
    return r;
}

void CFigureWindow::Compute() {
    FillChoices();
    std::string problem;
    const FigureRequest request = RequestFromControls(&problem);
    COhmixGraphView* view = Followed();
    if (!view) {
        computed_ = false;
        FigureResult none;
        none.table.message = "No graph window is open.";
        problem_ = problem;
        ShowResult(std::move(none));
        return;
    }
    const std::vector<const CGraphCurve*> records = view->ConstRecords();
    // Everything the tables depend on; unchanged, nothing is computed.
    std::string inputs = FigureInputKey(records);
    if (computed_ && inputs == lastInputs_ && request == lastRequest_ && dragRange_ == lastDrag_ &&
        problem == problem_)
        return;
    computed_ = true;
    lastInputs_ = std::move(inputs);
    lastRequest_ = request;
    lastDrag_ = dragRange_;
    problem_ = problem;
    auto snapshot =
        std::make_shared<std::vector<CGraphCurve>>(SnapshotScreens(records, dragRange_));
    jobs_->Post([snapshot, request] {
        std::vector<CGraphCurve*> screens;
        for (CGraphCurve& s : *snapshot) screens.push_back(&s);
        return ComputeFigures(screens, request);
    });
}

void CFigureWindow::ShowResult(FigureResult result) {
    Decode(result.table);
    if (result.dead) Decode(*result.dead);
    result_ = std::move(result);
    title_->setText(QString::fromStdString(result_.table.title));
    title_->setVisible(!result_.table.title.empty());
    const std::string message = problem_ + result_.table.message;
    message_->setText(QString::fromStdString(message));
    message_->setVisible(!message.empty());
    table_->SetTable(result_.table);
    table_->setVisible(!result_.table.rows.empty());
    std::string rows = FigureRowsText(result_.table);
    if (dead_) {
        const bool shown = result_.dead.has_value();
        deadTitle_->setText(shown ? QString::fromStdString(result_.dead->title +
                                                           (result_.dead->message.empty()
                                                                ? std::string()
                                                                : "\n" + result_.dead->message))
                                  : QStringLiteral("Choose two curves to see the dead times "
                                                   "between them."));
        dead_->SetTable(shown ? *result_.dead : FigureTable{});
        dead_->setVisible(shown);
        if (shown && !result_.dead->rows.empty()) rows += "\n" + FigureRowsText(*result_.dead);
    }
    setAccessibleDescription(QString::fromStdString(rows));
    emit resultShown();
}

bool CFigureWindow::event(QEvent* event) {
    // Ctrl+C here copies the table: the frame's copy of the graph, whose
    // shortcut a tool window's keys would reach too, must not take it.
    if (event->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

void CFigureWindow::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        Copy();
        return;
    }
    QWidget::keyPressEvent(event);
}

QString CFigureWindow::CopyText() const {
    return QString::fromStdString(FigureResultText(result_));
}

void CFigureWindow::Copy() {
    if (QClipboard* c = QGuiApplication::clipboard()) c->setText(CopyText());
}

}  // namespace kurvex
