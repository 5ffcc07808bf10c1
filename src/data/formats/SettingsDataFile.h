#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "data/model/ResultData.h"
#include "data/platform/IOBuffer.h"
#include "data/platform/UserMessages.h"

namespace kurvex {

// The binary result file that carries the data set and, after it, the display
// settings of the view that saved it.
constexpr std::uint32_t kSettingsDataMagic = 0xEDF094C9u;
constexpr std::int32_t kSettingsDataVersion = 7;

// Flags of one variable record.
enum SettingsDataRecordFlag : std::uint32_t {
    kRecordUniformX = 0x10000,     // variable 0 stored as first, last and step
    kRecordBadPoints = 0x1000,     // the data set has missing or invalid points
    kRecordPointFlags = 0x100000,  // one flag byte per sample follows the samples
};

// A file whose only variable is an equally spaced X stores three numbers for
// any row count; more rows than this are refused rather than allocated.
constexpr std::int32_t kMaxGeneratedRows = 1 << 24;

// How reading the data part went.
enum class DataPartResult {
    Read,           // the data set is filled; the file stands at the settings block
    Empty,          // the right magic with no variables or no points: an empty data set
    NotThisFormat,  // some other file; nothing was said
    Refused,        // damaged, truncated or unreadable; the reason was shown
};

// Reads the data part of `file` into `data` (a new plain data set). Every
// count, length and offset is checked against the file's size before anything
// is allocated; `name` names the file in messages.
DataPartResult ReadSettingsDataPart(std::FILE* file, CResultDataRef& data, UserMessages& messages,
                                    const std::string& name);

// Writes the data part of `data` from the start of `file`: a high-pass data set
// is written from a copy whose variables after X take "prefix_" (when `prefix`
// is given) and whose X starts at 0. False when the data set has no variables
// or no rows, when the offsets outgrow 32 bits, or on a write error.
bool WriteSettingsDataPart(const CResultDataRef& data, std::FILE* file, const char* prefix);

// Opens `path` and reads the data part; on Read, the settings block that
// follows goes into `settings` (when given) in load mode, empty when there is
// none. A settings block that cannot be loaded is reported and left empty; the
// data stays loaded.
DataPartResult LoadSettingsDataFile(const std::string& path, CResultDataRef& data,
                                    CIOBuffer* settings, UserMessages& messages);

// Writes `data` and then `settings` (a display-settings stream) to `path`
// through a temporary file that replaces the target only when all of it was
// written. Failures, the buffer's included, are reported and leave an older
// file at `path` as it was.
bool SaveSettingsDataFile(const std::string& path, const CResultDataRef& data, const char* prefix,
                          CIOBuffer& settings, UserMessages& messages);

}  // namespace kurvex
