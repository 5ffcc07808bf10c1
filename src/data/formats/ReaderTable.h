#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/formats/LoadOptions.h"
#include "data/model/ResultData.h"
#include "data/platform/IOBuffer.h"
#include "data/platform/UserMessages.h"

namespace kurvex {

// The groups of the Open dialog's filters, in the dialog's order; `None`
// lists an extension in no group.
enum class OpenGroup {
    KurvexFiles,
    CommaSeparated,
    SpiceRaw,
    Matlab,
    Comtrade,
    Oscilloscope,
    None
};

// The name the Open dialog shows for `group` ("Kurvex Files").
const char* OpenGroupName(OpenGroup group);

// An extension a reader reads, without its dot, and the Open group listing it.
struct ReaderExtension {
    const char* extension;
    OpenGroup group;
};

// Large results of these kinds are converted into the column cache before
// their reader is asked.
enum class CacheKind { None, Raw, Text };

// One reader of a result file.
struct ReaderRow {
    const char* name;
    // Whether the file at `path`, whose first bytes are `head`, is this reader's.
    bool (*looksLike)(std::string_view head, const std::string& path);
    // Reads the file into `data` (and the display settings it carries into
    // `settings` when given); refusals are reported, false then.
    bool (*read)(const std::string& path, CResultDataRef& data, CIOBuffer* settings,
                 UserMessages& messages, const LoadOptions& options);
    std::vector<ReaderExtension> extensions;
    CacheKind cache = CacheKind::None;
    bool plots = false;  // its files may hold several plots to choose from
    // What the X of its files is; Unknown: as the X's name says.
    XKind x = XKind::Unknown;
};

// The first bytes LooksLike is given (fewer for a short file): a MAT header.
constexpr std::size_t kReaderHeadBytes = 128;

// Every reader in the order a file is recognised by: the first that claims a
// file reads it; the text reader, last, claims any.
const std::vector<ReaderRow>& ReaderTable();

// The first row of the table claiming the file.
const ReaderRow& ReaderFor(std::string_view head, const std::string& path);

// Reads the first kReaderHeadBytes of `path` into `head`; false, with `error`
// said for the user, when the file cannot be opened.
bool ReadHead(const std::string& path, std::string& head, std::string& error);

// Refuses plot `plot` (from 0) of a file that has only one; false.
bool NoSuchPlot(const std::string& path, std::int32_t plot, UserMessages& messages);

}  // namespace kurvex
