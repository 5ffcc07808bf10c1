#pragma once

#include <QObject>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "analysis/FigureRequest.h"

namespace kurvex {

// Runs one computation of figures at a time on a thread of its own; a job
// posted while another runs waits, and a newer one replaces it. Results reach
// `done` on the interface thread.
class FigureJobs {
public:
    using Job = std::function<FigureResult()>;
    // `done` runs on the thread of `context`, while it lives.
    FigureJobs(QObject* context, std::function<void(FigureResult)> done);
    // Waits for the job in progress; one not started is dropped.
    ~FigureJobs();
    FigureJobs(const FigureJobs&) = delete;
    FigureJobs& operator=(const FigureJobs&) = delete;

    // Runs `job` when the thread is free, in place of any job still waiting.
    void Post(Job job);

private:
    void Run();

    QObject* context_;
    std::function<void(FigureResult)> done_;
    std::mutex mutex_;
    std::condition_variable wake_;
    Job pending_;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace kurvex
