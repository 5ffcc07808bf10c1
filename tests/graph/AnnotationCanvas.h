#pragma once

#include <string>
#include <vector>

#include "graph/GraphAnnotation.h"
#include "graph/RecordingCanvas.h"
#include "graph/TurnedTextCanvas.h"

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

}  // namespace kurvex::test
