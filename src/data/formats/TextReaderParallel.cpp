#include "data/formats/TextReaderParallel.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <memory>
#include <mutex>

#include "data/formats/TextGrammar.h"
#include "data/platform/NumberText.h"
#include "data/platform/SampleMemory.h"
#include "data/platform/Workers.h"

namespace kurvex {

namespace {

using text::LineError;

// Read by the boundary search a window at a time.
constexpr std::int64_t kWindow = 64 << 10;
constexpr std::int64_t kProgressEvery = 8 << 20;

// One run of whole lines of the data part. Chunks begin after a line that is
// neither blank nor a block separator, so that no chunk begins in the middle
// of a separator's effect: only the first chunk begins with a line that is
// data whatever it looks like.
struct Chunk {
    std::int64_t begin = 0;
    std::int64_t end = 0;

    // What the count found.
    long long lines = 0;  // physical lines
    // Data lines per block: rows[0] continues the block open at the start,
    // every further entry is a block begun by a separator inside the chunk.
    std::vector<std::int64_t> rows;
    bool endsAfterSeparator = false;  // a separator with no data line after it
    bool lastLineNormal = false;      // neither blank nor a separator

    // Where the chunks before leave it.
    long long linesBefore = 0;
    std::int32_t block = 0;
    std::int64_t row = 0;  // row in `block` of its first data line

    // What the parse found.
    bool bad = false;  // a marker or an overflowing number
    LineError error = LineError::None;
    long long errorLine = 0;    // 1-based within the file
    std::int64_t errorRow = 0;  // row in its block of the faulty line
};

// A worker's copy of the bytes of one chunk.
class ChunkBytes {
public:
    // The bytes of [begin, end); false when the source gave fewer (it shrank)
    // or failed.
    bool Read(const ByteSource& source, std::int64_t begin, std::int64_t end) {
        const auto size = static_cast<size_t>(end - begin);
        if (size > capacity_) {
            data_.reset(new char[size + text::kScanPadding]);
            capacity_ = size;
        }
        size_ = size;
        std::memset(data_.get() + size, 0, text::kScanPadding);
        return source.ReadAt(begin, data_.get(), end - begin) == end - begin;
    }
    const char* begin() const { return data_.get(); }
    const char* end() const { return data_.get() + size_; }

private:
    std::unique_ptr<char[]> data_;
    size_t capacity_ = 0;
    size_t size_ = 0;
};

// The start of the line after the first whole line that begins at or after
// `from` and is neither blank nor a block separator; `end` when there is
// none. Reads forward a window at a time, so a long line costs no memory.
// False when the source failed or gave fewer bytes than it claimed.
bool FindBoundary(const ByteSource& source, std::int64_t from, std::int64_t end,
                  std::vector<char>& window, std::int64_t& boundary) {
    window.resize(static_cast<size_t>(kWindow));
    enum class Mode { SeekLine, Classify, SeekEnd } mode = Mode::SeekLine;
    int underscores = 0;     // leading underscores so far; -1 once another byte came
    bool blank = true;       // nothing but spaces and tabs so far
    bool pendingCr = false;  // a CR that ends the line if LF follows
    // Byte from - 1 says whether `from` begins a line.
    for (std::int64_t at = from - 1; at < end;) {
        const std::int64_t want = std::min<std::int64_t>(kWindow, end - at);
        if (source.ReadAt(at, window.data(), want) != want) return false;
        const char* const base = window.data();
        const char* p = base;
        const char* const e = base + want;
        while (p < e) {
            if (mode != Mode::Classify) {
                const auto* nl = static_cast<const char*>(std::memchr(p, '\n', e - p));
                if (!nl) break;
                p = nl + 1;
                if (mode == Mode::SeekEnd) {
                    boundary = at + (p - base);
                    return true;
                }
                mode = Mode::Classify;
                underscores = 0;
                blank = true;
                pendingCr = false;
                continue;
            }
            const char c = *p++;
            if (c == '\n') {
                if (!blank && underscores != 10) {
                    boundary = at + (p - base);
                    return true;
                }
                underscores = 0;
                blank = true;
                pendingCr = false;
                continue;
            }
            if (pendingCr) {
                // The CR was inside the line after all.
                pendingCr = false;
                blank = false;
                underscores = -1;
            }
            if (c == '\r') {
                pendingCr = true;
                continue;
            }
            if (underscores >= 0) underscores = c == '_' ? underscores + 1 : -1;
            if (c != ' ' && c != '\t') blank = false;
            if (underscores == 10)
                mode = Mode::SeekLine;  // a separator: try the next line
            else if (!blank && underscores < 0)
                mode = Mode::SeekEnd;  // a normal line: its end is the boundary
        }
        at += want;
    }
    boundary = end;
    return true;
}

class ParallelReader {
public:
    ParallelReader(const ByteSource& source, const TextDataStart& start, UserMessages& messages,
                   const TextReadOptions& options)
        : source_(source), start_(start), messages_(messages), options_(options) {}

