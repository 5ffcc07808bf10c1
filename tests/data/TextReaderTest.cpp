#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "data/BinaryTestSupport.h"
#include "data/formats/QuotedNames.h"
#include "data/formats/TextReader.h"
#include "data/formats/TextWriter.h"
#include "data/platform/ByteSource.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

using test::RecordingMessages;

struct Read {
    bool ok = false;
    CResultDataRef data;
    std::vector<std::string> names;
    RecordingMessages messages;
};

Read ReadText(const std::string& text, const TextReadOptions& options = {}) {
    Read r;
    MemoryByteSource source(text);
    r.ok = ReadTextResult(source, r.data, r.names, r.messages, options);
    return r;
}

void ReadPath(const std::string& path, Read& r, const TextReadOptions& options = {}) {
    r.ok = ReadTextResult(path, r.data, r.names, r.messages, options);
}

TextReadOptions LineByLine() {
    TextReadOptions o;
    o.parallelChunkBytes = 0;
    return o;
}

// Everything a read leaves behind must agree: the outcome and the messages,
// and after a good read every name, sample, flag, extent, flag of the data
// set and the memory it keeps.
void ExpectSameRead(const Read& want, const Read& got) {
    ASSERT_EQ(got.ok, want.ok);
    ASSERT_EQ(got.messages.shown, want.messages.shown);
    if (!want.ok) return;
    ASSERT_EQ(got.names, want.names);
    const CResultData* a = want.data.Get();
    const CResultData* b = got.data.Get();
    ASSERT_EQ(b->VariableCount(), a->VariableCount());
    ASSERT_EQ(b->RowCount(), a->RowCount());
    EXPECT_EQ(b->RowCapacity(), a->RowCapacity());
    EXPECT_EQ(b->BadPoints(), a->BadPoints());
    EXPECT_EQ(b->UniformX(), a->UniformX());
    const auto rows = static_cast<size_t>(a->RowCount());
    for (std::int32_t i = 0; i < a->VariableCount(); ++i) {
        const CResultVariable* x = a->Variable(i);
        const CResultVariable* y = b->Variable(i);
        ASSERT_EQ(y->Name(), x->Name()) << i;
        EXPECT_TRUE(test::SameBits(y->Min(), x->Min()) && test::SameBits(y->Max(), x->Max())) << i;
        ASSERT_EQ(std::memcmp(y->Flags(), x->Flags(), rows), 0) << "flags of " << i;
        ASSERT_EQ(std::memcmp(y->Values(), x->Values(), rows * sizeof(double)), 0)
            << "values of " << i;
    }
}

// Reads `text` line by line, then in chunks of several sizes on several
// threads; each chunked read must match the line-by-line one, which it gives.
Read ReadBothWays(const std::string& text, TextReadOptions base = {}) {
    base.parallelChunkBytes = 0;
    const Read r = ReadText(text, base);
    for (size_t chunk : {1, 7, 64}) {
        for (int threads : {1, 3}) {
            SCOPED_TRACE(testing::Message() << "chunk " << chunk << ", threads " << threads);
            TextReadOptions o = base;
            o.parallelChunkBytes = chunk;
            o.threads = threads;
            ExpectSameRead(r, ReadText(text, o));
        }
    }
    return r;
}

std::string OnlyMessage(const Read& r) {
    EXPECT_EQ(r.messages.shown.size(), 1u);
    if (r.messages.shown.empty()) return {};
    EXPECT_EQ(r.messages.shown[0].second, MessageIcon::Stop);
    return r.messages.shown[0].first;
}

TEST(TextReader, NameLineGivesNamesAndRows) {
    const Read r = ReadBothWays("; a comment\n\nTime Va,Vb\r\n0 1 2\r\n1e-3, 3\t4\n");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.names, (std::vector<std::string>{"Time", "Va", "Vb"}));
    EXPECT_EQ(test::Names(r.data), r.names);
    EXPECT_EQ(test::Samples(r.data, 0), (std::vector<double>{0, 1e-3}));
    EXPECT_EQ(test::Samples(r.data, 2), (std::vector<double>{2, 4}));
    EXPECT_TRUE(r.messages.shown.empty());
}

