#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

class QWidget;

namespace kurvex {

// While one exists the program is busy with long work: user input outside
// the work's own dialog is held back and commands wait, while painting and
// timers go on.
class BusyScope : public QObject {
public:
    BusyScope();
    ~BusyScope() override;
    // Input to this widget and its children still goes through (the progress dialog).
    void Allow(QWidget* widget) { allowed_ = widget; }

    // True while any scope is open.
    static bool Busy();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> allowed_;
};

// What a worker reports and the cancel request it polls.
struct WorkProgress {
    std::atomic<std::int64_t> done{0};
    std::atomic<std::int64_t> total{-1};
    std::atomic<bool> cancel{false};

    // A line shown under the dialog's label from the next poll on (any thread).
    void SetNote(const std::string& line) {
        std::lock_guard<std::mutex> lock(noteLock_);
        note_ = line;
        noteChanged_.store(true);
    }
    // The line once after each SetNote; false when there is no new one.
    bool TakeNote(std::string& line) {
        if (!noteChanged_.exchange(false)) return false;
        std::lock_guard<std::mutex> lock(noteLock_);
        line = note_;
        return true;
    }

private:
    std::mutex noteLock_;
    std::string note_;
    std::atomic<bool> noteChanged_{false};
};

// Runs `work` on a worker thread while the interface thread keeps running;
// a modal progress dialog with `label` (and Cancel when `cancellable`)
// appears when the work takes longer than a moment. Returns the work's
// result; *cancelled tells whether the user cancelled (the work then decides
// what it leaves behind).
bool RunWithProgress(QWidget* parent, const QString& label,
                     const std::function<bool(WorkProgress&)>& work, bool* cancelled = nullptr,
                     bool cancellable = true);

}  // namespace kurvex
