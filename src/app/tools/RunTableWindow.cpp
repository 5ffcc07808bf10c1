#include "app/tools/RunTableWindow.h"

#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "analysis/FigureRequest.h"
#include "analysis/MeasureCatalogue.h"
#include "app/GraphView.h"
#include "app/ScriptRunner.h"
#include "app/tools/ToolFollower.h"
#include "controls/QtColour.h"
#include "data/platform/NameText.h"
#include "dialogs/BoxMessages.h"
#include "dialogs/DialogSupport.h"
#include "graph/ViewCommands.h"

namespace kurvex {

namespace {

// Changes that come within this pause are computed once.
constexpr int kPauseMs = 40;

ToolSlot<CRunTableWindow> slot;

QString Text(const std::string& s) {
    return QString::fromStdString(DisplayName(s));
}

// A control with its label beside it in `form`, the label its accessible name.
void AddLabelled(QFormLayout* form, const QString& text, QWidget* control) {
    auto* label = new QLabel(text);
    label->setBuddy(control);
    control->setAccessibleName(QString(text).remove('&').remove(':'));
    form->addRow(label, control);
}

}  // namespace

CRunTableWindow::CRunTableWindow(QWidget* frame)
    : QWidget(frame, Qt::Tool), follow_(new ToolFollower(this, frame, kPauseMs)) {
    const QString title = QStringLiteral("Run Table");
    setWindowTitle(title);
    setAccessibleName(title);
    setAttribute(Qt::WA_DeleteOnClose);

    auto* bar = new QHBoxLayout;
    const auto button = [&](const QString& text, const QString& tip, auto slot) {
        QPushButton* b = BarButton(this, text, tip);
        connect(b, &QPushButton::clicked, this, slot);
        bar->addWidget(b);
    };
    button(QStringLiteral("&Add Column..."), QStringLiteral("Measure a curve in every run"),
           &CRunTableWindow::AskColumn);
    button(QStringLiteral("&Remove Column"), QStringLiteral("Remove the chosen column"),
           &CRunTableWindow::RemoveColumn);
    bar->addStretch(1);
    button(QStringLiteral("&Copy"), QStringLiteral("Copy the table as text"),
           &CRunTableWindow::Copy);
    button(QStringLiteral("&Save CSV..."), QStringLiteral("Save the table as a CSV file"),
           &CRunTableWindow::AskSaveCsv);

    table_ = new QTableWidget(this);
    table_->setAccessibleName(QStringLiteral("Run Table table"));
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->setVisible(false);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(table_, 1);

    connect(follow_, &ToolFollower::followed, this,
            [this](COhmixGraphView* before, COhmixGraphView* now) {
                // Columns name screens and curves of one view: they mean nothing in another.
                if (now) columns_.clear();
                if (before) disconnect(before->Scripts(), nullptr, this, nullptr);
                // Script columns show the view's script results as they come.
                if (now)
                    connect(now->Scripts(), &CScriptRunner::finished, this,
                            &CRunTableWindow::Recompute);
            });
    connect(follow_, &ToolFollower::due, this, &CRunTableWindow::Recompute);
    resize(520, 260);
}

CRunTableWindow::~CRunTableWindow() = default;

CRunTableWindow* CRunTableWindow::Instance() {
    return slot.Get();
}

CRunTableWindow* CRunTableWindow::Open(QWidget* frame, COhmixGraphView* view) {
    CRunTableWindow* w = slot.Take([frame] { return new CRunTableWindow(frame); });
    w->follow_->Present(view);
    return w;
}

void CRunTableWindow::Follow(COhmixGraphView* view) {
    follow_->Follow(view);
}

COhmixGraphView* CRunTableWindow::Followed() const {
    return follow_->View();
}

std::vector<std::string> CRunTableWindow::Headers() const {
    std::vector<std::string> headers;
    const std::vector<CGraphCurve*> screens =
        Followed() ? Followed()->Records() : std::vector<CGraphCurve*>{};
    for (const RunTableColumn& c : columns_) headers.push_back(RunTableHeader(screens, c));
    return headers;
}

void CRunTableWindow::Recompute() {
    rows_.clear();
    if (COhmixGraphView* view = Followed()) {
        const std::vector<CGraphCurve*> screens = view->Records();
        if (!screens.empty() && screens[0]) {
            const RunTableRange r = RunTableRangeOf(*screens[0]);
            rows_ = RunTableRows(screens, columns_, r.from, r.to, r.cursor1, r.cursor2,
                                 &view->Scripts()->Results());
            // Two runs side by side are a comparison: their difference follows.
            if (auto difference = RunTableDifference(rows_)) rows_.push_back(*difference);
        }
    }
    const std::vector<std::string> headers = Headers();
    table_->clear();
    table_->setColumnCount(static_cast<int>(headers.size()) + 1);
    table_->setRowCount(static_cast<int>(rows_.size()));
    QStringList titles{QStringLiteral("Run")};
    for (const std::string& h : headers) titles << Text(h);
    table_->setHorizontalHeaderLabels(titles);
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
        const RunTableRow& row = rows_[static_cast<size_t>(i)];
        auto* name = new QTableWidgetItem(Text(row.name));
        name->setForeground(ToQColor(row.colour));
        table_->setItem(i, 0, name);
        for (int j = 0; j < static_cast<int>(row.values.size()); ++j) {
            const auto& v = row.values[static_cast<size_t>(j)];
            table_->setItem(i, j + 1,
                            new QTableWidgetItem(v ? QString::number(*v, 'g', 6) : QString()));
        }
    }
    table_->resizeColumnsToContents();
    // What a screen reader reads: the rows as the clipboard gets them.
    setAccessibleDescription(CopyText());
}

