#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "analysis/FftSizeTable.h"

namespace kurvex {
namespace {

// Independent of the generator: counts by sieving the smallest prime factor.
std::vector<std::int32_t> SmoothOddNumbers(std::int32_t limit) {
    std::vector<std::int32_t> largest(static_cast<size_t>(limit), 0);
    for (std::int32_t p = 2; p < limit; ++p) {
        if (largest[static_cast<size_t>(p)] != 0) continue;
        for (std::int32_t m = p; m < limit; m += p) largest[static_cast<size_t>(m)] = p;
    }
    std::vector<std::int32_t> out;
    for (std::int32_t n = 3; n < limit; n += 2)
        if (largest[static_cast<size_t>(n)] <= 41) out.push_back(n);
    return out;
}

TEST(FftSizeTable, HoldsEveryOddNumberWithPrimeFactorsUpTo41AndSnapsToTheNearer) {
    const FftSizeTable& table = FftSizeTable::Instance();
    ASSERT_EQ(table.Count(), 9777u);
    const std::vector<std::int32_t> expected = SmoothOddNumbers(2000000);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), table.Entries().begin(),
                           table.Entries().end()));
    // Snap takes the nearer neighbour and the lower on a tie.
    const std::int32_t last = table.Entries().back();
    const std::pair<std::int32_t, std::int32_t> cases[] = {
        {30001, 30015},                                        // 14 above, 76 below
        {29926, 29925}, {29970, 29925},                        // tie: 45 either way
        {29971, 30015}, {30015, 30015},                        // an entry keeps itself
        {29925, 29925}, {last, last},   {last + 1, last + 1},  // nothing above: stays
        {2, 2},  // nothing below the first entry above
    };
    for (const auto& [n, expected] : cases) EXPECT_EQ(table.Snap(n), expected) << n;
}

}  // namespace
}  // namespace kurvex
