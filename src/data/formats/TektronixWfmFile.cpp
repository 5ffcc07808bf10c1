#include "data/formats/TektronixWfmFile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>

#include "data/formats/BinaryReading.h"
#include "data/platform/ByteSource.h"
#include "data/platform/NumberText.h"

namespace kurvex {

namespace {

constexpr std::int64_t kStaticBytes = 78;
constexpr std::int64_t kUpdateSpecBytes = 24;
constexpr std::int64_t kCurveInfoBytes = 30;
constexpr std::int64_t kChunkBytes = 1 << 20;
constexpr std::uint64_t kBytesPerPoint = sizeof(double) + 1;

// Where the waveform header's parts lie: WFM#002 added a 2-byte summary frame
// type, WFM#003 widened each dimension's point density from 4 to 8 bytes.
struct Layout {
    std::int64_t explicit1, implicit1, timeBase1, updateSpec, curveInfo, end;

    explicit Layout(int version) {
        const std::int64_t density = version >= 3 ? 8 : 4;
        explicit1 = version >= 2 ? 168 : 166;
        implicit1 = explicit1 + 2 * (152 + density);
        timeBase1 = implicit1 + 2 * (128 + density);
        updateSpec = timeBase1 + 24;
        curveInfo = updateSpec + kUpdateSpecBytes;
        end = curveInfo + kCurveInfoBytes;
    }
};

// Fields in the byte order the file declares.
class Fields {
public:
    Fields(const char* base, bool big) : base_(base), big_(big) {}
    std::uint16_t U16(std::int64_t at) const { return Get<std::uint16_t>(at); }
    std::int32_t I32(std::int64_t at) const { return Get<std::int32_t>(at); }
    std::uint32_t U32(std::int64_t at) const { return Get<std::uint32_t>(at); }
    double F64(std::int64_t at) const { return Get<double>(at); }
    // A NUL-terminated text field of `size` bytes.
    std::string Text(std::int64_t at, std::int64_t size) const {
        std::string s(base_ + at, static_cast<size_t>(size));
        s.resize(std::strlen(s.c_str()));
        while (!s.empty() && s.back() == ' ') s.pop_back();
        return s;
    }
    template <class T>
    T Get(std::int64_t at) const {
        char bytes[sizeof(T)];
        std::memcpy(bytes, base_ + at, sizeof(T));
        if (big_) std::reverse(bytes, bytes + sizeof(T));
        return Load<T>(bytes);
    }

private:
    const char* base_;
    bool big_;
};

// The explicit dimension's sample formats; int8 and uint8 came with WFM#003.
enum class Sample { Int16, Int32, UInt32, UInt64, Float32, Float64, UInt8, Int8 };

int WidthOf(Sample s) {
    switch (s) {
        case Sample::UInt8:
        case Sample::Int8:
            return 1;
        case Sample::Int16:
            return 2;
        case Sample::Int32:
        case Sample::UInt32:
        case Sample::Float32:
            return 4;
        case Sample::UInt64:
        case Sample::Float64:
            return 8;
    }
    return 1;
}

struct Frame {
    double ttOffset = 0.0, fracSec = 0.0;
    std::int32_t gmtSec = 0;
    std::uint32_t precharge = 0, dataStart = 0, postStart = 0, postStop = 0, end = 0;
    std::int64_t base = 0;  // where its curve buffer begins in the file
    std::int64_t rows = 0;
};

std::string UtcTime(std::int32_t seconds, double fraction) {
    using namespace std::chrono;
    const sys_seconds t{std::chrono::seconds(seconds)};
    const sys_days day = floor<days>(t);
    const year_month_day ymd{day};
    const hh_mm_ss hms{t - day};
    return Format("%04d-%02u-%02u %02ld:%02ld:%09.6f UTC", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<long>(hms.hours().count()), static_cast<long>(hms.minutes().count()),
                  static_cast<double>(hms.seconds().count()) + fraction);
}

class Reader : public BinaryReading {
public:
    Reader(const std::string& path, UserMessages& messages, const BinaryReadOptions& options,
           std::vector<std::string>* notes)
        : BinaryReading(path, messages, options.progress, notes), path_(path), options_(options) {}

    bool Run(CResultDataRef& data);

private:
    bool ReadFrames(const std::string& head, const Layout& layout, std::uint32_t extra);
    bool FrameRun(const Frame& frame, CResultDataRef& run);
    double Raw(const char* b) const;

