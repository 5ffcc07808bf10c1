#include "data/formats/RawFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>

#include "data/formats/BinaryReading.h"
#include "data/platform/ByteSource.h"
#include "data/platform/NameText.h"
#include "data/platform/NumberText.h"
#include "data/platform/Workers.h"

namespace kurvex {

namespace {

// Header and variable lines longer than this are no header lines.
constexpr size_t kMaxLine = 64 * 1024;
// Text tokens longer than this are no numbers.
constexpr size_t kMaxToken = 128;
constexpr std::int64_t kChunkBytes = 1 << 20;
constexpr std::uint32_t kReplacement = 0xFFFD;

// Random access to the file's bytes, read whole or not at all.
class Source {
public:
    Source(const ByteSource& bytes, const std::string& name) : bytes_(bytes), name_(name) {}
    std::int64_t Size() const { return bytes_.Size(); }
    // Reads exactly n bytes at `at` (inside the file); false on a read error.
    bool ReadAt(std::int64_t at, char* buffer, std::int64_t n) {
        const std::int64_t got = bytes_.ReadAt(at, buffer, n);
        if (got == n) return true;
        error_ = Format("Cannot read \"%s\": %s.", name_.c_str(),
                        got < 0 ? std::strerror(errno) : "the file became shorter");
        return false;
    }
    std::string Error() const { return error_; }

private:
    const ByteSource& bytes_;
    const std::string& name_;
    std::string error_;
};

enum class Encoding { Bytes, Utf16LE, Utf16BE };

// Tells the header's encoding from the first bytes; `skip` is the length of
// a byte-order mark.
Encoding DetectEncoding(std::string_view head, std::int64_t& skip) {
    skip = 0;
    auto at = [&](size_t i) { return i < head.size() ? static_cast<unsigned char>(head[i]) : 1; };
    if (at(0) == 0xFF && at(1) == 0xFE) {
        skip = 2;
        return Encoding::Utf16LE;
    }
    if (at(0) == 0xFE && at(1) == 0xFF) {
        skip = 2;
        return Encoding::Utf16BE;
    }
    if (at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
        skip = 3;
        return Encoding::Bytes;
    }
    if (head.size() >= 2 && at(0) != 0 && at(1) == 0) return Encoding::Utf16LE;
    if (head.size() >= 2 && at(0) == 0 && at(1) != 0) return Encoding::Utf16BE;
    return Encoding::Bytes;
}

bool IsSpace(int c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

int Lower(int c) {
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (Lower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
    }
    return true;
}

std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && IsSpace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && IsSpace(static_cast<unsigned char>(s[e - 1]))) --e;
    return std::string(s.substr(b, e - b));
}

// Reads the text parts of the file character by character through a window
// of buffered bytes; characters are bytes or UTF-16 code units.
class Cursor {
public:
    Cursor(Source& source, Encoding encoding) : source_(source), encoding_(encoding) {}

    std::int64_t Offset() const { return at_; }
    void Seek(std::int64_t at) { at_ = at; }
    int Unit() const { return encoding_ == Encoding::Bytes ? 1 : 2; }
    bool Failed() const { return failed_; }

    // The next character, or -1 at the end of the file (or on a read error).
    int Next() {
        const int c = Peek();
        if (c >= 0) at_ += Unit();
        return c;
    }
    int Peek() {
        if (encoding_ == Encoding::Bytes) return Byte(at_);
        const int a = Byte(at_), b = Byte(at_ + 1);
        if (a < 0 || b < 0) return -1;
        return encoding_ == Encoding::Utf16LE ? a | b << 8 : a << 8 | b;
    }
    // Skips spaces, tabs and line ends.
    void SkipSpace() {
        while (IsSpace(Peek())) Next();
    }
    // The next line without its line end, as UTF-8 for a UTF-16 file; false
    // at the end of the file. `tooLong` is set when it exceeds kMaxLine.
    bool Line(std::string& line, bool& tooLong) {
        line.clear();
        tooLong = false;
        int c = Next();
        if (c < 0) return false;
        std::uint32_t high = 0;  // a pending UTF-16 high surrogate
        for (; c >= 0 && c != '\n'; c = Next()) {
            if (line.size() >= kMaxLine) {
                tooLong = true;
                continue;
            }
            const bool low = c >= 0xDC00 && c < 0xE000;
            // A surrogate without its partner right beside it stands alone.
            if (high && !low) AppendUtf8(line, kReplacement);
            if (encoding_ == Encoding::Bytes || c < 0x80) {
                line += static_cast<char>(c);
                high = 0;
            } else if (c >= 0xD800 && c < 0xDC00) {
                high = static_cast<std::uint32_t>(c);
            } else if (low) {
                AppendUtf8(line,
                           high ? 0x10000 + ((high - 0xD800) << 10) + (c - 0xDC00) : kReplacement);
                high = 0;
            } else {
                AppendUtf8(line, static_cast<std::uint32_t>(c));
                high = 0;
            }
        }
        if (high) AppendUtf8(line, kReplacement);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }
    // The next token of a values part (separated by blanks, line ends and
    // commas) into `token`; false at the end of the file.
    bool Token(std::string& token) {
        token.clear();
        int c;
        while ((c = Peek()) >= 0 && (IsSpace(c) || c == ',')) Next();
        if (c < 0) return false;
        tokenStart_ = at_;
        while ((c = Peek()) >= 0 && !IsSpace(c) && c != ',') {
            if (token.size() <= kMaxToken) token += c < 0x80 ? static_cast<char>(c) : '?';
            Next();
        }
        return true;
    }
    // Where the last token began.
    std::int64_t TokenStart() const { return tokenStart_; }
    // The line (from 1) that holds the character at `offset`; counted only
    // when a fault is reported.
    long long LineOf(std::int64_t offset) {
        const std::int64_t keep = at_;
        long long line = 1;
        for (at_ = 0; at_ < offset;) {
            const int c = Next();
            if (c < 0) break;
            if (c == '\n') ++line;
        }
        at_ = keep;
        return line;
    }
    // True when a plot header ("Title:" or "Plotname:") begins here.
    bool AtPlotStart() {
        const std::int64_t keep = at_;
        std::string word;
        for (int i = 0; i < 9; ++i) {
            const int c = Next();
            if (c < 0 || c >= 0x80) break;
            word += static_cast<char>(c);
        }
        at_ = keep;
        return StartsWithNoCase(word, "title:") || StartsWithNoCase(word, "plotname:");
    }

private:
    int Byte(std::int64_t at) {
        if (at >= base_ && at < base_ + static_cast<std::int64_t>(buffer_.size()))
            return static_cast<unsigned char>(buffer_[static_cast<size_t>(at - base_)]);
        const std::int64_t size = source_.Size();
        if (at < 0 || at >= size) return -1;
        const std::int64_t n = std::min<std::int64_t>(kWindow, size - at);
        buffer_.resize(static_cast<size_t>(n));
        if (!source_.ReadAt(at, buffer_.data(), n)) {
            failed_ = true;
            buffer_.clear();
            return -1;
        }
        base_ = at;
        return static_cast<unsigned char>(buffer_[0]);
    }

