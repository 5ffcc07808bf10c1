#include "data/formats/LecroyTrcFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>

#include "data/formats/BinaryReading.h"
#include "data/platform/ByteSource.h"
#include "data/platform/NumberText.h"

namespace kurvex {

namespace {

constexpr std::int64_t kDescriptorBytes = 346;
// How far into the file the descriptor may begin: after a "#N" block header.
constexpr std::size_t kMaxLead = 64;
constexpr std::int64_t kChunkBytes = 1 << 20;
constexpr std::uint64_t kBytesPerPoint = sizeof(double) + 1;
constexpr std::int64_t kTrigTimeBytes = 16;

// Where "WAVEDESC" begins in `head`, or npos.
std::size_t DescriptorAt(std::string_view head) {
    const std::size_t at = head.substr(0, kMaxLead + 8).find("WAVEDESC");
    if (at == std::string_view::npos || at > kMaxLead) return std::string_view::npos;
    if (head.size() < at + 23 || head.substr(at + 16, 7) != "LECROY_")
        return std::string_view::npos;
    return at;
}

// Fields of the descriptor in the byte order it declares.
class Fields {
public:
    Fields(const char* base, bool big) : base_(base), big_(big) {}
    std::int16_t I16(std::int64_t at) const { return Get<std::int16_t>(at); }
    std::int32_t I32(std::int64_t at) const { return Get<std::int32_t>(at); }
    float F32(std::int64_t at) const { return Get<float>(at); }
    double F64(std::int64_t at) const { return Get<double>(at); }
    std::uint8_t U8(std::int64_t at) const { return static_cast<std::uint8_t>(base_[at]); }
    // A NUL-padded text field of `size` bytes.
    std::string Text(std::int64_t at, std::int64_t size) const {
        std::string s(base_ + at, static_cast<size_t>(size));
        s.resize(std::strlen(s.c_str()));
        while (!s.empty() && s.back() == ' ') s.pop_back();
        return s;
    }

private:
    template <class T>
    T Get(std::int64_t at) const {
        char bytes[sizeof(T)];
        std::memcpy(bytes, base_ + at, sizeof(T));
        if (big_) std::reverse(bytes, bytes + sizeof(T));
        return Load<T>(bytes);
    }
    const char* base_;
    bool big_;
};

struct Descriptor {
    std::string templateName, instrument, label, vertUnit, horUnit;
    int width = 1;
    bool big = false;
    std::int32_t waveDescriptor = 0, userText = 0, resDesc1 = 0, trigTimeArray = 0,
                 risTimeArray = 0, resArray1 = 0, waveArray1 = 0, waveArray2 = 0;
    std::int32_t count = 0, subarrays = 1;
    float gain = 1.0f, offset = 0.0f, interval = 0.0f;
    double horizOffset = 0.0;
    double seconds = 0.0;
    int minutes = 0, hours = 0, day = 0, month = 0, year = 0;
    int source = 9;
};

class Reader : public BinaryReading {
public:
    Reader(const std::string& path, UserMessages& messages, const BinaryReadOptions& options,
           std::vector<std::string>* notes)
        : BinaryReading(path, messages, options.progress, notes), path_(path), options_(options) {}

    bool Run(CResultDataRef& data);

private:
    bool Parse(const std::string& head, std::size_t at, Descriptor& d);
    bool Segment(const Descriptor& d, std::int64_t first, std::int32_t rows, double start,
                 CResultDataRef& run);
    std::string ChannelName(const Descriptor& d) const;

