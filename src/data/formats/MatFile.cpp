#include "data/formats/MatFile.h"

#include <matio.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "data/formats/BinaryReading.h"
#include "data/platform/ChildReader.h"
#include "data/platform/NameText.h"
#include "data/platform/NumberText.h"
#include "data/platform/SafeFile.h"
#include "data/platform/Workers.h"

namespace kurvex {

namespace {

constexpr const char* kNamesVariable = "kurvex_names";
// The most a MATLAB name may have.
constexpr size_t kMaxMatlabName = 63;
// Rows read at once from an uncompressed array: few enough that the flags are
// set while the values are still in the cache, and progress moves within a column.
constexpr std::int64_t kChunkRows = 1 << 16;
// The longest name or text taken from a file.
constexpr size_t kMaxText = 1 << 16;

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// matio prints to stderr by default; the viewer has no console, and what
// matio says is summed up in our own words. The last error is kept for them.
thread_local std::string matioSaid;

void QuietLog(int level, char* message) {
    if (level & (MATIO_LOG_LEVEL_ERROR | MATIO_LOG_LEVEL_CRITICAL)) matioSaid = message;
}

void QuietMatio() {
    static std::once_flag once;
    std::call_once(once, [] { Mat_LogInitFunc("kurvex", QuietLog); });
}

struct VarFree {
    void operator()(matvar_t* v) const { Mat_VarFree(v); }
};
using VarPtr = std::unique_ptr<matvar_t, VarFree>;

struct MatClose {
    void operator()(mat_t* m) const { Mat_Close(m); }
};
using MatPtr = std::unique_ptr<mat_t, MatClose>;

bool IsNumericClass(matio_classes c) {
    return c >= MAT_C_DOUBLE && c <= MAT_C_UINT64;
}

size_t ClassBytes(matio_classes c) {
    switch (c) {
        case MAT_C_DOUBLE:
        case MAT_C_INT64:
        case MAT_C_UINT64:
            return 8;
        case MAT_C_SINGLE:
        case MAT_C_INT32:
        case MAT_C_UINT32:
            return 4;
        case MAT_C_INT16:
        case MAT_C_UINT16:
            return 2;
        default:
            return 1;
    }
}

template <class T>
void ConvertAs(const void* src, size_t count, double* dst) {
    const T* s = static_cast<const T*>(src);
    for (size_t i = 0; i < count; ++i) dst[i] = static_cast<double>(s[i]);
}

// Turns `count` elements of class `c` at `src` into doubles.
void ToDouble(matio_classes c, const void* src, size_t count, double* dst) {
    switch (c) {
        case MAT_C_DOUBLE:
            std::memcpy(dst, src, count * sizeof(double));
            break;
        case MAT_C_SINGLE:
            ConvertAs<float>(src, count, dst);
            break;
        case MAT_C_INT8:
            ConvertAs<std::int8_t>(src, count, dst);
            break;
        case MAT_C_UINT8:
            ConvertAs<std::uint8_t>(src, count, dst);
            break;
        case MAT_C_INT16:
            ConvertAs<std::int16_t>(src, count, dst);
            break;
        case MAT_C_UINT16:
            ConvertAs<std::uint16_t>(src, count, dst);
            break;
        case MAT_C_INT32:
            ConvertAs<std::int32_t>(src, count, dst);
            break;
        case MAT_C_UINT32:
            ConvertAs<std::uint32_t>(src, count, dst);
            break;
        case MAT_C_INT64:
            ConvertAs<std::int64_t>(src, count, dst);
            break;
        case MAT_C_UINT64:
            ConvertAs<std::uint64_t>(src, count, dst);
            break;
        default:
            std::fill(dst, dst + count, std::nan(""));
            break;
    }
}

// The text of a char array as UTF-8, whatever width matio stored it in.
std::string CharText(const matvar_t* v) {
    if (!v || v->class_type != MAT_C_CHAR || !v->data) return {};
    // UTF-8 text has more bytes than its dimensions count characters.
    const size_t n = v->data_size > 0 ? v->nbytes / static_cast<size_t>(v->data_size) : 0;
    std::string out;
    switch (v->data_type) {
        case MAT_T_UINT16:
        case MAT_T_UTF16:
        case MAT_T_INT16: {
            const auto* u = static_cast<const std::uint16_t*>(v->data);
            for (size_t i = 0; i < n; ++i) {
                std::uint32_t cp = u[i];
                if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < n && u[i + 1] >= 0xDC00 &&
                    u[i + 1] < 0xE000) {
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (u[i + 1] - 0xDC00);
                    ++i;
                } else if (cp >= 0xD800 && cp < 0xE000) {
                    cp = 0xFFFD;
                }
                AppendUtf8(out, cp);
            }
            return out;
        }
        case MAT_T_UINT32:
        case MAT_T_UTF32:
        case MAT_T_INT32: {
            const auto* u = static_cast<const std::uint32_t*>(v->data);
            for (size_t i = 0; i < n; ++i)
                AppendUtf8(out,
                           u[i] <= 0x10FFFF && (u[i] < 0xD800 || u[i] >= 0xE000) ? u[i] : 0xFFFD);
            return out;
        }
        default:
            return DisplayName(std::string_view(static_cast<const char*>(v->data), n));
    }
}

// UTF-16 code units of a UTF-8 (or Windows-1252) name, for a char array
// MATLAB, Octave and SciPy all read.
std::vector<std::uint16_t> Utf16(const std::string& name) {
    const std::string s = DisplayName(name);
    std::vector<std::uint16_t> out;
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const int len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        std::uint32_t cp = len == 1 ? b : b & (0x7F >> len);
        for (int k = 1; k < len && i + static_cast<size_t>(k) < s.size(); ++k)
            cp = cp << 6 | (static_cast<unsigned char>(s[i + static_cast<size_t>(k)]) & 0x3F);
        i += static_cast<size_t>(len);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<std::uint16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<std::uint16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<std::uint16_t>(cp));
        }
    }
    return out;
}

// Adds a, b without wrapping: sizes read from a file only need to be compared.
std::uint64_t SatAdd(std::uint64_t a, std::uint64_t b) {
    return a > std::numeric_limits<std::uint64_t>::max() - b
               ? std::numeric_limits<std::uint64_t>::max()
               : a + b;
}

std::uint64_t SatMul(std::uint64_t a, std::uint64_t b) {
    if (a != 0 && b > std::numeric_limits<std::uint64_t>::max() / a)
        return std::numeric_limits<std::uint64_t>::max();
    return a * b;
}

std::uint64_t ElementsOf(const matvar_t* v) {
    if (!v->dims) return 0;
    std::uint64_t n = 1;
    for (int d = 0; d < v->rank; ++d) n = SatMul(n, v->dims[d]);
    return n;
}

// The parts of a structure or cell array read whole, or null where matio
// left them out: its own look-ups trust what a damaged file gave them.
matvar_t* const* Parts(const matvar_t* v, std::uint64_t count) {
    if (!v || !v->data || v->nbytes < SatMul(count, sizeof(matvar_t*))) return nullptr;
    return static_cast<matvar_t* const*>(v->data);
}

// The elements a whole variable holds, fields and cells included, as far as
// its description says: what reading it would take.
std::uint64_t Footprint(const matvar_t* v, int depth = 0) {
    if (!v) return 0;
    const std::uint64_t n = ElementsOf(v);
    if (v->class_type == MAT_C_STRUCT || v->class_type == MAT_C_CELL) {
        if (depth > 16) return std::numeric_limits<std::uint64_t>::max();
        std::uint64_t count = n;
        if (v->class_type == MAT_C_STRUCT)
            count =
                !v->internal ? 0 : SatMul(n, Mat_VarGetNumberOfFields(const_cast<matvar_t*>(v)));
        std::uint64_t sum = SatMul(count, 64);
        matvar_t* const* parts = count < (std::uint64_t{1} << 32) ? Parts(v, count) : nullptr;
        if (parts) {
            for (std::uint64_t i = 0; i < count; ++i)
                sum = SatAdd(sum, Footprint(parts[i], depth + 1));
        }
        return sum;
    }
    return SatMul(n, v->isComplex ? 2 : 1);
}

// A level-4 file has no mark: its first variable's header must make sense.
bool LooksLikeLevel4(std::string_view head) {
    if (head.size() < 20) return false;
    for (const bool little : {true, false}) {
        std::uint32_t w[5];
        for (int i = 0; i < 5; ++i) {
            std::uint32_t v = 0;
            for (int b = 0; b < 4; ++b) {
                const auto byte = static_cast<unsigned char>(head[static_cast<size_t>(4 * i + b)]);
                v |= static_cast<std::uint32_t>(byte) << (little ? 8 * b : 8 * (3 - b));
            }
            w[i] = v;
        }
        const std::uint32_t type = w[0];
        const std::uint32_t m = type / 1000, o = type / 100 % 10, p = type / 10 % 10, t = type % 10;
        if (type < 5000 && o == 0 && p <= 5 && t <= 2 && m <= 4 && w[3] <= 1 && w[4] >= 1 &&
            w[4] <= 64)
            return true;
    }
    return false;
}

// Reads `n` bytes at `at`; false past the end.
bool ReadAt(std::FILE* f, std::int64_t at, void* into, size_t n) {
    return std::fseek(f, static_cast<long>(at), SEEK_SET) == 0 && std::fread(into, 1, n, f) == n;
}

std::uint32_t Word(const unsigned char* b, bool little) {
    return little ? static_cast<std::uint32_t>(b[0] | b[1] << 8 | b[2] << 16) |
                        static_cast<std::uint32_t>(b[3]) << 24
                  : static_cast<std::uint32_t>(b[3] | b[2] << 8 | b[1] << 16) |
                        static_cast<std::uint32_t>(b[0]) << 24;
}