    static constexpr std::int64_t kWindow = 64 * 1024;
    Source& source_;
    Encoding encoding_;
    std::int64_t at_ = 0;
    std::int64_t tokenStart_ = 0;
    std::int64_t base_ = 0;
    std::string buffer_;
    bool failed_ = false;
};

// What a plot's header says.
struct Header {
    RawPlot plot;
    std::vector<std::string> names;
    bool binary = false;
    bool doubles = false;     // "Flags:" says "double": every binary value is 8 bytes
    bool fastAccess = false;  // "Flags:" says "fastaccess": values stored variable by variable
    std::int64_t dataStart = 0;
};

enum class HeaderRead { Ok, End, NotHeader, Bad };

// A binary layout: the bytes of X and of each further variable (per part of
// a complex value).
struct Layout {
    std::int64_t x = 8;  // 64-bit: sizes are multiplied by counts read from the file
    std::int64_t value = 8;
};

bool ParseCount(const std::string& text, std::int64_t& value) {
    const char* b = text.data();
    const char* e = b + text.size();
    if (b == e) return false;
    const auto r = std::from_chars(b, e, value);
    return r.ec == std::errc() && r.ptr == e && value >= 0;
}

// Splits "Key: value" into its lowercase key and trimmed value; false for a
// line of another form.
bool SplitHeaderLine(const std::string& line, std::string& key, std::string& value) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) return false;
    key.clear();
    for (size_t i = 0; i < colon; ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (!(std::isalnum(c) || c == ' ' || c == '\t' || c == '.' || c == '_' || c == '-'))
            return false;
        key += static_cast<char>(Lower(c));
    }
    key = Trim(key);
    if (key.empty()) return false;
    value = Trim(std::string_view(line).substr(colon + 1));
    return true;
}

std::string Quoted(std::string_view s) {
    if (s.size() > 60) return "\"" + std::string(s.substr(0, 57)) + "...\"";
    return "\"" + std::string(s) + "\"";
}

// The status line on lines of text after a complete plot (Xyce's table of
// sensitivities), quoting the first of them.
std::string TextAfterPlot(int plot, long long lines, const std::string& first) {
    return Format(
        "Plot %d is followed by %lld lines of text that are no plot, from %s; they are not "
        "read.",
        plot + 1, lines, Quoted(DisplayName(Trim(first))).c_str());
}

class Reader : BinaryReading {
public:
    Reader(Source& source, const std::string& name, UserMessages& messages,
           const RawReadOptions& options)
        : BinaryReading(name, messages, options.progress, options.notes),
          source_(source),
          options_(options) {}
    // Only find where the plots' values lie, into `scan`.
    void ScanOnly(RawFileScan* scan) { scan_ = scan; }

    RawReadResult Run(CResultDataRef& data, std::vector<RawPlot>& plots, std::string* why);

private:
    bool ReadFault() { return Refuse(source_.Error()); }
    bool KeepGoing(std::int64_t done) { return BinaryReading::KeepGoing(done, source_.Size()); }

    HeaderRead ReadHeader(Cursor& cursor, int plot, Header& h, std::string& why);
    bool ReadVariables(Cursor& cursor, int plot, const std::string& first, Header& h);
    bool FindLayout(Cursor& cursor, int plot, const Header& h, Layout& layout, std::int64_t& end,
                    std::string* note = nullptr);
    enum class Tail { Zeros, Text, Other };
    Tail TailFrom(std::int64_t at, long long& lines);
    bool SkipText(Cursor& cursor);
    bool ReadBinary(const Header& h, const Layout& layout, CResultData& set, bool& bad);
    bool ReadColumns(const Header& h, const Layout& layout, CResultData& set, bool& bad);
    bool ReadText(Cursor& cursor, int plot, const Header& h, CResultData& set, bool& bad);
    bool ReadPlot(Cursor& cursor, int plot, const Header& h, CResultDataRef& fresh);

