#include "table/BGridChildFrame.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>
#include <new>
#include <string_view>

#include "data/platform/SafeFile.h"
#include "dialogs/ShellMessages.h"
#include "graph/PointTable.h"
#include "graph/RunChoice.h"
#include "table/BGridDataGraphPoints.h"
#include "table/TableWork.h"

namespace kurvex {

namespace {

const char* const kSaveFilters[] = {
    "Tab separated text file (Excel compatible) (*.txt)",
    "Comma separated file (*.csv)",
    "Text file (table format) (*.txt)",
};

// The table's own messages, shown as the program shows any.
class PresentedMessages : public UserMessages {
public:
    void Show(const std::string& text, MessageIcon icon) override {
        ShellMessages::Present(text, icon);
    }
};

}  // namespace

CBGridChildFrame::CBGridChildFrame(const std::vector<const CGraphCurve*>& screens,
                                   const std::string& title, int counter, QWidget* parent,
                                   UserMessages* messages)
    : QWidget(parent), messages_(messages) {
    auto data = std::make_unique<CBGridData_GraphPoints>(PointColumnsOf(screens));
    data->MeasureLayout(fontMetrics());
    std::string caption = TableCaption(title, counter);
    if (!screens.empty() && screens.back()->Data().Get()) {
        const CResultData& result = *screens.back()->Data().Get();
        const std::int32_t run = PointTableRun(*screens.back());
        caption = TableCaption(title, counter, result.RunCount(), run,
                               RunChoiceNames(result)[static_cast<size_t>(run)]);
    }
    Build(std::move(data), QString::fromStdString(caption));
}

CBGridChildFrame::CBGridChildFrame(std::unique_ptr<CBGridData> data, const QString& caption,
                                   QWidget* parent, UserMessages* messages)
    : QWidget(parent), messages_(messages) {
    Build(std::move(data), caption);
}

CBGridChildFrame::~CBGridChildFrame() {
    // A copy or save still running reads the grid's source: stop it first.
    work_.reset();
}

void CBGridChildFrame::Build(std::unique_ptr<CBGridData> data, const QString& caption) {
    if (!messages_) {
        ownMessages_ = std::make_unique<PresentedMessages>();
        messages_ = ownMessages_.get();
    }
    work_ = std::make_unique<TableWork>(this);
    setWindowTitle(caption);
    setAccessibleName(caption);

    grid_ = new CBGridWnd(this);
    grid_->SetData(std::move(data));
    connect(grid_, &CBGridWnd::rightClicked, this, &CBGridChildFrame::ShowCellMenu);

    menuBar_ = new QMenuBar(this);
    fileMenu_ = menuBar_->addMenu(tr("&File"));
    editMenu_ = menuBar_->addMenu(tr("&Edit"));
    popup_ = new QMenu(this);

    QAction* open = AddCommand(kOpen, tr("&Open..."), tr("Open an existing document"));
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(open, &QAction::triggered, this, &CBGridChildFrame::openRequested);
    QAction* save = AddCommand(kSaveAs, tr("Save As..."), tr("Save data point in text file"));
    save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(save, &QAction::triggered, this, &CBGridChildFrame::SaveAs);
    QAction* close = AddCommand(kClose, tr("&Close"), tr("Close the active document"));
    connect(close, &QAction::triggered, this, [this] {
        // Inside a sub-window the sub-window closes, else this window.
        QWidget* w =
            parentWidget() && parentWidget()->inherits("QMdiSubWindow") ? parentWidget() : this;
        w->close();
    });
    fileMenu_->addAction(open);
    fileMenu_->addAction(save);
    fileMenu_->addSeparator();
    fileMenu_->addAction(close);

    QAction* row = AddCommand(kCopyRow, tr("Copy Row"), tr("Copy the selected row"));
    connect(row, &QAction::triggered, this, &CBGridChildFrame::CopyRow);
    QAction* all = AddCommand(kCopyAll, tr("Copy All"), tr("Copy the table to clipboard"));
    all->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert)});
    connect(all, &QAction::triggered, this, &CBGridChildFrame::CopyAll);
    editMenu_->addAction(row);
    editMenu_->addAction(all);

    QAction* popupSelected = AddCommand(kPopupCopySelected, tr("Copy Selected"), QString());
    connect(popupSelected, &QAction::triggered, this, &CBGridChildFrame::CopySelected);
    QAction* popupRow = AddCommand(kPopupCopyRow, tr("Copy Row"), QString());
    connect(popupRow, &QAction::triggered, this, [this] { CopyRowAt(clickedRow_); });
    popup_->addAction(popupSelected);
    popup_->addAction(popupRow);
    popup_->addAction(all);
    popup_->addSeparator();
    popup_->addAction(save);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(menuBar_);
    layout->addWidget(grid_);
    resize(FittingWidth(), 400);
}

QAction* CBGridChildFrame::AddCommand(int command, const QString& label, const QString& prompt) {
    auto* action = new QAction(label, this);
    action->setStatusTip(prompt);
    action->setData(command);
    // The keys work wherever the focus is inside this window.
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(action);
    actions_[command] = action;
    return action;
}

QAction* CBGridChildFrame::Action(int command) const {
    const auto it = actions_.find(command);
    return it == actions_.end() ? nullptr : it->second;
}

