#include "data/cache/CacheConvert.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <future>
#include <limits>
#include <mutex>
#include <optional>
#include <system_error>
#include <vector>

#include "data/cache/CacheMeta.h"
#include "data/cache/CachePreview.h"
#include "data/cache/ConvertedColumn.h"
#include "data/formats/RawFile.h"
#include "data/model/Extents.h"
#include "data/model/ResultVariable.h"
#include "data/model/Runs.h"
#include "data/model/SummaryPyramid.h"
#include "data/platform/SampleMemory.h"
#include "data/platform/Workers.h"

namespace kurvex {

namespace {

constexpr std::int64_t kBlockBytes = 4 << 20;

// Part of every entry's key: raised whenever what this converter puts in an entry changes,
// so that an older entry is made again rather than misread.
constexpr int kConverterVersion = 2;

// Each step is a file set of its own: a sweep of more steps than this (an X
// that hardly moves restarts at every row) is left to the reader.
constexpr std::size_t kMaxSteps = 10000;

using Status = CacheConversion::Status;

// One worker's transposed samples of a block.
struct Scratch {
    std::vector<double> values;
    std::vector<std::uint8_t> flags;
    std::unique_ptr<bool[]> valid;
};

template <class T>
void Transpose(const char* src, std::int64_t rows, std::int64_t stride, bool unsign, double* dst,
               std::uint8_t* flags, bool* valid) {
    for (std::int64_t r = 0; r < rows; ++r) {
        T t;
        std::memcpy(&t, src + r * stride, sizeof t);
        const double v = static_cast<double>(t);
        const bool ok = std::isfinite(v);
        dst[r] = unsign ? std::fabs(v) : v;
        flags[r] = ok ? kPointValid : kPointInvalid;
        valid[r] = ok;
    }
}

// Reads exactly `n` bytes at `at`; false with errno (0 for a short file) set otherwise.
bool ReadFully(int fd, std::int64_t at, char* into, std::int64_t n) {
    while (n > 0) {
        const ssize_t got = ::pread(fd, into, static_cast<size_t>(n), at);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got == 0) errno = 0;
            return false;
        }
        into += got;
        at += got;
        n -= got;
    }
    return true;
}

using Attempt = ConvertAttempt;

// Rows [first, first + rows) of plot `plot` of a scan: one run of the entry.
struct Slice {
    std::size_t plot = 0;
    std::int64_t first = 0, rows = 0;
};

struct Piece;
class RunPieces;
struct RunWork;

