#include "dialogs/SelectCurvesPage.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "controls/WideListBox.h"
#include "data/platform/NameText.h"
#include "dialogs/BoxMessages.h"
#include "dialogs/DialogSupport.h"

namespace kurvex {

CSelectCurvesPage::CSelectCurvesPage(const CGraphCurve& screen,
                                     std::vector<CurveEditRecord>& working, QWidget* parent)
    : CPropertyPage(parent),
      screen_(screen),
      working_(working),
      available_(new CWideListBox(this)),
      display_(new CWideListBox(this)),
      add_(new QPushButton(tr("&Add ->"), this)),
      remove_(new QPushButton(tr("<- &Remove"), this)),
      formula_(new QLineEdit(this)),
      arrow_(new QToolButton(this)),
      keywords_(new QToolButton(this)) {
    available_->setObjectName("available");
    display_->setObjectName("display");
    formula_->setObjectName("formula");
    arrow_->setObjectName("arrow");
    keywords_->setObjectName("keywords");
    add_->setObjectName("add");
    remove_->setObjectName("remove");
    add_->setAutoDefault(false);
    remove_->setAutoDefault(false);

    QLabel* availableLabel = FieldLabel(tr("Variables available"), available_, this);
    QLabel* displayLabel = FieldLabel(tr("Variables for display"), display_, this);
    QLabel* formulaLabel = FieldLabel(tr("&Formula"), formula_, this);

    arrow_->setArrowType(Qt::DownArrow);
    arrow_->setAccessibleName(tr("Insert variable"));
    arrow_->setToolTip(tr("Append the variable with the focus to the formula"));
    keywords_->setText(tr("f(x)"));
    keywords_->setAccessibleName(tr("Keywords"));
    keywords_->setToolTip(tr("Operators and functions for the formula"));

    auto* buttons = new QVBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(add_);
    buttons->addWidget(remove_);
    buttons->addStretch(1);

    auto* grid = new QGridLayout;
    grid->addWidget(availableLabel, 0, 0);
    grid->addWidget(displayLabel, 0, 2);
    grid->addWidget(available_, 1, 0);
    grid->addLayout(buttons, 1, 1);
    grid->addWidget(display_, 1, 2);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(1, 1);

    auto* formulaRow = new QHBoxLayout;
    formulaRow->addWidget(formulaLabel);
    formulaRow->addWidget(formula_, 1);
    formulaRow->addWidget(arrow_);
    formulaRow->addWidget(keywords_);

    auto* page = new QVBoxLayout(this);
    page->addLayout(grid, 1);
    page->addLayout(formulaRow);

    setTabOrder(available_, display_);
    setTabOrder(display_, add_);
    setTabOrder(add_, remove_);
    setTabOrder(remove_, formula_);
    setTabOrder(formula_, arrow_);
    setTabOrder(arrow_, keywords_);

    connect(add_, &QPushButton::clicked, this, [this] { Add(); });
    connect(remove_, &QPushButton::clicked, this, &CSelectCurvesPage::Remove);
    connect(available_, &CWideListBox::entryDoubleClicked, this,
            [this](int row) { AddVariableRows({row}); });
    connect(display_, &CWideListBox::entryDoubleClicked, this,
            [this](int row) { RemoveRows({row}); });
    connect(arrow_, &QToolButton::clicked, this, &CSelectCurvesPage::InsertVariable);
    connect(keywords_, &QToolButton::clicked, this, &CSelectCurvesPage::ShowKeywordMenu);
    formula_->installEventFilter(this);
    setFocusProxy(available_);
}

void CSelectCurvesPage::Load() {
    formula_->clear();
    const CResultData& data = *screen_.Data().Get();
    const std::vector<std::int32_t> order = AvailableVariables(data);
    QStringList names;
    names.reserve(static_cast<qsizetype>(order.size()));
    std::vector<qint64> values;
    values.reserve(order.size());
    for (const std::int32_t i : order) {
        names.append(ShownText(data.Variable(i)->Name()));
        values.push_back(i);
    }
    available_->SetEntries(names, std::move(values));
    FillDisplayList();
}

void CSelectCurvesPage::FillDisplayList() {
    QStringList names;
    names.reserve(static_cast<qsizetype>(working_.size()));
    std::vector<qint64> rows;
    rows.reserve(working_.size());
    for (const CurveEditRecord& r : working_) {
        rows.push_back(static_cast<qint64>(rows.size()));
        names.append(ShownText(r.name));
    }
    display_->SetEntries(names, std::move(rows));
}

bool CSelectCurvesPage::Leave() {
    if (!AddOnLeave(working_.size(), static_cast<std::size_t>(available_->Count()))) return true;
    return Add();
}

bool CSelectCurvesPage::Add() {
    if (formula_->text().isEmpty()) {
        AddVariableRows(available_->SelectedRows());
        return true;
    }
    const std::string text = StoredText(formula_->text());
    const FormulaAddResult r = AddFormula(working_, screen_.Data(), text);
    if (r.outcome == FormulaAddOutcome::AlreadyShown) return true;
    if (r.outcome == FormulaAddOutcome::Rejected) {
        if (!r.error.message.empty())
            ShowMessageBox(this, QMessageBox::Warning, tr("Kurvex"), ShownText(r.error.message));
        // After the message: its closing would take the selection away.
        formula_->setFocus(Qt::OtherFocusReason);
        const std::size_t at = FormulaErrorOffset(text, r.error.position);
        const int start = static_cast<int>(ShownText(text.substr(0, at)).size());
        formula_->setSelection(start, 1);
        return false;
    }
    display_->AddEntry(ShownText(working_.back().name), static_cast<qint64>(working_.size() - 1));
    modified_ = true;
    formula_->setFocus(Qt::OtherFocusReason);
    formula_->clear();
    return true;
}

void CSelectCurvesPage::AddVariableRows(const QList<int>& rows) {
    std::vector<std::int32_t> indices;
    indices.reserve(static_cast<std::size_t>(rows.size()));
    for (const int row : rows) indices.push_back(static_cast<std::int32_t>(available_->Value(row)));
    const std::size_t before = working_.size();
    if (AddVariables(working_, *screen_.Data().Get(), indices) == 0) return;
    for (std::size_t i = before; i < working_.size(); ++i)
        display_->AddEntry(ShownText(working_[i].name), static_cast<qint64>(i));
    modified_ = true;
}

void CSelectCurvesPage::Remove() {
    RemoveRows(display_->SelectedRows());
}

void CSelectCurvesPage::RemoveRows(const QList<int>& rows) {
    if (rows.isEmpty()) return;
    const std::optional<std::string> formula =
        RemoveCurves(working_, std::vector<std::int32_t>(rows.begin(), rows.end()));
    if (formula) formula_->setText(ShownText(*formula));
    FillDisplayList();
    modified_ = true;
}

void CSelectCurvesPage::InsertVariable() {
    const int row = available_->CurrentRow();
    if (row < 0) return;
    const std::int32_t index = static_cast<std::int32_t>(available_->Value(row));
    // As text: the formula engine finds a name in either encoding.
    AppendToFormulaEdit(DisplayName(screen_.Data()->Variable(index)->Name()));
}

void CSelectCurvesPage::ShowKeywordMenu() {
    QMenu menu(this);
    for (std::size_t i = 0; i < kFormulaKeywords.size(); ++i) {
        QAction* a = menu.addAction(QString::fromLatin1(kFormulaKeywords[i].label));
        a->setData(static_cast<int>(i));
    }
    const QAction* chosen = menu.exec(keywords_->mapToGlobal(keywords_->rect().topRight()));
    if (!chosen) return;
    AppendToFormulaEdit(
        kFormulaKeywords[static_cast<std::size_t>(chosen->data().toInt())].inserted);
}

void CSelectCurvesPage::AppendToFormulaEdit(const std::string& piece) {
    formula_->setText(ShownText(AppendToFormula(StoredText(formula_->text()), piece)));
    formula_->setFocus(Qt::OtherFocusReason);
    formula_->end(false);
}

bool CSelectCurvesPage::eventFilter(QObject* watched, QEvent* event) {
    // Enter in a formula being typed adds it instead of closing the dialog.
    if (watched == formula_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !formula_->text().isEmpty()) {
            Add();
            return true;
        }
    }
    return CPropertyPage::eventFilter(watched, event);
}

}  // namespace kurvex
