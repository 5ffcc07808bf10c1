#pragma once

#include <cstdint>
#include <memory>

#include "graph/canvas/Canvas.h"
#include "graph/canvas/GraphTypes.h"

namespace kurvex {

class CGraphCurve;
class CIOBuffer;

// Types of annotation as the display record numbers them.
enum AnnotationType : std::int32_t {
    kAnnotationLine = 1,
    kAnnotationText = 2,
};

// What a hit test found under a point.
enum AnnotationHit : std::int32_t {
    kHitNone = 0,
    kHitFirstEnd = 1,
    kHitSecondEnd = 2,
    kHitBody = 10,
};

// Flag of the copy that follows the mouse: it is drawn, but never as selected.
inline constexpr std::uint32_t kAnnotationDragging = 0x1000;

// How one screen draws its annotations: where the plot is, the ranges that map
// data to pixels, and the look of this draw.
struct AnnotationPaint {
    PlotRect plot;
    AxisRange x;                 // visible X range in the axis's own scale
    AxisRange y;                 // visible Y range in the axis's own scale
    int scale = 1;               // printer dots per screen pixel; 1 on screen
    bool printing = false;       // fonts grow with the scale
    bool record = true;          // drawing on the window: keep pixels for hit tests
    bool blackWhite = false;     // black ink on white
    Rgb background = kRgbWhite;  // behind texts
};

// Pixel box of `half` pixels on each side of p (a 2·half + 1 square).
Rect BoxAround(Point p, int half);
// True when the two rectangles share a pixel; empty ones share none.
bool RectsMeet(const Rect& a, const Rect& b);
// r grown by d pixels on every side; an empty r stays empty.
Rect Inflate(const Rect& r, int d);
// Smallest rectangle covering both; an empty one adds nothing.
Rect Union(const Rect& a, const Rect& b);

// Text, line or arrow drawn over the curves of a screen, anchored in data
// coordinates. The screen owns its annotations; the kinds live beside this base.
class CGraphAnnotation {
public:
    virtual ~CGraphAnnotation() = default;
    // Which kind of annotation this is.
    virtual AnnotationType Type() const = 0;

    // The screen this belongs to (not owned); null before it is placed.
    CGraphCurve* Owner() const { return owner_; }
    void SetOwner(CGraphCurve* owner) { owner_ = owner; }
    // Bit set; kAnnotationDragging marks a copy that follows the mouse.
    std::uint32_t Flags() const { return flags_; }
    void SetFlags(std::uint32_t flags) { flags_ = flags; }
    bool Dragging() const { return (flags_ & kAnnotationDragging) != 0; }

    // Draws the annotation; with paint.record also keeps its pixels for hit tests.
    virtual void Draw(Canvas& canvas, const AnnotationPaint& paint) {}
    // Draws the marks of a selected annotation (handles, focus frame).
    virtual void DrawSelection(Canvas& canvas) const {}
    // kHitNone, an end (lines only) or kHitBody for a window pixel.
    virtual AnnotationHit HitTest(Point p) const { return kHitNone; }
    // True when the annotation as last drawn meets r.
    virtual bool Intersects(const Rect& r) const { return RectsMeet(bounds_, r); }
    // The pixels covered by the last draw on the window; empty before that.
    const Rect& BoundingRect() const { return bounds_; }
    // An independent copy with the same owner and fields; null for kinds that
    // cannot be copied.
    virtual std::unique_ptr<CGraphAnnotation> Clone() const { return nullptr; }
    // True when a single end can be dragged (lines).
    virtual bool SupportsEndDrag() const { return false; }
    // True when there is nothing to show (a text without characters).
    virtual bool IsEmpty() const { return false; }
    // Shifts the annotation by a distance in data units (the axes' own scale).
    virtual void Offset(double dx, double dy) {}

    // Appends the annotation's own record (without the type) to `out`.
    virtual void WriteRecord(CIOBuffer& out) const {}
    // Reads the record; false, leaving the fields unusable, when it is short,
    // inconsistent or holds values no drawing can use.
    virtual bool ReadRecord(CIOBuffer& in) { return false; }

protected:
    Rect bounds_;

private:
    CGraphCurve* owner_ = nullptr;
    std::uint32_t flags_ = 0;
};

}  // namespace kurvex
