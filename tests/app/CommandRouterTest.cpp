#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CommandRouter.h"
#include "app/ViewerFixture.h"
#include "interaction/CommandTable.h"

namespace kurvex {
namespace {

// A view command finds no view here: the router must neither call it nor claim it ran.
// A second registration of an id, of either kind, is refused and kept; the first handler stays.
TEST(CommandRouter, RunsOnlyWhatCanRunAndKeepsTheFirstHandler) {
    CommandRouter router;
    std::string ran;
    EXPECT_TRUE(router.Add(1, [&] { ran += "a"; }));
    EXPECT_TRUE(router.AddViewCommand(2, [&](COhmixGraphView&) { ran += "v"; }));
    EXPECT_TRUE(router.Add(3, [&] { ran += "c"; }));
    EXPECT_FALSE(router.AddViewCommand(3, [&](COhmixGraphView&) { ran += "late"; }));
    EXPECT_FALSE(router.Add(2, [&] { ran += "late"; }));
    EXPECT_EQ(router.Refused(), (std::vector<int>{3, 2}));

    EXPECT_FALSE(router.Has(99));
    EXPECT_FALSE(router.Run(99));
    EXPECT_TRUE(router.Has(2));
    EXPECT_FALSE(router.Run(2));  // no view source
    router.SetViewSource([] { return nullptr; });
    EXPECT_FALSE(router.Run(2));  // no active view
    EXPECT_TRUE(router.Run(1));
    EXPECT_TRUE(router.Run(3));
    EXPECT_EQ(ran, "ac");
}

class CommandRouterViewer : public test::ViewerFixture {};

// Once the viewer is up, every command of the table reaches exactly one handler, or is
// answered by a control of its own: a registration dropped or made twice shows here.
TEST_F(CommandRouterViewer, EveryCommandOfTheTableHasOneHandler) {
    const CommandRouter& router = frame_->Router();
    EXPECT_EQ(router.Refused(), std::vector<int>{});
    for (const CommandInfo& cmd : Commands())
        EXPECT_NE(router.Has(cmd.id), cmd.byControl) << CommandName(cmd) << " (" << cmd.id << ")";
}

}  // namespace
}  // namespace kurvex
