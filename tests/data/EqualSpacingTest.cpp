// Whether a text file's X is found equally spaced: every step counts, the
// first and the last included, and a file of two rows has one step to judge.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "TestSupport.h"
#include "data/formats/TextReader.h"
#include "data/platform/ByteSource.h"

namespace kurvex {
namespace {

TEST(TextReader, EqualSpacingLooksAtEveryStepOfX) {
    struct Case {
        const char* text;
        std::int32_t uniform;
    };
    const Case cases[] = {
        {"T V\n0 1\n1 2\n", 1},
        {"T V\n0 1\n", 0},
        {"T V\n0 1\n1 2\n2 3\n3 4\n", 1},
        {"T V\n0 1\n1 2\n2 3\n4 4\n", 0},  // only the last step differs
        {"T V\n0 1\n2 2\n3 3\n4 4\n", 0},  // only the first
        {"T V\r\n0 1\r\n0.5 2\r\n1 3\r\n", 1},
        {"0 1\n1 2\n2 3\n", 1},  // no name line
        {"T V\n0 1\n1 2\n__________\n0 5\n1 6\n", 1},
        // A longer second block leaves X missing past the first: no step there.
        {"T V\n0 1\n1 2\n__________\n0 5\n1 6\n2 7\n", 0},
    };
    for (const Case& c : cases) {
        MemoryByteSource source{std::string_view(c.text)};
        CResultDataRef data;
        std::vector<std::string> names;
        test::RecordingMessages messages;
        ASSERT_TRUE(ReadTextResult(source, data, names, messages)) << c.text;
        EXPECT_EQ(data->UniformX(), c.uniform) << c.text;
    }
}

}  // namespace
}  // namespace kurvex
