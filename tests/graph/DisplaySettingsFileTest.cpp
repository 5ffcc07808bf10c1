#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "TestSupport.h"
#include "formula/FormulaTestSupport.h"
#include "graph/DisplaySettingsFile.h"

namespace kurvex {
namespace {

namespace fs = std::filesystem;
using test::MakeData;
using test::RecordingMessages;

using test::Slurp;

CResultDataRef ThreeColumns() {
    return MakeData({"Time", "V", "I"}, {{0, 1, 2, 3}, {1, -2, 3, 4}, {10, 20, 30, 40}});
}

ScreenBasis Basis(const CResultDataRef& data) {
    ScreenBasis b;
    b.data = data;
    return b;
}

// What the file keeps of a curve.
auto Saved(const CCurveEntry& c) {
    return std::tie(c.sourceKind, c.formula, c.label, c.colour, c.connect, c.thickness,
                    c.markerSymbol);
}

LoadedScreens Read(const std::string& text, const CResultDataRef& data) {
    SettingsCurvePalette palette;
    return ReadDisplaySettings(IniFile::Parse(text), Basis(data), palette);
}

class DisplaySettingsFileTest : public test::TempDirTest {};

TEST(DisplaySettingsFile, OnlyADotInTheFileNameIsAnExtension) {
    EXPECT_EQ(SettingsFilePath("/run/a.b/buck"), "/run/a.b/buck.ini");
    EXPECT_EQ(SettingsFilePath("/run/buck"), "/run/buck.ini");
    EXPECT_EQ(SettingsFilePath("/run/buck.tar.gz"), "/run/buck.tar.ini");
    EXPECT_EQ(SettingsFilePath("buck.fra"), "buck.ini");
    EXPECT_EQ(SettingsFilePath(""), "");
}

TEST(DisplaySettingsFile, WritesTheKeyTableInOrderWithItsFormats) {
    const CResultDataRef data = ThreeColumns();
    CGraphCurve s(0);
    s.SetData(data);
    s.AddCurve(CCurveEntry::ForColumn(data, 1));
    CCurveEntry f = CCurveEntry::ForFormula("V*I");
    f.label = "P in";
    f.colour = 0x00FF00;
    f.connect = 0;
    f.thickness = 3;
    f.markerSymbol = kMarkerStar;
    s.AddCurve(f);
    s.StoreX({0, 3}, {0.0001, 2.5, 0.5});
    s.StoreY({-2, 4}, {-1e-05, 123456789, 2});
    s.StoreScales(0, 1, 0);
    GraphFont font;
    font.faceName = "Liberation Sans";
    font.height = -13;
    font.weight = 700;
    font.italic = 1;
    s.SetFont(font, nullptr);
    s.SetBackground(0xFFFFFF);
    s.SetGridShown(0);

    IniFile ini;
    WriteDisplaySettings({&s}, ini);
    EXPECT_EQ(ini.Text(),
              "[Main]\r\nNumScreen=1\r\nDefault=1\r\nScale=0\r\nFFT=0\r\nXAxis=Time\r\n"
              "FFT Start=\r\nFFT End=\r\nXFrom=0.0001\r\nXTo=2.5\r\nXInc=0.5\r\n"
              "[View]\r\nBKColor=16777215\r\nFGColor=0\r\nGridColor=8421504\r\nGrid=0\r\n"
              "HideAxisText=0\r\nFontName=Liberation Sans\r\nFontHeight=-13\r\n"
              "FontWeight=700\r\nFontItalic=1\r\n"
              "[Screen0]\r\nCurveCount=2\r\nAuto=1\r\nDefault=1\r\nScale=1\r\nYFrom=-1e-05\r\n"
              "YTo=1.23457e+08\r\nYInc=2\r\n"
              "Curve_0_Formula=V\r\nCurve_0_Source=0\r\nCurve_0_Label=V\r\nCurve_0_Color=0\r\n"
              "Curve_0_Connect=1\r\nCurve_0_Thickness=1\r\nCurve_0_Symbol=0\r\n"
              "Curve_1_Formula=V*I\r\nCurve_1_Source=1\r\nCurve_1_Label=P in\r\n"
              "Curve_1_Color=65280\r\nCurve_1_Connect=0\r\nCurve_1_Thickness=3\r\n"
              "Curve_1_Symbol=4\r\n");

    // The frequency display writes its window; the last screen speaks for all.
    CGraphCurve top(s);
    s.StoreScales(1, 0, 1);
    s.Frequency().fftStart = 0.5;
    s.Frequency().fftEnd = 2;
    WriteDisplaySettings({&top, &s}, ini);
    EXPECT_EQ(ini.GetString("Main", "FFT Start"), "0.5");
    EXPECT_EQ(ini.GetString("Main", "FFT End"), "2");
    EXPECT_EQ(ini.GetString("Main", "Scale"), "1");
    EXPECT_EQ(ini.GetString("Screen1", "Scale"), "0");
}

TEST_F(DisplaySettingsFileTest, SaveKeepsForeignKeysAndStaleScreensStayGone) {
    const std::string path = (dir_ / "buck.ini").string();
    test::Spit(path,
               "; hand notes\n[Main]\nNumScreen=3\nOwner=lab 4\n"
               "[Screen1]\nCurveCount=1\nCurve_0_Formula=I\n[Extra]\nk=v\n");
    const CResultDataRef data = ThreeColumns();
    CGraphCurve a(0), empty(0), b(0);
    for (CGraphCurve* s : {&a, &empty, &b}) s->SetData(data);
    a.AddCurve(CCurveEntry::ForColumn(data, 1));
    b.AddCurve(CCurveEntry::ForColumn(data, 2));

    RecordingMessages messages;
    ASSERT_TRUE(SaveDisplaySettings({&a, &empty, &b}, path, messages));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].first, "Settings were saved in the file\r\n" + path);
    EXPECT_EQ(messages.shown[0].second, MessageIcon::Information);

