#include "table/TableWork.h"

#include <QApplication>
#include <QProgressDialog>
#include <algorithm>
#include <exception>
#include <new>

namespace kurvex {

namespace {

// Before this the user sees only the wait cursor.
constexpr int kShowProgressAfterMs = 400;
constexpr int kProgressSteps = 1000;

}  // namespace

TableWork::TableWork(QWidget* owner) : owner_(owner) {
    poll_.setInterval(30);
    connect(&poll_, &QTimer::timeout, this, &TableWork::Poll);
}

TableWork::~TableWork() {
    if (worker_.joinable()) {
        cancel_ = true;
        worker_.join();
        QApplication::restoreOverrideCursor();
    }
    if (progress_) delete progress_.data();
}

bool TableWork::Start(const QString& label, std::int64_t rows, Job job, Done done) {
    if (Busy()) return false;
    done_ = 0;
    cancel_ = false;
    finished_ = false;
    failure_.clear();
    rows_ = std::max<std::int64_t>(1, rows);
    onDone_ = std::move(done);
    progress_ = new QProgressDialog(label, tr("Cancel"), 0, kProgressSteps, owner_.data());
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setMinimumDuration(kShowProgressAfterMs);
    progress_->setAutoReset(false);
    progress_->setAutoClose(false);
    connect(progress_, &QProgressDialog::canceled, this, [this] { cancel_ = true; });
    QApplication::setOverrideCursor(Qt::WaitCursor);
    worker_ = std::thread([this, job = std::move(job)] {
        const WorkControl control{&done_, &cancel_};
        // Nothing may leave the worker: a table too large for memory is a
        // message, not the end of the program.
        try {
            ok_ = job(control);
        } catch (const std::bad_alloc&) {
            ok_ = false;
            failure_ = "Not enough memory.";
        } catch (const std::exception& e) {
            ok_ = false;
            failure_ = e.what();
        } catch (...) {
            ok_ = false;
            failure_ = "Unknown error.";
        }
        finished_.store(true, std::memory_order_release);
    });
    poll_.start();
    return true;
}

void TableWork::Poll() {
    if (!finished_.load(std::memory_order_acquire)) {
        if (progress_)
            progress_->setValue(static_cast<int>(
                std::min<std::int64_t>(kProgressSteps, done_.load() * kProgressSteps / rows_)));
        return;
    }
    poll_.stop();
    worker_.join();
    if (progress_) progress_->deleteLater();
    QApplication::restoreOverrideCursor();
    Done done = std::move(onDone_);
    if (done) done(ok_, cancel_.load(), failure_);
}

}  // namespace kurvex
