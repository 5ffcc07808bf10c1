#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "TestSupport.h"
#include "analysis/FrequencyDisplay.h"
#include "analysis/SpectrumExport.h"
#include "analysis/ViewFiles.h"
#include "formula/FormulaTestSupport.h"
#include "graph/Export.h"

namespace kurvex {
namespace {

using test::MakeData;

RefPtr<CResultVariable> Column(const char* name, std::vector<double> v) {
    RefPtr<CResultVariable> c(CResultVariable::Create(static_cast<std::int32_t>(v.size())));
    c->SetName(name);
    for (size_t i = 0; i < v.size(); ++i) {
        c->Values()[i] = v[i];
        c->Flags()[i] = kPointValid;
    }
    return c;
}

std::string Written(int format, const std::vector<RefPtr<CResultVariable>>& columns) {
    return test::Written([&](std::FILE* f) { return WriteSpectra(f, format, 0.5, 2.5, columns); });
}

TEST(SpectrumExport, FormatsCarryTheOrderColumnAndPadShortSpectra) {
    const auto freq = Column("Frequency", {0, 0.5, 1});
    const auto v = Column("V", {2, 5, 0.25});
    const auto cut = Column("I", {1});  // ended early at a non-finite amplitude
    EXPECT_EQ(Written(kSpectrumComma, {freq, v, cut}),
              "Order,Frequency,V,I\r\n        1,0,2,1\r\n        2,0.5,5,MISSING\r\n"
              "        3,1,0.25,MISSING\r\n");
    EXPECT_EQ(Written(kSpectrumTab, {freq, v}).substr(0, 19), "Order\tFrequency\tV\r\n");
    const std::string fft = Written(kSpectrumFftFile, {freq, v});
    EXPECT_EQ(fft.substr(0, fft.find('\n') + 1), ";; FFT Data from 0.5 (s)\t to   2.5 (s) \r\n");
    EXPECT_NE(fft.find("        3   1.000000000E+00   2.500000000E-01 \r\n"), std::string::npos);
}

TEST(SpectrumExport, AVariableIsExportedOnceAndFormulaCurvesAlways) {
    const auto data = MakeData({"Time", "A", "B"}, {{0, 1}, {1, 2}, {3, 4}});
    CGraphCurve top, bottom;
    for (CGraphCurve* s : {&top, &bottom}) s->SetData(data);
    auto withSpectrum = [](CCurveEntry c, const char* name) {
        c.spectrum = Column(name, {1, 2});
        return c;
    };
    top.AddCurve(withSpectrum(CCurveEntry::ForColumn(data, 1), "A"));
    top.AddCurve(CCurveEntry::ForColumn(data, 2));  // no spectrum: skipped
    bottom.AddCurve(withSpectrum(CCurveEntry::ForColumn(data, 1), "A again"));
    bottom.AddCurve(withSpectrum(CCurveEntry::ForFormula("A*2"), "A*2"));
    bottom.AddCurve(withSpectrum(CCurveEntry::ForFormula("A*2"), "A*2 again"));
    EXPECT_TRUE(SpectrumColumns({&top, &bottom}).empty());  // no frequency column yet
    bottom.Frequency().xColumn = Column("Frequency", {0, 1});
    std::vector<std::string> names;
    for (const auto& c : SpectrumColumns({&top, &bottom})) names.push_back(c->Name());
    EXPECT_EQ(names, (std::vector<std::string>{"Frequency", "A", "A*2", "A*2 again"}));
}

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
    EXPECT_NE(header.find("Order"), std::string::npos);
    EXPECT_NE(header.find("Frequency"), std::string::npos);
    EXPECT_NE(dc.find("2.0000"), std::string::npos) << dc;  // the offset at 0 Hz
    // Entries beyond the frequency display's list write nothing.
    EXPECT_FALSE(SaveViewAs({&screen}, 4, path + "x", messages));
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace kurvex
