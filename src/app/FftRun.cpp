#include "app/FftRun.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <cstdio>

#include "app/WorkerTask.h"
#include "data/platform/NameText.h"
#include "graph/AppOptions.h"

namespace kurvex {

namespace {

constexpr int kDialogDelay = 300;
constexpr int kPollInterval = 15;

}  // namespace

FftRun::FftRun(QWidget* parent, std::vector<CGraphCurve*> screens) : parent_(parent) {
    if (screens.empty()) return;
    // The last screen first, then the others from the top.
    order_.push_back(screens.back());
    order_.insert(order_.end(), screens.begin(), screens.end() - 1);
}

FftSession FftRun::Session() {
    FftSession s;
    s.worker = &worker_;
    s.progress = [this](const FftProgress& p) {
        if (p.stage == FftStage::kCurveStarted) curve_.store(p.curve);
    };
    s.whileRunning = [this](FftWorker& worker) { WhileRunning(worker); };
    s.window = FftWindowFromValue(Options().fftWindow).value_or(FftWindow::kRectangular);
    return s;
}

void FftRun::CancelAll() {
    cancelAll_.store(true);
    worker_.CancelAll();
}

QString FftRun::Message(const QString& curve) {
    return QStringLiteral(
               "The FFT analysis for %1 is in progress. Please wait.\nTo cancel the analysis, "
               "click on Cancel.")
        .arg(curve);
}

QString FftRun::ElapsedText(qint64 milliseconds) {
    const qint64 seconds = milliseconds / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%i:%i", static_cast<int>(seconds / 60),
                  static_cast<int>(seconds % 60));
    return QString::fromLatin1(text);
}

QString FftRun::CurveName(int screenRun, int curve) const {
    if (screenRun < 0 || screenRun >= static_cast<int>(order_.size())) return {};
    const CGraphCurve& s = *order_[static_cast<size_t>(screenRun)];
    if (curve < 0 || curve >= s.CurveCount()) return {};
    return QString::fromStdString(DisplayName(s.Curve(curve).formula));
}

void FftRun::WhileRunning(FftWorker& worker) {
    const int screenRun = run_++;
    if (cancelAll_.load()) worker.CancelAll();
    curve_.store(0);
    BusyScope busy;
    QProgressDialog dialog(parent_);
    dialog.setWindowTitle(QStringLiteral("FFT in progress"));
    dialog.setCancelButtonText(QStringLiteral("Cancel"));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setMinimumDuration(kDialogDelay);
    const int curves =
        screenRun < static_cast<int>(order_.size()) ? order_[size_t(screenRun)]->CurveCount() : 0;
    dialog.setRange(0, std::max(curves, 1));
    busy.Allow(&dialog);
    // Cancel ends the curve in progress; the next one is analysed.
    QObject::disconnect(&dialog, &QProgressDialog::canceled, &dialog, &QProgressDialog::cancel);
    QObject::connect(&dialog, &QProgressDialog::canceled, [&worker] { worker.CancelCurve(); });

    QElapsedTimer clock;
    clock.start();
    const auto refresh = [&] {
        const int c = curve_.load();
        dialog.setLabelText(Message(CurveName(screenRun, c)) + QStringLiteral("\n\nTime: ") +
                            ElapsedText(clock.elapsed()));
        if (dialog.isVisible()) dialog.setValue(c);
    };
    refresh();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!FftWorker::AnalysisRunning()) {
            loop.quit();
            return;
        }
        if (cancelAll_.load()) worker.CancelAll();
        refresh();
    });
    QTimer::singleShot(kDialogDelay, &dialog, [&] {
        if (FftWorker::AnalysisRunning()) dialog.show();
    });
    poll.start(kPollInterval);
    if (FftWorker::AnalysisRunning()) loop.exec();
    dialog.hide();
}

}  // namespace kurvex
