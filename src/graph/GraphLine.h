#pragma once

#include <cstdint>
#include <memory>

#include "graph/GraphAnnotation.h"

namespace kurvex {

// Pen styles a line record stores.
enum LinePenStyle : std::int32_t {
    kLinePenSolid = 0,
    kLinePenDotted = 2,
};

// The pen of a line as its record stores it.
struct LinePen {
    std::int32_t style = kLinePenSolid;
    std::int32_t widthX = 1;
    std::int32_t widthY = 1;
    Rgb colour = kRgbBlack;

    bool operator==(const LinePen&) const = default;
};

// A solid or dotted line between two data points, with an optional arrowhead
// at the first point.
class CGraphLine : public CGraphAnnotation {
public:
    // The widest pen a record may ask for, in pixels.
    static constexpr std::int32_t kMaxPenWidth = 255;
    // Half-width of the arrowhead per pixel of line length: tan 30° / 6.
    static constexpr double kArrowHalfWidth = 0.09622504486493763;
    // Bytes of a line record.
    static constexpr std::size_t kRecordBytes = 4 * 8 + 16 + 4;

    // Which kind of annotation this is.
    AnnotationType Type() const override { return kAnnotationLine; }

    // Ends in data coordinates (the axes' own scale).
    double X1() const { return x1_; }
    double Y1() const { return y1_; }
    double X2() const { return x2_; }
    double Y2() const { return y2_; }
    void SetFirst(double x, double y) {
        x1_ = x;
        y1_ = y;
    }
    void SetSecond(double x, double y) {
        x2_ = x;
        y2_ = y;
    }
    // Sets end 1 or 2 (an AnnotationHit end) to a data point.
    void SetEnd(AnnotationHit end, double x, double y);
    // The pen the line is drawn with.
    const LinePen& Pen() const { return pen_; }
    void SetPen(const LinePen& pen) { pen_ = pen; }
    // 1 when an arrowhead is drawn at the first point.
    std::int32_t Arrow() const { return arrow_; }
    void SetArrow(std::int32_t on) { arrow_ = on ? 1 : 0; }
    // The ends in window pixels from the last draw on the window.
    Point PixelFirst() const { return p1_; }
    Point PixelSecond() const { return p2_; }

    // Draws the segment and its arrowhead; nothing when the ends share a pixel.
    void Draw(Canvas& canvas, const AnnotationPaint& paint) override;
    // Handles at both ends.
    void DrawSelection(Canvas& canvas) const override;
    // An end within 4 pixels, or the body within 2 pixels of p.
    AnnotationHit HitTest(Point p) const override;
    // True when r meets the body as last drawn.
    bool Intersects(const Rect& r) const override;
    // An independent copy.
    std::unique_ptr<CGraphAnnotation> Clone() const override;
    // Lines are re-shaped by their ends.
    bool SupportsEndDrag() const override { return true; }
    // Shifts both ends.
    void Offset(double dx, double dy) override;
    // Doubles x1, y1, x2, y2; pen style, widths, colour; arrow flag.
    void WriteRecord(CIOBuffer& out) const override;
    // Refuses a short record, non-finite ends or an impossible pen width.
    bool ReadRecord(CIOBuffer& in) override;

    // The two barb points of an arrowhead at p1 on the segment p1-p2.
    static void ArrowBarbs(Point p1, Point p2, Point& left, Point& right);

private:
    bool BodyMeets(const Rect& box) const;

    double x1_ = 0.0, y1_ = 0.0;
    double x2_ = 0.0, y2_ = 0.0;
    LinePen pen_;
    std::int32_t arrow_ = 0;
    Point p1_, p2_;
};

}  // namespace kurvex
