#include "graph/ViewLayout.h"

#include <algorithm>
#include <cstring>

#include "graph/AxisScale.h"

namespace kurvex {

namespace {

constexpr Rgb Colour3(int r, int g, int b) {
    return static_cast<Rgb>(r | (g << 8) | (b << 16));
}

bool StartsWithIgnoringCase(const std::string& s, const char* prefix) {
    const size_t n = std::strlen(prefix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(s[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

// A screen of phases only: its Y axis is in degrees.
bool ShowsPhasesOnly(const CGraphCurve& s) {
    if (s.CurveCount() == 0) return false;
    for (std::int32_t i = 0; i < s.CurveCount(); ++i) {
        if (!StartsWithIgnoringCase(s.Curve(i).formula, "phase(")) return false;
    }
    return true;
}

// A phase axis reads best on multiples of 45 degrees.
void StepByDegrees(CGraphCurve& s) {
    double from = s.YRange().from, to = s.YRange().to;
    const double step = PhaseStep(s, from, to);
    if (step <= 0.0) return;
    RangeFlags flags;
    flags.setIncrement = true;
    flags.autoIncrement = false;
    s.SetYRange(from, to, step, flags);
}

}  // namespace

double PhaseStep(const CGraphCurve& screen, double& from, double& to) {
    if (screen.YLog() || !ShowsPhasesOnly(screen)) return 0.0;
    return DegreeStep(from, to);
}

const Rgb kNewCurvePalette[12] = {
    Colour3(255, 0, 0),   Colour3(0, 0, 255),   Colour3(0, 255, 0),   Colour3(255, 0, 255),
    Colour3(255, 128, 0), Colour3(0, 192, 255), Colour3(127, 0, 0),   Colour3(0, 127, 0),
    Colour3(0, 0, 127),   Colour3(127, 127, 0), Colour3(127, 0, 127), Colour3(0, 127, 127),
};

Rgb NextCurveColour(const std::vector<Rgb>& shown) {
    auto used = [&](Rgb c) { return std::find(shown.begin(), shown.end(), c) != shown.end(); };
    const size_t n = shown.size();
    for (size_t i = n; i < 12; ++i) {
        if (!used(kNewCurvePalette[i])) return kNewCurvePalette[i];
    }
    for (size_t i = 0; i < n; ++i) {
        if (!used(kNewCurvePalette[i % 12])) return kNewCurvePalette[i % 12];
    }
    return kNewCurvePalette[n % 12];
}

std::vector<PlotRect> LayoutScreens(std::int32_t count, std::int32_t width, std::int32_t height,
                                    std::int32_t textHeight, std::int32_t scrollBarHeight) {
    std::vector<PlotRect> out;
    if (count < 1) return out;
    const std::int32_t h = std::max(0, (height - 3 * textHeight - scrollBarHeight) / count);
    for (std::int32_t i = 0; i + 1 < count; ++i) out.push_back({0, i * h, width, (i + 1) * h});
    out.push_back({0, (count - 1) * h, width, std::max(height, (count - 1) * h)});
    return out;
}

bool ScaleToData(CGraphCurve& screen) {
    const bool invalid = screen.UpdateExtents();
    RangeFlags flags;  // choose a nice step and align the ends to it
    const DataExtent x = screen.XExtent();
    if (screen.XLog()) {
        flags.setIncrement = true;
        flags.autoIncrement = false;
        screen.SetXRange(x.min, x.max, 1.0, flags);
    } else {
        screen.SetXRange(x.min, x.max, 0.0, RangeFlags{});
    }
    const DataExtent y = screen.YExtent();
    const double m = (y.max - y.min) * 0.1;
    if (screen.YLog()) {
        flags.setIncrement = true;
        flags.autoIncrement = false;
        screen.SetYRange(y.min - m, y.max + m, 1.0, flags);
    } else {
        screen.SetYRange(y.min - m, y.max + m, 0.0, RangeFlags{});
    }
    return invalid;
}

DefaultScreens MakeDefaultScreens(const CResultDataRef& data, const CharMetrics& metrics) {
    DefaultScreens out;
    const CResultData* d = data.Get();
    if (!d || d->VariableCount() == 0) return out;
    auto newScreen = [&]() {
        auto s = std::make_unique<CGraphCurve>(kScreenOfView);
        s->SetData(data);
        s->SetMetrics(metrics);
        return s;
    };
    auto addCurve = [](CGraphCurve& s, const CResultDataRef& data, std::int32_t column) {
        CCurveEntry c = CCurveEntry::ForColumn(data, column);
        std::vector<Rgb> shown;
        for (std::int32_t i = 0; i < s.CurveCount(); ++i) shown.push_back(s.Curve(i).colour);
        c.colour = NextCurveColour(shown);
        s.AddCurve(c);
    };
    if (StartsWithIgnoringCase(d->Variable(0)->Name(), "Freq")) {
        std::vector<std::int32_t> amp, phase;
        for (std::int32_t i = 1; i < d->VariableCount(); ++i) {
            const std::string& name = d->Variable(i)->Name();
            if (StartsWithIgnoringCase(name, "amp")) amp.push_back(i);
            if (StartsWithIgnoringCase(name, "phase")) phase.push_back(i);
        }
        if (!amp.empty() && !phase.empty()) {
            for (const auto* group : {&amp, &phase}) {
                auto s = newScreen();
                for (std::int32_t column : *group) addCurve(*s, data, column);
                s->SetXScale(1);
                out.invalidPoints = ScaleToData(*s) || out.invalidPoints;
                StepByDegrees(*s);
                out.screens.push_back(std::move(s));
            }
            for (size_t i = 0; i < out.screens.size(); ++i)
                out.screens[i]->SetBottomScreen(i + 1 == out.screens.size());
            return out;
        }
    }
    auto s = newScreen();
    if (d->VariableCount() == 2) {
        addCurve(*s, data, 1);
        out.invalidPoints = ScaleToData(*s);
    } else {
        out.chooseCurves = true;
    }
    out.screens.push_back(std::move(s));
    return out;
}

}  // namespace kurvex
