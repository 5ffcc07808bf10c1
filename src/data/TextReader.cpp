#include "data/TextReader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <future>

#include "data/NumberText.h"
#include "data/QuotedNames.h"

namespace kurvex {

namespace {

enum CharClass : std::uint8_t {
    kSeparator = 1,    // space, tab, comma
    kNumberChar = 2,   // may stand in a number token
    kHeaderDigit = 4,  // may stand in a numeric first line
};

constexpr std::array<std::uint8_t, 256> MakeClasses() {
    std::array<std::uint8_t, 256> t{};
    t[' '] |= kSeparator | kHeaderDigit;
    t['\t'] |= kSeparator | kHeaderDigit;
    t[','] |= kSeparator;
    for (char c = '0'; c <= '9'; ++c)
        t[static_cast<unsigned char>(c)] |= kNumberChar | kHeaderDigit;
    for (char c : {'.', '+', '-', 'e', 'E'})
        t[static_cast<unsigned char>(c)] |= kNumberChar | kHeaderDigit;
    t['d'] |= kNumberChar;
    t['D'] |= kNumberChar;
    return t;
}
constexpr std::array<std::uint8_t, 256> kClass = MakeClasses();

inline std::uint8_t ClassOf(char c) {
    return kClass[static_cast<unsigned char>(c)];
}

constexpr std::string_view kBlockSeparator = "__________";

bool IsBlockSeparator(std::string_view line) {
    return line.substr(0, 10) == kBlockSeparator;
}

std::string_view TrimLeading(std::string_view line) {
    size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    return line.substr(i);
}

bool IsNameLine(std::string_view line) {
    for (char c : line) {
        if (!(ClassOf(c) & kHeaderDigit)) return true;
    }
    return false;
}

// The numeric prefix of a marker token such as "1.#INF".
double LeadingNumber(std::string_view token) {
    size_t i = 0;
    while (i < token.size() && (ClassOf(token[i]) & kNumberChar)) ++i;
    return ParseDecimal(token.data(), token.data() + i);
}

enum class LineError { None, TooFewTokens, BadToken };

// Classifies the first n tokens of a data line into values and flags; `bad`
// is set when a marker or an unusable number was met.
LineError ParseTokens(std::string_view line, std::int32_t n, double* values, std::uint8_t* flags,
                      bool& bad) {
    const char* p = line.data();
    const char* const e = p + line.size();
    for (std::int32_t t = 0; t < n; ++t) {
        while (p < e && (ClassOf(*p) & kSeparator)) ++p;
        if (p == e) return LineError::TooFewTokens;
        const char* s = p;
        const char* stop = nullptr;
        if (ParseSimpleDecimal(p, e, values[t], stop) &&
            (stop == e || (ClassOf(*stop) & kSeparator))) {
            p = stop;
            flags[t] = kPointValid;
            continue;
        }
        std::uint8_t all = kNumberChar;
        while (p < e && !(ClassOf(*p) & kSeparator)) {
            all &= ClassOf(*p);
            ++p;
        }
        const std::string_view token(s, static_cast<size_t>(p - s));
        if (all) {
            values[t] = ParseDecimal(s, p);
            // An overflowing number would wreck every extent: keep it out of
            // the valid samples.
            if (std::isfinite(values[t])) {
                flags[t] = kPointValid;
            } else {
                flags[t] = kPointInvalid;
                bad = true;
            }
            continue;
        }
        if (token.find("#INF") != std::string_view::npos ||
            token.find("NAN") != std::string_view::npos) {
            flags[t] = kPointInvalid;
        } else if (token.find("MISSING") != std::string_view::npos) {
            flags[t] = kPointMissing;
        } else {
            return LineError::BadToken;
        }
        values[t] = LeadingNumber(token);
        bad = true;
    }
    return LineError::None;
}

// The rows of a run of complete data lines of the first block, parsed on
// their own so that two threads can share the work.
struct Chunk {
    std::string text;
    std::vector<std::vector<double>> values;  // one column per variable
    std::vector<std::vector<std::uint8_t>> flags;
    std::int32_t rows = 0;
    long long lines = 0;  // physical lines, blank ones included
    bool bad = false;
    LineError error = LineError::None;
    long long errorLine = 0;  // 1-based within the chunk
};

void ParseChunk(Chunk& c, std::int32_t n) {
    c.rows = 0;
    c.lines = 0;
    c.bad = false;
    c.error = LineError::None;
    // Columns keep their storage from chunk to chunk, sized on the calling
    // thread for the most rows the text can hold (a token and a separator per
    // sample); pages a chunk does not fill are never touched.
    c.values.resize(static_cast<size_t>(n));
    c.flags.resize(static_cast<size_t>(n));
    for (auto& v : c.values) v.clear();
    for (auto& f : c.flags) f.clear();
    std::vector<double> values(static_cast<size_t>(n));
    std::vector<std::uint8_t> flags(static_cast<size_t>(n));
    const char* p = c.text.data();
    const char* const e = p + c.text.size();
    while (p < e) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(e - p)));
        const char* end = nl ? nl : e;
        std::string_view line(p, static_cast<size_t>(end - p));
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        p = nl ? nl + 1 : e;
        ++c.lines;
        if (IsBlankLine(line)) continue;
        const LineError error = ParseTokens(line, n, values.data(), flags.data(), c.bad);
        if (error != LineError::None) {
            c.error = error;
            c.errorLine = c.lines;
            return;
        }
        for (size_t j = 0; j < static_cast<size_t>(n); ++j) {
            c.values[j].push_back(values[j]);
            c.flags[j].push_back(flags[j]);
        }
        ++c.rows;
    }
}

