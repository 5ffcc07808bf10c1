#include <cstring>

#include "data/model/MinMax.h"
#include "graph/render/CurveDrawing.h"

namespace kurvex {
namespace {

enum class Block { Taken, Leaves, Bad };

// Swallows into the open run the samples from i on that stay in its column,
// a block at a time: the same result as the walk, at the cost of a min/max
// pass. Returns the first sample not taken.
std::int32_t Absorb(CurveStroke& s, std::int32_t i, bool sortedX) {
    constexpr std::int32_t kBlock = 64, kShortBlock = 8;
    const PlotRect& p = s.plot;
    const double kx = s.map.Kx(), ky = s.map.Ky(), xFrom = s.map.XFrom(), yFrom = s.map.YFrom();
    const double rLimit = static_cast<double>(p.Height()) + 1.0;
    const double c0 = s.runX - p.left, c1 = c0 + 1.0;
    const std::int32_t end = s.last + 1;
    // Pixel rows and columns grow with the data values, so a block's
    // smallest and largest values decide for every sample in it.
    std::int32_t j = i;
    double lastR = 0.0;
    auto takeBlock = [&](std::int32_t size) {
        double yMin, yMax, xMin = 0, xMax = 0;
        if (!MinMax(s.yValues + j, size, yMin, yMax)) return Block::Bad;
        // Eight flags at a time: every one must be 1 (valid).
        std::uint64_t bad = 0;
        for (std::int32_t k = j; k < j + size; k += 8) {
            std::uint64_t fx, fy;
            std::memcpy(&fx, s.xFlags + k, 8);
            std::memcpy(&fy, s.yFlags + k, 8);
            bad |= (fx ^ 0x0101010101010101ull) | (fy ^ 0x0101010101010101ull);
        }
        // In a sorted column the block stays in the pixel column when its
        // last sample does; otherwise its X extent must.
        if (sortedX) {
            xMin = s.xValues[j];
            xMax = s.xValues[j + size - 1];
        } else if (!MinMax(s.xValues + j, size, xMin, xMax)) {
            return Block::Bad;
        }
        const double rMin = (yMin - yFrom) * ky, rMax = (yMax - yFrom) * ky;
        if (bad || !(rMin >= 1.0 && rMax < rLimit)) return Block::Bad;
        if (!((xMin - xFrom) * kx >= c0 && (xMax - xFrom) * kx < c1)) return Block::Leaves;
        s.runMin = std::min(s.runMin, p.bottom - ToPixelInt(rMax));
        s.runMax = std::max(s.runMax, p.bottom - ToPixelInt(rMin));
        lastR = (s.yValues[j + size - 1] - yFrom) * ky;
        j += size;
        return Block::Taken;
    };
    // Long blocks while the column lasts, then short ones for its tail.
    Block b = Block::Taken;
    while (b == Block::Taken && end - j >= kBlock) b = takeBlock(kBlock);
    // A block that only ran past the column leaves a tail for short blocks.
    if (b != Block::Bad) b = Block::Taken;
    while (b == Block::Taken && end - j >= kShortBlock) b = takeBlock(kShortBlock);
    if (j > i) s.prev = {s.runX, p.bottom - ToPixelInt(lastR)};
    return j;
}

}  // namespace

void DrawAbsorbingRuns(CurveStroke& s, bool sortedX) {
    bool tryFast = true;
    for (std::int32_t i = s.first; i <= s.last; ++i) {
        if (s.inRun && tryFast) {
            i = Absorb(s, i, sortedX);
            // What is left of the column is shorter than a block: walk it.
            tryFast = false;
            if (i > s.last) break;
        }
        const bool wasInRun = s.inRun;
        s.Step(i);
        // A run begun here may swallow blocks from the next sample on.
        if (s.inRun && !wasInRun) tryFast = true;
    }
    s.FlushRun();
    s.path.Flush();
}

}  // namespace kurvex