    Source& source_;
    const RawReadOptions& options_;
    RawFileScan* scan_ = nullptr;
};

HeaderRead Reader::ReadHeader(Cursor& cursor, int plot, Header& h, std::string& why) {
    cursor.SkipSpace();
    if (cursor.Peek() < 0)
        return cursor.Failed() ? (ReadFault(), HeaderRead::Bad) : HeaderRead::End;
    std::string line, key, value;
    bool tooLong = false, haveCount = false, havePoints = false;
    std::int64_t count = 0, points = 0;
    for (int number = 1;; ++number) {
        if (!cursor.Line(line, tooLong)) {
            if (cursor.Failed()) return ReadFault(), HeaderRead::Bad;
            why = Format("its header ends before a \"Variables:\" line");
            if (plot == 0) return HeaderRead::NotHeader;
            return Refuse(Format("The header of plot %d ends with the file.", plot + 1)),
                   HeaderRead::Bad;
        }
        if (Trim(line).empty()) continue;
        if (tooLong || !SplitHeaderLine(line, key, value)) {
            why = Format("its line %d (%s) is no \"Key: value\" header line", number,
                         Quoted(Trim(line)).c_str());
            if (plot == 0) return HeaderRead::NotHeader;
            return Refuse(Format("Plot %d: the header line %s is not of the form \"Key: value\".",
                                 plot + 1, Quoted(Trim(line)).c_str())),
                   HeaderRead::Bad;
        }
        if (key == "plotname") {
            h.plot.name = value;
        } else if (key == "flags") {
            bool real = false, complex = false;
            std::string word;
            for (size_t i = 0; i <= value.size(); ++i) {
                if (i < value.size() && !IsSpace(static_cast<unsigned char>(value[i]))) {
                    word += static_cast<char>(Lower(static_cast<unsigned char>(value[i])));
                    continue;
                }
                real |= word == "real";
                complex |= word == "complex";
                h.doubles |= word == "double";
                h.fastAccess |= word == "fastaccess";
                h.plot.stepped |= word == "stepped";
                word.clear();
            }
            if (real == complex)
                return Refuse(Format("Plot %d: \"Flags: %s\" names neither real nor complex "
                                     "values.",
                                     plot + 1, value.c_str())),
                       HeaderRead::Bad;
            h.plot.complex = complex;
        } else if (key == "no. variables") {
            if (!ParseCount(value, count))
                return Refuse(Format("Plot %d: \"No. Variables: %s\" is no count.", plot + 1,
                                     value.c_str())),
                       HeaderRead::Bad;
            haveCount = true;
        } else if (key == "no. points") {
            if (!ParseCount(value, points))
                return Refuse(Format("Plot %d: \"No. Points: %s\" is no count.", plot + 1,
                                     value.c_str())),
                       HeaderRead::Bad;
            havePoints = true;
        } else if (key == "variables") {
            if (!haveCount || !havePoints)
                return Refuse(Format("Plot %d: its header gives no \"%s\" line before "
                                     "\"Variables:\".",
                                     plot + 1, haveCount ? "No. Points:" : "No. Variables:")),
                       HeaderRead::Bad;
            // Every variable takes a line of at least four characters.
            const std::int64_t room = (source_.Size() - cursor.Offset()) / (4 * cursor.Unit());
            if (count < 1 || count > room || count > std::numeric_limits<std::int32_t>::max() / 2)
                return Refuse(Format("Plot %d: \"No. Variables: %lld\" cannot be true: %s.",
                                     plot + 1, static_cast<long long>(count),
                                     count < 1 ? "a plot needs its X variable"
                                               : "the file is too short to list them")),
                       HeaderRead::Bad;
            h.plot.variables = static_cast<std::int32_t>(count);
            h.plot.points = points;
            return ReadVariables(cursor, plot, value, h) ? HeaderRead::Ok : HeaderRead::Bad;
        } else if (key == "values" || key == "binary") {
            return Refuse(Format("Plot %d: its values begin before its \"Variables:\" line.",
                                 plot + 1)),
                   HeaderRead::Bad;
        }
    }
}

bool Reader::ReadVariables(Cursor& cursor, int plot, const std::string& first, Header& h) {
    std::string line = first, key, value;
    bool tooLong = false;
    bool pending = !Trim(first).empty();  // the first variable may share the "Variables:" line
    const auto n = static_cast<size_t>(h.plot.variables);
    while (h.names.size() < n) {
        if (!pending) {
            if (!cursor.Line(line, tooLong)) {
                if (cursor.Failed()) return ReadFault();
                return Refuse(Format("Plot %d: the file ends after %zu of its %zu variables.",
                                     plot + 1, h.names.size(), n));
            }
            if (Trim(line).empty()) continue;
        }
        pending = false;
        const std::string text = Trim(line);
        if (SplitHeaderLine(text, key, value) && (key == "values" || key == "binary"))
            return Refuse(Format("Plot %d lists %zu variables where \"No. Variables:\" says %zu.",
                                 plot + 1, h.names.size(), n));
        // index, name, type and perhaps more, separated by blanks
        size_t p = 0;
        auto word = [&]() {
            while (p < text.size() && IsSpace(static_cast<unsigned char>(text[p]))) ++p;
            const size_t b = p;
            while (p < text.size() && !IsSpace(static_cast<unsigned char>(text[p]))) ++p;
            return text.substr(b, p - b);
        };
        const std::string index = word(), name = word();
        std::int64_t k = -1;
        if (tooLong || !ParseCount(index, k) || k != static_cast<std::int64_t>(h.names.size()))
            return Refuse(Format("Plot %d: %s is not the line of variable %zu.", plot + 1,
                                 Quoted(text).c_str(), h.names.size()));
        if (name.empty())
            return Refuse(Format("Plot %d: variable %zu has no name.", plot + 1, h.names.size()));
        h.names.push_back(name);
    }
    for (;;) {
        if (!cursor.Line(line, tooLong)) {
            if (cursor.Failed()) return ReadFault();
            return Refuse(Format("Plot %d: the file ends before its values.", plot + 1));
        }
        if (Trim(line).empty()) continue;
        if (!SplitHeaderLine(Trim(line), key, value) || (key != "values" && key != "binary"))
            return Refuse(
                Format("Plot %d: %s follows its %zu variables where \"Values:\" or "
                       "\"Binary:\" belongs.",
                       plot + 1, Quoted(Trim(line)).c_str(), n));
        h.binary = key == "binary";
        h.dataStart = cursor.Offset();
        return true;
    }
}

