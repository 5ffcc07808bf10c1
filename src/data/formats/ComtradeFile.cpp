#include "data/formats/ComtradeFile.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>
#include <type_traits>

#include "data/formats/BinaryReading.h"
#include "data/platform/ByteSource.h"
#include "data/platform/NameText.h"
#include "data/platform/NumberText.h"
#include "data/platform/Workers.h"

namespace kurvex {

namespace {

// A configuration is a few lines per channel; anything much larger is no
// configuration, and it is read whole.
constexpr std::int64_t kMaxConfigBytes = 64 << 20;
constexpr std::int64_t kChunkBytes = 1 << 20;
// Bytes a sample takes in memory per variable: its value and its flag.
constexpr std::uint64_t kBytesPerPoint = sizeof(double) + 1;

enum class DataType { Ascii, Binary16, Binary32, Float32 };

struct Analog {
    std::string id, phase, unit;
    double a = 1.0, b = 0.0;
    double primary = 1.0, secondary = 1.0;
    bool secondarySide = false;
};

struct Digital {
    std::string id, phase;
};

struct Rate {
    double samp = 0.0;
    std::int64_t end = 0;
};

struct Config {
    std::string station, device;
    int revision = 1991;        // whose rules read the record
    std::string year;           // the revision year it gives where that is none of the three
    bool longChannels = false;  // an analog channel line has the 13 fields of 1999 on
    std::vector<Analog> analogs;
    std::vector<Digital> digitals;
    double lineFrequency = 0.0;
    std::vector<Rate> rates;  // every rate non-zero; empty: the time stamps time the samples
    std::int64_t samples = 0;
    std::string start, trigger;
    DataType type = DataType::Ascii;
    double timeMult = 1.0;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool EndsWithNoCase(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && SameText(s.substr(s.size() - tail.size()), tail);
}

// The comma-separated fields of a line, each without the blanks around it.
std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const size_t comma = line.find(',');
        fields.push_back(Trim(line.substr(0, comma)));
        if (comma == std::string_view::npos) return fields;
        line.remove_prefix(comma + 1);
    }
}

bool ParseInteger(std::string_view text, std::int64_t& value) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const char* e = text.data() + text.size();
    const auto r = std::from_chars(text.data(), e, value);
    return !text.empty() && r.ec == std::errc() && r.ptr == e;
}

// A decimal number taking all of `text`, as strtod reads it.
bool ParseReal(std::string_view text, double& value) {
    const char* b = text.data();
    const char* e = b + text.size();
    const char* stop = nullptr;
    if (b == e) return false;
    if (ParseSimpleDecimal(b, e, value, stop) && stop == e) return true;
    if (*b == '+') ++b;
    const auto r = std::from_chars(b, e, value);
    if (r.ptr != e || b == e) return false;
    if (r.ec == std::errc::result_out_of_range) value = ParseDecimal(b, e);
    return r.ec == std::errc() || r.ec == std::errc::result_out_of_range;
}

std::string Quoted(std::string_view s) {
    const std::string text = DisplayName(s.substr(0, 60));
    return "\"" + text + (s.size() > 60 ? "...\"" : "\"");
}

// A time "dd/mm/yyyy,hh:mm:ss.ssssss" (1991: "mm/dd/yy") as whole seconds
// since 1 January 1970 and the fraction; false when the text is not such a time.
bool ParseTime(std::string_view text, bool monthFirst, std::int64_t& whole, double& fraction) {
    const std::vector<std::string_view> f = Fields(text);
    if (f.size() != 2) return false;
    std::int64_t d[3] = {}, h = 0, m = 0;
    std::string_view date = f[0];
    for (int i = 0; i < 3; ++i) {
        const size_t slash = date.find('/');
        if ((slash == std::string_view::npos) != (i == 2)) return false;
        if (!ParseInteger(date.substr(0, slash), d[i])) return false;
        if (i < 2) date.remove_prefix(slash + 1);
    }
    std::int64_t day = monthFirst ? d[1] : d[0], month = monthFirst ? d[0] : d[1], year = d[2];
    if (year < 100) year += year < 70 ? 2000 : 1900;
    const std::string_view time = f[1];
    const size_t c1 = time.find(':'), c2 = time.rfind(':');
    if (c1 == std::string_view::npos || c1 == c2 || !ParseInteger(time.substr(0, c1), h) ||
        !ParseInteger(time.substr(c1 + 1, c2 - c1 - 1), m) ||
        !ParseReal(time.substr(c2 + 1), fraction))
        return false;
    if (month < 1 || month > 12 || day < 1 || day > 31 || year < 0 || year > 9999 || h < 0 ||
        h > 24 || m < 0 || m > 59 || !(fraction >= 0.0 && fraction < 61.0))
        return false;
    // Days from the civil date (proleptic Gregorian).
    year -= month <= 2;
    const std::int64_t era = year / 400;
    const std::int64_t yoe = year - era * 400;
    const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t days = era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
    whole = days * 86400 + h * 3600 + m * 60;
    return true;
}