constexpr std::int64_t kProgressEvery = 8 << 20;

class Reader {
public:
    Reader(ByteSource& source, CResultDataRef& data, std::vector<std::string>& names,
           UserMessages& messages, const TextReadOptions& options)
        : source_(source),
          lines_(source),
          data_(data),
          names_(names),
          messages_(messages),
          options_(options) {}

    bool Run();

private:
    bool NextLine(std::string_view& line) {
        if (!lines_.Next(line)) return false;
        ++lineNo_;
        return true;
    }
    bool NextNonBlank(std::string_view& line) {
        while (NextLine(line)) {
            if (!IsBlankLine(line)) return true;
        }
        return false;
    }
    void Fail(const std::string& text) { messages_.Show(text, MessageIcon::Stop); }
    void FailAt(long long line) { Fail(Format("Invalid file. Error at line %lld.", line)); }
    // Reports a bad line whose row index in its block is k.
    void FailLine(LineError error, long long line, std::int64_t k) {
        if (error == LineError::BadToken && k < 2)
            Fail("Invalid file");
        else
            FailAt(line);
    }
    bool ReadError() {
        if (!lines_.Failed()) return false;
        Fail(source_.Error());
        return true;
    }
    void FailMemory() { Fail("Not enough memory to read the file."); }
    std::int64_t EstimateRows() const;
    bool EnsureRow(std::int64_t k);
    bool ParseLine(std::string_view line, std::int32_t k);
    bool KeepGoing();
    bool TakeChunk(Chunk& chunk);
    bool Commit(const Chunk& chunk, std::int32_t& k);
    bool ReadInParallel(std::int32_t& k);

    ByteSource& source_;
    LineReader lines_;
    CResultDataRef& data_;
    std::vector<std::string>& names_;
    UserMessages& messages_;
    const TextReadOptions& options_;

    long long lineNo_ = 0;
    std::int32_t n_ = 0;      // tokens per line
    std::int32_t block_ = 0;  // 0 for the first block
    std::int64_t firstDataOffset_ = 0;
    std::int64_t nextProgress_ = kProgressEvery;
    std::vector<double> values_;
    std::vector<std::uint8_t> flags_;
};

std::int64_t Reader::EstimateRows() const {
    // Average the line length over what is already buffered instead of
    // trusting the first line alone: a short first line would otherwise ask
    // for many times the rows the file holds, and a long one for too few.
    const std::string_view ahead = lines_.Buffered();
    const std::int64_t linesAhead = std::count(ahead.begin(), ahead.end(), '\n');
    const std::int64_t total = source_.Size();
    if (linesAhead == 0 || total < 0) return linesAhead + 1;
    const std::int64_t remaining = total - lines_.Consumed();
    if (remaining <= static_cast<std::int64_t>(ahead.size())) return linesAhead + 2;
    const double perLine = static_cast<double>(ahead.size()) / static_cast<double>(linesAhead);
    return 1 + static_cast<std::int64_t>(static_cast<double>(remaining) / perLine);
}

// Makes room for row k, refusing rows past the 32-bit limit.
bool Reader::EnsureRow(std::int64_t k) {
    if (k >= options_.maxRows) {
        Fail(Format("The file holds more rows than can be read (at most %lld).",
                    static_cast<long long>(options_.maxRows)));
        return false;
    }
    CResultData* d = data_.Get();
    if (k < d->RowCapacity()) return true;
    const std::int64_t capacity = d->RowCapacity();
    std::int64_t want = capacity + capacity / 4 + 100;
    const std::int64_t total = source_.Size();
    if (block_ == 0 && total > 0 && k > 0) {
        // Re-estimate from what the rows so far have cost in bytes.
        const double perRow =
            static_cast<double>(lines_.Consumed() - firstDataOffset_) / static_cast<double>(k);
        const auto remaining =
            static_cast<std::int64_t>(static_cast<double>(total - lines_.Consumed()) / perRow);
        want = std::max(want, k + remaining + remaining / 16 + 100);
    }
    want = std::min(std::max<std::int64_t>(want, k + 1), options_.maxRows);
    if (d->ResizeRows(static_cast<std::int32_t>(want))) return true;
    FailMemory();
    return false;
}

