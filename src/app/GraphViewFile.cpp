// The view's file commands: save, save as, binary, merge, reload, settings, printing.
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <algorithm>
#include <cmath>
#include <optional>

#include "analysis/ViewFiles.h"
#include "app/CommandRouter.h"
#include "app/FftRun.h"
#include "app/GraphDocument.h"
#include "app/GraphView.h"
#include "app/GraphWnd.h"
#include "app/ScriptRunner.h"
#include "app/ViewPrinting.h"
#include "dialogs/CurvePropertiesDlg.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/PageSetupDlg.h"
#include "dialogs/SetXAxisDlg.h"
#include "dialogs/TextDlg.h"
#include "graph/AppOptions.h"
#include "graph/DisplaySettingsFile.h"
#include "graph/Export.h"
#include "graph/PreviousRun.h"
#include "graph/RunChoice.h"
#include "graph/render/Renderer.h"
#include "interaction/AnnotationInput.h"
#include "interaction/FileFilters.h"
#include "table/BGridChildFrame.h"

namespace kurvex {

namespace {

QString FileDialogFolder(const QString& documentPath) {
    return QFileInfo(documentPath).absolutePath();
}

}  // namespace

void COhmixGraphView::SaveSettings() {
    SaveDisplaySettings(ConstRecords(), SettingsFilePath(document_->Path().toStdString()),
                        document_->Messages(), runs_, scripts_->Text());
}

namespace {

// Asks whether Save As writes every shown run or the measured one; none when
// the user cancelled. A result of one shown run is written as it is.
std::optional<std::vector<RunSave>> AskRunsToSave(QWidget* parent, const CGraphCurve& last,
                                                  const std::string& path) {
    const CResultData& data = *last.Data().Get();
    const std::int32_t runs = data.RunCount();
    if (last.FreqDisplay() || !SaveAsAsksForRuns(last.HiddenRuns(), runs))
        return std::vector<RunSave>{RunSave{last.FreqDisplay() ? 0 : last.MeasuredRun(), path}};
    const std::vector<RunSave> every = RunsToSave(last.HiddenRuns(), runs, 0, true, path);
    const std::vector<RunSave> one = RunsToSave({}, runs, last.MeasuredRun(), false, path);
    const std::string name = RunChoiceNames(data)[static_cast<size_t>(one.front().run)];
    const QString text =
        QStringLiteral(
            "This view shows %1 runs, and the file holds one. Write every shown run "
            "into a file of its own (%2, %3, ...), or only the measured run %4 (%5) "
            "into %6?")
            .arg(every.size())
            .arg(QFileInfo(QString::fromStdString(every[0].path)).fileName(),
                 QFileInfo(QString::fromStdString(every[1].path)).fileName())
            .arg(one.front().run + 1)
            .arg(QString::fromStdString(name), QFileInfo(QString::fromStdString(path)).fileName());
    QMessageBox box(QMessageBox::Question, QStringLiteral("Save As"), text, QMessageBox::Cancel,
                    parent);
    QPushButton* all = box.addButton(QStringLiteral("Every Shown Run"), QMessageBox::AcceptRole);
    QPushButton* measured =
        box.addButton(QStringLiteral("Measured Run Only"), QMessageBox::AcceptRole);
    box.setDefaultButton(all);
    box.exec();
    if (box.clickedButton() == measured) return one;
    if (box.clickedButton() != all) return std::nullopt;
    // The dialog asked about its own file only.
    QStringList existing;
    for (const RunSave& r : every)
        if (QFileInfo::exists(QString::fromStdString(r.path)))
            existing << QFileInfo(QString::fromStdString(r.path)).fileName();
    if (!existing.isEmpty() &&
        QMessageBox::question(parent, QStringLiteral("Save As"),
                              QStringLiteral("%1 already exist%2. Replace?")
                                  .arg(existing.join(QStringLiteral(", ")),
                                       existing.size() == 1 ? QStringLiteral("s") : QString())) !=
            QMessageBox::Yes)
        return std::nullopt;
    return every;
}

}  // namespace

void COhmixGraphView::SaveAs() {
    if (screens_.empty()) return;
    const QStringList filters = QtFilters(NameFilters(SaveAsFilter(*ConstRecords().back())));
    QFileDialog dialog(this, QStringLiteral("Save As"), FileDialogFolder(document_->Path()));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(filters);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString filter = dialog.selectedNameFilter();
    const int entry = static_cast<int>(filters.indexOf(filter)) + 1;
    const std::string path =
        WithFilterExtension(dialog.selectedFiles().front().toStdString(), filter.toStdString());
    const std::optional<std::vector<RunSave>> saves =
        AskRunsToSave(this, *ConstRecords().back(), path);
    if (!saves) return;
    std::vector<RunSave> written;
    for (const RunSave& save : *saves) {
        const bool ok = document_->RunSave(
            this,
            QStringLiteral("Saving %1 ...")
                .arg(QFileInfo(QString::fromStdString(save.path)).fileName()),
            [&] {
                return SaveViewAs(ConstRecords(), entry, save.path, document_->Messages(),
                                  FftWindowFromValue(Options().fftWindow).value_or(FftWindow{}),
                                  save.run);
            });
        if (!ok) break;
        written.push_back(save);
    }
    const CResultData& data = *ConstRecords().back()->Data().Get();
    if (!written.empty() && data.RunCount() > 1 && !ConstRecords().back()->FreqDisplay())
        document_->Messages().Show(RunsSavedText(written, RunChoiceNames(data)),
                                   MessageIcon::Information);
}

void COhmixGraphView::SaveBinary() {
    if (screens_.empty()) return;
    const QString filter = QStringLiteral("Kurvex Files (*.kfd)");
    QFileDialog dialog(this, QStringLiteral("Save Data and Settings"),
                       FileDialogFolder(document_->Path()));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(filter);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const std::string path =
        WithFilterExtension(dialog.selectedFiles().front().toStdString(), filter.toStdString());
    // The file holds one run: the measured one.
    const CGraphCurve& last = *ConstRecords().back();
    const RunSave save =
        RunsToSave({}, last.Data()->RunCount(), last.MeasuredRun(), false, path)[0];
    const bool ok = document_->RunSave(
        this,
        QStringLiteral("Saving %1 ...").arg(QFileInfo(QString::fromStdString(path)).fileName()),
        [&] { return SaveDataAndSettings(ConstRecords(), path, document_->Messages(), save.run); });
    if (ok && last.Data()->RunCount() > 1)
        document_->Messages().Show(RunsSavedText({save}, RunChoiceNames(*last.Data().Get())),
                                   MessageIcon::Information);
}

void COhmixGraphView::MergeFile() {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Merge"), FileDialogFolder(document_->Path()),
        QtFilters(OpenFileFilters()).join(QStringLiteral(";;")));
    if (path.isEmpty()) return;
    document_->Merge(path, this);
}