    const std::string text = Slurp(path);
    EXPECT_EQ(text.rfind("; hand notes\r\n[Main]\r\nNumScreen=3\r\nOwner=lab 4\r\n", 0), 0u);
    IniFile ini = IniFile::Parse(text);
    EXPECT_EQ(ini.GetString("Extra", "k"), "v");
    EXPECT_EQ(ini.GetString("Screen1", "Curve_0_Formula"), "I");
    EXPECT_EQ(ini.GetString("Screen1", "CurveCount"), "0");
    EXPECT_EQ(ini.GetString("Screen2", "Curve_0_Formula"), "I");

    // Nothing to save, or no place to save it: no file, no message.
    EXPECT_FALSE(SaveDisplaySettings({}, path, messages));
    EXPECT_FALSE(SaveDisplaySettings({&a}, "", messages));
    EXPECT_EQ(messages.shown.size(), 1u);
    // A target that cannot be written is reported and the old file stays.
    const std::string blocked = (dir_ / "sub.ini").string();
    fs::create_directories(blocked);
    EXPECT_FALSE(SaveDisplaySettings({&a}, blocked, messages));
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].second, MessageIcon::Exclamation);
    EXPECT_EQ(Slurp(path), text);
}

TEST(DisplaySettingsFile, MeasureScriptKeepsEveryLineAndClearsWhatIsGone) {
    // Lines that an .ini could mistake: a key, a section, a comment, an empty line.
    const std::string script =
        ".meas tran a AVG v(out) FROM=1m TO=2m\n+ ; more\n[Runs]\n\n* note = x\n";
    IniFile ini;
    WriteMeasureScript("", ini);
    EXPECT_FALSE(ini.HasSection("Measures"));  // an older reader's file stays as it was
    WriteMeasureScript(script, ini);
    const IniFile back = IniFile::Parse(ini.Text());
    EXPECT_EQ(ReadMeasureScript(back), script.substr(0, script.size() - 1));
    EXPECT_EQ(back.GetString("Measures", "Count"), "5");
    // A shorter script leaves no line of the longer one behind; none clears it.
    IniFile shorter = back;
    WriteMeasureScript("b WHEN v(out)=1", shorter);
    EXPECT_EQ(ReadMeasureScript(IniFile::Parse(shorter.Text())), "b WHEN v(out)=1");
    WriteMeasureScript("\n", shorter);
    EXPECT_EQ(ReadMeasureScript(IniFile::Parse(shorter.Text())), "");
    EXPECT_EQ(ReadMeasureScript(IniFile::Parse("[Measures]\nCount=999999999\n")), "");
}

