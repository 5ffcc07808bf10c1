#include "app/FigureWindow.h"

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
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

#include "app/GraphView.h"
#include "app/GraphWnd.h"
#include "app/MainFrame.h"
#include "data/NameText.h"
#include "graph/AppOptions.h"
#include "graph/ScreenInput.h"
#include "graph/ViewCommands.h"

namespace kurvex {

namespace {

// Where rows start, the space after them and inside each cell, as the measure
// window has them.
constexpr int kTop = 8;
constexpr int kStep = 5;
constexpr int kInset = 10;
constexpr int kMaxLabelWidth = 220;
// Room for the rounding between measured and drawn text, so nothing fitting is cut.
constexpr int kSlack = 2;
const QColor kRuleColour(200, 200, 200);
// Changes that come within this pause are computed once.
constexpr int kPauseMs = 40;
// The measure window's width and the gap kept from it and the frame's bottom.
constexpr int kMeasureRoom = 290;
constexpr int kBottomGap = 20;
// How far each further kind of window is moved up and left, so that all can be seen.
constexpr int kCascade = 60;

CFigureWindow* instances[3] = {nullptr, nullptr, nullptr};

QString ToQString(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QColor ToQColor(Rgb c) {
    return QColor(RedOf(c), GreenOf(c), BlueOf(c));
}

QFont ViewFont() {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(14);
    f.setWeight(QFont::Normal);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

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
    for (const CurveListEntry& e : entries) wanted << ToQString(DisplayName(e.text));
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

// Runs one computation at a time on a thread of its own; a job posted while
// another runs waits, and a newer one replaces it. Results reach `done` on
// the interface thread.
class FigureJobs {
public:
    using Job = std::function<FigureResult()>;
    FigureJobs(QObject* context, std::function<void(FigureResult)> done)
        : context_(context), done_(std::move(done)) {}
    ~FigureJobs() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
            pending_ = nullptr;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    void Post(Job job) {
        {
            std::lock_guard lock(mutex_);
            pending_ = std::move(job);
        }
        if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
        wake_.notify_all();
    }

private:
    void Run() {
        for (;;) {
            Job job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stop_ || pending_; });
                if (stop_) return;
                job = std::move(pending_);
                pending_ = nullptr;
            }
            auto result = std::make_shared<FigureResult>();
            try {
                *result = job();
            } catch (const std::exception& e) {
                result->table.message =
                    std::string("The figures could not be computed: ") + e.what();
            }
            job = nullptr;  // the snapshot goes here, not on the interface thread
            QMetaObject::invokeMethod(
                context_, [done = done_, result] { done(std::move(*result)); },
                Qt::QueuedConnection);
        }
    }

    QObject* context_;
    std::function<void(FigureResult)> done_;
    std::mutex mutex_;
    std::condition_variable wake_;
    Job pending_;
    bool stop_ = false;
    std::thread thread_;
};

// Follows the drags on the screens of a view with a drag of its own fed the
// same mouse events, so that the tables show the X range a screen shows
// before the drag is released (a screen shows a working copy until then).
class DragShadow : public QObject {
public:
    using QObject::QObject;
    // Called with the X range shown while a drag moves it, and with none when
    // the drag ends.
    std::function<void(std::optional<AxisRange>)> changed;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* screen = qobject_cast<CGraphWnd*>(watched);
        if (!screen) return false;
        switch (event->type()) {
            case QEvent::MouseButtonPress: {
                const auto* e = static_cast<QMouseEvent*>(event);
                End();
                press_ = e->position().toPoint();
                button_ = e->button();
                break;
            }
            case QEvent::MouseMove:
                Follow(*screen, static_cast<QMouseEvent*>(event)->position().toPoint());
                break;
            case QEvent::MouseButtonRelease:
            case QEvent::Hide:
                End();
                break;
            default:
                break;
        }
        return false;
    }

private:
    void Follow(CGraphWnd& screen, QPoint p) {
        if (!screen.DragInProgress()) {
            End();
            return;
        }
        if (!drag_.Active()) {
            const DragKind kind = KindOf(screen);
            if (kind == DragKind::None ||
                !drag_.Begin(screen.Record(), kind, Point{press_.x(), press_.y()}))
                return;
        }
        if (drag_.Move(Point{p.x(), p.y()}) && drag_.Working() && changed)
            changed(drag_.Working()->XRange());
    }
    // The drags that show a working copy; the zoom box changes nothing until released.
    DragKind KindOf(const CGraphWnd& screen) const {
        if (button_ == Qt::RightButton)
            return Options().rightMouseAction == kRightMousePan ? DragKind::Pan : DragKind::None;
        if (button_ != Qt::LeftButton) return DragKind::None;
        switch (screen.CurrentMode()) {
            case kModePan:
                return DragKind::Pan;
            case kModeZoomPoint:
                return DragKind::ZoomPoint;
            case kModeZoomAxisEnd:
                return DragKind::ZoomAxisEnd;
            default:
                return DragKind::None;
        }
    }
    void End() {
        if (!drag_.Active()) return;
        drag_.Cancel();
        if (changed) changed(std::nullopt);
    }