TEST(TextReader, NumericFirstLineNamesVariablesByIndexAndIsData) {
    const Read r = ReadBothWays("0 1 2\n1 3 4\n2 5 6\n");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.names, (std::vector<std::string>{"T(0)", "T(1)", "T(2)"}));
    EXPECT_EQ(test::Samples(r.data, 1), (std::vector<double>{1, 3, 5}));

    // Commas make a name line, even of numbers.
    const Read c = ReadBothWays("1,2,3\n4 5 6\n");
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(c.names, (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(test::Samples(c.data, 0), std::vector<double>{4});
}

TEST(TextReader, TokensBecomeValuesAndFlags) {
    struct Case {
        const char* token;
        std::uint8_t flag;
        double value;  // what is stored, also for markers
    };
    const Case cases[] = {
        {"1.5D+02", kPointValid, 150.0},
        {"-9.999999833E+01", kPointValid, -99.99999833},
        {"1.234567890E-20", kPointValid, 1.23456789e-20},  // past the exact powers
        {"-0.000000000E+00", kPointValid, -0.0},
        {"123456789012345678901", kPointValid, 1.2345678901234568e20},
        {"1.#INF", kPointInvalid, 1.0},  // the leading numeric part
        {"-1.#IND0NAN", kPointInvalid, -1.0},
        {"NAN", kPointInvalid, 0.0},
        {"MISSING", kPointMissing, 0.0},
        {"1e999", kPointInvalid, HUGE_VAL},  // would wreck every extent
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.token);
        const Read r = ReadBothWays(std::string("X A\n0 ") + c.token + "\n1 2\n");
        ASSERT_TRUE(r.ok);
        const CResultVariable* a = r.data->Variable(1);
        EXPECT_EQ(a->Flags()[0], c.flag);
        EXPECT_TRUE(test::SameBits(a->Values()[0], c.value)) << a->Values()[0];
        EXPECT_EQ(r.data->BadPoints(), c.flag == kPointValid ? 0 : 1);
        // Extents come from valid samples only.
        EXPECT_EQ(a->Max(), c.flag == kPointValid ? std::max(c.value, 2.0) : 2.0);
    }
}

TEST(TextReader, RefusalsNameTheLineWhenTheRowAllowsIt) {
    std::string wide = "Time";
    for (int i = 1; i < 50000; ++i) wide += " V" + std::to_string(i);
    const struct {
        std::string text;
        const char* message;
    } cases[] = {
        {"; c\nT V\n0 abc\n0 1\n0 1\n", "Invalid file"},  // a bad token in row 0
        {"; c\nT V\n0 1\n0 abc\n0 1\n", "Invalid file"},  // or in row 1
        {"; c\nT V\n\n0 1\n0 1\n0 abc\n", "Invalid file. Error at line 6."},
        {"T V\n0 1\n0 1\n__________\n0 1\n0 x\n", "Invalid file"},  // row 1 of block 1
        {"T V W\n0 1\n", "Invalid file. Error at line 2."},         // too few, even in row 0
        {"X A\n1 nan\n", "Invalid file"},                           // markers are case-sensitive
        {"Time V\n0 1\n __________\n0 2\n", "Invalid file"},        // not in the first column
        {"; comment\n0 1\n1 2\n", "Invalid file"},  // a headerless file starts again at line 1
        {"0 1\n\n1 2\n2 3\n\n3\n", "Invalid file. Error at line 6."},  // every line counts
        {wide + "\n1\n", "Invalid file. Error at line 2."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        const Read r = ReadBothWays(c.text);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(OnlyMessage(r), c.message);
    }
    // Tokens after the last variable's are ignored.
    const Read extra = ReadBothWays("T V\n0 1 junk\n");
    EXPECT_TRUE(extra.ok);
}

TEST(TextReader, BlocksAddSuffixedVariablesSharingX) {
    const Read r =
        ReadBothWays("Time V\n0 1\n1 2\n2 3\n__________ block 2\n\n0 10\n1 20\n2 30\n3 40\n4 50\n");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.names, (std::vector<std::string>{"Time", "V", "V_(1)"}));
    EXPECT_EQ(test::Samples(r.data, 2), (std::vector<double>{10, 20, 30, 40, 50}));
    for (int v : {0, 1})
        EXPECT_EQ(test::Flags(r.data, v), (std::vector<std::uint8_t>{1, 1, 1, 0, 0}));
    EXPECT_EQ(r.data->Variable(0)->Max(), 2.0);

    // A one-column file keeps its first block's rows; later blocks add nothing.
    const Read one = ReadBothWays("T\n1\n2\n__________\n5\n6\n7\n");
    ASSERT_TRUE(one.ok);
    EXPECT_EQ(one.data->VariableCount(), 1);
    EXPECT_EQ(one.data->RowCount(), 2);
}

