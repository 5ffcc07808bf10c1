#include "data/Document.h"

#include <algorithm>

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

void COhmixGraphDoc::AddFile(const std::string& path, const FileStamp& before) {
    files_.push_back(path);
    stamps_.push_back(before);
}

bool COhmixGraphDoc::MergeInto(CResultDataRef& into, const std::string& path,
                               const LoadOptions& options) {
    CResultDataRef loaded;
    if (!LoadResultFile(path, loaded, nullptr, messages_, options)) return false;
    CResultDataRef merged;
    if (!MergeDataSets(into, loaded, merged, FileTitle(path), messages_)) return false;
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
                               UserMessages& messages, const LoadOptions& options) {
    CResultDataRef loaded;
    if (files.empty() || !LoadResultFile(files.front(), loaded, nullptr, messages, options))
        return false;
    for (size_t i = 1; i < files.size(); ++i) {
        CResultDataRef next, merged;
        if (LoadResultFile(files[i], next, nullptr, messages, options) &&
            MergeDataSets(loaded, next, merged, FileTitle(files[i]), messages))
            loaded = merged;
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
    if (!ReadFiles(files_, loaded, messages_, options)) return ReloadResult::Failed;
    Adopt(loaded, before);
    fresh = loaded;
    return ReloadResult::Loaded;
}

std::uint64_t DataSetBytes(const CResultData& data) {
    std::uint64_t bytes = 0;
    const auto perSample = static_cast<std::uint64_t>(sizeof(double) + sizeof(std::uint8_t));
    for (std::int32_t i = 0; i < data.VariableCount(); ++i)
        bytes += static_cast<std::uint64_t>(std::max(data.Variable(i)->Capacity(), 0)) * perSample;
    // The band kind keeps three more arrays of the same shape.
    return data.Kind() == kDataSetHighPass ? 4 * bytes : bytes;
}

}  // namespace kurvex
