#include "app/tools/RunsWindow.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>
#include <optional>
#include <unordered_set>

#include "analysis/Cycles.h"
#include "app/GraphDocument.h"
#include "app/GraphView.h"
#include "app/tools/ToolFollower.h"
#include "controls/QtColour.h"
#include "data/platform/NameText.h"
#include "data/platform/NumberText.h"
#include "dialogs/DialogSupport.h"
#include "graph/RunColours.h"
#include "interaction/RunEdits.h"

namespace kurvex {

namespace {

ToolSlot<CRunsWindow> slot;

// Space around the controls; the window opens at the top right, clear of the
// measure window's column.
constexpr int kInset = 8;
constexpr int kMeasureRoom = 290;
constexpr int kTopGap = 20;

QString Shown(const std::string& name) {
    return QString::fromStdString(DisplayName(name));
}

// A run's colour as a framed swatch, the size of the list's text.
QIcon Swatch(Rgb colour, int height) {
    QPixmap pixmap(2 * height, height);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(Qt::darkGray);
    p.setBrush(ToQColor(colour));
    p.drawRect(0, 1, 2 * height - 1, height - 3);
    return QIcon(pixmap);
}

QString Text(const std::string& bytes) {
    return QString::fromStdString(bytes);
}

// The variables of `run` after X, as it shows them.
QStringList VariablesOf(const CResultData* run) {
    QStringList out;
    for (std::int32_t i = 1; run && i < run->VariableCount(); ++i)
        out << Text(run->Variable(i)->Name());
    return out;
}

// The name of the curve measured by default, where it is a variable's: what
// a run is most likely lined up on.
QString DefaultCurve(const COhmixGraphView& view) {
    const std::vector<CGraphCurve*> screens = view.Records();
    const std::optional<CurvePlace> at = DefaultReference(screens);
    if (!at) return {};
    const CGraphCurve& s = *screens[static_cast<size_t>(at->screen)];
    const CCurveEntry& c = s.Curve(at->curve);
    if (c.sourceKind != kCurveColumn || c.columnIndex <= 0 ||
        c.columnIndex >= s.Data()->VariableCount())
        return {};
    return Text(s.Data()->Variable(c.columnIndex)->Name());
}

// Adds `control` under its label, which names it for screen readers too.
template <typename Control>
Control* AddRow(QFormLayout* form, const QString& text, Control* control) {
    auto* label = new QLabel(text);
    label->setBuddy(control);
    control->setAccessibleName(QString(text).remove('&').remove(':'));
    form->addRow(label, control);
    return control;
}

QComboBox* Labelled(QFormLayout* form, const QString& text, const QStringList& items,
                    bool editable = false, const QString& current = {}) {
    auto* box = new QComboBox;
    box->addItems(items);
    box->setEditable(editable);
    if (const int at = box->findText(current); at >= 0) box->setCurrentIndex(at);
    return AddRow(form, text, box);
}

QLineEdit* LabelledField(QFormLayout* form, const QString& text, const QString& value) {
    return AddRow(form, text, new QLineEdit(value));
}

// A small form: `fill` adds its fields, `accept` says what is wrong with them
// (empty: the form closes). True when it closed with OK.
bool AskForm(QWidget* parent, const QString& title, const std::function<void(QFormLayout*)>& fill,
             const std::function<std::string()>& accept) {
    QDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setMinimumWidth(dialog.fontMetrics().averageCharWidth() * 48);
    auto* form = new QFormLayout(&dialog);
    fill(form);
    auto* problem = new QLabel(&dialog);
    problem->setTextFormat(Qt::PlainText);
    problem->setWordWrap(true);
    form->addRow(problem);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        const std::string wrong = accept();
        if (wrong.empty())
            dialog.accept();
        else
            problem->setText(Text(wrong));
    });
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace

CRunsWindow::CRunsWindow(QWidget* frame)
    : QWidget(frame, Qt::Tool), follow_(new ToolFollower(this, frame, 0)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Runs"));
    setAccessibleName(QStringLiteral("Runs"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kInset, kInset, kInset, kInset);

    auto* buttons = new QHBoxLayout;
    all_ = new QPushButton(QStringLiteral("&All"), this);
    all_->setAccessibleName(QStringLiteral("All"));
    all_->setToolTip(QStringLiteral("Show every run"));
    none_ = new QPushButton(QStringLiteral("&None"), this);
    none_->setAccessibleName(QStringLiteral("None"));
    none_->setToolTip(QStringLiteral("Hide every run"));
    buttons->addWidget(all_);
    buttons->addWidget(none_);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    connect(all_, &QPushButton::clicked, this, [this] { SetAllChecked(true); });
    connect(none_, &QPushButton::clicked, this, [this] { SetAllChecked(false); });

    auto* choices = new QGridLayout;
    const auto labelled = [&](int row, const QString& text, QComboBox* box) {
        auto* label = new QLabel(text, this);
        label->setBuddy(box);
        QString name = text;
        box->setAccessibleName(name.remove('&').remove(':'));
        choices->addWidget(label, row, 0);
        choices->addWidget(box, row, 1);
        return label;
    };
    step_ = new QComboBox(this);
    stepLabel_ = labelled(0, QStringLiteral("&Step:"), step_);
    measured_ = new QComboBox(this);
    labelled(1, QStringLiteral("&Measure run:"), measured_);
    choices->setColumnStretch(1, 1);
    layout->addLayout(choices);
    connect(step_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (filling_ || !Followed()) return;
        RunChoice c = Followed()->Runs();
        c.filter = index <= 0 ? std::string() : step_->itemData(index).toString().toStdString();
        Apply(std::move(c));
    });
    connect(measured_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (filling_ || !Followed() || index < 0) return;
        RunChoice c = Followed()->Runs();
        const int run = measured_->itemData(index).toInt();
        if (run >= 0 && run < static_cast<int>(names_.size()))
            c.measured = names_[static_cast<size_t>(run)];
        Apply(std::move(c));
    });

