#include <gtest/gtest.h>

#include <vector>

#include "interaction/MouseMode.h"

namespace kurvex {
namespace {

// Leaves the shared mode as the program starts it, whatever a test did.
class MouseModeTest : public ::testing::Test {
protected:
    void TearDown() override {
        SetMouseModeHook({});
        SetMouseMode(kModePan);
    }
};

TEST_F(MouseModeTest, HookSeesEachChangeAndMayRefuseIt) {
    struct Case {
        std::int32_t from, request;
        bool refuse;
        bool result;
        std::int32_t after;
        bool hookAsked;
    };
    const Case cases[] = {
        {kModePan, kModeMeasure, false, true, kModeMeasure, true},
        {kModeMeasure, kModeZoomBox, true, false, kModeMeasure, true},
        {kModeZoomBox, kModeZoomBox, true, true, kModeZoomBox, false},  // nothing to change
        {kModePan, 8, false, false, kModePan, false},                   // no such mode
        {kModePan, -1, false, false, kModePan, false},
        {kModeLine, kModeEscape, false, true, kModeEscape, true},
    };
    for (const Case& c : cases) {
        SetMouseModeHook({});
        ASSERT_TRUE(SetMouseMode(c.from));
        std::vector<std::pair<std::int32_t, std::int32_t>> asked;
        SetMouseModeHook([&](std::int32_t o, std::int32_t n) {
            asked.emplace_back(o, n);
            return !c.refuse;
        });
        EXPECT_EQ(SetMouseMode(c.request), c.result) << c.from << " -> " << c.request;
        EXPECT_EQ(MouseMode(), c.after) << c.from << " -> " << c.request;
        if (c.hookAsked) {
            ASSERT_EQ(asked.size(), 1u);
            EXPECT_EQ(asked[0], std::make_pair(c.from, c.request));
        } else {
            EXPECT_TRUE(asked.empty()) << c.from << " -> " << c.request;
        }
    }
}

TEST_F(MouseModeTest, WindowFollowsTheSharedModeUntilToldOtherwise) {
    WindowMouseMode w;
    ASSERT_TRUE(SetMouseMode(kModeMeasure));
    EXPECT_EQ(w.Current(), kModeMeasure);
    w.useShared = false;
    EXPECT_EQ(w.Current(), kModePan);
    // On its own a window changes only its own mode, past a hook that refuses all.
    SetMouseModeHook([](std::int32_t, std::int32_t) { return false; });
    EXPECT_TRUE(w.Set(kModeZoomPoint));
    EXPECT_EQ(w.Current(), kModeZoomPoint);
    EXPECT_EQ(MouseMode(), kModeMeasure);
    w.useShared = true;
    EXPECT_FALSE(w.Set(kModeEscape));  // the shared mode asks the hook
}

}  // namespace
}  // namespace kurvex
