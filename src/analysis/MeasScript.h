#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/model/ResultData.h"

namespace kurvex {

// One line of a measurement script as its source gave it: `line` is the line
// number in that source (from 1), so errors point into the file the user wrote.
struct MeasSourceLine {
    int line = 0;
    std::string text;
};

// Where a script is wrong: line and column (both from 1) and what is wrong.
struct MeasSyntaxError {
    int line = 0;
    int column = 0;
    std::string message;
};

// The kinds of statement a script holds.
enum class MeasKind {
    Avg,
    Rms,
    Min,
    Max,
    Pp,
    Integ,
    FindAt,
    FindWhen,
    When,
    TrigTarg,
    DerivAt,
    DerivWhen,
    Param
};

// Which crossing of a level counts: the n-th rise, fall or either (n from 1;
// 0 for LAST), after the delay `td`.
struct MeasCrossing {
    enum class Edge { Rise, Fall, Cross } edge = Edge::Cross;
    int count = 1;  // 0: the last one
    double td = 0;
};

// One end of a window or the point a FIND/DERIV/WHEN names: a fixed x (AT=),
// or where `expr` crosses `level` (or `expr2` when given: EXPR=EXPR2).
struct MeasPoint {
    std::optional<double> at;
    std::string expr;
    std::string expr2;  // empty unless two curves are compared
    double level = 0;
    MeasCrossing crossing;
};

// What the result must be for the analysis word of the statements.
enum class MeasAnalysis { Any, Tran, Ac, Dc };

// A parsed statement. Unused fields stay empty.
struct MeasStatement {
    int line = 0;
    MeasAnalysis analysis = MeasAnalysis::Any;  // the analysis word, when given
    std::string name;                           // as written; results are keyed by it
    MeasKind kind = MeasKind::Avg;
    std::string expr;  // the measured expression (AVG ... EXPR, FIND EXPR, DERIV EXPR)
    std::optional<double> from, to;       // FROM= / TO=
    std::optional<MeasPoint> trig, targ;  // TRIG ... TARG ..., or a window of AVG etc.
    std::optional<MeasPoint> point;       // AT= / WHEN ... of FIND, DERIV and WHEN
    std::string param;                    // the PARAM expression
};

// A statement of a kind Kurvex does not measure (`.meas noise`, ERR1, ...):
// named and left out; the others still run.
struct MeasUnsupported {
    int line = 0;
    std::string name;
    std::string reason;
};

struct MeasScript {
    std::vector<MeasStatement> statements;
    std::vector<MeasUnsupported> unsupported;
};

// Parses the statements of `lines` (`.meas`/`.measure` lines, `+` continuation
// lines, comments; as a plain script file holds them, or as
// ExtractMeasLines gives them from a netlist). False with `error` on a syntax
// error; nothing is measured then.
bool ParseMeasScript(const std::vector<MeasSourceLine>& lines, MeasScript& script,
                     MeasSyntaxError& error);

// A number as SPICE writes it: 10u, 1meg, 2.5e-3, 1m (milli); letters after
// the scale are ignored. False when `text` is not one.
bool ParseSpiceNumber(std::string_view text, double& value);

// What one statement gave in one run: a value, the x where it was found (MIN,
// MAX, FIND, WHEN, DERIV), TRIG's and TARG's x; or why it failed.
struct MeasValue {
    std::optional<double> value;
    std::optional<double> at;
    std::optional<double> trig, targ;
    std::string error;  // empty when it succeeded
    bool Ok() const { return error.empty(); }
};

// Every statement of `script` over run `run` (from 0) of `data`, in order; a
// failed statement fails in this run only, and PARAM statements that use it
// fail too.
std::vector<MeasValue> EvaluateMeasScript(const MeasScript& script, const CResultDataRef& data,
                                          std::int32_t run);

}  // namespace kurvex
