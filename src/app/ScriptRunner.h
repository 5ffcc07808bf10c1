#pragma once

#include <QObject>
#include <QTimer>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "analysis/ScriptTable.h"

namespace kurvex {

class COhmixGraphView;
template <class Result>
class ToolJobs;

// A measurement of the runner's, told from those it replaced.
struct ScriptMeasured {
    int generation = 0;
    ScriptTable table;
};

// A view's measurement script: its text (kept with the view's settings) and
// its latest results over the shown runs. It measures on a worker, again by
// itself after every reload and whenever other runs are shown; the script
// window and the Run Table show what it found.
class CScriptRunner : public QObject {
    Q_OBJECT
public:
    explicit CScriptRunner(COhmixGraphView* view);
    ~CScriptRunner() override;

    const std::string& Text() const { return text_; }
    // Keeps `text` as the script; it is measured at the next Run or reload.
    void SetText(std::string text);
    // Measures the shown runs now, in place of a measurement under way.
    void Run();
    // Stops the measurement under way; the runs measured so far stay.
    void Cancel();
    bool Running() const { return running_; }
    const ScriptTable& Results() const { return results_; }

signals:
    void started();
    void progress(int done, int total);
    // New results (or a refusal, or a cancelled run) are there.
    void finished();

private:
    // A reload or another choice of runs: measured again after a pause.
    void Stale(bool always);

    COhmixGraphView* view_;
    std::string text_;
    ScriptTable results_;
    std::vector<std::int32_t> runs_;  // the runs of the last measurement
    bool running_ = false;
    int generation_ = 0;
    std::shared_ptr<std::atomic<bool>> cancel_;
    QTimer pause_;
    std::unique_ptr<ToolJobs<ScriptMeasured>> jobs_;
};

}  // namespace kurvex
