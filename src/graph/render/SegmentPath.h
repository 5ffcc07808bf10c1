#pragma once

#include <vector>

#include "graph/canvas/Canvas.h"

namespace kurvex {

// A pen on a canvas that keeps the segments it draws and hands them over in
// batches: one call draws thousands of them.
class SegmentPath {
public:
    explicit SegmentPath(Canvas& canvas) : canvas_(canvas) { ends_.reserve(2 * kBatch); }
    ~SegmentPath() { Flush(); }
    SegmentPath(const SegmentPath&) = delete;
    SegmentPath& operator=(const SegmentPath&) = delete;
    void Move(Point p) { at_ = p; }
    void Line(Point p) {
        ends_.push_back(at_);
        ends_.push_back(p);
        at_ = p;
        if (ends_.size() >= 2 * kBatch) Flush();
    }
    void Flush() {
        if (!ends_.empty()) canvas_.Segments(ends_);
        ends_.clear();
    }

private:
    static constexpr size_t kBatch = 4096;
    Canvas& canvas_;
    std::vector<Point> ends_;
    Point at_;
};

}  // namespace kurvex
