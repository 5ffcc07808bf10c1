#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "graph/AnnotationTemplates.h"
#include "graph/Annotations.h"

namespace kurvex {

// What one annotation step asks of a screen's picture.
struct AnnotationRepaint {
    Rect area;                    // window pixels to repaint; empty for none
    bool redraw = false;          // the model changed: draw the screen again first
    bool selectionAfter = false;  // then repaint the selection's new area too (inflated by 4)
    bool backToEscape = false;    // the mouse mode returns to 0

    bool operator==(const AnnotationRepaint&) const = default;
};

// What a left press on a screen started.
enum class AnnotationDrag { None, LineEnd, MoveSelection, RubberBand, NewLine };

// One drag of the annotation tools on a screen, from press to release: the
// selection mode's end drag, move and rubber band, and the line mode's new
// line. Until the release only copies (flagged kAnnotationDragging) follow the
// pointer; the screen draws them over its picture. A cancelled drag leaves the
// model as it was.
class AnnotationInput {
public:
    // Mode 0 press at p: the one selected line's end under p is dragged, else
    // a hit on any selected annotation moves the selection, else a rubber band
    // starts. None outside the plot.
    AnnotationDrag PressSelect(CGraphCurve& model, Point p);
    // Mode 7 press at p: a copy of `line` with both ends there; its first end
    // (where the arrowhead goes) follows the pointer. None outside the plot or
    // when the screen cannot map.
    AnnotationDrag PressLine(CGraphCurve& model, const CGraphLine& line, Point p);
    // Follows the pointer; the area whose feedback changed.
    AnnotationRepaint Move(const CGraphCurve& model, Point p);
    // Ends the drag at p and applies it to `model`. A band smaller than 4
    // pixels both ways is a click: the topmost annotation under the press
    // becomes the selection, or none. A new line that stayed on one pixel is
    // dropped and the line mode stays.
    AnnotationRepaint Release(CGraphCurve& model, Point p);
    // Drops the drag and its feedback.
    AnnotationRepaint Cancel();

    bool Active() const { return kind_ != AnnotationDrag::None; }
    AnnotationDrag Kind() const { return kind_; }
    // The copies to draw over the picture while dragging.
    const std::vector<std::unique_ptr<CGraphAnnotation>>& Feedback() const { return feedback_; }
    // The rubber band from the press to the pointer, normalised.
    Rect Band() const;

private:
    Rect FeedbackArea(const CGraphCurve& model) const;
    void Reset();

    AnnotationDrag kind_ = AnnotationDrag::None;
    Point press_;
    Point pointer_;
    std::vector<std::unique_ptr<CGraphAnnotation>> feedback_;
    CGraphLine* original_ = nullptr;  // the line whose end is dragged
    AnnotationHit end_ = kHitNone;
    Rect startArea_;  // the dragged annotations as last drawn, inflated
    Rect lastArea_;   // the feedback as last reported
    double movedX_ = 0.0, movedY_ = 0.0;
};

// Mode 6 press at p: a copy of the text template anchored there becomes the
// only selection, and the mode returns to 0. Nothing outside the plot.
AnnotationRepaint PlaceTextAt(CGraphCurve& model, const CGraphText& text, Point p);
// The selected text under a double click at p on a screen of graph kind 0, or null.
CGraphText* SelectedTextAt(CGraphCurve& model, Point p);
// The Text dialog's OK on an existing text: it takes the edited fields.
AnnotationRepaint ApplyTextEdit(CGraphText& target, const CGraphText& edited);
// The Delete key: in mode 0 on a screen of graph kind 0, the selection goes.
AnnotationRepaint DeleteSelection(CGraphCurve& model, std::int32_t mouseMode);
// A line command (solid, dotted, arrow): the line template and the program's
// line tool take the command's style and arrow, and the mouse mode becomes 7.
// False for any other command, or when the mode change is refused.
bool StartLineTool(AnnotationTemplates& templates, int command);

}  // namespace kurvex
