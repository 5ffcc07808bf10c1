#pragma once

#include <vector>

#include "graph/canvas/Canvas.h"

namespace kurvex {

// Passes drawing on to another canvas, with every line cut into dashes of
// `on` units and gaps of `off` units. The pattern runs on from one line to
// the next, so that a curve of many short segments is dashed along its
// length rather than drawn solid piece by piece. Markers and text pass
// unchanged; the dashes go out as solid lines in batches.
class DashedCanvas : public Canvas {
public:
    DashedCanvas(Canvas& inner, int on, int off);
    ~DashedCanvas() override;

    void FillRect(const Rect& r, Colour c) override { inner_.FillRect(r, c); }
    void SetTextColour(Colour c) override { inner_.SetTextColour(c); }
    void SetBackgroundColour(Colour c) override { inner_.SetBackgroundColour(c); }
    void SetTransparentText(bool t) override { inner_.SetTransparentText(t); }
    void SelectFont(const CanvasFont& f) override { inner_.SelectFont(f); }
    void TextOut(int x, int y, const std::string& t) override { inner_.TextOut(x, y, t); }
    Size TextExtent(const std::string& t) override { return inner_.TextExtent(t); }
    int DrawWrappedText(const Rect& r, const std::string& t, bool measureOnly) override {
        return inner_.DrawWrappedText(r, t, measureOnly);
    }
    void SetPen(PenStyle style, int width, Colour c) override;
    void SetBrush(Colour c) override { inner_.SetBrush(c); }
    void MoveTo(int x, int y) override { at_ = {x, y}; }
    void LineTo(int x, int y) override;
    void Segments(const std::vector<Point>& ends) override;
    void Polyline(const std::vector<Point>& points) override;
    void Polygon(const std::vector<Point>& points) override;
    void Ellipse(const Rect& r) override;
    void SetClip(const Rect* r) override { inner_.SetClip(r); }
    void SetInchMapping(bool on) override { inner_.SetInchMapping(on); }
    bool IsPrinter() const override { return inner_.IsPrinter(); }

private:
    // Adds the dashes of the line a-b to the batch.
    void Dash(Point a, Point b);
    void Flush();

    Canvas& inner_;
    double on_, period_;
    double phase_ = 0.0;  // how far into the pattern the next line begins
    Point at_;
    std::vector<Point> dashes_;
};

}  // namespace kurvex
