#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>

namespace kurvex {

struct TextReadOptions {
    // Rows beyond this are refused; row indices are 32-bit.
    std::int64_t maxRows = std::numeric_limits<std::int32_t>::max();
    // Called now and then with the bytes read and the total (-1 when unknown);
    // returning false cancels the read, which then fails without a message.
    std::function<bool(std::int64_t done, std::int64_t total)> progress;
    // The data part is cut into chunks of about this many bytes that are
    // parsed on all cores; 0 reads line by line on the calling thread, as do
    // files with less than two chunks of data.
    size_t parallelChunkBytes = 512 << 10;
    // Threads for the chunks; 0 takes one per core.
    int threads = 0;
    // A file whose samples would take more bytes than this is refused before
    // they are read; 0 takes the memory the system has available.
    std::uint64_t memoryLimit = 0;
};

}  // namespace kurvex