// What matio reads of an array before its values: the tags of its flags,
// dimensions and name.
constexpr size_t kHeaderBytes = 1 << 16;

// One tag of a level-5 element at `p` (of `n` bytes): its type and where its
// data lies; false when it does not fit. Small elements pack 4 bytes in the tag.
struct Tag {
    std::uint32_t type = 0;
    size_t data = 0, size = 0, next = 0;
};

bool ReadTag(const unsigned char* p, size_t n, size_t at, bool little, Tag& t) {
    if (at > n || n - at < 8) return false;
    const std::uint32_t w = Word(p + at, little);
    if (w >> 16) {
        t = {w & 0xFFFF, at + 4, w >> 16, at + 8};
        return t.size <= 4;
    }
    const std::uint64_t size = Word(p + at + 4, little);
    if (size > n - at - 8) return false;
    t = {w, at + 8, static_cast<size_t>(size), at + 8 + static_cast<size_t>((size + 7) / 8 * 8)};
    if (t.next > n) t.next = n;
    return true;
}

// True when the array element `e` (or its start) holds others (structures,
// objects, cells), whose counts matio allocates from before it reads them.
bool Nests(const std::vector<unsigned char>& e, bool little) {
    Tag flags;
    if (!ReadTag(e.data(), e.size(), 8, little, flags) || flags.size < 4) return false;
    const unsigned c = Word(e.data() + flags.data, little) & 0xFF;
    return c == MAT_C_CELL || c == MAT_C_STRUCT || c == MAT_C_OBJECT || c == MAT_C_OPAQUE;
}

// What checking an element found besides whether it fits.
struct FitNotes {
    const unsigned char* start = nullptr;  // of the element checked first
    // Where dimensions are stored as miUINT32 rather than miINT32 (matio
    // refuses them): the offsets of their tags from `start`.
    std::vector<size_t> unsignedDims;
    bool negativeDims = false;  // such dimensions past the range of an int32
    // A classdef object's name and class, which matio does not give.
    std::string objectName, objectClass;
};

// Checks the array element at `p`: every part within it, and no more
// fields or cells than its bytes can hold (each takes a tag at least).
bool ElementFits(const unsigned char* p, size_t n, bool little, int depth, FitNotes& notes) {
    // The element may be cut after its header: its values are not looked at.
    if (depth > 32 || n < 8 || Word(p, little) != MAT_T_MATRIX) return false;
    const size_t size = Word(p + 4, little);
    if (size == 0) return true;  // an empty array
    const unsigned char* b = p + 8;
    const size_t m = std::min(size, n - 8);
    Tag flags, dims, name;
    if (!ReadTag(b, m, 0, little, flags) || flags.size < 8) return false;
    const unsigned cls = Word(b + flags.data, little) & 0xFF;
    if (cls == MAT_C_OPAQUE) {
        // A classdef object (a string, a datetime, Simulink's logs): its name,
        // type system and class, then one array of its own.
        Tag system, className, inner;
        if (m < size || !ReadTag(b, m, flags.next, little, name) ||
            !ReadTag(b, m, name.next, little, system) ||
            !ReadTag(b, m, system.next, little, className) ||
            !ReadTag(b, m, className.next, little, inner))
            return false;
        if (depth == 0) {
            auto text = [&](const Tag& t) {
                return DisplayName(std::string_view(reinterpret_cast<const char*>(b + t.data),
                                                    std::min(t.size, kMaxText)));
            };
            notes.objectName = text(name);
            notes.objectClass = text(className);
        }
        return ElementFits(b + className.next, inner.next - className.next, little, depth + 1,
                           notes);
    }
    if (!ReadTag(b, m, flags.next, little, dims) || dims.size % 4 != 0 || dims.size < 8 ||
        !ReadTag(b, m, dims.next, little, name))
        return false;
    std::uint64_t count = 1;
    for (size_t d = 0; d < dims.size; d += 4) {
        const std::uint32_t extent = Word(b + dims.data + d, little);
        if (dims.type == MAT_T_UINT32 && extent > std::numeric_limits<std::int32_t>::max()) {
            notes.negativeDims = true;
            return false;
        }
        count = SatMul(count, extent);
    }
    if (dims.type == MAT_T_UINT32)
        notes.unsignedDims.push_back(static_cast<size_t>(b + dims.data - 8 - notes.start));
    // Every value takes a byte at least (a sparse array counts only its nonzeros).
    if (cls != MAT_C_CELL && cls != MAT_C_STRUCT && cls != MAT_C_OBJECT)
        return cls == MAT_C_SPARSE || count <= size;
    if (m < size) return false;  // a nesting element is always kept whole
    size_t at = name.next;
    if (cls != MAT_C_CELL) {
        Tag className, length, names;
        if (cls == MAT_C_OBJECT) {
            if (!ReadTag(b, m, at, little, className)) return false;
            at = className.next;
        }
        if (!ReadTag(b, m, at, little, length) || length.size < 4 ||
            !ReadTag(b, m, length.next, little, names))
            return false;
        const std::uint32_t width = Word(b + length.data, little);
        if (width == 0 || names.size % width != 0) return names.size == 0;
        count = SatMul(count, names.size / width);
        at = names.next;
    }
    if (count > (m - std::min(at, m)) / 8) return false;
    for (std::uint64_t i = 0; i < count; ++i) {
        Tag part;
        if (!ReadTag(b, m, at, little, part) ||
            !ElementFits(b + at, part.next - at, little, depth + 1, notes))
            return false;
        at = part.next;
    }
    return true;
}

// True when the `bytes` at `at` are one whole zlib stream. matio leaks what
// it inflated of a variable whose stream breaks off, so it never gets one.
bool Inflates(std::FILE* f, std::int64_t at, std::int64_t bytes, std::vector<unsigned char>& kept,
              std::uint64_t keep, bool little) {
    kept.clear();
    std::uint64_t total = 0;
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    std::vector<unsigned char> in(std::min<std::int64_t>(bytes, 1 << 16)), out(1 << 16);
    int r = Z_OK;
    while (r == Z_OK && bytes > 0) {
        const auto n = static_cast<size_t>(std::min<std::int64_t>(bytes, 1 << 16));
        if (!ReadAt(f, at, in.data(), n)) break;
        at += static_cast<std::int64_t>(n);
        bytes -= static_cast<std::int64_t>(n);
        z.next_in = in.data();
        z.avail_in = static_cast<uInt>(n);
        do {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            r = inflate(&z, Z_NO_FLUSH);
            const size_t made = out.size() - z.avail_out;
            total += made;
            // Structures are kept whole while they fit; anything else only
            // for its header.
            if (kept.size() < keep && (kept.size() < kHeaderBytes || Nests(kept, little)))
                kept.insert(kept.end(), out.data(), out.data() + made);
        } while (r == Z_OK && z.avail_out == 0);
        if (r == Z_BUF_ERROR) r = Z_OK;
    }
    inflateEnd(&z);
    // The array inside must be no longer than what was inflated.
    return r == Z_STREAM_END && (kept.size() < keep || !Nests(kept, little)) && kept.size() >= 8 &&
           Word(kept.data() + 4, little) <= total - 8;
}

// An element whose dimensions are typed miUINT32, to be retyped for matio.
struct Retype {
    std::int64_t at = 0, bytes = 0;  // the element's place and what its tag says follows
    bool compressed = false, little = true;
    std::vector<size_t> tags;  // from the element's start (its inflated stream's when compressed)
};

