#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "data/BinaryTestSupport.h"
#include "data/formats/BlockContainerFile.h"
#include "data/formats/SettingsDataFile.h"
#include "data/platform/IOBuffer.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

using test::MakeColumns;
using test::UniformThree;
using test::WithBadPoints;

using test::RecordingMessages;

using test::Slurp;
using test::Spit;

using test::F64At;
using test::Flags;
using test::PutU32;
using test::PutU64;
using test::Samples;
using test::U32At;
using test::U32Bytes;
using test::U64At;

CIOBuffer Stream(const std::string& bytes) {
    CIOBuffer b;
    b.Assign(bytes);
    return b;
}

struct Loaded {
    bool ok = false;
    CResultDataRef data;
    std::vector<CIOBuffer> settings;
    RecordingMessages messages;
};

void Load(const std::string& path, Loaded& out) {
    out.ok = ReadBlockContainer(path, out.data, out.settings, out.messages);
}

std::string Message(const Loaded& l) {
    return l.messages.shown.empty() ? std::string() : l.messages.shown.back().first;
}

class BlockContainerTest : public test::TempDirTest {
protected:
    // What reading a file of `bytes` gives.
    Loaded Read(const std::string& bytes) {
        Spit(Path("x.kfd"), bytes);
        Loaded l;
        Load(Path("x.kfd"), l);
        return l;
    }
    // The file the writer makes of `d`, which it must write without a word.
    std::string Write(const CResultDataRef& d, const std::vector<CIOBuffer>& streams = {},
                      const char* prefix = nullptr) {
        RecordingMessages said;
        EXPECT_TRUE(WriteBlockContainer(d, Path("w.kfd"), prefix, streams, said));
        EXPECT_TRUE(said.shown.empty());
        return Slurp(Path("w.kfd"));
    }
    // Reading a file of `bytes` fails and says `why`.
    void ExpectRefused(const std::string& bytes, const char* why) {
        const Loaded l = Read(bytes);
        EXPECT_FALSE(l.ok) << why;
        EXPECT_NE(Message(l).find(why), std::string::npos) << Message(l);
    }
};

// Offsets of the layout the tests build files by hand from.
constexpr size_t kDirDescriptor = 88;
size_t DirectoryAt(const std::string& file) {
    return size_t(U32At(file, kDirDescriptor)) | size_t(U32At(file, kDirDescriptor + 12)) << 32;
}
size_t EntryAt(const std::string& file, size_t k) {
    return DirectoryAt(file) + 4 + k * kBlockEntryBytes;
}

// A container assembled block by block, for what the writer never makes.
class Builder {
public:
    Builder(std::int32_t n, std::int32_t p) : n_(n), p_(p) {}
    void Add(BlockEntry e, const std::string& content) { blocks_.push_back({e, content}); }
    void AddNames(const std::vector<std::pair<std::int32_t, std::string>>& names,
                  std::int32_t first, std::int32_t count) {
        std::string b;
        for (const auto& [i, text] : names) {
            b += U32Bytes(std::uint32_t(i)) + U32Bytes(std::uint32_t(text.size() + 1)) + text;
            b += '\0';
        }
        Add({.type = kBlockNames, .index = -1, .first = first, .count = count}, b);
    }
    void AddData(std::int32_t index, std::int32_t first, const std::vector<double>& x,
                 const std::vector<std::uint8_t>& flags = {}, std::uint32_t kind = 0) {
        BlockEntry e{.type = kBlockData,
                     .kind = kind,
                     .index = index,
                     .first = first,
                     .count = std::int32_t(x.size())};
        std::string b(kDataBlockReserved, '\0');
        b.append(reinterpret_cast<const char*>(x.data()), x.size() * 8);
        if (!flags.empty()) {
            e.flags = kRecordPointFlags | kRecordBadPoints;
            b.append(reinterpret_cast<const char*>(flags.data()), flags.size());
        }
        Add(e, b);
    }
    // An X block of `count` rows generated from its first value, last value and step.
    void AddGeneratedX(std::int32_t count, double first, double last, double step) {
        const double head[3] = {first, last, step};
        Add({.type = kBlockData, .flags = kRecordUniformX, .count = count},
            std::string(kDataBlockReserved, '\0') +
                std::string(reinterpret_cast<const char*>(head), sizeof head));
    }
    std::string Build() const {
        std::string f(1024 + 1024, '\0');
        PutU32(f, 0, kBlockContainerMagic);
        PutU32(f, 4, 8);
        PutU32(f, 20, kBlockContainerFeatures);
        PutU32(f, 64, 1024);
        PutU32(f, 68, 1024);
        PutU32(f, 116, kBlockEntryBytes);
        PutU32(f, 1024, 7);
        PutU32(f, 1024 + 16, std::uint32_t(n_));
        PutU32(f, 1024 + 20, std::uint32_t(p_));
        const size_t dir = f.size();
        const size_t used = 4 + blocks_.size() * kBlockEntryBytes;
        PutU32(f, kDirDescriptor, std::uint32_t(dir));
        PutU32(f, kDirDescriptor + 4, std::uint32_t(used));
        f.resize(dir + used);
        PutU32(f, dir, std::uint32_t(blocks_.size()));
        for (size_t k = 0; k < blocks_.size(); ++k) {
            BlockEntry e = blocks_[k].first;
            e.offset = f.size();
            e.size = blocks_[k].second.size();
            const size_t at = dir + 4 + k * kBlockEntryBytes;
            f += blocks_[k].second;
            PutU32(f, at, e.type);
            PutU32(f, at + 4, e.flags);
            PutU32(f, at + 8, e.kind);
            PutU32(f, at + 12, std::uint32_t(e.index));
            PutU32(f, at + 16, std::uint32_t(e.first));
            PutU32(f, at + 20, std::uint32_t(e.count));
            PutU64(f, at + 24, e.offset);
            PutU64(f, at + 32, e.size);
        }
        return f;
    }

private:
    std::int32_t n_, p_;
    std::vector<std::pair<BlockEntry, std::string>> blocks_;
};

