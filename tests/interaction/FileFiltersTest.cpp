#include <gtest/gtest.h>

#include "interaction/FileFilters.h"

namespace kurvex {
namespace {

TEST(FileFilters, FilterListsBecomeNameFiltersAndGiveTheirExtension) {
    EXPECT_EQ(NameFilters("Kurvex Files|*.kfd;*.txt;*.fra|All files|*.*||"),
              (std::vector<std::string>{"Kurvex Files (*.kfd *.txt *.fra)", "All files (*.*)"}));
    EXPECT_EQ(NameFilters(""), std::vector<std::string>{});

    struct Case {
        const char* path;
        const char* filter;
        const char* expected;
    };
    const Case cases[] = {
        {"/r/run", "Text files (*.txt)", "/r/run.txt"},
        {"/r/run.dat", "Text files (*.txt)", "/r/run.dat"},  // an extension of its own stays
        {"/r.d/run", "FFT files (*.fft)", "/r.d/run.fft"},   // a dot in a folder does not count
        {"/r/run", "All files (*.*)", "/r/run"},
        {"/r/", "Text files (*.txt)", "/r/"},
    };
    for (const Case& c : cases) EXPECT_EQ(WithFilterExtension(c.path, c.filter), c.expected);
}

}  // namespace
}  // namespace kurvex
