#include "app/tools/ScriptWindow.h"

#include <QClipboard>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "analysis/MeasSource.h"
#include "analysis/RunTable.h"
#include "app/GraphView.h"
#include "app/ScriptRunner.h"
#include "app/tools/ToolFollower.h"
#include "data/platform/NameText.h"
#include "dialogs/BoxMessages.h"
#include "dialogs/DialogSupport.h"

namespace kurvex {

namespace {

ToolSlot<CScriptWindow> slot;

QString Text(const std::string& s) {
    return QString::fromStdString(DisplayName(s));
}

}  // namespace

CScriptWindow::CScriptWindow(QWidget* frame)
    : QWidget(frame, Qt::Tool), follow_(new ToolFollower(this, frame, 0)) {
    const QString title = QStringLiteral("Measurement Script");
    setWindowTitle(title);
    setAccessibleName(title);
    setAttribute(Qt::WA_DeleteOnClose);

    auto* bar = new QHBoxLayout;
    const auto button = [&](const QString& text, const QString& tip, auto slot) {
        QPushButton* b = BarButton(this, text, tip);
        connect(b, &QPushButton::clicked, this, slot);
        bar->addWidget(b);
        return b;
    };
    button(QStringLiteral("&Load..."),
           QStringLiteral("Load a script file or a netlist's .meas lines"), [this] {
               const QString path = QFileDialog::getOpenFileName(
                   this, QStringLiteral("Load Script"), QString(),
                   QStringLiteral("Measurement scripts (*.meas *.txt);;Netlists (*.cir *.net "
                                  "*.sp *.spi *.asc);;All files (*)"));
               if (!path.isEmpty()) LoadScript(path);
           });
    button(QStringLiteral("&Save..."), QStringLiteral("Save the script as a file"), [this] {
        const QString path =
            QFileDialog::getSaveFileName(this, QStringLiteral("Save Script"), QString(),
                                         QStringLiteral("Measurement scripts (*.meas)"));
        if (!path.isEmpty()) SaveScript(path);
    });
    run_ = button(QStringLiteral("&Run"), QStringLiteral("Measure every shown run"),
                  &CScriptWindow::Run);
    cancel_ = button(QStringLiteral("Cance&l"), QStringLiteral("Stop measuring"), [this] {
        if (COhmixGraphView* v = Followed()) v->Scripts()->Cancel();
    });
    bar->addStretch(1);
    button(QStringLiteral("&Copy"), QStringLiteral("Copy the results as text"), [this] {
        if (QClipboard* c = QGuiApplication::clipboard()) c->setText(CopyText());
    });
    button(
        QStringLiteral("Save CS&V..."), QStringLiteral("Save the results as a CSV file"), [this] {
            const QString path = QFileDialog::getSaveFileName(
                this, QStringLiteral("Save CSV"), QString(), QStringLiteral("CSV files (*.csv)"));
            if (!path.isEmpty()) SaveCsv(path);
        });

    editor_ = new QPlainTextEdit(this);
    editor_->setAccessibleName(QStringLiteral("Script"));
    editor_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    editor_->setLineWrapMode(QPlainTextEdit::NoWrap);
    editor_->setPlaceholderText(
        QStringLiteral(".meas tran ripple PP v(out) FROM=1m TO=2m\n.meas tran trise TRIG v(out) "
                       "VAL=0.1 RISE=1 TARG v(out) VAL=0.9 RISE=1"));
    connect(editor_, &QPlainTextEdit::textChanged, this, [this] {
        // The view keeps what is typed, so that Save Settings writes it.
        if (COhmixGraphView* v = Followed())
            v->Scripts()->SetText(editor_->toPlainText().toStdString());
    });
    progress_ = new QProgressBar(this);
    progress_->setAccessibleName(QStringLiteral("Progress"));
    status_ = new QLabel(this);
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);
    status_->setAccessibleName(QStringLiteral("Script status"));
    table_ = new QTableWidget(this);
    table_->setAccessibleName(QStringLiteral("Script results"));
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->setVisible(false);

    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(editor_);
    split->addWidget(table_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(split, 1);
    auto* foot = new QHBoxLayout;
    foot->addWidget(status_, 1);
    foot->addWidget(progress_);
    layout->addLayout(foot);

    connect(follow_, &ToolFollower::followed, this, &CScriptWindow::Link);
    resize(640, 420);
    ShowResults();
}

CScriptWindow::~CScriptWindow() = default;

CScriptWindow* CScriptWindow::Instance() {
    return slot.Get();
}

CScriptWindow* CScriptWindow::Open(QWidget* frame, COhmixGraphView* view) {
    CScriptWindow* w = slot.Take([frame] { return new CScriptWindow(frame); });
    w->follow_->Present(view);
    return w;
}

COhmixGraphView* CScriptWindow::Followed() const {
    return follow_->View();
}

void CScriptWindow::Link(COhmixGraphView* before, COhmixGraphView* now) {
    if (before) disconnect(before->Scripts(), nullptr, this, nullptr);
    if (now) {
        CScriptRunner* runner = now->Scripts();
        connect(runner, &CScriptRunner::started, this, &CScriptWindow::ShowResults);
        connect(runner, &CScriptRunner::progress, this, &CScriptWindow::ShowProgress);
        connect(runner, &CScriptRunner::finished, this, &CScriptWindow::ShowResults);
    }
    // Each view has its own script: the editor shows the one followed.
    const QSignalBlocker quiet(editor_);
    editor_->setPlainText(now ? QString::fromStdString(now->Scripts()->Text()) : QString());
    ShowResults();
}

void CScriptWindow::Run() {
    COhmixGraphView* view = Followed();
    if (!view) return;
    view->Scripts()->SetText(editor_->toPlainText().toStdString());
    view->Scripts()->Run();
}

void CScriptWindow::ShowProgress(int done, int total) {
    progress_->setRange(0, total);
    progress_->setValue(done);
    status_->setText(QStringLiteral("Measured %1 of %2 runs...").arg(done).arg(total));
}

void CScriptWindow::ShowResults() {
    COhmixGraphView* view = Followed();
    const bool running = view && view->Scripts()->Running();
    run_->setEnabled(view != nullptr);
    cancel_->setEnabled(running);
    progress_->setVisible(running);
    if (running) {
        progress_->setRange(0, 0);
        status_->setText(QStringLiteral("Measuring..."));
        return;
    }
    table_->clear();
    table_->setRowCount(0);
    table_->setColumnCount(0);
    if (!view) {
        status_->setText(QStringLiteral("No view to measure."));
        return;
    }
    const ScriptTable& results = view->Scripts()->Results();
    QStringList lines;
    if (!results.error.empty())
        lines << QStringLiteral("The script has an error: ") + Text(results.error);
    for (const std::string& note : results.notes) lines << Text(note);
    if (results.cancelled)
        lines << QStringLiteral("Cancelled: %1 runs were measured.").arg(results.rows.size());
    status_->setText(lines.join('\n'));
    table_->setColumnCount(static_cast<int>(results.columns.size()) + 1);
    table_->setRowCount(static_cast<int>(results.rows.size()));
    QStringList titles{QStringLiteral("Run")};
    for (const std::string& c : results.columns) titles << Text(c);
    table_->setHorizontalHeaderLabels(titles);
    for (int i = 0; i < static_cast<int>(results.rows.size()); ++i) {
        const ScriptRow& row = results.rows[static_cast<size_t>(i)];
        table_->setItem(i, 0, new QTableWidgetItem(Text(row.name)));
        for (int j = 0; j < static_cast<int>(row.cells.size()); ++j) {
            const ScriptCell& cell = row.cells[static_cast<size_t>(j)];
            auto* item = new QTableWidgetItem(cell.value ? QString::number(*cell.value, 'g', 6)
                                                         : QStringLiteral("failed"));
            if (!cell.value) item->setToolTip(Text(cell.error));
            table_->setItem(i, j + 1, item);
        }
    }
    table_->resizeColumnsToContents();
    // What a screen reader reads: the rows as the clipboard gets them.
    table_->setAccessibleDescription(CopyText());
}

QString CScriptWindow::CopyText() const {
    COhmixGraphView* view = Followed();
    if (!view) return {};
    return Text(ScriptTableText(view->Scripts()->Results(), '\t'));
}

bool CScriptWindow::LoadScript(const QString& path) {
    std::vector<MeasSourceLine> lines;
    std::string error;
    if (!ReadMeasSource(path.toStdString(), lines, error)) {
        ShowMessageBox(this, QMessageBox::Warning, QStringLiteral("Kurvex"),
                       QStringLiteral("The script was not loaded: %1").arg(Text(error)));
        return false;
    }
    QStringList text;
    for (const MeasSourceLine& l : lines) text << QString::fromStdString(l.text);
    editor_->setPlainText(text.join('\n'));
    return true;
}

bool CScriptWindow::SaveScript(const QString& path) {
    std::string text = editor_->toPlainText().toStdString();
    if (!text.empty() && text.back() != '\n') text += '\n';
    return SaveTextOrSay(this, path, text, QStringLiteral("script"));
}

bool CScriptWindow::SaveCsv(const QString& path) {
    COhmixGraphView* view = Followed();
    const std::string text = view ? ScriptTableText(view->Scripts()->Results(), ',') : "";
    return SaveTextOrSay(this, path, text, QStringLiteral("table"));
}

}  // namespace kurvex