bool Reader::KeepGoing() {
    if (!options_.progress || lines_.Consumed() < nextProgress_) return true;
    nextProgress_ = lines_.Consumed() + kProgressEvery;
    return options_.progress(lines_.Consumed(), source_.Size());
}

// Parses one data line and writes it as row k of the current block.
bool Reader::ParseLine(std::string_view line, std::int32_t k) {
    bool bad = false;
    const LineError error = ParseTokens(line, n_, values_.data(), flags_.data(), bad);
    if (error != LineError::None) {
        FailLine(error, lineNo_, k);
        return false;
    }
    if (bad) data_->SetBadPoints(1);
    if (!EnsureRow(k)) return false;
    if (block_ == 0) return data_->SetRowLocked(k, values_.data(), flags_.data(), 0, n_);
    if (n_ == 1) return true;  // later blocks of a one-column file add nothing
    return data_->SetRowLocked(k, values_.data() + 1, flags_.data() + 1, (n_ - 1) * block_ + 1,
                               n_ - 1);
}

// Takes the next run of whole lines into `chunk`; false when the lines ahead
// must be read one by one (a block separator among them, a line longer than
// a chunk, or the end of the file).
bool Reader::TakeChunk(Chunk& chunk) {
    const size_t size = options_.parallelChunkBytes;
    std::string_view ahead = lines_.Peek(size);
    if (ahead.empty()) return false;
    std::string_view take = ahead.substr(0, size);
    if (take.size() < ahead.size() || !lines_.Exhausted()) {
        const size_t lastNewline = take.rfind('\n');
        if (lastNewline == std::string_view::npos) return false;
        take = take.substr(0, lastNewline + 1);
    }
    if (take.substr(0, kBlockSeparator.size()) == kBlockSeparator ||
        take.find("\n__________") != std::string_view::npos)
        return false;
    chunk.text.assign(take);
    lines_.Skip(take.size());
    const size_t most = take.size() / (2 * static_cast<size_t>(n_)) + 1;
    chunk.values.resize(static_cast<size_t>(n_));
    chunk.flags.resize(static_cast<size_t>(n_));
    for (auto& v : chunk.values) v.reserve(most);
    for (auto& f : chunk.flags) f.reserve(most);
    return true;
}

// Appends a parsed chunk's rows to the first block, or reports its error as
// the line-by-line reading would have.
bool Reader::Commit(const Chunk& chunk, std::int32_t& k) {
    const std::int64_t end = static_cast<std::int64_t>(k) + chunk.rows;
    if (chunk.rows > 0 && !EnsureRow(end - 1)) return false;
    if (chunk.error != LineError::None) {
        FailLine(chunk.error, lineNo_ + chunk.errorLine, end);
        return false;
    }
    std::vector<const double*> values;
    std::vector<const std::uint8_t*> flags;
    for (std::int32_t j = 0; j < n_; ++j) {
        values.push_back(chunk.values[static_cast<size_t>(j)].data());
        flags.push_back(chunk.flags[static_cast<size_t>(j)].data());
    }
    if (!data_->SetColumnsLocked(k, chunk.rows, 0, values, flags)) return false;
    if (chunk.bad) data_->SetBadPoints(1);
    k = static_cast<std::int32_t>(end);
    lineNo_ += chunk.lines;
    return true;
}

// Reads as much of the first block as it can in chunks, two at a time on two
// threads; leaves the rest (from a block separator on) to the caller.
bool Reader::ReadInParallel(std::int32_t& k) {
    try {
        Chunk a, b;
        for (;;) {
            if (!KeepGoing()) return false;
            if (!TakeChunk(a)) return true;
            auto first = std::async(std::launch::async, ParseChunk, std::ref(a), n_);
            const bool second = TakeChunk(b);
            if (second) ParseChunk(b, n_);
            first.get();
            if (!Commit(a, k)) return false;
            if (!second) return true;
            if (!Commit(b, k)) return false;
        }
    } catch (const std::exception&) {
        FailMemory();
        return false;
    }
}

