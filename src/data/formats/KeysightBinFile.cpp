#include "data/formats/KeysightBinFile.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
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

constexpr std::int64_t kFileHeaderBytes = 12;
// The fields every waveform header holds; a larger header size is skipped over.
constexpr std::int64_t kWaveformFields = 140;
constexpr std::int64_t kBufferFields = 12;
constexpr std::int64_t kChunkRows = 1 << 18;
// Bytes a sample takes in memory per variable: its value and its flag.
constexpr std::uint64_t kBytesPerPoint = sizeof(double) + 1;

enum class Sample { Float32, Int32, UInt8 };

struct Buffer {
    int type = 0;
    int bytesPerPoint = 0;
    std::int64_t at = 0;  // its first sample in the file
    std::int64_t size = 0;
};

struct Waveform {
    std::int64_t points = 0;
    double increment = 0.0, origin = 0.0;
    int xUnit = 0, yUnit = 0;
    std::string date, time, frame, label;
    double timeTag = 0.0;
    std::uint32_t segment = 0;
    std::int64_t headerSize = 0;
    std::vector<Buffer> buffers;
};

// A variable to fill from the file's samples of `kind` at `at`.
struct Column {
    std::string name, unit;
    Sample kind = Sample::Float32;
    std::int64_t at = 0;
};

std::string UnitOf(int code) {
    switch (code) {
        case 1:
            return "V";
        case 2:
            return "s";
        case 4:
            return "A";
        case 5:
            return "dB";
        case 6:
            return "Hz";
        default:
            return "";
    }
}

// A fixed-size text field up to its first NUL, without the blanks around it.
std::string Text(const char* p, size_t n) {
    std::string_view s(p, n);
    s = s.substr(0, s.find('\0'));
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    return DisplayName(s);
}

bool SameStep(double a, double b) {
    return std::fabs(a - b) <= 1e-9 * std::max(std::fabs(a), std::fabs(b));
}

// The extents of the valid samples of a part of a column; lo > hi: none.
struct Span {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
};

// Converts `n` samples, widening `span` by them; whether any is no number.
template <class T>
bool Convert(const char* src, std::int64_t n, double* dst, std::uint8_t* flags, Span& span) {
    std::memset(flags, kPointValid, static_cast<size_t>(n));
    double lo = span.lo, hi = span.hi;
    for (std::int64_t r = 0; r < n; ++r) {
        const auto v = static_cast<double>(Load<T>(src + r * static_cast<std::int64_t>(sizeof(T))));
        dst[r] = v;
        lo = v < lo ? v : lo;
        hi = v > hi ? v : hi;
    }
    span = {lo, hi};
    return false;
}

static_assert(kPointInvalid == kPointValid + 1);

// Tested on the bits, so that the loop runs on vectors: a float is no number
// when its exponent bits are all set.
template <>
bool Convert<float>(const char* src, std::int64_t n, double* dst, std::uint8_t* flags, Span& span) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    std::uint32_t bad = 0;
    double lo = span.lo, hi = span.hi;
    for (std::int64_t r = 0; r < n; ++r) {
        const std::uint32_t bits = Load<std::uint32_t>(src + 4 * r);
        const std::uint32_t nan = (bits & 0x7f800000u) == 0x7f800000u;
        const auto v = static_cast<double>(std::bit_cast<float>(bits));
        dst[r] = v;
        flags[r] = static_cast<std::uint8_t>(kPointValid + nan);
        const double low = nan ? kInf : v, high = nan ? -kInf : v;
        lo = low < lo ? low : lo;
        hi = high > hi ? high : hi;
        bad |= nan;
    }
    span = {lo, hi};
    return bad != 0;
}

std::int64_t WidthOf(Sample kind) {
    return kind == Sample::UInt8 ? 1 : 4;
}

class Reader : BinaryReading {
public:
    Reader(const std::string& path, UserMessages& messages, const BinaryReadOptions& options,
           std::vector<std::string>* notes)
        : BinaryReading(path, messages, options.progress, notes), options_(options) {}

