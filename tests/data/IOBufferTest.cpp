#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "data/BinaryTestSupport.h"
#include "data/platform/IOBuffer.h"

namespace kurvex {
namespace {

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
    CIOBuffer nested;
    nested.WriteInt32(5);
    const struct {
        const char* what;
        void (*write)(CIOBuffer&, const CIOBuffer&);
        std::string bytes;
    } cases[] = {
        {"int", [](CIOBuffer& b, const CIOBuffer&) { b.WriteInt32(-2); }, "\xFE\xFF\xFF\xFF"s},
        {"colour", [](CIOBuffer& b, const CIOBuffer&) { b.WriteUInt32(0x00123456); },
         "\x56\x34\x12\x00"s},
        {"double", [](CIOBuffer& b, const CIOBuffer&) { b.WriteDouble(1.0); },
         "\0\0\0\0\0\0\xF0\x3F"s},
        {"empty string", [](CIOBuffer& b, const CIOBuffer&) { b.WriteString(""); }, "\x01\0\0"s},
        {"string", [](CIOBuffer& b, const CIOBuffer&) { b.WriteString("ab"); }, "\x03\0ab\0"s},
        {"nested", [](CIOBuffer& b, const CIOBuffer& n) { b.AppendBuffer(n); },
         "\x04\0\0\0\x05\0\0\0"s},
        {"empty nested", [](CIOBuffer& b, const CIOBuffer&) { b.AppendBuffer(CIOBuffer()); },
         "\0\0\0\0"s},
        {"bytes", [](CIOBuffer& b, const CIOBuffer&) { b.WriteBytes("xyz", 3); }, "xyz"s},
    };
    for (const auto& c : cases) {
        CIOBuffer b;
        c.write(b, nested);
        EXPECT_EQ(b.Bytes(), c.bytes) << c.what;
    }
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
    inner.WriteString("inner");
    inner.WriteInt32(42);
    CIOBuffer b;
    b.SetVersion(7, 1);
    b.WriteString("");
    b.AppendBuffer(inner);
    b.WriteBytes("\x01\x02", 2);
    EXPECT_EQ(b.ReadString(), "");
    CIOBuffer n = b.ReadBuffer();
    EXPECT_EQ(n.Mode(), kIOBufferLoad);
    EXPECT_EQ(n.Major(), 7);
    EXPECT_EQ(n.Minor(), 1);
    EXPECT_EQ(n.ReadString(), "inner");
    EXPECT_EQ(n.ReadInt32(), 42);
    EXPECT_TRUE(n.AtEnd());
    char two[2];
    b.ReadBytes(two, 2);
    EXPECT_EQ(std::string(two, 2), "\x01\x02");
    EXPECT_TRUE(b.AtEnd());
    // A length past the end takes what is left.
    b.Assign(test::U32Bytes(0x80000000u) + "abc");
    EXPECT_EQ(b.ReadBuffer().Bytes(), "abc");
    EXPECT_TRUE(b.AtEnd());
    EXPECT_EQ(b.ReadBuffer().Size(), 0u);
}

TEST(IOBuffer, ReadingPastTheEndGivesZerosAndEmptyText) {
    // Three bytes cannot make a number.
    for (const std::string& bytes : {""s, "\x07\0\0"s}) {
        CIOBuffer b;
        b.Assign(bytes);
        EXPECT_EQ(b.ReadInt32(), 0);
        EXPECT_TRUE(b.AtEnd());
        EXPECT_EQ(b.ReadString(), "");
        EXPECT_EQ(b.ReadBuffer().Size(), 0u);
        EXPECT_EQ(b.ReadDouble(), 0.0);
        char bytes3[3] = {'a', 'b', 'c'};
        b.ReadBytes(bytes3, 3);
        EXPECT_EQ(std::string(bytes3, 3), "\0\0\0"s);
    }
    CIOBuffer partial;
    partial.Assign("\x09\x08");
    char three[3] = {'a', 'b', 'c'};
    partial.ReadBytes(three, 3);
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
        {"\xFF\xFF"s + std::string(10, 'x'), "", 12},
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
    };
    Record out{-3, 0x00FF8000, 2.5e-7, "Y(2)", {'A', 'r', 0, 1}};
    CIOBuffer b;
    b.SetMode(kIOBufferStore);
    out.Io(b);
    b.Rewind();
    b.SetMode(kIOBufferLoad);
    Record in;
    in.Io(b);
    EXPECT_EQ(in.count, out.count);
    EXPECT_EQ(in.colour, out.colour);
    EXPECT_EQ(in.from, out.from);
    EXPECT_EQ(in.label, out.label);
    EXPECT_EQ(std::string(in.font, 4), std::string(out.font, 4));

    CIOBuffer idle;
    std::int32_t v = 1;
    try {
        idle.Exchange(v);
        ADD_FAILURE() << "an idle buffer cannot exchange";
    } catch (const CIOBufferException& e) {
        EXPECT_EQ(e.GetCause(), CIOBufferException::kOther);
    }
}

TEST(IOBuffer, MoveLeavesTheSourceEmptyAndIdle) {
    CIOBuffer a;
    a.SetMode(kIOBufferLoad);
    a.SetVersion(7, 1);
    a.WriteInt32(9);
    CIOBuffer b;
    b.WriteString("old");
    b.Move(a);
    EXPECT_EQ(b.Mode(), kIOBufferLoad);
    EXPECT_EQ(b.Major(), 7);
    EXPECT_EQ(b.ReadInt32(), 9);
    EXPECT_EQ(a.Size(), 0u);
    EXPECT_EQ(a.Mode(), kIOBufferIdle);
    CIOBuffer c(std::move(b));
    EXPECT_EQ(c.Size(), 4u);
    EXPECT_EQ(b.Size(), 0u);  // NOLINT(bugprone-use-after-move): moved-from is defined empty

    c.Reset();
    EXPECT_EQ(c.Size(), 0u);
    EXPECT_EQ(c.Position(), 0u);
    EXPECT_EQ(c.Mode(), kIOBufferIdle);
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
        {"no block", "", ""},
        {"short length", "\x03\0"s, ""},
        {"zero length", test::U32Bytes(0) + "abc", ""},
        {"truncated block", test::U32Bytes(10) + "abc", "abc"},
        {"at the limit", test::U32Bytes(kIOBufferMaxTransfer) + "z", "z"},
        {"over the limit", test::U32Bytes(kIOBufferMaxTransfer + 1) + std::string(16, 'x'), "",
         "IO Buffer Error: Buffer too large."},
        {"4 GB", test::U32Bytes(0xFFFFFFFFu) + std::string(16, 'x'), "",
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
