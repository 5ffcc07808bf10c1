#include "data/document/Document.h"

#include <algorithm>

#include "data/document/RunFiles.h"
#include "data/model/Runs.h"
#include "data/platform/NameText.h"

namespace kurvex {

// Stamps are taken before each read, so that a file rewritten while it was
// read is seen as changed afterwards.
bool COhmixGraphDoc::Open(const std::string& path, const LoadOptions& options) {
    const FileStamp before = StampOf(path);
    CResultDataRef fresh;
    if (!LoadResultFile(path, fresh, &settings_, messages_, options)) return false;
    data_ = fresh;
    AddFile(path, before);
    return true;
}

void COhmixGraphDoc::AddFile(const std::string& path, const FileStamp& before, bool asRun) {
    files_.push_back(path);
    stamps_.push_back(before);
    runFiles_.push_back(asRun);
}

namespace {

// The primary file and the files added as runs, in order.
std::vector<std::string> RunSources(const std::vector<std::string>& files,
                                    const std::vector<bool>& runFiles) {
    std::vector<std::string> sources;
    for (size_t i = 0; i < files.size(); ++i)
        if (i == 0 || (i < runFiles.size() && runFiles[i])) sources.push_back(files[i]);
    return sources;
}

}  // namespace

bool COhmixGraphDoc::OpenRuns(const std::vector<std::string>& paths, const LoadOptions& options) {
    if (paths.empty() || !Open(paths.front(), options)) return false;
    const std::vector<std::string> more(paths.begin() + 1, paths.end());
    const std::vector<FileStamp> before = StampsOf(more);
    // Partial data is shown under the first file's name: the others show none.
    LoadOptions rest = options;
    rest.preview = nullptr;
    const std::vector<FileRead> reads = ReadFilesAtOnce(more, messages_, rest);
    for (size_t i = 0; i < more.size(); ++i) {
        CResultDataRef joined = data_;
        if (!reads[i].ok ||
            !AppendRuns(joined, reads[i].data, FileTitle(more[i]), more[i], messages_))
            continue;
        data_ = joined;
        AddFile(more[i], before[i], true);
    }
    NameFileRuns();
    return true;
}

bool COhmixGraphDoc::AddRunFile(const std::string& path, const LoadOptions& options) {
    const FileStamp before = StampOf(path);
    CResultDataRef loaded;
    if (!LoadResultFile(path, loaded, nullptr, messages_, options)) return false;
    CResultDataRef joined = data_;
    if (!AppendRuns(joined, loaded, FileTitle(path), path, messages_)) return false;
    data_ = joined;
    AddFile(path, before, true);
    NameFileRuns();
    return true;
}

void COhmixGraphDoc::NameFileRuns() {
    const std::vector<std::string> sources = RunSources(files_, runFiles_);
    // A file of runs of its own keeps their names; only files of one run are named.
    if (sources.size() < 2 || data_->RunCount() != static_cast<std::int32_t>(sources.size()))
        return;
    const std::vector<std::string> names = RunNamesForFiles(sources);
    for (size_t k = 0; k < names.size(); ++k)
        data_->SetRunName(static_cast<std::int32_t>(k), names[k]);
}

bool COhmixGraphDoc::MergeInto(CResultDataRef& into, const std::string& path,
                               const LoadOptions& options) {
    CResultDataRef loaded;
    if (!LoadResultFile(path, loaded, nullptr, messages_, options)) return false;
    CResultDataRef merged;
    if (!MergeIntoRuns(into, loaded, merged, FileTitle(path), path, messages_)) return false;
    into = merged;
    return true;
}

bool COhmixGraphDoc::OpenSeveral(const std::vector<std::string>& paths,
                                 const LoadOptions& options) {
    if (paths.empty() || !Open(paths.front(), options)) return false;
    for (size_t i = 1; i < paths.size(); ++i) {
        const FileStamp before = StampOf(paths[i]);
        if (MergeInto(data_, paths[i], options)) AddFile(paths[i], before);
    }
    return true;
}

bool COhmixGraphDoc::MergeFile(const std::string& path, const LoadOptions& options) {
    settings_.Reset();
    const FileStamp before = StampOf(path);
    if (!MergeInto(data_, path, options)) return false;
    AddFile(path, before);
    return true;
}

bool COhmixGraphDoc::ReadFiles(const std::vector<std::string>& files, CResultDataRef& fresh,
                               UserMessages& messages, const LoadOptions& options,
                               const std::vector<bool>& runFiles) {
    if (files.empty()) return false;
    CResultDataRef loaded;
    std::vector<FileRead> reads;
    if (files.size() == 1) {
        reads.resize(1);
        reads[0].ok = LoadResultFile(files.front(), reads[0].data, nullptr, messages, options);
    } else {
        reads = ReadFilesAtOnce(files, messages, options);
    }
    if (!reads[0].ok) return false;
    loaded = reads[0].data;
    for (size_t i = 1; i < files.size(); ++i) {
        CResultDataRef merged;
        if (!reads[i].ok) continue;
        if (i < runFiles.size() && runFiles[i]) {
            AppendRuns(loaded, reads[i].data, FileTitle(files[i]), files[i], messages);
        } else if (MergeIntoRuns(loaded, reads[i].data, merged, FileTitle(files[i]), files[i],
                                 messages)) {
            loaded = merged;
        }
    }
    const std::vector<std::string> sources = RunSources(files, runFiles);
    if (sources.size() > 1 && loaded->RunCount() == static_cast<std::int32_t>(sources.size())) {
        const std::vector<std::string> names = RunNamesForFiles(sources);
        for (size_t k = 0; k < names.size(); ++k)
            loaded->SetRunName(static_cast<std::int32_t>(k), names[k]);
    }
    fresh = loaded;
    return true;
}

void COhmixGraphDoc::Adopt(const CResultDataRef& fresh) {
    // One generation: the run before the previous one goes now, before the
    // size of the one now shown is weighed.
    previous_.reset();
    const CResultData* shown = data_.Get();
    previousDropped_ = shown && DataSetBytes(*shown) > previousLimit_;
    if (shown && shown->VariableCount() > 0 && !previousDropped_) previous_ = data_;
    data_ = fresh;
}

COhmixGraphDoc::ReloadResult COhmixGraphDoc::Reload(CResultDataRef& fresh,
                                                    const LoadOptions& options) {
    if (propertyDialogOpen) return ReloadResult::Skipped;
    settings_.Reset();
    const std::vector<FileStamp> before = StampsOf(files_);
    CResultDataRef loaded;
    if (!ReadFiles(files_, loaded, messages_, options, runFiles_)) return ReloadResult::Failed;
    Adopt(loaded, before);
    fresh = loaded;
    return ReloadResult::Loaded;
}

std::uint64_t DataSetBytes(const CResultData& data) {
    std::uint64_t bytes = 0;
    const auto perSample = static_cast<std::uint64_t>(sizeof(double) + sizeof(std::uint8_t));
    for (std::int32_t k = 0; k < data.RunCount(); ++k) {
        const CResultData& run = *data.Run(k);
        for (std::int32_t i = 0; i < run.VariableCount(); ++i)
            bytes +=
                static_cast<std::uint64_t>(std::max(run.Variable(i)->Capacity(), 0)) * perSample;
    }
    // The band kind keeps three more arrays of the same shape.
    return data.Kind() == kDataSetHighPass ? 4 * bytes : bytes;
}

}  // namespace kurvex
