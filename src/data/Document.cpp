#include "data/Document.h"

namespace kurvex {

bool COhmixGraphDoc::Open(const std::string& path, const LoadOptions& options) {
    CResultDataRef fresh;
    if (!LoadResultFile(path, fresh, &settings_, messages_, options)) return false;
    data_ = fresh;
    files_.push_back(path);
    return true;
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
        if (MergeInto(data_, paths[i], options)) files_.push_back(paths[i]);
    }
    return true;
}

bool COhmixGraphDoc::MergeFile(const std::string& path, const LoadOptions& options) {
    settings_.Reset();
    if (!MergeInto(data_, path, options)) return false;
    files_.push_back(path);
    return true;
}

COhmixGraphDoc::ReloadResult COhmixGraphDoc::Reload(CResultDataRef& fresh,
                                                    const LoadOptions& options) {
    if (propertyDialogOpen) return ReloadResult::Skipped;
    settings_.Reset();
    CResultDataRef loaded;
    if (files_.empty() || !LoadResultFile(files_.front(), loaded, nullptr, messages_, options))
        return ReloadResult::Failed;
    for (size_t i = 1; i < files_.size(); ++i) MergeInto(loaded, files_[i], options);
    data_ = loaded;
    fresh = loaded;
    return ReloadResult::Loaded;
}

}  // namespace kurvex
