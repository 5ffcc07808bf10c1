#pragma once

#include <memory>
#include <string>
#include <vector>

#include "graph/canvas/Canvas.h"
#include "graph/render/Renderer.h"

namespace kurvex::test {

// A canvas that keeps what was drawn, for tests to look at. Text is measured
// as if every character were 7 by 15 pixels.
class RecordingCanvas : public Canvas {
public:
    struct Line {
        Point from, to;
        PenStyle style;
        int width;
        Colour colour;
    };
    struct Text {
        Point at;
        std::string text;
        Colour colour;
    };
    struct Shape {
        enum Kind { Ellipse, Polygon } kind;
        std::vector<Point> points;  // the box corners for an ellipse
        Colour brush;
    };
    struct Fill {
        Rect rect;
        Colour colour;
    };

    std::vector<Line> lines;
    std::vector<Text> texts;
    std::vector<Shape> shapes;
    std::vector<Fill> fills;
    bool printer = false;

    void FillRect(const Rect& r, Colour c) override { fills.push_back({r, c}); }
    void SetTextColour(Colour c) override { text_ = c; }
    void SetBackgroundColour(Colour) override {}
    void SetTransparentText(bool) override {}
    void SelectFont(const CanvasFont&) override {}
    void TextOut(int x, int y, const std::string& text) override {
        texts.push_back({{x, y}, text, text_});
    }
    Size TextExtent(const std::string& text) override {
        return {7 * static_cast<int>(text.size()), 15};
    }
    int DrawWrappedText(const Rect& r, const std::string& text, bool measureOnly) override {
        if (!measureOnly) texts.push_back({{r.left, r.top}, text, text_});
        return 15;
    }
    void SetPen(PenStyle style, int width, Colour c) override {
        style_ = style;
        width_ = width;
        pen_ = c;
    }
    void SetBrush(Colour c) override { brush_ = c; }
    void MoveTo(int x, int y) override { at_ = {x, y}; }
    void LineTo(int x, int y) override {
        lines.push_back({at_, {x, y}, style_, width_, pen_});
        at_ = {x, y};
    }
    void Polyline(const std::vector<Point>& points) override {
        for (size_t i = 1; i < points.size(); ++i)
            lines.push_back({points[i - 1], points[i], style_, width_, pen_});
    }
    void Polygon(const std::vector<Point>& points) override {
        shapes.push_back({Shape::Polygon, points, brush_});
    }
    void Ellipse(const Rect& r) override {
        shapes.push_back({Shape::Ellipse, {{r.left, r.top}, {r.right, r.bottom}}, brush_});
    }
    void SetClip(const Rect*) override {}
    void SetInchMapping(bool) override {}
    bool IsPrinter() const override { return printer; }
    std::unique_ptr<Canvas> MakeOffscreen(Size size) override {
        if (size.cx <= 0 || size.cy <= 0) return nullptr;
        return std::make_unique<RecordingCanvas>();
    }
    // Takes over what was drawn off screen, as if copied onto this canvas.
    void Blit(Canvas& offscreen, int, int) override {
        auto& o = static_cast<RecordingCanvas&>(offscreen);
        lines.insert(lines.end(), o.lines.begin(), o.lines.end());
        texts.insert(texts.end(), o.texts.begin(), o.texts.end());
        shapes.insert(shapes.end(), o.shapes.begin(), o.shapes.end());
        fills.insert(fills.end(), o.fills.begin(), o.fills.end());
        ++blits;
    }
    int blits = 0;

    // Lines drawn with a solid pen of colour c (the curves, not grid or frame
    // when those have other colours).
    std::vector<Line> LinesOf(Colour c) const {
        std::vector<Line> out;
        for (const Line& l : lines)
            if (l.colour == c && l.style == PenStyle::Solid) out.push_back(l);
        return out;
    }

private:
    Colour text_ = 0, pen_ = 0, brush_ = 0;
    PenStyle style_ = PenStyle::Solid;
    int width_ = 1;
    Point at_;
};

// Range flags that store the ends and the step as given.
inline constexpr RangeFlags kKeepRange{.setIncrement = true, .autoIncrement = false};

// Draws `model` afresh into a target of width × height pixels at (0, 0).
inline PlotRect DrawInto(CGraphCurve& model, RecordingCanvas& canvas, int width = 600,
                         int height = 400) {
    DrawOptions o;
    o.target = {0, 0, width, height};
    DrawMemory memory;
    return DrawScreen(model, canvas, o, memory);
}

}  // namespace kurvex::test
