#include <gtest/gtest.h>

#include <fstream>

#include "TestSupport.h"
#include "analysis/FrequencyDisplay.h"
#include "analysis/ViewFiles.h"
#include "formula/FormulaTestSupport.h"
#include "graph/Export.h"

namespace kurvex {
namespace {

TEST(ViewFiles, SaveAsWritesSpectraInTheFrequencyDisplay) {
    std::vector<double> t = test::Ramp(64, 1.0 / 64), v(64);
    for (size_t i = 0; i < v.size(); ++i) v[i] = 2.0 + std::sin(2 * M_PI * 4 * t[i]);
    const auto data = test::MakeData({"Time", "V"}, {t, v});
    CGraphCurve screen(0);
    screen.SetData(data);
    screen.AddCurve(CCurveEntry::ForColumn(data, 1));
    screen.UpdateExtents();
    screen.SetXRange(0, t.back(), 0, RangeFlags{});
    test::RecordingMessages messages;
    ASSERT_EQ(ToggleFrequencyDisplay({&screen}, messages).did, DomainSwitch::kToFrequency);

    const std::string path = (test::ProcessDir() / "view-files.fft").string();
    ASSERT_TRUE(SaveViewAs({&screen}, 1, path, messages));
    std::ifstream in(path);
    std::string first, header, dc;
    std::getline(in, first);
    std::getline(in, header);
    std::getline(in, dc);
    EXPECT_EQ(first.rfind(";; FFT Data from 0 (s)", 0), 0u) << first;
    EXPECT_NE(dc.find("2.0000"), std::string::npos) << dc;  // the offset at 0 Hz
    // Entries beyond the frequency display's list write nothing.
    EXPECT_FALSE(SaveViewAs({&screen}, 4, path + "x", messages));
}

}  // namespace
}  // namespace kurvex
