#include "graph/DisplaySettingsFile.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <optional>
#include <set>
#include <string_view>

#include "data/platform/NumberText.h"
#include "graph/ViewLayout.h"

namespace kurvex {

namespace {

constexpr const char* kMain = "Main";
constexpr const char* kView = "View";
constexpr Rgb kColourMask = 0xFFFFFF;

std::string Int(std::int64_t v) {
    return Format("%d", static_cast<int>(static_cast<std::int32_t>(v)));
}

std::string Real(double v) {
    return Format("%g", v);
}

std::string ScreenSection(std::int32_t i) {
    return Format("Screen%i", static_cast<int>(i));
}

std::string CurveKey(std::int32_t j, const char* field) {
    return Format("Curve_%i_%s", static_cast<int>(j), field);
}

bool StartsWithIgnoringCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(s[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

// The number "%i" wrote at the start of `s`, and where it ends; none for text
// "%i" never writes (a sign, a leading zero) or a number of 32 bits or more.
std::optional<std::int32_t> LeadingIndex(std::string_view s, size_t& end) {
    size_t n = 0;
    while (n < s.size() && n < 10 && s[n] >= '0' && s[n] <= '9') ++n;
    if (n == 0 || (n > 1 && s[0] == '0') || (n < s.size() && s[n] >= '0' && s[n] <= '9'))
        return std::nullopt;
    std::int64_t v = 0;
    for (size_t i = 0; i < n; ++i) v = v * 10 + (s[i] - '0');
    if (v > INT32_MAX) return std::nullopt;
    end = n;
    return static_cast<std::int32_t>(v);
}

// The numbers of the sections "Screen%i" below `count`, ascending. Found among
// the sections the file has, so a huge NumScreen costs nothing.
std::vector<std::int32_t> ScreenIndices(const IniFile& ini, std::int32_t count) {
    std::set<std::int32_t> found;
    for (const std::string& name : ini.Sections()) {
        if (!StartsWithIgnoringCase(name, "Screen")) continue;
        const std::string_view rest = std::string_view(name).substr(6);
        size_t end = 0;
        const auto i = LeadingIndex(rest, end);
        if (i && end == rest.size() && *i < count) found.insert(*i);
    }
    return {found.begin(), found.end()};
}

// The curve numbers j below `count` that some "Curve_%i_..." key of the section
// names, ascending; a curve without any key could not be found again anyway.
std::vector<std::int32_t> CurveIndices(const IniFile& ini, const std::string& section,
                                       std::int32_t count) {
    std::set<std::int32_t> found;
    for (const std::string& key : ini.Keys(section)) {
        if (!StartsWithIgnoringCase(key, "Curve_")) continue;
        const std::string_view rest = std::string_view(key).substr(6);
        size_t end = 0;
        const auto j = LeadingIndex(rest, end);
        if (j && end < rest.size() && rest[end] == '_' && *j < count) found.insert(*j);
    }
    return {found.begin(), found.end()};
}

std::optional<double> FiniteDouble(const IniFile& ini, const std::string& section,
                                   const char* key) {
    const std::optional<double> v = ini.GetDouble(section, key);
    if (v && !std::isfinite(*v)) return std::nullopt;
    return v;
}

// The settings every screen of the file shares.
struct SharedSettings {
    std::int32_t xLog = 0;
    std::int32_t fft = 0;
    double fftStart = 0.0;
    double fftEnd = 0.0;
    std::string xAxis;
    std::optional<double> xFrom, xTo;
    double xInc = 0.0;
    Rgb background = kRgbWhite;
    Rgb foreground = kRgbBlack;
    Rgb grid = kRgbGrey;
    std::int32_t gridShown = 1;
    std::int32_t hideAxisText = 0;
    std::optional<GraphFont> font;
};

SharedSettings ReadShared(const IniFile& ini) {
    SharedSettings s;
    s.xLog = ini.GetInt(kMain, "Scale", 0);
    s.fft = ini.GetInt(kMain, "FFT", 0);
    if (s.fft) {
        s.fftStart = FiniteDouble(ini, kMain, "FFT Start").value_or(0.0);
        s.fftEnd = FiniteDouble(ini, kMain, "FFT End").value_or(0.0);
    }
    s.xAxis = ini.GetString(kMain, "XAxis");
    s.xFrom = FiniteDouble(ini, kMain, "XFrom");
    s.xTo = FiniteDouble(ini, kMain, "XTo");
    s.xInc = FiniteDouble(ini, kMain, "XInc").value_or(0.0);

    s.background = static_cast<Rgb>(ini.GetInt(kView, "BKColor", 16777215)) & kColourMask;
    s.foreground = static_cast<Rgb>(ini.GetInt(kView, "FGColor", 0)) & kColourMask;
    s.grid = static_cast<Rgb>(ini.GetInt(kView, "GridColor", 8421504)) & kColourMask;
    s.gridShown = ini.GetInt(kView, "Grid", 1);
    s.hideAxisText = ini.GetInt(kView, "HideAxisText", 0);
    std::string face = ini.GetString(kView, "FontName");
    face = face.substr(0, face.find('\0'));
    if (!face.empty()) {
        GraphFont f;
        f.faceName = face;
        // Beyond these no font is drawable, and |INT_MIN| does not exist.
        f.height = std::clamp(ini.GetInt(kView, "FontHeight", -12), -4096, 4096);
        f.weight = std::clamp(ini.GetInt(kView, "FontWeight", 400), 0, 1000);
        f.italic = ini.GetInt(kView, "FontItalic", 0) != 0 ? 1 : 0;
        s.font = f;
    }
    return s;
}

// A saved range is taken as it is when it can be: its own increment when it
// has one, else a chosen grid. Without one, or when refused, the fit to the
// data stays.
void ApplyRange(CGraphCurve& screen, Axis axis, const std::optional<double>& from,
                const std::optional<double>& to, double increment) {
    if (!from || !to) return;
    RangeFlags flags;
    flags.setIncrement = true;
    flags.autoIncrement = !(increment > 0.0);
    if (axis == Axis::X)
        screen.SetXRange(*from, *to, increment, flags);
    else
        screen.SetYRange(*from, *to, increment, flags);
}

}  // namespace

const Rgb kSettingsCurvePalette[12] = {
    0x0000FF, 0xFF0000, 0x00FF00, 0xFF00FF, 0x0080FF, 0xFFC000,
    0x00007F, 0x007F00, 0x7F0000, 0x007F7F, 0x7F007F, 0x7F7F00,
};

Rgb SettingsCurvePalette::Next() {
    return kSettingsCurvePalette[taken_.fetch_add(1) % 12];
}

SettingsCurvePalette& SettingsCurvePalette::Program() {
    static SettingsCurvePalette palette;
    return palette;
}

std::string SettingsFilePath(const std::string& documentPath) {
    if (documentPath.empty()) return {};
    const size_t slash = documentPath.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = documentPath.rfind('.');
    if (dot == std::string::npos || dot < nameStart) return documentPath + ".ini";
    return documentPath.substr(0, dot + 1) + "ini";
}

void WriteDisplaySettings(const std::vector<const CGraphCurve*>& screens, IniFile& ini) {
    if (screens.empty()) return;
    const CGraphCurve& last = *screens.back();
    const bool fft = last.FreqDisplay() != 0;
    ini.Set(kMain, "NumScreen", Int(static_cast<std::int64_t>(screens.size())));
    ini.Set(kMain, "Default", Int(last.XAutoGrid()));
    ini.Set(kMain, "Scale", Int(last.XLog()));
    ini.Set(kMain, "FFT", Int(last.FreqDisplay()));
    ini.Set(kMain, "XAxis", last.XVariableName());
    ini.Set(kMain, "FFT Start", fft ? Real(last.Frequency().fftStart) : std::string());
    ini.Set(kMain, "FFT End", fft ? Real(last.Frequency().fftEnd) : std::string());
    ini.Set(kMain, "XFrom", Real(last.XRange().from));
    ini.Set(kMain, "XTo", Real(last.XRange().to));
    ini.Set(kMain, "XInc", Real(last.XRange().increment));

    ini.Set(kView, "BKColor", Int(last.Background()));
    ini.Set(kView, "FGColor", Int(last.Foreground()));
    ini.Set(kView, "GridColor", Int(last.GridColour()));
    ini.Set(kView, "Grid", Int(last.GridShown()));
    ini.Set(kView, "HideAxisText", Int(last.HideAxisText()));
    ini.Set(kView, "FontName", last.Font().faceName);
    ini.Set(kView, "FontHeight", Int(last.Font().height));
    ini.Set(kView, "FontWeight", Int(last.Font().weight));
    ini.Set(kView, "FontItalic", Int(last.Font().italic != 0));

    for (size_t i = 0; i < screens.size(); ++i) {
        const CGraphCurve& s = *screens[i];
        const std::string section = ScreenSection(static_cast<std::int32_t>(i));
        if (s.CurveCount() == 0) {
            // An older save's section here would bring back a screen that is gone.
            if (ini.HasSection(section)) ini.Set(section, "CurveCount", "0");
            continue;
        }
        ini.Set(section, "CurveCount", Int(s.CurveCount()));
        ini.Set(section, "Auto", Int(s.YAutoScale()));
        ini.Set(section, "Default", Int(s.YAutoGrid()));
        ini.Set(section, "Scale", Int(s.YLog()));
        ini.Set(section, "YFrom", Real(s.YRange().from));
        ini.Set(section, "YTo", Real(s.YRange().to));
        ini.Set(section, "YInc", Real(s.YRange().increment));
        for (std::int32_t j = 0; j < s.CurveCount(); ++j) {
            const CCurveEntry& c = s.Curve(j);
            ini.Set(section, CurveKey(j, "Formula"), c.formula);
            ini.Set(section, CurveKey(j, "Source"), Int(c.sourceKind));
            ini.Set(section, CurveKey(j, "Label"), c.label);
            ini.Set(section, CurveKey(j, "Color"), Int(c.colour));
            ini.Set(section, CurveKey(j, "Connect"), Int(c.connect));
            ini.Set(section, CurveKey(j, "Thickness"), Int(c.thickness));
            ini.Set(section, CurveKey(j, "Symbol"), Int(c.markerSymbol));
        }
    }
}

namespace {

constexpr const char* kMeasures = "Measures";
// More lines than this are a damaged file, not a script.
constexpr std::int32_t kMaxMeasureLines = 100000;

std::string MeasureKey(std::int32_t i) {
    return "Line_" + std::to_string(i + 1);
}

}  // namespace

void WriteMeasureScript(const std::string& script, IniFile& ini) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at <= script.size();) {
        std::size_t end = script.find('\n', at);
        if (end == std::string::npos) end = script.size();
        std::string line = script.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        at = end + 1;
    }
    while (!lines.empty() && lines.back().find_first_not_of(" \t") == std::string::npos)
        lines.pop_back();
    if (lines.empty() && !ini.HasSection(kMeasures)) return;
    const std::int32_t old = std::clamp(ini.GetInt(kMeasures, "Count", 0), 0, kMaxMeasureLines);
    const auto count = static_cast<std::int32_t>(lines.size());
    ini.Set(kMeasures, "Count", std::to_string(count));
    for (std::int32_t i = 0; i < count; ++i)
        ini.Set(kMeasures, MeasureKey(i), lines[static_cast<std::size_t>(i)]);
    for (std::int32_t i = count; i < old; ++i) ini.Set(kMeasures, MeasureKey(i), "");
}

std::string ReadMeasureScript(const IniFile& ini) {
    const std::int32_t count = std::clamp(ini.GetInt(kMeasures, "Count", 0), 0, kMaxMeasureLines);
    std::string script;
    for (std::int32_t i = 0; i < count; ++i) {
        // The lines end where the keys do, whatever the count says.
        const std::string* line = ini.Find(kMeasures, MeasureKey(i));
        if (!line) break;
        script += (i ? "\n" : "") + *line;
    }
    return script;
}

std::string LoadMeasureScript(const std::string& path) {
    if (path.empty()) return {};
    IniFile ini;
    std::string error;
    if (ini.Load(path, error) != IniReadStatus::Ok) return {};
    return ReadMeasureScript(ini);
}

bool SaveDisplaySettings(const std::vector<const CGraphCurve*>& screens, const std::string& path,
                         UserMessages& messages, const RunChoice& runs,
                         const std::string& measures) {
    if (screens.empty() || path.empty()) return false;
    IniFile ini;
    std::string error;
    // A file we cannot read is not overwritten: its other keys would be lost.
    if (ini.Load(path, error) == IniReadStatus::Failed) {
        messages.Show(error, MessageIcon::Exclamation);
        return false;
    }
    WriteDisplaySettings(screens, ini);
    WriteRunChoice(runs, ini);
    WriteMeasureScript(measures, ini);
    if (!ini.Save(path, error)) {
        messages.Show(error, MessageIcon::Exclamation);
        return false;
    }
    messages.Show(Format(kSettingsSavedMessage, path.c_str()), MessageIcon::Information);
    return true;
}

LoadedScreens ReadDisplaySettings(const IniFile& ini, const ScreenBasis& basis,
                                  SettingsCurvePalette& palette) {
    LoadedScreens out;
    const std::int32_t numScreen = ini.GetInt(kMain, "NumScreen", 0);
    if (numScreen <= 0) return out;
    const SharedSettings shared = ReadShared(ini);
    std::int32_t xIndex = -1;
    if (!shared.xAxis.empty()) xIndex = basis.data.FindVariable(shared.xAxis.c_str());

    for (const std::int32_t i : ScreenIndices(ini, numScreen)) {
        const std::string section = ScreenSection(i);
        const std::int32_t curveCount = ini.GetInt(section, "CurveCount", 0);
        if (curveCount <= 0) continue;
        auto s = std::make_unique<CGraphCurve>(kScreenOfView);
        s->SetData(basis.data);
        s->SetMetrics(basis.metrics);
        s->SetBackground(shared.background);
        s->SetForeground(shared.foreground);
        s->SetGridColour(shared.grid);
        s->SetGridShown(shared.gridShown);
        s->SetHideAxisText(shared.hideAxisText);
        if (shared.font) s->SetFont(*shared.font, basis.measure);
        if (xIndex >= 0) s->SetXIndex(xIndex);
        s->StoreScales(shared.xLog, ini.GetInt(section, "Scale", 0), shared.fft);
        s->Frequency().fftStart = shared.fftStart;
        s->Frequency().fftEnd = shared.fftEnd;

        for (const std::int32_t j : CurveIndices(ini, section, curveCount)) {
            CCurveEntry c;
            c.sourceKind = ini.GetInt(section, CurveKey(j, "Source"), kCurveColumn);
            c.columnIndex = -1;
            c.formula = ini.GetString(section, CurveKey(j, "Formula"));
            c.label = ini.GetString(section, CurveKey(j, "Label"));
            const std::int32_t colour = ini.GetInt(section, CurveKey(j, "Color"), -1);
            c.connect = ini.GetInt(section, CurveKey(j, "Connect"), 1);
            c.thickness = ini.GetInt(section, CurveKey(j, "Thickness"), 1);
            c.markerSymbol = ini.GetInt(section, CurveKey(j, "Symbol"), kMarkerNone);
            const CurveBindResult bound = c.Bind(basis.data);
            if (!bound.ok) continue;
            out.invalidPoints = out.invalidPoints || bound.invalidPoints;
            c.colour = colour == -1 ? palette.Next() : static_cast<Rgb>(colour) & kColourMask;
            s->AddCurve(c);
        }

        out.invalidPoints = ScaleToData(*s) || out.invalidPoints;
        ApplyRange(*s, Axis::X, shared.xFrom, shared.xTo, shared.xInc);
        ApplyRange(*s, Axis::Y, FiniteDouble(ini, section, "YFrom"),
                   FiniteDouble(ini, section, "YTo"),
                   FiniteDouble(ini, section, "YInc").value_or(0.0));
        s->SetBottomScreen(0);
        out.screens.push_back(std::move(s));
    }
    if (!out.screens.empty()) out.screens.back()->SetBottomScreen(1);
    return out;
}

RunChoice LoadRunChoice(const std::string& path) {
    if (path.empty()) return {};
    IniFile ini;
    std::string error;
    if (ini.Load(path, error) != IniReadStatus::Ok) return {};
    return ReadRunChoice(ini);
}

bool LoadDisplaySettings(std::vector<std::unique_ptr<CGraphCurve>>& screens,
                         const std::string& path, const ScreenBasis& basis,
                         UserMessages& messages) {
    if (!screens.empty() || path.empty()) return false;
    IniFile ini;
    std::string error;
    if (ini.Load(path, error) != IniReadStatus::Ok) return false;
    LoadedScreens loaded = ReadDisplaySettings(ini, basis, SettingsCurvePalette::Program());
    if (loaded.screens.empty()) return false;
    if (loaded.invalidPoints) ShowInvalidPointsWarning(messages);
    screens = std::move(loaded.screens);
    return true;
}

}  // namespace kurvex
