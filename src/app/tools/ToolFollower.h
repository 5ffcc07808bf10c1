#pragma once

#include <QFlags>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <vector>

class QMdiArea;
class QWidget;

namespace kurvex {

class COhmixGraphView;

// What changed on the followed view since a tool window last computed.
enum class ViewChange {
    State = 1,     // range, runs, screens, the active screen: whatever the view shows
    Cursors = 2,   // a measure cursor moved
    Curves = 4,    // another curve was selected, or none
    Values = 8,    // the values under the cursors changed (a reload)
    Followed = 16  // another view is followed, or none
};
Q_DECLARE_FLAGS(ViewChanges, ViewChange)
Q_DECLARE_OPERATORS_FOR_FLAGS(ViewChanges)

// The graph view of the window in front of `area`, or null.
COhmixGraphView* FrontView(const QMdiArea* area);

// How a tool window follows a graph view: it keeps the view, follows the
// window in front of `area` (when given), takes the next view when its own
// closes, and hears one set of the view's signals, gathered over a short
// pause into one `due`.
class ToolFollower : public QObject {
    Q_OBJECT
public:
    // `frame` is the main window whose window in front is followed (null: none);
    // `pauseMs` 0 gathers what comes within one turn of the event loop.
    ToolFollower(QWidget* window, QWidget* frame, int pauseMs);

    COhmixGraphView* View() const { return view_; }
    // Follows `view` (null: none) and computes anew after the pause.
    void Follow(COhmixGraphView* view);
    // Computes anew after the pause.
    void Schedule(ViewChanges what = ViewChange::State);
    // Computes anew now, if anything is pending.
    void Flush();
    // Follows `view`, shows the window in front and computes it at once.
    void Present(COhmixGraphView* view);

signals:
    // Another view is followed from now on; `before` may be gone already (null).
    void followed(COhmixGraphView* before, COhmixGraphView* now);
    // The followed view changed, before the pause: for what cannot wait.
    void changed(ViewChanges what);
    // The pause is over: the window computes anew.
    void due(ViewChanges what);

private:
    void Link(COhmixGraphView* view);
    void Due();

    QWidget* window_;
    QPointer<QMdiArea> area_;
    QPointer<COhmixGraphView> view_;
    std::vector<QMetaObject::Connection> links_;
    QTimer pause_;
    ViewChanges pending_;
};

// The one open window of a kind: empty once it is gone.
template <class W>
class ToolSlot {
public:
    W* Get() const { return open_.data(); }
    // The open window, made by `make` when there is none.
    template <class Make>
    W* Take(Make make) {
        if (!open_) open_ = make();
        return open_.data();
    }
    // `window` no longer counts as open, though it may still exist.
    void Drop(const W* window) {
        if (open_ == window) open_ = nullptr;
    }

private:
    QPointer<W> open_;
};

}  // namespace kurvex
