#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "data/formats/QuotedNames.h"
#include "data/formats/TextReader.h"
#include "data/platform/ByteSource.h"

namespace kurvex {
namespace {

using test::RecordingMessages;
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
    MemoryByteSource quotedData("\"Time\",\"V(out)\",\"I(L1)\"\r\n0,1,2\r\n1e-6,3,\"4\"x\r\n");
    CResultDataRef data;
    Names names;
    RecordingMessages messages;
    // Data lines are read as before: a quoted number is no number.
    EXPECT_FALSE(ReadTextResult(quotedData, data, names, messages));
    EXPECT_EQ(names, (Names{"Time", "V(out)", "I(L1)"}));

    MemoryByteSource plain("; spreadsheet export\n\"Time\",\"V(out)\"\n0,1\n1e-6,3\n");
    ASSERT_TRUE(ReadTextResult(plain, data, names, messages));
    EXPECT_EQ(data->Variable(0)->Name(), "Time");
    EXPECT_EQ(data.FindVariable("V(out)"), 1);
    EXPECT_EQ(data->Variable(1)->Values()[1], 3.0);

    MemoryByteSource open("; header\n\n\"Time\",\"V(out)\n0,1\n");
    RecordingMessages refused;
    EXPECT_FALSE(ReadTextResult(open, data, names, refused));
    ASSERT_EQ(refused.shown.size(), 1u);
    EXPECT_EQ(refused.shown[0].first, "Invalid file. Error at line 3.");
}

}  // namespace
}  // namespace kurvex
