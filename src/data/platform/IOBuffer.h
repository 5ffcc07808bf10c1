#pragma once

#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace kurvex {

// What a CIOBuffer is doing.
enum IOBufferMode : std::uint16_t {
    kIOBufferIdle = 0,
    kIOBufferLoad = 1,
    kIOBufferStore = 2,
};

// The most bytes a settings block may hold on file, either way.
constexpr std::uint32_t kIOBufferMaxTransfer = 4000000;

// Thrown when a settings stream cannot go to or come from a file; the catcher
// shows what() and gives up the operation.
class CIOBufferException : public std::exception {
public:
    enum Cause : int {
        kEmptyBuffer = 1,
        kTooLarge = 2,
        kOther = 3,
    };
    explicit CIOBufferException(int cause) : cause_(cause) {}
    // 1 empty buffer, 2 too large, anything else: some other fault.
    int GetCause() const { return cause_; }
    // The text shown to the user for the cause.
    const char* what() const noexcept override;

private:
    int cause_;
};

// A growable byte stream that carries display settings: numbers, strings,
// raw bytes and nested streams, little-endian, read back in the order written.
// Reading past the end never fails: it yields zeros and empty strings, so a
// short or old stream loads with defaults.
class CIOBuffer {
public:
    CIOBuffer() = default;
    CIOBuffer(const CIOBuffer&) = default;
    CIOBuffer& operator=(const CIOBuffer&) = default;
    // Takes the other's content, leaving it empty and idle.
    CIOBuffer(CIOBuffer&& other) noexcept;
    CIOBuffer& operator=(CIOBuffer&& other) noexcept;

    // Idle, load or store; Exchange and Transfer act by it.
    std::uint16_t Mode() const { return mode_; }
    void SetMode(std::uint16_t mode) { mode_ = mode; }
    // The stream's version (7.1 for streams this program writes).
    std::uint16_t Major() const { return major_; }
    std::uint16_t Minor() const { return minor_; }
    void SetVersion(std::uint16_t major, std::uint16_t minor) {
        major_ = major;
        minor_ = minor;
    }
    // True when the version is at least major.minor.
    bool AtLeast(std::uint16_t major, std::uint16_t minor) const {
        return major_ > major || (major_ == major && minor_ >= minor);
    }
    // Two spare words that travel with the buffer in memory, never on file.
    std::uint16_t Word(int i) const { return words_[i & 1]; }
    void SetWord(int i, std::uint16_t w) { words_[i & 1] = w; }

    // The bytes held; Size() is the used size.
    const std::uint8_t* Data() const { return data_.data(); }
    size_t Size() const { return data_.size(); }
    size_t Capacity() const { return data_.capacity(); }
    size_t Position() const { return pos_; }
    size_t Remaining() const { return data_.size() - pos_; }
    bool AtEnd() const { return pos_ >= data_.size(); }
    std::string_view Bytes() const {
        return {reinterpret_cast<const char*>(data_.data()), data_.size()};
    }

    // Empties the buffer: no bytes, read position at the start, idle.
    void Reset();
    // Replaces the content by `bytes` and goes back to the start.
    void Assign(std::string_view bytes);
    // Goes back to the first byte for reading.
    void Rewind() { pos_ = 0; }
    // Takes over `other`'s content, mode and version; `other` is left empty and idle.
    void Move(CIOBuffer& other);

    // Appends a 32-bit number.
    void WriteInt32(std::int32_t v) { WriteUInt32(static_cast<std::uint32_t>(v)); }
    void WriteUInt32(std::uint32_t v);
    // Appends an 8-byte IEEE double.
    void WriteDouble(double v);
    // Appends raw bytes.
    void WriteBytes(const void* bytes, size_t n);
    // Appends a 16-bit length (NUL included) and the NUL-terminated text; an
    // empty text is written as length 1 and one NUL. Text beyond 65534 bytes is cut.
    void WriteString(std::string_view text);
    // Appends `nested`'s bytes preceded by their 32-bit length.
    void AppendBuffer(const CIOBuffer& nested);

    // The next 32-bit number; 0 (and the position at the end) when fewer than 4 bytes are left.
    std::int32_t ReadInt32() { return static_cast<std::int32_t>(ReadUInt32()); }
    std::uint32_t ReadUInt32();
    // The next double; 0.0 when fewer than 8 bytes are left.
    double ReadDouble();
    // Copies the next n bytes; what lies past the end reads as zeros.
    void ReadBytes(void* out, size_t n);
    // The next string; empty when its length is at most 1 or the data ends first.
    std::string ReadString();
    // The next nested buffer, in load mode with this buffer's version; takes at
    // most the bytes that are left.
    CIOBuffer ReadBuffer();

    // Store mode writes `v`, load mode reads it: one sequence serves both ways.
    // Idle mode throws (cause other).
    void Exchange(std::int32_t& v);
    void Exchange(std::uint32_t& v);
    void Exchange(double& v);
    void Exchange(std::string& v);
    void ExchangeBytes(void* bytes, size_t n);

    // The file the next Transfer uses; not owned.
    void Attach(std::FILE* file) { file_ = file; }
    std::FILE* File() const { return file_; }
    // Store mode: writes the used size and the bytes at the file's position,
    // then empties the buffer unless `keep`; throws for an empty buffer or one
    // over 4,000,000 bytes. Load mode: reads a length-prefixed block from the
    // file's position. Idle mode or no file throws (cause other). False on a
    // file read or write error, which the caller reports.
    bool Transfer(bool keep = false);

private:
    void Need(size_t n);

    std::uint16_t mode_ = kIOBufferIdle;
    std::uint16_t major_ = 0;
    std::uint16_t minor_ = 0;
    std::uint16_t words_[2] = {0, 0};
    std::vector<std::uint8_t> data_;
    size_t pos_ = 0;
    std::FILE* file_ = nullptr;
};

}  // namespace kurvex