// Two rows make one step; X left missing past a shorter block makes none.
TEST(TextReader, EqualSpacingLooksAtEveryStepOfX) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"T V\n0 1\n1 2\n", 1},
        {"T V\n0 1\n1 2\n__________\n0 5\n1 6\n", 1},
        // A longer second block leaves X missing past the first: no step there.
        {"T V\n0 1\n1 2\n__________\n0 5\n1 6\n2 7\n", 0},
    };
    for (const auto& [text, uniform] : cases) {
        const Read r = ReadBothWays(text);
        ASSERT_TRUE(r.ok) << text;
        EXPECT_EQ(r.data->UniformX(), uniform) << text;
    }
}

TEST(TextReader, ManyShortBlocksKeepMemoryInProportion) {
    std::string text = "T A B\n";
    for (int b = 0; b < 200; ++b) text += "0 1 2\n1 2 3\n__________\n";
    text += "0 1 2\n";
    const Read r = ReadBothWays(text);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.data->VariableCount(), 1 + 2 * 201);
    EXPECT_EQ(r.data->RowCount(), 2);
    EXPECT_LE(r.data->RowCapacity(), 2);
}

TEST(TextReader, NoDataMeansFalseWithoutMessage) {
    for (const char* text :
         {"", "; only\n", "Time V\n", "Time V\n\n  \t\n", "\n\n", "T V\r\n\r\n"}) {
        const Read r = ReadBothWays(text);
        EXPECT_FALSE(r.ok) << text;
        EXPECT_TRUE(r.messages.shown.empty()) << text;
    }
}

// Row and memory limits refuse what exceeds them (blocks by their shape), a
// faulty line at the row limit is reported as such, and what fits reads.
TEST(TextReader, LimitsRefuseWhatExceedsThem) {
    // Uneven blocks: the longest is the second; every block makes 1,000-row columns.
    std::string blocks = "T V\n0 0\n__________\n";
    for (int i = 0; i < 1000; ++i) blocks += "0 " + std::to_string(i) + "\n";
    for (int b = 0; b < 299; ++b) blocks += b % 2 ? "__________\n0 1\n" : "__________\n0 1\n1 1\n";
    const std::int64_t any = std::numeric_limits<std::int32_t>::max();
    const std::string rows = "The file holds more rows than can be read (at most 3).";
    const struct {
        std::string text;
        std::int64_t maxRows;
        std::uint64_t memory;
        std::string message;  // empty: read
    } cases[] = {
        {"T V\n0 1\n1 1\n2 1\n3 1\n", 3, 0, rows},
        {"T V\n0 1\n1 1\n2 1\n3 x\n", 3, 0, "Invalid file. Error at line 5."},
        {"T V\n0 1\n__________\n0 1\n1 1\n2 1\n3 1\n", 3, 0, rows},  // in a later block
        {"T V\n0 1\n1 1\n2 1\n", 3, 0, ""},
        {blocks, any, 2'000'000,
         "Not enough memory to read the file: 301 blocks of up to 1,000 rows would need 2.7 MB, "
         "but 2.0 MB are available."},
        {blocks, any, 3'000'000, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 30));
        TextReadOptions options;
        options.maxRows = c.maxRows;
        options.memoryLimit = c.memory;
        const Read r = ReadBothWays(c.text, options);
        EXPECT_EQ(r.ok, c.message.empty());
        if (!c.message.empty()) {
            EXPECT_EQ(OnlyMessage(r), c.message);
        }
    }
}

