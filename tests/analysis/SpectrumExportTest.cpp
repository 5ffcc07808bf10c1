#include <gtest/gtest.h>

#include <cstdio>

#include "TestSupport.h"
#include "analysis/AnalysisTestSupport.h"
#include "analysis/SpectrumExport.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

using test::MakeData;
using test::MakeVar;

std::string Written(int format, const std::vector<RefPtr<CResultVariable>>& columns) {
    return test::Written([&](std::FILE* f) { return WriteSpectra(f, format, 0.5, 2.5, columns); });
}

TEST(SpectrumExport, FormatsCarryTheOrderColumnAndPadShortSpectra) {
    const auto freq = MakeVar({0, 0.5, 1}, {}, "Frequency");
    const auto v = MakeVar({2, 5, 0.25}, {}, "V");
    const auto cut = MakeVar({1}, {}, "I");  // ended early at a non-finite amplitude
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
        c.spectrum = MakeVar({1, 2}, {}, name);
        return c;
    };
    top.AddCurve(withSpectrum(CCurveEntry::ForColumn(data, 1), "A"));
    top.AddCurve(CCurveEntry::ForColumn(data, 2));  // no spectrum: skipped
    bottom.AddCurve(withSpectrum(CCurveEntry::ForColumn(data, 1), "A again"));
    bottom.AddCurve(withSpectrum(CCurveEntry::ForFormula("A*2"), "A*2"));
    bottom.AddCurve(withSpectrum(CCurveEntry::ForFormula("A*2"), "A*2 again"));
    EXPECT_TRUE(SpectrumColumns({&top, &bottom}).empty());  // no frequency column yet
    bottom.Frequency().xColumn = MakeVar({0, 1}, {}, "Frequency");
    std::vector<std::string> names;
    for (const auto& c : SpectrumColumns({&top, &bottom})) names.push_back(c->Name());
    EXPECT_EQ(names, (std::vector<std::string>{"Frequency", "A", "A*2", "A*2 again"}));
}

}  // namespace
}  // namespace kurvex
