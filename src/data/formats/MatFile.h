#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "data/formats/ReadOptions.h"
#include "data/model/ResultData.h"
#include "data/platform/UserMessages.h"

namespace kurvex {

// MATLAB's MAT files, read and written through matio. Levels 5 and 7 are
// told by their header's version and endian mark, level 7.3 by its header
// text or the HDF5 signature after its 512-byte header; level 4 files have no
// mark and are told by the ".mat" extension.

// True when `head`, the first bytes of the file at `path` (at least 128 when
// the file has them), says it is a MAT file.
bool LooksLikeMatFile(std::string_view head, const std::string& path);

// Reads the numeric vectors (and matrix columns, and Simulink's "Structure
// With Time" logs) of a MAT file into `data`. What it skips is said in
// `notes` when given. Refusals are reported; false then. Level 7.3 files are
// read in a child process, which a damaged file may crash or hang: one that
// gives no answer for `hangSeconds` is refused as damaged.
bool ReadMatFile(const std::string& path, CResultDataRef& data, UserMessages& messages,
                 const BinaryReadOptions& options = {}, std::vector<std::string>* notes = nullptr,
                 int hangSeconds = 30);

// Writes `data` as a compressed level-5 MAT file: one column vector per
// variable under a valid MATLAB name, and the cell array "kurvex_names" of
// N x 2 texts (MATLAB name, original name), by which the reader restores the
// names even after MATLAB has saved the variables again in another order.
// Points that are not valid are written as NaN. An older file at `path`
// stays whole when writing fails.
bool WriteMatFile(const CResultData& data, const std::string& path, UserMessages& messages);

}  // namespace kurvex
