#include "data/platform/ByteSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "data/platform/NumberText.h"

namespace kurvex {

namespace {
constexpr size_t kChunk = 1 << 20;
}

FileByteSource::~FileByteSource() {
    if (fd_ >= 0) ::close(fd_);
}

bool FileByteSource::Open(const std::string& path) {
    path_ = path;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        error_ = Format("Cannot open \"%s\": %s.", path.c_str(), std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (fstat(fd_, &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            error_ = Format("Cannot open \"%s\": %s.", path.c_str(), std::strerror(EISDIR));
            ::close(fd_);
            fd_ = -1;
            return false;
        }
        if (S_ISREG(st.st_mode)) size_ = static_cast<std::int64_t>(st.st_size);
    }
    return true;
}

std::int64_t FileByteSource::Read(char* buffer, std::int64_t n) {
    std::int64_t done = 0;
    // A pipe or a signal may hand over less than asked; only 0 means the end.
    while (done < n) {
        const ssize_t got = ::read(fd_, buffer + done, static_cast<size_t>(n - done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            if (done > 0) break;
            error_ = Format("Cannot read \"%s\": %s.", path_.c_str(), std::strerror(errno));
            return -1;
        }
        if (got == 0) break;
        done += got;
    }
    return done;
}

bool FileByteSource::Rewind() {
    return ::lseek(fd_, 0, SEEK_SET) == 0;
}

std::int64_t FileByteSource::ReadAt(std::int64_t offset, char* buffer, std::int64_t n) const {
    std::int64_t done = 0;
    while (done < n) {
        const ssize_t got =
            ::pread(fd_, buffer + done, static_cast<size_t>(n - done), offset + done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += got;
    }
    return done;
}

std::int64_t MemoryByteSource::Read(char* buffer, std::int64_t n) {
    const size_t count = std::min(static_cast<size_t>(n), bytes_.size() - pos_);
    std::memcpy(buffer, bytes_.data() + pos_, count);
    pos_ += count;
    return static_cast<std::int64_t>(count);
}

std::int64_t MemoryByteSource::ReadAt(std::int64_t offset, char* buffer, std::int64_t n) const {
    if (offset < 0 || n < 0) return -1;
    const auto at = static_cast<size_t>(std::min<std::int64_t>(offset, Size()));
    const size_t count = std::min(static_cast<size_t>(n), bytes_.size() - at);
    std::memcpy(buffer, bytes_.data() + at, count);
    return static_cast<std::int64_t>(count);
}

LineReader::LineReader(ByteSource& source) : source_(source), buffer_(kChunk) {}

bool LineReader::Fill() {
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        base_ += static_cast<std::int64_t>(begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    // A line longer than the buffer doubles it: growth stays in proportion to
    // the longest line, which the file's own size bounds.
    if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
    const std::int64_t got =
        source_.Read(buffer_.data() + end_, static_cast<std::int64_t>(buffer_.size() - end_));
    if (got < 0) failed_ = true;
    if (got <= 0) {
        eof_ = true;
        return false;
    }
    end_ += static_cast<size_t>(got);
    return true;
}

bool LineReader::Next(std::string_view& line) {
    size_t scanned = begin_;
    for (;;) {
        const void* nl = std::memchr(buffer_.data() + scanned, '\n', end_ - scanned);
        if (nl) {
            const size_t at = static_cast<size_t>(static_cast<const char*>(nl) - buffer_.data());
            size_t stop = at;
            if (stop > begin_ && buffer_[stop - 1] == '\r') --stop;
            line = std::string_view(buffer_.data() + begin_, stop - begin_);
            lineStart_ = base_ + static_cast<std::int64_t>(begin_);
            begin_ = at + 1;
            return true;
        }
        if (eof_) {
            if (begin_ == end_) return false;
            size_t stop = end_;
            if (buffer_[stop - 1] == '\r') --stop;
            line = std::string_view(buffer_.data() + begin_, stop - begin_);
            lineStart_ = base_ + static_cast<std::int64_t>(begin_);
            begin_ = end_;
            return true;
        }
        const size_t seen = end_ - begin_;
        Fill();
        scanned = begin_ + seen;
    }
}

std::string_view LineReader::Peek(size_t want) {
    while (end_ - begin_ < want && !eof_) {
        Fill();
    }
    return Buffered();
}

bool LineReader::Rewind() {
    if (!source_.Rewind()) return false;
    begin_ = end_ = 0;
    base_ = 0;
    lineStart_ = 0;
    eof_ = failed_ = false;
    return true;
}

}  // namespace kurvex
