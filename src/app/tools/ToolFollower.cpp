#include "app/tools/ToolFollower.h"

#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>

#include "app/GraphView.h"

namespace kurvex {

COhmixGraphView* FrontView(const QMdiArea* area) {
    if (!area) return nullptr;
    QMdiSubWindow* w = area->activeSubWindow();
    if (!w) {
        // Between activations Qt may report none while windows exist.
        const QList<QMdiSubWindow*> all = area->subWindowList(QMdiArea::ActivationHistoryOrder);
        if (all.isEmpty()) return nullptr;
        w = all.back();
    }
    return qobject_cast<COhmixGraphView*>(w->widget());
}

ToolFollower::ToolFollower(QWidget* window, QWidget* frame, int pauseMs)
    : QObject(window), window_(window) {
    if (auto* main = qobject_cast<QMainWindow*>(frame))
        area_ = qobject_cast<QMdiArea*>(main->centralWidget());
    pause_.setSingleShot(true);
    pause_.setInterval(pauseMs);
    connect(&pause_, &QTimer::timeout, this, &ToolFollower::Due);
    if (area_) {
        // A table window in front leaves the tool with the view before it.
        connect(area_, &QMdiArea::subWindowActivated, this, [this] {
            if (COhmixGraphView* v = FrontView(area_)) Follow(v);
        });
    }
}

void ToolFollower::Follow(COhmixGraphView* view) {
    if (view == view_) return;
    Link(view);
    Schedule(ViewChange::Followed);
}

void ToolFollower::Link(COhmixGraphView* view) {
    for (const auto& link : links_) disconnect(link);
    links_.clear();
    COhmixGraphView* before = view_;
    view_ = view;
    if (view_) {
        const auto hear = [this](ViewChange what) {
            return [this, what] {
                emit changed(what);
                Schedule(what);
            };
        };
        links_ = {
            connect(view_, &COhmixGraphView::stateChanged, this, hear(ViewChange::State)),
            connect(view_, &COhmixGraphView::cursorsMoved, this, hear(ViewChange::Cursors)),
            connect(view_, &COhmixGraphView::curveSelection, this, hear(ViewChange::Curves)),
            connect(view_, &COhmixGraphView::measureValuesStale, this, hear(ViewChange::Values)),
            // The frame may still list the closing window: the next one is taken after the pause.
            connect(view_, &QObject::destroyed, this, hear(ViewChange::Followed)),
        };
    }
    emit followed(before, view_);
}

void ToolFollower::Schedule(ViewChanges what) {
    pending_ |= what;
    if (!pause_.isActive()) pause_.start();
}

void ToolFollower::Flush() {
    if (pause_.isActive()) Due();
}

void ToolFollower::Present(COhmixGraphView* view) {
    Follow(view);
    window_->show();
    window_->raise();
    Schedule();
    Flush();
}

void ToolFollower::Due() {
    pause_.stop();
    ViewChanges what = pending_;
    pending_ = {};
    // The followed view closed: the next one in front takes its place.
    if (!view_ && area_ && window_->isVisible())
        if (COhmixGraphView* v = FrontView(area_)) {
            Link(v);
            what |= ViewChange::Followed;
        }
    emit due(what);
}

}  // namespace kurvex