// What the bytes from `at` to the end of the file are: all zeros, lines of
// 8-bit text (`lines` of them), or anything else. The first byte that is
// neither ends the look. Text here is ASCII.
Reader::Tail Reader::TailFrom(std::int64_t at, long long& lines) {
    bool zeros = true, text = true;
    lines = 0;
    std::string buffer;
    for (std::int64_t from = at; from < source_.Size() && (zeros || text);) {
        const std::int64_t n = std::min<std::int64_t>(kChunkBytes, source_.Size() - from);
        buffer.resize(static_cast<size_t>(n));
        if (!source_.ReadAt(from, buffer.data(), n)) return Tail::Other;
        for (char ch : buffer) {
            const auto c = static_cast<unsigned char>(ch);
            zeros &= c == 0;
            text &= c >= 0x20 ? c < 0x7F : c == '\t' || c == '\r' || c == '\n';
            if (c == '\n') ++lines;
        }
        from += n;
    }
    if (at >= source_.Size()) return Tail::Other;
    if (zeros) return Tail::Zeros;
    if (text && buffer.back() != '\n') ++lines;
    return text ? Tail::Text : Tail::Other;
}

// The binary layout whose values end exactly at the end of the file or at
// the next plot's header (blanks between allowed); `end` is that offset.
// Failing that, the one layout after whose values the file holds only zero
// bytes (LTspice pads so) or only lines of text (Xyce appends a table), told
// in `note`.
bool Reader::FindLayout(Cursor& cursor, int plot, const Header& h, Layout& layout,
                        std::int64_t& end, std::string* note) {
    std::vector<Layout> candidates = {{8, 8}};
    if (!h.doubles) {
        if (!h.plot.complex) candidates.push_back({8, 4});
        candidates.push_back({4, 4});
    }
    const std::int64_t room = source_.Size() - h.dataStart;
    const std::int64_t parts = h.plot.complex ? 2 : 1;
    auto perPoint = [&](const Layout& c) {
        return parts * (c.x + c.value * (h.plot.variables - 1));
    };
    std::vector<Layout> within;
    for (const Layout& c : candidates) {
        if (h.plot.points > room / perPoint(c)) continue;
        within.push_back(c);
        const std::int64_t stop = h.dataStart + h.plot.points * perPoint(c);
        cursor.Seek(stop);
        cursor.SkipSpace();
        const bool fits = cursor.Peek() < 0 || cursor.AtPlotStart();
        if (cursor.Failed()) return ReadFault();
        if (fits) {
            layout = c;
            end = stop;
            return true;
        }
    }
    for (const Tail want : {Tail::Zeros, Tail::Text}) {
        int found = 0;
        long long lines = 0, linesOf = 0;
        for (const Layout& c : within) {
            if (TailFrom(h.dataStart + h.plot.points * perPoint(c), lines) != want) continue;
            ++found;
            layout = c;
            linesOf = lines;
        }
        if (found != 1) continue;
        const std::int64_t stop = h.dataStart + h.plot.points * perPoint(layout);
        if (note && want == Tail::Zeros)
            *note = Format(
                "Plot %d: the %lld bytes after its last point are zeros; they are not "
                "read.",
                plot + 1, static_cast<long long>(source_.Size() - stop));
        if (note && want == Tail::Text) {
            std::string first;
            bool tooLong = false;
            cursor.Seek(stop);
            cursor.Line(first, tooLong);
            *note = TextAfterPlot(plot, linesOf, first);
        }
        end = source_.Size();  // nothing after it is read
        return true;
    }
    std::string take;
    const char* said[] = {" as doubles", " as a double X and floats", " as floats"};
    for (size_t i = 0; i < candidates.size(); ++i) {
        const Layout& c = candidates[i];
        const std::int64_t bytes = perPoint(c);
        take += i == 0 ? "" : i + 1 < candidates.size() ? ", " : " or ";
        take += h.plot.points <= std::numeric_limits<std::int64_t>::max() / bytes
                    ? std::to_string(h.plot.points * bytes)
                    : std::string("more than 9e18");
        if (i == 0) take += " bytes";
        if (candidates.size() > 1) take += said[c.x == 4 ? 2 : c.value == 4 ? 1 : 0];
    }
    return Refuse(
        Format("Plot %d: its values do not fit its header: %lld points of %d %s "
               "variables take %s, but %lld bytes follow the header%s.",
               plot + 1, static_cast<long long>(h.plot.points), h.plot.variables,
               h.plot.complex ? "complex" : "real", take.c_str(), static_cast<long long>(room),
               within.empty() ? "" : " and no other plot begins where they end"));
}

