#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "TestSupport.h"
#include "data/TextReader.h"

namespace kurvex {
namespace {

using test::RecordingMessages;

struct Read {
    bool ok = false;
    CResultDataRef data;
    std::vector<std::string> names;
    RecordingMessages messages;
};

void ReadText(const std::string& text, Read& r, const TextReadOptions& options = {}) {
    MemoryByteSource source(text);
    r.ok = ReadTextResult(source, r.data, r.names, r.messages, options);
}

std::string OnlyMessage(const Read& r) {
    EXPECT_EQ(r.messages.shown.size(), 1u);
    if (r.messages.shown.empty()) return {};
    EXPECT_EQ(r.messages.shown[0].second, MessageIcon::Stop);
    return r.messages.shown[0].first;
}

TEST(TextReader, NameLineGivesNamesAndRows) {
    Read r;
    ReadText("; a comment\n\nTime Va,Vb\r\n0 1 2\r\n1e-3, 3\t4\n", r);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.names, (std::vector<std::string>{"Time", "Va", "Vb"}));
    EXPECT_EQ(r.data->VariableCount(), 3);
    EXPECT_EQ(r.data->RowCount(), 2);
    EXPECT_EQ(r.data->Variable(1)->Name(), "Va");
    EXPECT_EQ(r.data->Variable(0)->Values()[1], 1e-3);
    EXPECT_EQ(r.data->Variable(2)->Max(), 4.0);
    EXPECT_EQ(r.data->BadPoints(), 0);
    EXPECT_EQ(r.data->UniformX(), 1);  // one step is its own mean
    EXPECT_TRUE(r.messages.shown.empty());
}

TEST(TextReader, NumericFirstLineNamesVariablesByIndexAndIsData) {
    Read r;
    ReadText("0 1 2\n1 3 4\n2 5 6\n", r);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.names, (std::vector<std::string>{"T(0)", "T(1)", "T(2)"}));
    EXPECT_EQ(r.data->RowCount(), 3);
    EXPECT_EQ(r.data->Variable(1)->Values()[0], 1.0);
    EXPECT_EQ(r.data->UniformX(), 1);

    // Commas make a name line, even of numbers.
    Read c;
    ReadText("1,2,3\n4 5 6\n", c);
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(c.names, (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(c.data->RowCount(), 1);
    EXPECT_EQ(c.data->Variable(0)->Values()[0], 4.0);
}

TEST(TextReader, MarkersAndFortranExponents) {
    Read r;
    ReadText("X A B C\n1.5D+02 1.#INF NAN MISSING\n2 -1.#IND0NAN 3 4\n", r);
    ASSERT_TRUE(r.ok);
    const CResultData* d = r.data.Get();
    EXPECT_EQ(d->Variable(0)->Values()[0], 150.0);
    EXPECT_EQ(d->Variable(0)->Flags()[0], kPointValid);
    EXPECT_EQ(d->Variable(1)->Flags()[0], kPointInvalid);
    EXPECT_EQ(d->Variable(1)->Values()[0], 1.0);  // the leading numeric part
    EXPECT_EQ(d->Variable(2)->Flags()[0], kPointInvalid);
    EXPECT_EQ(d->Variable(3)->Flags()[0], kPointMissing);
    EXPECT_EQ(d->Variable(1)->Flags()[1], kPointInvalid);
    EXPECT_EQ(d->BadPoints(), 1);
    // Extents come from valid samples only.
    EXPECT_EQ(d->Variable(3)->Min(), 4.0);
    EXPECT_EQ(d->Variable(3)->Max(), 4.0);

    // Marker tests are case-sensitive: "nan" is no marker.
    Read lower;
    ReadText("X A\n1 nan\n", lower);
    EXPECT_FALSE(lower.ok);
    EXPECT_EQ(OnlyMessage(lower), "Invalid file");
}

TEST(TextReader, OverflowingNumberIsInvalidNotInfinite) {
    Read r;
    ReadText("X A\n0 1\n1 1e999\n2 3\n", r);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.data->Variable(1)->Flags()[1], kPointInvalid);
    EXPECT_EQ(r.data->Variable(1)->Max(), 3.0);
    EXPECT_EQ(r.data->BadPoints(), 1);
}

TEST(TextReader, BadTokenMessageDependsOnRowInBlock) {
    for (int row = 0; row < 2; ++row) {
        std::string text = "; c\nT V\n";
        for (int k = 0; k < 3; ++k) text += k == row ? "0 abc\n" : "0 1\n";
        Read r;
        ReadText(text, r);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(OnlyMessage(r), "Invalid file");
    }
    Read third;
    ReadText("; c\nT V\n\n0 1\n0 1\n0 abc\n", third);
    EXPECT_FALSE(third.ok);
    EXPECT_EQ(OnlyMessage(third), "Invalid file. Error at line 6.");

    // Too few tokens is reported with the line even on the first data line.
    Read few;
    ReadText("T V W\n0 1\n", few);
    EXPECT_FALSE(few.ok);
    EXPECT_EQ(OnlyMessage(few), "Invalid file. Error at line 2.");

    // Extra tokens are ignored.
    Read extra;
    ReadText("T V\n0 1 junk\n", extra);
    EXPECT_TRUE(extra.ok);
}

TEST(TextReader, BlocksAddSuffixedVariablesSharingX) {
    Read r;
    ReadText("Time V\n0 1\n1 2\n2 3\n__________ block 2\n\n0 10\n1 20\n2 30\n3 40\n4 50\n", r);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.names, (std::vector<std::string>{"Time", "V", "V_(1)"}));
    const CResultData* d = r.data.Get();
    EXPECT_EQ(d->VariableCount(), 3);
    EXPECT_EQ(d->RowCount(), 5);
    EXPECT_EQ(d->Variable(2)->Name(), "V_(1)");
    EXPECT_EQ(d->Variable(2)->Values()[4], 50.0);
    for (int row : {3, 4}) {
        EXPECT_EQ(d->Variable(0)->Flags()[row], kPointMissing);
        EXPECT_EQ(d->Variable(1)->Flags()[row], kPointMissing);
    }
    EXPECT_EQ(d->Variable(0)->Max(), 2.0);