TEST(TextReader, EstimateFollowsTheFileNotItsFirstLine) {
    // A short first line must not reserve rows for a file of short lines.
    std::string text = "T V\n0 0\n";
    for (int i = 1; i < 50000; ++i) text += std::to_string(i) + " 1.000000000000000000000000000\n";
    for (const TextReadOptions& o : {LineByLine(), TextReadOptions{}}) {
        const Read r = ReadText(text, o);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.data->RowCount(), 50000);
        EXPECT_EQ(r.data->RowCapacity(), 50000);
    }
}

TEST(TextReader, ProgressCanCancel) {
    std::string text = "T V\n";
    for (int i = 0; i < 1000000; ++i) text += "1.000000000E+00 2.000000000E+00\n";
    for (TextReadOptions options : {LineByLine(), TextReadOptions{}}) {
        int calls = 0;
        options.progress = [&](std::int64_t done, std::int64_t total) {
            EXPECT_LE(done, total);
            return ++calls < 2;
        };
        const Read r = ReadText(text, options);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(calls, 2);
        EXPECT_TRUE(r.messages.shown.empty());
    }
}

// A file of three blocks of `rows` lines, blank and CR LF lines among them.
std::string ThreeBlocks(int rows) {
    std::string text = "; made for the test\nTime A B\n";
    for (int b = 0; b < 3; ++b) {
        if (b > 0) text += "__________\n";
        for (int i = 0; i < rows; ++i) {
            text += std::to_string(i) + " " + std::to_string(b * 100 + i) + " 0.5";
            text += i % 5 == 3 ? "\r\n\n" : "\n";
        }
    }
    return text;
}

// Chunks meet at every line of the file for one of the chunk sizes, so a bad
// line in each place in turn lands in the first chunk, the last, on a chunk
// boundary and in a later block.
TEST(TextReader, AFaultyLineIsReportedAlikeWhereverItFalls) {
    const std::string good = ThreeBlocks(9);
    std::vector<size_t> starts;  // of every data line
    for (size_t at = good.find('\n', good.find("Time")) + 1; at < good.size();
         at = good.find('\n', at) + 1) {
        if (good[at] != '_' && good[at] != '\n') starts.push_back(at);
    }
    ASSERT_EQ(starts.size(), 27u);
    for (size_t s = 0; s < starts.size(); ++s) {
        const size_t end = good.find('\n', starts[s]);
        for (const char* fault : {"1 x 2", "1 2", "__________"}) {
            SCOPED_TRACE(testing::Message() << "line at byte " << starts[s] << ": " << fault);
            ReadBothWays(good.substr(0, starts[s]) + fault + good.substr(end));
        }
    }
}

// Odd line ends, long lines and hostile bytes: one message at most, alike in chunks.
TEST(TextReader, LineEndsAndLongLinesReadAlikeInChunks) {
    const std::string mb(1 << 20, ' ');
    const std::string cases[] = {
        std::string("T V\n0 \0\n", 8),                   // a NUL byte
        std::string(4 << 20, '7'),                       // a very long line without an end
        "T V\r\n0 1\n1 2\r\n2 3\n3 4\r\n",               // CR LF and LF mixed
        "T V\n0 1\n1 2\n2 3\r",                          // a CR alone at the end
        "T V\n0 1\n1 2\r\r\n2 3\n",                      // a CR that is no line end
        "T V\n0 1\n1" + mb + "2\n2 3\n3 4\n",            // a line of a megabyte
        "T V\n0 1\n1 2\n2 3\n" + mb + "x\n4 4\n",        // a faulty one
        "T V\n0 1\n" + mb + "\n\t\n2 3\n",               // a megabyte of blank
        "T V\n0 1\n1 2\n__________\n",                   // a separator at the end begins no block
        "T V\n0 1\n__________\n__________NAN 7\n1 2\n",  // data after a separator, whatever it is
        "T V\n__________ 1\n0 1\n",                      // the first data line is data too
    };
    for (const std::string& text : cases) {
        SCOPED_TRACE(text.size() < 80 ? text : text.substr(0, 20));
        const Read r = ReadBothWays(text);
        EXPECT_LE(r.messages.shown.size(), 1u);
    }
    const Read tail = ReadBothWays("T V\n0 1\n1 2\n2 3");
    EXPECT_EQ(tail.data->RowCount(), 3);
}