    ScreenDrag drag_;
    QPoint press_;
    Qt::MouseButton button_ = Qt::NoButton;
};

CFigureView::CFigureView(QWidget* parent) : QWidget(parent) {
    setFont(ViewFont());
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CFigureView::SetTable(FigureTable table) {
    table_ = std::move(table);
    setAccessibleDescription(ToQString(FigureRowsText(table_)));
    const QSize size = sizeHint();
    setMinimumSize(size);
    updateGeometry();
    update();
}

std::vector<int> CFigureView::ColumnWidths() const {
    const QFontMetrics fm(font());
    std::vector<int> widths;
    for (const std::string& c : table_.columns)
        widths.push_back(fm.horizontalAdvance(ToQString(c)) + 2 * kInset + kSlack);
    for (const FigureRow& r : table_.rows) {
        for (std::size_t c = 0; c <= r.values.size(); ++c) {
            const QString text = ToQString(c == 0 ? r.label : ShownFigureText(r.values[c - 1]));
            const int w = fm.horizontalAdvance(text) + 2 * kInset + kSlack;
            if (c >= widths.size()) widths.resize(c + 1, 2 * kInset);
            widths[c] = std::max(widths[c], w);
        }
    }
    if (!widths.empty()) widths[0] = std::min(widths[0], kMaxLabelWidth);
    return widths;
}

QSize CFigureView::sizeHint() const {
    if (table_.columns.empty() && table_.rows.empty()) return QSize(0, 0);
    const std::vector<int> widths = ColumnWidths();
    int w = 0;
    for (int c : widths) w += c;
    const int rowHeight = QFontMetrics(font()).height() + kStep;
    const int rows = static_cast<int>(table_.rows.size()) + 1;
    return QSize(w + 1, kTop + rows * rowHeight + kStep);
}

void CFigureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (table_.columns.empty() && table_.rows.empty()) return;
    painter.setFont(font());
    const QFontMetrics fm(font());
    const std::vector<int> widths = ColumnWidths();
    const int h = fm.height();
    // Labels to the left, figures to the right of their columns.
    const auto drawRow = [&](int y, const QStringList& cells, const QColor& colour) {
        painter.setPen(colour);
        int x = 0;
        for (int c = 0; c < cells.size() && c < static_cast<int>(widths.size()); ++c) {
            const int w = widths[static_cast<size_t>(c)];
            const QRect box(x + kInset, y, w - 2 * kInset, h);
            const QString text =
                c == 0 ? fm.elidedText(cells[c], Qt::ElideRight, box.width()) : cells[c];
            painter.drawText(
                box, (c == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignTop | Qt::TextSingleLine,
                text);
            x += w;
        }
    };
    int y = kTop;
    QStringList header;
    for (const std::string& c : table_.columns) header << ToQString(c);
    drawRow(y, header, Qt::black);
    y += h + kStep;
    const int ruleY = y - kStep / 2 - 1;
    for (const FigureRow& r : table_.rows) {
        QStringList cells{ToQString(r.label)};
        for (const auto& v : r.values) cells << ToQString(ShownFigureText(v));
        drawRow(y, cells, ToQColor(r.colour));
        y += h + kStep;
    }
    painter.setPen(QPen(kRuleColour, 1));
    int x = 0;
    for (std::size_t c = 0; c + 1 < widths.size(); ++c) {
        x += widths[c];
        painter.drawLine(x, kTop, x, y);
    }
    painter.drawLine(kInset, ruleY, x + widths.back() - kInset, ruleY);
}

CFigureWindow::CFigureWindow(FigureKind kind, CMainFrame* frame)
    : QWidget(frame, Qt::Tool), kind_(kind), frame_(frame) {
    const QString title = QString::fromLatin1(KindTitle(kind));
    setWindowTitle(title);
    setAccessibleName(title);
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(ViewFont());

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

    pause_.setSingleShot(true);
    pause_.setInterval(kPauseMs);
    connect(&pause_, &QTimer::timeout, this, &CFigureWindow::Compute);
    jobs_ =
        std::make_unique<FigureJobs>(this, [this](FigureResult r) { ShowResult(std::move(r)); });
    shadow_ = new DragShadow(this);
    shadow_->changed = [this](std::optional<AxisRange> range) {
        dragRange_ = range;
        Schedule();
    };
    if (frame) {
        // The window follows the graph window the frame shows; a table window
        // in front leaves it with the one before.
        connect(frame->MdiArea(), &QMdiArea::subWindowActivated, this, [this] {
            if (frame_)
                if (COhmixGraphView* v = frame_->ActiveView()) Follow(v);
        });
    }
    resize(kind == FigureKind::kHarmonics ? 420 : 600, kind == FigureKind::kEdges ? 320 : 280);
}

CFigureWindow::~CFigureWindow() {
    for (CFigureWindow*& w : instances)
        if (w == this) w = nullptr;
    Follow(nullptr);
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
    return instances[static_cast<int>(kind)];
}

CFigureWindow* CFigureWindow::Open(FigureKind kind, CMainFrame* frame, COhmixGraphView* view) {
    CFigureWindow*& w = instances[static_cast<int>(kind)];
    if (!w) {
        w = new CFigureWindow(kind, frame);
        w->show();
        if (frame) {
            // Left of the measure window's place, the kinds cascaded.
            const QRect main = frame->frameGeometry();
            const QSize size = w->frameGeometry().size();
            const int step = kCascade * static_cast<int>(kind);
            w->move(std::max(main.left(), main.right() + 1 - kMeasureRoom - size.width() - step),
                    std::max(main.top(), main.bottom() + 1 - kBottomGap - size.height() - step));
        }
    }
    w->Follow(view);
    w->show();
    w->raise();
    w->Schedule();
    return w;
}

void CFigureWindow::Follow(COhmixGraphView* view) {
    if (view == view_) return;
    if (view_) {
        for (int i = 0; i < view_->ScreenCount(); ++i) view_->Screen(i)->removeEventFilter(shadow_);
    }
    disconnect(viewChanged_);
    disconnect(viewSelection_);
    disconnect(viewGone_);
    view_ = view;
    dragRange_.reset();
    if (view_) {
        viewChanged_ = connect(view_, &COhmixGraphView::stateChanged, this, [this] {
            WatchScreens();
            Schedule();
        });
        viewSelection_ =
            connect(view_, &COhmixGraphView::curveSelection, this, &CFigureWindow::Schedule);
        // The frame may still list the closing window: the next one is found
        // when the tables are computed again.
        viewGone_ = connect(view_, &QObject::destroyed, this, &CFigureWindow::Schedule);
        WatchScreens();
    }
    Schedule();
}

void CFigureWindow::WatchScreens() {
    if (!view_) return;
    // Installing again moves the filter to the front; it is never doubled.
    for (int i = 0; i < view_->ScreenCount(); ++i) view_->Screen(i)->installEventFilter(shadow_);
}

void CFigureWindow::Schedule() {
    if (!pause_.isActive()) pause_.start();
}

void CFigureWindow::FillChoices() {
    const std::vector<CurveListEntry> entries =
        view_ ? CurveListEntries(view_->ConstRecords()) : std::vector<CurveListEntry>{};
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
    if (!view_ && frame_) Follow(frame_->ActiveView());
    FillChoices();
    std::string problem;
    const FigureRequest request = RequestFromControls(&problem);
    if (!view_) {
        computed_ = false;
        FigureResult none;
        none.table.message = "No graph window is open.";
        problem_ = problem;
        ShowResult(std::move(none));
        return;
    }
    const std::vector<const CGraphCurve*> records = view_->ConstRecords();
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
    title_->setText(ToQString(result_.table.title));
    title_->setVisible(!result_.table.title.empty());
    const std::string message = problem_ + result_.table.message;
    message_->setText(ToQString(message));
    message_->setVisible(!message.empty());
    table_->SetTable(result_.table);
    table_->setVisible(!result_.table.rows.empty());
    std::string rows = FigureRowsText(result_.table);
    if (dead_) {
        const bool shown = result_.dead.has_value();
        deadTitle_->setText(
            shown ? ToQString(result_.dead->title + (result_.dead->message.empty()
                                                         ? std::string()
                                                         : "\n" + result_.dead->message))
                  : QStringLiteral("Choose two curves to see the dead times "
                                   "between them."));
        dead_->SetTable(shown ? *result_.dead : FigureTable{});
        dead_->setVisible(shown);
        if (shown && !result_.dead->rows.empty()) rows += "\n" + FigureRowsText(*result_.dead);
    }
    setAccessibleDescription(ToQString(rows));
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
    return ToQString(FigureResultText(result_));
}

void CFigureWindow::Copy() {
    if (QClipboard* c = QGuiApplication::clipboard()) c->setText(CopyText());
}

}  // namespace kurvex
