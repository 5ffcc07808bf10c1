#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "data/formats/QuotedNames.h"
#include "data/formats/TextReader.h"
#include "data/formats/TextWriter.h"
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

// A data set written as delimited text reads back with the same names.
TEST(QuotedNames, DelimitedFilesReadBackTheirNames) {
    const Names written = {"Time", "V(out)", "a,b", "say\"hi\"", "I out"};
    CResultDataRef d;
    d.Initialise(kDataSetPlain, static_cast<std::int32_t>(written.size()), 2, 100);
    std::vector<double> values(written.size(), 1.0);
    std::vector<std::uint8_t> flags(written.size(), kPointValid);
    for (size_t i = 0; i < written.size(); ++i)
        d.SetName(static_cast<std::int32_t>(i), written[i].c_str());
    d.SetRow(0, values.data(), flags.data(), 0, -1);
    values[0] = 2.0;
    d.SetRow(1, values.data(), flags.data(), 0, -1);
    for (int mode : {kExportComma, kExportTab}) {
        SCOPED_TRACE(mode);
        const std::string text =
            test::Written([&](std::FILE* f) { return ExportDataSet(d, f, nullptr, mode); });
        const std::string sep = mode == kExportComma ? "," : "\t";
        EXPECT_EQ(text.substr(0, text.find("\r\n")), "Time" + sep + "V(out)" + sep + "\"a,b\"" +
                                                         sep + "\"say\"\"hi\"\"\"" + sep + "I_out");
        MemoryByteSource source(text);
        CResultDataRef back;
        Names names;
        RecordingMessages messages;
        ASSERT_TRUE(ReadTextResult(source, back, names, messages));
        EXPECT_EQ(names, (Names{"Time", "V(out)", "a,b", "say\"hi\"", "I_out"}));
        EXPECT_EQ(back->RowCount(), 2);
    }
}

}  // namespace
}  // namespace kurvex
