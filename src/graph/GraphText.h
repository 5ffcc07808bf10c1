#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "graph/GraphAnnotation.h"
#include "graph/GraphFont.h"

namespace kurvex {

// Where a text box sits around its anchor; the values the record stores.
enum TextJustification : std::int32_t {
    kJustifyCenter = 0,
    kJustifyLeft = 1,
    kJustifyRight = 2,
    kJustifyLeftBottom = 3,
};

// A text label anchored at a data point, possibly of several lines, possibly
// turned a quarter turn.
class CGraphText : public CGraphAnnotation {
public:
    CGraphText();

    // Which kind of annotation this is.
    AnnotationType Type() const override { return kAnnotationText; }

    // The font a new text starts with: "Arial", height -12, all else 0.
    static GraphFont DefaultFont();
    // The names of the justifications in list order ("Center" ...).
    static const char* JustificationName(std::int32_t justification);

    // Anchor in data coordinates (the axes' own scale).
    double X() const { return x_; }
    double Y() const { return y_; }
    void SetAnchor(double x, double y) {
        x_ = x;
        y_ = y;
    }
    // One of TextJustification.
    std::int32_t Justification() const { return justification_; }
    void SetJustification(std::int32_t j) { justification_ = j; }
    // 1 when the text is turned a quarter turn.
    std::int32_t Vertical() const { return vertical_; }
    void SetVertical(std::int32_t on) { vertical_ = on ? 1 : 0; }
    // The text as UTF-16; lines are separated by CR LF, LF or CR.
    const std::u16string& Text() const { return text_; }
    void SetText(const std::u16string& text) { text_ = text; }
    // The text as UTF-8 (unpaired surrogates become U+FFFD).
    std::string TextUtf8() const;
    // Sets the text from UTF-8 (invalid bytes become U+FFFD).
    void SetTextUtf8(const std::string& text);
    // The font and the text colour.
    const GraphFont& Font() const { return font_; }
    void SetFont(const GraphFont& font) { font_ = font; }
    Rgb Colour() const { return colour_; }
    void SetColour(Rgb c) { colour_ = c; }

    // Takes what the Text dialog edits from `edited`: text, font, colour,
    // justification and vertical flag; anchor, owner and flags stay.
    void TakeEdit(const CGraphText& edited);

    // The font this draw uses: the height grows with the scale when printing.
    GraphFont DrawingFont(const AnnotationPaint& paint) const;
    // The box of the text measured in the canvas's current font, placed by the
    // justification around the anchor pixel.
    Rect PlaceBox(Canvas& canvas, Point anchor) const;

    // Draws the text on the background colour inside its box.
    void Draw(Canvas& canvas, const AnnotationPaint& paint) override;
    // A dotted frame around the box.
    void DrawSelection(Canvas& canvas) const override;
    // kHitBody when a 5 × 5 box around p meets the text box.
    AnnotationHit HitTest(Point p) const override;
    // An independent copy.
    std::unique_ptr<CGraphAnnotation> Clone() const override;
    // True without characters.
    bool IsEmpty() const override { return text_.empty(); }
    // Shifts the anchor.
    void Offset(double dx, double dy) override;
    // Length, UTF-16 text, anchor, justification, vertical, colour, font.
    void WriteRecord(CIOBuffer& out) const override;
    // Refuses a short or inconsistent record and a non-finite anchor.
    bool ReadRecord(CIOBuffer& in) override;

private:
    std::vector<std::string> Lines() const;

    double x_ = 0.0, y_ = 0.0;
    std::int32_t justification_ = kJustifyCenter;
    std::int32_t vertical_ = 0;
    std::u16string text_;
    GraphFont font_;
    Rgb colour_ = kRgbBlack;
};

}  // namespace kurvex