TEST_F(DisplaySettingsFileTest, SaveThenLoadRebuildsTheScreens) {
    const std::string path = SettingsFilePath((dir_ / "buck.txt").string());
    const CResultDataRef data = ThreeColumns();
    CGraphCurve top(0), bottom(0);
    for (CGraphCurve* s : {&top, &bottom}) s->SetData(data);
    CCurveEntry v = CCurveEntry::ForColumn(data, 1);
    v.colour = 0x123456;
    v.label = "V out";
    top.AddCurve(v);
    CCurveEntry p = CCurveEntry::ForFormula("V*I");
    p.colour = 0x00FF00;
    p.thickness = 2;
    p.markerSymbol = kMarkerCircle;
    top.AddCurve(p);
    CCurveEntry i = CCurveEntry::ForColumn(data, 2);
    i.colour = 0xFF0000;
    i.connect = 0;
    bottom.AddCurve(i);
    bottom.SetXIndex(0);
    bottom.SetBackground(0x202020);
    bottom.SetForeground(0xFFFFFF);
    bottom.SetHideAxisText(1);
    const RangeFlags keep{.setIncrement = true, .autoIncrement = false};
    for (CGraphCurve* s : {&top, &bottom}) {
        s->UpdateExtents();
        ASSERT_TRUE(s->SetXRange(0.5, 2.5, 0.5, keep));
    }
    ASSERT_TRUE(top.SetYRange(-10, 50, 10, keep));
    ASSERT_TRUE(bottom.SetYRange(0, 40, 5, keep));

    RecordingMessages messages;
    ASSERT_TRUE(SaveDisplaySettings({&top, &bottom}, path, messages));
    std::vector<std::unique_ptr<CGraphCurve>> screens;
    ASSERT_TRUE(LoadDisplaySettings(screens, path, Basis(data), messages));
    ASSERT_EQ(screens.size(), 2u);
    const CGraphCurve* originals[] = {&top, &bottom};
    for (size_t k = 0; k < 2; ++k) {
        const CGraphCurve& was = *originals[k];
        const CGraphCurve& now = *screens[k];
        EXPECT_EQ(now.XRange(), bottom.XRange());
        EXPECT_EQ(now.YRange(), was.YRange());
        EXPECT_EQ(now.Background(), 0x202020u);
        EXPECT_EQ(now.Foreground(), 0xFFFFFFu);
        EXPECT_EQ(now.HideAxisText(), 1);
        EXPECT_EQ(now.Font().faceName, bottom.Font().faceName);
        ASSERT_EQ(now.CurveCount(), was.CurveCount());
        for (std::int32_t j = 0; j < now.CurveCount(); ++j)
            EXPECT_EQ(Saved(now.Curve(j)), Saved(was.Curve(j))) << k << " " << j;
    }
    ASSERT_TRUE(screens[0]->Curve(1).formulaResult);
    EXPECT_EQ(screens[0]->Curve(1).formulaResult->Values()[3], 160.0);
    EXPECT_EQ(screens[1]->YExtent(), (DataExtent{10, 40}));

    // A view that has screens, no path or no file: nothing is read.
    EXPECT_FALSE(LoadDisplaySettings(screens, path, Basis(data), messages));
    std::vector<std::unique_ptr<CGraphCurve>> none;
    EXPECT_FALSE(LoadDisplaySettings(none, "", Basis(data), messages));
    EXPECT_FALSE(LoadDisplaySettings(none, path + ".gone", Basis(data), messages));
    EXPECT_TRUE(none.empty());
}

