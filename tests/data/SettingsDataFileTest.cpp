#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "data/BinaryTestSupport.h"
#include "data/formats/SettingsDataFile.h"

namespace kurvex {
namespace {

using test::MakeColumns;
using test::UniformThree;
using test::WithBadPoints;

using test::FilePtr;

std::string WriteToBytes(const CResultDataRef& d, const char* prefix = nullptr) {
    return test::Written([&](std::FILE* f) { return WriteSettingsDataPart(d, f, prefix); });
}

struct ReadOutcome {
    DataPartResult result = DataPartResult::Refused;
    CResultDataRef data;
    test::RecordingMessages messages;
    long position = -1;  // where the file stands afterwards
};

// Reads `bytes` into `data`.
ReadOutcome ReadFromBytes(const std::string& bytes, CResultDataRef data = CResultDataRef()) {
    ReadOutcome out;
    out.data = data;
    FilePtr f = test::FileWith(bytes);
    out.result = ReadSettingsDataPart(f.get(), out.data, out.messages, "t.kfd");
    out.position = std::ftell(f.get());
    return out;
}

using test::F64At;
using test::PutU32;
using test::Samples;
using test::U32At;
using test::U32Bytes;

TEST(SettingsDataFile, UniformThreeVariablesFollowTheLayout) {
    const std::string bytes = WriteToBytes(UniformThree());
    const size_t rec0 = 1032, rec1 = rec0 + 137, rec2 = rec1 + 114 + 40;
    // Header and offsets, then each record's name length and flags: X's (no
    // point flags) ends with first, last and step, the others hold five floats.
    const std::pair<size_t, size_t> words[] = {
        {0, 0xEDF094C9u}, {4, 7},         {8, 0},     {12, 3},         {16, 5},
        {20, rec0},       {24, rec1},     {28, rec2}, {rec0 + 100, 5}, {rec0 + 109, 0x10000},
        {rec1 + 100, 6},  {rec1 + 110, 0}};
    for (const auto& [at, value] : words) EXPECT_EQ(U32At(bytes, at), value) << at;
    // The reserved kilobyte, and the 100 zero bytes that open a record.
    EXPECT_EQ(bytes.substr(32, 1000), std::string(1000, '\0'));
    EXPECT_EQ(bytes.substr(rec0, 100), std::string(100, '\0'));
    EXPECT_EQ(bytes.substr(rec0 + 104, 5), std::string("Time\0", 5));
    EXPECT_EQ(F64At(bytes, rec0 + 113), 0.0);
    EXPECT_EQ(F64At(bytes, rec0 + 121), 0.4);
    EXPECT_EQ(F64At(bytes, rec0 + 129), 0.1);
    EXPECT_EQ(bytes.size(), rec2 + 114 + 40);

    // The read stops at the end of the data part.
    const ReadOutcome in = ReadFromBytes(bytes);
    ASSERT_EQ(in.result, DataPartResult::Read);
    EXPECT_EQ(in.position, static_cast<long>(bytes.size()));
}

TEST(SettingsDataFile, BadPointsMarkTheVariablesAfterX) {
    const std::string bytes = WriteToBytes(WithBadPoints());
    const size_t rec0 = 1032;
    EXPECT_EQ(U32At(bytes, rec0 + 109), 0u);  // X is never stored with flags
    const size_t rec1 = U32At(bytes, 24), rec2 = U32At(bytes, 28);
    EXPECT_EQ(U32At(bytes, rec1 + 106), 0x101000u);
    EXPECT_EQ(U32At(bytes, rec2 + 106), 0x101000u);
    EXPECT_EQ(bytes.size(), rec2 + 110 + 4 * 8 + 4);
}

TEST(SettingsDataFile, UnnamedVariablesGetDefaultNamesAndNamesStopAtTheirLength) {
    std::string bytes = WriteToBytes(MakeColumns(
        {{nullptr, {0, 1}, {}}, {nullptr, {2, 3}, {}}, {nullptr, {4, 5}, {}}, {"ab", {6, 7}, {}}},
        false, false));
    EXPECT_EQ(U32At(bytes, U32At(bytes, 20) + 100), 0u);
    bytes[U32At(bytes, 32) + 106] = 'c';  // overwrite the NUL of "ab"
    const ReadOutcome in = ReadFromBytes(bytes);
    ASSERT_EQ(in.result, DataPartResult::Read);
    const char* names[] = {"Time", "Y1", "Y2", "ab"};
    for (std::int32_t i = 0; i < 4; ++i) EXPECT_EQ(in.data->Variable(i)->Name(), names[i]);
}

TEST(SettingsDataFile, SinglePointUniformXStoresZeroStep) {
    const std::string bytes = WriteToBytes(MakeColumns({{"Time", {2.5}, {}}}, true, false));
    const size_t head = U32At(bytes, 20) + 113;
    EXPECT_EQ(F64At(bytes, head), 2.5);
    EXPECT_EQ(F64At(bytes, head + 8), 2.5);
    EXPECT_EQ(F64At(bytes, head + 16), 0.0);
}

TEST(SettingsDataFile, NoVariablesOrNoPointsOpenEmpty) {
    CResultDataRef none;
    ASSERT_TRUE(none.Initialise(kDataSetPlain, 3, 10, 100));  // no rows
    FilePtr f(std::tmpfile());
    EXPECT_FALSE(WriteSettingsDataPart(none, f.get(), nullptr));
    EXPECT_EQ(std::ftell(f.get()), 0L);

    std::string header = U32Bytes(0xEDF094C9u) + U32Bytes(7) + U32Bytes(0);
    for (auto [n, p] : {std::pair{0u, 5u}, std::pair{3u, 0u}, std::pair{0u, 0u}}) {
        const ReadOutcome in = ReadFromBytes(header + U32Bytes(n) + U32Bytes(p), WithBadPoints());
        EXPECT_EQ(in.result, DataPartResult::Empty);
        EXPECT_EQ(in.data->VariableCount(), 0);
        EXPECT_EQ(in.data->RowCount(), 0);
        EXPECT_TRUE(in.messages.shown.empty());
    }
}

TEST(SettingsDataFile, OtherFilesAreNotThisFormat) {
    for (const std::string& bytes :
         {std::string(), std::string("\xC9\x94\xF0", 3),
          U32Bytes(0xEDF094CAu) + std::string(2000, '\0'), std::string("Time Y1\r\n0 1\r\n")}) {
        const ReadOutcome in = ReadFromBytes(bytes);
        EXPECT_EQ(in.result, DataPartResult::NotThisFormat);
        EXPECT_TRUE(in.messages.shown.empty());
    }
}

TEST(SettingsDataFile, EveryTruncationIsRefusedAndLeavesTheDataSetAlone) {
    const std::string bytes = WriteToBytes(WithBadPoints());
    for (size_t len = 4; len < bytes.size(); ++len) {
        const CResultDataRef before = UniformThree();
        const ReadOutcome in = ReadFromBytes(bytes.substr(0, len), before);
        EXPECT_EQ(in.result, DataPartResult::Refused) << len;
        ASSERT_EQ(in.messages.shown.size(), 1u) << len;
        EXPECT_EQ(in.messages.shown[0].first.rfind("Cannot read \"t.kfd\": ", 0), 0u) << len;
        EXPECT_EQ(in.data.Get(), before.Get()) << len;
    }
}

TEST(SettingsDataFile, CorruptCountsOffsetsAndLengthsAreRefused) {
    const std::string good = WriteToBytes(WithBadPoints());
    const size_t rec1 = U32At(good, 24);
    const struct {
        const char* what;
        size_t at;
        std::uint32_t value;
        const char* reason;
    } cases[] = {
        {"offset past the end", 24, static_cast<std::uint32_t>(good.size() + 10),
         "the record of variable 1 lies past the end of the file"},
        {"offset near 4 GB", 28, 0xFFFFFFF0u,
         "the record of variable 2 lies past the end of the file"},
        {"name length 2^31", rec1 + 100, 0x80000000u, "the name of variable 1 is longer"},
        {"name length past the end", rec1 + 100, 500, "the name of variable 1 is longer"},
        {"shared record", 28, static_cast<std::uint32_t>(rec1),
         "the records of variables 1 and 2 overlap"},
        {"negative count", 12, 0xFFFFFFFFu, "the file claims -1 variables of 4 points"},
        {"negative points", 16, 0x80000000u, "the file claims 3 variables of -2147483648"},
        {"huge count", 12, 0x7FFFFFFFu, "the file is too short for 2147483647 variables"},
        {"huge points", 16, 0x7FFFFFFFu, "the samples of variable 0 run past"},
        {"uniform flag on a later variable", rec1 + 106, 0x101000u | 0x10000u, nullptr},
    };
    for (const auto& c : cases) {
        std::string bytes = good;
        PutU32(bytes, c.at, c.value);
        const ReadOutcome in = ReadFromBytes(bytes);
        if (!c.reason) {
            // Flag 0x10000 on a variable other than X changes nothing.
            EXPECT_EQ(in.result, DataPartResult::Read) << c.what;
            continue;
        }
        EXPECT_EQ(in.result, DataPartResult::Refused) << c.what;
        ASSERT_EQ(in.messages.shown.size(), 1u) << c.what;
        EXPECT_NE(in.messages.shown[0].first.find(c.reason), std::string::npos)
            << c.what << ": " << in.messages.shown[0].first;
    }
}

TEST(SettingsDataFile, GeneratedXAloneIsBounded) {
    std::string bytes = WriteToBytes(MakeColumns({{"Time", {0, 1}, {}}}, true, false));
    const auto most = static_cast<std::uint32_t>(kMaxGeneratedRows);
    for (auto [p, read] :
         {std::pair{1000u, true}, std::pair{most, true}, std::pair{most + 1, false}}) {
        PutU32(bytes, 16, p);
        const ReadOutcome in = ReadFromBytes(bytes);
        EXPECT_EQ(in.result == DataPartResult::Read, read) << p;
        if (read) {
            EXPECT_EQ(in.data->RowCount(), static_cast<std::int32_t>(p));
            EXPECT_EQ(Samples(in.data, 0).back(), p - 1.0);
        }
    }
}

using SettingsDataFileOnDisk = test::TempDirTest;
using test::Slurp;
using test::Spit;

CIOBuffer Stream(size_t bytes) {
    CIOBuffer b;
    b.SetVersion(7, 1);
    b.WriteBytes(std::string(bytes, 's').data(), bytes);
    return b;
}

TEST_F(SettingsDataFileOnDisk, DataAndSettingsRoundTrip) {
    const std::string path = Path("r.kfd");
    CIOBuffer out = Stream(12);
    test::RecordingMessages said;
    ASSERT_TRUE(SaveSettingsDataFile(path, WithBadPoints(), nullptr, out, said));
    EXPECT_EQ(out.Size(), 12u);  // the caller keeps its stream
    EXPECT_EQ(Slurp(path), WriteToBytes(WithBadPoints()) + U32Bytes(12) + std::string(out.Bytes()));

    CResultDataRef d;
    CIOBuffer in;
    in.WriteString("stale");
    EXPECT_EQ(LoadSettingsDataFile(path, d, &in, said), DataPartResult::Read);
    EXPECT_EQ(in.Bytes(), out.Bytes());
    EXPECT_EQ(in.File(), nullptr);

    // A file that ends with the data has no settings.
    Spit(path, WriteToBytes(WithBadPoints()));
    EXPECT_EQ(LoadSettingsDataFile(path, d, &in, said), DataPartResult::Read);
    EXPECT_EQ(in.Size(), 0u);
    EXPECT_TRUE(said.shown.empty());
}

TEST_F(SettingsDataFileOnDisk, OversizedSettingsBlockIsReportedAndTheDataKept) {
    const std::string path = Path("big.kfd");
    Spit(path, WriteToBytes(WithBadPoints()) + U32Bytes(4000001) + std::string(4000001, 'x'));
    CResultDataRef d;
    CIOBuffer in;
    test::RecordingMessages said;
    EXPECT_EQ(LoadSettingsDataFile(path, d, &in, said), DataPartResult::Read);
    ASSERT_EQ(said.shown.size(), 1u);
    EXPECT_EQ(said.shown[0].first, "IO Buffer Error: Buffer too large.");
    EXPECT_EQ(in.Size(), 0u);
    EXPECT_EQ(d->RowCount(), 4);
}

TEST_F(SettingsDataFileOnDisk, FailedSavesLeaveTheOldFile) {
    const std::string path = Path("keep.kfd");
    Spit(path, "old");
    const struct {
        const char* what;
        size_t stream;
        CResultDataRef data;
        const char* said;
    } cases[] = {
        // The buffer's own refusals are IOBuffer's; one shows that they are passed on.
        {"stream too large", 4000001, WithBadPoints(), "IO Buffer Error: Buffer too large."},
        {"no rows", 12, CResultDataRef(), "There is no data to save."},
    };
    for (const auto& c : cases) {
        CIOBuffer settings = Stream(c.stream);
        test::RecordingMessages said;
        EXPECT_FALSE(SaveSettingsDataFile(path, c.data, nullptr, settings, said)) << c.what;
        ASSERT_EQ(said.shown.size(), 1u) << c.what;
        EXPECT_EQ(said.shown[0].first, c.said) << c.what;
        EXPECT_EQ(Slurp(path), "old") << c.what;
        EXPECT_EQ(settings.Size(), c.stream) << c.what;
    }
}

TEST_F(SettingsDataFileOnDisk, UnopenableFilesAreReported) {
    CResultDataRef d;
    CIOBuffer settings = Stream(4);
    test::RecordingMessages said;
    EXPECT_EQ(LoadSettingsDataFile(Path("missing.kfd"), d, &settings, said),
              DataPartResult::Refused);
    ASSERT_EQ(said.shown.size(), 1u);
    EXPECT_EQ(said.shown[0].first.rfind("Cannot open \"" + Path("missing.kfd") + "\": ", 0), 0u);
    EXPECT_EQ(settings.Size(), 0u);
    EXPECT_FALSE(
        SaveSettingsDataFile(Path("no/dir/x.kfd"), WithBadPoints(), nullptr, settings, said));
    ASSERT_EQ(said.shown.size(), 2u);
    EXPECT_NE(said.shown[1].first.find("No such file"), std::string::npos);
}

}  // namespace
}  // namespace kurvex