// A window onto part of another source: the data section of a combined file.
class Slice : public ByteSource {
public:
    Slice(const ByteSource& whole, std::int64_t base, std::int64_t size)
        : whole_(whole), base_(base), size_(size) {}
    std::int64_t Size() const override { return size_; }
    std::int64_t Read(char* buffer, std::int64_t n) override {
        const std::int64_t got = ReadAt(pos_, buffer, n);
        if (got > 0) pos_ += got;
        return got;
    }
    bool Rewind() override {
        pos_ = 0;
        return true;
    }
    bool Positional() const override { return true; }
    std::int64_t ReadAt(std::int64_t offset, char* buffer, std::int64_t n) const override {
        if (offset < 0 || n < 0) return -1;
        n = std::min(n, std::max<std::int64_t>(0, size_ - offset));
        return n == 0 ? 0 : whole_.ReadAt(base_ + offset, buffer, n);
    }

private:
    const ByteSource& whole_;
    std::int64_t base_, size_, pos_ = 0;
};

// The lines of a source, read in large blocks; the buffer grows only as far
// as the source and its longest line need.
class Lines {
public:
    explicit Lines(const ByteSource& source) : source_(source) {}
    // The next line without its line end; false at the end or on a read error.
    bool Next(std::string_view& line) {
        for (;;) {
            const size_t nl = buffer_.find('\n', begin_);
            const bool all = base_ + static_cast<std::int64_t>(buffer_.size()) >= source_.Size();
            if (nl != std::string::npos || (all && begin_ < buffer_.size())) {
                const size_t end = nl == std::string::npos ? buffer_.size() : nl;
                line = std::string_view(buffer_).substr(begin_, end - begin_);
                if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
                begin_ = nl == std::string::npos ? end : end + 1;
                return true;
            }
            if (all || failed_) return false;
            buffer_.erase(0, begin_);
            base_ += static_cast<std::int64_t>(begin_);
            begin_ = 0;
            const size_t old = buffer_.size();
            const std::int64_t want =
                std::min(std::max<std::int64_t>(kChunkBytes, static_cast<std::int64_t>(old)),
                         source_.Size() - base_ - static_cast<std::int64_t>(old));
            buffer_.resize(old + static_cast<size_t>(want));
            if (source_.ReadAt(base_ + static_cast<std::int64_t>(old), buffer_.data() + old,
                               want) != want) {
                failed_ = true;
                buffer_.resize(old);
                return false;
            }
        }
    }
    // Bytes up to the end of the last line returned.
    std::int64_t Consumed() const { return base_ + static_cast<std::int64_t>(begin_); }
    bool Failed() const { return failed_; }

private:
    const ByteSource& source_;
    std::string buffer_;
    size_t begin_ = 0;
    std::int64_t base_ = 0;  // source offset of buffer_[0]
    bool failed_ = false;
};

// A section header line of a combined file: "--- file type: DAT BINARY: 1234 ---".
bool SectionHeader(std::string_view line, std::string& type, std::string& size) {
    line = Trim(line);
    if (line.substr(0, 3) != "---") return false;
    while (!line.empty() && (line.front() == '-' || IsBlank(line.front()))) line.remove_prefix(1);
    while (!line.empty() && (line.back() == '-' || IsBlank(line.back()))) line.remove_suffix(1);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || !SameText(Trim(line.substr(0, colon)), "file type"))
        return false;
    line.remove_prefix(colon + 1);
    const size_t second = line.find(':');
    type.clear();
    for (char c : Trim(line.substr(0, second)))
        type += c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    size = second == std::string_view::npos ? "" : std::string(Trim(line.substr(second + 1)));
    return true;
}

// A line that means to be a section line, whether or not it is one.
bool LooksLikeSectionLine(std::string_view line) {
    line = Trim(line);
    if (line.substr(0, 2) != "--") return false;
    for (size_t i = 0; i + 9 <= line.size(); ++i)
        if (SameText(line.substr(i, 9), "file type")) return true;
    return false;
}

class Reader : BinaryReading {
public:
    Reader(const std::string& path, UserMessages& messages, const BinaryReadOptions& options,
           std::vector<std::string>* notes)
        : BinaryReading(path, messages, options.progress, notes),
          path_(path),
          messages_(messages),
          options_(options) {}

    bool Run(CResultDataRef& data);

private:
    bool ReadCombined(FileByteSource& file, std::string& config, std::int64_t& dataStart,
                      std::int64_t& dataSize, bool& dataAscii);
    bool FindDataFile(std::string& dat);
    bool ParseConfig(std::string_view text, Config& c);
    bool ParseChannels(const std::vector<std::string_view>& lines, size_t& at, Config& c);
    bool ParseRates(const std::vector<std::string_view>& lines, size_t& at, Config& c);
    bool Prepare(const Config& c, CResultDataRef& fresh);
    bool ReadBinary(const Config& c, const ByteSource& dat, CResultData& set, bool& bad);
    bool ReadAscii(const Config& c, ByteSource& dat, CResultData& set, bool& bad);
    using BinaryReading::Note;
    // Says what the record is and when it was taken.
    void Note(const Config& c);

    const std::string& path_;
    UserMessages& messages_;
    const BinaryReadOptions& options_;
    int workers_ = 1;
};

