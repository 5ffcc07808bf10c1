#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "graph/AxisScale.h"
#include "graph/GraphCurve.h"

namespace kurvex {

// What an axis dialog shows: the scale, the range ends as "%lg" texts (10
// raised to the stored ends on a log axis), the grid and, for Y, auto-scale.
struct AxisFields {
    bool log = false;
    bool autoGrid = true;
    bool autoScale = false;  // Y only
    std::string from;
    std::string to;
    std::string divisions;  // "%i"

    bool operator==(const AxisFields&) const = default;
};

// The fields of the X or the Y axis of a screen.
AxisFields AxisFieldsOf(const CGraphCurve& record, Axis axis);

// Which controls of an axis dialog take input.
struct AxisEnables {
    bool range = true;      // "From" and "To"
    bool autoGrid = true;   // "Auto-Grid"
    bool divisions = true;  // "No. of division"

    bool operator==(const AxisEnables&) const = default;
};
// The enabling for the choices shown (autoScale is false on the X axis):
// auto-scale leaves nothing to type, a log axis has no grid choice, and
// auto-grid needs no count.
AxisEnables AxisEnablesFor(bool log, bool autoGrid, bool autoScale);

// What storing an axis dialog did.
struct AxisStoreResult {
    enum Outcome {
        Unchanged,  // nothing to do: the record is as it was
        Changed,    // the record took the new settings
        Refused,    // a number cannot be used; the record is as it was
    };
    Outcome outcome = Unchanged;
    bool rewrite = false;  // the range edits must show `from` and `to`
    std::string from;
    std::string to;
    bool invalidPoints = false;  // a new log scale met points it cannot show
    int refusedField = 0;        // 0 "From", 1 "To", 2 neither (the range)
    std::string message;         // why it was refused
};

// Message for a range end too large for a number.
inline constexpr const char* kAxisNumberTooLarge = "The number is too large.";
// Message for a range the screen cannot show at its scale.
inline constexpr const char* kAxisRangeRefused =
    "This range cannot be shown: it is too small for the data.";

// Stores what the user chose in the axis dialog of `axis` into the record.
// `shown` is what the dialog showed when it opened: texts left as shown keep
// the record's exact values, and a dialog left as shown changes nothing.
// Reversed ends are exchanged, non-positive ends of a log axis keep the
// current ones, division counts are limited to 1 .. 20. A new X range fits Y
// to the data inside it (10 % margins); Y auto-scale fits Y to the data of
// the X range shown. Nothing is changed unless the whole store succeeds.
AxisStoreResult StoreAxisFields(CGraphCurve& record, Axis axis, const AxisFields& shown,
                                const AxisFields& chosen);

// What the "Set X-Axis" dialog offers.
struct XVariableChoices {
    std::vector<std::string> names;  // every variable in order; none while an FFT shows
    std::int32_t selected = 0;       // the current X variable
    bool enabled = true;
};
XVariableChoices XVariableChoicesOf(const CGraphCurve& record);

}  // namespace kurvex
