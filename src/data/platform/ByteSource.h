#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kurvex {

// Where a reader's bytes come from: a file, or memory for tests and fuzzing.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Total size in bytes, or -1 when not known (a pipe).
    virtual std::int64_t Size() const = 0;
    // Reads up to n bytes; returns the count, 0 at the end, -1 on a read error.
    virtual std::int64_t Read(char* buffer, std::int64_t n) = 0;
    // Goes back to the first byte; false when the source cannot.
    virtual bool Rewind() = 0;
    // The cause of the last failure, for messages.
    virtual std::string Error() const { return {}; }
    // Whether ReadAt works: the reader may then read parts of the source on
    // several threads at once.
    virtual bool Positional() const { return false; }
    // Reads up to n bytes at `offset` without moving Read's position; safe on
    // several threads at once. Returns the count (short only at the end), or
    // -1 on a read error or when the source cannot.
    virtual std::int64_t ReadAt(std::int64_t offset, char* buffer, std::int64_t n) const {
        return -1;
    }
};

class FileByteSource : public ByteSource {
public:
    FileByteSource() = default;
    ~FileByteSource() override;
    FileByteSource(const FileByteSource&) = delete;
    FileByteSource& operator=(const FileByteSource&) = delete;

    // Opens path for reading; on failure Error() names the file and the cause.
    bool Open(const std::string& path);
    std::int64_t Size() const override { return size_; }
    std::int64_t Read(char* buffer, std::int64_t n) override;
    bool Rewind() override;
    std::string Error() const override { return error_; }
    bool Positional() const override { return size_ >= 0; }
    std::int64_t ReadAt(std::int64_t offset, char* buffer, std::int64_t n) const override;

private:
    int fd_ = -1;
    std::string path_;
    std::int64_t size_ = -1;
    std::string error_;
};

class MemoryByteSource : public ByteSource {
public:
    explicit MemoryByteSource(std::string_view bytes) : bytes_(bytes) {}
    std::int64_t Size() const override { return static_cast<std::int64_t>(bytes_.size()); }
    std::int64_t Read(char* buffer, std::int64_t n) override;
    bool Rewind() override {
        pos_ = 0;
        return true;
    }
    bool Positional() const override { return true; }
    std::int64_t ReadAt(std::int64_t offset, char* buffer, std::int64_t n) const override;

private:
    std::string_view bytes_;
    size_t pos_ = 0;
};

// Splits a byte source into lines as a text-mode read does: LF or CR LF ends
// a line and is not part of it. Lines are views into an internal buffer that
// stay valid until the next call.
class LineReader {
public:
    explicit LineReader(ByteSource& source);
    // The next line; false at the end (or after a read error: see Failed()).
    bool Next(std::string_view& line);
    // Bytes consumed up to the end of the last line returned.
    std::int64_t Consumed() const { return base_ + static_cast<std::int64_t>(begin_); }
    // Where the last line returned starts in the source.
    std::int64_t LineStart() const { return lineStart_; }
    // Bytes already buffered after the last line returned (a cheap look-ahead).
    std::string_view Buffered() const { return {buffer_.data() + begin_, end_ - begin_}; }
    // At least `want` bytes after the last line consumed, or all that is left;
    // valid until the next call.
    std::string_view Peek(size_t want);
    // Consumes `bytes` of what Peek returned.
    void Skip(size_t bytes) { begin_ += bytes; }
    // True when nothing lies beyond the buffered bytes.
    bool Exhausted() const { return eof_; }
    bool Rewind();
    bool Failed() const { return failed_; }

private:
    bool Fill();

    ByteSource& source_;
    std::vector<char> buffer_;
    size_t begin_ = 0;
    size_t end_ = 0;
    std::int64_t base_ = 0;  // source offset of buffer_[0]
    std::int64_t lineStart_ = 0;
    bool eof_ = false;
    bool failed_ = false;
};

}  // namespace kurvex
