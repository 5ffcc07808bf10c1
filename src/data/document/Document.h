#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "data/document/ResultFile.h"
#include "data/model/ResultData.h"
#include "data/platform/IOBuffer.h"
#include "data/platform/ReloadWatch.h"
#include "data/platform/UserMessages.h"

namespace kurvex {

// The document of one opened result: the data set, the files it was built
// from and the display settings a binary file brought along. The views and
// windows that show it live in the shell; this is what they call.
class COhmixGraphDoc {
public:
    explicit COhmixGraphDoc(UserMessages& messages) : messages_(messages) {}

    // The files merged into the data set, the primary one first.
    const std::vector<std::string>& Files() const { return files_; }
    // Per file: true when it was added as a run (not merged by X).
    const std::vector<bool>& RunFiles() const { return runFiles_; }
    // The files' stamps as they were before the read that the data set shows
    // (one per file): a file rewritten during that read differs from them.
    const std::vector<FileStamp>& Stamps() const { return stamps_; }
    // The data set the views show.
    const CResultDataRef& Data() const { return data_; }
    // The display settings of a binary file, for the views' first set-up.
    CIOBuffer& Settings() { return settings_; }

    // The title used when printing (empty: the document's own).
    std::string printTitle;
    std::int32_t printTitleFlag = 0;
    // Set while a view's property dialog is open: no reload then.
    bool propertyDialogOpen = false;

    // Loads `path` as the document's data; false (and nothing kept) on failure.
    bool Open(const std::string& path, const LoadOptions& options = {});
    // Opens the first path and merges each further one that loads, suffixed
    // with its file title; true when the first one opened.
    bool OpenSeveral(const std::vector<std::string>& paths, const LoadOptions& options = {});
    // Loads `path` and merges it into the data set (the Merge command once a
    // file was chosen); false leaves the document as it was.
    bool MergeFile(const std::string& path, const LoadOptions& options = {});
    // Opens the first path and adds each further one that loads as runs of
    // one view, named by their titles (and folders where titles clash).
    bool OpenRuns(const std::vector<std::string>& paths, const LoadOptions& options = {});
    // Loads `path` and adds it as the data set's next run(s); false (with a
    // message when its X differs) leaves the document as it was.
    bool AddRunFile(const std::string& path, const LoadOptions& options = {});

    enum class ReloadResult {
        Skipped,  // a property dialog is open
        Failed,   // the primary file could not be loaded: close the document
        Loaded,   // `fresh` holds the files read again
    };
    // Reads the files again into `fresh` (merging as they were merged) and
    // makes it the document's data; the caller re-binds its views to it.
    ReloadResult Reload(CResultDataRef& fresh, const LoadOptions& options = {});

    // Reads `files` into `fresh` as a reload does (the first loaded, the
    // others merged), touching no document: a watched reload runs it on a
    // worker. False when the first file cannot be read.
    // `runFiles` (per file, when given) tells the files added as runs.
    static bool ReadFiles(const std::vector<std::string>& files, CResultDataRef& fresh,
                          UserMessages& messages, const LoadOptions& options = {},
                          const std::vector<bool>& runFiles = {});
    // Makes `fresh` the document's data; what was shown becomes the previous run.
    void Adopt(const CResultDataRef& fresh);
    // The same for `fresh` read from the files as `stamps` describe them.
    void Adopt(const CResultDataRef& fresh, const std::vector<FileStamp>& stamps) {
        Adopt(fresh);
        stamps_ = stamps;
    }

    // The run before the last reload; none before the first reload, after a
    // reload that dropped it for its size, or once forgotten.
    const CResultDataRef* Previous() const { return previous_ ? &*previous_ : nullptr; }
    // True when the last reload dropped the previous run for its size.
    bool PreviousDropped() const { return previousDropped_; }
    // A previous run of more than `bytes` is not kept.
    void SetPreviousLimit(std::uint64_t bytes) { previousLimit_ = bytes; }

    // Results are written by the export commands only.
    bool Save() const { return false; }

private:
    // Merges `path` into `into` when it loads; false otherwise.
    bool MergeInto(CResultDataRef& into, const std::string& path, const LoadOptions& options);
    void AddFile(const std::string& path, const FileStamp& before, bool asRun = false);
    // Names the runs that came from files after the files they came from.
    void NameFileRuns();

    UserMessages& messages_;
    std::vector<std::string> files_;
    std::vector<FileStamp> stamps_;
    std::vector<bool> runFiles_;
    CResultDataRef data_;
    CIOBuffer settings_;
    std::optional<CResultDataRef> previous_;
    bool previousDropped_ = false;
    std::uint64_t previousLimit_ = UINT64_MAX;
};

// The memory the samples of a data set take.
std::uint64_t DataSetBytes(const CResultData& data);

}  // namespace kurvex