// --- round trips -----------------------------------------------------------

TEST_F(BlockContainerTest, SettingsStreamsReadBack) {
    const Loaded l =
        Read(Write(UniformThree(), {Stream("first stream"), Stream(std::string(300, 'x'))}));
    ASSERT_TRUE(l.ok) << Message(l);
    ASSERT_EQ(l.settings.size(), 2u);
    EXPECT_EQ(l.settings[0].Bytes(), "first stream");
    EXPECT_EQ(l.settings[1].Bytes(), std::string(300, 'x'));
    EXPECT_EQ(l.settings[0].Mode(), kIOBufferLoad);
    EXPECT_TRUE(Read(Write(WithBadPoints())).settings.empty());
}

// A name missing, or empty before its NUL (found by fuzzing: it was read as
// empty and saved again as no name), takes the default name.
TEST_F(BlockContainerTest, UnnamedVariablesReadBackWithDefaultNames) {
    const CResultDataRef d = MakeColumns(
        {{nullptr, {0, 1}, {}}, {"V", {1, 2}, {}}, {nullptr, {3, 4}, {}}}, false, false);
    const std::string file = Write(d);
    // An absent name is stored as length 1 and a NUL.
    const size_t names = size_t(U64At(file, EntryAt(file, 0) + 24));
    EXPECT_EQ(U32At(file, names + 4), 1u);
    Builder b(3, 1);
    b.AddNames({{0, std::string("\0T", 2)}, {1, "V"}, {2, std::string("\0\0", 2)}}, 0, 3);
    b.AddData(0, 0, {0});
    for (const std::string& bytes : {file, b.Build()}) {
        const Loaded l = Read(bytes);
        ASSERT_TRUE(l.ok) << Message(l);
        EXPECT_EQ(test::Names(l.data), (std::vector<std::string>{"Time", "V", "Y2"}));
    }
}

// --- the layout on file ------------------------------------------------------

TEST_F(BlockContainerTest, HeaderDirectoryAndAreasFollowTheLayout) {
    const std::string f = Write(UniformThree(), {Stream("abc")});
    const std::string banner = " Kurvex file from Quellon Inc.  simulation result data file   ";
    EXPECT_EQ(std::string(f.data() + 24), banner.substr(0, 39));
    EXPECT_EQ(f.find_first_not_of('\0', 256), 1024u);
    const std::uint32_t head[] = {0xEDF094CAu, 8, 0, 100, 2, 0x10000001u};
    for (size_t k = 0; k < 6; ++k) EXPECT_EQ(U32At(f, 4 * k), head[k]) << 4 * k;
    // The user header: 7, 0, 0, 0, N, P, then zeros to 1024 bytes.
    EXPECT_EQ(U32At(f, 64), 1024u);
    EXPECT_EQ(U32At(f, 68), 1024u);
    EXPECT_EQ(f.substr(1024, 24), U32Bytes(7) + std::string(12, '\0') + U32Bytes(3) + U32Bytes(5));
    // Directory: room for 3N + 10 + 1 entries, five in use.
    const std::uint32_t room = 4 + 20 * kBlockEntryBytes;
    EXPECT_EQ(U32At(f, DirectoryAt(f)), 5u);
    EXPECT_EQ(U32At(f, kDirDescriptor + 4), 4 + 5 * kBlockEntryBytes);
    EXPECT_EQ(U32At(f, kDirDescriptor + 8), (room / 256 + 1) * 256);

    // Type, flags, kind, index, first, count and size of each entry.
    using Entry = std::vector<std::uint64_t>;
    const std::vector<Entry> want = {{1, 0, 0, 0xFFFFFFFFu, 0, 3, 3 * 8 + 5 + 6 + 6},
                                     {2, 0x10000, 0, 0, 0, 5, 124 + 24},
                                     {2, 0, 0, 1, 0, 5, 124 + 40},
                                     {2, 0, 0, 2, 0, 5, 124 + 40},
                                     {3, 0, 0, 0, 0, 0, 3}};
    std::vector<Entry> got;
    std::uint64_t previousEnd = 0;
    for (size_t k = 0; k < 5; ++k) {
        const size_t e = EntryAt(f, k);
        got.push_back({});
        for (size_t w = 0; w < 24; w += 4) got.back().push_back(U32At(f, e + w));
        const std::uint64_t at = U64At(f, e + 24), size = U64At(f, e + 32);
        got.back().push_back(size);
        EXPECT_EQ(U64At(f, e + 40), (size / 256 + 1) * 256) << k;
        EXPECT_GE(at, previousEnd) << k;
        previousEnd = at + U64At(f, e + 40);
    }
    EXPECT_EQ(got, want);
    EXPECT_EQ(previousEnd, f.size());
    // The name table holds index, length with the NUL, and the name.
    const size_t names = size_t(U64At(f, EntryAt(f, 0) + 24));
    EXPECT_EQ(f.substr(names, 13), U32Bytes(0) + U32Bytes(5) + std::string("Time", 5));
    // Variable 0's block: 124 zeros, then first, last and step.
    const size_t x = size_t(U64At(f, EntryAt(f, 1) + 24));
    EXPECT_EQ(f.substr(x, 124), std::string(124, '\0'));
    EXPECT_EQ(F64At(f, x + 124), 0.0);
    EXPECT_EQ(F64At(f, x + 132), 0.4);
    EXPECT_EQ(F64At(f, x + 140), 0.1);
}