    std::string path_;
    const BinaryReadOptions& options_;
    FileByteSource file_;
    std::int64_t dataAt_ = 0;
    std::int64_t done_ = 0, total_ = 0;
};

bool Reader::Parse(const std::string& head, std::size_t at, Descriptor& d) {
    const char* p = head.data() + at;
    d.templateName = Fields(p, false).Text(16, 16);
    if (d.templateName.rfind("LECROY_2_", 0) != 0)
        return Refuse(Format("Its descriptor follows the template %s, which is not read here.",
                             d.templateName.c_str()));
    const std::int16_t order = Fields(p, false).I16(34);
    if (order != 0 && order != 1)
        return Refuse(Format("Its descriptor gives the unknown byte order %d.", order));
    d.big = order == 0;
    const Fields f(p, d.big);
    const std::int16_t type = f.I16(32);
    if (type != 0 && type != 1)
        return Refuse(Format("Its descriptor gives the unknown sample type %d.", type));
    d.width = type == 0 ? 1 : 2;
    d.waveDescriptor = f.I32(36);
    d.userText = f.I32(40);
    d.resDesc1 = f.I32(44);
    d.trigTimeArray = f.I32(48);
    d.risTimeArray = f.I32(52);
    d.resArray1 = f.I32(56);
    d.waveArray1 = f.I32(60);
    d.waveArray2 = f.I32(64);
    d.instrument = f.Text(76, 16);
    d.label = f.Text(96, 16);
    d.count = f.I32(116);
    d.subarrays = f.I32(144);
    d.gain = f.F32(156);
    d.offset = f.F32(160);
    d.interval = f.F32(176);
    d.horizOffset = f.F64(180);
    d.vertUnit = f.Text(196, 48);
    d.horUnit = f.Text(244, 48);
    d.seconds = f.F64(296);
    d.minutes = f.U8(304);
    d.hours = f.U8(305);
    d.day = f.U8(306);
    d.month = f.U8(307);
    d.year = f.I16(308);
    d.source = f.I16(344);
    if (d.waveDescriptor < kDescriptorBytes)
        return Refuse(
            Format("Its descriptor says it is %d bytes long, less than the %lld it holds.",
                   d.waveDescriptor, static_cast<long long>(kDescriptorBytes)));
    for (const std::int32_t n : {d.userText, d.resDesc1, d.trigTimeArray, d.risTimeArray,
                                 d.resArray1, d.waveArray1, d.waveArray2})
        if (n < 0) return Refuse(Format("Its descriptor gives a block the length %d.", n));
    if (d.count <= 0) return Refuse("Its descriptor gives no samples.");
    if (!std::isfinite(d.gain) || !std::isfinite(d.offset) || !std::isfinite(d.interval) ||
        !std::isfinite(d.horizOffset))
        return Refuse("Its descriptor's vertical or horizontal scale is no number.");
    return true;
}

std::string Reader::ChannelName(const Descriptor& d) const {
    if (d.source >= 0 && d.source <= 3) return Format("C%d", d.source + 1);
    return d.label.empty() ? std::string("Trace") : d.label;
}

bool Reader::Segment(const Descriptor& d, std::int64_t first, std::int32_t rows, double start,
                     CResultDataRef& run) {
    if (!Allocate(run, 2, rows)) return false;
    CResultData& set = *run.Get();
    std::lock_guard<std::recursive_mutex> hold(set.Lock());
    const bool seconds = d.horUnit == "S" || d.horUnit == "s" || d.horUnit.empty();
    const bool hertz = d.horUnit == "Hz" || d.horUnit == "HZ";
    set.SetVariableName(0, seconds ? "Time" : hertz ? "Frequency (Hz)" : "X");
    set.Variable(0)->SetUnit(seconds ? "s" : hertz ? "Hz" : d.horUnit);
    set.SetVariableName(1, ChannelName(d));
    set.Variable(1)->SetUnit(d.vertUnit);
    double* x = set.Variable(0)->Values();
    double* y = set.Variable(1)->Values();
    std::memset(set.Variable(0)->Flags(), kPointValid, static_cast<size_t>(rows));
    std::memset(set.Variable(1)->Flags(), kPointValid, static_cast<size_t>(rows));
    const double interval = d.interval;
    for (std::int32_t i = 0; i < rows; ++i) x[i] = start + i * interval;
    const double gain = d.gain, offset = d.offset;
    const std::int64_t perChunk = kChunkBytes / d.width;
    std::string buffer(static_cast<size_t>(std::min<std::int64_t>(perChunk, rows) * d.width), '\0');
    for (std::int64_t row = 0; row < rows; row += perChunk) {
        const std::int64_t n = std::min<std::int64_t>(perChunk, rows - row);
        const std::int64_t bytes = n * d.width;
        if (file_.ReadAt(dataAt_ + (first + row) * d.width, buffer.data(), bytes) != bytes)
            return Refuse(Format("Cannot read \"%s\": %s.", path_.c_str(), std::strerror(errno)));
        const char* src = buffer.data();
        if (d.width == 1) {
            for (std::int64_t i = 0; i < n; ++i)
                y[row + i] = static_cast<signed char>(src[i]) * gain - offset;
        } else {
            const Fields f(src, d.big);
            for (std::int64_t i = 0; i < n; ++i) y[row + i] = f.I16(2 * i) * gain - offset;
        }
        done_ += bytes;
        if (!KeepGoing(done_, total_)) return false;
    }
    FinishColumns(set, rows, {}, false, false);
    return true;
}

bool Reader::Run(CResultDataRef& data) {
    if (!file_.Open(path_)) return Refuse(file_.Error());
    if (!file_.Positional())
        return Refuse(Format("Cannot read \"%s\": it is not a regular file.", path_.c_str()));
    std::string head(
        static_cast<size_t>(std::min<std::int64_t>(file_.Size(), kMaxLead + kDescriptorBytes)),
        '\0');
    if (file_.ReadAt(0, head.data(), static_cast<std::int64_t>(head.size())) !=
        static_cast<std::int64_t>(head.size()))
        return Refuse(Format("Cannot read \"%s\": %s.", path_.c_str(), std::strerror(errno)));
    const std::size_t at = DescriptorAt(head);
    if (at == std::string::npos) return Refuse("It holds no LeCroy waveform descriptor.");
    if (head.size() < at + kDescriptorBytes)
        return Refuse("The file ends inside its waveform descriptor.");
    Descriptor d;
    if (!Parse(head, at, d)) return false;

    const std::int64_t size = file_.Size();
    const std::int64_t trigAt =
        static_cast<std::int64_t>(at) + d.waveDescriptor + d.userText + d.resDesc1;
    dataAt_ = trigAt + d.trigTimeArray + d.risTimeArray + d.resArray1;
    if (dataAt_ > size || d.waveArray1 > size - dataAt_)
        return Refuse(
            Format("Its descriptor declares %d bytes of samples from byte %lld on, but "
                   "the file ends at byte %lld: it is cut short.",
                   d.waveArray1, static_cast<long long>(dataAt_), static_cast<long long>(size)));
    std::int64_t count = d.count;
    if (count > d.waveArray1 / d.width) {
        count = d.waveArray1 / d.width;
        Note(Format("It counts %d samples, but its data block holds %lld: those are read.", d.count,
                    static_cast<long long>(count)));
        if (count == 0) return Refuse("Its data block holds no samples.");
    }
    const std::int64_t segments = std::max<std::int32_t>(1, d.subarrays);
    if (segments > count)
        return Refuse(Format("It counts %lld segments but only %lld samples.",
                             static_cast<long long>(segments), static_cast<long long>(count)));
    const std::int64_t perSegment = count / segments;
    if (perSegment * segments != count)
        Note(Format("%lld samples after the last whole segment skipped.",
                    static_cast<long long>(count - perSegment * segments)));
    if (perSegment > std::numeric_limits<std::int32_t>::max())
        return Refuse(Format("Its segments of %lld samples are more than this program reads.",
                             static_cast<long long>(perSegment)));
    if (static_cast<std::uint64_t>(count) > MemoryLimit(options_.memoryLimit) / kBytesPerPoint / 2)
        return Refuse(Format("Its %lld samples need more memory than there is.",
                             static_cast<long long>(count)));

    // Per segment: the trigger's time after the first one's, and the time of
    // the segment's first sample from its trigger.
    std::vector<double> trigTimes(static_cast<size_t>(segments), 0.0);
    std::vector<double> starts(static_cast<size_t>(segments), d.horizOffset);
    const bool timed = segments > 1 && d.trigTimeArray >= segments * kTrigTimeBytes;
    if (timed) {
        std::string times(static_cast<size_t>(segments * kTrigTimeBytes), '\0');
        if (file_.ReadAt(trigAt, times.data(), segments * kTrigTimeBytes) !=
            segments * kTrigTimeBytes)
            return Refuse(Format("Cannot read \"%s\": %s.", path_.c_str(), std::strerror(errno)));
        const Fields f(times.data(), d.big);
        for (std::int64_t k = 0; k < segments; ++k) {
            trigTimes[static_cast<size_t>(k)] = f.F64(k * kTrigTimeBytes);
            starts[static_cast<size_t>(k)] = f.F64(k * kTrigTimeBytes + 8);
        }
    } else if (segments > 1) {
        Note(
            "Its segments have no trigger times: each is timed from the record's horizontal "
            "offset.");
    }

    total_ = count * d.width;
    std::vector<CResultDataRef> runs(static_cast<size_t>(segments));
    for (std::int64_t k = 0; k < segments; ++k)
        if (!Segment(d, k * perSegment, static_cast<std::int32_t>(perSegment),
                     starts[static_cast<size_t>(k)], runs[static_cast<size_t>(k)]))
            return false;
    if (segments > 1) {
        for (std::int64_t k = 0; k < segments; ++k) {
            const std::string name = Format("segment %lld at %g s", static_cast<long long>(k + 1),
                                            trigTimes[static_cast<size_t>(k)]);
            runs[static_cast<size_t>(k)]->SetRunName(0, name);
            if (k > 0) runs[0]->AddRun(runs[static_cast<size_t>(k)].Get(), name);
        }
    }

    if (!d.instrument.empty()) Note("instrument: " + d.instrument);
    Note(Format("record length: %lld", static_cast<long long>(perSegment)));
    if (segments > 1) Note(Format("segments: %lld", static_cast<long long>(segments)));
    Note(Format("sample interval: %.7g %s", static_cast<double>(d.interval),
                d.horUnit == "S" || d.horUnit.empty() ? "s" : d.horUnit.c_str()));
    if (d.year > 0)
        Note(Format("trigger time: %04d-%02d-%02d %02d:%02d:%09.6f", d.year, d.month, d.day,
                    d.hours, d.minutes, d.seconds));
    if (d.userText > 0) Note(Format("Its user text of %d bytes skipped.", d.userText));
    if (d.risTimeArray > 0)
        Note("Its RIS time array skipped: the samples are spaced by the sample interval.");
    if (d.waveArray2 > 0) Note(Format("Its second data array of %d bytes skipped.", d.waveArray2));
    data = runs[0];
    return true;
}

}  // namespace

bool LooksLikeLecroyTrc(std::string_view head, const std::string&) {
    return DescriptorAt(head) != std::string_view::npos;
}

bool ReadLecroyTrcFile(const std::string& path, CResultDataRef& data, UserMessages& messages,
                       const BinaryReadOptions& options, std::vector<std::string>* notes) {
    Reader reader(path, messages, options, notes);
    return reader.Run(data);
}

}  // namespace kurvex
