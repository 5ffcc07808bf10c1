#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/Cycles.h"
#include "analysis/FigureTable.h"
#include "formula/CycleMath.h"
#include "graph/GraphCurve.h"

namespace kurvex {

// The 0 % and 100 % levels of a curve's edges.
struct EdgeLevels {
    double low = 0.0;
    double high = 0.0;
};

// The levels of a curve: its extremes over the trace unless given; an error
// in plain words when they are equal or the wrong way round.
struct EdgeLevelsResult {
    EdgeLevels levels;
    std::string error;
    bool Ok() const { return error.empty(); }
};
EdgeLevelsResult EdgeLevelsOf(const CycleTrace& trace, const std::string& name,
                              std::optional<double> low = std::nullopt,
                              std::optional<double> high = std::nullopt);

// One edge: when it crossed its mid level, and its 10 %-90 % time. For a dead
// time, `at` is when the first curve fell and `time` the dead time.
struct Edge {
    double at = 0.0;
    double time = 0.0;
};

// The rising and falling edges of a curve, in order. An edge counts only when
// the curve goes all the way from beyond one threshold to the other, so
// chatter around a threshold makes no edge. Its times are interpolated: from
// the last time it left the first threshold to the time it reached the other.
struct EdgeList {
    std::vector<Edge> rise;
    std::vector<Edge> fall;
};
EdgeList FindEdges(const CycleTrace& trace, const EdgeLevels& levels);

// The dead times between two curves both ways: from each fall of A (its mid
// level) to the rise of B that answers it (the one nearest the fall among
// those after A's preceding rise and before A's next), negative when B rose
// first (an overlap); `ba` the same from B's falls to A's rises.
struct DeadTimes {
    std::vector<Edge> ab;
    std::vector<Edge> ba;
};
DeadTimes FindDeadTimes(const EdgeList& a, const EdgeList& b);

// The mean of the edges' times; NaN without edges.
double MeanEdgeTime(std::span<const Edge> edges);

// What the Edges table measures: levels for every curve, each its own
// extremes unless given.
struct EdgeRequest {
    std::optional<double> low;
    std::optional<double> high;
};

}  // namespace kurvex