TEST_F(BlockContainerTest, BadPointsMarkTheVariablesAfterXAndTheirFlagsAlone) {
    std::string f = Write(WithBadPoints());
    EXPECT_EQ(U32At(f, EntryAt(f, 1) + 4), 0u);
    EXPECT_EQ(U32At(f, EntryAt(f, 2) + 4), 0x101000u);
    EXPECT_EQ(U32At(f, EntryAt(f, 3) + 4), 0x101000u);
    EXPECT_EQ(U64At(f, EntryAt(f, 2) + 32), 124u + 4 * 8 + 4);
    // Flags without the mark, as another writer may leave them.
    PutU32(f, EntryAt(f, 2) + 4, kRecordPointFlags);
    PutU32(f, EntryAt(f, 3) + 4, kRecordPointFlags);
    const Loaded l = Read(f);
    ASSERT_TRUE(l.ok) << Message(l);
    // Else saving it again would drop the flags and turn bad points valid.
    EXPECT_EQ(l.data->BadPoints(), 1);
    EXPECT_EQ(Flags(l.data, 2), Flags(WithBadPoints(), 2));
}

// --- what other writers may put in a container -----------------------------

TEST_F(BlockContainerTest, SeveralBlocksPerVariableAndNameTablesAreJoined) {
    Builder b(2, 5);
    b.AddNames({{1, "V"}}, 1, 1);
    b.AddNames({{0, "X"}}, 0, 1);
    b.AddData(0, 0, {0, 1, 2});
    b.AddData(1, 3, {13, 14});
    b.AddData(0, 3, {3, 4});
    b.AddData(1, 0, {10, 11, 12}, {1, 2, 1});
    const Loaded l = Read(b.Build());
    ASSERT_TRUE(l.ok) << Message(l);
    EXPECT_EQ(test::Names(l.data), (std::vector<std::string>{"X", "V"}));
    EXPECT_EQ(Samples(l.data, 0), (std::vector<double>{0, 1, 2, 3, 4}));
    EXPECT_EQ(Samples(l.data, 1), (std::vector<double>{10, 11, 12, 13, 14}));
    EXPECT_EQ(Flags(l.data, 1), (std::vector<std::uint8_t>{1, 2, 1, 1, 1}));
    EXPECT_EQ(l.data->BadPoints(), 1);
    // Joined X blocks are tested for equal spacing like text.
    EXPECT_EQ(l.data->UniformX(), 1);
}

TEST_F(BlockContainerTest, BlocksOverTheSameRowsAreTakenInDirectoryOrder) {
    Builder b(2, 4);
    b.AddData(0, 0, {0, 1, 2, 3});
    b.AddData(1, 0, {1, 1, 1, 1}, {2, 2, 2, 2});
    b.AddData(1, 1, {7, 8});  // the later block wins rows 1 and 2
    const Loaded l = Read(b.Build());
    ASSERT_TRUE(l.ok) << Message(l);
    EXPECT_EQ(Samples(l.data, 1), (std::vector<double>{1, 7, 8, 1}));
    EXPECT_EQ(Flags(l.data, 1), (std::vector<std::uint8_t>{2, 1, 1, 2}));
}