class Converter {
public:
    Converter(const std::string& path, const CacheConvertOptions& options, const RawFileScan& scan,
              std::uint64_t limit, bool stepped)
        : path_(path),
          options_(options),
          scan_(scan),
          limit_(limit),
          blockBytes_(options.blockBytes > 0 ? options.blockBytes : kBlockBytes),
          stepped_(stepped) {}
    ~Converter() { CloseSource(); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    Attempt Run(const CacheKey& key, CacheConversion& out);
    const std::string& Error() const { return error_; }

private:
    Attempt Fail(const std::string& error) {
        error_ = error;
        return Attempt::Failed;
    }
    bool ConvertRun(std::int32_t r, std::int64_t& done, std::int64_t total, Attempt& why);
    // Begins every column's pyramid in the writer.
    bool BeginColumns(RunWork& work, Attempt& why);
    // Transposes the columns of one piece on the workers and hands them to the
    // columns and the writer; false when one of them could not take them.
    bool TakePiece(const RawPlotValues& plot, const RunPieces& pieces, const Piece& piece,
                   const std::string& block, RunWork& work);
    // Shows the first `written` rows of the run, when a picture is due.
    void PreviewRows(const RunWork& work, std::int64_t written);
    // Puts the run's meta down and finishes its columns.
    bool FinishRun(RunWork& work, Attempt& why);
    Attempt FindSteps(std::int64_t& done, std::int64_t total);
    CacheLayout Layout() const;
    std::int64_t Bytes() const;  // of the source, for the runs' conversion
    // Opens the source, checking that it is the one `key` describes.
    Attempt OpenSource(const CacheKey& key);
    void CloseSource();
    bool Changed(const CacheKey& key) const;
    // Begins the entry, waiting for another writer of it as the options say.
    bool BeginEntry(const CacheKey& key, CacheConversion& out);
    // How a Begin that failed ends the try.
    Attempt Waited();
    Attempt Convert(const CacheKey& key, CacheConversion& out, std::int64_t done,
                    std::int64_t total);
    // The entry of `key` into `out`, `written` now or before.
    Attempt Opened(const CacheKey& key, CacheConversion& out, bool written);

    const std::string& path_;
    const CacheConvertOptions& options_;
    const RawFileScan& scan_;
    std::uint64_t limit_;
    std::int64_t blockBytes_;
    bool stepped_;
    std::vector<Slice> slices_;          // the entry's runs
    std::vector<std::string> runNames_;  // none: the runs go unnamed
    CacheWriter writer_;
    CacheMeta meta_;
    int fd_ = -1;
    std::int64_t shown_ = 0;  // rows last previewed
    std::string error_;
    bool stalled_ = false;
};

// Where column v's samples begin within a point, or within a plot's columns
// laid one after the other (counted in points).
std::int64_t ColumnOffset(const RawPlotValues& plot, std::int64_t v) {
    return v == 0 ? 0 : plot.xBytes + plot.valueBytes * (v - 1);
}

// The file in pieces of about a block: of whole points, or of one
// variable's samples where the variables lie one after the other.
struct Piece {
    std::int32_t v0, v1;
    std::int64_t row, rows, at, stride;
};

// Where the samples of one run lie in the file, and the pieces it is read in.
class RunPieces {
public:
    RunPieces(const RawPlotValues& plot, const Slice& slice, std::int32_t n,
              std::int64_t blockBytes)
        : plot_(plot),
          slice_(slice),
          n_(n),
          points_(slice.rows),
          rowBytes_(ColumnOffset(plot, n)),
          blockBytes_(blockBytes) {}

    // Where column v's sample of the first row of a piece lies, from the piece's start.
    std::int64_t Within(std::int64_t v) const {
        return plot_.fastAccess ? 0 : ColumnOffset(plot_, v);
    }
    Piece First() const {
        const std::int64_t stride = plot_.fastAccess ? plot_.xBytes : rowBytes_;
        return {0,     plot_.fastAccess ? 1 : n_, 0, std::min(RowsOf(stride), points_), ColumnAt(0),
                stride};
    }
    // The piece after `p` into `q`; false after the last.
    bool Following(const Piece& p, Piece& q) const {
        q = p;
        q.at = p.at + p.rows * p.stride;
        q.row = p.row + p.rows;
        if (q.row >= points_) {
            if (!plot_.fastAccess || p.v1 >= n_) return false;
            q = {p.v1, p.v1 + 1, 0, 0, ColumnAt(p.v1), WidthOf(p.v1)};
        }
        q.rows = std::min(RowsOf(q.stride), points_ - q.row);
        return true;
    }
    // The rows of the largest piece.
    std::int64_t BlockRows() const {
        return std::min(
            points_, RowsOf(plot_.fastAccess
                                ? std::min(plot_.xBytes, n_ > 1 ? plot_.valueBytes : plot_.xBytes)
                                : rowBytes_));
    }

private:
    // Where the run's first sample of column v (of every column, point by point) lies.
    std::int64_t ColumnAt(std::int64_t v) const {
        return plot_.fastAccess ? plot_.dataStart + plot_.points * ColumnOffset(plot_, v) +
                                      slice_.first * (v == 0 ? plot_.xBytes : plot_.valueBytes)
                                : plot_.dataStart + slice_.first * rowBytes_;
    }
    // Whole bytes of validity bits per block, so that what is written can be shown.
    std::int64_t RowsOf(std::int64_t stride) const {
        const std::int64_t rows = blockBytes_ / stride;
        return std::max<std::int64_t>(1, rows >= 8 ? rows & ~std::int64_t(7) : rows);
    }
    std::int32_t WidthOf(std::int32_t v) const { return v == 0 ? plot_.xBytes : plot_.valueBytes; }

