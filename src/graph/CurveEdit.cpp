#include "graph/CurveEdit.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "formula/FormulaVariable.h"
#include "graph/ViewLayout.h"

namespace kurvex {

namespace {

unsigned char Lower(char c) {
    return static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(c)));
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Lower(x) < Lower(y); });
}

bool EqualsIgnoringCase(const std::string& a, const char* b) {
    const std::size_t n = std::char_traits<char>::length(b);
    if (a.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

// The blanks the formula engine trims.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The descriptive fields the dialogs edit.
void CopyChoices(const CurveEditRecord& r, CCurveEntry& c) {
    c.label = r.label;
    c.colour = r.colour;
    c.connect = r.connect;
    c.thickness = r.thickness;
    c.markerSymbol = r.marker;
}

}  // namespace

std::vector<CurveEditRecord> CurveEditRecordsOf(const CGraphCurve& screen) {
    std::vector<CurveEditRecord> records;
    records.reserve(static_cast<std::size_t>(screen.CurveCount()));
    for (std::int32_t i = 0; i < screen.CurveCount(); ++i) {
        const CCurveEntry& c = screen.Curve(i);
        CurveEditRecord r;
        r.kind = c.sourceKind == kCurveFormula ? kEditFormula : kEditVariable;
        r.source = r.kind == kEditFormula ? -1 : c.columnIndex;
        r.carried = c.sourceKind;
        r.name = c.formula;
        r.label = c.label;
        r.colour = c.colour;
        r.connect = c.connect;
        r.thickness = c.thickness;
        r.marker = c.markerSymbol;
        r.origin = i;
        records.push_back(std::move(r));
    }
    return records;
}

SharedDisplay SharedDisplayOf(const CGraphCurve& screen) {
    SharedDisplay d;
    d.background = screen.Background();
    d.foreground = screen.Foreground();
    d.grid = screen.GridColour();
    d.gridShown = screen.GridShown();
    d.hideAxisText = screen.HideAxisText();
    d.font = screen.Font();
    return d;
}

bool ApplyCurveEdits(CGraphCurve& screen, const std::vector<CurveEditRecord>& records) {
    bool invalid = false;
    std::vector<CCurveEntry> curves;
    curves.reserve(records.size());
    std::int32_t selected = -1;
    for (const CurveEditRecord& r : records) {
        const bool kept =
            r.origin >= 0 && r.origin < screen.CurveCount() &&
            screen.Curve(r.origin).formula == r.name &&
            (screen.Curve(r.origin).sourceKind == kCurveFormula) == (r.kind == kEditFormula);
        CCurveEntry c;
        if (kept) {
            c = screen.Curve(r.origin);
            c.sourceKind = r.carried;
            if (r.origin == screen.SelectedCurve())
                selected = static_cast<std::int32_t>(curves.size());
        } else if (r.kind == kEditFormula) {
            c = CCurveEntry::ForFormula(r.name);
            const CurveBindResult bound = c.Bind(screen.Data());
            if (!bound.ok) continue;
            invalid = invalid || bound.invalidPoints;
        } else {
            c = CCurveEntry::ForColumn(screen.Data(), r.source);
            if (c.formula != r.name) {
                // The index went stale; the name is what the user picked.
                c.formula = r.name;
                if (!c.Bind(screen.Data()).ok) continue;
            }
        }
        CopyChoices(r, c);
        curves.push_back(std::move(c));
    }
    screen.ClearCurves();
    for (const CCurveEntry& c : curves) screen.AddCurve(c);
    screen.SetSelectedCurve(selected);
    return screen.SetYScale(screen.YLog()) || invalid;
}

void ApplySharedDisplay(CGraphCurve& screen, const SharedDisplay& display,
                        const TextMeasure* measure) {
    screen.SetBackground(display.background);
    screen.SetForeground(display.foreground);
    screen.SetGridColour(display.grid);
    screen.SetGridShown(display.gridShown);
    screen.SetHideAxisText(display.hideAxisText);
    screen.SetFont(display.font, measure);
}

GraphFont ChosenFont(const GraphFont& previous, const std::string& face, std::int32_t pixelHeight,
                     std::int32_t weight, bool italic) {
    GraphFont f = previous;
    std::size_t n = std::min(face.size(), GraphFont::kFaceNameMax);
    // Never split a UTF-8 sequence.
    while (n > 0 && n < face.size() && (static_cast<unsigned char>(face[n]) & 0xC0) == 0x80) --n;
    f.faceName = face.substr(0, n);
    const std::int32_t h = std::max<std::int32_t>(pixelHeight, 1);
    f.height = previous.height < 0 ? -h : h;
    f.weight = weight;
    f.italic = italic ? 1 : 0;
    return f;
}

Rgb NextCurveColour(const std::vector<CurveEditRecord>& shown) {
    std::vector<Rgb> colours;
    colours.reserve(shown.size());
    for (const CurveEditRecord& r : shown) colours.push_back(r.colour);
    return NextCurveColour(colours);
}

std::vector<std::int32_t> AvailableVariables(const CResultData& data) {
    std::vector<std::int32_t> order;
    order.reserve(static_cast<std::size_t>(data.VariableCount()));
    for (std::int32_t i = 0; i < data.VariableCount(); ++i) {
        if (i == 0 && EqualsIgnoringCase(data.Variable(0)->Name(), "Time")) continue;
        order.push_back(i);
    }
    std::stable_sort(order.begin(), order.end(), [&data](std::int32_t a, std::int32_t b) {
        return LessIgnoringCase(data.Variable(a)->Name(), data.Variable(b)->Name());
    });
    return order;
}

bool IsShown(const std::vector<CurveEditRecord>& shown, const std::string& name) {
    return std::any_of(shown.begin(), shown.end(),
                       [&name](const CurveEditRecord& r) { return r.name == name; });
}

CurveEditRecord NewVariableRecord(const CResultData& data, std::int32_t index, Rgb colour) {
    CurveEditRecord r;
    r.kind = kEditVariable;
    r.source = index;
    r.carried = kCurveColumn;
    r.name = data.Variable(index)->Name();
    r.label = r.name;
    r.colour = colour;
    return r;
}

CurveEditRecord NewFormulaRecord(const std::string& text, Rgb colour) {
    CurveEditRecord r;
    r.kind = kEditFormula;
    r.source = -1;
    r.carried = kCurveFormula;
    r.name = text;
    r.label = text;
    r.colour = colour;
    return r;
}

std::int32_t AddVariables(std::vector<CurveEditRecord>& shown, const CResultData& data,
                          const std::vector<std::int32_t>& indices) {
    std::int32_t added = 0;
    for (const std::int32_t index : indices) {
        if (index < 0 || index >= data.VariableCount()) continue;
        if (IsShown(shown, data.Variable(index)->Name())) continue;
        shown.push_back(NewVariableRecord(data, index, NextCurveColour(shown)));
        ++added;
    }
    return added;
}

FormulaAddResult AddFormula(std::vector<CurveEditRecord>& shown, const CResultDataRef& data,
                            const std::string& text) {
    FormulaAddResult result;
    if (IsShown(shown, text)) {
        result.outcome = FormulaAddOutcome::AlreadyShown;
        return result;
    }
    if (!CheckFormula(data, text, result.error)) {
        result.outcome = FormulaAddOutcome::Rejected;
        return result;
    }
    shown.push_back(NewFormulaRecord(text, NextCurveColour(shown)));
    result.outcome = FormulaAddOutcome::Added;
    return result;
}

std::optional<std::string> RemoveCurves(std::vector<CurveEditRecord>& shown,
                                        std::vector<std::int32_t> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::optional<std::string> formula;
    // Last to first: the topmost removed formula is the one left for editing.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        if (*it < 0 || static_cast<std::size_t>(*it) >= shown.size()) continue;
        const auto at = shown.begin() + *it;
        if (at->kind == kEditFormula) formula = at->name;
        shown.erase(at);
    }
    return formula;
}

