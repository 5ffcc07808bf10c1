#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "graph/Annotations.h"
#include "graph/GraphAnnotation.h"
#include "graph/GraphCurve.h"
#include "graph/RecordingCanvas.h"
#include "graph/canvas/TurnedTextCanvas.h"

namespace kurvex::test {

// A recording canvas that can also turn text and keeps fonts and clips.
class AnnotationCanvas : public RecordingCanvas, public TurnedTextCanvas {
public:
    struct Turned {
        Point at;
        std::string text;
    };
    std::vector<Turned> turned;
    std::vector<CanvasFont> fonts;
    std::vector<Rect> clips;  // an empty rectangle stands for a lifted clip

    void TextOutTurned(int x, int y, const std::string& text) override {
        turned.push_back({{x, y}, text});
    }
    void SelectFont(const CanvasFont& font) override { fonts.push_back(font); }
    void SetClip(const Rect* r) override { clips.push_back(r ? *r : Rect{}); }
};

// A 1000 × 1000 plot at the origin over data 0 .. 1000 on both axes: a data
// point (x, y) lands on pixel (x, 1000 - y).
inline AnnotationPaint UnitPaint() {
    AnnotationPaint paint;
    paint.plot = {0, 0, 1000, 1000};
    paint.x = {0.0, 1000.0, 100.0};
    paint.y = {0.0, 1000.0, 100.0};
    return paint;
}

// A line's ends in data: x1, y1, x2, y2.
using LineEnds = std::array<double, 4>;
inline LineEnds Ends(const CGraphLine& line) {
    return {line.X1(), line.Y1(), line.X2(), line.Y2()};
}

// A screen whose plot is 1000 × 1000 pixels at the origin over data 0 .. 1000:
// data (x, y) is pixel (x, 1000 - y).
struct UnitScreen {
    UnitScreen() {
        model.SetPlot({0, 0, 1000, 1000});
        model.StoreX({0, 1000}, {0.0, 1000.0, 100.0});
        model.StoreY({0, 1000}, {0.0, 1000.0, 100.0});
    }
    CGraphLine* Line(Point a, Point b) {
        auto line = std::make_unique<CGraphLine>();
        line->SetFirst(a.x, 1000 - a.y);
        line->SetSecond(b.x, 1000 - b.y);
        return static_cast<CGraphLine*>(model.AddAnnotation(std::move(line)));
    }
    CGraphText* Text(Point at, const std::string& s) {
        auto text = std::make_unique<CGraphText>();
        text->SetAnchor(at.x, 1000 - at.y);
        text->SetTextUtf8(s);
        return static_cast<CGraphText*>(model.AddAnnotation(std::move(text)));
    }
    // Drawn once, the annotations know their pixels for hit tests.
    void Draw(AnnotationCanvas& canvas, DrawOptions o = {}) {
        DrawAnnotations(model, canvas, model.Plot(), o);
    }
    void Draw() {
        AnnotationCanvas canvas;
        Draw(canvas);
    }
    std::vector<CGraphAnnotation*>& Selected() { return model.AnnotationSelection(); }
    CGraphCurve model;
};

}  // namespace kurvex::test