    const RawPlotValues& plot_;
    const Slice& slice_;
    std::int32_t n_;
    std::int64_t points_;
    std::int64_t rowBytes_;
    std::int64_t blockBytes_;
};

// What the conversion of one run keeps while its pieces pass.
struct RunWork {
    std::int32_t run = 0;
    std::int64_t points = 0;
    std::mutex writing;  // the writer is one file set, written one column at a time
    std::vector<ConvertedColumn> columns;
    std::vector<Scratch> scratch;  // one per worker
    EqualSpacing spacing;
};

void SizeScratch(Scratch& s, std::int64_t rows) {
    s.values.resize(static_cast<size_t>(rows));
    s.flags.resize(s.values.size());
    s.valid = std::make_unique<bool[]>(s.values.size());
}

// 0, or the errno of a read that failed (-1 for a short file).
int ReadPiece(int fd, const Piece& p, std::string& into) {
    into.resize(static_cast<size_t>(p.rows * p.stride));
    return ReadFully(fd, p.at, into.data(), p.rows * p.stride) ? 0 : errno ? errno : -1;
}

// One thread reads the next block while the workers take this one; without
// a thread to spare, the block is read when it is wanted.
std::future<int> ReadAhead(int fd, const Piece& p, std::string& into) {
    try {
        return std::async(std::launch::async, ReadPiece, fd, std::cref(p), std::ref(into));
    } catch (const std::system_error&) {
        return std::async(std::launch::deferred, ReadPiece, fd, std::cref(p), std::ref(into));
    }
}

template <class T>
void Transpose(const char* src, std::int64_t rows, std::int64_t stride, bool unsign, Scratch& s) {
    Transpose<T>(src, rows, stride, unsign, s.values.data(), s.flags.data(), s.valid.get());
}

// The steps are cut where X comes back to its first value, as RunStarts cuts
// them; X is read as the conversion reads it, so that both see the same values.
Attempt Converter::FindSteps(std::int64_t& done, std::int64_t total) {
    const RawPlotValues& plot = scan_.runs.front();
    const auto n = static_cast<std::int64_t>(scan_.names.size());
    const std::int64_t stride = plot.fastAccess ? plot.xBytes : ColumnOffset(plot, n);
    const std::int64_t step = std::max<std::int64_t>(1, blockBytes_ / stride);
    Scratch s;
    SizeScratch(s, std::min(step, plot.points));
    std::string block;
    std::vector<std::int64_t> starts = {0};
    double first = 0.0;
    for (std::int64_t row = 0; row < plot.points; row += step) {
        const std::int64_t rows = std::min(step, plot.points - row);
        block.resize(static_cast<size_t>(rows * stride));
        if (!ReadFully(fd_, plot.dataStart + row * stride, block.data(), rows * stride)) {
            error_ = "Cannot read \"" + path_ +
                     "\": " + (errno ? std::strerror(errno) : "the file became shorter") + ".";
            return Attempt::Failed;
        }
        if (plot.xBytes == 8)
            Transpose<double>(block.data(), rows, stride, plot.unsignedTime, s);
        else
            Transpose<float>(block.data(), rows, stride, plot.unsignedTime, s);
        if (row == 0) first = s.values[0];
        for (std::int64_t i = row == 0 ? 1 : 0; i < rows; ++i) {
            if (s.values[static_cast<size_t>(i)] != first) continue;
            if (starts.size() == kMaxSteps) return Attempt::Unsupported;
            starts.push_back(row + i);
        }
        done += rows * stride;
        if (options_.progress && !options_.progress(done, total)) return Attempt::Cancelled;
    }
    slices_.clear();
    for (size_t k = 0; k < starts.size(); ++k) {
        const std::int64_t end = k + 1 < starts.size() ? starts[k + 1] : plot.points;
        slices_.push_back({0, starts[k], end - starts[k]});
    }
    return Attempt::Done;
}

bool Converter::BeginColumns(RunWork& work, Attempt& why) {
    for (std::int32_t v = 0; v < static_cast<std::int32_t>(work.columns.size()); ++v) {
        if (!work.columns[static_cast<size_t>(v)].Begin(writer_, work.writing, v, work.run,
                                                        work.points)) {
            why = Attempt::Failed;
            error_ = writer_.Error();
            return false;
        }
    }
    return true;
}

bool Converter::TakePiece(const RawPlotValues& plot, const RunPieces& pieces, const Piece& piece,
                          const std::string& block, RunWork& work) {
    const std::int64_t rows = piece.rows;
    ItemCounter counter(piece.v1 - piece.v0);
    bool failed = false;
    RunWorkers(static_cast<int>(work.scratch.size()), [&](int w) {
        Scratch& s = work.scratch[static_cast<size_t>(w)];
        for (std::int64_t i = counter.Next(); i >= 0; i = counter.Next()) {
            const std::int64_t v = piece.v0 + i;
            const bool x = v == 0;
            const char* src = block.data() + pieces.Within(v);
            const int width = x ? plot.xBytes : plot.valueBytes;
            const bool unsign = x && plot.unsignedTime;
            if (width == 8)
                Transpose<double>(src, rows, piece.stride, unsign, s.values.data(), s.flags.data(),
                                  s.valid.get());
            else
                Transpose<float>(src, rows, piece.stride, unsign, s.values.data(), s.flags.data(),
                                 s.valid.get());
            if (x) work.spacing.Take(s.values.data(), rows);
            const auto count = static_cast<size_t>(rows);
            bool ok = work.columns[static_cast<size_t>(v)].Take(s.values.data(), s.flags.data(),
                                                                s.valid.get(), rows);
            std::lock_guard<std::mutex> hold(work.writing);
            ok = ok && !failed &&
                 writer_.Append(static_cast<std::int32_t>(v), work.run, s.values.data(),
                                s.valid.get(), count);
            if (!ok) {
                failed = true;
                counter.Stop();
            }
        }
    });
    return !failed;
}

void Converter::PreviewRows(const RunWork& work, std::int64_t written) {
    if (written % 8 != 0 || written > INT32_MAX || !PreviewDue(shown_, written, work.points))
        return;
    std::vector<PartialColumn> seen;
    for (const ConvertedColumn& c : work.columns) seen.push_back(c.Seen());
    double step;
    std::string ignored;
    CResultDataRef partial;
    // A picture that cannot be had is only a picture less.
    if (PartialResult(writer_, scan_.names, seen, static_cast<std::int32_t>(written),
                      work.spacing.Equal(step), partial, ignored))
        options_.preview(partial);
    shown_ = written;
}

bool Converter::FinishRun(RunWork& work, Attempt& why) {
    CachedRunMeta& run = meta_.runs.emplace_back();
    run.equalSpacing = work.spacing.Equal(run.step);
    for (std::int32_t v = 0; v < static_cast<std::int32_t>(work.columns.size()); ++v) {
        ConvertedColumn& c = work.columns[static_cast<size_t>(v)];
        run.columns.push_back(c.Meta());
        if (!c.Finish()) {
            why = Attempt::Failed;
            error_ =
                writer_.Error().empty()
                    ? "The summary of " + scan_.names[static_cast<size_t>(v)] + " cannot be built."
                    : writer_.Error();
            return false;
        }
    }
    return true;
}

bool Converter::ConvertRun(std::int32_t r, std::int64_t& done, std::int64_t total, Attempt& why) {
    const Slice& slice = slices_[static_cast<size_t>(r)];
    const RawPlotValues& plot = scan_.runs[slice.plot];
    const auto n = static_cast<std::int32_t>(scan_.names.size());
    const RunPieces pieces(plot, slice, n, blockBytes_);
    const int workers = std::min(WorkerCount(), plot.fastAccess ? 1 : std::max(n, 1));

    RunWork work;
    work.run = r;
    work.points = slice.rows;
    work.columns.resize(static_cast<size_t>(n));
    if (!BeginColumns(work, why)) return false;
    work.scratch.resize(static_cast<size_t>(workers));
    for (Scratch& s : work.scratch) SizeScratch(s, pieces.BlockRows());
    std::string buffers[2];
    Piece slots[2] = {pieces.First(), pieces.First()};
    std::future<int> ahead = ReadAhead(fd_, slots[0], buffers[0]);
    for (std::int64_t k = 0;; ++k) {
        const Piece& piece = slots[k & 1];
        const int err = ahead.get();
        if (err != 0) {
            why = Attempt::Failed;
            error_ = "Cannot read \"" + path_ +
                     "\": " + (err < 0 ? "the file became shorter" : std::strerror(err)) + ".";
            return false;
        }
        const bool more = pieces.Following(piece, slots[(k + 1) & 1]);
        if (more) ahead = ReadAhead(fd_, slots[(k + 1) & 1], buffers[(k + 1) & 1]);
        if (!TakePiece(plot, pieces, piece, buffers[k & 1], work)) {
            why = Attempt::Failed;
            error_ = writer_.Error().empty() ? "The summary of a column cannot be built."
                                             : writer_.Error();
            return false;
        }
        done += piece.rows * piece.stride;
        // Variables one after the other give no whole rows until the end.
        if (options_.preview && r == 0 && !plot.fastAccess)
            PreviewRows(work, piece.row + piece.rows);
        if (options_.progress && !options_.progress(done, total)) {
            why = Attempt::Cancelled;
            return false;
        }
        if (!more) break;
    }
    return FinishRun(work, why);
}

Attempt Converter::Run(const CacheKey& key, CacheConversion& out) {
    slices_.clear();
    runNames_.clear();
    for (size_t p = 0; p < scan_.runs.size(); ++p) slices_.push_back({p, 0, scan_.runs[p].points});
    // Plots read as runs are named as the reader names them: the plot's name and number.
    const auto first = std::find_if(scan_.plots.begin(), scan_.plots.end(),
                                    [](const RawPlot& plot) { return plot.run == 0; });
    if (!stepped_ && scan_.runs.size() > 1 && first != scan_.plots.end())
        for (size_t k = 0; k < scan_.runs.size(); ++k)
            runNames_.push_back(first->name + " " + std::to_string(k + 1));
    if (!stepped_) {
        if (!BeginEntry(key, out)) return Waited();
        return writer_.Finished() ? Opened(key, out, false) : Convert(key, out, 0, Bytes());
    }
    // An entry made before spares the pass over X that finds the steps.
    CacheEntry::Status status;
    std::string ignored;
    if (CacheEntry::Open(key, status, ignored)) return Opened(key, out, false);
    if (const Attempt opened = OpenSource(key); opened != Attempt::Done) return opened;
    // Finding the steps reads whole points, or X alone where the columns lie apart.
    const RawPlotValues& plot = scan_.runs.front();
    const std::int64_t pass =
        plot.points *
        (plot.fastAccess ? plot.xBytes : ColumnOffset(plot, std::int64_t(scan_.names.size())));
    const std::int64_t total = pass + Bytes();
    std::int64_t done = 0;
    const Attempt found = FindSteps(done, total);
    if (found != Attempt::Done) {
        CloseSource();
        // A source rewritten meanwhile may have given any bytes, or a short read.
        return found == Attempt::Failed && Changed(key) ? Attempt::Changed : found;
    }
    if (!BeginEntry(key, out)) {
        CloseSource();
        return Waited();
    }
    if (writer_.Finished()) {
        CloseSource();
        return Opened(key, out, false);
    }
    return Convert(key, out, done, total);
}

bool Converter::BeginEntry(const CacheKey& key, CacheConversion& out) {
    const CacheLayout layout = Layout();
    std::uint64_t need = 0;
    for (const std::int64_t rows : layout.rows)
        need += std::uint64_t(rows) * layout.names.size() * 9;
    return writer_.Begin(key, layout, limit_,
                         ConvertWait(path_, options_, need, stalled_, out.notes));
}

Attempt Converter::Waited() {
    if (!writer_.GaveUp()) return Fail(writer_.Error());
    return stalled_ ? Fail(StalledWriterError(path_, options_)) : Attempt::Cancelled;
}

CacheLayout Converter::Layout() const {
    CacheLayout layout;
    layout.names = scan_.names;
    layout.extras.push_back(kCacheMetaFile);
    if (!runNames_.empty()) layout.extras.push_back(kCacheRunNamesFile);
    for (const Slice& slice : slices_) layout.rows.push_back(slice.rows);
    for (size_t r = 0; r < slices_.size(); ++r)
        for (size_t v = 0; v < layout.names.size(); ++v)
            layout.extras.push_back(
                PyramidFileName(static_cast<std::int32_t>(v), static_cast<std::int32_t>(r)));
    return layout;
}

std::int64_t Converter::Bytes() const {
    std::int64_t total = 0;
    for (const Slice& slice : slices_)
        total += slice.rows * ColumnOffset(scan_.runs[slice.plot],
                                           static_cast<std::int64_t>(scan_.names.size()));
    return total;
}

Attempt Converter::OpenSource(const CacheKey& key) {
    if (fd_ >= 0) return Attempt::Done;
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        error_ = "Cannot read \"" + path_ + "\": " + std::strerror(errno) + ".";
        return Attempt::Failed;
    }
    // The key must describe the very file read, not one the path named a moment before.
    CacheKey read = key;
    if (FileStateOf(fd_, read) && read == key) return Attempt::Done;
    CloseSource();
    return Attempt::Changed;
}

