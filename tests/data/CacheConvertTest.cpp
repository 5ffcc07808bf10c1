#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <future>
#include <limits>
#include <thread>

#include "CacheHome.h"
#include "TestSupport.h"
#include "data/BinaryTestSupport.h"
#include "data/LtspiceRawWriter.h"
#include "data/cache/CacheConvert.h"
#include "data/cache/CacheConvertText.h"
#include "data/cache/CacheMeta.h"
#include "data/cache/CachePreview.h"
#include "data/cache/CachedResult.h"
#include "data/document/ResultFile.h"
#include "data/formats/RawFile.h"
#include "data/formats/TextReader.h"
#include "data/model/ResultData.h"
#include "data/model/ResultVariable.h"
#include "data/model/SummaryPyramid.h"

namespace kurvex {
namespace {

using Status = CacheConversion::Status;

using test::CacheHome;

using test::NgspicePlot;

// A file `name` of `bytes` in the home's folder; its path.
std::string Source(const CacheHome& home, const std::string& bytes,
                   const char* name = "result.raw") {
    test::Spit(home.dir / name, bytes);
    return (home.dir / name).string();
}

// `raw`, an NgspicePlot, as a sweep stored as one long plot.
std::string SteppedPlot(std::string raw) {
    return raw.replace(raw.find("Flags: real"), 11, "Flags: real stepped");
}

// The entry holds `data`, and its meta and pyramids are those worked out
// from its columns.
void ExpectHolds(const CResultDataRef& data, const CacheEntry& entry) {
    const CacheLayout& layout = entry.Layout();
    ASSERT_EQ(static_cast<std::int32_t>(layout.rows.size()), data->RunCount());
    ASSERT_EQ(static_cast<std::int32_t>(layout.names.size()), data->VariableCount());
    std::size_t size = 0;
    const std::uint8_t* bytes = entry.Extra(kCacheMetaFile, size);
    const auto meta = MetaFromBytes({bytes, size}, layout.rows.size(), layout.names.size());
    ASSERT_TRUE(meta);
    for (std::int32_t r = 0; r < data->RunCount(); ++r) {
        const CResultData& run = *data->Run(r);
        ASSERT_EQ(layout.rows[static_cast<size_t>(r)], run.RowCount());
        const CachedRunMeta& m = meta->runs[static_cast<size_t>(r)];
        EXPECT_EQ(m.equalSpacing, run.UniformX() != 0) << r;
        for (std::int32_t v = 0; v < run.VariableCount(); ++v) {
            const CResultVariable& column = *run.Variable(v);
            const std::size_t rows = static_cast<std::size_t>(run.RowCount());
            EXPECT_EQ(layout.names[static_cast<size_t>(v)], column.Name());
            EXPECT_EQ(std::memcmp(entry.Values(v, r), column.Values(), rows * 8), 0) << v << r;
            bool anyValid = false;
            for (std::size_t i = 0; i < rows; ++i) {
                const bool valid = column.Flags()[i] == kPointValid;
                anyValid |= valid;
                ASSERT_EQ(entry.Valid(v, r, static_cast<std::int64_t>(i)), valid) << v << r << i;
            }
            const CachedColumnMeta& c = m.columns[static_cast<size_t>(v)];
            CResultDataRef one;
            one.ShareColumnsOf(run);
            EXPECT_EQ(c.sorted, one.IsSorted(v)) << v << r;
            if (anyValid) {
                EXPECT_EQ(c.min, column.Min()) << v << r;
                EXPECT_EQ(c.max, column.Max()) << v << r;
            } else {
                EXPECT_TRUE(std::isnan(c.min) && std::isnan(c.max)) << v << r;
            }
            const auto built =
                SummaryPyramid::Build({{column.Values(), rows}, {column.Flags(), rows}});
            ASSERT_TRUE(built);
            const std::vector<std::uint8_t> want = PyramidBytes(*built);
            const std::uint8_t* got = entry.Extra(PyramidFileName(v, r), size);
            ASSERT_EQ(size, want.size());
            EXPECT_EQ(std::memcmp(got, want.data(), size), 0) << v << r;
        }
    }
}

// The conversion holds what ReadRawFile reads from the same file, notes what
// it notes and names the runs as it does.
void ExpectAsRead(const std::string& path, const CacheConvertOptions& options,
                  const CacheConversion& made) {
    ASSERT_EQ(made.status, Status::Converted) << made.error;
    ASSERT_TRUE(made.entry);
    CResultDataRef data, mapped;
    std::vector<RawPlot> plots;
    test::RecordingMessages messages;
    std::vector<std::string> notes;
    RawReadOptions read;
    read.plot = options.plot;
    read.plotsAsRuns = options.plotsAsRuns;
    read.notes = &notes;
    ASSERT_EQ(ReadRawFile(path, data, plots, messages, read), RawReadResult::Read);
    ExpectHolds(data, *made.entry);
    EXPECT_EQ(made.notes, notes);
    std::string error;
    ASSERT_TRUE(OpenCachedResult(made.entry, mapped, error)) << error;
    ASSERT_EQ(mapped->RunCount(), data->RunCount());
    for (std::int32_t r = 0; r < data->RunCount(); ++r)
        EXPECT_EQ(mapped->RunName(r), data->RunName(r)) << r;
}

TEST(CacheConvert, HoldsWhatTheRawReaderReads) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Evenly stepped over more points than one block holds, then even steps but
    // one (the first step and the mean agree);
    // a different plot between runs is passed over.
    const std::string ngspice =
        NgspicePlot(
            "Transient Analysis", 300000,
            [](int v, std::int64_t p) { return v == 0 ? p * 0.25 : std::sin(p * 1e-3 * v); }) +
        NgspicePlot("Operating Point", 1, [](int v, std::int64_t) { return double(v); }) +
        NgspicePlot("Transient Analysis", 1000, [](int v, std::int64_t p) {
            return v == 0 ? p + (p == 500 ? 0.5 : 0.0) : -double(p);
        });
    // Inf and NaN samples read as invalid; i(l1) has no valid sample at all.
    const std::string invalid = NgspicePlot("Transient Analysis", 200, [&](int v, std::int64_t p) {
        if (v == 2) return p % 2 ? inf : nan;
        return v == 0 ? p * 0.5 : (p % 7 == 3 ? -inf : p % 5 == 1 ? nan : double(p % 11));
    });
    const std::string ltspice =
        test::LtspiceRaw({{"time", "V(out)", "I(L1)"}, 5000}, [](std::int64_t v, std::int64_t p) {
            if (v == 0) return std::complex<double>(p % 9 == 4 ? -p * 1e-5 : p * 1e-5);
            return std::complex<double>(std::cos(p * 0.01) * v * 3.3);
        });
    // Variable after variable, X over more than one block.
    const std::string fast =
        test::LtspiceRaw({{"time", "V(out)"}, 600000, true}, [](std::int64_t v, std::int64_t p) {
            return std::complex<double>(v == 0 ? (p % 3 == 1 ? -p * 0.5 : p * 0.5)
                                               : p % 100 - 50.0);
        });