// Passes over a text values part to the next plot's header or the end.
bool Reader::SkipText(Cursor& cursor) {
    std::string line;
    bool tooLong = false;
    for (;;) {
        const std::int64_t start = cursor.Offset();
        if (cursor.AtPlotStart()) return true;
        if (!cursor.Line(line, tooLong)) return !cursor.Failed() || ReadFault();
        if (!KeepGoing(start)) return false;
    }
}

template <class T>
bool Transpose(const char* src, std::int64_t rows, std::int64_t stride, double* dst,
               std::uint8_t* flags) {
    bool bad = false;
    for (std::int64_t r = 0; r < rows; ++r) {
        const double v = static_cast<double>(Load<T>(src + r * stride));
        dst[r] = v;
        const bool ok = std::isfinite(v);
        flags[r] = ok ? kPointValid : kPointInvalid;
        bad |= !ok;
    }
    return bad;
}

template <class T>
bool Polar(const char* src, std::int64_t rows, std::int64_t stride, double* amp, double* phase,
           std::uint8_t* ampFlags, std::uint8_t* phaseFlags) {
    bool bad = false;
    for (std::int64_t r = 0; r < rows; ++r) {
        const double re = static_cast<double>(Load<T>(src + r * stride));
        const double im = static_cast<double>(Load<T>(src + r * stride + sizeof(T)));
        ToPolar(re, im, amp[r], phase[r]);
        const bool ampOk = std::isfinite(amp[r]), phaseOk = std::isfinite(phase[r]);
        ampFlags[r] = ampOk ? kPointValid : kPointInvalid;
        phaseFlags[r] = phaseOk ? kPointValid : kPointInvalid;
        bad |= !ampOk || !phaseOk;
    }
    return bad;
}

// LTspice marks some time points by storing them negative; ngspice's time
// never goes below zero, and an X of another name may well do so.
bool UnsignedTime(const Header& h) {
    const std::string& x = h.names[0];
    return !h.plot.complex && x.size() == 4 && StartsWithNoCase(x, "time");
}

void Unsign(double* x, std::int64_t rows) {
    for (std::int64_t r = 0; r < rows; ++r) x[r] = std::fabs(x[r]);
}

bool Reader::ReadBinary(const Header& h, const Layout& layout, CResultData& set, bool& bad) {
    if (h.fastAccess) return ReadColumns(h, layout, set, bad);
    const std::int64_t n = h.plot.variables;
    const std::int64_t parts = h.plot.complex ? 2 : 1;
    const std::int64_t perPoint = parts * (layout.x + layout.value * (n - 1));
    const std::int64_t rowsPerChunk = std::max<std::int64_t>(1, kChunkBytes / perPoint);
    std::string buffer(static_cast<size_t>(rowsPerChunk * perPoint), '\0');
    const bool unsignTime = UnsignedTime(h);
    for (std::int64_t row = 0; row < h.plot.points; row += rowsPerChunk) {
        const std::int64_t rows = std::min(rowsPerChunk, h.plot.points - row);
        const std::int64_t at = h.dataStart + row * perPoint;
        if (!KeepGoing(at)) return false;
        if (!source_.ReadAt(at, buffer.data(), rows * perPoint)) return ReadFault();
        const char* src = buffer.data();
        auto column = [&](std::int32_t v) { return set.Variable(v)->Values() + row; };
        auto flags = [&](std::int32_t v) { return set.Variable(v)->Flags() + row; };
        bad |= layout.x == 8 ? Transpose<double>(src, rows, perPoint, column(0), flags(0))
                             : Transpose<float>(src, rows, perPoint, column(0), flags(0));
        if (unsignTime) Unsign(column(0), rows);
        for (std::int32_t v = 1; v < n; ++v) {
            const char* first = src + parts * (layout.x + layout.value * (v - 1));
            if (!h.plot.complex) {
                bad |= layout.value == 8
                           ? Transpose<double>(first, rows, perPoint, column(v), flags(v))
                           : Transpose<float>(first, rows, perPoint, column(v), flags(v));
            } else {
                const std::int32_t a = 2 * v - 1, p = 2 * v;
                bad |= layout.value == 8 ? Polar<double>(first, rows, perPoint, column(a),
                                                         column(p), flags(a), flags(p))
                                         : Polar<float>(first, rows, perPoint, column(a), column(p),
                                                        flags(a), flags(p));
            }
        }
    }
    return true;
}