// Bytes that change after a number of reads at an offset, as a result file
// that the simulator rewrites while the viewer reads it.
class ChangingSource : public ByteSource {
public:
    ChangingSource(std::string before, std::string after, int readsBefore)
        : bytes_(std::move(before)), after_(std::move(after)), left_(readsBefore) {}
    std::int64_t Size() const override { return Current().size(); }
    std::int64_t Read(char* buffer, std::int64_t n) override {
        const std::string bytes = Current();
        const size_t count =
            std::min(static_cast<size_t>(n), bytes.size() - std::min(pos_, bytes.size()));
        std::memcpy(buffer, bytes.data() + pos_, count);
        pos_ += count;
        return static_cast<std::int64_t>(count);
    }
    bool Rewind() override {
        pos_ = 0;
        return true;
    }
    bool Positional() const override { return true; }
    std::int64_t ReadAt(std::int64_t offset, char* buffer, std::int64_t n) const override {
        std::lock_guard<std::mutex> hold(lock_);
        if (left_-- == 0) bytes_ = after_;
        const auto at = std::min(static_cast<size_t>(offset), bytes_.size());
        const size_t count = std::min(static_cast<size_t>(n), bytes_.size() - at);
        std::memcpy(buffer, bytes_.data() + at, count);
        return static_cast<std::int64_t>(count);
    }

private:
    std::string Current() const {
        std::lock_guard<std::mutex> hold(lock_);
        return bytes_;
    }
    mutable std::mutex lock_;
    mutable std::string bytes_;
    std::string after_;
    mutable int left_;
    size_t pos_ = 0;
};

TEST(TextReader, AFileChangingWhileReadGivesOneOfItsStates) {
    const std::string before = ThreeBlocks(30);
    const std::string cut = before.substr(0, before.size() / 2);
    std::string edited = before;
    edited[edited.find("17 17")] = 'x';
    const std::string grown = before + "30 30 0.5\n31 31 0.5\n";
    for (const std::string& after : {cut, edited, grown}) {
        const Read old = ReadText(before, LineByLine()), now = ReadText(after, LineByLine());
        for (int reads = 0; reads < 60; reads += 3) {
            SCOPED_TRACE(testing::Message()
                         << after.size() << " bytes after " << reads << " reads");
            TextReadOptions o;
            o.parallelChunkBytes = 64;
            ChangingSource source(before, after, reads);
            Read got;
            got.ok = ReadTextResult(source, got.data, got.names, got.messages, o);
            // Whichever it saw, it saw it whole.
            const bool asBefore = got.ok == old.ok && got.messages.shown == old.messages.shown &&
                                  (!got.ok || got.data->RowCount() == old.data->RowCount());
            const bool asAfter = got.ok == now.ok && got.messages.shown == now.messages.shown &&
                                 (!got.ok || got.data->RowCount() == now.data->RowCount());
            EXPECT_TRUE(asBefore || asAfter);
        }
    }
}

TEST(TextReader, AFileAppendedToWhileReadIsReadAgain) {
    // The last line is cut short; its rest arrives while the read runs (at
    // the first progress report, 8 MB into the second of the two passes).
    std::string text = "T V\n";
    for (int i = 0; i < 1500000; ++i) text += std::to_string(i) + " 1.5\n";
    text += "1500000 1.2";
    const auto path = test::FreshDir("appended") / "growing.txt";
    test::Spit(path, text);
    bool appended = false;
    TextReadOptions options;
    options.progress = [&](std::int64_t, std::int64_t) {
        if (!appended) std::ofstream(path, std::ios::app) << "345\n";
        appended = true;
        return true;
    };
    Read r;
    ReadPath(path.string(), r, options);
    ASSERT_TRUE(appended);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.data->RowCount(), 1500001);
    EXPECT_EQ(r.data->Variable(1)->Values()[1500000], 1.2345);
}

