#include "app/tools/MeasureWindow.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <cmath>

#include "app/GraphView.h"
#include "app/tools/ToolFollower.h"
#include "controls/QtColour.h"
#include "data/platform/NameText.h"
#include "interaction/MouseMode.h"

namespace kurvex {

namespace {

// The size of the list when the window is made.
constexpr int kViewWidth = 260;
constexpr int kViewHeight = 225;
// Space kept between the window's bottom and the main frame's.
constexpr int kBottomGap = 20;
// Where rows start, and the space before, after and inside them.
constexpr int kTop = 15;
constexpr int kStep = 5;
const QColor kRuleColour(200, 200, 200);

ToolSlot<CMsuFrame> slot;

std::function<void()>& ClosedHook() {
    static std::function<void()> hook;
    return hook;
}

// The window as assistive technology sees it: a window named by its title, which says what it
// shows ("Measure", "Average Value", ...).
class MeasureWindowAccessible : public QAccessibleWidget {
public:
    explicit MeasureWindowAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::Window) {}
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name ? widget()->windowTitle() : QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* MeasureWindowFactory(const QString& key, QObject* object) {
    if (key != QLatin1String(CMsuFrame::staticMetaObject.className())) return nullptr;
    auto* w = qobject_cast<QWidget*>(object);
    return w ? new MeasureWindowAccessible(w) : nullptr;
}

QFont ViewFont() {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(14);
    f.setWeight(QFont::Normal);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

}  // namespace

CMeasureView::CMeasureView(QWidget* parent) : QWidget(parent) {
    setFont(ViewFont());
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CMeasureView::SetRows(std::vector<MeasureRow> rows) {
    rows_ = std::move(rows);
    // Labels are names and formulas from the file, in whatever encoding it had.
    for (MeasureRow& r : rows_) r.label = DisplayName(r.label);
    Relayout();
    QStringList lines;
    for (const MeasureRow& r : rows_) {
        if (r.label == kMeasureSeparator || r.label == kMeasureGap) continue;
        lines << QString::fromStdString(r.label) + QLatin1Char('\t') +
                     QString::fromStdString(r.value);
    }
    setAccessibleDescription(lines.join(QLatin1Char('\n')));
    update();
}

void CMeasureView::SetVisibleWidth(int width) {
    if (width == visibleWidth_) return;
    visibleWidth_ = width;
    Relayout();
    update();
}

void CMeasureView::Relayout() {
    const QFontMetrics fm(font());
    int widest = 0;
    for (const MeasureRow& r : rows_) {
        if (r.label == kMeasureSeparator || r.label == kMeasureGap) continue;
        widest = std::max(widest, fm.horizontalAdvance(QString::fromStdString(r.value)));
    }
    columns_ = MeasureColumnsFor(visibleWidth_, widest);
    height_ = Layout(nullptr);
    setMinimumSize(columns_.scrollWidth, height_);
}

int CMeasureView::Layout(QPainter* painter) const {
    const QFontMetrics fm(font());
    const MeasureColumns& c = columns_;
    int y = kTop;
    std::vector<int> rules;
    for (const MeasureRow& r : rows_) {
        if (r.label == kMeasureSeparator) {
            rules.push_back(y);
            y += kStep;
            continue;
        }
        if (r.label == kMeasureGap) {
            y += kStep;
            continue;
        }
        const int h = fm.height();
        if (painter) {
            const QString label =
                fm.elidedText(QString::fromStdString(r.label), Qt::ElideRight, c.labelWidth);
            painter->setPen(ToQColor(r.colour));
            painter->drawText(QRect(kMeasureInset, y, c.labelWidth, h),
                              Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, label);
            painter->drawText(QRect(c.valueLeft, y, c.right - c.valueLeft, h),
                              Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                              QString::fromStdString(r.value));
        }
        y += h + kStep;
    }
    if (painter) {
        painter->setPen(QPen(kRuleColour, 1));
        painter->drawLine(c.mid, kTop, c.mid, y);
        for (int ry : rules) painter->drawLine(kMeasureInset, ry, c.right, ry);
    }
    return y;
}

void CMeasureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setFont(font());
    Layout(&painter);
}

CMsuFrame::CMsuFrame(QWidget* parent) : QWidget(parent, Qt::Tool) {
    // Before the title is set: setting it asks for (and keeps) the window's accessible interface.
    static const bool accessible = (QAccessible::installFactory(MeasureWindowFactory), true);
    (void)accessible;
    setWindowTitle(QStringLiteral("Measure"));
    setAttribute(Qt::WA_DeleteOnClose);
    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    // Labels keep to the visible width; long values scroll into view.
    scroll_->viewport()->installEventFilter(this);
    view_ = new CMeasureView;
    view_->setAccessibleName(QStringLiteral("Measure values"));
    scroll_->setWidget(view_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll_);
    resize(kViewWidth, kViewHeight);
    // It lists the cursors that moved last, on whichever window: the view
    // that moved them is followed, not the window in front.
    follow_ = new ToolFollower(this, nullptr, 0);
    connect(follow_, &ToolFollower::due, this, [this](ViewChanges what) {
        COhmixGraphView* view = Followed();
        // A reload changed the values under the cursors listed.
        if (!(what & ViewChange::Values) || !view || state_.resultMode || state_.screens.empty() ||
            state_.screens != view->Records())
            return;
        CursorUpdate(state_.screens, state_.cursor1X, state_.cursor2X, state_.movedCursor);
    });
    Refresh();
}

CMsuFrame::~CMsuFrame() = default;

CMsuFrame* CMsuFrame::Instance() {
    return slot.Get();
}

CMsuFrame* CMsuFrame::Open(QWidget* mainFrame) {
    if (CMsuFrame* open = slot.Get()) return open;
    CMsuFrame* w = slot.Take([mainFrame] { return new CMsuFrame(mainFrame); });
    w->show();
    if (mainFrame) {
        // Right edges flush, the bottom a little above the frame's, size kept.
        const QRect main = mainFrame->frameGeometry();
        const QSize size = w->frameGeometry().size();
        w->move(main.right() + 1 - size.width(), main.bottom() + 1 - kBottomGap - size.height());
    }
    return w;
}

void CMsuFrame::Follow(COhmixGraphView* view) {
    follow_->Follow(view);
}

COhmixGraphView* CMsuFrame::Followed() const {
    return follow_->View();
}

void CMsuFrame::CursorUpdate(const std::vector<CGraphCurve*>& screens, double x1, double x2,
                             int which) {
    state_.resultMode = false;
    setWindowTitle(QStringLiteral("Measure"));
    state_.cursor1X = x1;
    state_.cursor2X = x2;
    state_.movedCursor = which == 1 ? 1 : 0;
    state_.screens = screens;
    Refresh();
}

void CMsuFrame::ShowResult(const std::string& caption, const std::string& label, double value,
                           Rgb colour) {
    setWindowTitle(QString::fromStdString(caption));
    state_.resultMode = true;
    state_.resultLabel = label;
    state_.resultValue = std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
    state_.resultColour = colour;
    Refresh();
}

void CMsuFrame::ClearValues() {
    state_.screens.clear();
    Refresh();
}

void CMsuFrame::SetClosedHook(std::function<void()> hook) {
    ClosedHook() = std::move(hook);
}

void CMsuFrame::Refresh() {
    view_->SetRows(MeasureRows(state_));
    setAccessibleDescription(view_->accessibleDescription());
    view_->repaint();
}

bool CMsuFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == scroll_->viewport() && event->type() == QEvent::Resize)
        view_->SetVisibleWidth(static_cast<QResizeEvent*>(event)->size().width());
    return QWidget::eventFilter(watched, event);
}

void CMsuFrame::closeEvent(QCloseEvent* event) {
    if (MouseMode() == kModeMeasure) SetMouseMode(kModeEscape);
    slot.Drop(this);
    event->accept();
    if (const std::function<void()> hook = ClosedHook()) hook();
}

}  // namespace kurvex
