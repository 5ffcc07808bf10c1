#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "data/model/ResultData.h"

namespace kurvex {

// Export modes of a whole data set.
enum ExportMode : int {
    kExportFixedWidth = 0,
    kExportTab = 1,
    kExportComma = 2,
};

// The name a column is written under: "Graph(%i)" for a variable without a
// name, blanks, tabs and line ends turned into "_" so the reader reads it as
// one token. Other bytes are written as they are.
std::string ColumnName(const CResultVariable* v, size_t index);

// Appends one sample as the delimited forms write it: the shortest exact number, the
// reader's markers for a valid sample that is not finite, "MISSING" or "NAN".
void AppendDelimitedSample(std::string& out, double value, std::uint8_t flag);

// Fixed-width text that the text reader reads back: 18-character columns,
// ten significant digits. Rows 0 .. count-1 of every variable. False when the
// stream reports a write error.
bool WriteFixedWidth(std::FILE* file, const std::vector<const CResultVariable*>& vars,
                     std::int32_t count, bool orderColumn, int firstOrder);
// Delimited text: samples between `separator`s, `lineEnd` after each line; each
// valid sample as the shortest "%.{p}g" that reads back exactly. Valid samples
// that are not finite are written as the reader's markers in both forms.
bool WriteDelimited(std::FILE* file, const std::vector<const CResultVariable*>& vars,
                    std::int32_t count, const char* separator, const char* lineEnd,
                    bool orderColumn, int firstOrder);
// Every variable and row of a data set, in the mode given (no order column).
bool ExportDataSet(const CResultDataRef& data, std::FILE* file, const char* prefix, int mode);

}  // namespace kurvex
