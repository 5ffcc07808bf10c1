#include <gtest/gtest.h>

#include <clocale>
#include <ctime>

#include "graph/PageGeometry.h"

namespace kurvex {
namespace {

TEST(PageGeometry, PageSizeAndMarginsWithTheirFallBacks) {
    EXPECT_EQ(PageThousandths(5100, 600), 8500);
    EXPECT_EQ(PageThousandths(1000, 3), 333333);  // truncated
    EXPECT_EQ(PageThousandths(1000, 0), 0);

    struct Case {
        std::int32_t width, height;
        PageMargins margins;
        Rect graph;
    } cases[] = {
        // Default margins on an 8.5 × 11 inch printable area: 6.5 × 9 inches at (1, 1).
        {8500, 11000, {}, {1000, 1000, 7500, 10000}},
        {8500, 11000, {0, 0, 0, 0}, {0, 0, 8500, 11000}},
        // Left and right leave no width: 0.1 inch in, 0.2 inch less than the page.
        {8500, 11000, {100, 100, 500, 400}, {100, 1000, 8400, 10000}},
        // Top and bottom exactly fill the height: no room either.
        {8500, 11000, {600, 500, 100, 100}, {1000, 100, 7500, 10900}},
        // Margins no int32 multiplication could hold.
        {8500, 11000, {2147483647, 0, 0, 2147483647}, {100, 100, 8400, 10900}},
        // A page smaller than the fall-back keeps an empty graph, never a reversed one.
        {150, 150, {100, 100, 100, 100}, {100, 100, 100, 100}},
    };
    for (const Case& c : cases) {
        const PageLayout page = LayoutPage(c.width, c.height, c.margins);
        EXPECT_EQ(page.graph, c.graph) << c.margins.left << " " << c.margins.top;
    }
}

TEST(PageGeometry, ScaleFactorRoundsPrinterUnitsPerScreenPixel) {
    EXPECT_EQ(PrintScaleFactor(96, 96), 10);
    EXPECT_EQ(PrintScaleFactor(96, 120), 8);     // the smaller of the two
    EXPECT_EQ(PrintScaleFactor(600, 600), 2);    // 1.67 + 0.49
    EXPECT_EQ(PrintScaleFactor(2000, 2000), 1);  // never below 1
    EXPECT_EQ(PrintScaleFactor(0, 96), 1);
}

TEST(PageGeometry, TitleBlockTakesThreeLinesUnlessNoTitle) {
    const Rect graph{1000, 1000, 7500, 10000};
    const TitleBlock none = LayoutTitle(graph, 150, true);
    EXPECT_FALSE(none.shown);
    EXPECT_EQ(none.screens, graph);

    const TitleBlock block = LayoutTitle(graph, 150, false);
    EXPECT_TRUE(block.shown);
    EXPECT_EQ(block.title, (Rect{1000, 1000, 7500, 1150}));
    EXPECT_EQ(block.date, (Rect{1000, 1150, 7500, 1300}));
    EXPECT_EQ(block.screens, (Rect{1000, 1450, 7500, 10000}));
    // A font taller than the page leaves the screens nothing, not less.
    EXPECT_EQ(LayoutTitle({0, 0, 100, 100}, 60, false).screens.Height(), 0);
}

TEST(PageGeometry, DateLineInTheCLocale) {
    std::setlocale(LC_TIME, "C");
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 2;
    t.tm_mday = 7;
    t.tm_hour = 14;
    t.tm_min = 5;
    EXPECT_EQ(PrintDateLine(t), "Date: 02:05PM 03/07/24");
}

TEST(PageGeometry, ScreensShareTheHeightAndTheLastTakesTheRest) {
    // Below a title block, with room for three text lines kept: (8550 - 100) / 3 is 2816.
    const auto three = SplitScreens({1000, 1450, 7500, 10000}, 3, 100);
    EXPECT_EQ(three,
              (std::vector<Rect>{
                  {1000, 1450, 7500, 4266}, {1000, 4266, 7500, 7082}, {1000, 7082, 7500, 10000}}));

    EXPECT_TRUE(SplitScreens({0, 0, 800, 600}, 0, 0).empty());
    // More reserve than height: every screen empty, none reversed.
    for (const Rect& r : SplitScreens({0, 0, 800, 20}, 2, 45)) EXPECT_GE(r.bottom, r.top);
}

TEST(PageGeometry, MarginFieldsAreCheckedInOrder) {
    EXPECT_EQ(MarginText(125), "1.25");

    using T = std::array<std::string, 4>;
    struct Case {
        T texts;
        int field;
        bool reset;
    } refused[] = {
        {{"10", "1", "1", "1"}, kTopMarginField, true},     // beyond 0.9 of an 11-inch page
        {{"1", "1", "7.66", "1"}, kLeftMarginField, true},  // 0.9 × 8.5 = 7.65
        {{"1", "1", "1", "abc"}, kRightMarginField, true},
        {{"1", "-0.5", "1", "1"}, kBottomMarginField, true},
        {{"nan", "1", "1", "1"}, kTopMarginField, true},
        // The first failing field wins, even when a later one is worse.
        {{"1", "10", "x", "1"}, kBottomMarginField, true},
        // Together too tall: the larger of the two gets the focus, kept as typed.
        {{"5", "5.5", "1", "1"}, kBottomMarginField, false},
        {{"5.5", "5", "1", "1"}, kTopMarginField, false},
        {{"1", "1", "4", "3.6"}, kLeftMarginField, false},
        {{"1", "1", "3.6", "4"}, kRightMarginField, false},
    };
    for (const Case& c : refused) {
        const MarginCheck check = CheckMargins(c.texts, 850, 1100);
        EXPECT_FALSE(check.ok) << c.texts[0] << " " << c.texts[1];
        EXPECT_EQ(check.field, c.field) << c.texts[0] << " " << c.texts[1];
        EXPECT_EQ(check.reset, c.reset) << c.texts[0] << " " << c.texts[1];
    }

    const MarginCheck ok = CheckMargins({"0.5", " 1.239", "0", "5 in"}, 850, 1100);
    ASSERT_TRUE(ok.ok);
    EXPECT_EQ(ok.margins, (PageMargins{50, 123, 0, 500}));  // truncated hundredths
    // Exactly the paper less one inch still fits.
    EXPECT_TRUE(CheckMargins({"5", "5", "3.75", "3.75"}, 850, 1100).ok);
}

TEST(PageGeometry, TitleFieldShowsTheNameAndStoresOnlyAChange) {
    const PrintTitle untitled{"", 0};
    EXPECT_EQ(TitleFieldText(untitled, "run1"), "run1");
    EXPECT_EQ(TitleFieldText({"Inverter", 0}, "run1"), "Inverter");

    // The name shown and left alone is not taken as a title.
    EXPECT_EQ(AcceptTitleField(untitled, "run1", "run1", false), untitled);
    EXPECT_EQ(AcceptTitleField(untitled, "run1", "Test A", false), (PrintTitle{"Test A", 0}));
    EXPECT_EQ(AcceptTitleField(untitled, "run1", "run1", true), (PrintTitle{"", 1}));
    // An empty field means no title, whatever the check box says.
    EXPECT_EQ(AcceptTitleField({"Old", 0}, "Old", "", false), (PrintTitle{"", 1}));
    // Clearing the check box with a title brings the title back.
    EXPECT_EQ(AcceptTitleField({"Old", 1}, "Old", "Old", false), (PrintTitle{"Old", 0}));
}

}  // namespace
}  // namespace kurvex
