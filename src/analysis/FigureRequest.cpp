#include "analysis/FigureRequest.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "analysis/FftWindow.h"
#include "analysis/Harmonics.h"
#include "analysis/MeasureTables.h"
#include "data/platform/NumberText.h"
#include "graph/AppOptions.h"

namespace kurvex {

static_assert(std::size(kFftWindows) == static_cast<std::size_t>(kFftWindowCount),
              "the stored option admits every window");

namespace {

bool SamePlace(const std::optional<CurvePlace>& a, const std::optional<CurvePlace>& b) {
    if (!a || !b) return !a && !b;
    return a->screen == b->screen && a->curve == b->curve;
}

bool SameNumber(const std::optional<double>& a, const std::optional<double>& b) {
    if (!a || !b) return !a && !b;
    return *a == *b;
}

FigureTable HarmonicsOfSelection(const std::vector<CGraphCurve*>& screens,
                                 std::optional<double> fundamental) {
    const std::optional<CurvePlace> place = DefaultReference(screens);
    if (!place) {
        FigureTable t;
        t.columns = {"Order", "Frequency", "Amplitude", "Percent"};
        t.message = "No curve to analyse.";
        return t;
    }
    const CGraphCurve& screen = *screens[static_cast<std::size_t>(place->screen)];
    const CCurveEntry& curve = screen.Curve(place->curve);
    return HarmonicsTable(HarmonicsOfCurve(screen, place->curve, fundamental), curve.formula,
                          curve.colour);
}

// Appends the bits of `v`, so that any change of a number changes the key.
void AppendBits(std::string& key, double v) {
    char bytes[sizeof v];
    std::memcpy(bytes, &v, sizeof v);
    key.append(bytes, sizeof bytes);
}

void AppendInt(std::string& key, std::int64_t v) {
    key += std::to_string(v);
    key += ',';
}

void AppendPointer(std::string& key, const void* p) {
    AppendInt(key, static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(p)));
}

}  // namespace

bool FigureRequest::operator==(const FigureRequest& o) const {
    return kind == o.kind && SamePlace(reference, o.reference) &&
           SameNumber(cycles.level, o.cycles.level) &&
           SameNumber(cycles.hysteresis, o.cycles.hysteresis) && SamePlace(deadFrom, o.deadFrom) &&
           SamePlace(deadTo, o.deadTo) && SameNumber(fundamental, o.fundamental);
}

FigureResult ComputeFigures(const std::vector<CGraphCurve*>& screens,
                            const FigureRequest& request) {
    FigureResult r;
    switch (request.kind) {
        case FigureKind::kCycles:
            r.table = CycleTable(screens, request.reference, request.cycles);
            break;
        case FigureKind::kEdges:
            r.table = EdgeTable(screens, {});
            if (request.deadFrom && request.deadTo)
                r.dead = DeadTimeTable(screens, *request.deadFrom, *request.deadTo, {});
            break;
        case FigureKind::kHarmonics:
            r.table = HarmonicsOfSelection(screens, request.fundamental);
            break;
    }
    return r;
}

std::string FigureResultText(const FigureResult& result) {
    std::string text = FigureTableText(result.table);
    if (result.dead) text += "\n" + FigureTableText(*result.dead);
    return text;
}

std::string ShownFigureText(const std::optional<double>& value) {
    return value ? Format("%g", *value) : std::string();
}

std::string FigureRowsText(const FigureTable& table) {
    std::string text;
    for (const FigureRow& row : table.rows) {
        if (!text.empty()) text += "\n";
        text += row.label;
        for (const auto& v : row.values) text += "\t" + ShownFigureText(v);
    }
    return text;
}

std::vector<CGraphCurve> SnapshotScreens(const std::vector<const CGraphCurve*>& screens,
                                         const std::optional<AxisRange>& xRange) {
    std::vector<CGraphCurve> copies;
    copies.reserve(screens.size());
    for (const CGraphCurve* s : screens) {
        if (!s) continue;
        copies.push_back(*s);
        if (!xRange) continue;
        // The range a drag shows has passed the screen's checks already: taken exactly.
        RangeFlags exact;
        exact.setIncrement = xRange->increment > 0.0;
        exact.autoIncrement = false;
        copies.back().SetXRange(xRange->from, xRange->to, xRange->increment, exact);
    }
    return copies;
}

std::string FigureInputKey(const std::vector<const CGraphCurve*>& screens) {
    std::string key;
    for (const CGraphCurve* s : screens) {
        if (!s) continue;
        const CResultData* d = s->Data().Get();
        AppendPointer(key, d);
        AppendInt(key, d ? d->RowCount() : -1);
        AppendInt(key, s->XIndex());
        AppendInt(key, s->XLog());
        AppendInt(key, s->FreqDisplay());
        AppendPointer(key, s->Frequency().xColumn.get());
        AppendBits(key, s->XRange().from);
        AppendBits(key, s->XRange().to);
        AppendInt(key, s->SelectedCurve());
        AppendInt(key, s->CurveCount());
        for (std::int32_t i = 0; i < s->CurveCount(); ++i) {
            const CCurveEntry& c = s->Curve(i);
            AppendInt(key, c.sourceKind);
            AppendInt(key, c.columnIndex);
            AppendPointer(key, c.formulaResult.get());
            AppendPointer(key, c.spectrum.get());
            AppendInt(key, c.colour);
            key += c.formula;
            key += '\0';
        }
        key += ';';
    }
    return key;
}

std::string CycleAverageFormula(const CCurveEntry& curve, const CCurveEntry& reference) {
    const auto operand = [](const CCurveEntry& c) {
        return c.sourceKind == kCurveFormula ? "(" + c.formula + ")" : c.formula;
    };
    return "CYCAVG(" + operand(curve) + "," + operand(reference) + ")";
}

NumberEntry ParseNumberEntry(const std::string& text) {
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
    if (b == e) return {};
    if (text[b] == '+' && e - b > 1 && text[b + 1] != '-') ++b;
    double v = 0.0;
    const auto [end, ec] = std::from_chars(text.data() + b, text.data() + e, v);
    if (ec != std::errc() || end != text.data() + e || !std::isfinite(v))
        return {std::nullopt, false};
    return {v, true};
}

}  // namespace kurvex
