#include "interaction/AnnotationInput.h"

#include <algorithm>
#include <cstdlib>

#include "interaction/MouseMode.h"

namespace kurvex {

namespace {

// Room around what was drawn for handles, focus frames and rounding.
constexpr int kMarkReach = 4;
// A band smaller than this both ways is a click.
constexpr int kClickSize = 4;

Rect Shift(const Rect& r, int dx, int dy) {
    if (r.Empty()) return r;
    return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

Rect PixelOf(Point p) {
    return {p.x, p.y, p.x + 1, p.y + 1};
}

// The pixels a line covers at the screen's present scales, with its barbs.
Rect LineArea(const CGraphLine& line, const CGraphCurve& model) {
    const PixelMap map(model.Plot(), model.XRange(), model.YRange());
    if (!map.Valid()) return {};
    const Point a = map.ToPixel(line.X1(), line.Y1()), b = map.ToPixel(line.X2(), line.Y2());
    Rect box = Union(PixelOf(a), PixelOf(b));
    if (line.Arrow() && a != b) {
        Point left, right;
        CGraphLine::ArrowBarbs(a, b, left, right);
        box = Union(box, Union(PixelOf(left), PixelOf(right)));
    }
    const int pen = std::clamp(line.Pen().widthX, 1, CGraphLine::kMaxPenWidth);
    return Inflate(box, kMarkReach + pen);
}

AnnotationRepaint Changed(const Rect& area) {
    AnnotationRepaint r;
    r.area = area;
    r.redraw = true;
    r.selectionAfter = true;
    return r;
}

}  // namespace

AnnotationDrag AnnotationInput::PressSelect(CGraphCurve& model, Point p) {
    Reset();
    if (!model.Plot().Contains(p.x, p.y)) return kind_;
    press_ = pointer_ = p;
    const SelectionHit hit = HitSelected(model, p);
    const auto& selection = model.AnnotationSelection();
    if (hit.annotation && selection.size() == 1 &&
        (hit.hit == kHitFirstEnd || hit.hit == kHitSecondEnd) &&
        hit.annotation->SupportsEndDrag() && hit.annotation->Type() == kAnnotationLine) {
        original_ = static_cast<CGraphLine*>(hit.annotation);
        end_ = hit.hit;
        std::unique_ptr<CGraphAnnotation> copy = original_->Clone();
        copy->SetFlags(copy->Flags() | kAnnotationDragging);
        feedback_.push_back(std::move(copy));
        kind_ = AnnotationDrag::LineEnd;
    } else if (hit.annotation) {
        for (CGraphAnnotation* a : selection) {
            std::unique_ptr<CGraphAnnotation> copy = a->Clone();
            if (!copy) continue;
            copy->SetFlags(copy->Flags() | kAnnotationDragging);
            feedback_.push_back(std::move(copy));
        }
        kind_ = AnnotationDrag::MoveSelection;
    } else {
        kind_ = AnnotationDrag::RubberBand;
    }
    startArea_ = AreaOf(selection, kMarkReach);
    lastArea_ = kind_ == AnnotationDrag::RubberBand ? Rect{} : startArea_;
    return kind_;
}

AnnotationDrag AnnotationInput::PressLine(CGraphCurve& model, const CGraphLine& line, Point p) {
    Reset();
    if (!model.Plot().Contains(p.x, p.y)) return kind_;
    std::unique_ptr<CGraphLine> copy = StartLine(model, line, p);
    if (!copy) return kind_;
    copy->SetFlags(kAnnotationDragging);
    press_ = pointer_ = p;
    lastArea_ = LineArea(*copy, model);
    feedback_.push_back(std::move(copy));
    kind_ = AnnotationDrag::NewLine;
    return kind_;
}

Rect AnnotationInput::FeedbackArea(const CGraphCurve& model) const {
    if (kind_ == AnnotationDrag::MoveSelection)
        return Shift(startArea_, pointer_.x - press_.x, pointer_.y - press_.y);
    if ((kind_ == AnnotationDrag::LineEnd || kind_ == AnnotationDrag::NewLine) &&
        !feedback_.empty())
        return LineArea(static_cast<const CGraphLine&>(*feedback_.front()), model);
    return {};
}

AnnotationRepaint AnnotationInput::Move(const CGraphCurve& model, Point p) {
    AnnotationRepaint r;
    if (!Active() || p == pointer_) return r;
    pointer_ = p;
    const PixelMap map(model.Plot(), model.XRange(), model.YRange());
    if (!map.Valid()) return r;
    switch (kind_) {
        case AnnotationDrag::LineEnd:
            static_cast<CGraphLine&>(*feedback_.front())
                .SetEnd(end_, map.DataX(p.x), map.DataY(p.y));
            break;
        case AnnotationDrag::NewLine:
            static_cast<CGraphLine&>(*feedback_.front()).SetFirst(map.DataX(p.x), map.DataY(p.y));
            break;
        case AnnotationDrag::MoveSelection: {
            // The copies go where the originals will go on release.
            const double dx = map.DataX(model.Plot().left + p.x - press_.x) - map.XFrom();
            const double dy =
                map.DataY(model.Plot().bottom + p.y - press_.y) - map.DataY(model.Plot().bottom);
            for (auto& copy : feedback_) copy->Offset(dx - movedX_, dy - movedY_);
            movedX_ = dx;
            movedY_ = dy;
            break;
        }
        default:
            return r;  // the band is drawn by the screen from Band()
    }
    const Rect now = FeedbackArea(model);
    r.area = Union(lastArea_, now);
    lastArea_ = now;
    return r;
}

AnnotationRepaint AnnotationInput::Release(CGraphCurve& model, Point p) {
    AnnotationRepaint r;
    if (!Active()) return r;
    Move(model, p);
    const Rect before = AreaOf(model.AnnotationSelection(), kMarkReach);
    const bool moved = pointer_ != press_;
    switch (kind_) {
        case AnnotationDrag::LineEnd: {
            const auto& copy = static_cast<const CGraphLine&>(*feedback_.front());
            if (moved) {
                if (end_ == kHitFirstEnd)
                    original_->SetFirst(copy.X1(), copy.Y1());
                else
                    original_->SetSecond(copy.X2(), copy.Y2());
                r = Changed(Union(before, lastArea_));
            } else {
                r.area = lastArea_;
            }
            break;
        }
        case AnnotationDrag::MoveSelection:
            if (moved && MoveSelectedAnnotations(model, p.x - press_.x, p.y - press_.y))
                r = Changed(Union(before, lastArea_));
            else
                r.area = lastArea_;
            break;
        case AnnotationDrag::RubberBand: {
            const Rect band = Band();
            std::vector<CGraphAnnotation*> chosen;
            if (std::abs(p.x - press_.x) < kClickSize && std::abs(p.y - press_.y) < kClickSize) {
                if (CGraphAnnotation* top = TopmostAt(model, press_)) chosen.push_back(top);
            } else {
                chosen = AnnotationsMeeting(model, band);
            }
            if (chosen != model.AnnotationSelection()) {
                model.AnnotationSelection() = chosen;
                // Only the marks change: both areas are known without drawing.
                r.area = Union(before, AreaOf(chosen, kMarkReach));
                r.redraw = true;
            }
            break;
        }
        case AnnotationDrag::NewLine: {
            auto* line = static_cast<CGraphLine*>(feedback_.front().get());
            const PixelMap map(model.Plot(), model.XRange(), model.YRange());
            if (!map.Valid() ||
                map.ToPixel(line->X1(), line->Y1()) == map.ToPixel(line->X2(), line->Y2())) {
                r.area = lastArea_;
                break;
            }
            std::unique_ptr<CGraphLine> owned(
                static_cast<CGraphLine*>(feedback_.front().release()));
            feedback_.clear();
            owned->SetFlags(0);
            CommitLine(model, std::move(owned));
            r = Changed(Union(before, lastArea_));
            r.backToEscape = true;
            break;
        }
        default:
            break;
    }
    Reset();
    return r;
}

AnnotationRepaint AnnotationInput::Cancel() {
    AnnotationRepaint r;
    r.area = lastArea_;
    Reset();
    return r;
}

Rect AnnotationInput::Band() const {
    if (kind_ != AnnotationDrag::RubberBand) return {};
    return {std::min(press_.x, pointer_.x), std::min(press_.y, pointer_.y),
            std::max(press_.x, pointer_.x) + 1, std::max(press_.y, pointer_.y) + 1};
}

void AnnotationInput::Reset() {
    kind_ = AnnotationDrag::None;
    feedback_.clear();
    original_ = nullptr;
    end_ = kHitNone;
    startArea_ = lastArea_ = {};
    movedX_ = movedY_ = 0.0;
}

AnnotationRepaint PlaceTextAt(CGraphCurve& model, const CGraphText& text, Point p) {
    if (!model.Plot().Contains(p.x, p.y)) return {};
    const Rect before = AreaOf(model.AnnotationSelection(), kMarkReach);
    if (!PlaceText(model, text, p)) return {};
    AnnotationRepaint r = Changed(before);
    r.backToEscape = true;
    return r;
}

CGraphText* SelectedTextAt(CGraphCurve& model, Point p) {
    if (model.GraphKind() != kScreenOfView || !model.Plot().Contains(p.x, p.y)) return nullptr;
    for (CGraphAnnotation* a : model.AnnotationSelection())
        if (a->Type() == kAnnotationText && a->HitTest(p) != kHitNone)
            return static_cast<CGraphText*>(a);
    return nullptr;
}

AnnotationRepaint ApplyTextEdit(CGraphText& target, const CGraphText& edited) {
    const Rect before = Inflate(target.BoundingRect(), kMarkReach);
    target.TakeEdit(edited);
    return Changed(before);
}

AnnotationRepaint DeleteSelection(CGraphCurve& model, std::int32_t mouseMode) {
    if (mouseMode != 0 || model.GraphKind() != kScreenOfView || model.AnnotationSelection().empty())
        return {};
    AnnotationRepaint r;
    r.area = DeleteSelectedAnnotations(model);
    r.redraw = true;
    return r;
}

bool StartLineTool(AnnotationTemplates& templates, int command) {
    if (!templates.ApplyLineCommand(command)) return false;
    const CGraphLine& line = templates.Line();
    SetLineTool(line.Pen().style, line.Arrow());
    return SetMouseMode(kModeLine);
}

}  // namespace kurvex
