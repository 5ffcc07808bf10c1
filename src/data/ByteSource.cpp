#include "data/ByteSource.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "data/NumberText.h"

namespace kurvex {

namespace {
constexpr size_t kChunk = 1 << 20;
}

FileByteSource::~FileByteSource() {
    if (file_) std::fclose(file_);
}

bool FileByteSource::Open(const std::string& path) {
    path_ = path;
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) {
        error_ = Format("Cannot open \"%s\": %s.", path.c_str(), std::strerror(errno));
        return false;
    }
    struct stat st {};
    if (fstat(fileno(file_), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            error_ = Format("Cannot open \"%s\": %s.", path.c_str(), std::strerror(EISDIR));
            std::fclose(file_);
            file_ = nullptr;
            return false;
        }
        if (S_ISREG(st.st_mode)) size_ = static_cast<std::int64_t>(st.st_size);
    }
    return true;
}

std::int64_t FileByteSource::Read(char* buffer, std::int64_t n) {
    const size_t got = std::fread(buffer, 1, static_cast<size_t>(n), file_);
    if (got == 0 && std::ferror(file_)) {
        error_ = Format("Cannot read \"%s\": %s.", path_.c_str(), std::strerror(errno));
        return -1;
    }
    return static_cast<std::int64_t>(got);
}

bool FileByteSource::Rewind() {
    std::clearerr(file_);
    return std::fseek(file_, 0, SEEK_SET) == 0;
}

std::int64_t MemoryByteSource::Read(char* buffer, std::int64_t n) {
    const size_t count = std::min(static_cast<size_t>(n), bytes_.size() - pos_);
    std::memcpy(buffer, bytes_.data() + pos_, count);
    pos_ += count;
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
            begin_ = at + 1;
            return true;
        }
        if (eof_) {
            if (begin_ == end_) return false;
            size_t stop = end_;
            if (buffer_[stop - 1] == '\r') --stop;
            line = std::string_view(buffer_.data() + begin_, stop - begin_);
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
    eof_ = failed_ = false;
    return true;
}

}  // namespace kurvex
