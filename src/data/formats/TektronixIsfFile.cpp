#include "data/formats/TektronixIsfFile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <mutex>

#include "data/formats/BinaryReading.h"
#include "data/platform/ByteSource.h"
#include "data/platform/NumberText.h"

namespace kurvex {

namespace {

// The preamble is a few hundred bytes; one this long holds no CURVE.
constexpr std::int64_t kMaxPreamble = 64 << 10;
constexpr std::int64_t kChunkBytes = 1 << 20;
constexpr std::uint64_t kBytesPerPoint = sizeof(double) + 1;

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// The long name of a preamble key given in its long or short spelling (or
// any spelling between), or empty for a key not read here.
std::string KeyName(std::string_view key) {
    static const std::pair<const char*, const char*> kKeys[] = {
        {"BYT_NR", "BYT_N"}, {"BIT_NR", "BIT_N"}, {"ENCDG", "ENC"},   {"BN_FMT", "BN_F"},
        {"BYT_OR", "BYT_O"}, {"NR_PT", "NR_P"},   {"PT_FMT", "PT_F"}, {"XUNIT", "XUN"},
        {"XINCR", "XIN"},    {"XZERO", "XZE"},    {"PT_OFF", "PT_O"}, {"YUNIT", "YUN"},
        {"YMULT", "YMU"},    {"YOFF", "YOF"},     {"YZERO", "YZE"},   {"WFID", "WFI"},
        {"CURVE", "CURV"},
    };
    const std::string k = Upper(key);
    for (const auto& [full, shortest] : kKeys) {
        const std::string_view f(full);
        if (k.rfind(shortest, 0) == 0 && f.rfind(k, 0) == 0) return full;
    }
    return {};
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

std::string Unquoted(std::string_view s) {
    s = Trim(s);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
    return std::string(s);
}

bool Number(std::string_view s, double& v) {
    s = Trim(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc() && end == s.data() + s.size() && std::isfinite(v);
}

// The preamble's keys by their long names, and where the CURVE answer's
// value begins (npos when the text holds none).
struct Preamble {
    std::map<std::string, std::string> keys;
    std::size_t curve = std::string::npos;
};

Preamble ParsePreamble(std::string_view text) {
    Preamble p;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() &&
               (text[at] == ';' || std::isspace(static_cast<unsigned char>(text[at]))))
            ++at;
        std::size_t end = at;
        while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])) &&
               text[end] != ';')
            ++end;
        std::string_view header = text.substr(at, end - at);
        const std::size_t colon = header.rfind(':');
        if (colon != std::string_view::npos) header.remove_prefix(colon + 1);
        const std::string key = KeyName(header);
        at = end;
        while (at < text.size() && text[at] == ' ') ++at;
        if (key == "CURVE") {
            p.curve = at;
            break;
        }
        std::size_t stop = at;
        for (bool quoted = false; stop < text.size() && (quoted || text[stop] != ';'); ++stop)
            if (text[stop] == '"') quoted = !quoted;
        if (!key.empty() && !p.keys.count(key))
            p.keys[key] = std::string(text.substr(at, stop - at));
        at = stop;
    }
    return p;
}

enum class Kind { Signed, Unsigned, Float };

class Reader : public BinaryReading {
public:
    Reader(const std::string& path, UserMessages& messages, const BinaryReadOptions& options,
           std::vector<std::string>* notes)
        : BinaryReading(path, messages, options.progress, notes), path_(path), options_(options) {}

    bool Run(CResultDataRef& data);

private:
    bool Value(const Preamble& p, const char* key, double& v, bool needed, double otherwise);
    double Raw(const char* b) const;
    bool ReadBinary(std::int64_t at, std::int64_t rows, double* y);
    bool ReadText(std::int64_t at, std::int64_t rows, double* y);

    std::string path_;
    const BinaryReadOptions& options_;
    FileByteSource file_;
    Kind kind_ = Kind::Signed;
    int width_ = 2;
    bool big_ = true;
    double yoff_ = 0.0, ymult_ = 1.0, yzero_ = 0.0;
};

