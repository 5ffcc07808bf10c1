#include "data/platform/IOBuffer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

namespace kurvex {

static_assert(std::endian::native == std::endian::little,
              "settings streams are copied to and from memory as little-endian bytes");

namespace {
constexpr size_t kMaxStringBytes = 0xFFFF - 1;  // the length word counts the NUL too
}

const char* CIOBufferException::what() const noexcept {
    switch (cause_) {
        case kEmptyBuffer:
            return "IO Buffer Error: Attempt to save empty buffer.";
        case kTooLarge:
            return "IO Buffer Error: Buffer too large.";
        default:
            return "Operation Aborted due to IO Buffer Error.";
    }
}

CIOBuffer::CIOBuffer(CIOBuffer&& other) noexcept {
    Move(other);
}

CIOBuffer& CIOBuffer::operator=(CIOBuffer&& other) noexcept {
    if (this != &other) Move(other);
    return *this;
}

void CIOBuffer::Reset() {
    data_.clear();
    pos_ = 0;
    mode_ = kIOBufferIdle;
}

void CIOBuffer::Assign(std::string_view bytes) {
    data_.clear();
    pos_ = 0;
    WriteBytes(bytes.data(), bytes.size());
}

void CIOBuffer::Move(CIOBuffer& other) {
    if (this == &other) return;
    data_ = std::move(other.data_);
    pos_ = other.pos_;
    mode_ = other.mode_;
    major_ = other.major_;
    minor_ = other.minor_;
    words_[0] = other.words_[0];
    words_[1] = other.words_[1];
    other.data_ = {};
    other.Reset();
}

void CIOBuffer::Need(size_t n) {
    // Settings are small; running out of memory here is not worth a crash.
    try {
        if (data_.capacity() - data_.size() < n)
            data_.reserve(std::max(data_.size() + n, data_.capacity() * 2 + 256));
    } catch (const std::bad_alloc&) {
        throw CIOBufferException(CIOBufferException::kOther);
    } catch (const std::length_error&) {
        throw CIOBufferException(CIOBufferException::kOther);
    }
}

void CIOBuffer::WriteBytes(const void* bytes, size_t n) {
    if (n == 0) return;
    Need(n);
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    data_.insert(data_.end(), p, p + n);
}

void CIOBuffer::WriteUInt32(std::uint32_t v) {
    WriteBytes(&v, sizeof v);
}

void CIOBuffer::WriteDouble(double v) {
    WriteBytes(&v, sizeof v);
}

void CIOBuffer::WriteString(std::string_view text) {
    const size_t n = std::min(text.size(), kMaxStringBytes);
    const auto length = static_cast<std::uint16_t>(n + 1);
    WriteBytes(&length, sizeof length);
    WriteBytes(text.data(), n);
    const char nul = '\0';
    WriteBytes(&nul, 1);
}

void CIOBuffer::AppendBuffer(const CIOBuffer& nested) {
    WriteUInt32(static_cast<std::uint32_t>(nested.Size()));
    WriteBytes(nested.Data(), nested.Size());
}

std::uint32_t CIOBuffer::ReadUInt32() {
    std::uint32_t v = 0;
    if (Remaining() < sizeof v) {
        pos_ = data_.size();
        return 0;
    }
    std::memcpy(&v, data_.data() + pos_, sizeof v);
    pos_ += sizeof v;
    return v;
}

double CIOBuffer::ReadDouble() {
    double v = 0.0;
    if (Remaining() < sizeof v) {
        pos_ = data_.size();
        return 0.0;
    }
    std::memcpy(&v, data_.data() + pos_, sizeof v);
    pos_ += sizeof v;
    return v;
}

void CIOBuffer::ReadBytes(void* out, size_t n) {
    const size_t have = std::min(n, Remaining());
    if (have) std::memcpy(out, data_.data() + pos_, have);
    if (n > have) std::memset(static_cast<std::uint8_t*>(out) + have, 0, n - have);
    pos_ += have;
}

std::string CIOBuffer::ReadString() {
    std::uint16_t length = 0;
    if (Remaining() < sizeof length) {
        pos_ = data_.size();
        return {};
    }
    std::memcpy(&length, data_.data() + pos_, sizeof length);
    pos_ += sizeof length;
    if (length > Remaining()) {
        pos_ = data_.size();
        return {};
    }
    const char* p = reinterpret_cast<const char*>(data_.data() + pos_);
    pos_ += length;
    if (length <= 1) return {};
    // The length counts the NUL: the text stops there even when the NUL is missing.
    return std::string(p, strnlen(p, length - 1u));
}

CIOBuffer CIOBuffer::ReadBuffer() {
    const std::uint32_t length = ReadUInt32();
    const size_t n = std::min<size_t>(length, Remaining());
    CIOBuffer nested;
    nested.Assign({reinterpret_cast<const char*>(data_.data() + pos_), n});
    pos_ += n;
    nested.mode_ = kIOBufferLoad;
    nested.major_ = major_;
    nested.minor_ = minor_;
    return nested;
}

void CIOBuffer::Exchange(std::int32_t& v) {
    auto u = static_cast<std::uint32_t>(v);
    Exchange(u);
    v = static_cast<std::int32_t>(u);
}

void CIOBuffer::Exchange(std::uint32_t& v) {
    if (mode_ == kIOBufferStore)
        WriteUInt32(v);
    else if (mode_ == kIOBufferLoad)
        v = ReadUInt32();
    else
        throw CIOBufferException(CIOBufferException::kOther);
}

void CIOBuffer::Exchange(double& v) {
    if (mode_ == kIOBufferStore)
        WriteDouble(v);
    else if (mode_ == kIOBufferLoad)
        v = ReadDouble();
    else
        throw CIOBufferException(CIOBufferException::kOther);
}

void CIOBuffer::Exchange(std::string& v) {
    if (mode_ == kIOBufferStore)
        WriteString(v);
    else if (mode_ == kIOBufferLoad)
        v = ReadString();
    else
        throw CIOBufferException(CIOBufferException::kOther);
}

void CIOBuffer::ExchangeBytes(void* bytes, size_t n) {
    if (mode_ == kIOBufferStore)
        WriteBytes(bytes, n);
    else if (mode_ == kIOBufferLoad)
        ReadBytes(bytes, n);
    else
        throw CIOBufferException(CIOBufferException::kOther);
}

bool CIOBuffer::Transfer(bool keep) {
    if (!file_ || mode_ == kIOBufferIdle) throw CIOBufferException(CIOBufferException::kOther);
    if (mode_ == kIOBufferStore) {
        const size_t size = data_.size();
        if (size == 0) throw CIOBufferException(CIOBufferException::kEmptyBuffer);
        if (size > kIOBufferMaxTransfer) throw CIOBufferException(CIOBufferException::kTooLarge);
        const auto s = static_cast<std::uint32_t>(size);
        if (std::fwrite(&s, sizeof s, 1, file_) != 1) return false;
        if (std::fwrite(data_.data(), 1, size, file_) != size) return false;
        if (!keep) {
            data_.clear();
            pos_ = 0;
        }
        return true;
    }
    data_.clear();
    pos_ = 0;
    std::uint32_t s = 0;
    // A file that ends before the length simply has no settings.
    if (std::fread(&s, 1, sizeof s, file_) != sizeof s) return !std::ferror(file_);
    if (s == 0) return true;
    if (s > kIOBufferMaxTransfer) throw CIOBufferException(CIOBufferException::kTooLarge);
    // Read in pieces so that a short file claiming a large block costs only what it holds.
    size_t want = s;
    while (want > 0) {
        const size_t piece = std::min<size_t>(want, 1 << 16);
        const size_t had = data_.size();
        Need(piece);
        data_.resize(had + piece);
        const size_t got = std::fread(data_.data() + had, 1, piece, file_);
        data_.resize(had + got);
        want -= got;
        if (got < piece) break;
    }
    return !std::ferror(file_);
}

}  // namespace kurvex
