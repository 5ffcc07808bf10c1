#include "data/formats/TextReader.h"

#include <algorithm>
#include <cstring>

#include "data/formats/QuotedNames.h"
#include "data/formats/TextGrammar.h"
#include "data/formats/TextReaderParallel.h"
#include "data/platform/NumberText.h"
#include "data/platform/ReloadWatch.h"

namespace kurvex {

namespace {

using text::ClassOf;
using text::IsBlockSeparator;
using text::kHeaderDigit;
using text::LineError;

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
          options_(options),
          limit_(MemoryLimit(options)) {}

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
    bool Fits(std::int64_t rows) const {
        return TooLargeForMemory(block_ + 1, std::max(longest_, rows), n_, limit_).empty();
    }
    void FailTooLarge(std::int64_t rows);
    std::int64_t EstimateRows() const;
    bool EnsureRow(std::int64_t k);
    bool ParseLine(std::string_view line, std::int32_t k);
    bool KeepGoing();

    ByteSource& source_;
    LineReader lines_;
    CResultDataRef& data_;
    std::vector<std::string>& names_;
    UserMessages& messages_;
    const TextReadOptions& options_;
    const std::uint64_t limit_;

    long long lineNo_ = 0;
    std::int32_t n_ = 0;        // tokens per line
    std::int32_t block_ = 0;    // 0 for the first block
    std::int64_t longest_ = 0;  // rows of the longest block before this one
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
    if (!Fits(k + 1)) {
        FailTooLarge(k + 1);
        return false;
    }
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

// Counts the rest of the file without keeping it, so that the refusal names
// the shape of the whole file; `rows` were read of the current block.
void Reader::FailTooLarge(std::int64_t rows) {
    std::int64_t blocks = block_ + 1;
    std::int64_t longest = longest_;
    std::string_view line;
    while (NextNonBlank(line)) {
        if (IsBlockSeparator(line)) {
            if (!NextNonBlank(line)) break;
            longest = std::max(longest, rows);
            ++blocks;
            rows = 0;
        }
        ++rows;
    }
    if (ReadError()) return;
    Fail(TooLargeForMemory(blocks, std::max(longest, rows), n_, limit_));
}

bool Reader::KeepGoing() {
    if (!options_.progress || lines_.Consumed() < nextProgress_) return true;
    nextProgress_ = lines_.Consumed() + kProgressEvery;
    return options_.progress(lines_.Consumed(), source_.Size());
}

// Parses one data line and writes it as row k of the current block.
bool Reader::ParseLine(std::string_view line, std::int32_t k) {
    bool bad = false;
    const LineError error = text::ParseTokens(
        line, n_,
        [this](std::int32_t t, double v, std::uint8_t f) {
            values_[static_cast<size_t>(t)] = v;
            flags_[static_cast<size_t>(t)] = f;
        },
        bad);
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

bool Reader::Run() {
    std::string_view line;
    if (!ReadTextHeader(source_, lines_, names_, line, lineNo_, messages_)) return false;
    n_ = static_cast<std::int32_t>(names_.size());
    firstDataOffset_ = lines_.LineStart();

    // Files of more than two chunks of data are read on all cores.
    const std::int64_t total = source_.Size();
    const auto chunk = static_cast<std::int64_t>(options_.parallelChunkBytes);
    if (chunk > 0 && source_.Positional() && total - firstDataOffset_ > 2 * chunk) {
        TextDataStart start;
        start.offset = firstDataOffset_;
        start.linesBefore = lineNo_ - 1;
        start.tokens = n_;
        start.names = names_;
        switch (ReadTextDataInParallel(source_, start, data_, names_, messages_, options_)) {
            case ParallelRead::Read:
                return true;
            case ParallelRead::Failed:
                return false;
            case ParallelRead::Fallback:
                break;
        }
    }

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

    std::int32_t k = 0;
    for (;;) {
        if (!ParseLine(line, k)) return false;
        ++k;
        if ((k & 4095) == 0 && !KeepGoing()) return false;
        if (!NextNonBlank(line)) break;
        if (!IsBlockSeparator(line)) continue;
        if (!NextNonBlank(line)) break;
        longest_ = std::max<std::int64_t>(longest_, k);
        if (block_ == 0) data_->TrimRows(static_cast<std::int32_t>(longest_));
        ++block_;
        if (!Fits(1)) {
            FailTooLarge(1);
            return false;
        }
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
    longest_ = std::max<std::int64_t>(longest_, k);
    // A file too short to grow the first estimate is weighed as the chunked reading weighs it.
    if (!Fits(longest_)) {
        Fail(TooLargeForMemory(block_ + 1, longest_, n_, limit_));
        return false;
    }

    data_->TrimRows(data_->RowCount());
    for (std::int32_t i = 0; i < data_->VariableCount(); ++i) {
        data_.SetName(i, names_[static_cast<size_t>(i)].c_str());
    }
    data_.UpdateExtents();
    const std::int32_t rows = data_->RowCount();
    data_->SetUniformX(CResultDataRef::UniformTest(data_->Variable(0)->Values(), 0, rows - 1));
    return longest_ >= 1;
}

}  // namespace

bool IsBlankLine(std::string_view line) {
    return text::IsBlank(line);
}

bool NextToken(std::string_view line, size_t& cursor, std::string_view& token) {
    while (cursor < line.size() && (ClassOf(line[cursor]) & text::kSeparator)) ++cursor;
    if (cursor >= line.size()) return false;
    const size_t start = cursor;
    while (cursor < line.size() && !(ClassOf(line[cursor]) & text::kSeparator)) ++cursor;
    token = line.substr(start, cursor - start);
    return true;
}

bool ReadTextHeader(ByteSource& source, LineReader& lines, std::vector<std::string>& names,
                    std::string_view& line, long long& lineNo, UserMessages& messages) {
    names.clear();
    lineNo = 0;
    auto next = [&]() {
        if (!lines.Next(line)) return false;
        ++lineNo;
        return true;
    };
    auto nextNonBlank = [&]() {
        while (next()) {
            if (!IsBlankLine(line)) return true;
        }
        return false;
    };
    auto fail = [&](const std::string& text) {
        messages.Show(text, MessageIcon::Stop);
        return false;
    };
    auto readError = [&]() { return lines.Failed() ? fail(source.Error()) : false; };
    // Header part: comments and blank lines up to the line that decides the kind.
    std::string_view header;
    for (;;) {
        if (!next()) return readError();
        header = TrimLeading(line);
        if (!header.empty() && header.front() != ';') break;
    }
    const bool named = IsNameLine(header);
    size_t cursor = 0;
    std::string_view token;
    if (named) {
        if (!SplitNameLine(header, names))
            return fail(Format("Invalid file. Error at line %lld.", lineNo));
    } else {
        while (NextToken(header, cursor, token))
            names.push_back(Format("T(%d)", static_cast<int>(names.size())));
    }
    if (names.empty() ||
        names.size() > static_cast<size_t>(std::numeric_limits<std::int32_t>::max()))
        return fail(Format("Invalid file. Error at line %lld.", lineNo));
    if (!named) {
        if (!lines.Rewind()) return fail(source.Error());
        lineNo = 0;
    }
    if (!nextNonBlank()) return readError();
    return true;
}

bool ReadTextResult(ByteSource& source, CResultDataRef& data, std::vector<std::string>& names,
                    UserMessages& messages, const TextReadOptions& options) {
    Reader reader(source, data, names, messages, options);
    return reader.Run();
}

namespace {

// What a read said, kept until it is known whether the read stands.
class HeldMessages : public UserMessages {
public:
    void Show(const std::string& text, MessageIcon icon) override {
        shown_.emplace_back(text, icon);
    }
    void PassOn(UserMessages& to) const {
        for (const auto& [text, icon] : shown_) to.Show(text, icon);
    }

private:
    std::vector<std::pair<std::string, MessageIcon>> shown_;
};

bool ReadTextFile(const std::string& path, CResultDataRef& data, std::vector<std::string>& names,
                  UserMessages& messages, const TextReadOptions& options) {
    FileByteSource file;
    if (!file.Open(path)) {
        messages.Show(file.Error(), MessageIcon::Stop);
        return false;
    }
    return ReadTextResult(file, data, names, messages, options);
}

}  // namespace

bool ReadTextResult(const std::string& path, CResultDataRef& data, std::vector<std::string>& names,
                    UserMessages& messages, const TextReadOptions& options) {
    // A file a simulator is still appending to may end in a cut line that
    // parses ("1.2" of "1.2345"): when the file moved during the read, the
    // read does not stand and is made once more.
    const FileStamp before = StampOf(path);
    HeldMessages held;
    const bool ok = ReadTextFile(path, data, names, held, options);
    if (StampOf(path) == before) {
        held.PassOn(messages);
        return ok;
    }
    return ReadTextFile(path, data, names, messages, options);
}

}  // namespace kurvex