// Walks the variables of a level-4 or level-5 file by their own sizes, so that
// matio never meets one that runs past the end of the file (it would read
// zeros there without a word). Empty when all is whole, else the cause.
std::string CutShort(const std::string& path, std::int64_t size, std::uint64_t keep,
                     std::vector<Retype>& retype,
                     std::vector<std::pair<std::string, std::string>>& objects) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!f) return {};
    unsigned char head[128];
    if (!ReadAt(f.get(), 0, head, std::min<std::int64_t>(size, 128))) return {};
    int index = 0;
    auto past = [&](std::int64_t end) {
        return Format(
            "The MAT file is cut short or damaged: its variable %d ends %lld bytes "
            "past the end of the file.",
            index, static_cast<long long>(end - size));
    };
    const bool marked = size >= 128 && ((head[126] == 'I' && head[127] == 'M') ||
                                        (head[126] == 'M' && head[127] == 'I'));
    // Level 7.3 is HDF5, which checks itself.
    if (marked && head[124] + head[125] != 1) return {};
    if (marked) {
        const bool little = head[126] == 'I';
        for (std::int64_t at = 128; at < size;) {
            ++index;
            unsigned char tag[8];
            if (!ReadAt(f.get(), at, tag, std::min<std::int64_t>(8, size - at)) || size - at < 8)
                return past(at + 8);
            const std::uint32_t type = Word(tag, little);
            std::int64_t bytes = Word(tag + 4, little);
            // Uncompressed elements are padded to 8 bytes; compressed ones are not.
            if (type != MAT_T_COMPRESSED) bytes = (bytes + 7) / 8 * 8;
            const std::int64_t end = at + 8 + bytes;
            if (end > size) {
                // The writer's padding after the last element may be missing.
                if (type == MAT_T_COMPRESSED || at + 8 + Word(tag + 4, little) > size)
                    return past(end);
                break;
            }
            std::vector<unsigned char> body;
            if (type == MAT_T_COMPRESSED) {
                if (!Inflates(f.get(), at + 8, bytes, body, keep, little))
                    return Format(
                        "The MAT file is damaged: its variable %d does not inflate (or not "
                        "into the memory available).",
                        index);
            } else if (type == MAT_T_MATRIX) {
                body.resize(static_cast<size_t>(std::min<std::int64_t>(bytes + 8, kHeaderBytes)));
                if (!ReadAt(f.get(), at, body.data(), body.size())) return past(end);
                if (Nests(body, little)) {
                    body.resize(static_cast<size_t>(bytes + 8));
                    if (!ReadAt(f.get(), at, body.data(), body.size())) return past(end);
                }
            }
            FitNotes notes;
            notes.start = body.data();
            if (!body.empty() && !ElementFits(body.data(), body.size(), little, 0, notes))
                return Format(notes.negativeDims
                                  ? "The MAT file is damaged: the dimensions of its variable %d "
                                    "are negative."
                                  : "The MAT file is damaged: the parts of its variable %d do "
                                    "not fit in it.",
                              index);
            if (!notes.objectClass.empty() || !notes.objectName.empty())
                objects.emplace_back(notes.objectName, notes.objectClass);
            if (!notes.unsignedDims.empty())
                retype.push_back({at, Word(tag + 4, little), type == MAT_T_COMPRESSED, little,
                                  std::move(notes.unsignedDims)});
            at = end;
        }
        return {};
    }
    const std::string_view text(reinterpret_cast<const char*>(head),
                                static_cast<size_t>(std::min<std::int64_t>(size, 128)));
    if (text.rfind("MATLAB 7.3 MAT-file", 0) == 0) return {};
    // matio would take any other bytes for a level-4 header, and allocate
    // whatever name length they gave.
    if (!LooksLikeLevel4(text))
        return "It is not a MAT file: it has neither the header of level 5 or 7.3 nor a "
               "variable of level 4 at its start.";
    // Level 4: a 20-byte header, the name, then the real and imaginary parts.
    const bool little = Word(head, true) < 5000;
    for (std::int64_t at = 0; at < size;) {
        ++index;
        unsigned char h[20];
        if (size - at < 20 || !ReadAt(f.get(), at, h, 20)) return past(at + 20);
        const std::uint32_t type = Word(h, little);
        static const int widths[] = {8, 4, 4, 2, 2, 1};
        const std::uint32_t p = type / 10 % 10;
        if (type >= 5000 || p > 5)
            return Format("The MAT file is damaged: variable %d has the type %u.", index, type);
        const std::uint64_t values =
            SatMul(SatMul(Word(h + 4, little), Word(h + 8, little)), Word(h + 12, little) ? 2 : 1);
        const std::uint64_t bytes = SatAdd(SatAdd(20, Word(h + 16, little)),
                                           SatMul(values, static_cast<std::uint64_t>(widths[p])));
        if (bytes > static_cast<std::uint64_t>(size - at))
            return past(
                bytes > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max() / 2)
                    ? std::numeric_limits<std::int64_t>::max() / 2
                    : at + static_cast<std::int64_t>(bytes));
        at += static_cast<std::int64_t>(bytes);
    }
    return {};
}

using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// Inflates the whole zlib stream `in` into `out`, or false past `keep` bytes.
bool InflateAll(const std::vector<unsigned char>& in, std::vector<unsigned char>& out,
                std::uint64_t keep) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    z.next_in = const_cast<unsigned char*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    int r = Z_OK;
    while (r == Z_OK && out.size() < keep) {
        const size_t had = out.size();
        out.resize(had + (1 << 16));
        z.next_out = out.data() + had;
        z.avail_out = 1 << 16;
        r = inflate(&z, Z_NO_FLUSH);
        out.resize(out.size() - z.avail_out);
    }
    inflateEnd(&z);
    return r == Z_STREAM_END;
}

// An unnamed copy of the file (gone once closed) in which the dimensions that
// `retype` lists are typed miINT32, which matio wants and which every value
// they hold fits, as CutShort made sure. Null when it cannot be made.
FilePtr Retyped(const std::string& path, std::int64_t size, const std::vector<Retype>& retype,
                std::uint64_t keep) {
    FilePtr in(std::fopen(path.c_str(), "rb"), std::fclose);
    FilePtr out(in ? std::tmpfile() : nullptr, std::fclose);
    if (!out) return out;
    std::vector<unsigned char> block(1 << 20);
    std::int64_t copied = 0;
    auto copyTo = [&](std::int64_t end) {
        while (copied < end) {
            const auto n = static_cast<size_t>(
                std::min<std::int64_t>(static_cast<std::int64_t>(block.size()), end - copied));
            if (!ReadAt(in.get(), copied, block.data(), n) ||
                std::fwrite(block.data(), 1, n, out.get()) != n)
                return false;
            copied += static_cast<std::int64_t>(n);
        }
        return true;
    };
    auto word = [](std::uint32_t v, bool little, unsigned char* into) {
        for (int b = 0; b < 4; ++b)
            into[b] = static_cast<unsigned char>(v >> (little ? 8 * b : 8 * (3 - b)));
    };
    bool ok = true;
    for (const Retype& r : retype) {
        unsigned char int32[4];
        word(MAT_T_INT32, r.little, int32);
        if (!r.compressed) {
            ok = ok && copyTo(std::min(size, r.at + 8 + (r.bytes + 7) / 8 * 8));
            for (const size_t t : r.tags)
                ok = ok &&
                     std::fseek(out.get(), static_cast<long>(r.at) + static_cast<long>(t),
                                SEEK_SET) == 0 &&
                     std::fwrite(int32, 1, 4, out.get()) == 4;
            ok = ok && std::fseek(out.get(), 0, SEEK_END) == 0;
            continue;
        }
        std::vector<unsigned char> packed(static_cast<size_t>(r.bytes)), plain;
        ok = ok && copyTo(r.at) && ReadAt(in.get(), r.at + 8, packed.data(), packed.size()) &&
             InflateAll(packed, plain, keep);
        for (const size_t t : r.tags)
            if (ok && t + 4 <= plain.size()) std::memcpy(plain.data() + t, int32, 4);
        uLongf n = compressBound(static_cast<uLong>(plain.size()));
        packed.resize(n);
        ok = ok && compress2(packed.data(), &n, plain.data(), plain.size(), 6) == Z_OK &&
             n <= std::numeric_limits<std::uint32_t>::max();
        unsigned char tag[8];
        word(MAT_T_COMPRESSED, r.little, tag);
        word(static_cast<std::uint32_t>(n), r.little, tag + 4);
        ok = ok && std::fwrite(tag, 1, 8, out.get()) == 8 &&
             std::fwrite(packed.data(), 1, n, out.get()) == n;
        copied = r.at + 8 + r.bytes;
    }
    if (!ok || !copyTo(size) || std::fflush(out.get()) != 0) out.reset();
    return out;
}

matvar_t* Field(const matvar_t* s, const char* name, size_t index) {
    if (!s || s->class_type != MAT_C_STRUCT || !s->internal) return nullptr;
    const unsigned n = Mat_VarGetNumberOfFields(const_cast<matvar_t*>(s));
    char* const* names = Mat_VarGetStructFieldnames(s);
    const std::uint64_t elements = ElementsOf(s);
    matvar_t* const* parts = Parts(s, SatMul(elements, n));
    if (!names || !parts || index >= elements) return nullptr;
    for (unsigned f = 0; f < n; ++f)
        if (names[f] && std::strcmp(names[f], name) == 0) return parts[index * n + f];
    return nullptr;
}

matvar_t* Cell(const matvar_t* c, size_t index) {
    const std::uint64_t elements = ElementsOf(c);
    matvar_t* const* parts = c->class_type == MAT_C_CELL ? Parts(c, elements) : nullptr;
    return parts && index < elements ? parts[index] : nullptr;
}

// Level 7.3 files are HDF5, and the HDF5 library takes a file's word for
// everything: they are read in a child process, which answers what matio
// reads there. Every number it sends is checked before anything is sized by it.
constexpr std::uint64_t kAbsent = ~std::uint64_t{0};
constexpr std::uint64_t kMaxRank = 32;
constexpr std::uint64_t kMaxFields = 1 << 16;
constexpr size_t kMaxVariables = 1 << 20;
constexpr int kMaxDepth = 16;
enum : std::uint64_t { kAskWhole = 1, kAskData = 2 };

// The child's answer, sent whole at its end (or when it grows large).
class Answer {
public:
    explicit Answer(int fd) : fd_(fd) {}
    void Raw(const void* p, std::uint64_t n) {
        if (n == 0) return;
        const char* c = static_cast<const char*>(p);
        bytes_.insert(bytes_.end(), c, c + n);
        if (bytes_.size() >= (1 << 20)) Send();
    }
    void U64(std::uint64_t v) { Raw(&v, sizeof v); }
    void Text(const char* s) {
        const std::uint64_t n = s ? std::min<size_t>(std::strlen(s), kMaxText) : 0;
        U64(n);
        Raw(s, n);
    }
    void Send() {
        if (!bytes_.empty() && !ChildReader::Put(fd_, bytes_.data(), bytes_.size())) _exit(0);
        bytes_.clear();
    }

private:
    int fd_;
    std::vector<char> bytes_;
};

void PutHead(Answer& a, const matvar_t* v) {
    a.U64(static_cast<std::uint64_t>(v->class_type));
    a.U64(static_cast<std::uint64_t>(v->data_type));
    a.U64(v->isComplex ? 1 : 0);
    const int rank = v->dims && v->rank > 0 ? v->rank : 0;
    a.U64(static_cast<std::uint64_t>(rank));
    for (int d = 0; d < rank && static_cast<std::uint64_t>(d) <= kMaxRank; ++d) a.U64(v->dims[d]);
    a.Text(v->name);
}