    // A separator that does not start in the first column is a bad data line.
    Read indented;
    ReadText("Time V\n0 1\n __________\n0 2\n", indented);
    EXPECT_FALSE(indented.ok);
    EXPECT_EQ(OnlyMessage(indented), "Invalid file");
}

TEST(TextReader, ManyShortBlocksKeepMemoryInProportion) {
    std::string text = "T A B\n";
    for (int b = 0; b < 200; ++b) text += "0 1 2\n1 2 3\n__________\n";
    text += "0 1 2\n";
    Read r;
    ReadText(text, r);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.data->VariableCount(), 1 + 2 * 201);
    EXPECT_EQ(r.names.back(), "B_(200)");
    EXPECT_EQ(r.data->RowCount(), 2);
    EXPECT_LE(r.data->RowCapacity(), 2);
    EXPECT_EQ(r.data->Variable(402)->Flags()[1], kPointMissing);
}

TEST(TextReader, NoDataMeansFalseWithoutMessage) {
    for (const char* text : {"", "; only\n", "Time V\n", "Time V\n\n  \t\n", "\n\n"}) {
        Read r;
        ReadText(text, r);
        EXPECT_FALSE(r.ok) << text;
        EXPECT_TRUE(r.messages.shown.empty()) << text;
    }
}

TEST(TextReader, HeaderlessFileDoesNotSkipComments) {
    Read r;
    ReadText("; comment\n0 1\n1 2\n", r);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(OnlyMessage(r), "Invalid file");
}

TEST(TextReader, LineNumbersCountEveryPhysicalLine) {
    Read r;
    ReadText("0 1\n\n1 2\n2 3\n\n3\n", r);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(OnlyMessage(r), "Invalid file. Error at line 6.");
}

TEST(TextReader, RowsBeyondTheLimitAreRefused) {
    TextReadOptions options;
    options.maxRows = 3;
    Read r;
    ReadText("T V\n0 1\n1 1\n2 1\n3 1\n", r, options);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(OnlyMessage(r).find("more rows"), std::string::npos);
    Read fits;
    ReadText("T V\n0 1\n1 1\n2 1\n", fits, options);
    EXPECT_TRUE(fits.ok);
}

TEST(TextReader, EstimateFollowsTheFileNotItsFirstLine) {
    // A short first line must not reserve rows for a file of short lines.
    std::string text = "T V\n0 0\n";
    for (int i = 1; i < 50000; ++i) text += std::to_string(i) + " 1.000000000000000000000000000\n";
    Read r;
    ReadText(text, r);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.data->RowCount(), 50000);
    EXPECT_EQ(r.data->RowCapacity(), 50000);
    EXPECT_EQ(r.data->UniformX(), 1);
    EXPECT_EQ(r.data->Variable(0)->Max(), 49999.0);
}

TEST(TextReader, ProgressCanCancel) {
    std::string text = "T V\n";
    for (int i = 0; i < 1000000; ++i) text += "1.000000000E+00 2.000000000E+00\n";
    TextReadOptions options;
    int calls = 0;
    options.progress = [&](std::int64_t done, std::int64_t total) {
        EXPECT_LE(done, total);
        return ++calls < 2;
    };
    Read r;
    ReadText(text, r, options);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(r.messages.shown.empty());
    EXPECT_LT(r.data->RowCount(), 1000000);
}

TEST(TextReader, HostileInputFailsCleanly) {
    // NUL bytes, binary junk, a very long line without an end, a line of many tokens.
    const std::string nul("T V\n0 \0\n", 8);
    std::string junk;
    for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 7919) & 0xff);
    const std::string longLine(10 << 20, '7');
    std::string manyTokens;
    for (int i = 0; i < 100000; ++i) manyTokens += "1 ";
    for (const std::string& text : {nul, junk, longLine, manyTokens + "\n" + manyTokens}) {
        Read r;
        ReadText(text, r);
        EXPECT_LE(r.messages.shown.size(), 1u);
        if (r.ok) {
            EXPECT_GE(r.data->RowCount(), 1);
        }
    }
    Read many;
    ReadText(manyTokens + "\n" + manyTokens, many);
    ASSERT_TRUE(many.ok);
    EXPECT_EQ(many.data->VariableCount(), 100000);
    EXPECT_EQ(many.data->RowCount(), 2);

    std::string names = "Time";
    for (int i = 1; i < 50000; ++i) names += " V" + std::to_string(i);
    Read wide;
    ReadText(names + "\n1\n", wide);
    EXPECT_FALSE(wide.ok);
    EXPECT_EQ(OnlyMessage(wide), "Invalid file. Error at line 2.");
}

