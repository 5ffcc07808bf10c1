#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "graph/PointTable.h"

class QProgressDialog;
class QWidget;

namespace kurvex {

// Runs one long table job (building clipboard text, writing a file) on a
// worker thread. A progress dialog with Cancel appears when the job takes a
// while; the result is handed to the interface thread in one step.
class TableWork : public QObject {
    Q_OBJECT
public:
    // The job: reports rows done and stops early when asked; true when complete.
    using Job = std::function<bool(const WorkControl& control)>;
    // What happens on the interface thread afterwards. A job that threw is not
    // ok and names what went wrong in `failure` (empty otherwise).
    using Done = std::function<void(bool ok, bool cancelled, const std::string& failure)>;

    // Progress dialogs open over `owner`.
    explicit TableWork(QWidget* owner);
    ~TableWork() override;  // asks a running job to stop and waits for it

    // Starts `job` over `rows` rows; false (nothing started) while one runs.
    bool Start(const QString& label, std::int64_t rows, Job job, Done done);
    bool Busy() const { return worker_.joinable(); }
    // Asks the running job to stop.
    void Cancel() { cancel_ = true; }

private:
    void Poll();

    QPointer<QWidget> owner_;
    QPointer<QProgressDialog> progress_;
    QTimer poll_;
    std::thread worker_;
    std::atomic<std::int64_t> done_{0};
    std::atomic<bool> cancel_{false};
    std::atomic<bool> finished_{false};
    bool ok_ = false;
    std::string failure_;
    std::int64_t rows_ = 0;
    Done onDone_;
};

}  // namespace kurvex
