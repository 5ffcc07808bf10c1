#include "data/cache/CacheConvertText.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <future>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <vector>

#include "data/cache/CacheMeta.h"
#include "data/cache/ConvertedColumn.h"
#include "data/formats/TextGrammar.h"
#include "data/formats/TextReader.h"
#include "data/model/Extents.h"
#include "data/model/ResultVariable.h"
#include "data/model/SummaryPyramid.h"
#include "data/platform/ByteSource.h"
#include "data/platform/NumberText.h"
#include "data/platform/Workers.h"

namespace kurvex {

namespace {

using Status = CacheConversion::Status;
using text::LineError;

using Attempt = ConvertAttempt;

// Hands out the data part in runs of whole lines, reading the next block
// while the caller works on this one; holds a block and the longest line.
class BlockReader {
public:
    enum class Got { Lines, End, Failed, TooLong };

    BlockReader(int fd, std::int64_t from, std::int64_t end, const TextConvertTuning& tuning)
        : fd_(fd), at_(from), end_(end), tuning_(tuning) {
        raw_.resize(static_cast<size_t>(std::max<std::int64_t>(tuning.blockBytes, 1)));
        StartRead();
    }
    ~BlockReader() {
        if (ahead_.valid()) ahead_.wait();
    }

    // The next lines into [begin, end), with text::kScanPadding bytes readable
    // after them; the last may lack its line end.
    Got Next(const char*& begin, const char*& end) {
        // What the last block left over begins the next one.
        if (tail_ > 0) std::memmove(work_.data(), work_.data() + cut_, tail_);
        size_t have = tail_;
        tail_ = 0;
        for (;;) {
            if (!ahead_.valid()) {
                if (have == 0) return Got::End;
                return Give(have, have, begin, end);
            }
            const std::int64_t got = ahead_.get();
            if (got < 0) return Got::Failed;
            Reserve(have + static_cast<size_t>(got));
            std::memcpy(work_.data() + have, raw_.data(), static_cast<size_t>(got));
            have += static_cast<size_t>(got);
            StartRead();
            if (!ahead_.valid()) return Give(have, have, begin, end);
            const void* nl = ::memrchr(work_.data(), '\n', have);
            if (nl) {
                const size_t cut =
                    static_cast<size_t>(static_cast<const char*>(nl) - work_.data()) + 1;
                return Give(cut, have, begin, end);
            }
            if (static_cast<std::int64_t>(have) > tuning_.maxLineBytes) return Got::TooLong;
        }
    }
    std::int64_t Done() const { return done_; }
    std::int64_t Peak() const { return peak_; }
    int Error() const { return error_; }

private:
    Got Give(size_t cut, size_t have, const char*& begin, const char*& end) {
        tail_ = have - cut;
        cut_ = cut;
        begin = work_.data();
        end = work_.data() + cut;
        done_ += static_cast<std::int64_t>(cut);
        return Got::Lines;
    }
    void Reserve(size_t bytes) {
        if (work_.size() < bytes + text::kScanPadding) work_.resize(bytes + text::kScanPadding);
        peak_ = std::max(peak_, static_cast<std::int64_t>(work_.size() + raw_.size()));
    }
    void StartRead() {
        if (at_ >= end_) return;
        const std::int64_t want =
            std::min<std::int64_t>(static_cast<std::int64_t>(raw_.size()), end_ - at_);
        const std::int64_t from = at_;
        at_ += want;
        auto read = [this, from, want]() -> std::int64_t {
            char* into = raw_.data();
            std::int64_t at = from, left = want;
            while (left > 0) {
                const ssize_t got = ::pread(fd_, into, static_cast<size_t>(left), at);
                if (got < 0 && errno == EINTR) continue;
                if (got <= 0) {
                    error_ = got == 0 ? 0 : errno;
                    return -1;
                }
                into += got;
                at += got;
                left -= got;
            }
            return want;
        };
        // Without a thread to spare, the block is read when it is wanted.
        try {
            ahead_ = std::async(std::launch::async, read);
        } catch (const std::system_error&) {
            ahead_ = std::async(std::launch::deferred, read);
        }
    }

