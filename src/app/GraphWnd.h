#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <vector>

#include "graph/GraphCurve.h"
#include "graph/render/Renderer.h"
#include "interaction/AnnotationInput.h"
#include "interaction/MouseMode.h"
#include "interaction/ScreenInput.h"

class QRubberBand;
class QScrollBar;

namespace kurvex {

// One screen of a graph view: draws its model through a back buffer and maps
// the mouse, the wheel and its scroll bars onto the core's zoom, pan and
// measure operations.
class CGraphWnd : public QWidget {
    Q_OBJECT
public:
    explicit CGraphWnd(QWidget* parent = nullptr);
    ~CGraphWnd() override;

    // The screen's model, owned by the widget (a default one until set).
    CGraphCurve& Record();
    const CGraphCurve& Record() const;
    // Takes over `record`; null gives the screen a new default model.
    void SetRecord(std::unique_ptr<CGraphCurve> record);
    // Position in the view; the accessible name is "Screen N" (N = index + 1).
    void SetIndex(int index);
    int Index() const { return index_; }
    // Draws the X labels and shows the horizontal scroll bar.
    void SetBottom(bool bottom);
    // Draws everything again (back buffer) and repaints; calls made in one go
    // are drawn once.
    void Redraw();
    // Sets the scroll bars from the model's ranges, after a change made outside.
    void UpdateScrollBars();
    // The zoom-in and zoom-out commands on this screen: one undo entry, then
    // rangeChanged with xChanged.
    void ZoomIn();
    void ZoomOut();
    // The view's right-mouse pan and zoom after rightPressed, from `p` in this
    // screen's own coordinates (mapFromGlobal of its point), following
    // the right button until it is released. Both need `p` inside the plot;
    // the zoom box also refuses (false) a press at or below a lower end.
    void BeginRightPan(QPoint p);
    bool BeginRightZoom(QPoint p);
    // Drops the drag in progress, as Esc does.
    void CancelDrag();
    bool DragInProgress() const;
    // Whether this screen follows the program's mouse mode (default on), and
    // the mode it uses while it does not (default Pan).
    void SetUseSharedMode(bool on);
    void SetOwnMode(std::int32_t mode);
    // The mode a drag on this screen takes now.
    std::int32_t CurrentMode() const { return mode_.Current(); }

    // The screen zoom in and out act on: the one holding the keyboard focus,
    // else the first; null when there are none.
    static CGraphWnd* ZoomTarget(const std::vector<CGraphWnd*>& screens);

signals:
    // Every notice names its screen by Index().
    // The left button went down on the legend label of `curve`.
    void legendPressed(int screen, int curve);
    // The left button went down anywhere but on a legend label.
    void leftPressed(int screen);
    // A double click the screen does not handle itself (the view offers the curves).
    void doubleClicked(int screen);
    // The right button went down in the plot outside the measure mode; the view
    // decides between menu, pan and zoom.
    void rightPressed(int screen, Qt::KeyboardModifiers modifiers, QPoint globalPoint);
    // The ranges changed; xChanged when X did too (the view redraws all screens).
    void rangeChanged(int screen, bool xChanged);
    // Measure cursor `which` (0 or 1) moved.
    void cursorMoved(int screen, int which);
    // Only the measured (selected) curve changed; no cursor moved.
    void selectedCurveChanged(int screen);
    // While a drag shows a working copy: the X range it shows (active), then once with
    // active false when the drag ends; the model itself changes only on release.
    void dragXRange(int screen, bool active, kurvex::AxisRange range);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool event(QEvent* event) override;

private:
    bool HasData() const;
    QRect DrawingArea() const;
    void Render();
    void UpdateDescription();
    void RangeChanged(bool xChanged);
    bool StartDrag(DragKind kind, QPoint p, Qt::MouseButton button, bool aboveLowerEnds);
    void FinishDrag(QPoint p);
    void ShowBand();
    // Draws the drag's working copy and tells the view's tool windows its X range.
    void ShowWorking();
    void AutoScrollTick();
    void MeasureAt(int which, QPoint p);
    void SelectCurve(std::int32_t curve);
    void ScrollBarAction(bool horizontal, int action);
    void UpdatePointer(QPoint p);
    void BeginAnnotationDrag();
    void FinishAnnotationDrag(QPoint p);
    void EditText(CGraphText& text);
    // Shows what an annotation step changed: draws the picture again when the
    // model changed, then repaints only the areas it names.
    void ApplyRepaint(const AnnotationRepaint& r);
    // The part of `r` inside the drawing area, as Qt counts pixels.
    QRect ToQRect(const Rect& r) const;

    std::unique_ptr<CGraphCurve> record_;
    int index_ = 0;
    WindowMouseMode mode_;

    QImage buffer_;
    bool stale_ = true;
    DrawMemory memory_;

    QScrollBar* hbar_ = nullptr;
    QScrollBar* vbar_ = nullptr;
    bool settingBars_ = false;

    ScreenDrag drag_;
    Qt::MouseButton dragButton_ = Qt::NoButton;
    QRubberBand* band_ = nullptr;
    QTimer autoScroll_;
    WheelAccumulator wheel_;
    AnnotationInput annotation_;
};

}  // namespace kurvex
