#include "interaction/RunEdits.h"

#include <cmath>
#include <limits>
#include <optional>

#include "data/platform/NameText.h"
#include "data/platform/NumberText.h"
#include "graph/AxisTicks.h"
#include "interaction/ControlRules.h"

namespace kurvex {

namespace {

// The number typed, with an engineering suffix and perhaps a unit ("12.3 us");
// none without a digit, when too large, or when a second number follows
// ("0-0.0121" is no number, though the controls would read its 0).
std::optional<double> Typed(std::string_view text) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    size_t i = text.find_first_not_of(" \t");
    if (i == std::string_view::npos) return std::nullopt;
    if (text[i] == '-' || text[i] == '+') ++i;
    bool digits = false;
    for (; i < text.size() && (digit(text[i]) || text[i] == '.'); ++i)
        digits = digits || digit(text[i]);
    if (!digits) return std::nullopt;
    if (i + 1 < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (text[j] == '-' || text[j] == '+') ++j;
        if (j < text.size() && digit(text[j])) {
            i = j;
            while (i < text.size() && digit(text[i])) ++i;
        }
    }
    for (; i < text.size(); ++i)
        if (digit(text[i]) || text[i] == '-' || text[i] == '+') return std::nullopt;
    const double v = ReadSuffixedNumber(text);
    if (!std::isfinite(v)) return std::nullopt;
    return v;
}

RunEdit Refused(const RunChoice& choice, std::string problem) {
    return RunEdit{choice, std::move(problem)};
}

}  // namespace

RunEdit ShiftRun(const RunChoice& choice, const std::string& run, std::string_view text) {
    const std::optional<double> shift = Typed(text);
    if (!shift) return Refused(choice, "The shift must be a number.");
    RunEdit out{choice, {}};
    RunAdjust a = AdjustmentOf(choice, run);
    a.shift = *shift;
    SetAdjustment(out.choice, run, a);
    return out;
}

RunEdit ScaleRun(const RunChoice& choice, const std::string& run, const std::string& name,
                 std::string_view text) {
    const std::optional<double> factor = Typed(text);
    if (!factor || *factor == 0.0)
        return Refused(choice, "The factor must be a number other than 0.");
    if (name.empty()) return Refused(choice, "Choose a variable.");
    RunEdit out{choice, {}};
    RunAdjust a = AdjustmentOf(choice, run);
    a.SetScale(name, *factor);
    SetAdjustment(out.choice, run, a);
    return out;
}

RunEdit MapRun(const RunChoice& choice, const std::string& run, const std::string& from,
               const std::string& to) {
    if (from.empty()) return Refused(choice, "Choose a variable.");
    RunEdit out{choice, {}};
    RunAdjust a = AdjustmentOf(choice, run);
    // A scale set under the old shown name follows the variable.
    const std::string* before = nullptr;
    for (const auto& m : a.maps)
        if (SameName(m.first, from)) before = &m.second;
    const std::string old = before ? *before : from;
    const double factor = a.ScaleOf(old);
    a.SetScale(old, 1.0);
    a.SetMap(from, to);
    a.SetScale(to.empty() ? from : to, factor);
    SetAdjustment(out.choice, run, a);
    return out;
}

RunEdit AlignRun(const RunChoice& choice, const CResultData& shown,
                 const std::vector<std::string>& names, std::int32_t k, std::int32_t reference,
                 const std::string& variable, std::string_view level, bool rising,
                 std::string_view after) {
    if (k < 0 || static_cast<size_t>(k) >= names.size()) return Refused(choice, "Choose a run.");
    if (k == reference)
        return Refused(choice, "The reference run stays where it is: choose another run.");
    const std::optional<double> at = Typed(level);
    if (!at) return Refused(choice, "The level must be a number.");
    AlignRequest request{variable, *at, rising, -std::numeric_limits<double>::infinity()};
    if (after.find_first_not_of(" \t") != std::string_view::npos) {
        const std::optional<double> from = Typed(after);
        if (!from) return Refused(choice, "\"After X\" must be a number, or empty for the start.");
        request.after = *from;
    }
    const AlignResult aligned = AlignOnEdge(shown, k, reference, request);
    if (!aligned.ok) return Refused(choice, aligned.error);
    const std::string& run = names[static_cast<size_t>(k)];
    RunEdit out{choice, {}};
    RunAdjust a = AdjustmentOf(choice, run);
    a.shift += aligned.delta;
    SetAdjustment(out.choice, run, a);
    return out;
}

std::string RunRowText(const std::string& name, const RunAdjust& adjust, const std::string& xName) {
    if (adjust.IsDefault()) return name;
    std::string parts;
    const auto add = [&](const std::string& part) { parts += (parts.empty() ? "" : "; ") + part; };
    if (adjust.shift != 0.0) add(ShiftText(adjust.shift, XUnit(xName)));
    for (const auto& [from, to] : adjust.maps) add(from + " shows as " + to);
    for (const auto& [var, factor] : adjust.scales) add(var + " \u00D7" + Format("%g", factor));
    return name + "  [" + parts + "]";
}

}  // namespace kurvex