    const int fd_;
    std::int64_t at_;  // of the next read
    const std::int64_t end_;
    const TextConvertTuning& tuning_;
    std::vector<char> raw_, work_;  // work_ holds kScanPadding bytes more than it gives
    size_t tail_ = 0, cut_ = 0;
    std::future<std::int64_t> ahead_;
    std::int64_t done_ = 0, peak_ = 0;
    int error_ = 0;
};

// One worker's share of a block: whole lines parsed into columns.
struct Piece {
    const char* begin = nullptr;
    const char* end = nullptr;
    long long lines = 0;  // physical lines
    std::int64_t rows = 0;
    std::vector<std::vector<double>> values;  // per column
    std::vector<std::vector<std::uint8_t>> flags;
    bool missing = false;  // a MISSING point, which the cache's valid bits cannot tell apart
    LineError error = LineError::None;
    long long errorLine = 0;  // within the piece
    std::int64_t errorRow = 0;
};

class TextConverter {
public:
    TextConverter(const std::string& path, const CacheConvertOptions& options,
                  const TextConvertTuning& tuning, std::uint64_t limit)
        : path_(path), options_(options), tuning_(tuning), limit_(limit) {}
    ~TextConverter() {
        if (fd_ >= 0) ::close(fd_);
    }

    Attempt Run(const CacheKey& key, CacheConversion& out);
    const std::string& Error() const { return error_; }
    std::int64_t Peak() const { return peak_; }

private:
    Attempt Fail(Attempt why, const std::string& error) {
        error_ = error;
        return why;
    }
    Attempt Header();
    Attempt Count(std::int64_t& rows);
    Attempt Parse(std::int64_t rows);
    void ParsePiece(Piece& p, bool first);
    Attempt Blocked(BlockReader::Got got, const BlockReader& blocks);
    bool KeepGoing(const BlockReader& blocks, int pass);

