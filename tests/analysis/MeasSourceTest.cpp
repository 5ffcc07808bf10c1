#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "analysis/MeasSource.h"

namespace kurvex {
namespace {

struct SourceCase {
    const char* file;
    std::string text;
    std::vector<MeasSourceLine> lines;
    const char* says = nullptr;  // the refusal's reason; null: read
};

std::string Show(const std::vector<MeasSourceLine>& lines) {
    std::string s;
    for (const MeasSourceLine& l : lines) s += std::to_string(l.line) + ": " + l.text + "\n";
    return s;
}

TEST(MeasSource, GivesTheStatementLinesWithTheirNumbersOrRefusesWhatIsNoText) {
    // Past the first 64 KB a bad byte goes unseen: a cut character must not count.
    std::string cut(64 * 1024 - 1, 'a');
    cut += "\xC3\xA9 ok";
    const std::vector<SourceCase> cases = {
        {"plain.meas",
         "* comment\r\n.meas tran a AVG v(x)\n+ FROM=1 TO=2\n\n",
         {{1, "* comment"}, {2, ".meas tran a AVG v(x)"}, {3, "+ FROM=1 TO=2"}, {4, ""}}},
        // The title line is no statement; continuations follow through comments
        // and only after a taken line; the control block's commands get a dot.
        {"deck.cir",
         ".meas tran title AVG v(x)\n"
         "R1 a b 1k\n"
         "+ 2k\n"
         ".MEASURE TRAN m MAX v(a)\n"
         "* between\n"
         "+ FROM=1u\n"
         ".tran 1n 1u\n"
         ".control\n"
         "  meas tran c MIN v(b)\n"
         "measure tran d PP v(b)\n"
         "  run\n"
         ".endc\n"
         ".end\n"
         ".meas tran after AVG v(a)\n",
         {{4, ".MEASURE TRAN m MAX v(a)"},
          {6, "+ FROM=1u"},
          {9, " .meas tran c MIN v(b)"},
          {10, ".measure tran d PP v(b)"}}},
        // A netlist by what it holds, whatever its name.
        {"deck.txt",
         "title\n.tran 1n 1u\n.meas tran a AVG v(x)\nV1 x 0 1\n",
         {{3, ".meas tran a AVG v(x)"}}},
        {"amp.asc",
         "Version 4\n"
         "SHEET 1 880 680\n"
         "TEXT -48 400 Left 2 !.meas tran a AVG V(out)\n"
         "TEXT -48 440 Left 2 ;.meas tran commented AVG V(out)\n"
         "TEXT -48 480 Left 2 !.tran 1m\\n.meas tran b MAX V(out)\\n+ FROM=1m\\n.op\n",
         {{3, ".meas tran a AVG V(out)"}, {5, ".meas tran b MAX V(out)"}, {5, "+ FROM=1m"}}},
        {"cut.meas", cut, {{1, cut}}},
        {"nul.meas", std::string(".meas tran a AVG v(x)\n\0\n", 24), {}, "NUL"},
        {"latin1.cir", "title\n.meas tran a AVG v(\xB5)\n", {}, "not UTF-8"},
        {"big.meas", std::string(kMeasSourceMaxBytes + 1, 'x'), {}, "larger than 4 MB"},
    };
    const auto dir = test::FreshDir("meas-source");
    for (const SourceCase& c : cases) {
        test::Spit(dir / c.file, c.text);
        std::vector<MeasSourceLine> lines;
        std::string error;
        EXPECT_EQ(ReadMeasSource((dir / c.file).string(), lines, error), !c.says) << c.file;
        if (c.says) {
            EXPECT_NE(error.find(c.says), std::string::npos) << c.file << ": " << error;
            EXPECT_NE(error.find(c.file), std::string::npos) << error;
        } else {
            EXPECT_EQ(Show(lines), Show(c.lines)) << c.file << ": " << error;
        }
    }
    std::vector<MeasSourceLine> lines;
    std::string error;
    EXPECT_FALSE(ReadMeasSource((dir / "none.meas").string(), lines, error));
    EXPECT_NE(error.find("none.meas"), std::string::npos) << error;
}

}  // namespace
}  // namespace kurvex