// The first block may be parsed in chunks on two threads; whatever the chunk
// size, the result and the messages must be those of reading line by line.
TEST(TextReader, ChunkedReadingMatchesLineByLine) {
    std::string big = "Time A B\r\n";
    for (int i = 0; i < 300; ++i) {
        big += std::to_string(i) + " " + std::to_string(i * 0.5) + (i % 37 == 5 ? " NAN" : " 2");
        big += i % 11 == 0 ? "\r\n\r\n" : "\n";
    }
    const std::vector<std::string> texts = {
        big,
        big + "__________\n0 9 9\n1 8 8\n",
        big.substr(0, 200) + "__________\n" + big.substr(200) + "\n",
        big + "400 1 x\n",
        big + "400 1\n",
        big.substr(0, 150) + "\n7 x 1\n" + big.substr(150),
        "T V\n0 1\n0 x\n" + big,
        "T V\n0 1\n1 2\n2 3\n3 4\n4 5\n5 6\n6 7\n7 8\n8 9\n9 10\r",
        "0 1\n1 2\n2 3\n3 4\n4 5\n5 6\n6 7\n7 8\n8 9\n9 10\n10 11\n11 x",
        "T V\n0 1\n" + std::string(300, '1') + " 2\n3 4\n5 6\n7 8\n9 10\n",
    };
    for (size_t t = 0; t < texts.size(); ++t) {
        TextReadOptions lineByLine;
        lineByLine.parallelChunkBytes = 0;
        Read want;
        ReadText(texts[t], want, lineByLine);
        for (size_t chunk : {1, 5, 16, 64, 1000}) {
            SCOPED_TRACE(testing::Message() << "text " << t << " chunk " << chunk);
            TextReadOptions options;
            options.parallelChunkBytes = chunk;
            Read got;
            ReadText(texts[t], got, options);
            ASSERT_EQ(got.ok, want.ok);
            ASSERT_EQ(got.messages.shown, want.messages.shown);
            if (!want.ok) continue;
            ASSERT_EQ(got.names, want.names);
            const CResultData* a = want.data.Get();
            const CResultData* b = got.data.Get();
            ASSERT_EQ(b->RowCount(), a->RowCount());
            ASSERT_EQ(b->VariableCount(), a->VariableCount());
            EXPECT_EQ(b->BadPoints(), a->BadPoints());
            EXPECT_EQ(b->UniformX(), a->UniformX());
            for (std::int32_t i = 0; i < a->VariableCount(); ++i) {
                for (std::int32_t r = 0; r < a->RowCount(); ++r) {
                    ASSERT_EQ(b->Variable(i)->Flags()[r], a->Variable(i)->Flags()[r])
                        << i << "," << r;
                    ASSERT_EQ(b->Variable(i)->Values()[r], a->Variable(i)->Values()[r])
                        << i << "," << r;
                }
            }
        }
    }
}

TEST(TextReader, FileErrorsNameTheFileAndCause) {
    Read missing;
    missing.ok =
        ReadTextResult("/nonexistent/kurvex.txt", missing.data, missing.names, missing.messages);
    EXPECT_FALSE(missing.ok);
    const std::string text = OnlyMessage(missing);
    EXPECT_NE(text.find("/nonexistent/kurvex.txt"), std::string::npos);
    EXPECT_NE(text.find("No such file"), std::string::npos);

    const auto dir = std::filesystem::temp_directory_path();
    Read directory;
    directory.ok =
        ReadTextResult(dir.string(), directory.data, directory.names, directory.messages);
    EXPECT_FALSE(directory.ok);
    EXPECT_NE(OnlyMessage(directory).find("Is a directory"), std::string::npos);

    // A failed read keeps the handle's previous data set when it fails before reading data.
    Read keep;
    ReadText("T V\n0 1\n", keep);
    CResultData* before = keep.data.Get();
    keep.ok = ReadTextResult("/nonexistent/kurvex.txt", keep.data, keep.names, keep.messages);
    EXPECT_EQ(keep.data.Get(), before);
}

TEST(TextReader, ReadsExamplesFromDisk) {
    const std::string path = std::string(KURVEX_EXAMPLES_DIR) + "/buck.txt";
    Read r;
    r.ok = ReadTextResult(path, r.data, r.names, r.messages);
    ASSERT_TRUE(r.ok) << (r.messages.shown.empty() ? "" : r.messages.shown[0].first);
    EXPECT_EQ(r.names.front(), "Time");
    EXPECT_GT(r.data->RowCount(), 100);
}

}  // namespace
}  // namespace kurvex