    empty_ = new QLabel(QStringLiteral("The active window shows one run."), this);
    layout->addWidget(empty_);
    list_ = new QListWidget(this);
    list_->setAccessibleName(QStringLiteral("Runs"));
    list_->setUniformItemSizes(true);
    layout->addWidget(list_, 1);
    connect(list_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        const int k = list_->row(item);
        if (filling_ || !Followed() || k < 0 || k >= static_cast<int>(names_.size())) return;
        RunChoice c = Followed()->Runs();
        SetRunChecked(c, names_[static_cast<size_t>(k)], item->checkState() == Qt::Checked);
        Apply(std::move(c));
    });

    // Lining up a run from another source: a capture beside a simulation.
    auto* adjust = new QHBoxLayout;
    map_ = BarButton(this, QStringLiteral("Ma&p..."),
                     QStringLiteral("Show a variable of the current run under another name"));
    shift_ =
        BarButton(this, QStringLiteral("S&hift..."), QStringLiteral("Shift the current run in X"));
    scale_ = BarButton(this, QStringLiteral("S&cale..."),
                       QStringLiteral("Scale a variable of the current run (a probe factor)"));
    align_ = BarButton(this, QStringLiteral("Align on &Edge..."),
                       QStringLiteral("Shift the current run so that an edge falls on the same "
                                      "edge of the first shown run"));
    for (QPushButton* b : {map_, shift_, scale_, align_}) adjust->addWidget(b);
    adjust->addStretch(1);
    layout->addLayout(adjust);
    connect(map_, &QPushButton::clicked, this, &CRunsWindow::AskMap);
    connect(shift_, &QPushButton::clicked, this, &CRunsWindow::AskShift);
    connect(scale_, &QPushButton::clicked, this, &CRunsWindow::AskScale);
    connect(align_, &QPushButton::clicked, this, &CRunsWindow::AskAlign);

    // A reload or a change of runs made elsewhere shows here within the same turn.
    connect(follow_, &ToolFollower::due, this, &CRunsWindow::Refill);
    resize(280, 320);
}

CRunsWindow::~CRunsWindow() = default;

CRunsWindow* CRunsWindow::Instance() {
    return slot.Get();
}

CRunsWindow* CRunsWindow::Open(QWidget* frame, COhmixGraphView* view) {
    const bool fresh = !slot.Get();
    CRunsWindow* w = slot.Take([frame] { return new CRunsWindow(frame); });
    if (fresh && frame) {
        w->show();
        const QRect main = frame->frameGeometry();
        const QSize size = w->frameGeometry().size();
        w->move(std::max(main.left(), main.right() + 1 - kMeasureRoom - size.width()),
                main.top() + kTopGap);
    }
    w->follow_->Present(view);
    return w;
}

void CRunsWindow::Follow(COhmixGraphView* view) {
    follow_->Follow(view);
    follow_->Flush();
}

