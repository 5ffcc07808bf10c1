#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "data/model/ResultData.h"
#include "data/platform/IOBuffer.h"
#include "data/platform/UserMessages.h"

namespace kurvex {

// The general block-structured result file: a data set and saved display
// settings, each kept in blocks listed by a directory.
//
// Layout (little-endian):
//   0     file header, 1024 bytes: magic, version 8, words 0, 100, 2, feature
//         flags, banner, the descriptors of the user-header area and of the
//         block directory, allocation step, directory entry size, file end
//   1024  user-header area: 7, 0, 0, 0, N, P, zero-padded to 1024 bytes
//   then  the areas of the blocks and of the directory, each reserving
//         (s / step + 1) * step bytes for s bytes of content, zero-padded
// An area descriptor is six 32-bit words: offset (low), bytes in use, bytes
// allocated, offset (high), 0, 0. The directory is a 32-bit entry count and
// the entries, each kBlockEntryBytes long (see BlockEntry).
constexpr std::uint32_t kBlockContainerMagic = 0xEDF094CAu;
constexpr std::int32_t kBlockContainerVersion = 8;
constexpr std::uint32_t kBlockContainerFeatures = 0x10000001u;
constexpr std::int64_t kBlockContainerHeaderBytes = 1024;
constexpr std::uint32_t kBlockContainerStep = 256;
constexpr std::int64_t kBlockEntryBytes = 48;
// The zero bytes in front of the samples of a data block.
constexpr std::int64_t kDataBlockReserved = 124;

// Types of block.
enum BlockType : std::uint32_t {
    kBlockNames = 1,
    kBlockData = 2,
    kBlockSettings = 3,
};

// One directory entry as it lies on file.
struct BlockEntry {
    std::uint32_t type = 0;
    std::uint32_t flags = 0;  // record flags of a data block
    std::uint32_t kind = 0;   // variable kind of a data block; readers take kind 0 only
    std::int32_t index = 0;   // variable of a data block, -1 for a name table
    std::int32_t first = 0;   // first row or name covered
    std::int32_t count = 0;   // rows or names covered
    std::uint64_t offset = 0;
    std::uint64_t size = 0;       // bytes of content
    std::uint64_t allocated = 0;  // bytes of its area
};

// Writes `data` and one settings block per stream of `settings` (their bytes
// as they are) to `path` through a temporary file that replaces the target
// only when complete. A high-pass data set is written from a copy whose
// variables after X take "prefix_" (when `prefix` is given) and whose X starts
// at 0. Failures are reported through `messages` and leave an older file whole.
bool WriteBlockContainer(const CResultDataRef& data, const std::string& path, const char* prefix,
                         const std::vector<CIOBuffer>& settings, UserMessages& messages);

// Reads the container at `path` into `data` (a new plain data set) and its
// settings streams, in file order and load mode, into `settings`. On failure
// the reason is reported and both are left as they were.
bool ReadBlockContainer(const std::string& path, CResultDataRef& data,
                        std::vector<CIOBuffer>& settings, UserMessages& messages);

// As above from an open file; `name` names it in messages.
bool ReadBlockContainer(std::FILE* file, const std::string& name, CResultDataRef& data,
                        std::vector<CIOBuffer>& settings, UserMessages& messages);

}  // namespace kurvex
