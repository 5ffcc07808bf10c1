#pragma once

#include <QPointer>
#include <QString>
#include <atomic>
#include <vector>

#include "analysis/FrequencyDisplay.h"

class QWidget;

namespace kurvex {

// One switch between the domains (Perform FFT, Display in Time Domain or an
// undo across them): the worker that computes the spectra and the modal
// progress dialog whose Cancel stops the curve in progress.
class FftRun {
public:
    // `screens` as the view holds them, top first.
    FftRun(QWidget* parent, std::vector<CGraphCurve*> screens);
    FftRun(const FftRun&) = delete;
    FftRun& operator=(const FftRun&) = delete;

    // What the switch needs to compute spectra this way, with the window the
    // options name.
    FftSession Session();
    // Stops the curve in progress and every one after it (a closing window).
    void CancelAll();

    // The dialog's text for a curve.
    static QString Message(const QString& curve);
    // The elapsed-time field: "%i:%i", minutes and seconds.
    static QString ElapsedText(qint64 milliseconds);

private:
    void WhileRunning(FftWorker& worker);
    QString CurveName(int screenRun, int curve) const;

    QWidget* parent_;
    std::vector<CGraphCurve*> order_;  // the order the switch visits the screens
    int run_ = 0;
    std::atomic<int> curve_{0};
    std::atomic<bool> cancelAll_{false};
    FftWorker worker_;
};

}  // namespace kurvex
