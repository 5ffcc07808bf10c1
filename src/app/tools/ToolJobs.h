#pragma once

#include <QObject>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace kurvex {

// Runs one computation at a time on a thread of its own; a job posted while
// another runs waits, and a newer one replaces it. Results reach `done` on the
// interface thread; a job that throws gives `failed(what)` instead.
template <class Result>
class ToolJobs {
public:
    using Job = std::function<Result()>;
    // `done` runs on the thread of `context`, while it lives.
    ToolJobs(QObject* context, std::function<void(Result)> done,
             std::function<Result(const std::string&)> failed)
        : context_(context), done_(std::move(done)), failed_(std::move(failed)) {}
    // Waits for the job in progress; one not started is dropped.
    ~ToolJobs() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
            pending_ = nullptr;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    ToolJobs(const ToolJobs&) = delete;
    ToolJobs& operator=(const ToolJobs&) = delete;

    // Runs `job` when the thread is free, in place of any job still waiting.
    void Post(Job job) {
        {
            std::lock_guard lock(mutex_);
            pending_ = std::move(job);
        }
        if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
        wake_.notify_all();
    }

private:
    void Run() {
        for (;;) {
            Job job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stop_ || pending_; });
                if (stop_) return;
                job = std::move(pending_);
                pending_ = nullptr;
            }
            auto result = std::make_shared<Result>();
            try {
                *result = job();
            } catch (const std::exception& e) {
                // No exception leaves the thread: the window says what went wrong.
                *result = failed_(e.what());
            }
            job = nullptr;  // what the job held goes here, not on the interface thread
            QMetaObject::invokeMethod(
                context_, [done = done_, result] { done(std::move(*result)); },
                Qt::QueuedConnection);
        }
    }

    QObject* context_;
    std::function<void(Result)> done_;
    std::function<Result(const std::string&)> failed_;
    std::mutex mutex_;
    std::condition_variable wake_;
    Job pending_;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace kurvex