void Converter::CloseSource() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool Converter::Changed(const CacheKey& key) const {
    CacheKey now;
    std::string ignored;
    return !KeyOf(path_, now, ignored, key.reading) || !(now == key);
}

Attempt Converter::Convert(const CacheKey& key, CacheConversion& out, std::int64_t done,
                           std::int64_t total) {
    if (const Attempt opened = OpenSource(key); opened != Attempt::Done) {
        writer_.Abort();
        return opened;
    }
    meta_ = {};
    Attempt why = Attempt::Done;
    bool ok = true;
    for (std::int32_t r = 0; ok && r < static_cast<std::int32_t>(slices_.size()); ++r)
        ok = ConvertRun(r, done, total, why);
    CloseSource();
    // A source rewritten meanwhile may have given any bytes, or a short read.
    if (why != Attempt::Cancelled && Changed(key)) {
        writer_.Abort();
        return Attempt::Changed;
    }
    if (!ok) {
        writer_.Abort();
        return why;
    }
    const std::vector<std::uint8_t> meta = MetaBytes(meta_);
    const std::vector<std::uint8_t> names = RunNamesBytes(runNames_);
    if (!writer_.WriteExtra(kCacheMetaFile, meta.data(), meta.size()) ||
        (!runNames_.empty() &&
         !writer_.WriteExtra(kCacheRunNamesFile, names.data(), names.size())) ||
        !writer_.Commit()) {
        const std::string error = writer_.Error();
        writer_.Abort();
        return Fail(error);
    }
    return Opened(key, out, true);
}