    const std::string& path_;
    const CacheConvertOptions& options_;
    const TextConvertTuning& tuning_;
    std::uint64_t limit_;
    CacheWriter writer_;
    int fd_ = -1;
    std::int64_t size_ = 0;
    std::int64_t dataStart_ = 0;
    long long linesBefore_ = 0;  // physical lines before the first data line
    std::vector<std::string> names_;
    std::int32_t n_ = 0;
    std::string error_;
    std::int64_t peak_ = 0;
};

Attempt TextConverter::Header() {
    FileByteSource file;
    if (!file.Open(path_)) return Fail(Attempt::Refused, file.Error());
    LineReader lines(file);
    CollectedMessages said;
    std::string_view line;
    long long lineNo = 0;
    if (!ReadTextHeader(file, lines, names_, line, lineNo, said)) {
        // No data line: the reader says nothing, and costs nothing to ask.
        if (said.said.empty()) return Attempt::Unsupported;
        return Fail(Attempt::Refused, said.said);
    }
    n_ = static_cast<std::int32_t>(names_.size());
    dataStart_ = lines.LineStart();
    linesBefore_ = lineNo - 1;
    size_ = file.Size();
    return size_ < 0 ? Attempt::Unsupported : Attempt::Done;
}

Attempt TextConverter::Blocked(BlockReader::Got got, const BlockReader& blocks) {
    if (got == BlockReader::Got::TooLong) return Attempt::Unsupported;
    // A short read: the file shrank under us.
    if (blocks.Error() == 0) return Attempt::Changed;
    return Fail(Attempt::Failed,
                "Cannot read \"" + path_ + "\": " + std::strerror(blocks.Error()) + ".");
}

bool TextConverter::KeepGoing(const BlockReader& blocks, int pass) {
    peak_ = std::max(peak_, blocks.Peak());
    if (!options_.progress) return true;
    // The count and the parse make half of the progress each.
    const std::int64_t data = size_ - dataStart_;
    return options_.progress(dataStart_ + (pass * data + blocks.Done()) / 2, size_);
}

// Counts the rows as the reader would read them, finding the files it reads
// as several blocks, which the cache does not take.
Attempt TextConverter::Count(std::int64_t& rows) {
    BlockReader blocks(fd_, dataStart_, size_, tuning_);
    rows = 0;
    bool first = true, separated = false;
    const char *b, *e;
    for (;;) {
        const BlockReader::Got got = blocks.Next(b, e);
        if (got == BlockReader::Got::End) break;
        if (got != BlockReader::Got::Lines) return Blocked(got, blocks);
        text::LineScanner lines(b, e);
        std::string_view line;
        while (lines.Next(line)) {
            if (text::IsBlank(line)) continue;
            if (separated) return Attempt::Unsupported;
            if (!first && text::IsBlockSeparator(line)) {
                separated = true;
                continue;
            }
            first = false;
            ++rows;
        }
        if (!KeepGoing(blocks, 0)) return Attempt::Cancelled;
    }
    if (rows > std::numeric_limits<std::int32_t>::max())
        return Fail(Attempt::Refused,
                    Format("The file holds more rows than can be read (at most %lld).",
                           static_cast<long long>(std::numeric_limits<std::int32_t>::max())));
    return Attempt::Done;
}

void TextConverter::ParsePiece(Piece& p, bool first) {
    p.lines = 0;
    p.rows = 0;
    p.missing = false;
    p.error = LineError::None;
    p.values.resize(static_cast<size_t>(n_));
    p.flags.resize(static_cast<size_t>(n_));
    for (std::int32_t t = 0; t < n_; ++t) {
        p.values[static_cast<size_t>(t)].clear();
        p.flags[static_cast<size_t>(t)].clear();
    }
    text::LineScanner lines(p.begin, p.end);
    std::string_view line;
    bool bad = false;
    while (lines.Next(line)) {
        ++p.lines;
        if (text::IsBlank(line)) continue;
        // Only a last separator is left after the count: it adds nothing.
        if (!first && text::IsBlockSeparator(line)) continue;
        first = false;
        const LineError error = text::ParseTokens(
            line, n_,
            [&](std::int32_t t, double v, std::uint8_t f) {
                p.values[static_cast<size_t>(t)].push_back(v);
                p.flags[static_cast<size_t>(t)].push_back(f);
                p.missing |= f == kPointMissing;
            },
            bad);
        if (error != LineError::None) {
            p.error = error;
            p.errorLine = p.lines;
            p.errorRow = p.rows;
            return;
        }
        ++p.rows;
    }
}

Attempt TextConverter::Parse(std::int64_t rows) {
    BlockReader blocks(fd_, dataStart_, size_, tuning_);
    const int workers = WorkerCount();
    std::vector<Piece> pieces(static_cast<size_t>(workers));
    std::mutex writing;  // the writer is one file set, written one column at a time
    std::vector<ConvertedColumn> columns(static_cast<size_t>(n_));
    for (std::int32_t v = 0; v < n_; ++v)
        if (!columns[static_cast<size_t>(v)].Begin(writer_, writing, v, 0, rows))
            return Fail(Attempt::Failed, writer_.Error());
    std::vector<std::unique_ptr<bool[]>> valid(static_cast<size_t>(workers));
    std::vector<std::int64_t> validSize(static_cast<size_t>(workers), 0);
    EqualSpacing spacing;
    std::int64_t row = 0;
    long long line = linesBefore_;
    bool firstBlock = true;
    const char *b, *e;
    for (;;) {
        const BlockReader::Got got = blocks.Next(b, e);
        if (got == BlockReader::Got::End) break;
        if (got != BlockReader::Got::Lines) return Blocked(got, blocks);
        // Cut the block at line ends, one piece a worker.
        const char* at = b;
        for (int w = 0; w < workers; ++w) {
            Piece& p = pieces[static_cast<size_t>(w)];
            p.begin = at;
            const char* want = std::max(at, b + (e - b) * (w + 1) / workers);
            if (w + 1 == workers || want >= e) {
                at = e;
            } else {
                const auto* nl = static_cast<const char*>(
                    std::memchr(want, '\n', static_cast<size_t>(e - want)));
                at = nl ? nl + 1 : e;
            }
            p.end = at;
        }
        RunWorkers(workers, [&](int w) {
            Piece& p = pieces[static_cast<size_t>(w)];
            ParsePiece(p, firstBlock && w == 0);
        });
        firstBlock = false;
        // Reading stops at the first faulty line in the file, as the reader's does.
        std::int64_t rowsHere = 0;
        for (const Piece& p : pieces) {
            if (p.error != LineError::None) {
                if (p.error == LineError::BadToken && row + rowsHere + p.errorRow < 2)
                    return Fail(Attempt::Refused, "Invalid file");
                return Fail(Attempt::Refused,
                            Format("Invalid file. Error at line %lld.", line + p.errorLine));
            }
            if (p.missing) return Attempt::Unsupported;
            line += p.lines;
            rowsHere += p.rows;
        }
        if (row + rowsHere > rows) return Attempt::Changed;
        ItemCounter counter(n_);
        bool failed = false;
        RunWorkers(workers, [&](int w) {
            for (std::int64_t i = counter.Next(); i >= 0; i = counter.Next()) {
                const auto v = static_cast<std::int32_t>(i);
                ConvertedColumn& c = columns[static_cast<size_t>(v)];
                bool ok = true;
                for (const Piece& p : pieces) {
                    if (p.rows == 0) continue;
                    const double* values = p.values[static_cast<size_t>(v)].data();
                    const std::uint8_t* flags = p.flags[static_cast<size_t>(v)].data();
                    const auto count = static_cast<size_t>(p.rows);
                    if (v == 0) spacing.Take(values, p.rows);
                    auto& bits = valid[static_cast<size_t>(w)];
                    if (validSize[static_cast<size_t>(w)] < p.rows) {
                        bits = std::make_unique<bool[]>(count);
                        validSize[static_cast<size_t>(w)] = p.rows;
                    }
                    for (size_t k = 0; k < count; ++k) bits[k] = flags[k] == kPointValid;
                    ok = ok && c.Take(values, flags, bits.get(), p.rows);
                    std::lock_guard<std::mutex> hold(writing);
                    ok = ok && !failed && writer_.Append(v, 0, values, bits.get(), count);
                    if (!ok) break;
                }
                if (!ok) {
                    std::lock_guard<std::mutex> hold(writing);
                    failed = true;
                    counter.Stop();
                }
            }
        });
        if (failed)
            return Fail(Attempt::Failed, writer_.Error().empty()
                                             ? "The summary of a column cannot be built."
                                             : writer_.Error());
        row += rowsHere;
        if (!KeepGoing(blocks, 1)) return Attempt::Cancelled;
    }
    if (row != rows) return Attempt::Changed;
    CacheMeta meta;
    CachedRunMeta& run = meta.runs.emplace_back();
    run.equalSpacing = spacing.Equal(run.step);
    for (std::int32_t v = 0; v < n_; ++v) {
        ConvertedColumn& c = columns[static_cast<size_t>(v)];
        run.columns.push_back(c.Meta());
        if (!c.Finish())
            return Fail(Attempt::Failed, writer_.Error().empty()
                                             ? "The summary of " + names_[static_cast<size_t>(v)] +
                                                   " cannot be built."
                                             : writer_.Error());
    }
    const std::vector<std::uint8_t> bytes = MetaBytes(meta);
    if (!writer_.WriteExtra(kCacheMetaFile, bytes.data(), bytes.size()))
        return Fail(Attempt::Failed, writer_.Error());
    return Attempt::Done;
}

Attempt TextConverter::Run(const CacheKey& key, CacheConversion& out) {
    // An entry made before spares the count, a pass over the whole file.
    {
        CacheEntry::Status status;
        std::string error;
        out.entry = CacheEntry::Open(key, status, error);
        if (out.entry) {
            out.status = Status::AlreadyCached;
            return Attempt::Done;
        }
    }
    // What the header says is weighed like the rest: only if the file held still.
    Attempt why = Header();
    if (why == Attempt::Done) {
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        CacheKey read = key;
        if (fd_ < 0)
            why = Fail(Attempt::Refused,
                       "Cannot read \"" + path_ + "\": " + std::strerror(errno) + ".");
        else if (!FileStateOf(fd_, read) || !(read == key))
            why = Attempt::Changed;  // the key must describe the very file read
    }
    std::int64_t rows = 0;
    if (why == Attempt::Done) why = Count(rows);
    bool begun = false;
    if (why == Attempt::Done) {
        CacheLayout layout;
        layout.names = names_;
        layout.rows.push_back(rows);
        layout.extras.push_back(kCacheMetaFile);
        for (std::int32_t v = 0; v < n_; ++v) layout.extras.push_back(PyramidFileName(v, 0));
        bool stalled = false;
        const std::uint64_t need = std::uint64_t(rows) * std::uint64_t(n_) * 9;
        if (!writer_.Begin(key, layout, limit_,
                           ConvertWait(path_, options_, need, stalled, out.notes))) {
            if (fd_ >= 0) ::close(fd_);
            fd_ = -1;
            if (!writer_.GaveUp()) return Fail(Attempt::Failed, writer_.Error());
            return stalled ? Fail(Attempt::Failed, StalledWriterError(path_, options_))
                           : Attempt::Cancelled;
        }
        begun = !writer_.Finished();
        if (begun) why = Parse(rows);
    }
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    CacheKey now;
    std::string ignored;
    // A source rewritten meanwhile may have given any bytes, or a short read.
    if (why != Attempt::Cancelled && (!KeyOf(path_, now, ignored, key.reading) || !(now == key))) {
        if (begun) writer_.Abort();
        return Attempt::Changed;
    }
    if (why != Attempt::Done) {
        if (begun) writer_.Abort();
        return why;
    }
    if (begun && !writer_.Commit()) {
        const std::string error = writer_.Error();
        writer_.Abort();
        return Fail(Attempt::Failed, error);
    }
    CacheEntry::Status status;
    std::string error;
    out.entry = CacheEntry::Open(key, status, error);
    if (!out.entry)
        return Fail(Attempt::Failed,
                    error.empty() ? "The new cache entry cannot be opened." : error);
    out.status = begun ? Status::Converted : Status::AlreadyCached;
    return Attempt::Done;
}

}  // namespace

CacheConversion ConvertTextToCache(const std::string& path, const CacheConvertOptions& options,
                                   const TextConvertTuning& tuning) {
    CacheConversion out;
    std::uint64_t limit = options.limit;
    if (tuning.refused) *tuning.refused = false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        CacheKey key;
        // Raised whenever what this converter puts in an entry changes.
        if (!KeyOf(path, key, out.error, "text/2")) return out;
        if (limit == 0) {
            std::string folder;
            if (!CacheFolder(folder, out.error)) return out;
            limit = DefaultCacheLimit(folder);
        }
        TextConverter converter(path, options, tuning, limit);
        const Attempt why = converter.Run(key, out);
        if (tuning.peakBuffered) *tuning.peakBuffered = converter.Peak();
        if (why == Attempt::Refused && tuning.refused) *tuning.refused = true;
        if (EndOfAttempt(why, converter.Error(), out)) return out;
    }
    out.error = "\"" + path + "\" changed while it was converted.";
    return out;
}

}  // namespace kurvex