bool Reader::ReadCombined(FileByteSource& file, std::string& config, std::int64_t& dataStart,
                          std::int64_t& dataSize, bool& dataAscii) {
    Lines lines(file);
    std::string_view line;
    std::string type, size, section;
    bool haveConfig = false;
    for (long long number = 1; lines.Next(line); ++number) {
        if (!KeepGoing(lines.Consumed(), file.Size())) return false;
        if (!SectionHeader(line, type, size)) {
            if (LooksLikeSectionLine(line))
                return Refuse(
                    Format("Its line %lld %s is no section line of the form \"--- "
                           "file type: TYPE ---\".",
                           number, Quoted(Trim(line)).c_str()));
            if (section.empty() && !Trim(line).empty())
                return Refuse(
                    "The combined file does not begin with a \"--- file type: CFG ---\" "
                    "line.");
            if (section == "CFG") {
                if (static_cast<std::int64_t>(config.size()) > kMaxConfigBytes)
                    return Refuse("Its configuration section is too long to be one.");
                config.append(line).push_back('\n');
            }
            continue;
        }
        section = type;
        if (type == "CFG") {
            if (haveConfig) return Refuse("The combined file holds two configuration sections.");
            haveConfig = true;
        } else if (type == "DAT ASCII" || type == "DAT BINARY" || type == "DAT BINARY32" ||
                   type == "DAT FLOAT32") {
            if (!haveConfig)
                return Refuse("The combined file's data section comes before its configuration.");
            dataStart = lines.Consumed();
            dataAscii = type == "DAT ASCII";
            dataSize = file.Size() - dataStart;
            if (!dataAscii) {
                std::int64_t n = -1;
                if (!ParseInteger(size, n) || n < 0)
                    return Refuse(Format("The data section's size %s is no byte count.",
                                         Quoted(size).c_str()));
                if (n > dataSize)
                    return Refuse(
                        Format("The data section says it holds %lld bytes, but only "
                               "%lld follow its header.",
                               static_cast<long long>(n), static_cast<long long>(dataSize)));
                dataSize = n;
            }
            return true;
        } else if (type != "INF" && type != "HDR") {
            return Refuse(Format("The combined file holds a section of the unknown type %s.",
                                 Quoted(type).c_str()));
        }
    }
    if (lines.Failed())
        return Refuse(Format("Cannot read \"%s\": %s.", path_.c_str(), std::strerror(errno)));
    return Refuse(haveConfig ? "The combined file holds no data section."
                             : "The combined file holds no configuration section.");
}

bool Reader::FindDataFile(std::string& dat) {
    namespace fs = std::filesystem;
    const fs::path cfg(path_);
    const std::string ext = cfg.extension().string();
    const bool upper = ext.size() > 1 && ext[1] >= 'A' && ext[1] <= 'Z';
    std::error_code ec;
    const char* const tails[] = {upper ? ".DAT" : ".dat", upper ? ".dat" : ".DAT"};
    for (const char* tail : tails) {
        fs::path p = cfg;
        p.replace_extension(tail);
        if (fs::is_regular_file(p, ec)) {
            dat = p.string();
            return true;
        }
    }
    // Another spelling of the name's case ("Rec.Dat").
    const fs::path dir = cfg.has_parent_path() ? cfg.parent_path() : fs::path(".");
    const std::string want = cfg.stem().string() + ".dat";
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (SameText(it->path().filename().string(), want) && it->is_regular_file(ec)) {
            dat = it->path().string();
            return true;
        }
    }
    fs::path p = cfg;
    p.replace_extension(upper ? ".DAT" : ".dat");
    return Refuse(Format("The data file %s that belongs beside the configuration is missing.",
                         p.string().c_str()));
}

bool Reader::ParseChannels(const std::vector<std::string_view>& lines, size_t& at, Config& c) {
    const std::vector<std::string_view> counts = Fields(lines[at]);
    std::int64_t total = -1, na = -1, nd = -1;
    if (counts.size() != 3 || !ParseInteger(counts[0], total) || !EndsWithNoCase(counts[1], "A") ||
        !EndsWithNoCase(counts[2], "D") ||
        !ParseInteger(counts[1].substr(0, counts[1].size() - 1), na) ||
        !ParseInteger(counts[2].substr(0, counts[2].size() - 1), nd) || na < 0 || nd < 0 ||
        na > kMaxConfigBytes || nd > kMaxConfigBytes)
        return Refuse(Format("Its line 2 %s does not give the channel counts as \"TT,##A,##D\".",
                             Quoted(lines[at]).c_str()));
    if (total != na + nd)
        return Refuse(Format(
            "Its channel counts disagree: %lld channels are not %lld analog and "
            "%lld digital ones.",
            static_cast<long long>(total), static_cast<long long>(na), static_cast<long long>(nd)));
    ++at;
    if (total > static_cast<std::int64_t>(lines.size() - at))
        return Refuse(Format("It counts %lld channels but holds only %zu more lines.",
                             static_cast<long long>(total), lines.size() - at));
    auto notChannel = [&](const char* kind, std::int64_t count) {
        return Refuse(
            Format("Its channel counts disagree with its lines: line %zu %s is no %s "
                   "channel line, but the configuration counts %lld %s channels.",
                   at + 1, Quoted(lines[at]).c_str(), kind, static_cast<long long>(count), kind));
    };
    c.analogs.resize(static_cast<size_t>(na));
    for (Analog& ch : c.analogs) {
        const std::vector<std::string_view> f = Fields(lines[at]);
        // 1991 stops after min and max; later revisions add primary, secondary and PS.
        if (f.size() != 10 && f.size() != 13) return notChannel("analog", na);
        ch.id = DisplayName(f[1]);
        ch.phase = DisplayName(f[2]);
        ch.unit = DisplayName(f[4]);
        if (!ParseReal(f[5], ch.a) || !ParseReal(f[6], ch.b) || !std::isfinite(ch.a) ||
            !std::isfinite(ch.b))
            return Refuse(
                Format("Line %zu: the scale factors %s and %s of analog channel %s "
                       "are no numbers.",
                       at + 1, Quoted(f[5]).c_str(), Quoted(f[6]).c_str(), Quoted(f[1]).c_str()));
        // Integer samples then always scale to finite values.
        if (!std::isfinite(std::fabs(ch.a) * 2147483648.0 + std::fabs(ch.b)))
            return Refuse(
                Format("Line %zu: the scale factors %s and %s of analog channel %s "
                       "are too large.",
                       at + 1, Quoted(f[5]).c_str(), Quoted(f[6]).c_str(), Quoted(f[1]).c_str()));
        // A factor of 0 makes a constant channel of value b: recorders write
        // unused inputs so.
        if (f.size() == 13) {
            c.longChannels = true;
            if (SameText(f[12], "S")) {
                ch.secondarySide = true;
            } else if (!SameText(f[12], "P") && !f[12].empty()) {
                return Refuse(
                    Format("Line %zu: %s names neither the primary (P) nor the "
                           "secondary (S) side.",
                           at + 1, Quoted(f[12]).c_str()));
            }
            if (!ParseReal(f[10], ch.primary) || !ParseReal(f[11], ch.secondary))
                ch.primary = ch.secondary = 0.0;  // only told in a note
        }
        ++at;
    }
    c.digitals.resize(static_cast<size_t>(nd));
    for (Digital& ch : c.digitals) {
        const std::vector<std::string_view> f = Fields(lines[at]);
        // 1991: Dn,ch_id,y; later: Dn,ch_id,ph,ccbm,y.
        if (f.size() < 3 || f.size() > 5) return notChannel("digital", nd);
        ch.id = DisplayName(f[1]);
        if (f.size() >= 4) ch.phase = DisplayName(f[2]);
        ++at;
    }
    if (at < lines.size() && Fields(lines[at]).size() >= 3)
        return Refuse(
            Format("Its channel counts disagree with its lines: line %zu %s follows "
                   "the %lld analog and %lld digital channels where the line "
                   "frequency belongs.",
                   at + 1, Quoted(lines[at]).c_str(), static_cast<long long>(na),
                   static_cast<long long>(nd)));
    return true;
}