    bool Run(const std::string& path, CResultDataRef& data);

private:
    bool ReadFailed() {
        return Refuse(Format("Cannot read the file: %s.",
                             errno ? std::strerror(errno) : "it became shorter"));
    }
    bool ReadWaveform(std::int64_t& at, int index, Waveform& w);
    bool Columns(const std::vector<Waveform>& waves);
    bool Blocks(const Waveform& first, std::int64_t end);
    bool Fill(CResultData& set, bool& bad);
    void NoteFacts(const std::vector<Waveform>& waves);

    const BinaryReadOptions& options_;
    FileByteSource file_;
    bool rigol_ = false;
    std::string version_;
    std::vector<Column> columns_;
    std::int64_t rows_ = 0;
    double x0_ = 0.0, dx_ = 0.0;
    int workers_ = 1;
    bool namedByPlace_ = false;
};

bool Reader::ReadWaveform(std::int64_t& at, int index, Waveform& w) {
    const std::int64_t size = file_.Size();
    char h[kWaveformFields];
    if (size - at < kWaveformFields)
        return Refuse(Format("The file ends inside the header of waveform %d.", index + 1));
    if (file_.ReadAt(at, h, kWaveformFields) != kWaveformFields) return ReadFailed();
    w.headerSize = Load<std::int32_t>(h);
    if (w.headerSize < kWaveformFields || w.headerSize > size - at)
        return Refuse(
            Format("Waveform %d gives a header size of %lld bytes, where %lld to "
                   "%lld are possible.",
                   index + 1, static_cast<long long>(w.headerSize),
                   static_cast<long long>(kWaveformFields), static_cast<long long>(size - at)));
    const std::int32_t buffers = Load<std::int32_t>(h + 8);
    w.points = Load<std::int32_t>(h + 12);
    w.increment = Load<double>(h + 32);
    w.origin = Load<double>(h + 40);
    w.xUnit = Load<std::int32_t>(h + 48);
    w.yUnit = Load<std::int32_t>(h + 52);
    w.date = Text(h + 56, 16);
    w.time = Text(h + 72, 16);
    w.frame = Text(h + 88, 24);
    w.label = Text(h + 112, 16);
    w.timeTag = Load<double>(h + 128);
    w.segment = Load<std::uint32_t>(h + 136);
    at += w.headerSize;
    if (w.points < 0)
        return Refuse(
            Format("Waveform %d gives %lld points.", index + 1, static_cast<long long>(w.points)));
    if (buffers < 0 || buffers > (size - at) / kBufferFields)
        return Refuse(
            Format("Waveform %d gives %d buffers; the rest of the file holds at most "
                   "%lld.",
                   index + 1, buffers, static_cast<long long>((size - at) / kBufferFields)));
    for (std::int32_t b = 0; b < buffers; ++b) {
        char d[kBufferFields];
        if (size - at < kBufferFields)
            return Refuse(Format("The file ends inside the header of buffer %d of waveform %d.",
                                 b + 1, index + 1));
        if (file_.ReadAt(at, d, kBufferFields) != kBufferFields) return ReadFailed();
        const std::int64_t headerSize = Load<std::int32_t>(d);
        Buffer buffer;
        buffer.type = Load<std::int16_t>(d + 4);
        buffer.bytesPerPoint = Load<std::int16_t>(d + 6);
        buffer.size = Load<std::int32_t>(d + 8);
        if (headerSize < kBufferFields || headerSize > size - at)
            return Refuse(Format("Buffer %d of waveform %d gives a header size of %lld bytes.",
                                 b + 1, index + 1, static_cast<long long>(headerSize)));
        if (buffer.size < 0 || buffer.size > size - at - headerSize)
            return Refuse(
                Format("The file is shorter than its headers say: buffer %d of waveform "
                       "%d gives %lld bytes, but only %lld follow.",
                       b + 1, index + 1, static_cast<long long>(buffer.size),
                       static_cast<long long>(size - at - headerSize)));
        buffer.at = at + headerSize;
        at = buffer.at + buffer.size;
        w.buffers.push_back(buffer);
    }
    return true;
}