TEST(DisplaySettingsFile, EmptySectionsAndCurvesThatNoLongerFitAreSkipped) {
    const CResultDataRef data = ThreeColumns();
    const LoadedScreens r = Read(
        "[Main]\nNumScreen=4\nXAxis=i\n"
        "[Screen0]\nCurveCount=0\nCurve_0_Formula=V\n"
        "[Screen1]\nCurveCount=4\nCurve_0_Formula=Gone\nCurve_1_Formula=v\n"
        "Curve_2_Formula=V*+\nCurve_2_Source=1\nCurve_3_Formula=I\nCurve_3_Source=7\n"
        "[Screen2]\nCurveCount=1\nCurve_0_Formula=2*V\nCurve_0_Source=1\nCurve_0_Color=255\n"
        "[Screen3]\nCurve_0_Formula=V\n",
        data);
    ASSERT_EQ(r.screens.size(), 2u);
    ASSERT_EQ(r.screens[0]->CurveCount(), 1);
    EXPECT_EQ(r.screens[0]->Curve(0).formula, "v");
    EXPECT_EQ(r.screens[0]->Curve(0).columnIndex, 1);
    EXPECT_EQ(r.screens[0]->BottomScreen(), 0);
    ASSERT_EQ(r.screens[1]->CurveCount(), 1);
    EXPECT_EQ(r.screens[1]->Curve(0).sourceKind, kCurveFormula);
    EXPECT_EQ(r.screens[1]->Curve(0).colour, 0x0000FFu);
    EXPECT_EQ(r.screens[1]->BottomScreen(), 1);
    // X found by name ignoring case; no saved ranges: fitted to the data.
    for (const auto& s : r.screens) {
        EXPECT_EQ(s->XIndex(), 2);
        EXPECT_LE(s->XRange().from, 10.0);
        EXPECT_GE(s->XRange().to, 40.0);
    }
    EXPECT_LE(r.screens[1]->YRange().from, -4.0);
    EXPECT_GE(r.screens[1]->YRange().to, 8.0);

    EXPECT_TRUE(Read("[Main]\nNumScreen=0\n[Screen0]\nCurveCount=1\nCurve_0_Formula=V\n", data)
                    .screens.empty());
}

TEST(DisplaySettingsFile, ReadDefaultsAndTheKeysThatOnlyCountTogether) {
    const CResultDataRef data = ThreeColumns();
    const std::string curve = "[Screen0]\nCurveCount=1\nCurve_0_Formula=V\n";
    // FFT off: its window is not read. One end of a range alone is no range.
    LoadedScreens r = Read("[Main]\nNumScreen=1\nFFT Start=5\nFFT End=6\nXFrom=1\n" + curve +
                               "YTo=100\n[View]\nFontHeight=40\nFontWeight=900\n",
                           data);
    ASSERT_EQ(r.screens.size(), 1u);
    const CGraphCurve& d = *r.screens[0];
    EXPECT_EQ(d.Frequency().fftStart, 0.0);
    EXPECT_EQ(d.XRange().to, 3.0);
    EXPECT_LT(d.YRange().to, 100.0);
    EXPECT_EQ(d.Font(), CGraphCurve(0).Font());  // FontName empty: the rest ignored

    r = Read("[Main]\nNumScreen=1\nFFT=1\nFFT Start=0.25\nFFT End=\nXFrom=1\nXTo=2\nXInc=0.25\n" +
                 curve + "YFrom=-5\nYTo=5\n[View]\nFontName=Serif\n",
             data);
    ASSERT_EQ(r.screens.size(), 1u);
    const CGraphCurve& s = *r.screens[0];
    EXPECT_EQ(s.FreqDisplay(), 1);
    EXPECT_EQ(s.Frequency().fftStart, 0.25);
    EXPECT_EQ(s.Frequency().fftEnd, 0.0);
    EXPECT_EQ(s.XRange(), (AxisRange{1, 2, 0.25}));
    EXPECT_EQ(s.YRange().from, -5.0);
    EXPECT_EQ(s.YRange().to, 5.0);
    EXPECT_EQ(s.Font().faceName, "Serif");
}

