#include <gtest/gtest.h>

#include <fstream>

#include "TestSupport.h"
#include "analysis/AnalysisTestSupport.h"
#include "analysis/FrequencyDisplay.h"
#include "analysis/ViewFiles.h"
#include "formula/FormulaTestSupport.h"
#include "graph/Export.h"

namespace kurvex {
namespace {

TEST(ViewFiles, SaveAsWritesSpectraInTheFrequencyDisplay) {
    const double dt = 1.0 / 64;
    CGraphCurve screen = test::Screen(
        test::MakeData({"Time", "V"}, {test::Ramp(64, dt), test::SineWave(1.0, 4, 64, dt, 2.0)}),
        {1}, 0.0, 63 * dt);
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