Attempt Converter::Opened(const CacheKey& key, CacheConversion& out, bool written) {
    CacheEntry::Status status;
    std::string error;
    out.entry = CacheEntry::Open(key, status, error);
    if (!out.entry) return Fail(error.empty() ? "The new cache entry cannot be opened." : error);
    out.status = written ? Status::Converted : Status::AlreadyCached;
    // Step names come from the log as it is now: one written or changed after the entry
    // still names its runs.
    if (stepped_) {
        std::string note;
        out.runNames = StepRunNames(path_, out.entry->Layout().rows.size(), &note);
        if (!note.empty()) out.notes.push_back(note);
    }
    return Attempt::Done;
}

}  // namespace

CacheWait ConvertWait(const std::string& path, const CacheConvertOptions& options,
                      std::uint64_t need, bool& stalled, std::vector<std::string>& notes) {
    CacheWait wait;
    wait.step = options.waitStep;
    wait.stall = options.waitStall;
    stalled = false;
    auto said = std::make_shared<bool>(false);
    wait.waiting = [&path, &options, need, &stalled, &notes, said](std::uint64_t written,
                                                                   bool stopped) {
        if (stopped && !*said) {
            if (need <= AvailableMemory()) {
                stalled = true;
                return false;
            }
            notes.push_back("Another conversion of \"" + path +
                            "\" has stopped, and there is not enough memory to read the file "
                            "without it: still waiting for it.");
            if (options.status) options.status(notes.back());
            *said = true;
        }
        // How far the other writer is, for as long as it is waited for.
        const auto total = static_cast<std::int64_t>(std::max<std::uint64_t>(need, 2));
        const auto done = static_cast<std::int64_t>(std::min<std::uint64_t>(written, need / 2));
        return !options.progress || options.progress(done, total);
    };
    return wait;
}