std::size_t FormulaErrorOffset(const std::string& text, std::int32_t position) {
    std::size_t lead = 0;
    while (lead < text.size() && IsBlank(text[lead])) ++lead;
    const std::size_t at = lead + static_cast<std::size_t>(std::max<std::int32_t>(position, 0));
    return std::min(at, text.size());
}

std::string AppendToFormula(const std::string& formula, const std::string& piece) {
    std::string out;
    out.reserve(formula.size() + piece.size());
    for (const char c : formula)
        if (!IsBlank(c)) out.push_back(c);
    out += piece;
    return out;
}

bool AddOnLeave(std::size_t shownCount, std::size_t availableCount) {
    return shownCount == 0 && availableCount > 0;
}

std::int32_t ThicknessChoiceOf(const CurveEditRecord& record) {
    if (!record.connect) return 0;
    return std::clamp<std::int32_t>(record.thickness, 1,
                                    static_cast<std::int32_t>(kThicknessChoices.size()) - 1);
}

void StoreCurveChoices(CurveEditRecord& record, const std::string& label, Rgb colour,
                       std::int32_t thicknessChoice, std::int32_t markerChoice) {
    record.label = label;
    record.colour = colour;
    record.thickness = thicknessChoice;
    record.connect = thicknessChoice != 0 ? 1 : 0;
    record.marker = markerChoice;
}

}  // namespace kurvex
