#pragma once

#include <cstdio>
#include <string>

namespace kurvex {

// Writes a file through a temporary file beside it that replaces the target
// only when complete, so a failed save leaves the old file whole.
class SafeFile {
public:
    SafeFile() = default;
    ~SafeFile();  // abandons an uncommitted file
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    // Creates the temporary file; on failure Error() names the file and cause.
    bool Open(const std::string& path);
    std::FILE* Stream() const { return file_; }
    // Flushes, closes and renames over the target.
    bool Commit();
    const std::string& Error() const { return error_; }

private:
    void Abandon();

    std::FILE* file_ = nullptr;
    std::string path_;
    std::string temp_;
    std::string error_;
};

}  // namespace kurvex