// Every buffer this program reads becomes a variable, named by its waveform's
// label ("CHn" by its place when it has none).
bool Reader::Columns(const std::vector<Waveform>& waves) {
    const Waveform& first = waves.front();
    rows_ = first.points;
    for (size_t i = 0; i < waves.size(); ++i) {
        const Waveform& w = waves[i];
        const int n = static_cast<int>(i) + 1;
        if (w.points != first.points || !SameStep(w.increment, first.increment))
            return Refuse(
                Format("Waveform %d has %lld points %s s apart, but waveform 1 has "
                       "%lld %s s apart: they cannot share one time axis.",
                       n, static_cast<long long>(w.points), ExactNumber(w.increment).c_str(),
                       static_cast<long long>(first.points), ExactNumber(first.increment).c_str()));
        if (w.origin != first.origin)
            Note(
                Format("Waveform %d starts at %s, waveform 1 at %s: it is shown on the time "
                       "axis of waveform 1.",
                       n, ExactNumber(w.origin).c_str(), ExactNumber(first.origin).c_str()));
        const std::string label = w.label.empty() ? Format("CH%d", n) : w.label;
        for (size_t b = 0; b < w.buffers.size(); ++b) {
            const Buffer& buffer = w.buffers[b];
            Column c;
            c.at = buffer.at;
            c.name = label;
            c.unit = UnitOf(w.yUnit);
            bool known = true;
            switch (buffer.type) {
                case 1:
                    break;
                case 2:
                    c.name += " max";
                    break;
                case 3:
                    c.name += " min";
                    break;
                case 5:
                    c.kind = Sample::Int32;
                    c.name += " counts";
                    c.unit.clear();
                    break;
                case 6:
                    c.kind = Sample::UInt8;
                    c.unit.clear();
                    break;
                default:
                    known = false;
                    break;
            }
            if (!known || buffer.bytesPerPoint != WidthOf(c.kind)) {
                Note(
                    Format("Buffer %zu of waveform %d (\"%s\") was skipped: its type %d with "
                           "%d bytes per point is none this program reads.",
                           b + 1, n, label.c_str(), buffer.type, buffer.bytesPerPoint));
                continue;
            }
            const std::int64_t need = rows_ * WidthOf(c.kind);
            if (buffer.size < need)
                return Refuse(Format(
                    "Buffer %zu of waveform %d holds %lld bytes, fewer than its "
                    "%lld points need.",
                    b + 1, n, static_cast<long long>(buffer.size), static_cast<long long>(rows_)));
            if (buffer.size > need)
                Note(
                    Format("The last %lld bytes of buffer %zu of waveform %d, beyond its %lld "
                           "points, were skipped.",
                           static_cast<long long>(buffer.size - need), b + 1, n,
                           static_cast<long long>(rows_)));
            if (c.kind == Sample::UInt8)
                Note(
                    Format("The digital buffer of \"%s\" is read as one 8-bit value per point: "
                           "the file does not say which channel each bit is.",
                           label.c_str()));
            columns_.push_back(c);
        }
        namedByPlace_ |= w.label.empty();
    }
    return true;
}

// Some Rigol MSO5074 files are one file per channel written one after another,
// each with headers of 1000 points of 4 bytes whatever it holds: its samples
// are single bytes that fill the block. Found by the first block's file header
// repeating at equal steps to the end.
bool Reader::Blocks(const Waveform& first, std::int64_t end) {
    const std::int64_t size = file_.Size();
    if (first.buffers.size() != 1) return false;
    char head[kFileHeaderBytes];
    if (file_.ReadAt(0, head, kFileHeaderBytes) != kFileHeaderBytes) return false;
    const std::string_view want(head, kFileHeaderBytes);
    std::string chunk(kChunkRows + kFileHeaderBytes, '\0');
    std::int64_t step = 0;
    for (std::int64_t at = end; at < size && !step; at += kChunkRows) {
        const std::int64_t got =
            file_.ReadAt(at, chunk.data(), std::min<std::int64_t>(chunk.size(), size - at));
        if (got <= 0) return false;
        const size_t found = std::string_view(chunk.data(), static_cast<size_t>(got)).find(want);
        if (found != std::string_view::npos) step = at + static_cast<std::int64_t>(found);
    }
    if (!step || size % step != 0) return false;
    const std::int64_t blocks = size / step;
    const std::int64_t overhead = first.buffers[0].at;
    if (step <= overhead) return false;
    for (std::int64_t k = 0; k < blocks; ++k) {
        char again[kFileHeaderBytes];
        if (file_.ReadAt(k * step, again, kFileHeaderBytes) != kFileHeaderBytes ||
            std::string_view(again, kFileHeaderBytes) != want)
            return false;
        Waveform w;
        std::int64_t at = k * step + kFileHeaderBytes;
        if (!ReadWaveform(at, static_cast<int>(k), w)) return false;
        if (w.buffers.size() != 1 || w.buffers[0].at - k * step != overhead) return false;
        Column c;
        c.kind = Sample::UInt8;
        c.at = k * step + overhead;
        c.name = w.label.empty() ? Format("CH%lld", static_cast<long long>(k + 1)) : w.label;
        namedByPlace_ |= w.label.empty();
        columns_.push_back(c);
    }
    rows_ = step - overhead;
    Note(
        Format("Its %lld blocks each hold %lld one-byte samples where their headers say %lld "
               "points of %d bytes: they are read as raw ADC counts without scale, on a time "
               "axis of the header's sample interval, which may be as wrong.",
               static_cast<long long>(blocks), static_cast<long long>(rows_),
               static_cast<long long>(first.points), first.buffers[0].bytesPerPoint));
    return true;
}

