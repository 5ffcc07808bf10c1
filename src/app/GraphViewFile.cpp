// The view's file commands: save, save as, binary, merge, reload, settings, printing.
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <QStyle>
#include <algorithm>
#include <cmath>

#include "analysis/Averages.h"
#include "analysis/FrequencyDisplay.h"
#include "analysis/Measure.h"
#include "analysis/PreviousSpectra.h"
#include "analysis/ViewFiles.h"
#include "app/ClipboardPicture.h"
#include "app/CommandRouter.h"
#include "app/FftRun.h"
#include "app/GraphDocument.h"
#include "app/GraphView.h"
#include "app/GraphWnd.h"
#include "app/MainFrame.h"
#include "app/PowerCommands.h"
#include "app/QPainterCanvas.h"
#include "app/SettingsStore.h"
#include "app/ViewPrinting.h"
#include "dialogs/CurvePropertiesDlg.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/PageSetupDlg.h"
#include "dialogs/SetXAxisDlg.h"
#include "dialogs/TextDlg.h"
#include "dialogs/XAxisDlg.h"
#include "dialogs/YAxisDlg.h"
#include "graph/CurveEdit.h"
#include "graph/DisplaySettingsFile.h"
#include "graph/Export.h"
#include "graph/PreviousRun.h"
#include "graph/Reload.h"
#include "graph/Renderer.h"
#include "graph/StoredOptions.h"
#include "graph/ViewLayout.h"
#include "graph/Zoom.h"
#include "interaction/AnnotationInput.h"
#include "interaction/FileFilters.h"
#include "interaction/MouseMode.h"
#include "table/BGridChildFrame.h"

namespace kurvex {

namespace {

QString FileDialogFolder(const QString& documentPath) {
    return QFileInfo(documentPath).absolutePath();
}

}  // namespace

void COhmixGraphView::SaveSettings() {
    SaveDisplaySettings(ConstRecords(), SettingsFilePath(document_->Path().toStdString()),
                        document_->Messages(), runs_);
}

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
    document_->RunSave(
        this,
        QStringLiteral("Saving %1 ...").arg(QFileInfo(QString::fromStdString(path)).fileName()),
        [&] {
            return SaveViewAs(ConstRecords(), entry, path, document_->Messages(),
                              FftWindowFromValue(Options().fftWindow).value_or(FftWindow{}));
        });
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
    document_->RunSave(
        this,
        QStringLiteral("Saving %1 ...").arg(QFileInfo(QString::fromStdString(path)).fileName()),
        [&] { return SaveDataAndSettings(ConstRecords(), path, document_->Messages()); });
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