    // Each file is read with its plots as runs, then again with the first plot alone.
    struct Case {
        const char* name;
        std::string bytes;  // empty: the committed file
    } cases[] = {
        {"ngspice_runs", ngspice},
        {"invalid", invalid},
        // The points are all there, then padding the reader passes over with a note.
        {"ltspice_zero_padded", ltspice + std::string(32, '\0')},
        {"ltspice_fastaccess", fast},
        // X the equal-spacing test must refuse, or take only as a whole
        {"one_point", NgspicePlot("p", 1, [](int v, std::int64_t) { return v + 1.0; })},
        {"constant_x", NgspicePlot("p", 9, [](int, std::int64_t) { return 2.0; })},
        {"nan_in_x",
         NgspicePlot("p", 9, [&](int, std::int64_t p) { return p == 4 ? nan : p * 1.0; })},
        {"float_x", NgspicePlot("p", 9, [](int v, std::int64_t p) { return p * 0.5f - v; })},
        {"falling_x", NgspicePlot("p", 9, [](int, std::int64_t p) { return -0.5 * p; })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CacheHome home(std::string("HoldsWhatTheRawReaderReads_") + c.name);
        const std::string path =
            c.bytes.empty() ? std::string(KURVEX_SPICE_DIR) + "/" + c.name : Source(home, c.bytes);
        CacheConvertOptions options;
        options.plotsAsRuns = true;
        const CacheConversion made = ConvertToCache(path, options);
        ASSERT_NO_FATAL_FAILURE(ExpectAsRead(path, options, made));
        const CacheConversion again = ConvertToCache(path, options);
        EXPECT_EQ(again.status, Status::AlreadyCached);
        EXPECT_TRUE(again.entry);
        // Read the other way, the same file is an entry of its own.
        options.plotsAsRuns = false;
        ExpectAsRead(path, options, ConvertToCache(path, options));
    }
}

// A sweep stored as one stepped plot: each step becomes a run, as loading the
// file without the cache cuts it, whatever blocks the file is read in.
TEST(CacheConvert, CutsASteppedPlotIntoTheRunsTheReaderGives) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Steps of 7, 3 and 12 points; v(out) of the second step's middle point is
    // invalid, and so is the time of the third step's last.
    std::vector<std::pair<int, std::int64_t>> at;  // step and point within it
    const std::int64_t lengths[] = {7, 3, 12};
    for (int k = 0; k < 3; ++k)
        for (std::int64_t i = 0; i < lengths[k]; ++i) at.push_back({k, i});
    const auto points = static_cast<std::int64_t>(at.size());
    auto value = [&](int v, std::int64_t p) {
        const auto [k, i] = at[static_cast<size_t>(p)];
        if (v == 0) return k == 2 && i == 11 ? nan : i * 0.5;
        return k == 1 && i == 1 && v == 1 ? nan : (k + 1) * std::sin(i * 0.3 * v);
    };
    auto ltspice = [&](bool fastAccess, std::int64_t n) {
        test::LtspiceLayout l{{"time", "V(out)", "I(L1)"}, n, fastAccess, true};
        // LTspice marks a point by a negative time, the first ones too.
        return test::LtspiceRaw(l, [&](std::int64_t v, std::int64_t p) {
            const double x = value(int(v), p);
            return std::complex<double>(v == 0 && p % 4 == 0 ? -x : x);
        });
    };
    const std::string steps3 = ".step vin=1\n.step vin=2\n.step vin=3\n";
    const auto floats = [&](int v, std::int64_t p) { return float(value(v, p)); };
    struct Case {
        const char* name;
        std::string bytes;
        std::string log;  // beside the file; none when empty
        std::int64_t blockBytes;
    } cases[] = {
        {"ngspice_rows_by_two", SteppedPlot(NgspicePlot("Transient Analysis", points, value)), "",
         50},
        {"ngspice_float_by_eight", SteppedPlot(NgspicePlot("Transient Analysis", points, floats)),
         "", 96},
        {"ltspice_fast_log", ltspice(true, points), steps3, 20},
        {"ltspice_log_disagrees", ltspice(false, points), ".step vin=1\n", 1},
        {"one_step", ltspice(false, 7), steps3, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CacheHome home(std::string("CutsASteppedPlot_") + c.name);
        const std::string path = Source(home, c.bytes, "sweep.raw");
        if (!c.log.empty()) test::Spit(home.dir / "sweep.log", c.log);
        CResultDataRef read;
        test::RecordingMessages messages;
        std::vector<std::string> notes;
        LoadOptions load;
        load.notes = &notes;
        ASSERT_TRUE(LoadResultFile(path, read, nullptr, messages, load));

        CacheConvertOptions options;
        options.plotsAsRuns = true;
        options.blockBytes = c.blockBytes;
        const CacheConversion made = ConvertToCache(path, options);
        ASSERT_EQ(made.status, Status::Converted) << made.error;
        ExpectHolds(read, *made.entry);
        EXPECT_EQ(made.notes, notes);

        // Loaded through the cache, the runs keep the reader's names.
        CResultDataRef mapped;
        load.cacheAboveBytes = 1;
        ASSERT_TRUE(LoadResultFile(path, mapped, nullptr, messages, load));
        ASSERT_TRUE(CachedPyramid(*mapped.Get(), 0, 0));
        ASSERT_EQ(mapped->RunCount(), read->RunCount());
        for (std::int32_t r = 0; r < read->RunCount(); ++r) {
            EXPECT_EQ(read->RunName(r), mapped->RunName(r)) << r;
            EXPECT_EQ(mapped->Run(r)->BadPoints(), read->Run(r)->BadPoints()) << r;
        }
        // A log written after the entry names its runs all the same.
        test::Spit(home.dir / "sweep.log", ".step r=1\n.step r=2\n.step r=3\n");
        std::vector<std::string> cachedNotes, plainNotes;
        load.notes = &cachedNotes;
        ASSERT_TRUE(LoadResultFile(path, mapped, nullptr, messages, load));
        load.notes = &plainNotes;
        load.cacheAboveBytes = 0;
        ASSERT_TRUE(LoadResultFile(path, read, nullptr, messages, load));
        ASSERT_TRUE(CachedPyramid(*mapped.Get(), 0, 0));
        EXPECT_EQ(cachedNotes, plainNotes);
        for (std::int32_t r = 0; r < read->RunCount(); ++r)
            EXPECT_EQ(mapped->RunName(r), read->RunName(r)) << r;
    }
}

TEST(CacheConvert, LeavesNothingForOtherFilesCancelsAndFaults) {
    const std::string big = NgspicePlot("Transient Analysis", 400000, [](int v, std::int64_t p) {
        return v == 0 ? p * 1e-6 : double(v);
    });
    struct Case {
        const char* name;
        std::string bytes;  // empty: the committed file of that name
        bool cancel;
        Status status;
        std::uint64_t limit = 0;
    } cases[] = {
        {"rc_tran_ascii.raw", "", false, Status::Unsupported},
        {"rc_ac.raw", "", false, Status::Unsupported},
        {"table", "time,v\n0,1\n1,2\n", false, Status::Unsupported},
        {"cancelled", big, true, Status::Cancelled},
        // every row a step of its own: too many file sets
        {"steps_beyond_count",
         SteppedPlot(NgspicePlot("p", 10001, [](int v, std::int64_t) { return v * 1.0; })), false,
         Status::Unsupported},
        {"short", big.substr(0, big.size() - 5), false, Status::Failed},
        {"beyond_the_limit", big, false, Status::Failed, 1 << 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CacheHome home(std::string("LeavesNothing_") + c.name);
        const std::string path =
            c.bytes.empty() ? std::string(KURVEX_SPICE_DIR) + "/" + c.name : Source(home, c.bytes);
        int calls = 0;
        CacheConvertOptions options;
        options.limit = c.limit;
        options.progress = [&](std::int64_t done, std::int64_t total) {
            ++calls;
            EXPECT_LT(done, total);  // called midway only: the file spans blocks
            return !c.cancel;
        };
        const CacheConversion made = ConvertToCache(path, options);
        EXPECT_EQ(made.status, c.status) << made.error;
        EXPECT_EQ(made.error.empty(), c.status != Status::Failed) << made.error;
        EXPECT_FALSE(made.entry);
        EXPECT_EQ(home.Entries(), 0u);
        if (c.cancel) {
            EXPECT_EQ(calls, 1);
        }
    }
}

// A conversion stopped part-way (as by kill -STOP) holds its key: another is not
// frozen behind it, but reads the file the ordinary way once it sees no progress.
TEST(CacheConvert, AnotherConversionThatStopsIsNotWaitedForEver) {
    CacheHome home("StoppedWriter");
    const std::string path = Source(
        home, NgspicePlot("Transient Analysis", 400000,
                          [](int v, std::int64_t p) { return v == 0 ? p * 1e-6 : double(v); }));
    // The first writer stops after its first block, holding the key.
    std::promise<void> stopped, resume;
    std::thread first([&] {
        CacheConvertOptions options;
        options.progress = [&](std::int64_t, std::int64_t) {
            stopped.set_value();
            resume.get_future().wait();
            return false;
        };
        EXPECT_EQ(ConvertToCache(path, options).status, Status::Cancelled);
    });
    stopped.get_future().wait();
    CacheConvertOptions options;
    options.waitStep = std::chrono::milliseconds(1);
    options.waitStall = std::chrono::milliseconds(30);
    const CacheConversion made = ConvertToCache(path, options);
    EXPECT_EQ(made.status, Status::Failed);
    EXPECT_NE(made.error.find("is read the ordinary way"), std::string::npos) << made.error;
    // Cancel is heard while waiting.
    options.waitStall = std::chrono::hours(1);
    options.progress = [](std::int64_t, std::int64_t) { return false; };
    EXPECT_EQ(ConvertToCache(path, options).status, Status::Cancelled);
    resume.set_value();
    first.join();
    // With too little memory to read the file otherwise, the wait goes on and says why
    // once, at once, and in the notes.
    std::vector<std::string> heard, notes;
    options.status = [&heard](const std::string& line) { heard.push_back(line); };
    options.progress = nullptr;
    bool stalled = false;
    const CacheWait wait =
        ConvertWait(path, options, std::numeric_limits<std::uint64_t>::max(), stalled, notes);
    EXPECT_TRUE(wait.waiting(0, true));
    EXPECT_TRUE(wait.waiting(0, true));
    EXPECT_FALSE(stalled);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(notes, heard);
    EXPECT_NE(heard[0].find("still waiting"), std::string::npos) << heard[0];
}

TEST(CacheConvert, ShowsWhatIsConvertedAndACancelKeepsItReadable) {
    EXPECT_FALSE(PreviewDue(0, 10, 1280));
    EXPECT_TRUE(PreviewDue(0, 20, 1280));
    EXPECT_FALSE(PreviewDue(20, 39, 1280));
    EXPECT_TRUE(PreviewDue(20, 40, 1280));
    EXPECT_FALSE(PreviewDue(640, 1280, 1280));  // the whole comes as the entry
    // i(l1) is infinite, so not valid, every 1000th point.
    auto value = [](int v, std::int64_t p) {
        return v == 0   ? p * 1e-6
               : v == 1 ? std::sin(p * 1e-3)
                        : (p % 1000 == 7 ? std::numeric_limits<double>::infinity() : -double(p));
    };
    const std::string bytes = NgspicePlot("Transient Analysis", 400000, value);
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel);
        CacheHome home(cancel ? "PreviewCancelled" : "Preview");
        const std::string path = Source(home, bytes);
        std::vector<CResultDataRef> shown;
        CacheConvertOptions options;
        options.preview = [&](const CResultDataRef& d) { shown.push_back(d); };
        options.progress = [&](std::int64_t, std::int64_t) { return !cancel || shown.empty(); };
        const CacheConversion made = ConvertToCache(path, options);
        EXPECT_EQ(made.status, cancel ? Status::Cancelled : Status::Converted) << made.error;
        EXPECT_EQ(home.Entries(), cancel ? 0u : 1u);
        // Blocks of 174,762 points: after the first, and once the rows have doubled.
        ASSERT_EQ(shown.size(), cancel ? 1u : 2u);
        for (std::size_t k = 0; k < shown.size(); ++k) {
            const CResultData& d = *shown[k].Get();
            ASSERT_EQ(d.RowCount(), k == 0 ? 174760 : 349520);
            ASSERT_EQ(d.VariableCount(), 3);
            EXPECT_TRUE(shown[k].IsSorted(0));
            EXPECT_TRUE(d.BadPoints());
            for (std::int32_t p = 0; p < d.RowCount(); p += 997)
                for (std::int32_t v = 0; v < 3; ++v) {
                    const bool valid = v != 2 || p % 1000 != 7;
                    EXPECT_EQ(d.Variable(v)->Flags()[p], valid ? kPointValid : kPointInvalid);
                    if (valid) {
                        EXPECT_EQ(d.Variable(v)->Values()[p], value(v, p));
                    }
                }
            EXPECT_EQ(d.Variable(2)->Max(), 0.0);
            EXPECT_EQ(d.Variable(2)->Min(), -double(d.RowCount() - 1));
        }
    }
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
            const std::string path = Source(home, c.text, "result.txt");
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
            ExpectHolds(want, *made.entry);
            CResultDataRef got;
            std::string error;
            ASSERT_TRUE(OpenCachedResult(made.entry, got, error)) << error;
            EXPECT_EQ(got->BadPoints() != 0, want->BadPoints() != 0);
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
        const std::string path = Source(home, c.text, "result.txt");
        TextConvertTuning tuning;
        tuning.blockBytes = 16;
        tuning.maxLineBytes = c.maxLine;
        const CacheConversion made = ConvertTextToCache(path, {}, tuning);
        EXPECT_EQ(made.status, c.status) << made.error;
        EXPECT_EQ(made.error, c.error);
        EXPECT_FALSE(made.entry);
        EXPECT_EQ(home.Entries(), 0u);
    }
}

