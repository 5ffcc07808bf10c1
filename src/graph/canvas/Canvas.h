#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "graph/canvas/GraphTypes.h"

namespace kurvex {

// Colours are 0x00BBGGRR everywhere, as files and options store them.
using Colour = Rgb;

constexpr Colour MakeColour(int r, int g, int b) {
    return static_cast<Colour>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int RedOf(Colour c) {
    return static_cast<int>(c & 0xFF);
}
constexpr int GreenOf(Colour c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int BlueOf(Colour c) {
    return static_cast<int>((c >> 16) & 0xFF);
}

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    int cx = 0;
    int cy = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

enum class PenStyle { Solid, Dot, DashDot };

// What a canvas needs to pick a font: the face (fontconfig resolves "Arial"),
// the character height in logical units, a weight of 100 to 900, italic.
struct CanvasFont {
    std::string face = "Arial";
    int height = 15;
    int weight = 400;
    bool italic = false;
    friend bool operator==(const CanvasFont&, const CanvasFont&) = default;
};

// The surface one screen is drawn on: a window, an image, an SVG picture, a
// printer, or a recorder in tests. Coordinates are logical units: pixels, or
// thousandths of an inch after SetInchMapping(true).
class Canvas {
public:
    virtual ~Canvas() = default;

    // Fills r with a solid colour, ignoring pen and brush.
    virtual void FillRect(const Rect& r, Colour c) = 0;
    // Colour of text drawn from now on.
    virtual void SetTextColour(Colour c) = 0;
    // Colour behind text when the background is opaque.
    virtual void SetBackgroundColour(Colour c) = 0;
    // Whether text is drawn without filling its cell.
    virtual void SetTransparentText(bool transparent) = 0;
    virtual void SelectFont(const CanvasFont& font) = 0;
    // Draws text with its cell's top-left corner at (x, y).
    virtual void TextOut(int x, int y, const std::string& text) = 0;
    // Width and height of text in the current font.
    virtual Size TextExtent(const std::string& text) = 0;
    // Draws text word-wrapped and centred horizontally in r; with measureOnly
    // set, only returns the height it would take.
    virtual int DrawWrappedText(const Rect& r, const std::string& text, bool measureOnly) = 0;
    virtual void SetPen(PenStyle style, int width, Colour c) = 0;
    virtual void SetBrush(Colour c) = 0;
    virtual void MoveTo(int x, int y) = 0;
    // Draws from the current position to (x, y), leaving out the end pixel.
    virtual void LineTo(int x, int y) = 0;
    // Draws separate segments: points 0-1, 2-3, ... with the current pen.
    virtual void Segments(const std::vector<Point>& ends) {
        for (size_t i = 0; i + 1 < ends.size(); i += 2) {
            MoveTo(ends[i].x, ends[i].y);
            LineTo(ends[i + 1].x, ends[i + 1].y);
        }
    }
    // Draws connected lines through the points with the current pen.
    virtual void Polyline(const std::vector<Point>& points) = 0;
    // Filled with the brush and outlined with the pen; alternate filling.
    virtual void Polygon(const std::vector<Point>& points) = 0;
    // Filled with the brush and outlined with the pen, inside the box r.
    virtual void Ellipse(const Rect& r) = 0;
    // Limits drawing to *r; null lifts the limit.
    virtual void SetClip(const Rect* r) = 0;
    // Whether 1000 logical units are one inch (printing) or one unit a pixel.
    virtual void SetInchMapping(bool on) = 0;
    // True when drawing goes to a printer (no selection marks there).
    virtual bool IsPrinter() const { return false; }
    // An off-screen canvas of the given size, drawn onto this one at (x, y)
    // by Blit; null when the canvas cannot make one.
    virtual std::unique_ptr<Canvas> MakeOffscreen(Size size) { return nullptr; }
    virtual void Blit(Canvas& offscreen, int x, int y) {}
};

}  // namespace kurvex
