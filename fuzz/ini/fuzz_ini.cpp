// Feeds arbitrary bytes to the INI reader and checks that writing the file back
// and reading it again finds the same keys, and that a key set is found again;
// then builds the screens the bytes describe, saves them into the same file and
// checks that reading that gives the same screens.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/formats/IniFile.h"
#include "graph/DisplaySettingsFile.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

const kurvex::CResultDataRef& Data() {
    static const kurvex::CResultDataRef data = [] {
        kurvex::CResultDataRef d;
        d.Initialise(kurvex::kDataSetPlain, 3, 4, 4);
        d.SetName(0, "Time");
        d.SetName(1, "V");
        d.SetName(2, "I");
        const std::uint8_t flags[3] = {1, 1, 1};
        for (int r = 0; r < 4; ++r) {
            const double row[3] = {r * 0.5, r - 1.5, 10.0 * r};
            d.SetRow(r, row, flags, 0, -1);
        }
        d.UpdateExtents();
        return d;
    }();
    return data;
}

std::vector<const kurvex::CGraphCurve*> WithCurves(const kurvex::LoadedScreens& loaded) {
    std::vector<const kurvex::CGraphCurve*> out;
    for (const auto& s : loaded.screens) {
        if (s->CurveCount() > 0) out.push_back(s.get());
    }
    return out;
}

void CheckScreensRoundTrip(std::string_view bytes) {
    kurvex::IniFile ini = kurvex::IniFile::Parse(bytes);
    kurvex::ScreenBasis basis;
    basis.data = Data();
    kurvex::SettingsCurvePalette palette;
    const kurvex::LoadedScreens first = kurvex::ReadDisplaySettings(ini, basis, palette);
    const auto shown = WithCurves(first);
    if (shown.empty()) return;
    kurvex::WriteDisplaySettings(shown, ini);
    const kurvex::LoadedScreens second = kurvex::ReadDisplaySettings(ini, basis, palette);
    const auto again = WithCurves(second);
    Check(again.size() == shown.size());
    for (size_t i = 0; i < shown.size(); ++i) {
        Check(again[i]->XIndex() == shown[i]->XIndex());
        Check(again[i]->CurveCount() == shown[i]->CurveCount());
        for (std::int32_t j = 0; j < shown[i]->CurveCount(); ++j) {
            Check(again[i]->Curve(j).sourceKind == shown[i]->Curve(j).sourceKind);
            Check(again[i]->Curve(j).colour == shown[i]->Curve(j).colour);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    kurvex::IniFile ini = kurvex::IniFile::Parse(bytes);
    const std::string text = ini.Text();
    const kurvex::IniFile again = kurvex::IniFile::Parse(text);
    Check(again.Text() == text);
    Check(again.Sections() == ini.Sections());
    for (const std::string& section : ini.Sections()) {
        Check(again.Keys(section) == ini.Keys(section));
        for (const std::string& key : ini.Keys(section)) {
            Check(again.GetString(section, key) == ini.GetString(section, key));
            (void)ini.GetInt(section, key, -1);
            (void)ini.GetDouble(section, key);
        }
    }
    CheckScreensRoundTrip(bytes);

    // The writer's way in: a new key, then every key of the first section
    // rewritten; the other sections stay as they were.
    const auto sections = ini.Sections();
    const std::string section = sections.empty() ? std::string("Main") : sections.front();
    if (!ini.Set(section, "FFT Start", bytes.substr(0, 16))) return 0;
    const auto keys = ini.Keys(section);
    // Keys that no INI line could write (a "[" ahead of a "]") may be refused.
    std::vector<std::string> rewritten;
    for (const std::string& key : keys) {
        if (ini.Set(section, key, "1")) rewritten.push_back(key);
    }
    const kurvex::IniFile written = kurvex::IniFile::Parse(ini.Text());
    Check(written.Keys(section) == keys);
    for (const std::string& key : rewritten) Check(written.GetString(section, key) == "1");
    for (const std::string& other : sections) {
        if (other == section) continue;
        Check(written.Keys(other) == again.Keys(other));
    }
    return 0;
}
