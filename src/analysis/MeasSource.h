#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/MeasScript.h"

namespace kurvex {

// What a script file is: the script itself, a SPICE netlist or an LTspice
// schematic (.asc), whose directives hold the statements.
enum class MeasSourceKind { Script, Netlist, Schematic };

// Larger files are no script: refused before they are read.
constexpr std::uint64_t kMeasSourceMaxBytes = 4u << 20;

// The kind of `path`: by its extension, else by what its text `head` begins with.
MeasSourceKind MeasSourceKindOf(std::string_view path, std::string_view head);

// The `.meas`/`.measure` lines of a netlist with their `+` continuation lines,
// and the `meas`/`measure` commands of its .control block (given a dot, so
// they read like the others); the numbers are the netlist's lines.
std::vector<MeasSourceLine> ExtractMeasLines(std::string_view text);

// The measurement directives of an LTspice schematic, each numbered by the
// TEXT line that holds it.
std::vector<MeasSourceLine> ExtractSchematicMeasLines(std::string_view text);

// Every line of `text` of the given kind that a script parser wants.
std::vector<MeasSourceLine> MeasLinesOf(std::string_view text, MeasSourceKind kind);

// Reads the script lines of the file `path` (of the kind its name or text
// says). False with `error` for a file that cannot be read, is larger than
// kMeasSourceMaxBytes or holds no text.
bool ReadMeasSource(const std::string& path, std::vector<MeasSourceLine>& lines,
                    std::string& error);

}  // namespace kurvex