bool Reader::ParseRates(const std::vector<std::string_view>& lines, size_t& at, Config& c) {
    std::int64_t nrates = -1;
    if (at >= lines.size() || !ParseInteger(lines[at], nrates) || nrates < 0)
        return Refuse(Format("Line %zu should give the number of sampling rates.", at + 1));
    ++at;
    if (nrates > static_cast<std::int64_t>(lines.size() - at))
        return Refuse(Format("It counts %lld sampling rates but holds only %zu more lines.",
                             static_cast<long long>(nrates), lines.size() - at));
    // With no rates, one line "0,endsamp" still gives the sample count.
    const std::int64_t listed = std::max<std::int64_t>(nrates, 1);
    bool stamped = nrates == 0;
    std::int64_t last = 0;
    for (std::int64_t k = 0; k < listed; ++k, ++at) {
        const std::vector<std::string_view> f =
            at < lines.size() ? Fields(lines[at]) : std::vector<std::string_view>{};
        Rate r;
        if (f.size() != 2 || !ParseReal(f[0], r.samp) || !ParseInteger(f[1], r.end) ||
            !(r.samp >= 0.0) || !std::isfinite(r.samp) || r.end < 0)
            return Refuse(
                Format("Line %zu should give a sampling rate and its last sample as "
                       "\"samp,endsamp\".",
                       at + 1));
        if (r.end < last && nrates > 0)
            return Refuse(
                Format("Line %zu: the last sample %lld of a sampling rate comes before "
                       "sample %lld, the last of the rate before it.",
                       at + 1, static_cast<long long>(r.end), static_cast<long long>(last)));
        stamped |= r.samp == 0.0;
        // Recorders repeat the last line for segments that hold no samples.
        if (r.end == last && nrates > 0) continue;
        last = r.end;
        c.rates.push_back(r);
    }
    c.samples = last;
    if (stamped) c.rates.clear();
    return true;
}