// A variable read whole: its head, its values or its parts.
void PutTree(Answer& a, const matvar_t* v, int depth) {
    if (!v || depth > kMaxDepth) {
        a.U64(kAbsent);
        return;
    }
    a.U64(1);
    PutHead(a, v);
    if (IsNumericClass(v->class_type) || v->class_type == MAT_C_CHAR) {
        const void* re = v->data;
        const void* im = nullptr;
        if (v->isComplex && v->data) {
            const auto* split = static_cast<const mat_complex_split_t*>(v->data);
            re = split->Re;
            im = split->Im;
        }
        const std::uint64_t n = re && (!v->isComplex || im) ? v->nbytes : 0;
        a.U64(n);
        a.U64(static_cast<std::uint64_t>(v->data_size));
        a.Raw(re, n);
        if (v->isComplex) a.Raw(im, n);
        return;
    }
    if (v->class_type != MAT_C_STRUCT && v->class_type != MAT_C_CELL) return;
    std::uint64_t count = ElementsOf(v);
    if (v->class_type == MAT_C_STRUCT) {
        const unsigned fields =
            v->internal ? Mat_VarGetNumberOfFields(const_cast<matvar_t*>(v)) : 0;
        char* const* names = Mat_VarGetStructFieldnames(v);
        a.U64(names ? fields : 0);
        for (unsigned f = 0; names && f < fields; ++f) a.Text(names[f]);
        count = names ? SatMul(count, fields) : 0;
    }
    matvar_t* const* parts = Parts(v, count);
    a.U64(parts ? count : 0);
    for (std::uint64_t i = 0; parts && i < count; ++i) PutTree(a, parts[i], depth + 1);
}

// The child: opens the file, lists its variables, then answers requests
// until the parent hangs up.
void ServeLevel73(int fd, const std::string& path) {
    Answer a(fd);
    matioSaid.clear();
    MatPtr mat(Mat_Open(path.c_str(), MAT_ACC_RDONLY));
    a.U64(mat ? 1 : 0);
    a.Text(matioSaid.c_str());
    a.Send();
    if (!mat) return;
    std::vector<VarPtr> infos;
    matioSaid.clear();
    while (matvar_t* v = Mat_VarReadNextInfo(mat.get())) {
        infos.emplace_back(v);
        a.U64(1);
        PutHead(a, v);
        a.U64(Footprint(v));
        a.Send();
    }
    a.U64(0);
    a.Text(matioSaid.c_str());
    a.Send();
    for (std::uint64_t ask[6]; ChildReader::Get(fd, ask, sizeof ask);) {
        if (ask[1] >= infos.size()) return;
        matvar_t* info = infos[ask[1]].get();
        if (ask[0] == kAskWhole) {
            VarPtr whole(info->name ? Mat_VarRead(mat.get(), info->name) : nullptr);
            PutTree(a, whole.get(), 0);
        } else {
            const std::uint64_t n = SatMul(ask[4], ask[5]);
            if (n > static_cast<std::uint64_t>(kChunkRows) || ask[2] > INT_MAX || ask[3] > INT_MAX)
                return;
            const size_t bytes = static_cast<size_t>(n) * ClassBytes(info->class_type);
            std::vector<char> re(bytes), im(info->isComplex ? bytes : 0);
            mat_complex_split_t split{re.data(), im.data()};
            int start[2] = {static_cast<int>(ask[2]), static_cast<int>(ask[3])};
            int edge[2] = {static_cast<int>(ask[4]), static_cast<int>(ask[5])};
            int stride[2] = {1, 1};
            void* into = info->isComplex ? static_cast<void*>(&split) : re.data();
            const bool ok = Mat_VarReadData(mat.get(), info, into, start, stride, edge) == 0;
            a.U64(ok ? 1 : 0);
            if (ok) {
                a.Raw(re.data(), re.size());
                a.Raw(im.data(), im.size());
            }
        }
        a.Send();
    }
}

// What the child says of a variable before its values.
struct Head {
    std::uint64_t cls = 0, type = 0, complex = 0, rank = 0;
    size_t dims[kMaxRank] = {};
    std::string name;
};

bool TakeU64(ChildReader& c, std::uint64_t& v) {
    return c.Receive(&v, sizeof v);
}

bool TakeText(ChildReader& c, std::string& s) {
    std::uint64_t n = 0;
    if (!TakeU64(c, n) || n > kMaxText) return false;
    s.resize(static_cast<size_t>(n));
    return c.Receive(s.data(), s.size());
}

bool TakeHead(ChildReader& c, Head& h) {
    if (!TakeU64(c, h.cls) || !TakeU64(c, h.type) || !TakeU64(c, h.complex) ||
        !TakeU64(c, h.rank) || h.cls > MAT_C_OPAQUE || h.type > MAT_T_FUNCTION || h.complex > 1 ||
        h.rank > kMaxRank)
        return false;
    for (std::uint64_t d = 0; d < h.rank; ++d) {
        std::uint64_t extent = 0;
        if (!TakeU64(c, extent)) return false;
        h.dims[d] = static_cast<size_t>(extent);
    }
    return TakeText(c, h.name);
}

// A variable as matio would give it, without values.
matvar_t* MakeVar(const Head& h) {
    matvar_t* v = Mat_VarCalloc();
    if (!v) return nullptr;
    v->name = h.name.empty() ? nullptr : strdup(h.name.c_str());
    v->class_type = static_cast<matio_classes>(h.cls);
    v->data_type = static_cast<matio_types>(h.type);
    v->isComplex = static_cast<int>(h.complex);
    v->rank = static_cast<int>(h.rank);
    if (h.rank > 0) {
        v->dims = static_cast<size_t*>(std::malloc(h.rank * sizeof(size_t)));
        if (v->dims) std::memcpy(v->dims, h.dims, h.rank * sizeof(size_t));
    }
    return v;
}

// A variable read whole by the child, its values and parts taken out of
// `budget` before they are allocated. False when the child broke off or sent
// what matio cannot have read.
bool TakeTree(ChildReader& c, int depth, std::uint64_t& budget, VarPtr& out) {
    out.reset();
    std::uint64_t mark = 0;
    if (!TakeU64(c, mark)) return false;
    if (mark == kAbsent) return true;
    Head h;
    if (mark != 1 || depth > kMaxDepth || !TakeHead(c, h)) return false;
    std::uint64_t elements = 1;
    for (std::uint64_t d = 0; d < h.rank; ++d) elements = SatMul(elements, h.dims[d]);
    const auto cls = static_cast<matio_classes>(h.cls);
    if (IsNumericClass(cls) || cls == MAT_C_CHAR) {
        std::uint64_t n = 0, size = 0;
        if (!TakeU64(c, n) || !TakeU64(c, size) || size > 8 || n > budget / 2) return false;
        budget -= n * (h.complex + 1);
        out.reset(MakeVar(h));
        if (!out) return false;
        out->data_size = static_cast<int>(size);
        out->nbytes = static_cast<size_t>(n);
        if (n == 0) return true;
        void* re = std::malloc(static_cast<size_t>(n));
        void* im = h.complex ? std::malloc(static_cast<size_t>(n)) : nullptr;
        auto* split = static_cast<mat_complex_split_t*>(
            h.complex ? std::malloc(sizeof(mat_complex_split_t)) : nullptr);
        if (!re || (h.complex && (!im || !split))) {
            std::free(re);
            std::free(im);
            std::free(split);
            return false;
        }
        if (split) *split = {re, im};
        out->data = split ? static_cast<void*>(split) : re;
        return c.Receive(re, static_cast<size_t>(n)) &&
               (!im || c.Receive(im, static_cast<size_t>(n)));
    }
    if ((cls != MAT_C_STRUCT && cls != MAT_C_CELL) || h.rank == 0) {
        out.reset(MakeVar(h));
        return out != nullptr;
    }
    std::uint64_t fields = 1;
    std::vector<std::string> names;
    if (cls == MAT_C_STRUCT) {
        if (!TakeU64(c, fields) || fields > kMaxFields) return false;
        names.resize(static_cast<size_t>(fields));
        for (std::string& name : names)
            if (!TakeText(c, name)) return false;
    }
    std::uint64_t count = 0;
    const std::uint64_t slots = SatMul(elements, fields);
    if (!TakeU64(c, count) || (count != 0 && count != slots) || slots > INT_MAX ||
        SatMul(slots, sizeof(matvar_t*)) > budget)
        return false;
    budget -= slots * sizeof(matvar_t*);
    const char* name = h.name.empty() ? nullptr : h.name.c_str();
    if (cls == MAT_C_STRUCT) {
        std::vector<const char*> fieldNames;
        for (const std::string& f : names) fieldNames.push_back(f.c_str());
        out.reset(Mat_VarCreateStruct(name, static_cast<int>(h.rank), const_cast<size_t*>(h.dims),
                                      fieldNames.data(), static_cast<unsigned>(fields)));
    } else {
        out.reset(Mat_VarCreate(name, MAT_C_CELL, MAT_T_CELL, static_cast<int>(h.rank),
                                const_cast<size_t*>(h.dims), nullptr, 0));
    }
    for (std::uint64_t i = 0; i < count; ++i) {
        VarPtr part;
        if (!TakeTree(c, depth + 1, budget, part)) return false;
        if (!part || !out) continue;
        if (cls == MAT_C_STRUCT)
            Mat_VarSetStructFieldByIndex(out.get(), static_cast<size_t>(i % fields),
                                         static_cast<size_t>(i / fields), part.release());
        else
            Mat_VarSetCell(out.get(), static_cast<int>(i), part.release());
    }
    return true;
}

