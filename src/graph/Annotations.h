#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "graph/GraphAnnotation.h"
#include "graph/GraphCurve.h"
#include "graph/GraphLine.h"
#include "graph/GraphText.h"
#include "graph/PlotGeometry.h"

namespace kurvex {

// A new annotation of a record type (1 line, 2 text) with its defaults; null
// for any other type.
std::unique_ptr<CGraphAnnotation> CreateAnnotation(std::int32_t type);
// The annotation that `record` (one annotation's nested buffer) describes;
// null when the type is unknown or the record cannot be read.
std::unique_ptr<CGraphAnnotation> ReadAnnotation(std::int32_t type, CIOBuffer& record);
// Appends the count, then per annotation its type and its record as a nested buffer.
void WriteAnnotations(const std::vector<std::unique_ptr<CGraphAnnotation>>& list, CIOBuffer& out);
// Reads what WriteAnnotations wrote and appends the readable annotations to
// `model`, owned by it; unreadable ones are dropped. Returns how many came in.
std::int32_t ReadAnnotations(CIOBuffer& in, CGraphCurve& model);

// How annotations are drawn in one draw of `model` into `plot`.
AnnotationPaint PaintFor(const CGraphCurve& model, const PlotRect& plot,
                         const DrawOptions& options);
// The annotation step of drawing a screen: every annotation in list order,
// clipped to the plot; with options.recordLegend (drawing on the window) then
// the marks of the selected annotations that are not being dragged. Leaves
// the clip lifted and the canvas font changed.
void DrawAnnotations(CGraphCurve& model, Canvas& canvas, const PlotRect& plot,
                     const DrawOptions& options);

// A selected annotation under a point and what part of it was hit.
struct SelectionHit {
    CGraphAnnotation* annotation = nullptr;
    AnnotationHit hit = kHitNone;
};
// The first selected annotation hit at p, in selection order.
SelectionHit HitSelected(CGraphCurve& model, Point p);
// The topmost (last drawn) annotation hit at p, or null.
CGraphAnnotation* TopmostAt(const CGraphCurve& model, Point p);
// The annotations that meet r, in list order.
std::vector<CGraphAnnotation*> AnnotationsMeeting(const CGraphCurve& model, const Rect& r);
// What the annotations covered when last drawn, inflated by d; empty for none.
Rect AreaOf(const std::vector<CGraphAnnotation*>& list, int d);
// Shifts every selected annotation by a pointer movement in pixels, converted
// to data units with the screen's plot and ranges; false when they cannot map.
bool MoveSelectedAnnotations(CGraphCurve& model, int dxPixels, int dyPixels);
// Deletes every selected annotation; returns their area inflated by 4 pixels.
Rect DeleteSelectedAnnotations(CGraphCurve& model);

// A copy of `text` anchored at the data point of pixel p on `model`, appended
// to its list and made the only selection; null when the screen cannot map.
CGraphText* PlaceText(CGraphCurve& model, const CGraphText& text, Point p);
// A copy of `line` with both ends at the data point of pixel p, owned by
// `model` but not yet in its list (a drag sets its second end); null when the
// screen cannot map.
std::unique_ptr<CGraphLine> StartLine(CGraphCurve& model, const CGraphLine& line, Point p);
// Appends a finished line and makes it the only selection.
CGraphLine* CommitLine(CGraphCurve& model, std::unique_ptr<CGraphLine> line);

}  // namespace kurvex
