#pragma once

#include <string>
#include <vector>

#include "data/document/ResultFile.h"
#include "data/model/ResultData.h"
#include "data/platform/UserMessages.h"

namespace kurvex {

// Adds the runs of `added` (read from `path`) after those of `result`, as a
// new data set that replaces `result`: views still showing the old one keep
// it whole. A result of one run is named `name`; the runs of a result of
// several keep their names after "name: ". Refused, with a message and
// `result` unchanged, when the X variables differ in name.
bool AppendRuns(CResultDataRef& result, const CResultDataRef& added, const std::string& name,
                const std::string& path, UserMessages& messages);

// Reads `paths` several at a time, one core each, as LoadResultFile would one
// after another: messages, notes and progress (over all the files' bytes) come
// out as from reads in order. The plots of raw files are not reported, nor
// the partial data of any file but the first (options.preview).
struct FileRead {
    CResultDataRef data;
    bool ok = false;  // LoadResultFile's answer; false for every file once cancelled
};
std::vector<FileRead> ReadFilesAtOnce(const std::vector<std::string>& paths, UserMessages& messages,
                                      const LoadOptions& options);

}  // namespace kurvex