bool Reader::Value(const Preamble& p, const char* key, double& v, bool needed, double otherwise) {
    const auto it = p.keys.find(key);
    if (it == p.keys.end()) {
        v = otherwise;
        return !needed || Refuse(Format("Its preamble gives no %s.", key));
    }
    if (!Number(it->second, v))
        return Refuse(Format("Its preamble's %s %s is no number.", key, it->second.c_str()));
    return true;
}

double Reader::Raw(const char* b) const {
    char bytes[8];
    std::memcpy(bytes, b, static_cast<size_t>(width_));
    if (big_) std::reverse(bytes, bytes + width_);
    switch (kind_) {
        case Kind::Float:
            return width_ == 4 ? Load<float>(bytes) : Load<double>(bytes);
        case Kind::Signed:
            switch (width_) {
                case 1:
                    return Load<std::int8_t>(bytes);
                case 2:
                    return Load<std::int16_t>(bytes);
                case 4:
                    return Load<std::int32_t>(bytes);
                default:
                    return static_cast<double>(Load<std::int64_t>(bytes));
            }
        case Kind::Unsigned:
            switch (width_) {
                case 1:
                    return Load<std::uint8_t>(bytes);
                case 2:
                    return Load<std::uint16_t>(bytes);
                case 4:
                    return Load<std::uint32_t>(bytes);
                default:
                    return static_cast<double>(Load<std::uint64_t>(bytes));
            }
    }
    return 0.0;
}

bool Reader::ReadBinary(std::int64_t at, std::int64_t rows, double* y) {
    const std::int64_t perChunk = kChunkBytes / width_;
    std::string buffer(static_cast<size_t>(std::min(perChunk, rows) * width_), '\0');
    for (std::int64_t row = 0; row < rows; row += perChunk) {
        const std::int64_t n = std::min(perChunk, rows - row);
        if (file_.ReadAt(at + row * width_, buffer.data(), n * width_) != n * width_)
            return Refuse(Format("Cannot read \"%s\": %s.", path_.c_str(), std::strerror(errno)));
        for (std::int64_t i = 0; i < n; ++i)
            y[row + i] = (Raw(buffer.data() + i * width_) - yoff_) * ymult_ + yzero_;
        if (!KeepGoing((row + n) * width_, rows * width_)) return false;
    }
    return true;
}

bool Reader::ReadText(std::int64_t at, std::int64_t rows, double* y) {
    std::string text(static_cast<size_t>(file_.Size() - at), '\0');
    if (file_.ReadAt(at, text.data(), file_.Size() - at) != file_.Size() - at)
        return Refuse(Format("Cannot read \"%s\": %s.", path_.c_str(), std::strerror(errno)));
    std::size_t from = 0;
    for (std::int64_t i = 0; i < rows; ++i) {
        const std::size_t comma = std::min(text.find_first_of(",;\n", from), text.size());
        double v = 0.0;
        if (!Number(std::string_view(text).substr(from, comma - from), v))
            return Refuse(
                Format("Sample %lld of its curve is no number.", static_cast<long long>(i + 1)));
        y[i] = (v - yoff_) * ymult_ + yzero_;
        if (comma >= text.size() || text[comma] != ',') {
            if (i + 1 < rows)
                return Refuse(
                    Format("Its curve holds %lld samples, not the %lld its preamble "
                           "counts.",
                           static_cast<long long>(i + 1), static_cast<long long>(rows)));
            break;
        }
        from = comma + 1;
    }
    return true;
}