QList<QMenu*> CBGridChildFrame::Menus() const {
    return {fileMenu_, editMenu_};
}

int CBGridChildFrame::FittingWidth() const {
    std::vector<std::int32_t> widths;
    if (CBGridData* d = grid_->Data())
        for (int c = 0; c < d->ColumnCount(); ++c) widths.push_back(d->ColumnWidth(c));
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, grid_);
    return TableFrameWidth(widths, CBGridWnd::kSeparator, bar);
}

void CBGridChildFrame::ShowCellMenu(int row, int column, Qt::KeyboardModifiers, QPoint global) {
    clickedRow_ = row;
    clickedColumn_ = column;
    popup_->popup(global);
}

void CBGridChildFrame::CopyAll() {
    CopyRange({-1, -1, -1, -1});
}

void CBGridChildFrame::CopyRow() {
    CopyRowAt(grid_->CurrentRow());
}

void CBGridChildFrame::CopyRowAt(int row) {
    CopyRange({row, -1, row, -1});
}

void CBGridChildFrame::CopySelected() {
    CopyRange(grid_->Selection());
}

bool CBGridChildFrame::CopyRange(const GridRange& range) {
    CBGridData* data = grid_->Data();
    if (!data || Busy()) return false;
    const std::optional<GridRange> r = NormaliseRange(range, data->RowCount(), data->ColumnCount());
    if (!r) return false;
    auto text = std::make_shared<QString>();
    const GridRange copied = *r;
    auto job = [data, copied, text](const WorkControl& control) {
        // Built once, as the clipboard takes it, a block of rows at a time.
        return WriteRangeText(
            *data, copied, CopyFormat{},
            [&text](std::string_view piece) {
                text->append(QString::fromUtf8(piece.data(), static_cast<qsizetype>(piece.size())));
                return true;
            },
            control);
    };
    auto done = [this, copied, text](bool ok, bool, const std::string& failure) {
        grid_->SetBusy(false);
        if (!failure.empty()) {
            messages_->Show("Failed to copy the table: " + failure, MessageIcon::Stop);
            return;
        }
        if (!ok) return;
        try {
            QApplication::clipboard()->setText(*text);
        } catch (const std::bad_alloc&) {
            messages_->Show("Failed to copy the table: Not enough memory.", MessageIcon::Stop);
            return;
        }
        grid_->SetSelection(copied);
    };
    grid_->SetBusy(true);
    if (work_->Start(tr("Copying the table..."), std::int64_t{copied.lastRow} - copied.firstRow + 1,
                     job, done))
        return true;
    grid_->SetBusy(false);
    return false;
}

void CBGridChildFrame::SaveAs() {
    QFileDialog dialog(this, tr("Save As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    QStringList filters;
    for (const char* f : kSaveFilters) filters << QString::fromLatin1(f);
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, filters](const QString& f) {
        dialog.setDefaultSuffix(f == filters[1] ? QStringLiteral("csv") : QStringLiteral("txt"));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const auto form = static_cast<TableSaveForm>(
        std::max<qsizetype>(0, filters.indexOf(dialog.selectedNameFilter())));
    SaveTo(dialog.selectedFiles().front(), form);
}

bool CBGridChildFrame::SaveTo(const QString& path, TableSaveForm form) {
    CBGridData* data = grid_->Data();
    if (!data || Busy()) return false;
    auto* points = dynamic_cast<CBGridData_GraphPoints*>(data);
    // Only the graph's points have the samples that the table form writes.
    if (form == TableSaveForm::Table && !points) return false;
    auto file = std::make_shared<SafeFile>();
    if (!file->Open(path.toStdString())) {
        messages_->Show(file->Error(), MessageIcon::Stop);
        return false;
    }
    std::vector<PointColumn> columns;
    if (points) columns = points->Columns();
    const char* separator = form == TableSaveForm::Comma ? "," : "\t";
    auto job = [file, columns, form, separator, data, points](const WorkControl& control) {
        bool ok;
        if (form == TableSaveForm::Table) {
            ok = WritePointsTable(file->Stream(), columns, control);
        } else if (points) {
            ok = WritePointsDelimited(file->Stream(), columns, separator, control);
        } else {
            CopyFormat format;
            format.separator = separator;
            format.minWidth = 0;
            std::FILE* out = file->Stream();
            ok = WriteRangeText(
                *data, {}, format,
                [out](std::string_view piece) {
                    return std::fwrite(piece.data(), 1, piece.size(), out) == piece.size();
                },
                control);
        }
        return ok && file->Commit();
    };
    auto done = [this, file](bool ok, bool cancelled, const std::string& failure) {
        grid_->SetBusy(false);
        if (ok || (cancelled && failure.empty())) return;
        std::string text = file->Error();
        if (text.empty())
            text = failure.empty() ? "Failed to save file." : "Failed to save file: " + failure;
        messages_->Show(text, MessageIcon::Stop);
    };
    grid_->SetBusy(true);
    if (work_->Start(tr("Saving the table..."), data->RowCount(), job, done)) return true;
    grid_->SetBusy(false);
    return false;
}

bool CBGridChildFrame::Busy() const {
    return work_ && work_->Busy();
}

void CBGridChildFrame::CancelWork() {
    if (work_) work_->Cancel();
}

}  // namespace kurvex
