#include "app/DragShadow.h"

#include <QMouseEvent>

#include "app/GraphWnd.h"
#include "graph/AppOptions.h"
#include "graph/MouseMode.h"

namespace kurvex {

bool DragShadow::eventFilter(QObject* watched, QEvent* event) {
    auto* screen = qobject_cast<CGraphWnd*>(watched);
    if (!screen) return false;
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            const auto* e = static_cast<QMouseEvent*>(event);
            End();
            press_ = e->position().toPoint();
            button_ = e->button();
            break;
        }
        case QEvent::MouseMove:
            Follow(*screen, static_cast<QMouseEvent*>(event)->position().toPoint());
            break;
        case QEvent::MouseButtonRelease:
        case QEvent::Hide:
            End();
            break;
        default:
            break;
    }
    return false;  // the screen handles every event as it would without us
}

void DragShadow::Follow(CGraphWnd& screen, QPoint p) {
    if (!screen.DragInProgress()) {
        End();
        return;
    }
    if (!drag_.Active()) {
        // The screen's model is still the one its drag began from.
        const DragKind kind = KindOf(screen);
        if (kind == DragKind::None ||
            !drag_.Begin(screen.Record(), kind, Point{press_.x(), press_.y()}))
            return;
    }
    if (drag_.Move(Point{p.x(), p.y()}) && drag_.Working() && changed)
        changed(drag_.Working()->XRange());
}

DragKind DragShadow::KindOf(const CGraphWnd& screen) const {
    // The zoom box changes nothing until it is released.
    if (button_ == Qt::RightButton)
        return Options().rightMouseAction == kRightMousePan ? DragKind::Pan : DragKind::None;
    if (button_ != Qt::LeftButton) return DragKind::None;
    switch (screen.CurrentMode()) {
        case kModePan:
            return DragKind::Pan;
        case kModeZoomPoint:
            return DragKind::ZoomPoint;
        case kModeZoomAxisEnd:
            return DragKind::ZoomAxisEnd;
        default:
            return DragKind::None;
    }
}

void DragShadow::End() {
    if (!drag_.Active()) return;
    drag_.Cancel();
    if (changed) changed(std::nullopt);
}

}  // namespace kurvex
