#include <gtest/gtest.h>

#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <thread>

#include "app/WorkerTask.h"

namespace kurvex {
namespace {

TEST(WorkerTask, CancelStopsTheWorkWhileTheInterfaceKeepsRunning) {
    QWidget owner;
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    bool sawBusy = false, sawNote = false;
    int looks = 0;
    QTimer canceller;
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        sawBusy = sawBusy || BusyScope::Busy();
        auto* dialog = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        // The worker's note shows under the label (given up on after a second).
        sawNote = dialog->labelText().contains("still waiting");
        if (!sawNote && ++looks < 50) return;
        canceller.stop();
        dialog->findChild<QPushButton*>()->click();
    });
    canceller.start(20);

    bool cancelled = false;
    // A reader that goes on until it is told to stop, reporting progress.
    const bool ok = RunWithProgress(
        &owner, "Reading",
        [](WorkProgress& p) {
            p.total = 100;
            p.SetNote("Another conversion has stopped: still waiting for it.");
            while (!p.cancel.load()) {
                p.done = (p.done.load() + 1) % 100;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            return false;
        },
        &cancelled);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(sawBusy);
    EXPECT_TRUE(sawNote);
    EXPECT_FALSE(BusyScope::Busy());
    EXPECT_GT(ticks, 10);  // the 10 ms timer went on through the 300 ms before the dialog
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // Short work finishes before any dialog shows, with the work's result.
    cancelled = true;
    EXPECT_TRUE(RunWithProgress(
        &owner, "Quick", [](WorkProgress&) { return true; }, &cancelled));
    EXPECT_FALSE(cancelled);
}

}  // namespace
}  // namespace kurvex