COhmixGraphView* CRunsWindow::Followed() const {
    return follow_->View();
}

QListWidgetItem* CRunsWindow::RunItem(int run) const {
    return list_->item(run);
}

void CRunsWindow::Refill() {
    filling_ = true;
    COhmixGraphView* view = Followed();
    names_ = view ? view->RunNames() : std::vector<std::string>{};
    const RunChoice choice = view ? view->Runs() : RunChoice{};
    const auto count = static_cast<int>(names_.size());
    const bool several = count > 1;
    empty_->setVisible(!several);

    // The items are kept while the runs keep their number, so that focus stays put.
    if (list_->count() != count) {
        list_->clear();
        for (int k = 0; k < count; ++k) list_->addItem(new QListWidgetItem);
    }
    const std::vector<bool> hidden = HiddenRunFlags(choice, names_);
    const std::vector<CGraphCurve*> screens = view ? view->Records() : std::vector<CGraphCurve*>{};
    const CGraphCurve* first = nullptr;
    for (const CGraphCurve* s : screens)
        if (s->CurveCount() > 0) {
            first = s;
            break;
        }
    const std::unordered_set<std::string> unchecked(choice.hidden.begin(), choice.hidden.end());
    const int height = list_->fontMetrics().height();
    const CResultData* shown = view ? view->ShownData().Get() : nullptr;
    const std::string xName =
        shown && shown->VariableCount() > 0 ? shown->Variable(0)->Name() : std::string();
    for (int k = 0; k < count; ++k) {
        const auto i = static_cast<size_t>(k);
        QListWidgetItem* item = list_->item(k);
        const bool checked = unchecked.count(names_[i]) == 0;
        item->setText(Shown(RunRowText(names_[i], AdjustmentOf(choice, names_[i]), xName)));
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
        // A run the step filter leaves out looks disabled but keeps its own choice.
        Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
        if (!checked || !hidden[i]) flags |= Qt::ItemIsEnabled;
        item->setFlags(flags);
        const Rgb colour = first ? RunAppearance(first->Curve(0).colour, k, count,
                                                 first->CurveCount(), first->BlackWhite())
                                       .colour
                                 : kRgbBlack;
        item->setIcon(Swatch(colour, height));
    }

    const std::vector<std::string> filters = StepFilters(names_);
    step_->clear();
    step_->addItem(QStringLiteral("All steps"));
    for (const std::string& f : filters) step_->addItem(Shown(f), QString::fromStdString(f));
    const int at =
        choice.filter.empty() ? 0 : step_->findData(QString::fromStdString(choice.filter));
    step_->setCurrentIndex(std::max(at, 0));
    step_->setVisible(!filters.empty());
    stepLabel_->setVisible(!filters.empty());

    measured_->clear();
    for (int k = 0; k < count; ++k)
        if (!hidden[static_cast<size_t>(k)])
            measured_->addItem(Shown(names_[static_cast<size_t>(k)]), k);
    measured_->setCurrentIndex(measured_->findData(MeasuredRunIndex(choice, names_)));
    for (QWidget* w : std::initializer_list<QWidget*>{all_, none_, step_, measured_, map_, shift_,
                                                      scale_, align_})
        w->setEnabled(several);
    if (several && list_->currentRow() < 0) list_->setCurrentRow(count - 1);
    filling_ = false;
}

void CRunsWindow::SetAllChecked(bool checked) {
    if (!Followed()) return;
    RunChoice c = Followed()->Runs();
    SetAllRunsChecked(c, names_, checked);
    Apply(std::move(c));
}

void CRunsWindow::Apply(RunChoice choice) {
    if (!Followed()) return;
    // The view redraws and says its state changed, which fills the window again.
    Followed()->SetRunChoice(std::move(choice));
}

}  // namespace kurvex

