#include "graph/ViewCommands.h"

#include <cstdio>

#include "data/formats/IniFile.h"
#include "data/platform/NameText.h"
#include "graph/DisplayRecord.h"
#include "graph/ViewLayout.h"

namespace kurvex {

std::vector<CurveListEntry> CurveListEntries(const std::vector<const CGraphCurve*>& screens) {
    std::vector<CurveListEntry> out;
    const bool numbered = screens.size() != 1;
    for (size_t i = 0; i < screens.size(); ++i) {
        const CGraphCurve& s = *screens[i];
        for (std::int32_t j = 0; j < s.CurveCount(); ++j) {
            const std::string label = DisplayName(s.Curve(j).label);
            std::string text = label;
            if (numbered) {
                char number[16];
                std::snprintf(number, sizeof number, "%i -> ", static_cast<int>(i + 1));
                text = number + label;
            }
            out.push_back({std::move(text), CurveSelectionParam(static_cast<std::int32_t>(i), j)});
        }
    }
    return out;
}

int CurveListIndex(const std::vector<CurveListEntry>& entries, std::int32_t param) {
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].data == param) return static_cast<int>(i);
    return -1;
}

std::int32_t FirstSelectionParam(const std::vector<const CGraphCurve*>& screens) {
    for (size_t i = 0; i < screens.size(); ++i) {
        const std::int32_t curve = screens[i]->SelectedCurve();
        if (curve >= 0) return CurveSelectionParam(static_cast<std::int32_t>(i), curve);
    }
    return 0;
}

bool SyncXAxis(const std::vector<CGraphCurve*>& screens, std::size_t source,
               const CharMetrics& metrics) {
    for (CGraphCurve* s : screens) s->SetMetrics(metrics);
    if (source >= screens.size()) return false;
    const CGraphCurve& from = *screens[source];
    bool invalid = false;
    for (size_t i = 0; i < screens.size(); ++i) {
        if (i == source) continue;
        CGraphCurve& s = *screens[i];
        if (s.XIndex() != from.XIndex()) {
            s.SetXIndex(from.XIndex());
            s.SetXTitle(from.XTitle());
            invalid = s.UpdateExtents() || invalid;
        } else if (s.FreqDisplay() != from.FreqDisplay() || s.XLog() != from.XLog()) {
            s.StoreScales(from.XLog(), s.YLog(), from.FreqDisplay());
            invalid = s.UpdateExtents() || invalid;
        }
        if (!(s.XRange() == from.XRange())) {
            RangeFlags flags;
            flags.setIncrement = true;
            flags.autoIncrement = false;
            const AxisRange& r = from.XRange();
            s.SetXRange(r.from, r.to, r.increment, flags);
        }
    }
    return invalid;
}

std::int32_t ActiveAfterDelete(std::int32_t active) {
    return active > 0 ? active - 1 : 0;
}

bool ToggleBlackWhite(const std::vector<CGraphCurve*>& screens) {
    if (screens.empty()) return false;
    const bool blackWhite = !screens.back()->BlackWhite();
    for (CGraphCurve* s : screens) {
        const std::uint32_t f = s->DisplayFlags();
        s->SetDisplayFlags(blackWhite ? (f | kDisplayBlackWhite) : (f & ~kDisplayBlackWhite));
    }
    return true;
}

bool ToggleGrid(const std::vector<CGraphCurve*>& screens) {
    if (screens.empty()) return false;
    const std::int32_t shown = screens.back()->GridShown() ? 0 : 1;
    for (CGraphCurve* s : screens) s->SetGridShown(shown);
    return true;
}

void CopySharedDisplay(const CGraphCurve& bottom, CGraphCurve& added) {
    added.SetBackground(bottom.Background());
    added.SetForeground(bottom.Foreground());
    added.SetGridColour(bottom.GridColour());
    added.SetFont(bottom.Font(), nullptr);
    added.SetMetrics(bottom.Metrics());
    added.SetGridShown(bottom.GridShown());
    added.SetHideAxisText(bottom.HideAxisText());
    added.SetDisplayFlags((added.DisplayFlags() & ~kDisplayBlackWhite) |
                          (bottom.DisplayFlags() & kDisplayBlackWhite));
    added.SetXIndex(bottom.XIndex());
    added.SetXTitle(bottom.XTitle());
    added.SetXAutoGrid(bottom.XAutoGrid());
    added.SetXDivisions(bottom.XDivisions());
    added.StoreScales(bottom.XLog(), bottom.YLog(), bottom.FreqDisplay());
    added.UpdateExtents();
    added.StoreX(added.XExtent(), bottom.XRange());
}

bool FitYToCurves(CGraphCurve& screen) {
    const bool invalid = screen.UpdateExtents();
    const AxisRange x = screen.XRange();
    DataExtent y = screen.YExtent();
    if (const auto visible = screen.YExtentOver(x.from, x.to)) y = *visible;
    const double m = (y.max - y.min) * 0.1;
    RangeFlags flags;
    if (screen.YLog()) {
        flags.setIncrement = true;
        flags.autoIncrement = false;
        screen.SetYRange(y.min - m, y.max + m, 1.0, flags);
    } else {
        screen.SetYRange(y.min - m, y.max + m, 0.0, flags);
    }
    return invalid;
}

bool ApplyXVariable(CGraphCurve& screen, std::int32_t index) {
    screen.SetXIndex(index);
    screen.SetXTitle(screen.XVariableName());
    return ScaleToData(screen);
}

FirstSetup BuildFirstScreens(CIOBuffer& saved, const std::string& settingsPath,
                             const ScreenBasis& basis) {
    FirstSetup out;
    const CResultData* d = basis.data.Get();
    if (!d || d->VariableCount() == 0) return out;
    if (saved.Size() > 0) {
        try {
            LoadedScreens loaded = ReadDisplayStream(saved, basis);
            out.screens = std::move(loaded.screens);
            out.invalidPoints = loaded.invalidPoints;
            out.source = SetupSource::SavedStream;
        } catch (const CIOBufferException&) {
            // A damaged settings block costs the layout, not the data.
            out.screens.clear();
        }
    }
    if (out.screens.empty() && !settingsPath.empty()) {
        IniFile ini;
        std::string error;
        if (ini.Load(settingsPath, error) == IniReadStatus::Ok) {
            LoadedScreens loaded = ReadDisplaySettings(ini, basis, SettingsCurvePalette::Program());
            out.screens = std::move(loaded.screens);
            out.invalidPoints = loaded.invalidPoints;
            out.source = SetupSource::SettingsFile;
        }
    }
    if (out.screens.empty()) {
        DefaultScreens defaults = MakeDefaultScreens(basis.data, basis.metrics);
        out.screens = std::move(defaults.screens);
        out.invalidPoints = defaults.invalidPoints;
        out.source = defaults.chooseCurves     ? SetupSource::ChooseCurves
                     : out.screens.size() == 2 ? SetupSource::FrequencyResponse
                     : out.screens.empty()     ? SetupSource::None
                                               : SetupSource::OneCurve;
    }
    for (size_t i = 0; i < out.screens.size(); ++i) {
        CGraphCurve& s = *out.screens[i];
        s.SetMetrics(basis.metrics);
        s.SetBottomScreen(i + 1 == out.screens.size());
        if (s.XTitle().empty()) s.SetXTitle(s.XVariableName());
    }
    return out;
}

}  // namespace kurvex