// One array that gives columns: a numeric variable of the file (read from
// the file when wanted) or a field of a structure read whole.
struct Source {
    std::string name;      // what its columns are called
    std::string fileName;  // its name in the file
    matvar_t* info = nullptr;
    bool inMemory = false;
    std::int64_t rows = 0;  // the length of each column
    std::int64_t columns = 0;
    bool byRows = false;  // a column is a row of the array
    bool isX = false;     // its first column is X
    int order = 0;
    int rising = -1;  // whether its values increase strictly, once looked at
};

// The names given to a data set's variables in turn, each one none of the
// earlier ones has.
class UniqueNames {
public:
    explicit UniqueNames(CResultData& set) : set_(set) {}
    // Names the next variable `wanted`, or `wanted`_2, _3... where it is taken.
    void Add(const std::string& wanted);
    std::int32_t Count() const { return static_cast<std::int32_t>(names_.size()); }
    // "a as a_2, ..." for the names that were taken; empty when none was.
    const std::string& Renamed() const { return renamed_; }

private:
    CResultData& set_;
    std::vector<std::string> names_;
    std::string renamed_;
};

void UniqueNames::Add(const std::string& wanted) {
    std::string n = wanted;
    for (int i = 2;; ++i) {
        bool clash = false;
        for (const std::string& o : names_) clash = clash || SameName(o, n);
        if (!clash) break;
        n = Format("%s_%d", wanted.c_str(), i);
    }
    if (n != wanted) renamed_ += (renamed_.empty() ? "" : ", ") + wanted + " as " + n;
    set_.SetVariableName(Count(), n);
    names_.push_back(n);
}

class Reader : BinaryReading {
public:
    Reader(const std::string& path, UserMessages& messages, const BinaryReadOptions& options,
           std::vector<std::string>* notes, int hangSeconds)
        : BinaryReading(path, messages, options.progress, notes),
          path_(path),
          options_(options),
          hangSeconds_(hangSeconds) {}

    // Opens, lists, chooses X and the arrays of its length, checks the sizes,
    // fills, and says what was left out.
    bool Run(CResultDataRef& data);

private:
    void Skip(const std::string& what, const std::string& name) {
        auto& list = skipped_[what];
        list += list.empty() ? name : ", " + name;
    }
    bool Progress(std::int64_t done) { return Tell(done, fileSize_); }
    bool Open(std::string& damage);
    bool OpenInChild(std::string& damage);
    bool RefuseChild() {
        return Refuse("The MAT file is damaged: the HDF5 library " +
                      (child_->Failure().empty() ? std::string("answered beyond all bounds")
                                                 : child_->Failure()) +
                      " reading it.");
    }
    VarPtr ReadWhole(const matvar_t* info);
    int ReadData(const Source& s, void* into, int* start, int* edge);
    void Classify(matvar_t* v);
    void AddSimulink(matvar_t* whole);
    void ReadNames();
    void ReadStructs();
    bool Check(const Source& s);
    // Uncompressed arrays of levels 4 and 5 are read by their element index.
    bool Linear(const Source& s) const {
        return !s.inMemory && s.info->compression == MAT_COMPRESSION_NONE && !child_;
    }
    // Compressed arrays are inflated from their start on every read: read them in one go.
    bool Chunked(const Source& s) const {
        return !s.inMemory && (s.info->compression == MAT_COMPRESSION_NONE || child_);
    }
    bool ReadRows(const Source& s, std::int64_t column, std::int64_t r0, std::int64_t len,
                  double* re, double* im);
    bool Rising(Source& s);
    bool Fill(const Source& s, std::int64_t column, CResultData& set, std::int32_t first,
              bool complex, bool& bad);
    // The steps of Run.
    bool ListVariables();
    void OrderByOwnNames();
    Source* ChooseX();
    std::string SkippedText(const Source* x);
    std::vector<Source*> ArraysOfLength(Source& x, std::string& others);
    bool CountColumns(const std::vector<Source*>& taken, std::int64_t rows, std::int64_t& columns);
    bool FillColumns(const std::vector<Source*>& taken, std::int64_t rows, std::int64_t columns,
                     CResultDataRef& fresh, std::string& renamed);
    void NoteLeftOut(const Source& x, const std::string& others, const std::string& skipped,
                     const std::string& renamed);

    std::string path_;
    const BinaryReadOptions& options_;
    int hangSeconds_;
    FilePtr retyped_{nullptr, std::fclose};
    MatPtr mat_;
    std::unique_ptr<ChildReader> child_;  // level 7.3 only
    bool childBroken_ = false;
    std::int64_t fileSize_ = 0;
    std::vector<VarPtr> infos_;
    std::vector<std::uint64_t> footprints_;  // of infos_, as the child measured them
    std::vector<VarPtr> wholes_;             // structures read whole
    std::vector<Source> sources_;
    std::map<std::string, std::string> skipped_;
    std::vector<std::string> structs_;
    std::uint64_t limit_ = 0;
    bool hasNames_ = false;
    std::vector<std::string> objects_;
    // The name and class of each classdef object (a string, a datetime) in
    // the file's order, as matio gives them nameless.
    std::vector<std::pair<std::string, std::string>> classdefs_;
    size_t classdefsSeen_ = 0;
    std::vector<std::pair<std::string, std::string>> names_;  // MATLAB name, own name
    bool simulinkTime_ = false;
    std::int64_t work_ = 0, workDone_ = 0;
    std::vector<char> raw_, rawIm_;  // values as the file stores them
};

// A time axis by its name alone: "t", "time", or Simulink's "tout".
bool IsTimeName(const std::string& name) {
    const std::string l = Lower(name);
    return l == "t" || l == "time" || l == "tout";
}

// A name like "simtime", which is a time axis only when it increases (a
// "deadtime" is none).
bool EndsInTime(const std::string& name) {
    const std::string l = Lower(name);
    return l.size() >= 4 && l.compare(l.size() - 4, 4, "time") == 0;
}

void Reader::Classify(matvar_t* v) {
    std::string name = v->name ? v->name : "";
    if (v->class_type == MAT_C_OPAQUE && name.empty() && classdefsSeen_ < classdefs_.size()) {
        const auto& [own, cls] = classdefs_[classdefsSeen_++];
        // Simulink's logs have a word of advice of their own.
        if (!own.empty() && !cls.empty() && cls.rfind("Simulink.", 0) != 0 && cls != "timeseries") {
            Skip("MATLAB " + cls + " objects", own);
            return;
        }
        name = own;
    }
    // MATLAB's own housekeeping (the objects' subsystem, HDF5 references).
    if (name.empty() || name[0] == '#' || name == "__function_workspace__") return;
    switch (v->class_type) {
        case MAT_C_CELL:
            if (name != kNamesVariable) Skip("cell arrays", name);
            return;
        case MAT_C_CHAR:
            Skip("strings", name);
            return;
        case MAT_C_SPARSE:
            Skip("sparse arrays", name);
            return;
        case MAT_C_OBJECT:
        case MAT_C_OPAQUE:
        case MAT_C_FUNCTION:
        case MAT_C_EMPTY:
            objects_.push_back(name);
            return;
        case MAT_C_STRUCT:
            structs_.push_back(name);
            return;
        default:
            break;
    }
    if (!IsNumericClass(v->class_type)) {
        Skip("arrays of unknown kind", name);
        return;
    }
    if (v->rank != 2) {
        Skip("arrays of more than two dimensions", name);
        return;
    }
    if (ElementsOf(v) == 0) {
        Skip("empty arrays", name);
        return;
    }
    Source s;
    s.name = s.fileName = name;
    s.info = v;
    s.rows = static_cast<std::int64_t>(std::max(v->dims[0], v->dims[1]));
    s.columns = static_cast<std::int64_t>(std::min(v->dims[0], v->dims[1]));
    s.byRows = v->dims[0] < v->dims[1];
    s.order = static_cast<int>(sources_.size());
    sources_.push_back(s);
}

// True when a field read whole holds all the values its dimensions promise.
bool HasData(const matvar_t* v) {
    if (!v || !v->data || !IsNumericClass(v->class_type) || v->rank != 2) return false;
    if (v->isComplex) {
        const auto* split = static_cast<const mat_complex_split_t*>(v->data);
        if (!split->Re || !split->Im) return false;
    }
    return v->nbytes >= SatMul(ElementsOf(v), ClassBytes(v->class_type));
}

// Simulink's "Structure With Time": time, and signals(s).values with a
// column per element of the signal, named by its label.
void Reader::AddSimulink(matvar_t* whole) {
    const std::string name = whole->name ? whole->name : "";
    matvar_t* time = Field(whole, "time", 0);
    matvar_t* signals = Field(whole, "signals", 0);
    const bool timeOk = HasData(time) && !time->isComplex &&
                        std::min(time->dims[0], time->dims[1]) == 1 && ElementsOf(time) > 1;
    if (!timeOk || !signals || signals->class_type != MAT_C_STRUCT) {
        Skip("structures", name);
        return;
    }
    const std::int64_t rows = static_cast<std::int64_t>(ElementsOf(time));
    if (!simulinkTime_) {
        Source t;
        t.name = t.fileName = "time";
        t.info = time;
        t.inMemory = true;
        t.rows = rows;
        t.columns = 1;
        t.order = static_cast<int>(sources_.size());
        t.isX = true;
        sources_.push_back(t);
        simulinkTime_ = true;
    }
    const size_t count = static_cast<size_t>(ElementsOf(signals));
    for (size_t i = 0; i < count; ++i) {
        matvar_t* values = Field(signals, "values", i);
        std::string label = CharText(Field(signals, "label", i));
        if (label.empty()) label = CharText(Field(signals, "blockName", i));
        if (label.empty()) label = Format("%s(%zu)", name.c_str(), i + 1);
        if (!HasData(values) || static_cast<std::int64_t>(values->dims[0]) != rows) {
            Skip("signals not of one value per time step", label);
            continue;
        }
        Source s;
        s.name = label;
        s.fileName = name;
        s.info = values;
        s.inMemory = true;
        s.rows = rows;
        s.columns = static_cast<std::int64_t>(values->dims[1]);
        s.order = static_cast<int>(sources_.size());
        sources_.push_back(s);
    }
}

