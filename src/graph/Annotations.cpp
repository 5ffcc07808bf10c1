#include "graph/Annotations.h"

#include <algorithm>

#include "data/platform/IOBuffer.h"
#include "graph/GraphCurve.h"

namespace kurvex {

std::unique_ptr<CGraphAnnotation> CreateAnnotation(std::int32_t type) {
    if (type == kAnnotationLine) return std::make_unique<CGraphLine>();
    if (type == kAnnotationText) return std::make_unique<CGraphText>();
    return nullptr;
}

std::unique_ptr<CGraphAnnotation> ReadAnnotation(std::int32_t type, CIOBuffer& record) {
    std::unique_ptr<CGraphAnnotation> a = CreateAnnotation(type);
    if (!a || !a->ReadRecord(record)) return nullptr;
    return a;
}

void WriteAnnotations(const std::vector<std::unique_ptr<CGraphAnnotation>>& list, CIOBuffer& out) {
    out.WriteInt32(static_cast<std::int32_t>(list.size()));
    for (const auto& a : list) {
        CIOBuffer record;
        a->WriteRecord(record);
        out.WriteInt32(a->Type());
        out.AppendBuffer(record);
    }
}

std::int32_t ReadAnnotations(CIOBuffer& in, CGraphCurve& model) {
    const std::int32_t count = in.ReadInt32();
    std::int32_t read = 0;
    // The count is only a promise: a short stream ends the loop, so a huge
    // count costs nothing.
    for (std::int32_t i = 0; i < count && in.Remaining() >= 8; ++i) {
        const std::int32_t type = in.ReadInt32();
        CIOBuffer record = in.ReadBuffer();
        std::unique_ptr<CGraphAnnotation> a = ReadAnnotation(type, record);
        if (!a) continue;
        a->SetOwner(&model);
        model.AddAnnotation(std::move(a));
        ++read;
    }
    return read;
}

AnnotationPaint PaintFor(const CGraphCurve& model, const PlotRect& plot,
                         const DrawOptions& options) {
    AnnotationPaint paint;
    paint.plot = plot;
    paint.x = model.XRange();
    paint.y = model.YRange();
    paint.scale = options.scale;
    paint.printing = options.printing;
    paint.record = options.recordLegend;
    paint.blackWhite = model.BlackWhite();
    paint.background = model.Background();
    return paint;
}

void DrawAnnotations(CGraphCurve& model, Canvas& canvas, const PlotRect& plot,
                     const DrawOptions& options) {
    const AnnotationPaint paint = PaintFor(model, plot, options);
    canvas.SetClip(&plot);
    for (const auto& a : model.Annotations()) a->Draw(canvas, paint);
    if (options.recordLegend)
        for (const CGraphAnnotation* a : model.AnnotationSelection())
            if (!a->Dragging()) a->DrawSelection(canvas);
    canvas.SetClip(nullptr);
}

SelectionHit HitSelected(CGraphCurve& model, Point p) {
    for (CGraphAnnotation* a : model.AnnotationSelection()) {
        const AnnotationHit hit = a->HitTest(p);
        if (hit != kHitNone) return {a, hit};
    }
    return {};
}

CGraphAnnotation* TopmostAt(const CGraphCurve& model, Point p) {
    const auto& list = model.Annotations();
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if ((*it)->HitTest(p) != kHitNone) return it->get();
    return nullptr;
}

std::vector<CGraphAnnotation*> AnnotationsMeeting(const CGraphCurve& model, const Rect& r) {
    std::vector<CGraphAnnotation*> out;
    for (const auto& a : model.Annotations())
        if (a->Intersects(r)) out.push_back(a.get());
    return out;
}

Rect AreaOf(const std::vector<CGraphAnnotation*>& list, int d) {
    Rect area;
    for (const CGraphAnnotation* a : list) area = Union(area, a->BoundingRect());
    return Inflate(area, d);
}

bool MoveSelectedAnnotations(CGraphCurve& model, int dxPixels, int dyPixels) {
    const PixelMap map(model.Plot(), model.XRange(), model.YRange());
    if (!map.Valid()) return false;
    // Pixels grow downwards, data upwards.
    const double dx = map.DataX(model.Plot().left + dxPixels) - map.DataX(model.Plot().left);
    const double dy = map.DataY(model.Plot().bottom + dyPixels) - map.DataY(model.Plot().bottom);
    for (CGraphAnnotation* a : model.AnnotationSelection()) a->Offset(dx, dy);
    return true;
}

Rect DeleteSelectedAnnotations(CGraphCurve& model) {
    const std::vector<CGraphAnnotation*> gone = model.AnnotationSelection();
    const Rect area = AreaOf(gone, 4);
    for (CGraphAnnotation* a : gone) {
        const auto& list = model.Annotations();
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (list[i].get() == a) {
                model.RemoveAnnotation(i);
                break;
            }
        }
    }
    return area;
}

CGraphText* PlaceText(CGraphCurve& model, const CGraphText& text, Point p) {
    const PixelMap map(model.Plot(), model.XRange(), model.YRange());
    if (!map.Valid()) return nullptr;
    auto copy = std::make_unique<CGraphText>(text);
    copy->SetAnchor(map.DataX(p.x), map.DataY(p.y));
    copy->SetOwner(&model);
    copy->SetFlags(0);
    auto* placed = static_cast<CGraphText*>(model.AddAnnotation(std::move(copy)));
    model.AnnotationSelection().assign(1, placed);
    return placed;
}

std::unique_ptr<CGraphLine> StartLine(CGraphCurve& model, const CGraphLine& line, Point p) {
    const PixelMap map(model.Plot(), model.XRange(), model.YRange());
    if (!map.Valid()) return nullptr;
    auto copy = std::make_unique<CGraphLine>(line);
    copy->SetFirst(map.DataX(p.x), map.DataY(p.y));
    copy->SetSecond(map.DataX(p.x), map.DataY(p.y));
    copy->SetOwner(&model);
    copy->SetFlags(0);
    return copy;
}

CGraphLine* CommitLine(CGraphCurve& model, std::unique_ptr<CGraphLine> line) {
    if (!line) return nullptr;
    line->SetOwner(&model);
    auto* added = static_cast<CGraphLine*>(model.AddAnnotation(std::move(line)));
    model.AnnotationSelection().assign(1, added);
    return added;
}

}  // namespace kurvex