// Every variable's points lie together, one block after the other in the
// order of the variables, with the widths a point-by-point plot would have.
bool Reader::ReadColumns(const Header& h, const Layout& layout, CResultData& set, bool& bad) {
    const std::int64_t parts = h.plot.complex ? 2 : 1;
    const std::int64_t points = h.plot.points;
    const bool unsignTime = UnsignedTime(h);
    std::string buffer;
    std::int64_t at = h.dataStart;
    for (std::int32_t v = 0; v < h.plot.variables; ++v) {
        const std::int64_t width = v == 0 ? layout.x : layout.value;
        const std::int64_t stride = parts * width;
        const std::int64_t rowsPerChunk = kChunkBytes / stride;
        const bool polar = h.plot.complex && v > 0;
        // Real doubles need no conversion: they go straight into the column.
        const bool direct = width == 8 && !h.plot.complex;
        if (!direct) buffer.resize(static_cast<size_t>(std::min(rowsPerChunk, points) * stride));
        const std::int32_t a = polar ? 2 * v - 1 : (h.plot.complex ? 0 : v);
        double* values = set.Variable(a)->Values();
        std::uint8_t* flags = set.Variable(a)->Flags();
        for (std::int64_t row = 0; row < points; row += rowsPerChunk) {
            const std::int64_t rows = std::min(rowsPerChunk, points - row);
            if (!KeepGoing(at)) return false;
            char* into = direct ? reinterpret_cast<char*>(values + row) : buffer.data();
            if (!source_.ReadAt(at, into, rows * stride)) return ReadFault();
            at += rows * stride;
            if (polar) {
                const std::int32_t p = 2 * v;
                double* phase = set.Variable(p)->Values() + row;
                std::uint8_t* phaseFlags = set.Variable(p)->Flags() + row;
                bad |= width == 8 ? Polar<double>(into, rows, stride, values + row, phase,
                                                  flags + row, phaseFlags)
                                  : Polar<float>(into, rows, stride, values + row, phase,
                                                 flags + row, phaseFlags);
            } else {
                bad |= width == 8 ? Transpose<double>(into, rows, stride, values + row, flags + row)
                                  : Transpose<float>(into, rows, stride, values + row, flags + row);
            }
            if (v == 0 && unsignTime) Unsign(values + row, rows);
        }
    }
    return true;
}

