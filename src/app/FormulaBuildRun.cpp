#include "app/FormulaBuildRun.h"

#include <QPointer>
#include <QWidget>

#include "app/WorkerTask.h"
#include "data/platform/NameText.h"

namespace kurvex {

namespace {

constexpr std::int64_t kSteps = 1000;

// Writes the formula's files on a worker; false when the user cancelled.
bool BuildOnWorker(QWidget* parent, const CResultDataRef& data, const std::string& text,
                   const FormulaBuildOptions& options) {
    bool stopped = false;
    bool userCancelled = false;
    RunWithProgress(
        parent, FormulaBuildScope::Label(text),
        [&](WorkProgress& p) {
            FormulaBuildOptions o = options;
            p.total.store(kSteps);
            o.progress = [&](double share) {
                p.done.store(static_cast<std::int64_t>(share * kSteps));
                if (options.progress) options.progress(share);
            };
            o.cancelled = [&] {
                return p.cancel.load() || (options.cancelled && options.cancelled());
            };
            const FormulaBuild build = BuildFormulaVariable(data, text, o);
            stopped = build.cancelled;
            // A failure is Bind's to report: it builds again and says why.
            return static_cast<bool>(build.variable);
        },
        &userCancelled);
    // A cancel that came as the last block finished still leaves the curve out.
    return !stopped && !userCancelled;
}

}  // namespace

FormulaBuildScope::FormulaBuildScope(QWidget* parent, FormulaBuildOptions options, bool leaveOut)
    : scope_([parent = QPointer<QWidget>(parent)](
                 const CResultDataRef& data, const std::string& text,
                 const FormulaBuildOptions& o) { return BuildOnWorker(parent, data, text, o); },
             std::move(options), leaveOut) {}

QString FormulaBuildScope::Label(const std::string& text) {
    return QStringLiteral("Computing %1 ...").arg(QString::fromStdString(DisplayName(text)));
}

}  // namespace kurvex
