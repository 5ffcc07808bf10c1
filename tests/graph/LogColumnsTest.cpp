#include <gtest/gtest.h>

#include <vector>

#include "formula/FormulaTestSupport.h"
#include "graph/LogColumns.h"

namespace kurvex {
namespace {

using test::MakeData;

TEST(BuildLogColumn, SamplesWithoutLogarithmBecomeInvalid) {
    const CResultDataRef data = MakeData({"V"}, {{10, 0, -1, 100, 1000, 5, 0.1}});
    CResultVariable& v = *data->Variable(0);
    v.Flags()[4] = kPointMissing;  // positive and missing: keeps its flag
    v.Flags()[5] = kPointInvalid;  // already invalid
    bool invalid = false;
    const RefPtr<CResultVariable> log = BuildLogColumn(v, 7, invalid);
    ASSERT_TRUE(log);
    EXPECT_TRUE(invalid);
    const std::uint8_t wantFlags[] = {1, 2, 2, 1, 0, 2, 1};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(log->Flags()[i], wantFlags[i]) << i;
    EXPECT_DOUBLE_EQ(log->Values()[0], 1);
    EXPECT_DOUBLE_EQ(log->Values()[4], 3);
    // Extents over the valid samples only: the missing 1000 is left out.
    EXPECT_DOUBLE_EQ(log->Min(), -1);
    EXPECT_DOUBLE_EQ(log->Max(), 2);
    EXPECT_EQ(log->Name(), "V");
}

TEST(BuildLogColumn, AllPositiveReportsNothingAndRowsBeyondTheCapacityAreNotRead) {
    const CResultDataRef data = MakeData({"V"}, {{1, 10}});
    bool invalid = false;
    EXPECT_DOUBLE_EQ(BuildLogColumn(*data->Variable(0), 2, invalid)->Max(), 1);
    EXPECT_EQ(BuildLogColumn(*data->Variable(0), 1000, invalid)->Capacity(), 2);
    EXPECT_EQ(BuildLogColumn(*data->Variable(0), -5, invalid)->Capacity(), 0);
    EXPECT_FALSE(invalid);
}

TEST(LogColumns, OneColumnPerDataSetColumnSharedByScreens) {
    const CResultDataRef data = MakeData({"Time", "V"}, {{1, 2}, {-1, 100}});
    const LogColumns a(0), b(1);
    bool invalidA = false, invalidB = false;
    const RefPtr<CResultVariable> first = a.Column(data, 1, invalidA);
    const RefPtr<CResultVariable> second = b.Column(data, 1, invalidB);
    ASSERT_TRUE(first);
    EXPECT_EQ(first.get(), second.get());
    // Both screens are told about the invalid point, not only the builder.
    EXPECT_TRUE(invalidA);
    EXPECT_TRUE(invalidB);
    bool invalidX = false;
    EXPECT_NE(a.Column(data, 0, invalidX).get(), first.get());
    EXPECT_FALSE(invalidX);
    EXPECT_FALSE(a.Column(data, 2, invalidX));
    EXPECT_FALSE(a.Column(data, -1, invalidX));
}

TEST(LogColumns, NewRowsMakeAFreshColumn) {
    CResultDataRef data = MakeData({"Time", "V"}, {{1, 2}, {10, 100}});
    const LogColumns access;
    bool invalid = false;
    const RefPtr<CResultVariable> before = access.Column(data, 1, invalid);
    const double row[] = {3, 1000};
    const std::uint8_t flags[] = {kPointValid, kPointValid};
    ASSERT_TRUE(data.SetRow(2, row, flags, 0, 2));
    data.UpdateExtents();
    const RefPtr<CResultVariable> after = access.Column(data, 1, invalid);
    ASSERT_TRUE(after);
    EXPECT_NE(after.get(), before.get());
    EXPECT_EQ(after->Capacity(), 3);
    EXPECT_DOUBLE_EQ(after->Max(), 3);
    EXPECT_EQ(before->Capacity(), 2);  // a screen drawing the old one keeps it
}

TEST(LogColumns, CachedColumnsGoWithTheirDataSet) {
    RefPtr<CResultVariable> kept;
    {
        const CResultDataRef data = MakeData({"Time", "V"}, {{1, 2}, {10, 100}});
        bool invalid = false;
        kept = LogColumns().Column(data, 1, invalid);
        ASSERT_TRUE(kept);
        EXPECT_EQ(kept->RefCount(), 2);  // here and in the data set's cache
        EXPECT_EQ(LogColumns().Column(data, 1, invalid).get(), kept.get());
    }
    EXPECT_EQ(kept->RefCount(), 1);
}

}  // namespace
}  // namespace kurvex
