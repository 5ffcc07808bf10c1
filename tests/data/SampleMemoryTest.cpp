#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "data/platform/SampleMemory.h"

namespace kurvex {
namespace {

// The smallest bound wins, whichever it is: a reader under ulimit -v or a cgroup's
// memory.max must not take MemAvailable for what it may fill.
TEST(SampleMemory, TheTightestOfTheSystemTheAddressLimitAndTheCgroup) {
    const auto dir = test::FreshDir("sample-memory");
    for (const char* cgroup : {"a/b/c", "full"}) std::filesystem::create_directories(dir / cgroup);
    test::Spit(dir / "a/memory.max", "max\n");
    test::Spit(dir / "a/b/memory.max", "1000000\n");
    test::Spit(dir / "a/b/memory.current", "700000\n");
    test::Spit(dir / "a/b/memory.stat", "anon 500000\nfile 300000\n");
    test::Spit(dir / "a/b/c/memory.max", "max\n");
    test::Spit(dir / "full/memory.max", "1000\n");
    test::Spit(dir / "full/memory.current", "5000\n");
    const std::string root = dir.string();
    struct Case {
        const char* name;
        MemoryBounds bounds;
        std::uint64_t headroom;
    } cases[] = {
        {"MemAvailable alone", {8000, UINT64_MAX, 0, UINT64_MAX}, 8000},
        {"under ulimit -v", {8000, 5000, 3000, UINT64_MAX}, 2000},
        {"address space beyond the limit", {8000, 5000, 6000, UINT64_MAX}, 0},
        {"cgroup, file pages given back",
         {1u << 30, UINT64_MAX, 0, CgroupHeadroom(root, "0::/a/b/c\n")},
         600000},
        {"cgroup over its limit", {1u << 30, UINT64_MAX, 0, CgroupHeadroom(root, "0::/full\n")}, 0},
        {"no unified cgroup", {8000, UINT64_MAX, 0, CgroupHeadroom(root, "1:memory:/a/b\n")}, 8000},
    };
    for (const Case& c : cases) EXPECT_EQ(Headroom(c.bounds), c.headroom) << c.name;
}

}  // namespace
}  // namespace kurvex