TEST_F(BlockContainerTest, BlocksOfOtherKindsAreSkippedAndUncoveredRowsAreMissing) {
    Builder b(3, 4);
    b.AddData(0, 0, {0, 1, 2, 5});
    b.AddData(1, 0, {1, 2, 3, 4});
    b.AddData(2, 0, {9, 9, 9, 9}, {}, 2);
    b.AddData(2, 1, {7, 8});
    b.Add({.type = 9}, "ignored");
    const Loaded l = Read(b.Build());
    ASSERT_TRUE(l.ok) << Message(l);
    EXPECT_EQ(Samples(l.data, 2), (std::vector<double>{0, 7, 8, 0}));
    EXPECT_EQ(Flags(l.data, 2), (std::vector<std::uint8_t>{0, 1, 1, 0}));
    EXPECT_EQ(l.data->BadPoints(), 1);
    EXPECT_EQ(l.data->UniformX(), 0);
}

TEST_F(BlockContainerTest, RightMagicWithNoRowsOpensEmpty) {
    Builder b(2, 0);
    b.AddNames({{0, "Time"}, {1, "V"}}, 0, 2);
    Spit(Path("e.kfd"), b.Build());
    Loaded l;
    l.data.Initialise(kDataSetPlain, 1, 1, 100);
    Load(Path("e.kfd"), l);
    EXPECT_TRUE(l.ok) << Message(l);
    EXPECT_EQ(l.data->VariableCount(), 0);
    EXPECT_TRUE(l.messages.shown.empty());
}

// --- errors ------------------------------------------------------------------

TEST_F(BlockContainerTest, FileLayerErrorsNameTheFile) {
    Loaded l;
    Load(Path("absent.kfd"), l);
    EXPECT_FALSE(l.ok);
    EXPECT_EQ(Message(l), std::string(std::strerror(ENOENT)) + "\r\n\r\nCan not open file " +
                              Path("absent.kfd"));
    RecordingMessages said;
    const std::string nowhere = Path("no/such/dir/a.kfd");
    EXPECT_FALSE(WriteBlockContainer(UniformThree(), nowhere, nullptr, {}, said));
    ASSERT_EQ(said.shown.size(), 1u);
    const std::string& text = said.shown[0].first;
    EXPECT_NE(text.find("\r\n\r\nCan not open file " + nowhere), std::string::npos) << text;
    EXPECT_EQ(said.shown[0].second, MessageIcon::Stop);
}

TEST_F(BlockContainerTest, ContainerErrorsCarryTheFilerTexts) {
    const std::string good = Write(UniformThree());
    const struct {
        size_t at;
        std::uint32_t value;
        const char* text;  // null: read
    } cases[] = {
        {0, kSettingsDataMagic, "Invalid File Type"},
        {20, 0x0FFFFFFE, "Can Not Open File. (Error code : Filer #1510)"},
        {68, 20, "Can Not Open File. (Error code : Filer #1510)"},  // no room for N and P
        {116, 8, "Can Not Open File. (Error code : Filer #1511)"},
        {DirectoryAt(good), 0x7FFFFFFF, "Can Not Open File. (Error code : Filer #1511)"},
        {20, 0x10000000, nullptr},  // either feature bit alone is enough
    };
    // What the message says after the file's name.
    auto reason = [](const Loaded& l) {
        const std::string m = Message(l);
        return m.substr(m.find("\r\n\r\n") + 4);
    };
    for (const auto& c : cases) {
        std::string bytes = good;
        PutU32(bytes, c.at, c.value);
        const Loaded l = Read(bytes);
        EXPECT_EQ(l.ok, !c.text) << c.at << ": " << Message(l);
        if (c.text) {
            EXPECT_EQ(reason(l), c.text) << c.at;
        }
    }
    EXPECT_EQ(reason(Read("ab")), "Invalid File Type");
}

TEST_F(BlockContainerTest, FailedWriteKeepsTheOldFile) {
    Spit(Path("old.kfd"), "old contents");
    RecordingMessages said;
    const std::vector<CIOBuffer> tooLarge = {Stream(std::string(kIOBufferMaxTransfer + 1, 's'))};
    EXPECT_FALSE(WriteBlockContainer(UniformThree(), Path("old.kfd"), nullptr, tooLarge, said));
    ASSERT_EQ(said.shown.size(), 1u);
    EXPECT_EQ(said.shown[0].first, "IO Buffer Error: Buffer too large.");
    CResultDataRef empty;
    EXPECT_FALSE(WriteBlockContainer(empty, Path("old.kfd"), nullptr, {}, said));
    EXPECT_EQ(Slurp(Path("old.kfd")), "old contents");
}

// --- damaged files -----------------------------------------------------------

