#include "app/ScriptRunner.h"

#include <exception>

#include "analysis/RunTable.h"
#include "app/GraphDocument.h"
#include "app/GraphView.h"
#include "app/tools/ToolJobs.h"

namespace kurvex {

namespace {

// Reloads and clicks on the Runs window that come within this pause are measured once.
constexpr int kPauseMs = 100;

}  // namespace

CScriptRunner::CScriptRunner(COhmixGraphView* view) : QObject(view), view_(view) {
    jobs_ = std::make_unique<ToolJobs<ScriptMeasured>>(
        this,
        [this](ScriptMeasured measured) {
            // A measurement that a newer one replaced is no answer.
            if (measured.generation != generation_) return;
            results_ = std::move(measured.table);
            running_ = false;
            emit finished();
        },
        // The job answers its own failures, with its generation.
        [](const std::string&) {
            return ScriptMeasured{-1, {}};
        });
    pause_.setSingleShot(true);
    pause_.setInterval(kPauseMs);
    connect(&pause_, &QTimer::timeout, this, &CScriptRunner::Run);
    connect(view, &COhmixGraphView::measureValuesStale, this, [this] { Stale(true); });
    connect(view, &COhmixGraphView::stateChanged, this, [this] { Stale(false); });
}

CScriptRunner::~CScriptRunner() {
    if (cancel_) *cancel_ = true;
    jobs_.reset();  // waits for the measurement under way
}

void CScriptRunner::SetText(std::string text) {
    text_ = std::move(text);
}

void CScriptRunner::Stale(bool always) {
    if (text_.empty()) return;
    if (always || ShownRuns(view_->Records()) != runs_) pause_.start();
}

void CScriptRunner::Run() {
    pause_.stop();
    if (cancel_) *cancel_ = true;
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    runs_ = ShownRuns(view_->Records());
    running_ = true;
    emit started();
    // The worker holds the data set it measures: a reload meanwhile gives a new one.
    const int generation = ++generation_;
    jobs_->Post([this, generation, text = text_, data = view_->ShownData(), runs = runs_,
                 cancel = cancel_] {
        auto told = [this, generation, cancel](int done, int total) {
            QMetaObject::invokeMethod(
                this,
                [this, generation, done, total] {
                    if (generation == generation_) emit progress(done, total);
                },
                Qt::QueuedConnection);
            return !*cancel;
        };
        ScriptMeasured measured{generation, {}};
        try {
            measured.table = MeasureScriptRuns(text, data, runs, told);
        } catch (const std::exception& e) {
            measured.table.error = std::string("The script could not be measured: ") + e.what();
        }
        return measured;
    });
}

void CScriptRunner::Cancel() {
    if (cancel_) *cancel_ = true;
}

}  // namespace kurvex