// True when all of `text` is one decimal number: [+-]digits[.digits][eEdD[+-]digits],
// with a digit on at least one side of the point.
bool IsWholeDecimal(std::string_view text) {
    size_t i = 0;
    auto digits = [&]() {
        const size_t from = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        return i - from;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t mantissa = digits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return false;
    if (i < text.size() && (Lower(static_cast<unsigned char>(text[i])) == 'e' ||
                            Lower(static_cast<unsigned char>(text[i])) == 'd')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        if (digits() == 0) return false;
    }
    return i == text.size();
}

bool ParseValueToken(const std::string& token, double& value) {
    const char* b = token.data();
    const char* e = b + token.size();
    const char* stop = nullptr;
    if (ParseSimpleDecimal(b, e, value, stop) && stop == e) return true;
    std::string lower;
    for (char c : token) lower += static_cast<char>(Lower(static_cast<unsigned char>(c)));
    const std::string_view body = !lower.empty() && (lower[0] == '+' || lower[0] == '-')
                                      ? std::string_view(lower).substr(1)
                                      : std::string_view(lower);
    if (body == "nan" || body == "inf" || body == "infinity") {
        value = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    if (token.size() > kMaxToken || !IsWholeDecimal(token)) return false;
    value = ParseDecimal(b, e);
    return true;
}

bool Reader::ReadText(Cursor& cursor, int plot, const Header& h, CResultData& set, bool& bad) {
    const std::int32_t n = h.plot.variables;
    const int parts = h.plot.complex ? 2 : 1;
    std::vector<double> values(static_cast<size_t>(n) * static_cast<size_t>(parts));
    std::string token;
    const bool unsignTime = UnsignedTime(h);
    auto pointFault = [&](std::int64_t p, const char* what) {
        return Refuse(
            Format("Plot %d, point %lld: %s.", plot + 1, static_cast<long long>(p), what));
    };
    for (std::int64_t p = 0; p < h.plot.points; ++p) {
        if ((p & 4095) == 0 && !KeepGoing(cursor.Offset())) return false;
        if (!cursor.Token(token)) {
            if (cursor.Failed()) return ReadFault();
            return Refuse(Format("Plot %d: the file ends after %lld of its %lld points.", plot + 1,
                                 static_cast<long long>(p), static_cast<long long>(h.plot.points)));
        }
        std::int64_t index = -1;
        if (!ParseCount(token, index) || index != p) {
            if (StartsWithNoCase(token, "title:") || StartsWithNoCase(token, "plotname:"))
                return Refuse(Format("Plot %d holds %lld points where \"No. Points:\" says %lld.",
                                     plot + 1, static_cast<long long>(p),
                                     static_cast<long long>(h.plot.points)));
            return pointFault(
                p, Format("%s stands where its number belongs", Quoted(token).c_str()).c_str());
        }
        for (size_t k = 0; k < values.size(); ++k) {
            if (!cursor.Token(token)) {
                if (cursor.Failed()) return ReadFault();
                return pointFault(p, "the file ends inside the point");
            }
            if (!ParseValueToken(token, values[k]))
                return Refuse(
                    Format("Plot %d, point %lld, line %lld: the value %s of %s is no "
                           "number.",
                           plot + 1, static_cast<long long>(p), cursor.LineOf(cursor.TokenStart()),
                           Quoted(token).c_str(),
                           Quoted(h.names[k / static_cast<size_t>(parts)]).c_str()));
        }
        auto put = [&](std::int32_t v, double x) {
            const bool ok = std::isfinite(x);
            set.Variable(v)->Values()[p] = x;
            set.Variable(v)->Flags()[p] = ok ? kPointValid : kPointInvalid;
            bad |= !ok;
        };
        put(0, unsignTime ? std::fabs(values[0]) : values[0]);
        for (std::int32_t v = 1; v < n; ++v) {
            if (h.plot.complex) {
                double amp, phase;
                ToPolar(values[static_cast<size_t>(2 * v)], values[static_cast<size_t>(2 * v + 1)],
                        amp, phase);
                put(2 * v - 1, amp);
                put(2 * v, phase);
            } else {
                put(v, values[static_cast<size_t>(v)]);
            }
        }
    }
    // A header that counts too few points leaves numbers behind; Xyce
    // follows a plot with a table that begins with a line of names.
    cursor.SkipSpace();
    const std::int64_t after = cursor.Offset();
    if (cursor.Peek() >= 0 && !cursor.AtPlotStart()) {
        double number = 0.0;
        if (!cursor.Token(token) || ParseValueToken(token, number))
            return Refuse(Format("Plot %d holds more values than its %lld points.", plot + 1,
                                 static_cast<long long>(h.plot.points)));
        std::string first;
        bool tooLong = false;
        long long lines = 0;
        cursor.Seek(after);
        cursor.Line(first, tooLong);
        cursor.Seek(after);
        while (!cursor.AtPlotStart() && cursor.Line(token, tooLong)) {
            ++lines;
            for (char ch : token) {
                if (static_cast<unsigned char>(ch) < 0x20 && ch != '\t')
                    return Refuse(
                        Format("Plot %d: what follows its %lld points is neither a "
                               "plot nor text.",
                               plot + 1, static_cast<long long>(h.plot.points)));
            }
        }
        Note(TextAfterPlot(plot, lines, first));
    }
    return !cursor.Failed() || ReadFault();
}

bool Reader::ReadPlot(Cursor& cursor, int plot, const Header& h, CResultDataRef& fresh) {
    const std::int64_t points = h.plot.points;
    if (points == 0) return Refuse(Format("Plot %d holds no points.", plot + 1));
    Layout layout;
    std::int64_t end = 0;
    if (h.binary) {
        std::string note;
        if (!FindLayout(cursor, plot, h, layout, end, &note)) return false;
        Note(note);
    } else if (h.fastAccess) {
        return Refuse(
            Format("Plot %d stores text values variable by variable (\"fastaccess\"), "
                   "which this program does not read.",
                   plot + 1));
    } else {
        // Each point takes its number and every value with a separator; the
        // last value of the file needs none.
        const std::int64_t perPoint =
            cursor.Unit() *
            (2 + static_cast<std::int64_t>(h.plot.variables) * (h.plot.complex ? 4 : 2));
        if (points > (source_.Size() - h.dataStart + cursor.Unit()) / perPoint)
            return Refuse(
                Format("Plot %d: %lld points of %d variables cannot fit in the %lld "
                       "bytes after its header.",
                       plot + 1, static_cast<long long>(points), h.plot.variables,
                       static_cast<long long>(source_.Size() - h.dataStart)));
    }
    if (points > std::numeric_limits<std::int32_t>::max())
        return Refuse(Format("Plot %d holds %lld points, more than this program reads.", plot + 1,
                             static_cast<long long>(points)));
    if (scan_) {
        if (scan_->runs.empty()) scan_->names = h.names;
        scan_->runs.push_back({h.binary, h.plot.complex, h.fastAccess, h.dataStart, points,
                               static_cast<std::int32_t>(layout.x),
                               static_cast<std::int32_t>(layout.value), UnsignedTime(h)});
        if (h.binary) {
            cursor.Seek(end);
            return true;
        }
        cursor.Seek(h.dataStart);
        return SkipText(cursor);
    }
    const std::int64_t columns =
        h.plot.complex ? 2 * static_cast<std::int64_t>(h.plot.variables) - 1 : h.plot.variables;
    if (!Allocate(fresh, columns, points)) return false;
    CResultData& set = *fresh.Get();
    std::lock_guard<std::recursive_mutex> hold(set.Lock());
    if (h.plot.complex) {
        set.SetVariableName(0, "Frequency");
        for (std::int32_t v = 1; v < h.plot.variables; ++v) {
            const std::string& name = h.names[static_cast<size_t>(v)];
            set.SetVariableName(2 * v - 1, "amp(" + name + ")");
            set.SetVariableName(2 * v, "phase(" + name + ")");
        }
    } else {
        for (std::int32_t v = 0; v < h.plot.variables; ++v)
            set.SetVariableName(v, h.names[static_cast<size_t>(v)]);
    }
    bool bad = false;
    if (h.binary) {
        // Binary values come faster than the page faults of fresh columns.
        BackColumns(set, points, WorkerCount());
        if (!ReadBinary(h, layout, set, bad)) return false;
        cursor.Seek(end);
    } else {
        cursor.Seek(h.dataStart);
        if (!ReadText(cursor, plot, h, set, bad)) return false;
    }
    std::vector<std::int32_t> phases;
    for (std::int32_t v = 1; h.plot.complex && v < h.plot.variables; ++v) phases.push_back(2 * v);
    FinishColumns(set, points, phases, options_.unwrapPhase, bad);
    return true;
}

RawReadResult Reader::Run(CResultDataRef& data, std::vector<RawPlot>& plots, std::string* why) {
    plots.clear();
    std::string head(8, '\0');
    const std::int64_t headBytes = std::min<std::int64_t>(source_.Size(), 8);
    if (!source_.ReadAt(0, head.data(), headBytes)) {
        ReadFault();
        return RawReadResult::Failed;
    }
    head.resize(static_cast<size_t>(headBytes));
    std::int64_t start = 0;
    Cursor cursor(source_, DetectEncoding(head, start));
    cursor.Seek(start);
    CResultDataRef fresh;
    Header first;
    bool read = false;
    for (int plot = 0;; ++plot) {
        Header h;
        std::string reason;
        const HeaderRead r = ReadHeader(cursor, plot, h, reason);
        if (r == HeaderRead::End) break;
        if (r == HeaderRead::NotHeader) {
            if (why) *why = reason;
            return RawReadResult::NotRaw;
        }
        // Plots after the one read are only listed, as far as they can be.
        if (r == HeaderRead::Bad) {
            if (read) break;
            return RawReadResult::Failed;
        }
        plots.push_back(h.plot);
        if (plot == options_.plot) {
            if (!ReadPlot(cursor, plot, h, fresh)) return RawReadResult::Failed;
            read = true;
            SetQuiet();  // faults of plots after the one read only end the listing
            plots.back().run = 0;
            first = h;
            continue;
        }
        if (read && options_.plotsAsRuns && h.plot.name == first.plot.name &&
            h.plot.complex == first.plot.complex && h.names == first.names) {
            // A run that cannot be read ends the runs, as a bad plot ends the listing.
            CResultDataRef run;
            if (!ReadPlot(cursor, plot, h, run)) {
                if (Cancelled()) return RawReadResult::Failed;
                break;
            }
            if (scan_) {
                plots.back().run = static_cast<std::int32_t>(scan_->runs.size()) - 1;
                continue;
            }
            plots.back().run = fresh->RunCount();
            fresh->AddRun(run.Get(), std::string());
            continue;
        }
        bool skipped;
        if (h.binary) {
            Layout layout;
            std::int64_t end = 0;
            skipped = FindLayout(cursor, plot, h, layout, end);
            cursor.Seek(end);
        } else {
            skipped = SkipText(cursor);
        }
        if (!skipped) {
            if (read) break;
            return RawReadResult::Failed;
        }
    }
    if (!read) {
        Refuse(Format("The file holds %zu plot%s: there is no plot %d.", plots.size(),
                      plots.size() == 1 ? "" : "s", options_.plot + 1));
        return RawReadResult::Failed;
    }
    if (scan_) return RawReadResult::Read;
    // Runs of plots are named by the plot name and their number among them.
    if (fresh->RunCount() > 1) {
        for (std::int32_t k = 0; k < fresh->RunCount(); ++k)
            fresh->SetRunName(k, Format("%s %d", first.plot.name.c_str(), k + 1));
    }
    data = fresh;
    return RawReadResult::Read;
}

}  // namespace

bool LooksLikeRawFile(std::string_view head) {
    std::int64_t skip = 0;
    const Encoding encoding = DetectEncoding(head, skip);
    const MemoryByteSource bytes(head);
    const std::string name;
    Source source(bytes, name);
    Cursor cursor(source, encoding);
    cursor.Seek(skip);
    cursor.SkipSpace();
    return cursor.AtPlotStart();
}

RawReadResult ReadRawBytes(std::string_view bytes, const std::string& name, CResultDataRef& data,
                           std::vector<RawPlot>& plots, UserMessages& messages,
                           const RawReadOptions& options, std::string* why) {
    const MemoryByteSource memory(bytes);
    Source source(memory, name);
    Reader reader(source, name, messages, options);
    return reader.Run(data, plots, why);
}

namespace {

// Opens `path` for the reader, which seeks across the file, as a pipe cannot.
bool OpenForReader(const std::string& path, FileByteSource& file, UserMessages& messages) {
    if (!file.Open(path)) {
        messages.Show(file.Error(), MessageIcon::Stop);
        return false;
    }
    if (!file.Positional()) {
        messages.Show(Format("Cannot read \"%s\": it is not a regular file.", path.c_str()),
                      MessageIcon::Stop);
        return false;
    }
    return true;
}

}  // namespace

RawReadResult ReadRawFile(const std::string& path, CResultDataRef& data,
                          std::vector<RawPlot>& plots, UserMessages& messages,
                          const RawReadOptions& options, std::string* why) {
    plots.clear();
    FileByteSource file;
    if (!OpenForReader(path, file, messages)) return RawReadResult::Failed;
    Source source(file, path);
    Reader reader(source, path, messages, options);
    return reader.Run(data, plots, why);
}

RawReadResult ScanRawFile(const std::string& path, RawFileScan& scan, UserMessages& messages,
                          const RawReadOptions& options, std::string* why) {
    scan = {};
    FileByteSource file;
    if (!OpenForReader(path, file, messages)) return RawReadResult::Failed;
    Source source(file, path);
    Reader reader(source, path, messages, options);
    reader.ScanOnly(&scan);
    CResultDataRef none;
    return reader.Run(none, scan.plots, why);
}

std::string OtherPlotsNote(const std::vector<RawPlot>& plots, std::int32_t shown) {
    if (plots.size() < 2 || shown < 0 || static_cast<size_t>(shown) >= plots.size()) return {};
    // Plots read as runs of the one shown are part of it, not beside it.
    std::vector<size_t> others;
    for (size_t i = 0; i < plots.size(); ++i)
        if (static_cast<std::int32_t>(i) != shown && plots[i].run < 1) others.push_back(i);
    if (others.empty()) return {};
    std::string note = Format("Plot %d of %zu: %s. Also in this file:", shown + 1, plots.size(),
                              plots[static_cast<size_t>(shown)].name.c_str());
    const char* separator = " ";
    for (size_t i : others) {
        note += Format("%s%zu %s", separator, i + 1, plots[i].name.c_str());
        separator = "; ";
    }
    return note + ".";
}

}  // namespace kurvex