bool Reader::Run() {
    names_.clear();
    std::string_view line;
    // Header part: comments and blank lines up to the line that decides the kind.
    std::string_view header;
    for (;;) {
        if (!NextLine(line)) {
            ReadError();
            return false;
        }
        header = TrimLeading(line);
        if (!header.empty() && header.front() != ';') break;
    }
    const bool named = IsNameLine(header);
    size_t cursor = 0;
    std::string_view token;
    if (named) {
        if (!SplitNameLine(header, names_)) {
            FailAt(lineNo_);
            return false;
        }
    } else {
        while (NextToken(header, cursor, token))
            names_.push_back(Format("T(%d)", static_cast<int>(names_.size())));
    }
    if (names_.empty() ||
        names_.size() > static_cast<size_t>(std::numeric_limits<std::int32_t>::max())) {
        FailAt(lineNo_);
        return false;
    }
    n_ = static_cast<std::int32_t>(names_.size());
    if (!named) {
        if (!lines_.Rewind()) {
            Fail(source_.Error());
            return false;
        }
        lineNo_ = 0;
    }
    if (!NextNonBlank(line)) {
        ReadError();
        return false;
    }
    firstDataOffset_ = lines_.Consumed() - static_cast<std::int64_t>(line.size()) - 1;

    const std::int64_t estimate = std::min<std::int64_t>(EstimateRows(), options_.maxRows);
    const std::int64_t capacity =
        std::min<std::int64_t>(estimate + 100, std::numeric_limits<std::int32_t>::max());
    if (!data_.Initialise(kDataSetPlain, n_, static_cast<std::int32_t>(capacity), 100)) {
        FailMemory();
        return false;
    }
    values_.assign(static_cast<size_t>(n_), 0.0);
    flags_.assign(static_cast<size_t>(n_), kPointMissing);
    // Nobody else can see this data set yet; one lock for the whole load keeps
    // the per-row locking cheap.
    std::lock_guard<std::recursive_mutex> hold(data_->Lock());

    // Two threads are worth starting only when there is more than a chunk to read.
    const std::int64_t total = source_.Size();
    const auto chunk = static_cast<std::int64_t>(options_.parallelChunkBytes);
    bool parallel = chunk > 0 && (total < 0 || total - lines_.Consumed() > 2 * chunk);

    std::int32_t k = 0;
    std::int32_t longest = 0;
    for (;;) {
        if (!ParseLine(line, k)) return false;
        ++k;
        if (parallel) {
            parallel = false;
            if (!ReadInParallel(k)) return false;
        }
        if ((k & 4095) == 0 && !KeepGoing()) return false;
        if (!NextNonBlank(line)) break;
        if (!IsBlockSeparator(line)) continue;
        if (!NextNonBlank(line)) break;
        longest = std::max(longest, k);
        if (block_ == 0) data_->TrimRows(longest);
        ++block_;
        const std::int64_t count = 1 + static_cast<std::int64_t>(n_ - 1) * (block_ + 1);
        if (count > std::numeric_limits<std::int32_t>::max() ||
            !data_->ResizeVariables(static_cast<std::int32_t>(count))) {
            FailMemory();
            return false;
        }
        for (std::int32_t j = 1; j < n_; ++j) {
            names_.push_back(Format("%s_(%i)", names_[static_cast<size_t>(j)].c_str(), block_));
        }
        k = 0;
    }
    if (ReadError()) return false;
    longest = std::max(longest, k);

    data_->TrimRows(data_->RowCount());
    for (std::int32_t i = 0; i < data_->VariableCount(); ++i) {
        data_.SetName(i, names_[static_cast<size_t>(i)].c_str());
    }
    data_.UpdateExtents();
    const std::int32_t rows = data_->RowCount();
    data_->SetUniformX(CResultDataRef::UniformTest(data_->Variable(0)->Values(), 0, rows - 1));
    return longest >= 1;
}

}  // namespace

bool IsBlankLine(std::string_view line) {
    for (char c : line) {
        if (c != ' ' && c != '\t') return false;
    }
    return true;
}

bool NextToken(std::string_view line, size_t& cursor, std::string_view& token) {
    while (cursor < line.size() && (ClassOf(line[cursor]) & kSeparator)) ++cursor;
    if (cursor >= line.size()) return false;
    const size_t start = cursor;
    while (cursor < line.size() && !(ClassOf(line[cursor]) & kSeparator)) ++cursor;
    token = line.substr(start, cursor - start);
    return true;
}

bool ReadTextResult(ByteSource& source, CResultDataRef& data, std::vector<std::string>& names,
                    UserMessages& messages, const TextReadOptions& options) {
    Reader reader(source, data, names, messages, options);
    return reader.Run();
}

bool ReadTextResult(const std::string& path, CResultDataRef& data, std::vector<std::string>& names,
                    UserMessages& messages, const TextReadOptions& options) {
    FileByteSource file;
    if (!file.Open(path)) {
        messages.Show(file.Error(), MessageIcon::Stop);
        return false;
    }
    return ReadTextResult(file, data, names, messages, options);
}

}  // namespace kurvex