// Our own writer's table of names: MATLAB name and the name it stands for.
void Reader::ReadNames() {
    if (!hasNames_) return;
    const matvar_t* info = nullptr;
    for (const auto& v : infos_)
        if (v->name && kNamesVariable == std::string(v->name)) info = v.get();
    matioSaid.clear();
    VarPtr cells(ReadWhole(info));
    if (!cells || cells->class_type != MAT_C_CELL || cells->rank != 2 || cells->dims[1] != 2)
        return;
    const size_t rows = cells->dims[0];
    for (size_t r = 0; r < rows; ++r) {
        const std::string matlab = CharText(Cell(cells.get(), static_cast<int>(r)));
        const std::string own = CharText(Cell(cells.get(), static_cast<int>(rows + r)));
        if (!matlab.empty() && !own.empty()) names_.emplace_back(matlab, own);
    }
}

// Structures are read whole once the list of variables is known: only
// Simulink's logs among them give columns.
void Reader::ReadStructs() {
    for (const std::string& name : structs_) {
        const matvar_t* info = nullptr;
        std::uint64_t footprint = 0;
        for (size_t i = 0; i < infos_.size(); ++i) {
            if (!infos_[i]->name || name != infos_[i]->name) continue;
            info = infos_[i].get();
            footprint = child_ ? footprints_[i] : Footprint(info);
        }
        if (!info || SatMul(footprint, 9) > limit_) {
            Skip("structures too large for the memory available", name);
            continue;
        }
        VarPtr whole(ReadWhole(info));
        if (!whole || whole->class_type != MAT_C_STRUCT || ElementsOf(whole.get()) != 1 ||
            !Field(whole.get(), "time", 0) || !Field(whole.get(), "signals", 0)) {
            Skip("structures", name);
            continue;
        }
        AddSimulink(whole.get());
        wholes_.push_back(std::move(whole));
    }
}

// An array read by element index must be within reach of matio's int indices.
bool Reader::Check(const Source& s) {
    // Counts against the file's size were checked by CutShort before matio saw the file.
    if (Linear(s) &&
        ElementsOf(s.info) > static_cast<std::uint64_t>(std::numeric_limits<int>::max()))
        return Refuse(
            Format("The array %s holds more values than this program reads.", s.fileName.c_str()));
    return true;
}

// Opens the file in this process, or a level 7.3 file in a child, and lists
// its variables into infos_; false when refused.
bool Reader::Open(std::string& damage) {
    unsigned char head[128] = {};
    if (FilePtr f{std::fopen(path_.c_str(), "rb"), std::fclose};
        f && fileSize_ >= 128 && ReadAt(f.get(), 0, head, 128)) {
        // matio's own test: the version, read by the endian mark.
        const bool level73 =
            (head[126] == 'I' && head[127] == 'M' && head[124] == 0x00 && head[125] == 0x02) ||
            (head[126] == 'M' && head[127] == 'I' && head[124] == 0x02 && head[125] == 0x00);
        if (level73) return OpenInChild(damage);
    }
    std::vector<Retype> retype;
    const std::string cut = CutShort(path_, fileSize_, limit_, retype, classdefs_);
    if (!cut.empty()) return Refuse(cut);
    std::string matioPath = path_;
    if (!retype.empty()) {
        retyped_ = Retyped(path_, fileSize_, retype, limit_);
        if (!retyped_)
            return Refuse(
                "Its dimensions are stored as unsigned numbers, and there is no room for the "
                "corrected copy that matio could read.");
        matioPath = "/proc/self/fd/" + std::to_string(fileno(retyped_.get()));
    }
    matioSaid.clear();
    mat_.reset(Mat_Open(matioPath.c_str(), MAT_ACC_RDONLY));
    if (!mat_)
        return Refuse("It is not a MAT file that this program can read" +
                      (matioSaid.empty() ? std::string(".") : " (" + matioSaid + ")."));
    if (!Progress(0)) return false;
    matioSaid.clear();
    while (matvar_t* next = Mat_VarReadNextInfo(mat_.get())) infos_.emplace_back(next);
    damage = matioSaid;
    return true;
}

bool Reader::OpenInChild(std::string& damage) {
    child_ = std::make_unique<ChildReader>();
    ChildReader::Limits limits;
    // Structures are read whole there, within the memory a reader may fill.
    limits.memory = std::min<std::uint64_t>(limit_, std::uint64_t{1} << 40) + (256 << 20);
    limits.silentSeconds = hangSeconds_;
    const std::string path = path_;
    if (!child_->Start([path](int fd) { ServeLevel73(fd, path); }, limits))
        return Refuse("A level 7.3 MAT file is read in a process of its own, which " +
                      child_->Failure() + ".");
    std::uint64_t opened = 0;
    std::string said;
    if (!TakeU64(*child_, opened) || !TakeText(*child_, said)) return RefuseChild();
    if (opened != 1)
        return Refuse("It is not a MAT file that this program can read" +
                      (said.empty() ? std::string(".") : " (" + said + ")."));
    if (!Progress(0)) return false;
    for (std::uint64_t more = 0;;) {
        if (!TakeU64(*child_, more) || more > 1) return RefuseChild();
        if (more == 0) return TakeText(*child_, damage) || RefuseChild();
        Head h;
        std::uint64_t footprint = 0;
        if (infos_.size() >= kMaxVariables || !TakeHead(*child_, h) || !TakeU64(*child_, footprint))
            return RefuseChild();
        infos_.emplace_back(MakeVar(h));
        footprints_.push_back(footprint);
        if (!infos_.back()) return Refuse("There is not enough memory for its variables.");
    }
}

// The variable `info` describes, read whole.
VarPtr Reader::ReadWhole(const matvar_t* info) {
    if (!info || !info->name) return nullptr;
    if (!child_) return VarPtr(Mat_VarRead(mat_.get(), info->name));
    std::uint64_t index = 0;
    while (infos_[index].get() != info) ++index;
    const std::uint64_t ask[6] = {kAskWhole, index, 0, 0, 0, 0};
    std::uint64_t budget = limit_;
    VarPtr whole;
    if (!child_->Send(ask, sizeof ask) || !TakeTree(*child_, 0, budget, whole)) {
        childBroken_ = true;
        whole.reset();
    }
    return whole;
}

// Mat_VarReadData, in this process or the child; 0 when read.
int Reader::ReadData(const Source& s, void* into, int* start, int* edge) {
    if (!child_) {
        int stride[2] = {1, 1};
        return Mat_VarReadData(mat_.get(), s.info, into, start, stride, edge);
    }
    if (childBroken_) return -1;
    std::uint64_t index = 0;
    while (infos_[index].get() != s.info) ++index;
    const std::uint64_t ask[6] = {kAskData,
                                  index,
                                  static_cast<std::uint64_t>(start[0]),
                                  static_cast<std::uint64_t>(start[1]),
                                  static_cast<std::uint64_t>(edge[0]),
                                  static_cast<std::uint64_t>(edge[1])};
    const size_t bytes = static_cast<size_t>(edge[0]) * static_cast<size_t>(edge[1]) *
                         ClassBytes(s.info->class_type);
    void* re = into;
    void* im = nullptr;
    if (s.info->isComplex) {
        re = static_cast<mat_complex_split_t*>(into)->Re;
        im = static_cast<mat_complex_split_t*>(into)->Im;
    }
    std::uint64_t read = 0;
    if (!child_->Send(ask, sizeof ask) || !TakeU64(*child_, read) || read > 1 ||
        (read && (!child_->Receive(re, bytes) || (im && !child_->Receive(im, bytes))))) {
        childBroken_ = true;
        return -1;
    }
    return read ? 0 : 1;
}

// Rows r0 .. r0 + len of a column of `s` as doubles, the imaginary parts into
// `im` when complex; false when the file would not give them.
bool Reader::ReadRows(const Source& s, std::int64_t column, std::int64_t r0, std::int64_t len,
                      double* re, double* im) {
    const matio_classes cls = s.info->class_type;
    const size_t width = ClassBytes(cls);
    const size_t n = static_cast<size_t>(len);
    if (s.inMemory) {
        const size_t at = static_cast<size_t>(column * s.rows + r0) * width;
        if (im) {
            const auto* split = static_cast<const mat_complex_split_t*>(s.info->data);
            ToDouble(cls, static_cast<const char*>(split->Re) + at, n, re);
            ToDouble(cls, static_cast<const char*>(split->Im) + at, n, im);
        } else {
            ToDouble(cls, static_cast<const char*>(s.info->data) + at, n, re);
        }
        return true;
    }
    int start[2], edge[2];
    start[0] = static_cast<int>(s.byRows ? column : r0);
    start[1] = static_cast<int>(s.byRows ? r0 : column);
    edge[0] = s.byRows ? 1 : static_cast<int>(len);
    edge[1] = s.byRows ? static_cast<int>(len) : 1;
    const bool direct = cls == MAT_C_DOUBLE && !im;
    if (!direct) raw_.resize(n * width);
    if (im) rawIm_.resize(n * width);
    mat_complex_split_t split{raw_.data(), rawIm_.data()};
    void* into = direct ? static_cast<void*>(re)
                 : im   ? static_cast<void*>(&split)
                        : static_cast<void*>(raw_.data());
    matioSaid.clear();
    int failed;
    if (Linear(s)) {
        // matio 1.5.23 reads the first column for any column of an
        // uncompressed matrix through Mat_VarReadData.
        const std::int64_t across = s.byRows ? static_cast<std::int64_t>(s.columns) : 1;
        const std::int64_t from = s.byRows ? column + r0 * across : column * s.rows + r0;
        failed = Mat_VarReadDataLinear(mat_.get(), s.info, into, static_cast<int>(from),
                                       static_cast<int>(across), static_cast<int>(len));
    } else {
        failed = ReadData(s, into, start, edge);
    }
    if (failed != 0) return false;
    if (!direct) ToDouble(cls, raw_.data(), n, re);
    if (im) ToDouble(cls, rawIm_.data(), n, im);
    return true;
}

