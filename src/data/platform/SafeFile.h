#pragma once

#include <cstdio>
#include <string>

namespace kurvex {

// Writes a file through a temporary file beside it that replaces the target
// only when complete, so a failed save leaves the old file whole. A replaced
// file keeps its mode and group; a symbolic link keeps pointing at the file it
// names, which is the one replaced.
class SafeFile {
public:
    // Temporary files end in this and six random characters, so that a save
    // killed half-way leaves a file we can recognise and later remove.
    static constexpr const char* kTempMark = ".kurvex-save-";
    // Our own temporary files older than this are removed by the next save into their folder.
    static constexpr long kStaleSeconds = 24L * 60 * 60;

    SafeFile() = default;
    ~SafeFile();  // abandons an uncommitted file
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    // Creates the temporary file; on failure Error() names the file and cause.
    bool Open(const std::string& path);
    std::FILE* Stream() const { return file_; }
    // The temporary file's path, for writers that open files by name: they
    // write it in place (never replace it), and Commit() then flushes the
    // file as it stands.
    const std::string& TempPath() const { return temp_; }
    // Flushes to disk, closes and renames over the target.
    bool Commit();
    const std::string& Error() const { return error_; }

private:
    void Abandon();

    std::FILE* file_ = nullptr;
    std::string path_;    // as the caller named it, for messages
    std::string target_;  // what is replaced: `path_` with symbolic links followed
    std::string temp_;
    std::string error_;
};

// Removes the temporary files of saves into `folder` that were killed half-way:
// regular files of ours (name, owner) not changed for `SafeFile::kStaleSeconds`.
void RemoveStaleSaves(const std::string& folder);

}  // namespace kurvex