bool Reader::ParseConfig(std::string_view text, Config& c) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        const std::string_view line = Trim(text.substr(0, nl));
        if (!line.empty()) lines.push_back(line);
        if (nl == std::string_view::npos) break;
        text.remove_prefix(nl + 1);
    }
    if (lines.size() < 2) return Refuse("Its configuration ends before its channel counts.");
    const std::vector<std::string_view> first = Fields(lines[0]);
    c.station = DisplayName(first[0]);
    if (first.size() > 1) c.device = DisplayName(first[1]);
    // Recorders write other years (and SEL relays "0"); the layout then
    // tells the rules, but a year before 1991 can only mean 1991.
    std::int64_t year = 1991;
    if (first.size() > 2 && !first[2].empty()) {
        const bool number = ParseInteger(first[2], year);
        if (!number || (year != 1991 && year != 1999 && year != 2013)) {
            c.year = DisplayName(first[2].substr(0, 20));
            year = !number || year > 1991 ? 0 : 1991;
        }
    }
    c.revision = static_cast<int>(year);
    size_t at = 1;
    if (!ParseChannels(lines, at, c)) return false;
    if (at >= lines.size() || !ParseReal(lines[at], c.lineFrequency))
        return Refuse(Format("Line %zu should give the line frequency.", at + 1));
    ++at;
    if (!ParseRates(lines, at, c)) return false;
    if (at + 3 > lines.size())
        return Refuse("Its configuration ends before its times and data file type.");
    c.start = DisplayName(lines[at++]);
    c.trigger = DisplayName(lines[at++]);
    const std::string_view type = lines[at++];
    if (SameText(type, "ASCII")) {
        c.type = DataType::Ascii;
    } else if (SameText(type, "BINARY")) {
        c.type = DataType::Binary16;
    } else if (SameText(type, "BINARY32")) {
        c.type = DataType::Binary32;
    } else if (SameText(type, "FLOAT32")) {
        c.type = DataType::Float32;
    } else {
        return Refuse(
            Format("Its data file type %s is none of ASCII, BINARY, BINARY32 and "
                   "FLOAT32.",
                   Quoted(type).c_str()));
    }
    if (c.revision == 0) {
        // A time multiplier or 13 fields to a channel came with 1999; the time
        // code and leap second lines after the multiplier with 2013.
        const size_t more = lines.size() - at;
        c.revision = more >= 2 ? 2013 : more == 1 || c.longChannels ? 1999 : 1991;
    }
    // 1991 has no time multiplier; 2013's time code lines follow it and say
    // nothing about the samples.
    if (c.revision != 1991 && at < lines.size()) {
        if (!ParseReal(lines[at], c.timeMult) || !std::isfinite(c.timeMult))
            return Refuse(Format("Line %zu: the time multiplier %s is no number.", at + 1,
                                 Quoted(lines[at]).c_str()));
    }
    if (c.rates.empty() && !(c.timeMult > 0.0))
        return Refuse(
            "The samples are timed by their time stamps, but the time multiplier is "
            "not positive.");
    if (c.samples == 0) return Refuse("The configuration gives no samples.");
    return true;
}

std::int64_t RecordBytes(const Config& c) {
    const std::int64_t width = c.type == DataType::Binary16 ? 2 : 4;
    return 8 + width * static_cast<std::int64_t>(c.analogs.size()) +
           2 * ((static_cast<std::int64_t>(c.digitals.size()) + 15) / 16);
}

// Names are the channel id with the phase after it; a channel without an id
// is named by its kind and place ("A3", "D2"), and a name already taken gets
// " #2", " #3"... so that every variable can be picked by name.
std::vector<std::string> ChannelNames(const Config& c) {
    std::vector<std::string> names = {"Time"};
    auto add = [&](const std::string& id, const std::string& phase, char kind, size_t index) {
        std::string base = id.empty() ? Format("%c%zu", kind, index + 1) : id;
        if (!phase.empty()) base += " (" + phase + ")";
        std::string name = base;
        for (int k = 2;; ++k) {
            const bool taken = std::any_of(names.begin(), names.end(),
                                           [&](const std::string& n) { return SameName(n, name); });
            if (!taken) break;
            name = base + Format(" #%d", k);
        }
        names.push_back(name);
    };
    for (size_t i = 0; i < c.analogs.size(); ++i) add(c.analogs[i].id, c.analogs[i].phase, 'A', i);
    for (size_t i = 0; i < c.digitals.size(); ++i)
        add(c.digitals[i].id, c.digitals[i].phase, 'D', i);
    return names;
}