TEST(CacheConvertText, HoldsAFewBlocksOfAFileManyBlocksLong) {
    CacheHome home("HoldsAFewBlocks");
    const std::string text = "time v\n" + Rows(20000, 1e-9, false, ",");
    const std::string path = Source(home, text, "result.txt");
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
    EXPECT_GT(peak, 0);
    EXPECT_LE(peak, 3 * tuning.blockBytes + 128);
    EXPECT_EQ(ConvertTextToCache(path, options, tuning).status, Status::AlreadyCached);
}

// A raw or a text file rewritten once while it is converted is converted
// again; rewritten every time, it fails.
TEST(CacheConvert, StartsAgainOnceWhenTheSourceChanges) {
    for (int rewrites : {1, 2}) {
        SCOPED_TRACE(rewrites);
        CacheHome home("StartsAgain" + std::to_string(rewrites));
        const std::string bytes =
            NgspicePlot("Transient Analysis", 400000,
                        [](int v, std::int64_t p) { return v == 0 ? p * 1e-6 : double(p % 13); });
        const std::string path = Source(home, bytes);
        CacheConvertOptions options;
        options.progress = test::RewritingAtEachStart(path, bytes, rewrites);
        const CacheConversion made = ConvertToCache(path, options);
        if (rewrites == 1) {
            ExpectAsRead(path, options, made);
            EXPECT_EQ(home.Entries(), 1u);
        } else {
            EXPECT_EQ(made.status, Status::Failed);
            EXPECT_NE(made.error.find("changed while it was converted"), std::string::npos);
            EXPECT_EQ(home.Entries(), 0u);
        }
        const std::string text = "time v\n" + Rows(2000, 1, false);
        const std::string txt = Source(home, text, "result.txt");
        options.progress = test::RewritingAtEachStart(txt, text, rewrites);
        TextConvertTuning tuning;
        tuning.blockBytes = 1024;
        const CacheConversion fromText = ConvertTextToCache(txt, options, tuning);
        EXPECT_EQ(fromText.status, rewrites == 1 ? Status::Converted : Status::Failed)
            << fromText.error;
    }
}

// A good one is read through the cache in ResultFile.LargeRawFilesGoThroughTheColumnCache.
TEST(CacheConvertText, LoadingALargeDamagedTextFileSaysWhatTheReaderSays) {
    CacheHome home("LoadingALargeTextFile");
    const std::string bad = Source(home, "time v\n" + Rows(100, 1, false) + "x y\n", "bad.txt");
    LoadOptions options;
    options.cacheAboveBytes = 1;
    test::RecordingMessages said;
    CResultDataRef data;
    EXPECT_FALSE(LoadResultFile(bad, data, nullptr, said, options));
    ASSERT_EQ(said.shown.size(), 1u);
    EXPECT_EQ(said.shown[0].first, "Invalid file. Error at line 102.");
}

}  // namespace
}  // namespace kurvex