void COhmixGraphView::AddRun() {
    const QStringList paths = QFileDialog::getOpenFileNames(
        this, QStringLiteral("Add Run"), FileDialogFolder(document_->Path()),
        QtFilters(OpenFileFilters()).join(QStringLiteral(";;")));
    if (!paths.isEmpty()) document_->AddRuns(paths, this);
}

void COhmixGraphView::ReloadData() {
    // A derived result (a Nyquist window) has no file to read again: it stays as it is.
    if (document_->Core().Files().empty()) {
        emit statusMessage(QStringLiteral("This window was not read from a file."));
        return;
    }
    if (document_->Reload(this) == CGraphDocument::ReloadOutcome::Skipped)
        emit statusMessage(
            QStringLiteral("The data cannot be re-loaded while a Properties dialog is open."));
}

void COhmixGraphView::PageSetup() {
    COhmixGraphDoc& core = document_->Core();
    // The margins hold for the rest of the run; the stored ones stay for the next start.
    EditPageSetup(this, Options(), nullptr, core.printTitle, core.printTitleFlag,
                  document_->Title().toStdString(), PrintableInches(ApplicationPrinter()));
}

PrintJob COhmixGraphView::PrintJobOf() const {
    PrintJob job;
    job.screens = Records();
    job.printTitle = document_->Core().printTitle;
    job.documentName = document_->Title().toStdString();
    job.noTitle = document_->Core().printTitleFlag != 0;
    const AppOptions& o = Options();
    job.margins = PageMargins{o.topMargin, o.bottomMargin, o.leftMargin, o.rightMargin};
    return job;
}

}  // namespace kurvex
