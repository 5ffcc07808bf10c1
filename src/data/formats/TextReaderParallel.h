#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/formats/TextReadOptions.h"
#include "data/model/ResultData.h"
#include "data/platform/ByteSource.h"
#include "data/platform/UserMessages.h"

namespace kurvex {

// Where the data part of a text result file begins, as the line-by-line
// reading of its header found it.
struct TextDataStart {
    std::int64_t offset = 0;         // first byte of the first data line
    long long linesBefore = 0;       // physical lines before it
    std::int32_t tokens = 0;         // tokens per data line
    std::vector<std::string> names;  // the first block's names
};

enum class ParallelRead {
    Read,      // `data` and `names` hold the file
    Failed,    // refused (and said so) or cancelled; `data` may be partly filled
    Fallback,  // nothing was said or changed: read it line by line instead
};

// The bytes the samples of a file may take, as `options` allow.
std::uint64_t MemoryLimit(const TextReadOptions& options);
// Empty when the samples of `blocks` blocks of at most `rows` rows of
// `tokens` tokens fit in `limit` bytes; else the message that refuses the
// file, naming its shape.
std::string TooLargeForMemory(std::int64_t blocks, std::int64_t rows, std::int32_t tokens,
                              std::uint64_t limit);

// Reads the data part of `source` on several threads: the bytes are cut into
// chunks at line ends, counted, then parsed straight into the columns, each
// chunk knowing its block and rows from the counts of the chunks before it.
// Gives the result of line-by-line reading in every respect, or Fallback
// where it cannot be sure to (the file changed under it, more rows than
// allowed, no memory), which the line-by-line reading then settles.
ParallelRead ReadTextDataInParallel(const ByteSource& source, const TextDataStart& start,
                                    CResultDataRef& data, std::vector<std::string>& names,
                                    UserMessages& messages, const TextReadOptions& options);

}  // namespace kurvex
