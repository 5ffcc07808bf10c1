#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "CacheHome.h"
#include "TestSupport.h"
#include "data/cache/CacheConvertText.h"
#include "data/cache/CachedResult.h"
#include "data/document/ResultFile.h"
#include "data/formats/TextReader.h"
#include "data/model/ResultData.h"
#include "data/model/ResultVariable.h"

namespace kurvex {
namespace {

namespace fs = std::filesystem;
using Status = CacheConversion::Status;

using test::CacheHome;

bool Same(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

// `lines` rows of X stepped by `step` (unevenly when `jitter`) and a wave.
std::string Rows(int lines, double step, bool jitter, const char* sep = " ") {
    std::string out;
    char b[96];
    for (int i = 0; i < lines; ++i) {
        const double x = i * step + (jitter && i % 7 == 3 ? step / 3 : 0.0);
        std::snprintf(b, sizeof b, "%.9E%s%.6g\n", x, sep, std::sin(i * 0.1) * 1e3);
        out += b;
    }
    return out;
}

TEST(CacheConvertText, HoldsWhatTheTextReaderReadsAtAnyBlockSize) {
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"plain", "Time V(out) I(L1)\n0 1 2\n0.5 -3e-3 4E2\n1 5 6\n1.5 7 8\n"},
        {"uneven_long", "time v\n" + Rows(400, 1e-6, true)},
        {"even_long", "time v\n" + Rows(400, 0.25, false)},
        {"tabs_commas_crlf", "; a comment\r\n\r\n\"t\",\"a b\"\r\n0,\t1\r\n1 ,2\r\n\r\n2\t3\r\n"},
        {"numbered_header", "\n  0 1 2\n1 2 3\n2 3 4"},
        {"invalid_points", "t a b\n0 1.#INF 2\n1 NAN 1e999\n2 3 +4D1\n3 -1.#IND 5\n"},
        {"no_valid_column", "t a\n0 1.#INF\n1 NAN\n"},
        {"trailing_separator", "t a\n0 1\n1 2\n__________\n\n"},
        {"first_line_forced_data", "t a\n__________ 1\n"},
    };
    for (const auto& c : cases) {
        for (const std::int64_t block : {5, 61, 4 << 20}) {
            SCOPED_TRACE(std::string(c.name) + " " + std::to_string(block));
            CacheHome home(std::string("HoldsWhatTheTextReaderReads_") + c.name +
                           std::to_string(block));
            const std::string path = (home.dir / "result.txt").string();
            test::Spit(path, c.text);
            test::RecordingMessages said;
            CResultDataRef want;
            std::vector<std::string> names;
            const bool read = ReadTextResult(path, want, names, said);
            TextConvertTuning tuning;
            tuning.blockBytes = block;
            bool refused = false;
            tuning.refused = &refused;
            const CacheConversion made = ConvertTextToCache(path, {}, tuning);
            if (!read) {
                ASSERT_EQ(said.shown.size(), 1u);
                EXPECT_EQ(made.status, Status::Failed);
                EXPECT_TRUE(refused);
                EXPECT_EQ(made.error, said.shown[0].first);
                continue;
            }
            ASSERT_EQ(made.status, Status::Converted) << made.error;
            CResultDataRef got;
            std::string error;
            ASSERT_TRUE(OpenCachedResult(made.entry, got, error)) << error;
            ASSERT_EQ(got->VariableCount(), want->VariableCount());
            ASSERT_EQ(got->RowCount(), want->RowCount());
            EXPECT_EQ(got->UniformX(), want->UniformX());
            EXPECT_EQ(got->BadPoints() != 0, want->BadPoints() != 0);
            const auto rows = static_cast<size_t>(want->RowCount());
            for (std::int32_t v = 0; v < want->VariableCount(); ++v) {
                const CResultVariable& g = *got->Variable(v);
                const CResultVariable& w = *want->Variable(v);
                EXPECT_EQ(g.Name(), w.Name());
                EXPECT_EQ(std::memcmp(g.Values(), w.Values(), rows * 8), 0) << v;
                EXPECT_EQ(std::memcmp(g.Flags(), w.Flags(), rows), 0) << v;
                EXPECT_TRUE(Same(g.Min(), w.Min()) && Same(g.Max(), w.Max())) << v;
            }
        }
    }
}

TEST(CacheConvertText, RefusesAsTheReaderOrLeavesItTheFile) {
    const struct {
        const char* name;
        std::string text;
        Status status;
        const char* error;  // the reader's, for a refused file
        std::int64_t maxLine = 64 << 20;
    } cases[] = {
        {"damaged_late", "t a\n" + Rows(50, 1, false) + "3 x\n", Status::Failed,
         "Invalid file. Error at line 52."},
        {"too_few_tokens", "t a\n" + Rows(50, 1, false) + "\n3\n", Status::Failed,
         "Invalid file. Error at line 53."},
        {"damaged_second_row", "t a\n0 1\n1 y\n2 3\n", Status::Failed, "Invalid file"},
        {"bad_name_line", "t \"a\n0 1\n", Status::Failed, "Invalid file. Error at line 1."},
        {"two_blocks", "t a\n0 1\n__________\n0 2\n", Status::Unsupported, ""},
        {"missing_point", "t a\n0 1\n1 MISSING\n", Status::Unsupported, ""},
        {"no_data_line", "t a\n\n", Status::Unsupported, ""},
        {"line_past_the_bound", "t a\n0 1\n1 " + std::string(100, '2') + "\n", Status::Unsupported,
         "", 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CacheHome home(std::string("RefusesAsTheReader_") + c.name);
        const std::string path = (home.dir / "result.txt").string();
        test::Spit(path, c.text);
        TextConvertTuning tuning;
        tuning.blockBytes = 16;
        tuning.maxLineBytes = c.maxLine;
        const CacheConversion made = ConvertTextToCache(path, {}, tuning);
        EXPECT_EQ(made.status, c.status) << made.error;
        EXPECT_EQ(made.error, c.error);
        EXPECT_FALSE(made.entry);
        EXPECT_FALSE(fs::exists(home.dir / "cache/kurvex") &&
                     !fs::is_empty(home.dir / "cache/kurvex"));
        if (c.status != Status::Failed) continue;
        test::RecordingMessages said;
        CResultDataRef data;
        std::vector<std::string> names;
        ASSERT_FALSE(ReadTextResult(path, data, names, said));
        ASSERT_EQ(said.shown.size(), 1u);
        EXPECT_EQ(said.shown[0].first, c.error);
    }
}

TEST(CacheConvertText, HoldsAFewBlocksOfAFileManyBlocksLong) {
    CacheHome home("HoldsAFewBlocks");
    const std::string path = (home.dir / "result.txt").string();
    const std::string text = "time v\n" + Rows(20000, 1e-9, false, ",");
    test::Spit(path, text);
    std::int64_t peak = 0;
    TextConvertTuning tuning;
    tuning.blockBytes = 4096;
    tuning.peakBuffered = &peak;
    int calls = 0;
    CacheConvertOptions options;
    options.progress = [&](std::int64_t done, std::int64_t total) {
        EXPECT_LE(done, total);
        return ++calls < 20;
    };
    EXPECT_EQ(ConvertTextToCache(path, options, tuning).status, Status::Cancelled);
    EXPECT_EQ(calls, 20);
    options.progress = nullptr;
    const CacheConversion made = ConvertTextToCache(path, options, tuning);
    ASSERT_EQ(made.status, Status::Converted) << made.error;
    EXPECT_EQ(made.entry->Layout().rows[0], 20000);
    EXPECT_GT(static_cast<std::int64_t>(text.size()), 100 * tuning.blockBytes);
    EXPECT_GT(peak, 0);
    EXPECT_LE(peak, 3 * tuning.blockBytes + 128);
    EXPECT_EQ(ConvertTextToCache(path, options, tuning).status, Status::AlreadyCached);
}

TEST(CacheConvertText, StartsAgainOnceWhenTheSourceChanges) {
    for (int rewrites : {1, 2}) {
        SCOPED_TRACE(rewrites);
        CacheHome home("TextStartsAgain" + std::to_string(rewrites));
        const std::string path = (home.dir / "result.txt").string();
        const std::string text = "time v\n" + Rows(2000, 1, false);
        test::Spit(path, text);
        CacheConvertOptions options;
        options.progress = test::RewritingAtEachStart(path, text, rewrites);
        TextConvertTuning tuning;
        tuning.blockBytes = 1024;
        const CacheConversion made = ConvertTextToCache(path, options, tuning);
        EXPECT_EQ(made.status, rewrites == 1 ? Status::Converted : Status::Failed) << made.error;
    }
}

// A good one is read through the cache in ResultFile.LargeRawFilesGoThroughTheColumnCache.
TEST(CacheConvertText, LoadingALargeDamagedTextFileSaysWhatTheReaderSays) {
    CacheHome home("LoadingALargeTextFile");
    const fs::path bad = home.dir / "bad.txt";
    test::Spit(bad, "time v\n" + Rows(100, 1, false) + "x y\n");
    LoadOptions options;
    options.cacheAboveBytes = 1;
    test::RecordingMessages said;
    CResultDataRef data;
    EXPECT_FALSE(LoadResultFile(bad.string(), data, nullptr, said, options));
    ASSERT_EQ(said.shown.size(), 1u);
    EXPECT_EQ(said.shown[0].first, "Invalid file. Error at line 102.");
}

}  // namespace
}  // namespace kurvex