TEST(TextReader, FileErrorsNameTheFileAndCause) {
    Read missing;
    ReadPath("/nonexistent/kurvex.txt", missing);
    const std::string text = OnlyMessage(missing);
    EXPECT_NE(text.find("/nonexistent/kurvex.txt"), std::string::npos);
    EXPECT_NE(text.find("No such file"), std::string::npos);

    const auto dir = std::filesystem::temp_directory_path();
    Read directory;
    ReadPath(dir.string(), directory);
    EXPECT_NE(OnlyMessage(directory).find("Is a directory"), std::string::npos);

    // A failed read keeps the handle's previous data set when it fails before reading data.
    Read keep = ReadText("T V\n0 1\n");
    CResultData* before = keep.data.Get();
    ReadPath("/nonexistent/kurvex.txt", keep);
    EXPECT_EQ(keep.data.Get(), before);
}

// The example files, the fuzzer's corpus and what it found: every one reads
// alike line by line and in chunks, from disk and from memory.
TEST(TextReader, EveryKeptFileReadsAlikeInChunks) {
    int files = 0;
    for (const char* dir : {KURVEX_EXAMPLES_DIR, KURVEX_FUZZ_DIR "/data/corpus-text"}) {
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            const std::string path = entry.path().string();
            // Result files only: the examples hold a folder of Python scripts too.
            if (!entry.is_regular_file() || path.ends_with(".kfd")) continue;
            SCOPED_TRACE(path);
            const Read r = ReadBothWays(test::Slurp(path));
            if (dir == std::string(KURVEX_EXAMPLES_DIR)) {
                EXPECT_TRUE(r.ok);
            }
            Read disk;
            TextReadOptions o;
            o.parallelChunkBytes = 512;
            ReadPath(path, disk, o);
            ExpectSameRead(r, disk);
            ++files;
        }
    }
    EXPECT_GE(files, 3);
}

using Names = std::vector<std::string>;

TEST(QuotedNames, QuotedNameTokensLoseTheirQuotes) {
    struct Case {
        const char* line;
        bool ok;
        Names names;
    };
    for (const Case& c : {
             Case{"\"Time\",\"V(out)\",\"I(L1)\"", true, {"Time", "V(out)", "I(L1)"}},
             Case{"\"Time\"\t\"V out, filtered\"  I", true, {"Time", "V out, filtered", "I"}},
             Case{"Time \"say \"\"hi\"\"\"", true, {"Time", "say \"hi\""}},
             Case{"Time a\"b", true, {"Time", "a\"b"}},  // a quote inside a name is kept
             Case{"Time,\"\",V", true, {"Time", "T(1)", "V"}},
             Case{"Time,\"V(out)", false, {"Time"}},
             Case{"Time,\"V\"\"", false, {"Time"}},
             Case{"\"Time\"s,V", false, {}},
         }) {
        SCOPED_TRACE(c.line);
        Names names;
        EXPECT_EQ(SplitNameLine(c.line, names), c.ok);
        EXPECT_EQ(names, c.names);
    }
}

TEST(QuotedNames, TextFileWithQuotedNamesReadsAndUnclosedQuoteIsRefused) {
    // Data lines are read as before: a quoted number is no number.
    const Read quotedData =
        ReadBothWays("\"Time\",\"V(out)\",\"I(L1)\"\r\n0,1,2\r\n1e-6,3,\"4\"x\r\n");
    EXPECT_FALSE(quotedData.ok);
    EXPECT_EQ(quotedData.names, (Names{"Time", "V(out)", "I(L1)"}));
    const Read open = ReadBothWays("; header\n\n\"Time\",\"V(out)\n0,1\n");
    EXPECT_FALSE(open.ok);
    EXPECT_EQ(OnlyMessage(open), "Invalid file. Error at line 3.");
}