    std::string path_;
    const BinaryReadOptions& options_;
    FileByteSource file_;
    bool big_ = false;
    Sample sample_ = Sample::Int16;
    int width_ = 2;
    bool digital_ = false;
    double yScale_ = 1.0, yOffset_ = 0.0, xScale_ = 0.0, xOffset_ = 0.0;
    std::string name_, yUnit_, xUnit_;
    std::vector<Frame> frames_;
    std::int64_t done_ = 0, total_ = 0;
};

Sample SampleOf(std::int32_t format, int version, bool& known) {
    known = format >= 0 && format <= (version >= 3 ? 7 : 5);
    return known ? static_cast<Sample>(format) : Sample::Int16;
}

double Reader::Raw(const char* b) const {
    char bytes[8];
    std::memcpy(bytes, b, static_cast<size_t>(width_));
    if (big_) std::reverse(bytes, bytes + width_);
    switch (sample_) {
        case Sample::Int16:
            return Load<std::int16_t>(bytes);
        case Sample::Int32:
            return Load<std::int32_t>(bytes);
        case Sample::UInt32:
            return Load<std::uint32_t>(bytes);
        case Sample::UInt64:
            return static_cast<double>(Load<std::uint64_t>(bytes));
        case Sample::Float32:
            return Load<float>(bytes);
        case Sample::Float64:
            return Load<double>(bytes);
        case Sample::UInt8:
            return Load<std::uint8_t>(bytes);
        case Sample::Int8:
            return Load<std::int8_t>(bytes);
    }
    return 0.0;
}

// The frames' timing and curve bounds: the first in the waveform header, any
// further FastFrame frames after it, all their update specifications first.
bool Reader::ReadFrames(const std::string& head, const Layout& layout, std::uint32_t extra) {
    const Fields f(head.data(), big_);
    const std::int64_t curveAt = f.I32(16);
    const std::int64_t size = file_.Size();
    if (curveAt < layout.end || curveAt > size)
        return Refuse(
            Format("Its curve buffer is said to begin at byte %lld, outside its %lld "
                   "bytes after the header.",
                   static_cast<long long>(curveAt), static_cast<long long>(size)));
    if (extra > (curveAt - layout.end) / (kUpdateSpecBytes + kCurveInfoBytes))
        return Refuse(
            Format("It counts %u more frames than its header has room to describe.", extra));
    std::string more(static_cast<size_t>(extra * (kUpdateSpecBytes + kCurveInfoBytes)), '\0');
    if (file_.ReadAt(layout.end, more.data(), static_cast<std::int64_t>(more.size())) !=
        static_cast<std::int64_t>(more.size()))
        return Refuse(Format("Cannot read \"%s\": %s.", path_.c_str(), std::strerror(errno)));
    const Fields g(more.data(), big_);
    frames_.resize(extra + 1u);
    std::int64_t base = curveAt;
    for (std::uint32_t k = 0; k <= extra; ++k) {
        const Fields& src = k == 0 ? f : g;
        const std::int64_t stamp = k == 0 ? layout.updateSpec : (k - 1) * kUpdateSpecBytes;
        const std::int64_t curve =
            k == 0 ? layout.curveInfo : extra * kUpdateSpecBytes + (k - 1) * kCurveInfoBytes;
        Frame& fr = frames_[k];
        fr.ttOffset = src.F64(stamp + 4);
        fr.fracSec = src.F64(stamp + 12);
        fr.gmtSec = src.I32(stamp + 20);
        fr.precharge = src.U32(curve + 10);
        fr.dataStart = src.U32(curve + 14);
        fr.postStart = src.U32(curve + 18);
        fr.postStop = src.U32(curve + 22);
        fr.end = src.U32(curve + 26);
        if (!(fr.precharge <= fr.dataStart && fr.dataStart < fr.postStart &&
              fr.postStart <= fr.postStop && fr.postStop <= fr.end) ||
            (fr.postStart - fr.dataStart) % static_cast<std::uint32_t>(width_) != 0 ||
            !std::isfinite(fr.ttOffset))
            return Refuse(Format("The curve description of frame %u is inconsistent.", k + 1));
        if (fr.end > size - base)
            return Refuse(
                Format("Its curve buffer ends at byte %lld, but the file ends at byte "
                       "%lld: it is cut short.",
                       static_cast<long long>(base + fr.end), static_cast<long long>(size)));
        fr.base = base;
        fr.rows = (fr.postStart - fr.dataStart) / width_;
        base += fr.end;
        total_ += fr.rows * width_;
    }
    return true;
}

bool Reader::FrameRun(const Frame& frame, CResultDataRef& run) {
    const int bits = digital_ ? width_ * 8 : 1;
    if (!Allocate(run, 1 + bits, frame.rows)) return false;
    CResultData& set = *run.Get();
    std::lock_guard<std::recursive_mutex> hold(set.Lock());
    const bool seconds = xUnit_ == "s" || xUnit_.empty();
    set.SetVariableName(0, seconds ? "Time" : xUnit_ == "Hz" ? "Frequency (Hz)" : "X");
    set.Variable(0)->SetUnit(seconds ? "s" : xUnit_);
    if (digital_) {
        for (int b = 0; b < bits; ++b) set.SetVariableName(1 + b, Format("D%d", b));
    } else {
        set.SetVariableName(1, name_);
        set.Variable(1)->SetUnit(yUnit_);
    }
    const std::int64_t rows = frame.rows;
    double* x = set.Variable(0)->Values();
    // The trigger falls `ttOffset` of a sample before the first point.
    const double start = xOffset_ + frame.ttOffset * xScale_;
    for (std::int64_t i = 0; i < rows; ++i) x[i] = start + static_cast<double>(i) * xScale_;
    for (int v = 0; v <= bits; ++v)
        std::memset(set.Variable(v)->Flags(), kPointValid, static_cast<size_t>(rows));
    bool bad = false;
    const std::int64_t perChunk = kChunkBytes / width_;
    std::string buffer(static_cast<size_t>(std::min(perChunk, rows) * width_), '\0');
    for (std::int64_t row = 0; row < rows; row += perChunk) {
        const std::int64_t n = std::min(perChunk, rows - row);
        const std::int64_t at = frame.base + frame.dataStart + row * width_;
        if (file_.ReadAt(at, buffer.data(), n * width_) != n * width_)
            return Refuse(Format("Cannot read \"%s\": %s.", path_.c_str(), std::strerror(errno)));
        if (digital_) {
            for (std::int64_t i = 0; i < n; ++i) {
                char bytes[8];
                std::memcpy(bytes, buffer.data() + i * width_, static_cast<size_t>(width_));
                if (big_) std::reverse(bytes, bytes + width_);
                std::uint64_t word = 0;
                std::memcpy(&word, bytes, static_cast<size_t>(width_));
                for (int b = 0; b < bits; ++b)
                    set.Variable(1 + b)->Values()[row + i] = static_cast<double>(word >> b & 1u);
            }
        } else {
            double* y = set.Variable(1)->Values();
            std::uint8_t* flags = set.Variable(1)->Flags();
            for (std::int64_t i = 0; i < n; ++i) {
                const double v = Raw(buffer.data() + i * width_) * yScale_ + yOffset_;
                y[row + i] = v;
                if (!std::isfinite(v)) {
                    flags[row + i] = kPointInvalid;
                    bad = true;
                }
            }
        }
        done_ += n * width_;
        if (!KeepGoing(done_, total_)) return false;
    }
    FinishColumns(set, rows, {}, false, bad);
    if (bad) Note("Samples that are no number are marked invalid.");
    return true;
}

bool Reader::Run(CResultDataRef& data) {
    if (!file_.Open(path_)) return Refuse(file_.Error());
    if (!file_.Positional())
        return Refuse(Format("Cannot read \"%s\": it is not a regular file.", path_.c_str()));
    const std::int64_t size = file_.Size();
    std::string head(static_cast<size_t>(std::min<std::int64_t>(size, Layout(3).end)), '\0');
    if (file_.ReadAt(0, head.data(), static_cast<std::int64_t>(head.size())) !=
        static_cast<std::int64_t>(head.size()))
        return Refuse(Format("Cannot read \"%s\": %s.", path_.c_str(), std::strerror(errno)));
    if (!LooksLikeTektronixWfm(head, path_))
        return Refuse("It does not begin as a Tektronix waveform file.");
    const std::string versionText = head.substr(3, 7);
    const int version = head[9] - '0';
    if (head.compare(2, 7, ":WFM#00") != 0 || version < 1 || version > 3)
        return Refuse(
            Format("It is a Tektronix waveform of the version %s, which is not read "
                   "here.",
                   versionText.c_str()));
    big_ = static_cast<unsigned char>(head[0]) == 0xF0;
    const Layout layout(version);
    if (static_cast<std::int64_t>(head.size()) < layout.end)
        return Refuse("The file ends inside its waveform header.");
    const Fields f(head.data(), big_);

    const std::int32_t dataType = f.I32(122);
    digital_ = dataType == 6;
    if (dataType != 2 && !digital_) {
        const char* kind = dataType == 0 || dataType == 1 ? "a scalar"
                           : dataType == 3                ? "a pixel map"
                           : dataType == 5                ? "a waveform database"
                                                          : "an unknown kind";
        return Refuse(Format("It holds %s (data type %d), not a waveform record.", kind, dataType));
    }
    bool known = false;
    const std::int32_t format = f.I32(layout.explicit1 + 72);
    sample_ = SampleOf(format, version, known);
    if (!known) return Refuse(Format("Its samples are in the unknown format %d.", format));
    width_ = WidthOf(sample_);
    if (digital_ && (sample_ == Sample::Float32 || sample_ == Sample::Float64))
        return Refuse("Its digital samples are floating point numbers.");
    if (static_cast<unsigned char>(head[15]) != width_)
        return Refuse(Format("It gives %d bytes per point, but its sample format takes %d.",
                             static_cast<unsigned char>(head[15]), width_));
    const std::int32_t storage = f.I32(layout.explicit1 + 76);
    if (storage != 0)
        return Refuse(Format("Its samples are stored as %s, which is not read here.",
                             storage == 1 ? "min/max pairs" : "histograms or a pixel map"));
    yScale_ = f.F64(layout.explicit1);
    yOffset_ = f.F64(layout.explicit1 + 8);
    yUnit_ = f.Text(layout.explicit1 + 20, 20);
    xScale_ = f.F64(layout.implicit1);
    xOffset_ = f.F64(layout.implicit1 + 8);
    xUnit_ = f.Text(layout.implicit1 + 20, 20);
    if (!std::isfinite(yScale_) || !std::isfinite(yOffset_) || !std::isfinite(xScale_) ||
        !std::isfinite(xOffset_))
        return Refuse("Its vertical or horizontal scale is no number.");
    if (xScale_ <= 0.0) return Refuse(Format("Its sample interval %g is not positive.", xScale_));
    name_ = f.Text(40, 32);
    if (name_.empty()) name_ = std::filesystem::path(path_).stem().string();

    if (!ReadFrames(head, layout, f.U32(72))) return false;
    std::int64_t rows = 0, longest = 0;
    for (const Frame& fr : frames_) {
        rows += fr.rows;
        longest = std::max(longest, fr.rows);
    }
    const std::uint64_t columns = digital_ ? 1u + 8u * static_cast<unsigned>(width_) : 2u;
    if (longest > std::numeric_limits<std::int32_t>::max() ||
        static_cast<std::uint64_t>(rows) >
            MemoryLimit(options_.memoryLimit) / kBytesPerPoint / columns)
        return Refuse(Format("Its %lld samples need more memory than there is.",
                             static_cast<long long>(rows)));

    const std::size_t count = frames_.size();
    std::vector<CResultDataRef> runs(count);
    for (std::size_t k = 0; k < count; ++k)
        if (!FrameRun(frames_[k], runs[k])) return false;
    const Frame& first = frames_.front();
    if (count > 1) {
        for (std::size_t k = 0; k < count; ++k) {
            const Frame& fr = frames_[k];
            const double after = (fr.gmtSec - first.gmtSec) + (fr.fracSec - first.fracSec);
            const std::string name = first.gmtSec != 0 ? Format("frame %zu at %g s", k + 1, after)
                                                       : Format("frame %zu", k + 1);
            runs[k]->SetRunName(0, name);
            if (k > 0) runs[0]->AddRun(runs[k].Get(), name);
        }
    }

    Note(Format("format: WFM#00%d", version));
    Note(Format("record length: %lld", static_cast<long long>(first.rows)));
    if (count > 1) Note(Format("frames: %zu", count));
    Note(Format("sample interval: %.7g %s", xScale_, xUnit_.empty() ? "s" : xUnit_.c_str()));
    if (first.gmtSec != 0) Note("trigger time: " + UtcTime(first.gmtSec, first.fracSec));
    if (digital_)
        Note(Format("bits: D0 (least significant) to D%d, each a 0/1 variable", width_ * 8 - 1));
    const std::uint32_t pre = (first.dataStart - first.precharge) / width_;
    const std::uint32_t post = (first.postStop - first.postStart) / width_;
    if (pre > 0 || post > 0)
        Note(Format("Its %u pre-charge and %u post-charge points%s are left out.", pre, post,
                    count > 1 ? " per frame" : ""));
    data = runs[0];
    return true;
}

}  // namespace

bool LooksLikeTektronixWfm(std::string_view head, const std::string&) {
    if (head.size() < 10) return false;
    const unsigned char order = static_cast<unsigned char>(head[0]);
    if ((order != 0x0F && order != 0xF0) || static_cast<unsigned char>(head[1]) != order)
        return false;
    return head.substr(2, 5) == ":WFM#" && std::all_of(head.begin() + 7, head.begin() + 10,
                                                       [](char c) { return c >= '0' && c <= '9'; });
}

bool ReadTektronixWfmFile(const std::string& path, CResultDataRef& data, UserMessages& messages,
                          const BinaryReadOptions& options, std::vector<std::string>* notes) {
    Reader reader(path, messages, options, notes);
    return reader.Run(data);
}

}  // namespace kurvex
