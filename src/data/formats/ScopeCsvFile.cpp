#include "data/formats/ScopeCsvFile.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <mutex>

#include "data/formats/BinaryReading.h"
#include "data/platform/ByteSource.h"
#include "data/platform/NameText.h"
#include "data/platform/NumberText.h"

namespace kurvex {

namespace {

// Tektronix preambles run to some twenty rows; one this long is no preamble.
constexpr long long kMaxPreambleLines = 200;
constexpr std::uint64_t kBytesPerPoint = sizeof(double) + 1;

enum class Maker { Tektronix, Keysight, RigolNumbered, RigolTimed };

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
    return s;
}

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool StartsWith(std::string_view line, std::string_view prefix) {
    return line.size() >= prefix.size() && Upper(line.substr(0, prefix.size())) == Upper(prefix);
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> f;
    for (size_t at = 0;;) {
        const size_t comma = line.find(',', at);
        f.push_back(Trim(line.substr(at, comma - at)));
        if (comma == std::string_view::npos) break;
        at = comma + 1;
    }
    return f;
}

// A heading row without the empty fields its trailing commas leave.
std::vector<std::string_view> HeadingFields(std::string_view line) {
    std::vector<std::string_view> f = Fields(line);
    while (!f.empty() && f.back().empty()) f.pop_back();
    return f;
}

bool Number(std::string_view s, double& v) {
    const char* b = s.data();
    const char* e = b + s.size();
    const char* stop = nullptr;
    if (b == e) return false;
    if (ParseSimpleDecimal(b, e, v, stop) && stop == e) return true;
    if (*b == '+') ++b;
    const auto r = std::from_chars(b, e, v);
    if (b == e || r.ptr != e) return false;
    if (r.ec == std::errc::result_out_of_range) v = ParseDecimal(b, e);
    return r.ec == std::errc() || r.ec == std::errc::result_out_of_range;
}

std::string Quoted(std::string_view s) {
    return "\"" + DisplayName(s.substr(0, 60)) + (s.size() > 60 ? "...\"" : "\"");
}

// The SI symbol of a unit the exports spell out ("second", "Volt").
std::string UnitSymbol(std::string_view word) {
    static const std::pair<const char*, const char*> kWords[] = {
        {"SECOND", "s"}, {"SECONDS", "s"}, {"VOLT", "V"},     {"VOLTS", "V"}, {"AMPERE", "A"},
        {"AMP", "A"},    {"AMPS", "A"},    {"WATT", "W"},     {"WATTS", "W"}, {"HERTZ", "Hz"},
        {"HZ", "Hz"},    {"S", "s"},       {"DECIBEL", "dB"},
    };
    const std::string u = Upper(word);
    for (const auto& [spelled, symbol] : kWords)
        if (u == spelled) return symbol;
    return std::string(word);
}

// The line of `head` from `at`, moving `at` past it.
std::string_view HeadLine(std::string_view head, size_t& at) {
    if (at >= head.size()) return {};
    const size_t nl = head.find('\n', at);
    std::string_view line = head.substr(at, nl - at);
    at = nl == std::string_view::npos ? head.size() : nl + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// What the heading rows say.
struct Heading {
    Maker maker = Maker::Keysight;
    std::string xName = "Time", xUnit = "s";
    std::vector<std::string> names, units;
    long long lines = 0;          // rows before the first sample
    long long recordLength = -1;  // as the preamble gives it
    double start = 0.0, increment = 0.0, interval = 0.0;
    std::vector<std::string> facts;
};

class Reader : BinaryReading {
public:
    Reader(const std::string& path, UserMessages& messages, const BinaryReadOptions& options,
           std::vector<std::string>* notes)
        : BinaryReading(path, messages, options.progress, notes),
          path_(path),
          options_(options),
          lines_(file_) {}

    bool Run(CResultDataRef& data);

private:
    bool Next(std::string_view& line) {
        if (!lines_.Next(line)) return false;
        ++lineNo_;
        return true;
    }
    // Refuses a file the lines stopped on a read error in; true then.
    bool ReadFailed() {
        if (!lines_.Failed()) return false;
        Refuse(Format("Cannot read \"%s\": %s.", path_.c_str(), std::strerror(errno)));
        return true;
    }
    bool ReadHeading(Heading& h);
    bool ReadPreamble(Heading& h);
    bool ReadTwoRows(Heading& h);
    bool ReadRows(CResultData& set, const Heading& h, std::int64_t rows, bool& bad);

    std::string path_;
    const BinaryReadOptions& options_;
    FileByteSource file_;
    LineReader lines_;
    long long lineNo_ = 0;
    std::vector<std::string> later_;  // what the rows showed, noted after the file's facts
};

bool Reader::ReadPreamble(Heading& h) {
    std::map<std::string, std::vector<std::string_view>> keys;
    std::deque<std::string> held;  // the preamble's rows, which keys views into
    std::string_view line;
    std::vector<std::string_view> heading;
    while (heading.empty()) {
        if (!Next(line)) {
            if (ReadFailed()) return false;
            return Refuse("Its preamble is followed by no \"TIME,...\" heading.");
        }
        if (lineNo_ > kMaxPreambleLines)
            return Refuse(Format("Its preamble runs past %lld rows without a \"TIME,...\" heading.",
                                 kMaxPreambleLines));
        held.emplace_back(line);
        std::vector<std::string_view> f = Fields(held.back());
        if (Upper(f[0]) == "TIME") {
            heading = HeadingFields(held.back());
        } else if (!f[0].empty() && !keys.count(std::string(f[0]))) {
            keys[std::string(f[0])] = std::vector<std::string_view>(f.begin() + 1, f.end());
        }
    }
    h.lines = lineNo_;
    // The value of `key` for column `column` (from 1), or its only value.
    const auto value = [&](const char* key, size_t column) -> std::string {
        const auto it = keys.find(key);
        if (it == keys.end() || it->second.empty()) return {};
        const std::vector<std::string_view>& v = it->second;
        return std::string(column <= v.size() && !v[column - 1].empty() ? v[column - 1] : v[0]);
    };
    if (!value("Model", 1).empty()) h.facts.push_back("instrument: " + value("Model", 1));
    if (!value("Firmware Version", 1).empty())
        h.facts.push_back("firmware version: " + value("Firmware Version", 1));
    const std::string xUnit = value("Horizontal Units", 1);
    h.xUnit = xUnit.empty() ? "s" : UnitSymbol(xUnit);
    h.xName = h.xUnit == "s" ? "Time" : h.xUnit == "Hz" ? "Frequency (Hz)" : "X";
    const std::string length = value("Record Length", 1);
    double n = 0.0;
    if (!length.empty()) {
        if (!Number(length, n) || n < 0 || n != std::floor(n) || n > 1e15)
            return Refuse(
                Format("Its preamble's Record Length %s is no count.", Quoted(length).c_str()));
        h.recordLength = static_cast<long long>(n);
    }
    const std::string interval = value("Sample Interval", 1);
    if (!interval.empty() && !Number(interval, h.interval))
        return Refuse(
            Format("Its preamble's Sample Interval %s is no number.", Quoted(interval).c_str()));
    for (size_t c = 1; c < heading.size(); ++c) {
        h.names.push_back(heading[c].empty() ? Format("column %zu", c + 1)
                                             : std::string(heading[c]));
        h.units.push_back(UnitSymbol(value("Vertical Units", c)));
        const std::string probe = value("Probe Attenuation", c);
        if (!probe.empty()) h.facts.push_back(h.names.back() + " probe attenuation: " + probe);
    }
    return true;
}

bool Reader::ReadTwoRows(Heading& h) {
    std::string_view line;
    std::string first;
    if (!Next(line)) return !ReadFailed() && Refuse("It holds no heading.");
    first = line;
    const std::vector<std::string_view> names = HeadingFields(first);
    if (!Next(line)) return !ReadFailed() && Refuse("Its heading has no row of units.");
    const std::vector<std::string_view> units = HeadingFields(line);
    h.lines = lineNo_;
    if (names.size() < 2 || units.empty()) return Refuse("Its heading names no channel.");
    size_t channels = names.size() - 1;
    if (Upper(units[0]) == "SEQUENCE") {
        h.maker = Maker::RigolNumbered;
        if (names.size() < 4 || Upper(names[names.size() - 2]) != "START" ||
            Upper(names.back()) != "INCREMENT")
            return Refuse("Its heading numbers its samples but gives no Start and Increment.");
        channels -= 2;
        if (units.size() != names.size())
            return Refuse(Format("Its second row gives %zu fields for the %zu of its heading.",
                                 units.size(), names.size()));
        if (!Number(units[channels + 1], h.start) || !Number(units[channels + 2], h.increment) ||
            !std::isfinite(h.start) || !(h.increment > 0) || !std::isfinite(h.increment))
            return Refuse(Format("Its Start %s and Increment %s are no times.",
                                 Quoted(units[channels + 1]).c_str(),
                                 Quoted(units[channels + 2]).c_str()));
        h.interval = h.increment;
    } else {
        h.maker = StartsWith(first, "X,") ? Maker::RigolTimed : Maker::Keysight;
        if (units.size() != names.size())
            return Refuse(Format("Its row of units gives %zu units for its %zu columns.",
                                 units.size(), names.size()));
        h.xUnit = UnitSymbol(units[0]);
        h.xName = h.xUnit == "s"    ? "Time"
                  : h.xUnit == "Hz" ? "Frequency (Hz)"
                                    : std::string(names[0]);
    }
    for (size_t c = 1; c <= channels; ++c) {
        h.names.push_back(names[c].empty() ? Format("column %zu", c + 1) : std::string(names[c]));
        h.units.push_back(UnitSymbol(units[c]));
    }
    return true;
}

bool Reader::ReadHeading(Heading& h) {
    std::string head(256, '\0');
    const std::int64_t got = file_.ReadAt(0, head.data(), static_cast<std::int64_t>(head.size()));
    head.resize(got > 0 ? static_cast<size_t>(got) : 0);
    h.maker = StartsWith(head, "Model,") ? Maker::Tektronix : Maker::Keysight;
    return h.maker == Maker::Tektronix ? ReadPreamble(h) : ReadTwoRows(h);
}

bool Reader::ReadRows(CResultData& set, const Heading& h, std::int64_t rows, bool& bad) {
    const size_t want = h.names.size() + 1;
    const bool numbered = h.maker == Maker::RigolNumbered;
    const std::int64_t size = file_.Size();
    double* x = set.Variable(0)->Values();
    std::uint8_t* xFlags = set.Variable(0)->Flags();
    std::vector<double*> y;
    std::vector<std::uint8_t*> flags;
    for (size_t c = 1; c < want; ++c) {
        y.push_back(set.Variable(static_cast<std::int32_t>(c))->Values());
        flags.push_back(set.Variable(static_cast<std::int32_t>(c))->Flags());
    }
    std::int64_t missing = 0, invalid = 0;
    long long firstMissing = 0;
    std::string_view line;
    std::int64_t row = 0;
    while (row < rows) {
        if (!Next(line)) {
            if (ReadFailed()) return false;
            return Refuse(Format("It became shorter while it was read: %lld of %lld rows.",
                                 static_cast<long long>(row), static_cast<long long>(rows)));
        }
        if (Trim(line).empty()) continue;
        if ((row & 4095) == 0 && !KeepGoing(size + lines_.Consumed(), 2 * size)) return false;
        std::vector<std::string_view> f = Fields(line);
        while (f.size() > want && f.back().empty()) f.pop_back();
        if (f.size() != want)
            return Refuse(Format("Line %lld holds %zu fields where its heading names %zu.", lineNo_,
                                 f.size(), want));
        double t = 0.0;
        if (numbered) {
            if (!Number(f[0], t) || t != static_cast<double>(row))
                return Refuse(Format("Line %lld numbers its sample %s where %lld comes next.",
                                     lineNo_, Quoted(f[0]).c_str(), static_cast<long long>(row)));
            t = h.start + t * h.increment;
        } else if (!Number(f[0], t) || !std::isfinite(t)) {
            return Refuse(Format("Line %lld: its %s %s is no number.", lineNo_,
                                 h.xName == "Time" ? "time" : "X", Quoted(f[0]).c_str()));
        }
        x[row] = t;
        xFlags[row] = kPointValid;
        for (size_t c = 1; c < want; ++c) {
            double v = 0.0;
            std::uint8_t flag = kPointValid;
            if (f[c].empty()) {
                flag = kPointMissing;
                if (!missing++) firstMissing = lineNo_;
            } else if (!Number(f[c], v)) {
                return Refuse(Format("Line %lld: %s is no number.", lineNo_, Quoted(f[c]).c_str()));
            } else if (!std::isfinite(v)) {
                flag = kPointInvalid;
                ++invalid;
            }
            y[c - 1][row] = v;
            flags[c - 1][row] = flag;
            bad |= flag != kPointValid;
        }
        ++row;
    }
    if (missing)
        later_.push_back(Format("%lld empty samples marked missing (the first on line %lld).",
                                static_cast<long long>(missing), firstMissing));
    if (invalid)
        later_.push_back(Format("%lld samples out of a double's range marked invalid.",
                                static_cast<long long>(invalid)));
    return true;
}

bool Reader::Run(CResultDataRef& data) {
    if (!file_.Open(path_)) return Refuse(file_.Error());
    const std::int64_t size = file_.Size();
    Heading h;
    if (!ReadHeading(h)) return false;

    // Rows are counted first: what is allocated is what the file holds.
    std::int64_t rows = 0;
    std::string_view line;
    while (Next(line)) {
        if (!Trim(line).empty()) ++rows;
        if ((rows & 4095) == 0 && !KeepGoing(lines_.Consumed(), 2 * size)) return false;
    }
    if (ReadFailed()) return false;
    if (rows == 0) return Refuse("It holds no samples after its heading.");
    if (h.recordLength >= 0 && h.recordLength != rows)
        return Refuse(Format("Its preamble's record length is %lld, but it holds %lld row%s%s.",
                             h.recordLength, static_cast<long long>(rows), rows == 1 ? "" : "s",
                             rows < h.recordLength ? ": it is cut short" : ""));
    const std::int64_t columns = static_cast<std::int64_t>(h.names.size()) + 1;
    if (rows > std::numeric_limits<std::int32_t>::max() ||
        static_cast<std::uint64_t>(rows) * static_cast<std::uint64_t>(columns) >
            MemoryLimit(options_.memoryLimit) / kBytesPerPoint)
        return Refuse(
            Format("Its %lld rows need more memory than there is.", static_cast<long long>(rows)));

    CResultDataRef fresh;
    if (!Allocate(fresh, columns, rows)) return false;
    CResultData& set = *fresh.Get();
    std::lock_guard<std::recursive_mutex> hold(set.Lock());
    set.SetVariableName(0, h.xName);
    set.Variable(0)->SetUnit(h.xUnit);
    for (size_t c = 0; c < h.names.size(); ++c) {
        set.SetVariableName(static_cast<std::int32_t>(c + 1), h.names[c]);
        set.Variable(static_cast<std::int32_t>(c + 1))->SetUnit(h.units[c]);
    }
    if (!lines_.Rewind())
        return Refuse(Format("Cannot read \"%s\" again from its start.", path_.c_str()));
    lineNo_ = 0;
    for (long long i = 0; i < h.lines; ++i)
        if (!Next(line)) return !ReadFailed() && Refuse("It became shorter while it was read.");
    bool bad = false;
    if (!ReadRows(set, h, rows, bad)) return false;
    FinishColumns(set, rows, {}, false, bad);

    for (const std::string& fact : h.facts)
        if (fact.rfind("instrument", 0) == 0 || fact.rfind("firmware", 0) == 0) Note(fact);
    Note(Format("record length: %lld", static_cast<long long>(rows)));
    const double* x = set.Variable(0)->Values();
    double interval = h.interval;
    if (interval == 0.0 && rows > 1) {
        // Where the file gives no interval its times are evenly spaced or not.
        interval = (x[rows - 1] - x[0]) / static_cast<double>(rows - 1);
        for (std::int64_t i = 1; i < rows && interval != 0.0; ++i)
            if (std::fabs(x[i] - x[i - 1] - interval) > 1e-3 * std::fabs(interval)) interval = 0.0;
    }
    if (interval != 0.0) Note(Format("sample interval: %.6g %s", interval, h.xUnit.c_str()));
    if (h.maker == Maker::RigolNumbered) Note(Format("start: %.7g s", h.start));
    for (const std::string& fact : h.facts)
        if (fact.find("probe attenuation") != std::string::npos) Note(fact);
    for (const std::string& line : later_) Note(line);
    data = fresh;
    return true;
}

}  // namespace

bool LooksLikeScopeCsv(std::string_view head, const std::string&) {
    size_t at = 0;
    const std::string_view first = HeadLine(head, at);
    const std::string_view second = HeadLine(head, at);
    if (StartsWith(first, "Model,")) {
        for (const char* key :
             {"\nRecord Length,", "\nSample Interval,", "\nWaveform Type,", "\nHorizontal Units,"})
            if (head.find(key) != std::string_view::npos) return true;
        return false;
    }
    if (StartsWith(first, "x-axis,"))
        return !second.empty() && std::isalpha(static_cast<unsigned char>(second[0]));
    if (StartsWith(first, "X,"))
        return StartsWith(second, "Sequence,") || StartsWith(second, "Second,");
    return false;
}

bool ReadScopeCsvFile(const std::string& path, CResultDataRef& data, UserMessages& messages,
                      const BinaryReadOptions& options, std::vector<std::string>* notes) {
    Reader reader(path, messages, options, notes);
    return reader.Run(data);
}

}  // namespace kurvex