// True when the values of the vector `s` increase strictly, all of them finite.
bool Reader::Rising(Source& s) {
    if (s.rising >= 0) return s.rising == 1;
    s.rising = 0;
    if (Linear(s) &&
        ElementsOf(s.info) > static_cast<std::uint64_t>(std::numeric_limits<int>::max()))
        return false;
    const std::int64_t step = Chunked(s) ? kChunkRows : s.rows;
    // A compressed array is read whole: not when it would not fit.
    if (SatMul(static_cast<std::uint64_t>(step), sizeof(double) + ClassBytes(s.info->class_type)) >
        limit_)
        return false;
    std::vector<double> values(static_cast<size_t>(std::min(step, s.rows)));
    double last = -std::numeric_limits<double>::infinity();
    for (std::int64_t r0 = 0; r0 < s.rows; r0 += step) {
        const std::int64_t len = std::min(step, s.rows - r0);
        if (!ReadRows(s, 0, r0, len, values.data(), nullptr)) return false;
        for (std::int64_t i = 0; i < len; ++i) {
            const double v = values[static_cast<size_t>(i)];
            if (!(v > last) || !std::isfinite(v)) return false;
            last = v;
        }
    }
    s.rising = 1;
    return true;
}

bool Reader::Fill(const Source& s, std::int64_t column, CResultData& set, std::int32_t first,
                  bool complex, bool& bad) {
    const std::int64_t rows = s.rows;
    double* values = set.Variable(first)->Values();
    std::uint8_t* flags = set.Variable(first)->Flags();
    double* phase = complex ? set.Variable(first + 1)->Values() : nullptr;
    std::uint8_t* phaseFlags = complex ? set.Variable(first + 1)->Flags() : nullptr;
    const std::int64_t step = Chunked(s) ? kChunkRows : rows;
    std::vector<double> im(complex ? static_cast<size_t>(std::min(rows, step)) : 0);
    for (std::int64_t r0 = 0; r0 < rows; r0 += step) {
        const std::int64_t len = std::min(step, rows - r0);
        const size_t n = static_cast<size_t>(len);
        double* re = values + r0;
        if (!ReadRows(s, column, r0, len, re, complex ? im.data() : nullptr)) {
            if (childBroken_) return RefuseChild();
            return Refuse(
                Format("The values of %s cannot be read: the file is damaged or "
                       "cut short.",
                       s.fileName.c_str()));
        }
        for (size_t i = 0; i < n; ++i) {
            if (complex) {
                ToPolar(re[i], im[i], re[i], phase[r0 + static_cast<std::int64_t>(i)]);
                const bool okPhase = std::isfinite(phase[r0 + static_cast<std::int64_t>(i)]);
                phaseFlags[r0 + static_cast<std::int64_t>(i)] =
                    okPhase ? kPointValid : kPointInvalid;
                bad |= !okPhase;
            }
            const bool ok = std::isfinite(re[i]);
            flags[r0 + static_cast<std::int64_t>(i)] = ok ? kPointValid : kPointInvalid;
            bad |= !ok;
        }
        workDone_ += len;
        if (!Progress(work_ > 0 ? static_cast<std::int64_t>(static_cast<double>(fileSize_) *
                                                            static_cast<double>(workDone_) /
                                                            static_cast<double>(work_))
                                : fileSize_))
            return false;
    }
    return true;
}

std::string ColumnName(const std::string& name, std::int64_t k, std::int64_t columns) {
    return columns > 1 ? Format("%s(%lld)", name.c_str(), static_cast<long long>(k + 1)) : name;
}

bool Reader::Run(CResultDataRef& data) {
    QuietMatio();
    std::error_code ec;
    fileSize_ = static_cast<std::int64_t>(std::filesystem::file_size(path_, ec));
    if (ec) return Refuse(Format("Cannot open \"%s\": %s.", path_.c_str(), ec.message().c_str()));
    limit_ = MemoryLimit(options_.memoryLimit);
    if (!ListVariables()) return false;
    OrderByOwnNames();
    Source* x = ChooseX();
    if (childBroken_) return RefuseChild();
    const std::string skipped = SkippedText(x);
    if (!x)
        return Refuse("The MAT file holds no real numeric vector or matrix" +
                      (skipped.empty() ? std::string(".") : " (it holds " + skipped + ")."));
    x->isX = true;
    const std::int64_t rows = x->rows;
    if (rows > std::numeric_limits<std::int32_t>::max())
        return Refuse(Format("The array %s holds %lld rows, more than this program reads.",
                             x->fileName.c_str(), static_cast<long long>(rows)));
    std::string others;
    const std::vector<Source*> taken = ArraysOfLength(*x, others);
    std::int64_t columns = 0;
    if (!CountColumns(taken, rows, columns)) return false;
    CResultDataRef fresh;
    std::string renamed;
    if (!FillColumns(taken, rows, columns, fresh, renamed)) return false;
    NoteLeftOut(*x, others, skipped, renamed);
    data = fresh;
    return true;
}

// Opens the file, sorts its variables into sources and reads the structures
// and our own names; false when refused.
bool Reader::ListVariables() {
    std::string damage;
    if (!Open(damage)) return false;
    for (const VarPtr& next : infos_) {
        if (next->name && next->class_type == MAT_C_CELL &&
            kNamesVariable == std::string(next->name))
            hasNames_ = true;
        Classify(next.get());
    }
    if (infos_.empty())
        return Refuse(!damage.empty() ? "The MAT file is damaged: " + damage + "."
                      // HDF5 opens no file that is cut short, and matio does not say so.
                      : child_ ? "The MAT file holds no variables that HDF5 can open: it is "
                                 "damaged or cut short."
                               : "The MAT file holds no variables.");
    if (!damage.empty())
        Note("The MAT file ends in a damaged variable (" + damage +
             "); the variables before it are read.");
    ReadStructs();
    ReadNames();
    if (childBroken_) return RefuseChild();
    return true;
}

// A file we wrote names its arrays in our order: they take their own names
// and come first, in that order.
void Reader::OrderByOwnNames() {
    for (Source& s : sources_) {
        if (s.inMemory) continue;
        for (size_t j = 0; j < names_.size(); ++j) {
            if (names_[j].first != s.fileName) continue;
            s.name = names_[j].second;
            s.order = static_cast<int>(j) - static_cast<int>(names_.size());
            if (j == 0 && !simulinkTime_ && s.columns == 1 && !s.info->isComplex) s.isX = true;
        }
    }
    std::stable_sort(sources_.begin(), sources_.end(),
                     [](const Source& a, const Source& b) { return a.order < b.order; });
}

// X: Simulink's time or our own first column, else a vector named t, time or
// tout, else one whose name ends in time and which increases, else the first
// that increases, else the first vector, else a matrix's first column.
Source* Reader::ChooseX() {
    auto vector = [](const Source& s) {
        return s.columns == 1 && s.rows > 1 && (s.inMemory || !s.info->isComplex);
    };
    Source* x = nullptr;
    for (Source& s : sources_)
        if (!x && s.isX) x = &s;
    for (Source& s : sources_)
        if (!x && vector(s) && IsTimeName(s.name)) x = &s;
    for (Source& s : sources_)
        if (!x && vector(s) && EndsInTime(s.name) && Rising(s)) x = &s;
    for (Source& s : sources_)
        if (!x && vector(s) && Rising(s)) x = &s;
    for (Source& s : sources_)
        if (!x && vector(s)) x = &s;
    for (Source& s : sources_)
        if (!x && s.rows > 1 && !s.inMemory && !s.info->isComplex) x = &s;
    return x;
}

// What is not read, by kind ("single values a, b; ..."); without an X, all
// the file holds.
std::string Reader::SkippedText(const Source* x) {
    if (!x) {
        for (const Source& s : sources_)
            Skip(s.info->isComplex ? "complex arrays" : "single values", s.name);
        for (const std::string& o : objects_) Skip("MATLAB objects", o);
    }
    std::string skipped;
    for (const auto& [what, list] : skipped_)
        skipped += (skipped.empty() ? "" : "; ") + what + " " + list;
    return skipped;
}

// X and the arrays with a side of its length, which give its columns; the
// others are listed in `others` with their sizes.
std::vector<Source*> Reader::ArraysOfLength(Source& x, std::string& others) {
    const std::int64_t rows = x.rows;
    std::vector<Source*> taken{&x};
    for (Source& s : sources_) {
        if (&s == &x) continue;
        if (!s.inMemory) {
            const auto d0 = static_cast<std::int64_t>(s.info->dims[0]);
            const auto d1 = static_cast<std::int64_t>(s.info->dims[1]);
            if (d0 == rows || d1 == rows) {
                s.byRows = d0 != rows;
                s.columns = s.byRows ? d0 : d1;
                s.rows = rows;
            } else {
                others += Format("%s%s (%lldx%lld)", others.empty() ? "" : ", ", s.name.c_str(),
                                 static_cast<long long>(d0), static_cast<long long>(d1));
                continue;
            }
        } else if (s.rows != rows) {
            others += (others.empty() ? "" : ", ") + s.name;
            continue;
        }
        taken.push_back(&s);
    }
    return taken;
}

