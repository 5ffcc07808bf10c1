#include "data/document/RunFiles.h"

#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>
#include <utility>

#include "data/model/RunAdjust.h"
#include "data/platform/NameText.h"
#include "data/platform/NumberText.h"
#include "data/platform/Workers.h"

namespace kurvex {

bool AppendRuns(CResultDataRef& result, const CResultDataRef& added, const std::string& name,
                const std::string& path, UserMessages& messages) {
    const CResultData& base = *result.Get();
    const CResultData& more = *added.Get();
    if (base.VariableCount() == 0 || more.VariableCount() == 0) return false;
    const std::string& x = base.Variable(0)->Name();
    const std::string& theirs = more.Variable(0)->Name();
    // A capture's "Time" joins a simulation's "time": what matters is the kind.
    if (!XJoins(base, more)) {
        messages.Show(Format("The X variable of %s is \"%s\", not \"%s\" as in the runs shown: it "
                             "cannot be added as a run.",
                             path.c_str(), DisplayName(theirs).c_str(), DisplayName(x).c_str()),
                      MessageIcon::Stop);
        return false;
    }
    CResultDataRef joined;
    joined.ShareColumnsOf(base);
    for (std::int32_t k = 1; k < base.RunCount(); ++k)
        joined->AddRun(const_cast<CResultData*>(base.Run(k)), base.RunName(k));
    for (std::int32_t k = 0; k < more.RunCount(); ++k) {
        CResultDataRef run;
        run.ShareColumnsOf(*more.Run(k));
        const std::string& own = more.RunName(k);
        run->SetRunName(0, {});
        // Screens find a run's X by the shown X's name.
        if (!SameName(x, theirs)) run->ReplaceVariable(0, RenamedVariable(*run->Variable(0), x));
        joined->AddRun(run.Get(), more.RunCount() == 1 || own.empty() ? name : name + ": " + own);
    }
    result = joined;
    return true;
}

namespace {

// What one read said, kept until the reads before it have spoken.
struct HeldMessages : UserMessages {
    std::vector<std::pair<std::string, MessageIcon>> said;
    void Show(const std::string& text, MessageIcon icon) override { said.emplace_back(text, icon); }
};

}  // namespace

std::vector<FileRead> ReadFilesAtOnce(const std::vector<std::string>& paths, UserMessages& messages,
                                      const LoadOptions& options) {
    const size_t n = paths.size();
    std::vector<FileRead> results(n);
    std::vector<HeldMessages> held(n);
    std::vector<std::vector<std::string>> notes(n);
    std::vector<std::int64_t> done(n, 0), sizes(n, 0);
    std::int64_t total = 0;
    for (size_t i = 0; i < n; ++i) {
        std::error_code failed;
        const auto size = std::filesystem::file_size(paths[i], failed);
        sizes[i] = failed ? 0 : static_cast<std::int64_t>(size);
        total += sizes[i];
    }
    std::mutex progressLock;
    std::atomic<bool> cancelled{false};
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i = next++; i < n && !cancelled; i = next++) {
            LoadOptions own = options;
            own.plots = nullptr;
            // The window showing partial data bears the first file's name.
            if (i > 0) own.preview = nullptr;
            own.notes = options.notes ? &notes[i] : nullptr;
            // The files share the cores; splitting each as well would only add waiting.
            own.text.threads = 1;
            if (options.text.progress) {
                own.text.progress = [&, i](std::int64_t bytes, std::int64_t) {
                    std::lock_guard<std::mutex> hold(progressLock);
                    std::int64_t all = 0;
                    done[i] = bytes;
                    for (const std::int64_t d : done) all += d;
                    if (cancelled || !options.text.progress(all, total)) cancelled = true;
                    return !cancelled;
                };
            }
            // Asked before each file too, so that a Cancel between small files is heard.
            if (own.text.progress && !own.text.progress(0, sizes[i])) break;
            results[i].ok = LoadResultFile(paths[i], results[i].data, nullptr, held[i], own);
            // A cancelled read is no failure of the file: nothing of it is said.
            if (cancelled) held[i].said.clear();
        }
    };
    const int workers = std::min<int>(WorkerCount(), static_cast<int>(n));
    std::vector<std::thread> threads;
    for (int t = 1; t < workers; ++t) threads.emplace_back(work);
    work();
    for (std::thread& t : threads) t.join();
    for (size_t i = 0; i < n; ++i) {
        for (const auto& [text, icon] : held[i].said) messages.Show(text, icon);
        if (options.notes)
            options.notes->insert(options.notes->end(), notes[i].begin(), notes[i].end());
        if (cancelled) results[i].ok = false;
    }
    return results;
}

}  // namespace kurvex