bool Reader::Prepare(const Config& c, CResultDataRef& fresh) {
    const std::uint64_t vars = 1 + c.analogs.size() + c.digitals.size();
    const std::uint64_t limit = MemoryLimit(options_.memoryLimit);
    if (c.samples > std::numeric_limits<std::int32_t>::max() ||
        vars > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
        return Refuse(
            Format("It holds %lld samples of %llu variables, more than this program "
                   "reads.",
                   static_cast<long long>(c.samples), static_cast<unsigned long long>(vars)));
    if (static_cast<std::uint64_t>(c.samples) > limit / kBytesPerPoint / vars)
        return Refuse(Format("Its %lld samples of %llu variables need more memory than there is.",
                             static_cast<long long>(c.samples),
                             static_cast<unsigned long long>(vars)));
    const auto rows = static_cast<std::int32_t>(c.samples);
    // Threads pay off only for large records.
    if (static_cast<std::uint64_t>(c.samples) * vars >= (1u << 20)) workers_ = WorkerCount();
    if (!Allocate(fresh, static_cast<std::int64_t>(vars), rows)) return false;
    const std::vector<std::string> names = ChannelNames(c);
    CResultData& set = *fresh.Get();
    for (size_t v = 0; v < names.size(); ++v)
        set.SetVariableName(static_cast<std::int32_t>(v), names[v]);
    set.Variable(0)->SetUnit("s");
    for (size_t i = 0; i < c.analogs.size(); ++i)
        set.Variable(static_cast<std::int32_t>(1 + i))->SetUnit(c.analogs[i].unit);
    BackColumns(set, rows, workers_);
    return true;
}

// Scales one analog channel of `rows` records; `missing` is the code of a
// missing sample (a float is missing when it is no finite number).
template <class T>
bool Scale(const char* src, std::int64_t rows, std::int64_t stride, double a, double b, T missing,
           double* dst, std::uint8_t* flags) {
    bool bad = false;
    for (std::int64_t r = 0; r < rows; ++r) {
        const T x = Load<T>(src + r * stride);
        const double v = a * static_cast<double>(x) + b;
        bool ok;
        if constexpr (std::is_floating_point_v<T>) {
            ok = std::isfinite(v);
        } else {
            ok = x != missing;
        }
        dst[r] = v;
        flags[r] = ok ? kPointValid : kPointInvalid;
        bad |= !ok;
    }
    return bad;
}

// Converts `rows` binary records at `src` into rows from `row` on; returns
// the 1-based number of a sample without the time stamp it needs, or 0.
std::int64_t ConvertRecords(const Config& c, const char* src, std::int64_t row, std::int64_t rows,
                            CResultData& set, bool& bad) {
    const std::int64_t record = RecordBytes(c);
    const std::int64_t width = c.type == DataType::Binary16 ? 2 : 4;
    const std::int64_t digitalAt = 8 + width * static_cast<std::int64_t>(c.analogs.size());
    if (c.rates.empty()) {
        double* x = set.Variable(0)->Values() + row;
        for (std::int64_t r = 0; r < rows; ++r) {
            const std::uint32_t t = Load<std::uint32_t>(src + r * record + 4);
            if (t == 0xFFFFFFFFu) return row + r + 1;
            x[r] = static_cast<double>(t);
        }
    }
    for (size_t i = 0; i < c.analogs.size(); ++i) {
        const Analog& ch = c.analogs[i];
        CResultVariable* v = set.Variable(static_cast<std::int32_t>(1 + i));
        const char* first = src + 8 + width * static_cast<std::int64_t>(i);
        double* dst = v->Values() + row;
        std::uint8_t* flags = v->Flags() + row;
        switch (c.type) {
            case DataType::Binary16:
                bad |= Scale<std::int16_t>(first, rows, record, ch.a, ch.b,
                                           std::numeric_limits<std::int16_t>::min(), dst, flags);
                break;
            case DataType::Binary32:
                bad |= Scale<std::int32_t>(first, rows, record, ch.a, ch.b,
                                           std::numeric_limits<std::int32_t>::min(), dst, flags);
                break;
            default:
                bad |= Scale<float>(first, rows, record, ch.a, ch.b, 0.0f, dst, flags);
                break;
        }
    }
    for (size_t d = 0; d < c.digitals.size(); ++d) {
        CResultVariable* v = set.Variable(static_cast<std::int32_t>(1 + c.analogs.size() + d));
        const char* word = src + digitalAt + 2 * static_cast<std::int64_t>(d / 16);
        const std::uint16_t mask = static_cast<std::uint16_t>(1u << (d % 16));
        double* dst = v->Values() + row;
        std::memset(v->Flags() + row, kPointValid, static_cast<size_t>(rows));
        for (std::int64_t r = 0; r < rows; ++r)
            dst[r] = (Load<std::uint16_t>(word + r * record) & mask) ? 1.0 : 0.0;
    }
    return 0;
}

bool Reader::ReadBinary(const Config& c, const ByteSource& dat, CResultData& set, bool& bad) {
    const std::int64_t record = RecordBytes(c);
    const std::int64_t rowsPerChunk = std::max<std::int64_t>(1, kChunkBytes / record);
    const std::int64_t chunks = (c.samples + rowsPerChunk - 1) / rowsPerChunk;
    const std::int64_t total = c.samples * record;
    const int workers = static_cast<int>(std::min<std::int64_t>(workers_, chunks));
    // Allocated here: a worker must not throw.
    std::vector<std::string> buffers(
        static_cast<size_t>(workers),
        std::string(static_cast<size_t>(std::min(rowsPerChunk, c.samples) * record), '\0'));
    ItemCounter counter(chunks);
    std::mutex lock;  // guards what the workers report
    std::int64_t unstamped = 0;
    std::string readError;
    bool cancelled = false;
    std::atomic<std::int64_t> done{0};
    RunWorkers(workers, [&](int worker) {
        std::string& buffer = buffers[static_cast<size_t>(worker)];
        bool sawBad = false;
        for (std::int64_t i = counter.Next(); i >= 0; i = counter.Next()) {
            const std::int64_t row = i * rowsPerChunk;
            const std::int64_t rows = std::min(rowsPerChunk, c.samples - row);
            const std::int64_t got = dat.ReadAt(row * record, buffer.data(), rows * record);
            const std::int64_t missing =
                got == rows * record ? ConvertRecords(c, buffer.data(), row, rows, set, sawBad) : 0;
            const std::int64_t now = done.fetch_add(rows * record) + rows * record;
            std::unique_lock<std::mutex> hold(lock, std::try_to_lock);
            if (got != rows * record || missing) {
                if (!hold.owns_lock()) hold.lock();
                if (got != rows * record && readError.empty())
                    readError = got < 0 ? std::strerror(errno) : "it became shorter";
                if (missing && (!unstamped || missing < unstamped)) unstamped = missing;
                counter.Stop();
            } else if (hold.owns_lock() && !cancelled && !KeepGoing(now, total)) {
                cancelled = true;
                counter.Stop();
            }
        }
        if (sawBad) {
            std::lock_guard<std::mutex> hold(lock);
            bad = true;
        }
    });
    if (cancelled) return false;
    if (!readError.empty())
        return Refuse(Format("Cannot read the data file: %s.", readError.c_str()));
    if (unstamped)
        return Refuse(Format("Sample %lld has no time stamp, and no sampling rate times it.",
                             static_cast<long long>(unstamped)));
    return true;
}

bool Reader::ReadAscii(const Config& c, ByteSource& dat, CResultData& set, bool& bad) {
    const size_t na = c.analogs.size(), nd = c.digitals.size();
    const size_t want = 2 + na + nd;
    Lines lines(dat);
    std::string_view line;
    std::vector<std::string_view> f;
    double* x = set.Variable(0)->Values();
    std::int64_t row = 0, number = 0;
    for (; row < c.samples; ++row) {
        do {
            ++number;
            if (!lines.Next(line) || Trim(line).substr(0, 3) == "---") {
                if (lines.Failed())
                    return Refuse(Format("Cannot read the data file: %s.", std::strerror(errno)));
                return Refuse(
                    Format("The data file is shorter than the configuration says: it "
                           "ends after %lld of its %lld samples.",
                           static_cast<long long>(row), static_cast<long long>(c.samples)));
            }
        } while (Trim(line).empty());
        if ((row & 4095) == 0 && !KeepGoing(lines.Consumed(), dat.Size())) return false;
        f = Fields(line);
        // Some writers end each line with a comma.
        if (f.size() == want + 1 && f.back().empty()) f.pop_back();
        if (f.size() != want)
            return Refuse(
                Format("Line %lld of the data file holds %zu fields where the "
                       "configuration gives %zu.",
                       static_cast<long long>(number), f.size(), want));
        auto noNumber = [&](size_t k) {
            return Refuse(Format("Line %lld of the data file: %s is no number.",
                                 static_cast<long long>(number), Quoted(f[k]).c_str()));
        };
        if (c.rates.empty()) {
            if (f[1].empty())
                return Refuse(
                    Format("Sample %lld has no time stamp, and no sampling rate "
                           "times it.",
                           static_cast<long long>(row + 1)));
            if (!ParseReal(f[1], x[row])) return noNumber(1);
        }
        for (size_t k = 0; k < na + nd; ++k) {
            CResultVariable* v = set.Variable(static_cast<std::int32_t>(1 + k));
            const std::string_view field = f[2 + k];
            double value = 0.0;
            if (!field.empty() && !ParseReal(field, value)) return noNumber(2 + k);
            // An empty field is missing, and since 1999 so is an analog value of 99999.
            bool ok = !field.empty() && !(k < na && value == 99999.0 && c.revision != 1991);
            if (k < na) {
                value = c.analogs[k].a * value + c.analogs[k].b;
            } else {
                value = value != 0.0 ? 1.0 : 0.0;
            }
            ok = ok && std::isfinite(value);
            v->Values()[row] = value;
            v->Flags()[row] = ok ? kPointValid : kPointInvalid;
            bad |= !ok;
        }
    }
    return true;
}

void Reader::Note(const Config& c) {
    Note(
        Format("COMTRADE %d record of %s, %s: %zu analog and %zu digital channels, "
               "%lld samples, line frequency %s Hz.",
               c.revision, c.station.c_str(), c.device.c_str(), c.analogs.size(), c.digitals.size(),
               static_cast<long long>(c.samples), ExactNumber(c.lineFrequency).c_str()));
    std::int64_t year = 0;
    if (!c.year.empty() && ParseInteger(c.year, year) && year < 1991) {
        Note(
            Format("Its revision year %s comes before 1991: it is read as a 1991 "
                   "record.",
                   Quoted(c.year).c_str()));
    } else if (!c.year.empty()) {
        Note(
            Format("Its revision year %s is none of 1991, 1999 and 2013: it is read "
                   "as a %d record, as its layout shows.",
                   Quoted(c.year).c_str(), c.revision));
    }
    std::string when = "First sample at " + c.start;
    std::int64_t start = 0, trigger = 0;
    double startPart = 0.0, triggerPart = 0.0;
    if (ParseTime(c.start, c.revision == 1991, start, startPart) &&
        ParseTime(c.trigger, c.revision == 1991, trigger, triggerPart)) {
        // To the nanosecond, the finest a 2013 time gives.
        const double after = static_cast<double>(trigger - start) + (triggerPart - startPart);
        when += "; trigger at " + ExactNumber(std::round(after * 1e9) / 1e9) + " s.";
    } else {
        when += "; trigger at " + c.trigger + ".";
    }
    Note(when);
    std::string secondary;
    for (const Analog& ch : c.analogs) {
        if (!ch.secondarySide) continue;
        secondary += (secondary.empty() ? "" : ", ") + (ch.id.empty() ? "?" : ch.id);
        if (ch.primary > 0.0 && ch.secondary > 0.0)
            secondary += " (" + ExactNumber(ch.primary) + ":" + ExactNumber(ch.secondary) + ")";
    }
    if (!secondary.empty()) Note("Secondary values (primary:secondary): " + secondary + ".");
}

bool Reader::Run(CResultDataRef& data) {
    FileByteSource file;
    if (!file.Open(path_)) {
        messages_.Show(file.Error(), MessageIcon::Stop);
        return false;
    }
    if (!file.Positional())
        return Refuse(Format("Cannot read \"%s\": it is not a regular file.", path_.c_str()));
    std::string config;
    FileByteSource datFile;
    const ByteSource* datWhole = &datFile;
    std::int64_t dataStart = 0, dataSize = 0;
    bool combined = EndsWithNoCase(path_, ".cff");
    bool asciiSection = false;
    if (combined) {
        if (!ReadCombined(file, config, dataStart, dataSize, asciiSection)) return false;
        datWhole = &file;
    } else {
        if (file.Size() > kMaxConfigBytes)
            return Refuse(Format("Its %lld bytes are too many for a configuration.",
                                 static_cast<long long>(file.Size())));
        config.resize(static_cast<size_t>(file.Size()));
        if (file.ReadAt(0, config.data(), file.Size()) != file.Size())
            return Refuse(Format("Cannot read \"%s\": %s.", path_.c_str(), std::strerror(errno)));
    }
    Config c;
    if (!ParseConfig(config, c)) return false;
    if (combined && asciiSection != (c.type == DataType::Ascii))
        return Refuse(
            "Its data section and its configuration disagree on whether the samples "
            "are text or binary.");
    if (!combined) {
        std::string dat;
        if (!FindDataFile(dat)) return false;
        if (!datFile.Open(dat)) return Refuse(datFile.Error());
        if (!datFile.Positional())
            return Refuse(Format("Cannot read \"%s\": it is not a regular file.", dat.c_str()));
        dataSize = datFile.Size();
    }
    Slice dat(*datWhole, dataStart, dataSize);
    if (c.type == DataType::Ascii) {
        // Each sample's line holds its fields and their commas.
        const auto fields = static_cast<std::int64_t>(2 + c.analogs.size() + c.digitals.size());
        if (c.samples > (dataSize + 1) / fields)
            return Refuse(
                Format("The data file is shorter than the configuration says: %lld "
                       "samples of %lld fields cannot fit in its %lld bytes.",
                       static_cast<long long>(c.samples), static_cast<long long>(fields),
                       static_cast<long long>(dataSize)));
    } else {
        const std::int64_t record = RecordBytes(c);
        if (c.samples > dataSize / record)
            return Refuse(
                Format("The data file is shorter than the configuration says: %lld "
                       "samples of %lld bytes need %s bytes, but it holds %lld.",
                       static_cast<long long>(c.samples), static_cast<long long>(record),
                       c.samples <= std::numeric_limits<std::int64_t>::max() / record
                           ? std::to_string(c.samples * record).c_str()
                           : "more than 9e18",
                       static_cast<long long>(dataSize)));
    }
    CResultDataRef fresh;
    if (!Prepare(c, fresh)) return false;
    CResultData& set = *fresh.Get();
    std::lock_guard<std::recursive_mutex> hold(set.Lock());
    bool bad = false;
    if (!(c.type == DataType::Ascii ? ReadAscii(c, dat, set, bad) : ReadBinary(c, dat, set, bad)))
        return false;
    double* x = set.Variable(0)->Values();
    std::uint8_t* xFlags = set.Variable(0)->Flags();
    std::memset(xFlags, kPointValid, static_cast<size_t>(c.samples));
    if (c.rates.empty()) {
        const double scale = c.timeMult * 1e-6;
        for (std::int64_t i = 0; i < c.samples; ++i) x[i] *= scale;
    } else {
        // Each segment steps by its own rate, from the sample before it.
        double base = 0.0, last = -1.0 / c.rates[0].samp;
        std::int64_t from = 0;
        for (const Rate& r : c.rates) {
            const double step = 1.0 / r.samp;
            base = last + step;
            for (std::int64_t i = from; i < r.end; ++i)
                x[i] = base + static_cast<double>(i - from) * step;
            last = x[r.end - 1];
            from = r.end;
        }
    }
    // Rates and multipliers may take times beyond the range of a double.
    for (std::int64_t i = 0; i < c.samples; ++i) {
        if (!std::isfinite(x[i])) {
            xFlags[i] = kPointInvalid;
            bad = true;
        }
    }
    FinishColumns(set, c.samples, {}, false, bad, workers_);
    Note(c);
    data = fresh;
    return true;
}

}  // namespace