bool Reader::Run(CResultDataRef& data) {
    if (!file_.Open(path_)) return Refuse(file_.Error());
    if (!file_.Positional())
        return Refuse(Format("Cannot read \"%s\": it is not a regular file.", path_.c_str()));
    const std::int64_t size = file_.Size();
    std::string head(static_cast<size_t>(std::min(size, kMaxPreamble)), '\0');
    if (file_.ReadAt(0, head.data(), static_cast<std::int64_t>(head.size())) !=
        static_cast<std::int64_t>(head.size()))
        return Refuse(Format("Cannot read \"%s\": %s.", path_.c_str(), std::strerror(errno)));
    const Preamble p = ParsePreamble(head);
    if (p.curve == std::string::npos) return Refuse("Its preamble is followed by no CURVE answer.");

    const auto text = [&](const char* key) {
        const auto it = p.keys.find(key);
        return it == p.keys.end() ? std::string() : Upper(Unquoted(it->second));
    };
    const std::string encoding = text("ENCDG");
    const bool ascii = encoding.rfind("ASC", 0) == 0;
    if (!ascii && !encoding.empty() && encoding.rfind("BIN", 0) != 0)
        return Refuse(Format("Its samples are in the encoding %s, which is not read here.",
                             encoding.c_str()));
    const std::string format = text("BN_FMT");
    kind_ = format == "FP" ? Kind::Float : format == "RP" ? Kind::Unsigned : Kind::Signed;
    if (!format.empty() && format != "FP" && format != "RP" && format != "RI")
        return Refuse(
            Format("Its samples are in the format %s, which is not read here.", format.c_str()));
    big_ = text("BYT_OR") != "LSB";
    if (!text("PT_FMT").empty() && text("PT_FMT") != "Y")
        return Refuse(Format("Its points are in the format %s; only Y waveforms are read.",
                             text("PT_FMT").c_str()));
    double bytes = 0.0, xincr = 0.0, xzero = 0.0, ptOff = 0.0, points = -1.0;
    if (p.keys.count("BYT_NR") || !p.keys.count("BIT_NR")) {
        if (!Value(p, "BYT_NR", bytes, !ascii, 2.0)) return false;
    } else {
        if (!Value(p, "BIT_NR", bytes, true, 16.0)) return false;
        bytes /= 8;
    }
    width_ = static_cast<int>(bytes);
    const bool widthOk = kind_ == Kind::Float
                             ? (width_ == 4 || width_ == 8)
                             : (width_ == 1 || width_ == 2 || width_ == 4 || width_ == 8);
    if (!ascii && (bytes != width_ || !widthOk))
        return Refuse(Format("Its samples of %g bytes are not read here.", bytes));
    if (!Value(p, "XINCR", xincr, true, 0.0) || !Value(p, "XZERO", xzero, false, 0.0) ||
        !Value(p, "PT_OFF", ptOff, false, 0.0) || !Value(p, "YMULT", ymult_, true, 1.0) ||
        !Value(p, "YOFF", yoff_, false, 0.0) || !Value(p, "YZERO", yzero_, false, 0.0) ||
        !Value(p, "NR_PT", points, false, -1.0))
        return false;

    std::int64_t at = static_cast<std::int64_t>(p.curve);
    std::int64_t rows = 0;
    if (ascii) {
        // Each sample takes a digit and a comma at least.
        rows = points >= 0 ? static_cast<std::int64_t>(points) : 0;
        if (points < 0 || points > static_cast<double>(size - at + 1) / 2)
            return Refuse(
                Format("Its preamble counts %g samples, which its %lld bytes of curve "
                       "text cannot hold.",
                       points, static_cast<long long>(size - at)));
    } else {
        if (at + 2 > size || head[static_cast<size_t>(at)] != '#' ||
            !std::isdigit(static_cast<unsigned char>(head[static_cast<size_t>(at + 1)])))
            return Refuse("Its CURVE answer does not begin with a \"#\" block of samples.");
        const int digits = head[static_cast<size_t>(at + 1)] - '0';
        std::int64_t length = 0;
        if (at + 2 + digits > static_cast<std::int64_t>(head.size()))
            return Refuse("The file ends inside its CURVE block's length.");
        for (int i = 0; i < digits; ++i) {
            const char c = head[static_cast<size_t>(at + 2 + i)];
            if (!std::isdigit(static_cast<unsigned char>(c)))
                return Refuse("Its CURVE block's length is no number.");
            length = length * 10 + (c - '0');
        }
        at += 2 + digits;
        // "#0": the block runs to the end of the file.
        if (digits == 0) length = size - at;
        if (length > size - at)
            return Refuse(
                Format("Its CURVE block declares %lld bytes, but the file holds %lld "
                       "after its header: it is cut short.",
                       static_cast<long long>(length), static_cast<long long>(size - at)));
        rows = length / width_;
        if (points >= 0) {
            if (points > static_cast<double>(rows))
                return Refuse(
                    Format("Its preamble counts %g samples, but its CURVE block "
                           "holds %lld: it is cut short.",
                           points, static_cast<long long>(rows)));
            if (points < static_cast<double>(rows))
                Note(
                    Format("%lld samples of its CURVE block beyond the %g its preamble counts "
                           "skipped.",
                           static_cast<long long>(rows) - static_cast<long long>(points), points));
            rows = static_cast<std::int64_t>(points);
        }
    }
    if (rows <= 0) return Refuse("It holds no samples.");
    if (rows > std::numeric_limits<std::int32_t>::max() ||
        static_cast<std::uint64_t>(rows) > MemoryLimit(options_.memoryLimit) / kBytesPerPoint / 2)
        return Refuse(Format("Its %lld samples need more memory than there is.",
                             static_cast<long long>(rows)));

    CResultDataRef fresh;
    if (!Allocate(fresh, 2, rows)) return false;
    CResultData& set = *fresh.Get();
    std::lock_guard<std::recursive_mutex> hold(set.Lock());
    const std::string xunit = Unquoted(p.keys.count("XUNIT") ? p.keys.at("XUNIT") : "s");
    const bool frequency = Upper(xunit) == "HZ";
    set.SetVariableName(0, frequency                             ? "Frequency (Hz)"
                           : xunit == "s" || Upper(xunit) == "S" ? "Time"
                                                                 : "X");
    set.Variable(0)->SetUnit(frequency ? "Hz" : Upper(xunit) == "S" ? "s" : xunit);
    std::string wfid = p.keys.count("WFID") ? Unquoted(p.keys.at("WFID")) : "";
    std::string name(Trim(std::string_view(wfid).substr(0, wfid.find(','))));
    // The scope's own exports call its channels CH1 ... where WFID says Ch1.
    if (name.size() > 2 && Upper(name.substr(0, 2)) == "CH" &&
        std::all_of(name.begin() + 2, name.end(),
                    [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }))
        name = Upper(name);
    if (name.empty()) name = std::filesystem::path(path_).stem().string();
    set.SetVariableName(1, name);
    set.Variable(1)->SetUnit(Unquoted(p.keys.count("YUNIT") ? p.keys.at("YUNIT") : ""));
    double* x = set.Variable(0)->Values();
    double* y = set.Variable(1)->Values();
    for (std::int64_t i = 0; i < rows; ++i) x[i] = xzero + (static_cast<double>(i) - ptOff) * xincr;
    if (!(ascii ? ReadText(at, rows, y) : ReadBinary(at, rows, y))) return false;
    bool bad = false;
    std::memset(set.Variable(0)->Flags(), kPointValid, static_cast<size_t>(rows));
    std::uint8_t* flags = set.Variable(1)->Flags();
    for (std::int64_t i = 0; i < rows; ++i) {
        flags[i] = std::isfinite(y[i]) ? kPointValid : kPointInvalid;
        bad |= flags[i] != kPointValid;
    }
    FinishColumns(set, rows, {}, false, bad);
    Note(Format("record length: %lld", static_cast<long long>(rows)));
    Note(Format("sample interval: %.7g %s", xincr, set.Variable(0)->Unit().c_str()));
    if (!wfid.empty()) Note("waveform: " + wfid);
    if (bad) Note("Samples that are no number are marked invalid.");
    data = fresh;
    return true;
}

}  // namespace

bool LooksLikeTektronixIsf(std::string_view head, const std::string&) {
    if (!head.empty() && head.front() == ':') head.remove_prefix(1);
    const std::string start = Upper(head.substr(0, 10));
    for (const char* prefix : {"WFMP:", "WFMO:", "WFMPRE:", "WFMOUTPRE:"})
        if (start.rfind(prefix, 0) == 0) return true;
    return false;
}

bool ReadTektronixIsfFile(const std::string& path, CResultDataRef& data, UserMessages& messages,
                          const BinaryReadOptions& options, std::vector<std::string>* notes) {
    Reader reader(path, messages, options, notes);
    return reader.Run(data);
}

}  // namespace kurvex
