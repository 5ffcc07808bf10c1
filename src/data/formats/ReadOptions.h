#pragma once

#include <cstdint>
#include <functional>

namespace kurvex {

// How the binary readers of other programs' files read.
struct BinaryReadOptions {
    // Called now and then with the bytes read and the total; false cancels the
    // read, which then fails without a message.
    std::function<bool(std::int64_t done, std::int64_t total)> progress;
    // A file whose samples would take more bytes than this is refused before
    // they are read; 0 takes the memory the system has available.
    std::uint64_t memoryLimit = 0;
    // Phases made from complex values continuous along X.
    bool unwrapPhase = true;
};

}  // namespace kurvex
