#pragma once

#include <QObject>
#include <QPoint>
#include <functional>
#include <optional>

#include "graph/GraphTypes.h"
#include "graph/ScreenInput.h"

namespace kurvex {

class CGraphWnd;

// Follows the drags on the screens it watches (as their event filter) with a
// drag of its own fed the same mouse events, so that a tool window can show
// the X range a screen shows before the drag is released: until then the
// screen shows a working copy that only it holds.
class DragShadow : public QObject {
public:
    using QObject::QObject;
    // Called with the X range shown while a drag moves it, and with none when
    // the drag ends.
    std::function<void(std::optional<AxisRange>)> changed;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Follow(CGraphWnd& screen, QPoint p);
    // The drag a press started: only those that show a working copy.
    DragKind KindOf(const CGraphWnd& screen) const;
    void End();

    ScreenDrag drag_;
    QPoint press_;
    Qt::MouseButton button_ = Qt::NoButton;
};

}  // namespace kurvex