void CRunTableWindow::AddColumn(const RunTableColumn& column) {
    columns_.push_back(column);
    Recompute();
}

void CRunTableWindow::RemoveColumn() {
    if (columns_.empty()) return;
    const int current = table_->currentColumn() - 1;
    const auto at = current >= 0 && current < static_cast<int>(columns_.size())
                        ? columns_.begin() + current
                        : columns_.end() - 1;
    columns_.erase(at);
    Recompute();
}

void CRunTableWindow::AskColumn() {
    COhmixGraphView* view = Followed();
    if (!view) return;
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Add Column"));
    auto* form = new QFormLayout(&dialog);
    auto* curve = new QComboBox(&dialog);
    for (const CurveListEntry& e : CurveListEntries(view->ConstRecords()))
        curve->addItem(Text(e.text), static_cast<int>(e.data));
    auto* kind = new QComboBox(&dialog);
    for (const MeasureEntry& e : MeasureCatalogue())
        kind->addItem(QString::fromUtf8(e.caption), static_cast<int>(e.id));
    // The view's script offers its measurements too, numbered below the catalogue's.
    // A copy: the results may change while the dialog is open.
    const std::vector<std::string> scripted = view->Scripts()->Results().columns;
    for (std::size_t i = 0; i < scripted.size(); ++i)
        kind->addItem(Text(scripted[i]) + QStringLiteral(" (script)"), -1 - static_cast<int>(i));
    kind->setCurrentIndex(kind->findData(static_cast<int>(RunMeasure::Avg)));
    auto* other = new QComboBox(&dialog);
    other->addItem(QStringLiteral("(the curve itself)"), -1);
    for (const CurveListEntry& e : CurveListEntries(view->ConstRecords()))
        other->addItem(Text(e.text), static_cast<int>(e.data));
    auto* x = new QLineEdit(&dialog);
    x->setPlaceholderText(QStringLiteral("X for a value at X"));
    AddLabelled(form, QStringLiteral("&Curve:"), curve);
    AddLabelled(form, QStringLiteral("&Measurement:"), kind);
    AddLabelled(form, QStringLiteral("&X:"), x);
    AddLabelled(form, QStringLiteral("&Second curve:"), other);
    auto* problem = new QLabel(&dialog);
    problem->setTextFormat(Qt::PlainText);
    form->addRow(problem);
    const auto chosen = [=] { return static_cast<RunMeasure>(kind->currentData().toInt()); };
    const auto script = [=] { return kind->currentData().toInt() < 0; };
    const auto enable = [=] {
        x->setEnabled(!script() && RunColumnTakesX(chosen()));
        other->setEnabled(!script() && RunColumnTakesOther(chosen()));
    };
    connect(kind, &QComboBox::currentIndexChanged, &dialog, enable);
    enable();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    RunTableColumn column;
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        if (script()) {
            column = RunTableColumn{};
            column.script = scripted[static_cast<std::size_t>(-1 - kind->currentData().toInt())];
            dialog.accept();
            return;
        }
        if (curve->count() == 0) {
            problem->setText(QStringLiteral("The view shows no curve."));
            return;
        }
        RunColumnChoice choice;
        choice.screen = ScreenOfParam(curve->currentData().toInt());
        choice.curve = CurveOfParam(curve->currentData().toInt());
        choice.kind = chosen();
        if (const int param = other->currentData().toInt(); param >= 0)
            choice.other = std::pair{ScreenOfParam(param), CurveOfParam(param)};
        choice.xText = x->text().toStdString();
        const RunColumnResult made = RunColumnFrom(choice);
        if (!made.problem.empty()) {
            problem->setText(QString::fromStdString(made.problem));
            return;
        }
        column = made.column;
        dialog.accept();
    });
    if (dialog.exec() == QDialog::Accepted) AddColumn(column);
}

QString CRunTableWindow::CopyText() const {
    return QString::fromStdString(DisplayName(RunTableText(rows_, Headers(), '\t')));
}

void CRunTableWindow::Copy() {
    if (QClipboard* c = QGuiApplication::clipboard()) c->setText(CopyText());
}

bool CRunTableWindow::SaveCsv(const QString& path) {
    return SaveTextOrSay(this, path, DisplayName(RunTableText(rows_, Headers(), ',')),
                         QStringLiteral("run table"));
}

void CRunTableWindow::AskSaveCsv() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save CSV"), QString(),
                                                      QStringLiteral("CSV files (*.csv)"));
    if (!path.isEmpty()) SaveCsv(path);
}

}  // namespace kurvex
