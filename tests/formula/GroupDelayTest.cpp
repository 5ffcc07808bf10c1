#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "formula/FormulaTestSupport.h"
#include "formula/FormulaVariable.h"

namespace kurvex {
namespace {

// A pure delay T has the phase -360 f T degrees: GD gives T wherever the
// frequency rises, however uneven the steps and however often the phase
// wraps; a frequency that repeats or falls leaves its neighbours invalid.
TEST(GroupDelay, PureDelayGivesItsDelay) {
    constexpr double T = 2e-3;
    constexpr std::uint8_t V = kPointValid, I = kPointInvalid;
    struct Case {
        std::vector<double> f;
        std::vector<std::uint8_t> flags;
    };
    const Case cases[] = {
        {{10, 100, 130, 300, 310, 500, 700, 900}, {V, V, V, V, V, V, V, V}},
        {{10, 100, 100, 300, 200, 210}, {V, I, I, I, I, V}},
    };
    for (const Case& c : cases) {
        std::vector<double> wrapped;
        for (double f : c.f) wrapped.push_back(std::remainder(-360 * f * T, 360.0));
        const CResultDataRef data = test::MakeData({"Frequency", "P"}, {c.f, wrapped});
        const FormulaBuild build = BuildFormulaVariable(data, "GD(P)");
        ASSERT_TRUE(build.variable);
        for (std::size_t i = 0; i < c.f.size(); ++i) {
            EXPECT_EQ(build.variable->Flags()[i], c.flags[i]) << i;
            if (c.flags[i] == V) {
                EXPECT_NEAR(build.variable->Values()[i], T, 1e-12) << i;
            }
        }
    }
}

}  // namespace
}  // namespace kurvex