bool Reader::Fill(CResultData& set, bool& bad) {
    const std::int64_t perColumn = (rows_ + kChunkRows - 1) / kChunkRows;
    const std::int64_t items = perColumn * static_cast<std::int64_t>(columns_.size() + 1);
    const std::int64_t total = rows_ * static_cast<std::int64_t>(columns_.size() + 1);
    const int workers = static_cast<int>(std::min<std::int64_t>(workers_, items));
    // Allocated here: a worker must not throw.
    std::vector<std::string> buffers(static_cast<size_t>(workers),
                                     std::string(static_cast<size_t>(kChunkRows * 4), '\0'));
    std::vector<Span> spans(static_cast<size_t>(items));
    ItemCounter counter(items);
    std::mutex lock;  // guards what the workers report
    std::string readError;
    bool cancelled = false;
    std::atomic<std::int64_t> done{0};
    RunWorkers(workers, [&](int worker) {
        std::string& buffer = buffers[static_cast<size_t>(worker)];
        bool sawBad = false;
        for (std::int64_t i = counter.Next(); i >= 0; i = counter.Next()) {
            const std::int64_t column = i / perColumn;
            const std::int64_t row = (i % perColumn) * kChunkRows;
            const std::int64_t rows = std::min(kChunkRows, rows_ - row);
            CResultVariable* v = set.Variable(static_cast<std::int32_t>(column));
            double* dst = v->Values() + row;
            std::uint8_t* flags = v->Flags() + row;
            bool ok = true;
            if (column == 0) {
                // Rows fit an int32, whose conversion runs on vectors.
                const auto first = static_cast<std::int32_t>(row);
                for (std::int32_t r = 0; r < static_cast<std::int32_t>(rows); ++r)
                    dst[r] = x0_ + static_cast<double>(first + r) * dx_;
                std::memset(flags, kPointValid, static_cast<size_t>(rows));
            } else {
                const Column& c = columns_[static_cast<size_t>(column - 1)];
                const std::int64_t width = WidthOf(c.kind);
                const std::int64_t got =
                    file_.ReadAt(c.at + row * width, buffer.data(), rows * width);
                ok = got == rows * width;
                if (ok && c.kind == Sample::Float32)
                    sawBad |= Convert<float>(buffer.data(), rows, dst, flags,
                                             spans[static_cast<size_t>(i)]);
                else if (ok && c.kind == Sample::Int32)
                    sawBad |= Convert<std::int32_t>(buffer.data(), rows, dst, flags,
                                                    spans[static_cast<size_t>(i)]);
                else if (ok)
                    sawBad |= Convert<std::uint8_t>(buffer.data(), rows, dst, flags,
                                                    spans[static_cast<size_t>(i)]);
            }
            const std::int64_t now = done.fetch_add(rows) + rows;
            std::unique_lock<std::mutex> hold(lock, std::try_to_lock);
            if (!ok) {
                if (!hold.owns_lock()) hold.lock();
                if (readError.empty())
                    readError = errno ? std::strerror(errno) : "it became shorter";
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
    if (!readError.empty()) return Refuse(Format("Cannot read the file: %s.", readError.c_str()));
    // The extents were found on the way, which spares a pass over the columns.
    const double* x = set.Variable(0)->Values();
    set.Variable(0)->SetExtents(x[0], x[rows_ - 1]);
    for (size_t c = 1; c <= columns_.size(); ++c) {
        Span all;
        for (std::int64_t k = 0; k < perColumn; ++k) {
            const Span& part = spans[c * static_cast<size_t>(perColumn) + static_cast<size_t>(k)];
            all.lo = std::min(all.lo, part.lo);
            all.hi = std::max(all.hi, part.hi);
        }
        if (all.lo <= all.hi)
            set.Variable(static_cast<std::int32_t>(c))->SetExtents(all.lo, all.hi);
    }
    return true;
}

void Reader::NoteFacts(const std::vector<Waveform>& waves) {
    const Waveform& first = waves.front();
    Note(rigol_ ? "format: Rigol binary waveform file RG" + version_
                : "format: Keysight binary data file version " + version_);
    const size_t colon = first.frame.find(':');
    if (!first.frame.empty()) Note("instrument: " + first.frame.substr(0, colon));
    if (colon != std::string::npos) Note("serial number: " + first.frame.substr(colon + 1));
    Note(Format("record length: %lld", static_cast<long long>(rows_)));
    const std::string xUnit = UnitOf(first.xUnit);
    Note("sample interval: " + Format("%.7g", dx_) + (xUnit.empty() ? "" : " " + xUnit));
    Note("time of sample 0: " + Format("%.7g", x0_) + (xUnit.empty() ? "" : " " + xUnit));
    std::string when = first.date;
    if (!first.time.empty()) when += (when.empty() ? "" : " ") + first.time;
    if (!when.empty()) Note("acquisition time: " + when);
    if (namedByPlace_)
        Note("Waveforms without a label are named CH1, CH2... by their place in the file.");
    bool segmented = false;
    for (const Waveform& w : waves) segmented |= w.segment != first.segment;
    for (size_t i = 0; segmented && i < waves.size(); ++i)
        Note(Format("Waveform %zu is segment %u, triggered %s s after the first.", i + 1,
                    waves[i].segment, ExactNumber(waves[i].timeTag).c_str()));
}

bool Reader::Run(const std::string& path, CResultDataRef& data) {
    if (!file_.Open(path)) return Refuse(file_.Error());
    if (!file_.Positional())
        return Refuse(Format("Cannot read \"%s\": it is not a regular file.", path.c_str()));
    const std::int64_t size = file_.Size();
    char head[kFileHeaderBytes];
    if (size < kFileHeaderBytes) return Refuse("It is shorter than the 12-byte file header.");
    if (file_.ReadAt(0, head, kFileHeaderBytes) != kFileHeaderBytes) return ReadFailed();
    rigol_ = head[0] == 'R';
    version_.assign(head + 2, 2);
    if (rigol_ && version_ != "01")
        return Refuse(
            Format("Rigol RG%s .bin files are not read yet.", DisplayName(version_).c_str()));
    const std::uint32_t sizeField = Load<std::uint32_t>(head + 4);
    const std::int32_t count = Load<std::int32_t>(head + 8);
    if (!rigol_ && sizeField > size)
        return Refuse(Format("It is shorter than its header says: %lld of %u bytes.",
                             static_cast<long long>(size), sizeField));
    if (count <= 0) return Refuse("It holds no waveform.");
    const std::int64_t room = (size - kFileHeaderBytes) / (kWaveformFields + kBufferFields);
    if (count > room)
        return Refuse(Format("It gives %d waveforms, but its %lld bytes hold at most %lld.", count,
                             static_cast<long long>(size), static_cast<long long>(room)));
    std::vector<Waveform> waves(static_cast<size_t>(count));
    std::int64_t at = kFileHeaderBytes;
    for (std::int32_t i = 0; i < count; ++i)
        if (!ReadWaveform(at, i, waves[static_cast<size_t>(i)])) return false;
    const Waveform& first = waves.front();
    if (!(first.increment > 0.0) || !std::isfinite(first.increment) || !std::isfinite(first.origin))
        return Refuse(
            Format("Its sample interval is %s and its first time %s: no data was "
                   "acquired.",
                   ExactNumber(first.increment).c_str(), ExactNumber(first.origin).c_str()));
    dx_ = first.increment;
    // Rigol's origin is the time from sample 0 to the trigger.
    x0_ = rigol_ ? -first.origin : first.origin;
    if (sizeField != size)
        Note(Format("Its header gives a file size of %u bytes; the file holds %lld.", sizeField,
                    static_cast<long long>(size)));
    if (!(at < size && rigol_ && count == 1 && Blocks(first, at))) {
        if (Failed()) return false;
        columns_.clear();
        if (!Columns(waves)) return false;
        if (at < size)
            Note(Format("%lld bytes after the last waveform were skipped.",
                        static_cast<long long>(size - at)));
    }
    if (columns_.empty()) return Refuse("None of its buffers holds samples this program reads.");
    if (rows_ == 0) return Refuse("Its waveforms hold no points.");
    const std::uint64_t vars = columns_.size() + 1;
    if (rows_ > std::numeric_limits<std::int32_t>::max() ||
        vars > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()) ||
        static_cast<std::uint64_t>(rows_) >
            MemoryLimit(options_.memoryLimit) / kBytesPerPoint / vars)
        return Refuse(Format("Its %lld points of %llu variables need more memory than there is.",
                             static_cast<long long>(rows_), static_cast<unsigned long long>(vars)));
    // Threads pay off only for large records.
    if (static_cast<std::uint64_t>(rows_) * vars >= (1u << 20)) workers_ = WorkerCount();
    CResultDataRef fresh;
    if (!Allocate(fresh, static_cast<std::int64_t>(vars), rows_)) return false;
    CResultData& set = *fresh.Get();
    std::lock_guard<std::recursive_mutex> hold(set.Lock());
    const std::string xUnit = UnitOf(first.xUnit);
    set.SetVariableName(0, first.xUnit == 2 ? "Time" : first.xUnit == 6 ? "Frequency" : "X");
    set.Variable(0)->SetUnit(xUnit);
    std::vector<std::string> names = {set.Variable(0)->Name()};
    for (size_t i = 0; i < columns_.size(); ++i) {
        std::string name = columns_[i].name;
        for (int k = 2; std::any_of(names.begin(), names.end(),
                                    [&](const std::string& n) { return SameName(n, name); });
             ++k)
            name = columns_[i].name + Format(" #%d", k);
        names.push_back(name);
        set.SetVariableName(static_cast<std::int32_t>(i + 1), name);
        set.Variable(static_cast<std::int32_t>(i + 1))->SetUnit(columns_[i].unit);
    }
    BackColumns(set, rows_, workers_);
    bool bad = false;
    if (!Fill(set, bad)) return false;
    const double* x = set.Variable(0)->Values();
    set.SetRowCountLocked(static_cast<std::int32_t>(rows_));
    set.SetBadPoints(bad);
    set.SetUniformX(
        CResultDataRef::UniformTest(x, 0, static_cast<std::int32_t>(rows_) - 1, workers_));
    NoteFacts(waves);
    data = fresh;
    return true;
}

}  // namespace

bool LooksLikeKeysightBin(std::string_view head, const std::string&) {
    if (head.size() < kFileHeaderBytes) return false;
    const bool cookie = (head[0] == 'A' && head[1] == 'G') || (head[0] == 'R' && head[1] == 'G');
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    // A text file's bytes 8 to 11 make a count far larger than any scope writes.
    const std::int32_t count = Load<std::int32_t>(head.data() + 8);
    return cookie && digit(head[2]) && digit(head[3]) && count >= 0 && count < (1 << 16);
}

bool ReadKeysightBinFile(const std::string& path, CResultDataRef& data, UserMessages& messages,
                         const BinaryReadOptions& options, std::vector<std::string>* notes) {
    Reader reader(path, messages, options, notes);
    return reader.Run(path, data);
}

}  // namespace kurvex