using test::Written;

// Time, V with rows (0, 1.5) and (0.5, missing).
CResultDataRef SmallSet(const char* second = "V") {
    return test::MakeColumns({{"Time", {0, 0.5}, {}}, {second, {1.5, 0}, {1, 0}}}, false, false);
}

// What exporting `d` in `format` writes.
std::string Exported(const CResultDataRef& d, int format, const char* prefix = nullptr) {
    return Written([&](std::FILE* f) { return ExportDataSet(d, f, prefix, format); });
}

TEST(TextWriter, EachFormatWritesItsColumnsAndMarkers) {
    const std::pair<int, const char*> cases[] = {
        {kExportFixedWidth,
         "  Time              V               \r\n"
         "  0.000000000E+00   1.500000000E+00 \r\n"
         "  5.000000000E-01           MISSING \r\n"},  // eighteen characters a column
        {kExportComma, "Time,V\r\n0,1.5\r\n0.5,MISSING\r\n"},
        {kExportTab, "Time\tV\r\n0\t1.5\r\n0.5\tMISSING\r\n"},
    };
    for (const auto& [format, text] : cases) EXPECT_EQ(Exported(SmallSet(), format), text);
}

TEST(TextWriter, SamplesAreExactAndNonFiniteOnesWrittenAsTheReadersMarkers) {
    const CResultDataRef d = test::MakeColumns(
        {{"V", {0.02 - 1e-9, std::nan(""), INFINITY, -INFINITY, 1e5}, {}}}, false, false);
    EXPECT_EQ(Exported(d, kExportComma), "V\r\n0.019999999\r\nNAN\r\n#INF\r\n-#INF\r\n100000\r\n");
    // The fixed-width columns hold the same markers.
    EXPECT_NE(
        Exported(d, kExportFixedWidth).find("  NAN \r\n             #INF \r\n            -#INF "),
        std::string::npos);
}

TEST(TextWriter, OrderColumnAndNameRules) {
    CResultDataRef d = SmallSet("I out");
    d->Variable(1)->Flags()[0] = kPointInvalid;
    std::vector<const CResultVariable*> vars = {d->Variable(0), d->Variable(1)};
    EXPECT_EQ(
        Written([&](std::FILE* f) { return WriteDelimited(f, vars, 2, ",", "\r\n", true, 1); }),
        "Order,Time,I_out\r\n        1,0,NAN\r\n        2,0.5,MISSING\r\n");
    const std::string fixed =
        Written([&](std::FILE* f) { return WriteFixedWidth(f, vars, 1, true, 1); });
    EXPECT_EQ(fixed,
              "  Order   "
              "  Time            "
              "  I_out           \r\n"
              "        1 "
              "  0.000000000E+00 "
              "              NAN \r\n");

    // Unnamed variables are named by position; long names take their column and more.
    d.SetName(0, nullptr);
    d.SetName(1, "A_name_of_exactly_20");
    auto header = [&] {
        const std::string text =
            Written([&](std::FILE* f) { return WriteFixedWidth(f, vars, 1, false, 0); });
        return text.substr(0, text.find("\r\n"));
    };
    EXPECT_EQ(header(), "  Graph(0)        A_name_of_exactly_20 ");
    // Fifteen characters still fit behind two blanks; sixteen take the column's start.
    d.SetName(0, "Fifteen_chars_x");
    EXPECT_EQ(header().substr(0, 18), "  Fifteen_chars_x ");
    d.SetName(0, "Sixteen_chars_xx");
    EXPECT_EQ(header().substr(0, 18), "Sixteen_chars_xx  ");
}