// The variables the taken arrays give, refused when they are more than a
// data set holds or than the memory takes.
bool Reader::CountColumns(const std::vector<Source*>& taken, std::int64_t rows,
                          std::int64_t& columns) {
    columns = 0;
    for (const Source* s : taken) {
        if (!Check(*s)) return false;
        const bool complex = s->info->isComplex != 0;
        columns += s->columns * (complex ? 2 : 1);
        work_ += s->columns * rows;
    }
    if (columns > std::numeric_limits<std::int32_t>::max())
        return Refuse("The MAT file holds more variables than this program reads.");
    const std::uint64_t need =
        SatMul(SatMul(static_cast<std::uint64_t>(rows), static_cast<std::uint64_t>(columns)),
               sizeof(double) + 1);
    if (need > limit_)
        return Refuse(
            Format("Its %lld rows of %lld variables need %llu MB, more than the %llu "
                   "MB of memory available.",
                   static_cast<long long>(rows), static_cast<long long>(columns),
                   static_cast<unsigned long long>(need >> 20),
                   static_cast<unsigned long long>(limit_ >> 20)));
    return true;
}

// Reads the taken arrays into `fresh`, complex ones as amplitude and phase;
// names used twice are told in `renamed`.
bool Reader::FillColumns(const std::vector<Source*>& taken, std::int64_t rows, std::int64_t columns,
                         CResultDataRef& fresh, std::string& renamed) {
    if (!Allocate(fresh, columns, rows)) return false;
    CResultData& set = *fresh.Get();
    std::lock_guard<std::recursive_mutex> hold(set.Lock());
    UniqueNames names(set);
    BackColumns(set, rows, WorkerCount());
    bool bad = false;
    std::vector<std::int32_t> phases;
    for (const Source* s : taken) {
        const bool complex = s->info->isComplex != 0;
        for (std::int64_t k = 0; k < s->columns; ++k) {
            const std::string base = ColumnName(s->name, k, s->columns);
            const std::int32_t first = names.Count();
            if (complex) {
                names.Add("amp(" + base + ")");
                names.Add("phase(" + base + ")");
                phases.push_back(first + 1);
            } else {
                names.Add(base);
            }
            if (!Fill(*s, k, set, first, complex, bad)) return false;
        }
    }
    FinishColumns(set, rows, phases, options_.unwrapPhase, bad);
    renamed = names.Renamed();
    return true;
}

void Reader::NoteLeftOut(const Source& x, const std::string& others, const std::string& skipped,
                         const std::string& renamed) {
    if (!others.empty())
        Note(Format("Not read, as their length is not the %lld rows of %s: ",
                    static_cast<long long>(x.rows), x.name.c_str()) +
             others + ".");
    if (!skipped.empty()) Note("Not read: " + skipped + ".");
    if (!objects_.empty()) {
        std::string list;
        for (const std::string& o : objects_) list += (list.empty() ? "" : ", ") + o;
        Note("Not read: " + list +
             " (MATLAB objects, such as Simulink's Dataset and timeseries logs, which this "
             "program cannot decode; log to the workspace as \"Structure With Time\" to read "
             "them).");
    }
    if (!renamed.empty()) Note("Names used twice, read as: " + renamed + ".");
}

// A valid MATLAB name for `name` that `used` does not hold yet (ignoring case,
// so that the file reads back into a program that ignores it too).
std::string MatlabName(const std::string& name, std::set<std::string>& used) {
    static const std::set<std::string> keywords = {
        "break",      "case",   "catch",    "classdef", "continue", "else",      "elseif",
        "end",        "for",    "function", "global",   "if",       "otherwise", "parfor",
        "persistent", "return", "spmd",     "switch",   "try",      "while"};
    std::string out;
    for (const char c : name) {
        const bool word =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (word)
            out += c;
        else if (!out.empty() && out.back() != '_')
            out += '_';
    }
    while (!out.empty() && out.back() == '_') out.pop_back();
    if (out.empty() || !((out[0] >= 'a' && out[0] <= 'z') || (out[0] >= 'A' && out[0] <= 'Z')))
        out = "x" + out;
    if (keywords.count(out)) out += "_";
    if (out.size() > kMaxMatlabName) out.resize(kMaxMatlabName);
    std::string candidate = out;
    for (int i = 2; used.count(Lower(candidate)) || Lower(candidate) == kNamesVariable; ++i) {
        const std::string tail = Format("_%d", i);
        candidate = out.substr(0, kMaxMatlabName - tail.size()) + tail;
    }
    used.insert(Lower(candidate));
    return candidate;
}

matvar_t* CharVariable(const std::string& text) {
    std::vector<std::uint16_t> units = Utf16(text);
    size_t dims[2] = {1, units.size()};
    // matio copies the data.
    return Mat_VarCreate(nullptr, MAT_C_CHAR, MAT_T_UINT16, 2, dims, units.data(), 0);
}

}  // namespace

bool LooksLikeMatFile(std::string_view head, const std::string& path) {
    if (head.rfind("MATLAB 7.3 MAT-file", 0) == 0) return true;
    // Level 7.3 is HDF5 after a 512-byte header, whatever the header's text says.
    constexpr std::string_view kHdf5("\x89HDF\r\n\x1a\n", 8);
    char signature[8] = {};
    if (head.size() >= 520) {
        std::memcpy(signature, head.data() + 512, 8);
    } else if (head.size() >= 128) {
        FilePtr f(std::fopen(path.c_str(), "rb"), std::fclose);
        if (f && !ReadAt(f.get(), 512, signature, 8)) signature[0] = 0;
    }
    if (std::string_view(signature, 8) == kHdf5) return true;
    if (head.size() >= 128) {
        const auto at = [&](size_t i) { return static_cast<unsigned char>(head[i]); };
        if (at(124) == 0x00 && at(125) == 0x01 && at(126) == 'I' && at(127) == 'M') return true;
        if (at(124) == 0x01 && at(125) == 0x00 && at(126) == 'M' && at(127) == 'I') return true;
    }
    const std::string ext = Lower(std::filesystem::path(path).extension().string());
    return ext == ".mat" && LooksLikeLevel4(head);
}

bool ReadMatFile(const std::string& path, CResultDataRef& data, UserMessages& messages,
                 const BinaryReadOptions& options, std::vector<std::string>* notes,
                 int hangSeconds) {
    Reader reader(path, messages, options, notes, hangSeconds);
    return reader.Run(data);
}

bool WriteMatFile(const CResultData& data, const std::string& path, UserMessages& messages) {
    QuietMatio();
    const std::int32_t count = data.VariableCount();
    const std::int32_t rows = data.RowCount();
    SafeFile out;
    if (!out.Open(path)) {
        messages.Show(out.Error(), MessageIcon::Stop);
        return false;
    }
    matioSaid.clear();
    MatPtr mat(Mat_CreateVer(out.TempPath().c_str(), nullptr, MAT_FT_MAT5));
    auto fail = [&](const std::string& what) {
        messages.Show(Format("Cannot write \"%s\": %s.", path.c_str(),
                             (what + (matioSaid.empty() ? "" : " (" + matioSaid + ")")).c_str()),
                      MessageIcon::Stop);
        return false;
    };
    if (!mat) return fail("the MAT file cannot be created");
    std::set<std::string> used;
    std::vector<std::pair<std::string, std::string>> names;
    std::vector<double> column;
    for (std::int32_t i = 0; i < count; ++i) {
        const CResultVariable* v = data.Variable(i);
        const std::string own = v->HasName() ? v->Name() : Format("Graph(%d)", i);
        const std::string matlab = MatlabName(own, used);
        names.emplace_back(matlab, own);
        const double* values = v->Values();
        const std::uint8_t* flags = v->Flags();
        const bool allValid =
            std::all_of(flags, flags + rows, [](std::uint8_t f) { return f == kPointValid; });
        if (!allValid) {
            column.assign(values, values + rows);
            for (std::int32_t r = 0; r < rows; ++r)
                if (flags[r] != kPointValid) column[static_cast<size_t>(r)] = std::nan("");
            values = column.data();
        }
        size_t dims[2] = {static_cast<size_t>(rows), 1};
        VarPtr var(Mat_VarCreate(matlab.c_str(), MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims,
                                 const_cast<double*>(values), MAT_F_DONT_COPY_DATA));
        if (!var || Mat_VarWrite(mat.get(), var.get(), MAT_COMPRESSION_ZLIB) != 0)
            return fail("matio could not write " + matlab);
    }
    size_t dims[2] = {names.size(), 2};
    VarPtr cells(Mat_VarCreate(kNamesVariable, MAT_C_CELL, MAT_T_CELL, 2, dims, nullptr, 0));
    if (!cells) return fail("out of memory");
    for (size_t r = 0; r < names.size(); ++r) {
        Mat_VarSetCell(cells.get(), static_cast<int>(r), CharVariable(names[r].first));
        Mat_VarSetCell(cells.get(), static_cast<int>(names.size() + r),
                       CharVariable(names[r].second));
    }
    if (Mat_VarWrite(mat.get(), cells.get(), MAT_COMPRESSION_ZLIB) != 0)
        return fail("matio could not write the names");
    if (Mat_Close(mat.release()) != 0) return fail("the MAT file cannot be closed");
    if (!out.Commit()) {
        messages.Show(out.Error(), MessageIcon::Stop);
        return false;
    }
    return true;
}

}  // namespace kurvex
