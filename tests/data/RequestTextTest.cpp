#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/formats/RequestText.h"

namespace kurvex {
namespace {

TEST(RequestText, ExpandsNamePatterns) {
    struct Case {
        std::string text;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"/r/buck.txt", {"/r/buck.txt"}},
        {"/r/run<1,2>.txt", {"/r/run1.txt", "/r/run2.txt"}},
        {"<a>", {"a"}},
        {"/r/x<,1,,2,>.kfd", {"/r/x1.kfd", "/r/x2.kfd"}},
        {"/r/x<>.kfd", {}},
        {"", {}},
        // Without a ">" after the "<" the text is one plain name.
        {"/r/a<1,2.txt", {"/r/a<1,2.txt"}},
        {"/r/a>1<2.txt", {"/r/a>1<2.txt"}},
        // The first ">" after the "<" closes the list.
        {"p<1,2>s>t", {"p1s>t", "p2s>t"}},
        {"/d/Ü<ä,ö>", {"/d/Üä", "/d/Üö"}},
    };
    for (const Case& c : cases) EXPECT_EQ(ExpandFileNamePattern(c.text), c.names) << c.text;
}

TEST(RequestText, RefusesBadRequestsWithoutTruncating) {
    struct Case {
        std::string bytes;
        bool accepted;
    };
    const std::string longest(kMaxRequestBytes, 'a');
    const Case cases[] = {
        {"/tmp/buck.txt", true},
        {"/tmp/a<1,2>.txt", true},
        {"/tmp/\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80.txt", true},  // ä € and an emoji
        {longest, true},
        {"", false},
        {longest + "a", false},
        {std::string("/tmp/a\0b.txt", 12), false},
        {"/tmp/x<>.txt", false},
        {"/tmp/\xE4.txt", false},          // Latin-1 ä
        {"/tmp/\xC0\xAF", false},          // overlong "/"
        {"/tmp/\xE0\x80\xAF", false},      // overlong "/" in three bytes
        {"/tmp/\xED\xA0\x80", false},      // a surrogate
        {"/tmp/\xF4\x90\x80\x80", false},  // beyond U+10FFFF
        {"/tmp/\xF0\x9F\x98", false},      // cut short at the end
        {"/tmp/\xE2\x82"
         "a",
         false},               // cut short before a plain byte
        {"/tmp/\x80", false},  // a lone continuation byte
        {"/tmp/\xFF\xFE", false},
        {"--runs\n/tmp/<1,2>/out.raw", true},
        {"--runs\n", false},
        {"--runs\n/tmp/x<>.txt", false},
    };
    for (const Case& c : cases) {
        const std::string reason = RequestRefusal(c.bytes);
        EXPECT_EQ(reason.empty(), c.accepted) << c.bytes.size() << " bytes: " << reason;
    }
    std::string runs = "--runs\n/a<1,2>";
    EXPECT_TRUE(TakeRunsFlag(runs));
    EXPECT_EQ(runs, "/a<1,2>");
    EXPECT_FALSE(TakeRunsFlag(runs));  // only a leading flag counts
    std::string name = "/--runs\n";
    EXPECT_FALSE(TakeRunsFlag(name));
}

}  // namespace
}  // namespace kurvex