std::string StalledWriterError(const std::string& path, const CacheConvertOptions& options) {
    return "Another conversion of \"" + path + "\" has written nothing for " +
           std::to_string(options.waitStall.count() / 1000) + " s, so the file is read " +
           "the ordinary way.";
}

CacheConversion ConvertToCache(const std::string& path, const CacheConvertOptions& options) {
    CacheConversion out;
    std::uint64_t limit = options.limit;
    RawReadOptions read;
    read.plot = options.plot;
    read.plotsAsRuns = options.plotsAsRuns;
    const std::string reading = "raw/" + std::to_string(kConverterVersion) +
                                " plot=" + std::to_string(options.plot) +
                                " runs=" + (options.plotsAsRuns ? "1" : "0");
    for (int attempt = 0; attempt < 2; ++attempt) {
        CacheKey key;
        if (!KeyOf(path, key, out.error, reading)) return out;
        RawFileScan scan;
        CollectedMessages messages;
        // What the reader says of the file (bytes it passed over) reaches the user as from
        // a plain read, once however often the conversion starts again.
        std::vector<std::string> fileNotes;
        read.notes = &fileNotes;
        switch (ScanRawFile(path, scan, messages, read)) {
            case RawReadResult::NotRaw:
                out.status = Status::Unsupported;
                return out;
            case RawReadResult::Failed:
                out.error = messages.said.empty() ? "Cannot read \"" + path + "\"." : messages.said;
                return out;
            case RawReadResult::Read:
                break;
        }
        out.plots = scan.plots;
        for (const RawPlotValues& plot : scan.runs) {
            if (!plot.binary || plot.complex) {
                out.status = Status::Unsupported;
                return out;
            }
        }
        // The reader's caller cuts a stepped plot only when it is the one run read.
        bool stepped = false;
        for (const RawPlot& plot : scan.plots) {
            if (plot.run < 0 || !plot.stepped) continue;
            if (scan.runs.size() != 1) {
                out.status = Status::Unsupported;
                return out;
            }
            stepped = true;
        }
        if (limit == 0) {
            std::string folder;
            if (!CacheFolder(folder, out.error)) return out;
            limit = DefaultCacheLimit(folder);
        }
        Converter converter(path, options, scan, limit, stepped);
        const Attempt why = converter.Run(key, out);
        if (EndOfAttempt(why, converter.Error(), out)) {
            out.notes.insert(out.notes.begin(), fileNotes.begin(), fileNotes.end());
            return out;
        }
    }
    out.error = "\"" + path + "\" changed while it was converted.";
    return out;
}

}  // namespace kurvex
