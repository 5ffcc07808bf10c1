#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "data/NumberText.h"

namespace kurvex {
namespace {

double Parse(const std::string& s) {
    return ParseDecimal(s.data(), s.data() + s.size());
}

TEST(NumberText, ReadsWhatStrtodReadsIncludingPlusAndFortranExponents) {
    EXPECT_EQ(Parse("1.5D+02"), 150.0);
    EXPECT_EQ(Parse("1.5d3"), 1500.0);
    EXPECT_EQ(Parse("+2.5"), 2.5);
    EXPECT_EQ(Parse("-.5"), -0.5);
    EXPECT_EQ(Parse("1.E2"), 100.0);
    EXPECT_EQ(Parse("1.5.3"), 1.5);  // longest numeric prefix
    EXPECT_EQ(Parse("1e"), 1.0);
    EXPECT_EQ(Parse("+-1"), 0.0);
    EXPECT_EQ(Parse("-"), 0.0);
    EXPECT_EQ(Parse("e5"), 0.0);
    EXPECT_EQ(Parse(""), 0.0);
    EXPECT_EQ(Parse("1.234567890123456789E-05"), std::strtod("1.234567890123456789E-05", nullptr));
}

TEST(NumberText, OutOfRangeFollowsStrtod) {
    EXPECT_EQ(Parse("1e-400"), 0.0);
    EXPECT_TRUE(std::isinf(Parse("1e400")));
    EXPECT_LT(Parse("-1D400"), 0.0);
    EXPECT_EQ(Parse("4.9e-324"), std::strtod("4.9e-324", nullptr));  // denormal, not an error
}

TEST(NumberText, LongTokensAreReadInFull) {
    const std::string digits = "0." + std::string(300, '0') + "1d301";
    EXPECT_DOUBLE_EQ(Parse(digits), 1.0);
}

TEST(NumberText, FormatGrowsForLongOutput) {
    EXPECT_EQ(Format("%.2f|%s|%d", 1.25, "a", 7), "1.25|a|7");
    EXPECT_EQ(Format("%s", std::string(1000, 'x').c_str()), std::string(1000, 'x'));
}

}  // namespace
}  // namespace kurvex