TEST_F(BlockContainerTest, EveryTruncationIsRefusedAndLeavesTheDataSetAlone) {
    const std::string whole =
        Write(MakeColumns({{"T", {0, 1}, {}}, {"V", {5, 6}, {0, 1}}}, false, true), {Stream("st")});
    // Only up to the last byte of content counts: the padding after it is slack.
    const size_t last = whole.find_last_not_of('\0') + 1;
    for (size_t cut = 0; cut < last; ++cut) {
        SCOPED_TRACE(cut);
        std::string part = whole.substr(0, cut);
        std::FILE* f = fmemopen(part.data(), std::max<size_t>(cut, 1), "rb");
        ASSERT_NE(f, nullptr);
        Loaded l;
        l.data.Initialise(kDataSetPlain, 1, 7, 100);
        l.settings.push_back(Stream("keep"));
        // fmemopen cannot hold zero bytes; a one-byte file stands in for it.
        l.ok = ReadBlockContainer(f, "c.kfd", l.data, l.settings, l.messages);
        std::fclose(f);
        ASSERT_FALSE(l.ok);
        ASSERT_EQ(l.messages.shown.size(), 1u);
        EXPECT_EQ(l.data->VariableCount(), 1);
        EXPECT_EQ(l.data->RowCapacity(), 7);
        ASSERT_EQ(l.settings.size(), 1u);
    }
}

TEST_F(BlockContainerTest, OffsetsPastTheEndAndGiantLengthsAreRefused) {
    const std::string good = Write(UniformThree());
    const size_t names = size_t(U64At(good, EntryAt(good, 0) + 24));
    const struct {
        size_t at;
        std::uint64_t value;
        bool wide;  // a 64-bit field
        const char* why;
    } cases[] = {
        {EntryAt(good, 2) + 24, good.size() - 10, true, "lies past its end"},
        {EntryAt(good, 2) + 24, ~std::uint64_t{0} - 8, true, "lies past its end"},
        {kDirDescriptor + 12, 1, false, "directory lies outside the file"},
        {names + 4, 0x80000000u, false, "the name of variable 0 is 2147483648 bytes long"},
        {EntryAt(good, 2) + 20, 0x7FFFFFF0, false, "too short"},
        {EntryAt(good, 3) + 24, U64At(good, EntryAt(good, 2) + 24) + 8, true, "overlap"},
        {EntryAt(good, 2) + 12, 3, false, "of variable 3"},
    };
    for (const auto& c : cases) {
        std::string bytes = good;
        if (c.wide)
            PutU64(bytes, c.at, c.value);
        else
            PutU32(bytes, c.at, std::uint32_t(c.value));
        ExpectRefused(bytes, c.why);
    }
}

TEST_F(BlockContainerTest, SmallFilesCannotClaimHugeDataSets) {
    // One X of three numbers generating 2^31 - 1 rows.
    Builder generated(1, 0);
    generated.AddGeneratedX(0x7FFFFFFF, 0, 1, 1);
    ExpectRefused(generated.Build(), "generated X");
    // Two generated X blocks over the same rows: each costs 24 bytes.
    Builder twice(1, 0);
    for (int k = 0; k < 2; ++k) twice.AddGeneratedX(1 << 24, 0, 1, 1);
    ExpectRefused(twice.Build(), "generated X");
    // Millions of variables claimed by a file of one row.
    Builder many(1 << 24, 0);
    many.AddData(0, 0, {1.0});
    ExpectRefused(many.Build(), "holds far fewer");
}

TEST_F(BlockContainerTest, OversizedSettingsStreamIsDroppedWithItsMessage) {
    Builder b(1, 2);
    b.AddData(0, 0, {0, 1});
    b.Add({.type = kBlockSettings}, std::string(kIOBufferMaxTransfer + 1, 's'));
    b.Add({.type = kBlockSettings}, "small");
    const Loaded l = Read(b.Build());
    EXPECT_TRUE(l.ok);
    ASSERT_EQ(l.messages.shown.size(), 1u);
    EXPECT_EQ(Message(l), "IO Buffer Error: Buffer too large.");
    EXPECT_EQ(l.data->RowCount(), 2);
    ASSERT_EQ(l.settings.size(), 1u);
    EXPECT_EQ(l.settings[0].Bytes(), "small");
}

// --- both binary formats: columns read by position on all cores ---------------

enum class Binary { Container, SettingsData };

bool WriteAs(Binary format, const CResultDataRef& d, const std::string& path,
             const char* prefix = nullptr) {
    RecordingMessages said;
    if (format == Binary::Container) return WriteBlockContainer(d, path, prefix, {}, said);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    const bool written = f && WriteSettingsDataPart(d, f, prefix);
    if (f) std::fclose(f);
    return written;
}

bool ReadAs(Binary format, const std::string& path, CResultDataRef& d, RecordingMessages& said) {
    if (format == Binary::Container) {
        std::vector<CIOBuffer> settings;
        return ReadBlockContainer(path, d, settings, said);
    }
    return LoadSettingsDataFile(path, d, nullptr, said) == DataPartResult::Read;
}

const char* Named(Binary format) {
    return format == Binary::Container ? "container" : "data and settings";
}

