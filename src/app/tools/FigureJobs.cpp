#include "app/tools/FigureJobs.h"

#include <exception>
#include <memory>
#include <string>

namespace kurvex {

FigureJobs::FigureJobs(QObject* context, std::function<void(FigureResult)> done)
    : context_(context), done_(std::move(done)) {}

FigureJobs::~FigureJobs() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        pending_ = nullptr;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void FigureJobs::Post(Job job) {
    {
        std::lock_guard lock(mutex_);
        pending_ = std::move(job);
    }
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    wake_.notify_all();
}

void FigureJobs::Run() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || pending_; });
            if (stop_) return;
            job = std::move(pending_);
            pending_ = nullptr;
        }
        auto result = std::make_shared<FigureResult>();
        try {
            *result = job();
        } catch (const std::exception& e) {
            // No exception leaves the thread: the window says what went wrong.
            result->table.message = std::string("The figures could not be computed: ") + e.what();
        }
        job = nullptr;  // the snapshot goes here, not on the interface thread
        QMetaObject::invokeMethod(
            context_, [done = done_, result] { done(std::move(*result)); }, Qt::QueuedConnection);
    }
}

}  // namespace kurvex
