#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "data/model/ResultData.h"
#include "formula/Formula.h"
#include "graph/CurveEntry.h"
#include "graph/GraphCurve.h"
#include "graph/GraphFont.h"
#include "graph/canvas/GraphTypes.h"

namespace kurvex {

// What a working curve shows.
enum CurveEditKind : std::int32_t {
    kEditVariable = 0,  // a variable of the data set
    kEditFormula = 1,   // a formula over the variables
};

// The working copy of one curve while the curve dialogs are open.
struct CurveEditRecord {
    std::int32_t kind = kEditVariable;
    std::int32_t source = 0;   // the variable index; -1 for a formula
    std::int32_t carried = 0;  // the curve's source kind, handed back unchanged
    std::string name;          // the variable's name or the formula text
    std::string label;
    Rgb colour = kRgbBlack;
    std::int32_t connect = 1;
    std::int32_t thickness = 1;
    std::int32_t marker = kMarkerNone;
    std::int32_t origin = -1;  // the screen curve this copies, -1 for a new one

    bool operator==(const CurveEditRecord&) const = default;
};

// The display values every screen of a view shares.
struct SharedDisplay {
    Rgb background = kRgbWhite;
    Rgb foreground = kRgbBlack;
    Rgb grid = kRgbGrey;
    std::int32_t gridShown = 1;
    std::int32_t hideAxisText = 0;
    GraphFont font;

    bool operator==(const SharedDisplay&) const = default;
};

// The screen's curves as working records, in the screen's order.
std::vector<CurveEditRecord> CurveEditRecordsOf(const CGraphCurve& screen);
// The screen's shared display values.
SharedDisplay SharedDisplayOf(const CGraphCurve& screen);

// Replaces the screen's curves by `records`: a record still naming the curve
// it was copied from keeps that curve's data and spectrum, new ones are bound
// to the data set (formulas built); a record that cannot be bound is left out.
// The Y data extent is recomputed; the ranges are the caller's. True when
// invalid points were met.
bool ApplyCurveEdits(CGraphCurve& screen, const std::vector<CurveEditRecord>& records);
// Gives the screen the shared display values; `measure` (may be null)
// measures the new font for the layout.
void ApplySharedDisplay(CGraphCurve& screen, const SharedDisplay& display,
                        const TextMeasure* measure);

// The axis font after the font chooser: face, pixel height, weight and
// italic as chosen (the face cut to what the record holds, on a character
// boundary); the other fields, and the sign of the height (character or cell
// height), stay those of `previous`.
GraphFont ChosenFont(const GraphFont& previous, const std::string& face, std::int32_t pixelHeight,
                     std::int32_t weight, bool italic);

// The colour of the next curve added to `shown`: NextCurveColour of ViewLayout.h
// over the records' colours.
Rgb NextCurveColour(const std::vector<CurveEditRecord>& shown);

// The variables the user may pick, by name ignoring case (ties in data-set
// order); variable 0 is left out when it is named "Time" in any case.
std::vector<std::int32_t> AvailableVariables(const CResultData& data);

// True when a shown curve's name is exactly `name`.
bool IsShown(const std::vector<CurveEditRecord>& shown, const std::string& name);

// A new curve of variable `index`, named and labelled after it.
CurveEditRecord NewVariableRecord(const CResultData& data, std::int32_t index, Rgb colour);
// A new formula curve, named and labelled with its text.
CurveEditRecord NewFormulaRecord(const std::string& text, Rgb colour);

// Appends a curve for each of `indices` in order, skipping names already
// shown and indices that name no variable; returns how many were added.
std::int32_t AddVariables(std::vector<CurveEditRecord>& shown, const CResultData& data,
                          const std::vector<std::int32_t>& indices);

// What adding a formula did.
enum class FormulaAddOutcome { Added, AlreadyShown, Rejected };
struct FormulaAddResult {
    FormulaAddOutcome outcome = FormulaAddOutcome::Rejected;
    FormulaError error;  // why the formula engine refused it
};
// Checks `text` against the data set and appends it as a formula curve; a
// text already shown is skipped silently.
FormulaAddResult AddFormula(std::vector<CurveEditRecord>& shown, const CResultDataRef& data,
                            const std::string& text);

// Removes the curves at `rows`; the text of the topmost removed formula comes
// back so that the user can edit it again.
std::optional<std::string> RemoveCurves(std::vector<CurveEditRecord>& shown,
                                        std::vector<std::int32_t> rows);

// Byte offset in `text` of the character a formula error position names
// (positions count the text with its end blanks trimmed).
std::size_t FormulaErrorOffset(const std::string& text, std::int32_t position);

// The formula text with every blank removed and `piece` appended (the arrow
// button and the keyword menu build formulas so).
std::string AppendToFormula(const std::string& formula, const std::string& piece);

// One entry of the formula keyword menu.
struct FormulaKeyword {
    const char* label;
    const char* inserted;
};
inline constexpr std::array<FormulaKeyword, 17> kFormulaKeywords = {{
    {"+", "+"},
    {"-", "-"},
    {"*", "*"},
    {"/", "/"},
    {"^", "^"},
    {"SQRT", "SQRT("},
    {"SIN", "SIN("},
    {"COS", "COS("},
    {"TAN", "TAN("},
    {"ATAN", "ATAN("},
    {"EXP", "EXP("},
    {"LOG", "LOG("},
    {"LOG10", "LOG10("},
    {"ABS", "ABS("},
    {"SIGN", "SIGN("},
    {"AVG", "AVG("},
    {"INT", "INT("},
}};
// Command id of keyword menu entry i is kKeywordCommandBase + i.
inline constexpr int kKeywordCommandBase = 5400;

// True when leaving the curve selection must run Add first: nothing is shown
// yet but there is something to pick.
bool AddOnLeave(std::size_t shownCount, std::size_t availableCount);

// Entries of the "Line thickness" list: 0 "Do Not Connect", then 1 .. 6.
inline constexpr std::array<const char*, 7> kThicknessChoices = {
    "Do Not Connect", "1", "2", "3", "4", "5", "6"};
// Entries of the "Marker symbol" list, by marker number.
inline constexpr std::array<const char*, 5> kMarkerChoices = {"No Symbol", "Circle", "Rectangle",
                                                              "Triangle", "Star"};
// The "Line thickness" entry that shows a record.
std::int32_t ThicknessChoiceOf(const CurveEditRecord& record);
// Stores what the "Curves" page shows into a record.
void StoreCurveChoices(CurveEditRecord& record, const std::string& label, Rgb colour,
                       std::int32_t thicknessChoice, std::int32_t markerChoice);

}  // namespace kurvex