// Names, samples, point flags (X keeps none on file) and extents worked out
// after reading come back; uniform X is regenerated from its first value and
// step; columns longer than the pieces that the threads share go back in place
// bit for bit.
TEST_F(BlockContainerTest, DataSetsReadBackInBothFormats) {
    CResultDataRef longColumns;
    RecordingMessages said;
    const std::int32_t rows = 700001;  // 5.6 MB of samples per column
    ASSERT_TRUE(longColumns.Initialise(kDataSetPlain, 2, rows, 100));
    for (std::int32_t r = 0; r < rows; ++r) {
        const double v[2] = {r * 1e-7 + (r % 3) * 1e-9, std::sin(r * 1e-3) * (r % 5 + 1)};
        const std::uint8_t f[2] = {kPointValid, std::uint8_t(r % 7 == 3 ? r % 3 : kPointValid)};
        ASSERT_TRUE(longColumns.SetRow(r, v, f, 0, 2));
    }
    longColumns.SetName(0, "Time");
    longColumns.SetName(1, "V");
    longColumns->SetBadPoints(1);
    longColumns.UpdateExtents();
    for (const CResultDataRef& want : {UniformThree(), WithBadPoints(), longColumns}) {
        for (Binary format : {Binary::Container, Binary::SettingsData}) {
            SCOPED_TRACE(testing::Message() << Named(format) << ", " << want->RowCount()
                                            << " rows, uniform " << want->UniformX());
            ASSERT_TRUE(WriteAs(format, want, Path("r.kfd")));
            CResultDataRef got;
            ASSERT_TRUE(ReadAs(format, Path("r.kfd"), got, said));
            EXPECT_TRUE(said.shown.empty());
            EXPECT_EQ(test::Names(got), test::Names(want));
            EXPECT_EQ(got->UniformX(), want->UniformX());
            EXPECT_EQ(got->BadPoints(), want->BadPoints());
            ASSERT_EQ(got->RowCount(), want->RowCount());
            for (std::int32_t r = 0; want->UniformX() && r < want->RowCount(); ++r)
                EXPECT_NEAR(Samples(got, 0)[r], Samples(want, 0)[r], 1e-15) << r;
            EXPECT_EQ(Flags(got, 0), std::vector<std::uint8_t>(Flags(want, 0).size(), kPointValid));
            for (std::int32_t i = 0; i < want->VariableCount(); ++i) {
                if (i > 0 || !want->UniformX()) {
                    EXPECT_EQ(Samples(got, i), Samples(want, i)) << i;
                }
                if (i > 0 || Flags(want, 0) == Flags(got, 0)) {
                    EXPECT_EQ(Flags(got, i), Flags(want, i)) << i;
                    EXPECT_EQ(got->Variable(i)->Min(), want->Variable(i)->Min()) << i;
                    EXPECT_EQ(got->Variable(i)->Max(), want->Variable(i)->Max()) << i;
                }
            }
        }
    }
}

// Both formats save through the shifted, renamed copy that TextWriter's tests check.
TEST_F(BlockContainerTest, HighPassDataSetIsSavedFromAPrefixedShiftedCopyInBothFormats) {
    const CResultDataRef band = MakeColumns({{"Time", {1, 2, 3}, {0, 1, 1}}, {"v", {4, 5, 6}, {}}},
                                            false, false, kDataSetHighPass);
    for (Binary format : {Binary::Container, Binary::SettingsData}) {
        SCOPED_TRACE(Named(format));
        CResultDataRef got;
        RecordingMessages said;
        ASSERT_TRUE(WriteAs(format, band, Path("hp.kfd"), "run2"));
        ASSERT_TRUE(ReadAs(format, Path("hp.kfd"), got, said));
        EXPECT_EQ(got->Kind(), kDataSetPlain);
        EXPECT_EQ(Samples(got, 0), (std::vector<double>{-1, 0, 1}));
        EXPECT_EQ(test::Names(got), (std::vector<std::string>{"Time", "run2_v"}));
    }
}

// Every hundredth generated sample is the exact product, the ones between add
// the step; the threads' pieces start on such a sample.
TEST_F(BlockContainerTest, GeneratedXIsExactEveryHundredSamplesInBothFormats) {
    for (const std::int32_t rows : {1, 250, 1000150}) {
        for (Binary format : {Binary::Container, Binary::SettingsData}) {
            SCOPED_TRACE(testing::Message() << rows << " rows, " << Named(format));
            double first = 0.5, step = 0.1;
            if (format == Binary::Container) {
                Builder b(1, rows);
                b.AddGeneratedX(rows, first, 0, step);
                Spit(Path("x.kfd"), b.Build());
            } else {
                // Two samples make the step; the header then claims the rows.
                ASSERT_TRUE(WriteAs(format,
                                    MakeColumns({{"Time", {first, first + step}, {}}}, true, false),
                                    Path("x.kfd")));
                std::string bytes = Slurp(Path("x.kfd"));
                PutU32(bytes, 16, std::uint32_t(rows));
                step = F64At(bytes, U32At(bytes, 20) + 113 + 16);
                Spit(Path("x.kfd"), bytes);
            }
            CResultDataRef got;
            RecordingMessages said;
            ASSERT_TRUE(ReadAs(format, Path("x.kfd"), got, said));
            ASSERT_EQ(got->RowCount(), rows);
            EXPECT_EQ(got->UniformX(), 1);
            const double* x = got->Variable(0)->Values();
            double want = first;
            for (std::int32_t k = 0; k < rows; ++k) {
                want = k % 100 == 0 ? k * step + first : want + step;
                if (x[k] != want) {
                    ADD_FAILURE() << "row " << k << ": " << x[k] << " instead of " << want;
                    break;
                }
            }
        }
    }
}