TEST(TextWriter, FixedWidthReadsBackToTenDigits) {
    CResultDataRef d;
    const int rows = 500, vars = 4;
    d.Initialise(kDataSetPlain, vars, rows, 100);
    const char* names[vars] = {"Time", "V out", "I(L1)", "P"};
    for (int i = 0; i < vars; ++i) d.SetName(i, names[i]);
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> mant(-1, 1);
    std::uniform_int_distribution<int> expo(-300, 300), flag(0, 20);
    for (int r = 0; r < rows; ++r) {
        double v[vars];
        std::uint8_t f[vars];
        v[0] = r * 1e-6;
        f[0] = 1;
        for (int i = 1; i < vars; ++i) {
            v[i] = mant(rng) * std::pow(10.0, expo(rng));
            const int k = flag(rng);
            f[i] = k == 0 ? kPointMissing : k == 1 ? kPointInvalid : kPointValid;
        }
        d.SetRow(r, v, f, 0, vars);
    }
    const std::string text = Exported(d, kExportFixedWidth);

    const Read r = ReadText(text);
    ASSERT_TRUE(r.ok);
    const CResultDataRef& back = r.data;
    EXPECT_EQ(r.names, (std::vector<std::string>{"Time", "V_out", "I(L1)", "P"}));
    ASSERT_EQ(back->RowCount(), rows);
    for (int i = 0; i < vars; ++i) {
        for (int r = 0; r < rows; ++r) {
            const std::uint8_t f = d->Variable(i)->Flags()[r];
            ASSERT_EQ(back->Variable(i)->Flags()[r], f) << i << "," << r;
            if (f != kPointValid) continue;
            const double a = d->Variable(i)->Values()[r], b = back->Variable(i)->Values()[r];
            EXPECT_LE(std::fabs(a - b), std::fabs(a) * 5e-10) << i << "," << r;
        }
    }
    EXPECT_EQ(back->BadPoints(), 1);
}

// Names that hold separators or quotes, or read as numbers, read back; blanks
// become underscores.
TEST(TextWriter, NamesReadBackFromEveryFormat) {
    for (int mode : {kExportFixedWidth, kExportTab, kExportComma}) {
        SCOPED_TRACE(mode);
        // Separators and quotes in names are for the delimited formats.
        std::vector<std::string> names = {"1", "V(out)", "I out", "-3e+1"};
        if (mode != kExportFixedWidth) names.insert(names.begin() + 2, {"a,b", "say\"hi\""});
        std::vector<test::Column> columns;
        for (const std::string& name : names) columns.push_back({name.c_str(), {0, 1}, {}});
        const std::string text = Exported(test::MakeColumns(columns, false, false), mode);
        if (mode == kExportComma) {
            EXPECT_EQ(text.substr(0, text.find("\r\n")),
                      "1,V(out),\"a,b\",\"say\"\"hi\"\"\",I_out,-3e+1");
        }
        const Read back = ReadText(text);
        ASSERT_TRUE(back.ok);
        std::replace(names.begin(), names.end(), std::string("I out"), std::string("I_out"));
        EXPECT_EQ(back.names, names);
    }
}

// X is shifted to its first valid sample; a plain data set keeps its X and its names.
TEST(TextWriter, HighPassDataSetIsWrittenFromAShiftedRenamedCopy) {
    const CResultDataRef d = test::MakeColumns(
        {{"Time", {1, 2, 3}, {0, 1, 1}}, {"V", {1, 4, 5}, {}}}, false, false, kDataSetHighPass);
    EXPECT_EQ(Exported(d, kExportComma, "hp"), "Time,hp_V\r\nMISSING,1\r\n0,4\r\n1,5\r\n");
    EXPECT_EQ(Exported(d, kExportComma), "Time,V\r\nMISSING,1\r\n0,4\r\n1,5\r\n");
    const CResultDataRef plain =
        test::MakeColumns({{"Time", {1, 2}, {}}, {"V", {4, 5}, {}}}, false, false);
    EXPECT_EQ(Exported(plain, kExportComma, "hp"), "Time,V\r\n1,4\r\n2,5\r\n");
    // The data set itself is untouched.
    EXPECT_EQ(d->Variable(0)->Values()[1], 2.0);
    EXPECT_EQ(d->Variable(1)->Name(), "V");
}

}  // namespace
}  // namespace kurvex
