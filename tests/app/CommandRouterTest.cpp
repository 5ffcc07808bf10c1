#include <gtest/gtest.h>

#include <string>

#include "app/CommandRouter.h"

namespace kurvex {
namespace {

// A view command finds no view here: the router must neither call it nor claim it ran,
// and a later registration of an id replaces the earlier one whichever kind either is.
TEST(CommandRouter, RunsOnlyWhatCanRun) {
    CommandRouter router;
    std::string ran;
    router.Add(1, [&] { ran += "a"; });
    router.AddViewCommand(2, [&](COhmixGraphView&) { ran += "v"; });
    router.AddViewCommand(3, [&](COhmixGraphView&) { ran += "old"; });
    router.Add(3, [&] { ran += "c"; });
    router.Add(4, [&] { ran += "old"; });
    router.AddViewCommand(4, [&](COhmixGraphView&) { ran += "w"; });

    EXPECT_FALSE(router.Has(99));
    EXPECT_FALSE(router.Run(99));
    EXPECT_TRUE(router.Has(2));
    EXPECT_FALSE(router.Run(2));  // no view source
    router.SetViewSource([] { return nullptr; });
    EXPECT_FALSE(router.Run(2));  // no active view
    EXPECT_FALSE(router.Run(4));
    EXPECT_TRUE(router.Run(1));
    EXPECT_TRUE(router.Run(3));
    EXPECT_EQ(ran, "ac");
}

}  // namespace
}  // namespace kurvex
