#include "app/WorkerTask.h"

#include <QApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <thread>

namespace kurvex {

namespace {

int g_busy = 0;

// The progress dialog shows only for work that outlasts this (milliseconds).
constexpr int kDialogDelay = 300;
constexpr int kPollInterval = 15;

bool IsUserInput(QEvent::Type t) {
    switch (t) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::Drop:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            return true;
        default:
            return false;
    }
}

}  // namespace

BusyScope::BusyScope() {
    ++g_busy;
    qApp->installEventFilter(this);
}

BusyScope::~BusyScope() {
    qApp->removeEventFilter(this);
    --g_busy;
}

bool BusyScope::Busy() {
    return g_busy > 0;
}

bool BusyScope::eventFilter(QObject* watched, QEvent* event) {
    if (!IsUserInput(event->type())) return false;
    if (allowed_) {
        for (QObject* o = watched; o; o = o->parent())
            if (o == allowed_) return false;
    }
    return true;
}

bool RunWithProgress(QWidget* parent, const QString& label,
                     const std::function<bool(WorkProgress&)>& work, bool* cancelled,
                     bool cancellable) {
    WorkProgress progress;
    std::atomic<bool> finished{false};
    bool result = false;
    BusyScope busy;
    std::thread worker([&] {
        try {
            result = work(progress);
        } catch (...) {
            // Nothing may leave a worker but its result.
            result = false;
        }
        finished.store(true, std::memory_order_release);
    });

    QProgressDialog dialog(label, QStringLiteral("Cancel"), 0, 1000, parent);
    dialog.setWindowTitle(QStringLiteral("Kurvex"));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setMinimumDuration(kDialogDelay);
    busy.Allow(&dialog);
    // Work that cannot stop half-way offers no Cancel (a writer replaces its file only whole).
    if (!cancellable) dialog.setCancelButton(nullptr);
    // Cancel asks the worker to stop; the dialog stays until it has.
    QObject::disconnect(&dialog, &QProgressDialog::canceled, &dialog, &QProgressDialog::cancel);
    QObject::connect(&dialog, &QProgressDialog::canceled, [&] {
        progress.cancel.store(true);
        dialog.setLabelText(QStringLiteral("Cancelling..."));
    });

    QEventLoop loop;
    QTimer poll;
    QTimer::singleShot(kDialogDelay, &dialog, [&] {
        if (!finished.load(std::memory_order_acquire)) dialog.show();
    });
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (finished.load(std::memory_order_acquire)) {
            loop.quit();
            return;
        }
        std::string note;
        if (progress.TakeNote(note) && !progress.cancel.load())
            dialog.setLabelText(label + QStringLiteral("\n\n") + QString::fromStdString(note));
        const std::int64_t total = progress.total.load();
        if (total > 0 && dialog.isVisible()) {
            const double part = static_cast<double>(progress.done.load()) / total;
            dialog.setValue(static_cast<int>(std::min(1.0, std::max(0.0, part)) * 1000));
        }
    });
    poll.start(kPollInterval);
    if (!finished.load(std::memory_order_acquire)) loop.exec();
    poll.stop();
    worker.join();
    dialog.hide();
    if (cancelled) *cancelled = progress.cancel.load();
    return result;
}

}  // namespace kurvex