using namespace std::string_literals;

using test::FilePtr;
using test::FileWith;

std::string Contents(std::FILE* f) {
    std::rewind(f);
    std::string s;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) s.append(chunk, got);
    return s;
}

// The message the catcher of a transfer shows.
std::string TransferMessage(CIOBuffer& b) {
    try {
        b.Transfer();
    } catch (const CIOBufferException& e) {
        return e.what();
    }
    return "no exception";
}

TEST(IOBuffer, EncodingsHaveTheirByteLayout) {
    CIOBuffer nested, b;
    nested.WriteInt32(5);
    b.WriteInt32(-2);
    b.WriteUInt32(0x00123456);  // a colour
    b.WriteDouble(1.0);
    b.WriteString("");
    b.WriteString("ab");
    b.AppendBuffer(nested);
    b.AppendBuffer(CIOBuffer());
    b.WriteBytes("xyz", 3);
    EXPECT_EQ(b.Bytes(), "\xFE\xFF\xFF\xFF"s + "\x56\x34\x12\x00"s + "\0\0\0\0\0\0\xF0\x3F"s +
                             "\x01\0\0"s + "\x03\0ab\0"s + "\x04\0\0\0\x05\0\0\0"s + "\0\0\0\0"s +
                             "xyz"s);
}

TEST(IOBuffer, LongStringIsCutToWhatItsLengthWordCanSay) {
    CIOBuffer b;
    b.WriteString(std::string(70000, 'q'));
    EXPECT_EQ(b.Size(), 2u + 65535u);
    const std::string back = b.ReadString();
    EXPECT_EQ(back.size(), 65534u);
    EXPECT_TRUE(b.AtEnd());
}

// Numbers and text round trips are in ExchangeRunsOneSequenceBothWays.
TEST(IOBuffer, NestedBufferReadsBackWithTheVersionOfItsHolder) {
    CIOBuffer inner;
    inner.WriteInt32(42);
    CIOBuffer b;
    b.SetVersion(7, 1);
    b.AppendBuffer(inner);
    b.WriteInt32(9);
    CIOBuffer n = b.ReadBuffer();
    EXPECT_EQ(n.Mode(), kIOBufferLoad);
    EXPECT_EQ(n.Major(), 7);
    EXPECT_EQ(n.Minor(), 1);
    EXPECT_EQ(n.ReadInt32(), 42);
    EXPECT_EQ(b.ReadInt32(), 9);
    // A length past the end takes what is left.
    b.Assign(test::U32Bytes(0x80000000u) + "abc");
    EXPECT_EQ(b.ReadBuffer().Bytes(), "abc");
    EXPECT_EQ(b.ReadBuffer().Size(), 0u);
}

TEST(IOBuffer, ReadingPastTheEndGivesZerosAndEmptyText) {
    // Three bytes cannot make a number; of three asked for, two are there.
    CIOBuffer b;
    b.Assign("\x07\0\0"s);
    EXPECT_EQ(b.ReadInt32(), 0);
    EXPECT_TRUE(b.AtEnd());
    EXPECT_EQ(b.ReadDouble(), 0.0);
    b.Assign("\x09\x08");
    char three[3] = {'a', 'b', 'c'};
    b.ReadBytes(three, 3);
    EXPECT_EQ(std::string(three, 3), "\x09\x08\0"s);
}

TEST(IOBuffer, StringReadsTable) {
    const struct {
        std::string bytes;
        std::string text;
        size_t position;  // after the read
    } cases[] = {
        {"\x01\0\0"s, "", 3},            // written empty
        {"\0\0"s, "", 2},                // length 0
        {"\x03\0ab\0"s, "ab", 5},        // plain
        {"\x05\0ab"s, "", 4},            // the data ends inside the text
        {"\x01"s, "", 1},                // the data ends inside the length
        {"\x04\0a\0b\0"s, "a", 6},       // the text ends at its NUL
        {"\x02\0zz\x02\0y\0"s, "z", 4},  // a missing NUL does not read on
    };
    for (const auto& c : cases) {
        CIOBuffer b;
        b.Assign(c.bytes);
        EXPECT_EQ(b.ReadString(), c.text) << c.bytes;
        EXPECT_EQ(b.Position(), c.position) << c.bytes;
    }
}