bool LooksLikeComtrade(std::string_view head, const std::string& path) {
    const bool combined = EndsWithNoCase(path, ".cff");
    if (!combined && !EndsWithNoCase(path, ".cfg")) return false;
    std::string more;
    // Station and device names may fill the first 128 bytes: read on to the
    // second line.
    if (!combined && head.find('\n', head.find('\n') + 1) == std::string_view::npos &&
        head.size() >= 128) {
        FileByteSource file;
        if (file.Open(path) && file.Positional()) {
            more.resize(1024);
            const std::int64_t got = file.ReadAt(0, more.data(), 1024);
            more.resize(static_cast<size_t>(std::max<std::int64_t>(0, got)));
            head = more;
        }
    }
    if (head.substr(0, 3) == "\xEF\xBB\xBF") head.remove_prefix(3);
    const size_t nl = head.find('\n');
    if (nl == std::string_view::npos) return false;
    if (combined) return LooksLikeSectionLine(head.substr(0, nl));
    std::string_view second = head.substr(nl + 1);
    second = second.substr(0, second.find('\n'));
    const std::vector<std::string_view> f = Fields(second);
    std::int64_t n = 0;
    return f.size() == 3 && ParseInteger(f[0], n) && EndsWithNoCase(f[1], "A") &&
           EndsWithNoCase(f[2], "D") && ParseInteger(f[1].substr(0, f[1].size() - 1), n) &&
           ParseInteger(f[2].substr(0, f[2].size() - 1), n);
}

bool ReadComtradeFile(const std::string& path, CResultDataRef& data, UserMessages& messages,
                      const BinaryReadOptions& options, std::vector<std::string>* notes) {
    Reader reader(path, messages, options, notes);
    return reader.Run(data);
}

}  // namespace kurvex