TEST_F(DisplaySettingsFileTest, ColourlessCurvesShareOneProgramWidePalette) {
    const CResultDataRef data = ThreeColumns();
    const std::string text =
        "[Main]\nNumScreen=1\n[Screen0]\nCurveCount=2\nCurve_0_Formula=V\nCurve_1_Formula=I\n";
    test::Spit(dir_ / "a.ini", text);
    test::Spit(dir_ / "b.ini", text);
    RecordingMessages messages;
    const std::uint64_t k = SettingsCurvePalette::Program().Position();
    std::vector<std::unique_ptr<CGraphCurve>> first, second;
    ASSERT_TRUE(LoadDisplaySettings(first, (dir_ / "a.ini").string(), Basis(data), messages));
    ASSERT_TRUE(LoadDisplaySettings(second, (dir_ / "b.ini").string(), Basis(data), messages));
    EXPECT_EQ(first[0]->Curve(0).colour, kSettingsCurvePalette[k % 12]);
    EXPECT_EQ(first[0]->Curve(1).colour, kSettingsCurvePalette[(k + 1) % 12]);
    EXPECT_EQ(second[0]->Curve(0).colour, kSettingsCurvePalette[(k + 2) % 12]);
    EXPECT_TRUE(messages.shown.empty());

    // From a fresh start: the palette in order, and round again.
    SettingsCurvePalette fresh;
    for (int i = 0; i < 13; ++i) EXPECT_EQ(fresh.Next(), kSettingsCurvePalette[i % 12]) << i;
}

TEST_F(DisplaySettingsFileTest, InvalidPointsOnALogAxisAreReportedOnce) {
    const std::string path = (dir_ / "x.ini").string();
    test::Spit(path,
               "[Main]\nNumScreen=2\n"
               "[Screen0]\nCurveCount=1\nScale=1\nCurve_0_Formula=V\n"
               "[Screen1]\nCurveCount=1\nScale=1\nCurve_0_Formula=V\n");
    RecordingMessages messages;
    std::vector<std::unique_ptr<CGraphCurve>> screens;
    ASSERT_TRUE(LoadDisplaySettings(screens, path, Basis(ThreeColumns()), messages));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].first, kInvalidPointsWarning);
    EXPECT_EQ(messages.shown[0].second, MessageIcon::Exclamation);
    EXPECT_EQ(screens[0]->YLog(), 1);
}

TEST(DisplaySettingsFile, HugeCountsAndGarbageCostOnlyWhatTheFileHolds) {
    const CResultDataRef data = ThreeColumns();
    LoadedScreens r = Read(
        "[Main]\nNumScreen=2000000000\nXFrom=nan\nXTo=1e999\n"
        "[Screen1999999999]\nCurveCount=2000000000\nCurve_1999999998_Formula=I\n"
        "Curve_007_Formula=V\nCurve_+1_Formula=V\nCurve_99999999999_Formula=V\n"
        "[Screen01]\nCurveCount=1\nCurve_0_Formula=V\n"
        "[View]\nFontName=Mono\nFontHeight=-2147483648\nBKColor=-1\n",
        data);
    ASSERT_EQ(r.screens.size(), 1u);
    const CGraphCurve& s = *r.screens[0];
    ASSERT_EQ(s.CurveCount(), 1);
    EXPECT_EQ(s.Curve(0).formula, "I");
    EXPECT_EQ(s.Font().height, -4096);
    EXPECT_EQ(s.Background(), 0xFFFFFFu);
    EXPECT_TRUE(std::isfinite(s.XRange().from) && std::isfinite(s.XRange().to));

    std::string garbage = "\x01\x02[Main";
    garbage += '\0';
    garbage += "]=\n[Main]\nNumScreen=-5\n";
    garbage += std::string(1 << 20, '[');
    EXPECT_TRUE(Read(garbage, data).screens.empty());
}

}  // namespace
}  // namespace kurvex