TEST(IOBuffer, ExchangeRunsOneSequenceBothWays) {
    struct Record {
        std::int32_t count = 0;
        std::uint32_t colour = 0;
        double from = 0.0;
        std::string label;
        char font[4] = {};
        void Io(CIOBuffer& b) {
            b.Exchange(count);
            b.Exchange(colour);
            b.Exchange(from);
            b.Exchange(label);
            b.ExchangeBytes(font, sizeof font);
        }
        bool operator==(const Record&) const = default;
    };
    Record out{-3, 0x00FF8000, 2.5e-7, "Y(2)", {'A', 'r', 0, 1}};
    CIOBuffer b;
    b.SetMode(kIOBufferStore);
    out.Io(b);
    b.Rewind();
    b.SetMode(kIOBufferLoad);
    Record in;
    in.Io(b);
    EXPECT_TRUE(in == out);

    CIOBuffer idle;
    std::int32_t v = 1;
    try {
        idle.Exchange(v);
        ADD_FAILURE() << "an idle buffer cannot exchange";
    } catch (const CIOBufferException& e) {
        EXPECT_EQ(e.GetCause(), CIOBufferException::kOther);
    }
}

TEST(IOBuffer, StoreRefusesEmptyAndOversizedBuffers) {
    FilePtr f(std::tmpfile());
    const struct {
        size_t size;
        const char* message;
    } cases[] = {
        {0, "IO Buffer Error: Attempt to save empty buffer."},
        {4000001, "IO Buffer Error: Buffer too large."},
    };
    for (const auto& c : cases) {
        CIOBuffer b;
        b.WriteBytes(std::string(c.size, 'x').data(), c.size);
        b.SetMode(kIOBufferStore);
        b.Attach(f.get());
        EXPECT_EQ(TransferMessage(b), c.message);
        EXPECT_EQ(b.Size(), c.size);  // nothing lost
    }
    EXPECT_EQ(Contents(f.get()), "");  // nothing written either

    CIOBuffer idle;
    idle.WriteInt32(1);
    idle.Attach(f.get());
    EXPECT_EQ(TransferMessage(idle), "Operation Aborted due to IO Buffer Error.");
    CIOBuffer detached;
    detached.WriteInt32(1);
    detached.SetMode(kIOBufferStore);
    EXPECT_EQ(TransferMessage(detached), "Operation Aborted due to IO Buffer Error.");
}

TEST(IOBuffer, StoreWritesLengthAndBytesAndEmptiesUnlessKept) {
    FilePtr f(std::tmpfile());
    CIOBuffer b;
    b.SetMode(kIOBufferStore);
    b.Attach(f.get());
    b.WriteString("ab");
    ASSERT_TRUE(b.Transfer(true));
    EXPECT_EQ(b.Bytes(), "\x03\0ab\0"s);
    ASSERT_TRUE(b.Transfer());
    EXPECT_EQ(b.Size(), 0u);
    EXPECT_EQ(Contents(f.get()),
              test::U32Bytes(5) + "\x03\0ab\0"s + test::U32Bytes(5) + "\x03\0ab\0"s);

    // The limit itself still goes.
    FilePtr big(std::tmpfile());
    CIOBuffer most;
    most.WriteBytes(std::string(kIOBufferMaxTransfer, 'm').data(), kIOBufferMaxTransfer);
    most.SetMode(kIOBufferStore);
    most.Attach(big.get());
    ASSERT_TRUE(most.Transfer());
    EXPECT_EQ(Contents(big.get()).size(), 4u + kIOBufferMaxTransfer);
}

// A block is loaded as far as the file holds it; one over the limit is refused.
TEST(IOBuffer, LoadReadsWhatTheFileHolds) {
    const struct {
        const char* what;
        std::string file;
        std::string loaded;
        const char* refusal = nullptr;
    } cases[] = {
        {"block", test::U32Bytes(3) + "abc" + "after", "abc"},
        {"short length", "\x03\0"s, ""},
        {"zero length", test::U32Bytes(0) + "abc", ""},
        {"truncated block", test::U32Bytes(10) + "abc", "abc"},
        {"at the limit", test::U32Bytes(kIOBufferMaxTransfer) + "z", "z"},
        {"over the limit", test::U32Bytes(kIOBufferMaxTransfer + 1) + std::string(16, 'x'), "",
         "IO Buffer Error: Buffer too large."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FilePtr f = FileWith(c.file);
        CIOBuffer b;
        b.WriteString("stale");
        b.SetMode(kIOBufferLoad);
        b.Attach(f.get());
        if (c.refusal) {
            EXPECT_EQ(TransferMessage(b), c.refusal);
        } else {
            ASSERT_TRUE(b.Transfer());
            EXPECT_EQ(b.Position(), 0u);
            EXPECT_EQ(b.Mode(), kIOBufferLoad);
        }
        EXPECT_EQ(b.Bytes(), c.loaded);
    }
}

}  // namespace
}  // namespace kurvex
