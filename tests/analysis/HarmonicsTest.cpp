#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "analysis/Harmonics.h"

namespace kurvex {
namespace {

TEST(Harmonics, SpectraWithoutAFundamentalSaySo) {
    struct Case {
        std::vector<double> amplitude;  // bins 1 Hz apart
        std::optional<double> fundamental;
        const char* error;  // a part of the message
    };
    const Case cases[] = {
        {{3.0}, std::nullopt, "no frequency above 0 Hz"},
        {{5.0, 0.0, 0.0}, std::nullopt, "0 at every frequency above 0 Hz"},
        {{5.0, 1.0, 1.0}, 0.4, "falls into the bin at 0 Hz"},
        {{5.0, 1.0, 1.0}, 0.0, "must lie above 0 Hz"},
        {{5.0, 1.0, 1.0}, 2.6, "lies beyond the spectrum"},
        {{5.0, 1.0, 0.0}, 2.0, "is 0 at the fundamental 2 Hz"},
    };
    for (const Case& c : cases) {
        std::vector<double> f;
        for (std::size_t k = 0; k < std::max<std::size_t>(c.amplitude.size(), 1); ++k)
            f.push_back(static_cast<double>(k));
        const Harmonics h = FindHarmonics(f, c.amplitude, c.fundamental);
        EXPECT_FALSE(h.Ok());
        EXPECT_NE(h.error.find(c.error), std::string::npos) << h.error;
        EXPECT_TRUE(h.rows.empty());
        EXPECT_FALSE(h.thd);
    }
}

TEST(Harmonics, OrdersFollowTheFundamentalUpToTheLastBin) {
    std::vector<double> f, a;
    for (int k = 0; k < 200; ++k) {
        f.push_back(0.5 * k);
        a.push_back(k == 2 || k == 3 ? 4.0 : 0.1);  // the first of two equal peaks wins
    }
    Harmonics h = FindHarmonics(f, a);
    ASSERT_TRUE(h.Ok());
    EXPECT_EQ(h.fundamentalBin, 2);
    EXPECT_EQ(h.fundamental, 1.0);
    EXPECT_EQ(h.rows.size(), 50u);  // at most 50 orders
    EXPECT_EQ(h.rows.back().frequency, 50.0);
    EXPECT_NEAR(*h.thd, 100.0 * std::sqrt(49 * 0.1 * 0.1) / 4.0, 1e-12);  // orders 2..50

    // A given fundamental takes the nearest bin; with no second order within
    // the spectrum there is no THD.
    for (const auto& [given, bin] : {std::pair{60.2, 120}, std::pair{60.4, 121}}) {
        h = FindHarmonics(f, a, given);
        ASSERT_TRUE(h.Ok()) << given;
        EXPECT_EQ(h.fundamentalBin, bin) << given;
        EXPECT_EQ(h.fundamental, 0.5 * bin) << given;
        ASSERT_EQ(h.rows.size(), 1u);
        EXPECT_FALSE(h.thd);
    }

    // The table for the window and its clipboard text.
    h = FindHarmonics(std::vector<double>{0, 50, 100}, std::vector<double>{1, 8, 2});
    const FigureTable t = HarmonicsTable(h, "I(L1)", 0x0000FF);
    EXPECT_EQ(FigureTableText(t),
              "I(L1): THD 25 %, fundamental 50 Hz\n"
              "Order\tFrequency\tAmplitude\tPercent\n"
              "1\t50\t8\t100\n"
              "2\t100\t2\t25\n");
    EXPECT_EQ(t.rows[1].colour, 0x0000FFu);
}

}  // namespace
}  // namespace kurvex