    ParallelRead Run(CResultDataRef& data, std::vector<std::string>& names);

private:
    bool Plan();
    void Count(Chunk& c, ChunkBytes& bytes);
    void Parse(Chunk& c, ChunkBytes& bytes);
    bool Join();
    // Runs `task` over every chunk on all workers; false when cancelled.
    template <class Task>
    bool ForEachChunk(Task task, std::int64_t progressBase);
    void Fail(const std::string& text) { messages_.Show(text, MessageIcon::Stop); }

    const ByteSource& source_;
    const TextDataStart& start_;
    UserMessages& messages_;
    const TextReadOptions& options_;
    std::int32_t n_ = 0;
    int workers_ = 1;
    std::int64_t end_ = 0;
    std::vector<Chunk> chunks_;
    std::vector<std::int64_t> blockRows_;
    std::int64_t rows_ = 0;
    std::vector<CResultVariable*> columns_;  // of the data set being filled
    std::string tooLarge_;                   // why the counted file does not fit

    std::atomic<bool> changed_{false};  // the bytes are not those first seen, or no memory
    std::atomic<std::int64_t> firstFault_{std::numeric_limits<std::int64_t>::max()};
    std::atomic<std::int64_t> done_{0};
};

bool ParallelReader::Plan() {
    const auto chunk = static_cast<std::int64_t>(options_.parallelChunkBytes);
    std::vector<char> window;
    std::int64_t begin = start_.offset;
    while (begin < end_) {
        std::int64_t boundary = end_;
        if (end_ - begin > chunk && !FindBoundary(source_, begin + chunk, end_, window, boundary))
            return false;
        Chunk& c = chunks_.emplace_back();
        c.begin = begin;
        c.end = boundary;
        begin = boundary;
    }
    return !chunks_.empty();
}

void ParallelReader::Count(Chunk& c, ChunkBytes& bytes) {
    if (!bytes.Read(source_, c.begin, c.end)) {
        changed_ = true;
        return;
    }
    const bool first = &c == &chunks_.front();
    bool forced = first;  // the first data line is data whatever it looks like
    c.rows.assign(1, 0);
    text::LineScanner lines(bytes.begin(), bytes.end());
    std::string_view line;
    while (lines.Next(line)) {
        ++c.lines;
        if (text::IsBlank(line)) {
            c.lastLineNormal = false;
            continue;
        }
        const bool separator = text::IsBlockSeparator(line);
        c.lastLineNormal = !separator;
        if (!forced && separator) {
            // The next non-blank line is data, whatever it looks like.
            forced = true;
            c.endsAfterSeparator = true;
            c.rows.push_back(0);
            continue;
        }
        forced = false;
        c.endsAfterSeparator = false;
        ++c.rows.back();
    }
}

bool ParallelReader::Join() {
    long long lines = start_.linesBefore;
    std::int32_t block = 0;
    std::int64_t row = 0;
    blockRows_.assign(1, 0);
    for (size_t i = 0; i < chunks_.size(); ++i) {
        Chunk& c = chunks_[i];
        // Chunks were cut after a normal line; anything else means the bytes
        // moved since.
        if (i + 1 < chunks_.size() && !c.lastLineNormal) return false;
        if (i + 1 < chunks_.size() && c.endsAfterSeparator) return false;
        c.linesBefore = lines;
        c.block = block;
        c.row = row;
        for (size_t j = 0; j < c.rows.size(); ++j) {
            if (j > 0) {
                ++block;
                blockRows_.push_back(0);
                row = 0;
            }
            row += c.rows[j];
            blockRows_.back() += c.rows[j];
        }
        lines += c.lines;
    }
    // A separator at the very end begins no block.
    if (chunks_.back().endsAfterSeparator) blockRows_.pop_back();
    const std::int64_t longest = *std::max_element(blockRows_.begin(), blockRows_.end());
    // The line-by-line reading refuses such files at the very line: leave it to it.
    if (longest > options_.maxRows || longest > std::numeric_limits<std::int32_t>::max())
        return false;
    const std::int64_t variables =
        1 + static_cast<std::int64_t>(n_ - 1) * static_cast<std::int64_t>(blockRows_.size());
    if (variables > std::numeric_limits<std::int32_t>::max()) return false;
    // Later blocks of a one-column file add no variables and write no rows.
    rows_ = n_ == 1 ? blockRows_.front() : longest;
    tooLarge_ = TooLargeForMemory(static_cast<std::int64_t>(blockRows_.size()), longest, n_,
                                  MemoryLimit(options_));
    return longest >= 1 && tooLarge_.empty();
}

void ParallelReader::Parse(Chunk& c, ChunkBytes& bytes) {
    const auto index = static_cast<std::int64_t>(&c - chunks_.data());
    if (index > firstFault_.load(std::memory_order_relaxed)) return;
    if (!bytes.Read(source_, c.begin, c.end)) {
        changed_ = true;
        return;
    }
    auto fault = [&]() {
        std::int64_t seen = firstFault_.load(std::memory_order_relaxed);
        while (index < seen && !firstFault_.compare_exchange_weak(seen, index)) {
        }
    };
    const std::int32_t n = n_;
    std::vector<double*> values(static_cast<size_t>(n));
    std::vector<std::uint8_t*> flags(static_cast<size_t>(n));
    std::int32_t firstToken = 0;
    // Points the token columns at block b's variables.
    auto aim = [&](std::int32_t b) {
        firstToken = b == 0 ? 0 : 1;
        // A separator at the very end opens no block: nothing follows to keep.
        if (b >= static_cast<std::int32_t>(blockRows_.size())) firstToken = n;
        for (std::int32_t t = firstToken; t < n; ++t) {
            const std::int64_t v = b == 0 ? t : static_cast<std::int64_t>(n - 1) * b + t;
            CResultVariable* column = columns_[static_cast<size_t>(v)];
            values[static_cast<size_t>(t)] = column->Values();
            flags[static_cast<size_t>(t)] = column->Flags();
        }
    };
    size_t segment = 0;
    std::int32_t block = c.block;
    std::int64_t row = c.row;
    std::int64_t segmentRows = 0;
    aim(block);
    bool forced = index == 0;
    long long line = c.linesBefore;
    text::LineScanner lines(bytes.begin(), bytes.end());
    std::string_view text;
    while (lines.Next(text)) {
        ++line;
        if (text::IsBlank(text)) continue;
        if (!forced && text::IsBlockSeparator(text)) {
            forced = true;
            ++segment;
            if (segment >= c.rows.size()) break;  // more blocks than counted
            ++block;
            row = 0;
            segmentRows = 0;
            aim(block);
            continue;
        }
        forced = false;
        if (segmentRows >= c.rows[segment]) {
            // More rows than counted: the file changed under us.
            changed_ = true;
            fault();
            return;
        }
        const LineError error = text::ParseTokens(
            text, n,
            [&](std::int32_t t, double v, std::uint8_t f) {
                if (t < firstToken) return;
                values[static_cast<size_t>(t)][row] = v;
                flags[static_cast<size_t>(t)][row] = f;
            },
            c.bad);
        if (error != LineError::None) {
            c.error = error;
            c.errorLine = line;
            c.errorRow = row;
            fault();
            return;
        }
        ++row;
        ++segmentRows;
    }
    if (line - c.linesBefore != c.lines || segment + 1 != c.rows.size() ||
        segmentRows != c.rows[segment]) {
        changed_ = true;
        fault();
    }
}

template <class Task>
bool ParallelReader::ForEachChunk(Task task, std::int64_t progressBase) {
    ItemCounter counter(static_cast<std::int64_t>(chunks_.size()));
    const std::int64_t total = source_.Size();
    std::int64_t nextProgress = done_.load() + kProgressEvery;  // guarded by progressLock
    std::mutex progressLock;
    std::atomic<bool> cancel{false};
    RunWorkers(workers_, [&](int) {
        ChunkBytes bytes;
        for (std::int64_t i = counter.Next(); i >= 0; i = counter.Next()) {
            Chunk& c = chunks_[static_cast<size_t>(i)];
            try {
                task(c, bytes);
            } catch (const std::exception&) {
                // Out of memory for a chunk's bytes: the line-by-line reading
                // copes or says so.
                changed_ = true;
                counter.Stop();
            }
            // Both passes together make the whole of the progress.
            const std::int64_t done =
                done_.fetch_add((c.end - c.begin) / 2) + (c.end - c.begin) / 2;
            // Whichever worker gets there reports, one at a time: a worker left
            // without chunks by the scheduler must not hold progress (and Cancel) back.
            if (options_.progress) {
                std::unique_lock<std::mutex> report(progressLock, std::try_to_lock);
                if (report.owns_lock() && done >= nextProgress && !cancel) {
                    nextProgress = done + kProgressEvery;
                    if (!options_.progress(std::min(progressBase + done, total), total)) {
                        cancel = true;
                        counter.Stop();
                    }
                }
            }
        }
    });
    return !cancel;
}

ParallelRead ParallelReader::Run(CResultDataRef& data, std::vector<std::string>& names) {
    n_ = start_.tokens;
    end_ = source_.Size();
    workers_ = WorkerCount(options_.threads);
    if (n_ < 1 || end_ <= start_.offset || !Plan()) return ParallelRead::Fallback;
    try {
        if (!ForEachChunk([this](Chunk& c, ChunkBytes& b) { Count(c, b); }, start_.offset))
            return ParallelRead::Failed;
        if (changed_) return ParallelRead::Fallback;
        if (!Join()) {
            if (tooLarge_.empty()) return ParallelRead::Fallback;
            Fail(tooLarge_);
            return ParallelRead::Failed;
        }

        const auto blocks = static_cast<std::int32_t>(blockRows_.size());
        const std::int32_t variables = 1 + (n_ - 1) * blocks;
        CResultDataRef fresh;
        if (!fresh.Initialise(kDataSetPlain, variables, static_cast<std::int32_t>(rows_), 100))
            return ParallelRead::Fallback;
        CResultData* set = fresh.Get();
        std::lock_guard<std::recursive_mutex> hold(set->Lock());
        columns_.resize(static_cast<size_t>(variables));
        std::vector<MemoryRange> fill;
        for (std::int32_t i = 0; i < variables; ++i) {
            CResultVariable* v = set->Variable(i);
            columns_[static_cast<size_t>(i)] = v;
            // Rows a shorter block leaves alone stay untouched memory.
            const std::int32_t block = i == 0 ? 0 : (i - 1) / std::max(n_ - 1, 1);
            const auto written =
                static_cast<size_t>(std::min(rows_, blockRows_[static_cast<size_t>(block)]));
            fill.push_back({v->Values(), written * sizeof(double)});
            fill.push_back({v->Flags(), written});
        }
        PrepareForWriting(fill, workers_);
        if (!ForEachChunk([this](Chunk& c, ChunkBytes& b) { Parse(c, b); }, start_.offset)) {
            data = fresh;
            return ParallelRead::Failed;
        }
        if (changed_) return ParallelRead::Fallback;
        // Reading stops at the first faulty line in the file.
        for (const Chunk& c : chunks_) {
            if (c.error == LineError::None) continue;
            data = fresh;
            if (c.error == LineError::BadToken && c.errorRow < 2)
                Fail("Invalid file");
            else
                Fail(Format("Invalid file. Error at line %lld.", c.errorLine));
            return ParallelRead::Failed;
        }

        names.assign(start_.names.begin(), start_.names.end());
        for (std::int32_t b = 1; b < blocks; ++b) {
            for (std::int32_t j = 1; j < n_; ++j)
                names.push_back(Format("%s_(%i)", start_.names[static_cast<size_t>(j)].c_str(), b));
        }
        // As C strings, as the line-by-line reading names them: a name ends at a NUL.
        for (std::int32_t i = 0; i < variables; ++i)
            fresh.SetName(i, names[static_cast<size_t>(i)].c_str());
        set->SetBadPoints(
            std::any_of(chunks_.begin(), chunks_.end(), [](const Chunk& c) { return c.bad; }));
        set->SetRowCountLocked(static_cast<std::int32_t>(rows_));
        set->UpdateExtents(workers_);
        set->SetUniformX(CResultDataRef::UniformTest(
            set->Variable(0)->Values(), 0, static_cast<std::int32_t>(rows_) - 1, workers_));
        data = fresh;
        return ParallelRead::Read;
    } catch (const std::exception&) {
        // Out of memory for the bookkeeping: the line-by-line reading copes or says so.
        return ParallelRead::Fallback;
    }
}

// 1234567 as "1,234,567".
std::string Grouped(std::int64_t n) {
    std::string digits = std::to_string(n), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string Bytes(double bytes) {
    if (bytes >= 1e9) return Format("%.1f GB", bytes / 1e9);
    if (bytes >= 1e6) return Format("%.1f MB", bytes / 1e6);
    if (bytes >= 1e3) return Format("%.1f kB", bytes / 1e3);
    return Format("%.0f bytes", bytes);
}

}  // namespace

std::uint64_t MemoryLimit(const TextReadOptions& options) {
    return options.memoryLimit ? options.memoryLimit : AvailableMemory();
}

std::string TooLargeForMemory(std::int64_t blocks, std::int64_t rows, std::int32_t tokens,
                              std::uint64_t limit) {
    // Every block adds its variables as full-length columns of a double and a flag byte.
    const double variables = 1.0 + static_cast<double>(tokens - 1) * static_cast<double>(blocks);
    const double need = variables * static_cast<double>(rows) * 9.0;
    if (need <= static_cast<double>(limit)) return {};
    return Format(
        "Not enough memory to read the file: %s block%s of %s%s rows would need %s, "
        "but %s are available.",
        Grouped(blocks).c_str(), blocks == 1 ? "" : "s", blocks == 1 ? "" : "up to ",
        Grouped(rows).c_str(), Bytes(need).c_str(), Bytes(static_cast<double>(limit)).c_str());
}

ParallelRead ReadTextDataInParallel(const ByteSource& source, const TextDataStart& start,
                                    CResultDataRef& data, std::vector<std::string>& names,
                                    UserMessages& messages, const TextReadOptions& options) {
    ParallelReader reader(source, start, messages, options);
    return reader.Run(data, names);
}

}  // namespace kurvex