namespace kurvex {

int CRunsWindow::CurrentRun() const {
    const int k = list_->currentRow();
    return k >= 0 && k < static_cast<int>(names_.size()) ? k : -1;
}

int CRunsWindow::ReferenceRun() const {
    if (!Followed()) return -1;
    const std::vector<bool> hidden = HiddenRunFlags(Followed()->Runs(), names_);
    const auto at = std::find(hidden.begin(), hidden.end(), false);
    return at == hidden.end() ? -1 : static_cast<int>(at - hidden.begin());
}

void CRunsWindow::AskShift() {
    const int k = CurrentRun();
    if (!Followed() || k < 0) return;
    const std::string& run = names_[static_cast<size_t>(k)];
    const RunChoice before = Followed()->Runs();
    QLineEdit* by = nullptr;
    RunChoice after;
    const bool ok = AskForm(
        this, QStringLiteral("Shift %1").arg(Shown(run)),
        [&](QFormLayout* form) {
            by = LabelledField(form, QStringLiteral("&Shift X by:"),
                               Text(Format("%.12g", AdjustmentOf(before, run).shift)));
        },
        [&] {
            RunEdit e = ShiftRun(before, run, by->text().toStdString());
            after = std::move(e.choice);
            return e.problem;
        });
    if (ok) Apply(std::move(after));
}

void CRunsWindow::AskScale() {
    const int k = CurrentRun();
    if (!Followed() || k < 0) return;
    const std::string& run = names_[static_cast<size_t>(k)];
    const RunChoice before = Followed()->Runs();
    QComboBox* variable = nullptr;
    QLineEdit* factor = nullptr;
    RunChoice after;
    const bool ok = AskForm(
        this, QStringLiteral("Scale %1").arg(Shown(run)),
        [&](QFormLayout* form) {
            variable = Labelled(form, QStringLiteral("&Variable:"),
                                VariablesOf(Followed()->ShownData()->Run(k)), false,
                                DefaultCurve(*Followed()));
            factor = LabelledField(form, QStringLiteral("&Factor:"), QStringLiteral("1"));
        },
        [&] {
            RunEdit e = ScaleRun(before, run, variable->currentText().toStdString(),
                                 factor->text().toStdString());
            after = std::move(e.choice);
            return e.problem;
        });
    if (ok) Apply(std::move(after));
}

void CRunsWindow::AskMap() {
    const int k = CurrentRun();
    if (!Followed() || k < 0) return;
    const std::string& run = names_[static_cast<size_t>(k)];
    const RunChoice before = Followed()->Runs();
    const int reference = std::max(ReferenceRun(), 0);
    QComboBox* from = nullptr;
    QComboBox* to = nullptr;
    RunChoice after;
    const bool ok = AskForm(
        this, QStringLiteral("Map %1").arg(Shown(run)),
        [&](QFormLayout* form) {
            from = Labelled(form, QStringLiteral("&Variable in the file:"),
                            VariablesOf(Followed()->Document()->Core().Data()->Run(k)));
            to = Labelled(form, QStringLiteral("&Shown as:"),
                          VariablesOf(Followed()->ShownData()->Run(reference)), true,
                          DefaultCurve(*Followed()));
        },
        [&] {
            RunEdit e = MapRun(before, run, from->currentText().toStdString(),
                               to->currentText().toStdString());
            after = std::move(e.choice);
            return e.problem;
        });
    if (ok) Apply(std::move(after));
}

void CRunsWindow::AskAlign() {
    const int k = CurrentRun();
    COhmixGraphView* view = Followed();
    if (!view || k < 0) return;
    const RunChoice before = view->Runs();
    const int reference = std::max(ReferenceRun(), 0);
    QComboBox* variable = nullptr;
    QLineEdit* level = nullptr;
    QComboBox* edge = nullptr;
    QLineEdit* afterX = nullptr;
    RunChoice after;
    const bool ok = AskForm(
        this, QStringLiteral("Align %1 on an Edge").arg(Shown(names_[static_cast<size_t>(k)])),
        [&](QFormLayout* form) {
            variable = Labelled(form, QStringLiteral("&Variable:"),
                                VariablesOf(view->ShownData()->Run(reference)), false,
                                DefaultCurve(*view));
            level = LabelledField(form, QStringLiteral("&Level:"), QStringLiteral("0"));
            edge = Labelled(form, QStringLiteral("&Edge:"),
                            {QStringLiteral("Rising"), QStringLiteral("Falling")});
            afterX = LabelledField(form, QStringLiteral("&After X:"), QString());
            afterX->setPlaceholderText(QStringLiteral("from the start"));
        },
        [&] {
            RunEdit e = AlignRun(before, *view->ShownData().Get(), names_, k, reference,
                                 variable->currentText().toStdString(), level->text().toStdString(),
                                 edge->currentIndex() == 0, afterX->text().toStdString());
            after = std::move(e.choice);
            return e.problem;
        });
    if (ok) Apply(std::move(after));
}

}  // namespace kurvex
