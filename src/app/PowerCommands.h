#pragma once

#include <functional>
#include <utility>
#include <vector>

namespace kurvex {

class COhmixGraphView;

// The power-measurement commands a graph view carries out, by id: the
// Cycles, Edges and Harmonics windows, the cycle average and the FFT windows.
std::vector<std::pair<int, std::function<void(COhmixGraphView&)>>> PowerCommandHandlers();

}  // namespace kurvex
