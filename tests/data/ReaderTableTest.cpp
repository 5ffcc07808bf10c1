#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "data/formats/ReaderTable.h"

namespace kurvex {
namespace {

namespace fs = std::filesystem;

// A file of `bytes` in the test's folder.
fs::path Written(const std::string& name, const std::string& bytes) {
    const fs::path path = test::ProcessDir() / name;
    test::Spit(path, bytes);
    return path;
}

std::string Magic(std::uint32_t magic) {
    std::string bytes;
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>(magic >> (8 * i) & 0xFF);
    return bytes + std::string(60, '\0');
}

// The opening of a Modelica result: the level-4 text matrix Aclass, 4 x 11.
std::string ModelicaClass() {
    std::string bytes;
    for (const std::uint32_t word : {51u, 4u, 11u, 0u, 7u})
        for (int i = 0; i < 4; ++i) bytes += static_cast<char>(word >> (8 * i) & 0xFF);
    bytes += std::string("Aclass", 7);
    const char* rows[] = {"Atrajectory", "1.1        ", "           ", "binTrans   "};
    for (int col = 0; col < 11; ++col)
        for (const char* row : rows) bytes += row[col];
    return bytes;
}

// Each reader's own sample is claimed by it and by no reader before it, so
// that every file keeps the reader the table's order gives it.
TEST(ReaderTable, EachSampleIsClaimedFirstByItsOwnReader) {
    struct Case {
        const char* reader;
        fs::path path;
    };
    const Case cases[] = {
        {"SPICE raw", fs::path(KURVEX_SPICE_DIR) / "rc_tran.raw"},
        {"settings and data", Written("s.kfd", Magic(0xEDF094C9u))},
        {"block container", Written("b.kfd", Magic(0xEDF094CAu))},
        {"LeCroy waveform", Written("w.trc", "#9000000400WAVEDESC" + std::string(8, '\0') +
                                                 "LECROY_2_3" + std::string(100, '\0'))},
        {"Tektronix ISF",
         Written("w.isf", ":WFMPRE:BYT_NR 1;NR_PT 1;XINCR 1;YMULT 1;:CURVE #11\x01")},
        {"Modelica result", Written("r.mat", ModelicaClass())},
        {"Keysight BIN", Written("k.bin", std::string("AG10\x0c\0\0\0\1\0\0\0", 12))},
        {"Tektronix WFM", Written("w.wfm", "\x0f\x0f:WFM#003" + std::string(100, '\0'))},
        {"recognised, not read", Written("d.vcd", "$date today $end\n$timescale 1 ns $end\n")},
        {"MATLAB", fs::path(KURVEX_MAT_DIR) / "matrix5.mat"},
        {"COMTRADE", fs::path(KURVEX_COMTRADE_DIR) / "hand.cfg"},
        {"COMTRADE data", fs::path(KURVEX_COMTRADE_DIR) / "hand.dat"},
        {"oscilloscope CSV", Written("k.csv", "x-axis,1\nsecond,Volt\n0,1\n1,2\n")},
        {"text", Written("t.txt", "time v\n0 1\n1 2\n")},
    };
    const std::vector<ReaderRow>& table = ReaderTable();
    ASSERT_EQ(table.size(), std::size(cases));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reader);
        std::string head, error;
        ASSERT_TRUE(ReadHead(c.path.string(), head, error)) << error;
        const auto own = std::find_if(table.begin(), table.end(), [&](const ReaderRow& row) {
            return std::string(row.name) == c.reader;
        });
        ASSERT_NE(own, table.end());
        for (auto row = table.begin(); row != own; ++row)
            EXPECT_FALSE(row->looksLike(head, c.path.string())) << row->name << " claims it";
        EXPECT_EQ(&ReaderFor(head, c.path.string()), &*own);
    }
}

}  // namespace
}  // namespace kurvex
